// The nine experiments, built into every program from their description
// files (experiments/*.toml), so that the programs run from anywhere.
#pragma once

#include <span>
#include <string_view>

#include "description.h"

namespace net1::drivers {

struct Experiment {
  std::string_view name;  // the program's name, and its file's: exp-poisson.toml
  std::string_view text;  // the file
};

std::span<const Experiment> experiments();
// The experiment of that name, or null.
const Experiment* findExperiment(std::string_view name);
// Its description, read as a description file is read.
Description experimentDescription(const Experiment& e);

}  // namespace net1::drivers
