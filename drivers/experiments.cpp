#include "experiments.h"

#include <string>

#include "description_file.h"
#include "experiment_texts.h"  // generated from experiments/*.toml

namespace net1::drivers {

std::span<const Experiment> experiments() { return kExperimentTexts; }

const Experiment* findExperiment(std::string_view name) {
  for (const Experiment& e : kExperimentTexts) {
    if (e.name == name) return &e;
  }
  return nullptr;
}

Description experimentDescription(const Experiment& e) {
  return parseDescription(e.text, std::string(e.name) + ".toml");
}

}  // namespace net1::drivers
