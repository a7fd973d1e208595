#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "description_file.h"
#include "experiments.h"
#include "field_values.h"
#include "keys.h"
#include "settings.h"

using namespace net1::drivers;

namespace {

// A settings file in the test's own temporary folder.
std::string writeFile(const std::string& name, const std::string& text) {
  const std::string path = ::testing::TempDir() + "params-" + std::to_string(::getpid()) + "-" + name;
  std::ofstream(path) << text;
  return path;
}

SettingsBuilder settingsOf(std::string_view program) {
  return SettingsBuilder(experimentDescription(*findExperiment(program)), std::string(program));
}

// Every key and its value as a settings file writes it, in key order.
std::vector<std::string> keyTexts(const Description& d) {
  std::vector<std::string> texts;
  forEachKey(d, [&](const std::string& key, const Field&, const auto& value) { texts.push_back(key + " = " + valueText(value)); });
  return texts;
}

// The message a file or an assignment is refused with, or "".
std::string refusal(const char* program, const std::string& fileText, std::vector<std::string> sets = {}) {
  try {
    SettingsBuilder b = settingsOf(program);
    if (!fileText.empty()) b.readFile(writeFile("bad.toml", fileText), false);
    for (const std::string& s : sets) b.set(s, "--set");
    b.finish("missing factor");
  } catch (const UsageError& e) {
    return e.what();
  }
  return "";
}

}  // namespace

TEST(settings_file, printed_descriptions_read_back_to_the_same_values_in_every_experiment) {
  for (const Experiment& e : experiments()) {
    SCOPED_TRACE(e.name);
    SettingsBuilder changed = settingsOf(e.name);
    for (const char* s : {"rsvr.switchProb=0.0123", "threshold=[1e-7, 0.1]", "sink.voltPeriod=0.3",
                          "interval=0.0333333", "amount=1e9", "delayDistribution=uniform", "delay=0.1,1.0",
                          "sorc.size=12", "steps=999", "rsvr.switching=false", "excitatoryProb=1",
                          "generator=mt19937_64", "rsvr->sink.rule=fixed", "rsvr->sink.perUnit=3"}) {
      changed.set(s, "--set");
    }
    if (changed.description().run.edition == 2) changed.set("rateFactor=0.7", "--set");
    const Description& d = changed.finish("");
    const std::string text = descriptionToml(d, changed.base(), e.name, "round trip");

    SettingsBuilder reread = settingsOf(e.name);
    reread.readFile(writeFile("roundtrip.toml", text), false);
    EXPECT_EQ(keyTexts(reread.finish("")), keyTexts(d));
    EXPECT_EQ(reread.description().groups[1].parameters.switchProb, 0.0123f);
    EXPECT_EQ(reread.description().groups[0].size, 12);
    // A description's own values read back as themselves, too.
    const Description own = experimentDescription(e);
    EXPECT_EQ(keyTexts(parseDescription(descriptionToml(own, own, e.name, "own"), "own.toml")), keyTexts(own));
  }
}

TEST(settings_file, every_float_reads_back_exactly_from_its_text) {
  // Through the whole path: the float's text, read by TOML as a double,
  // rounded to single precision.
  std::mt19937 bits(7);
  SettingsBuilder b = settingsOf("exp-poisson");
  for (int i = 0; i < 20000; ++i) {
    std::uint32_t word = bits();
    float f;
    std::memcpy(&f, &word, sizeof f);
    if (!std::isfinite(f)) continue;
    b.set("amount=" + realText(f), "--set");
    ASSERT_EQ(b.description().stimuli[0].amount, f) << realText(f);
  }
  for (float f : {0.05f, 0.1f, 1e-6f, 0.999999f, 3.4028235e38f, 1.4e-45f, -0.0f}) {
    b.set("amount=" + realText(f), "--set");
    EXPECT_EQ(b.description().stimuli[0].amount, f) << realText(f);
  }
  EXPECT_EQ(realText(0.05f), "0.05");
  EXPECT_EQ(realText(2.0f), "2.0");
  EXPECT_EQ(realText(1e-6f), "1e-06");
}

TEST(settings_file, keys_in_tables_or_dotted_and_set_values_in_short_forms) {
  SettingsBuilder b = settingsOf("exp-stdp");
  b.readFile(writeFile("tables.toml",
                       "steps = 77\nsink.size = 7\n\"rsvr->sink\".probability = 0.3\n[rsvr]\nswitchProb = 0.5\n"
                       "thrUpRate = 1\n[sorc]\nleak = 0.25\n[input]\namount = 1.5\n"),
             false);
  b.set("stimulus=cyclic", "--set");
  b.set("leak=0.2,0.3", "--set");
  b.set("sink.size=9", "--set");  // the command line comes after the file
  b.set("connectionProb=.25", "--set");
  b.set("sorc->rsvr.probability=0.5", "--set");
  const Description& d = b.finish("");
  const GroupSpec &sorc = d.groups[0], &rsvr = d.groups[1], &sink = d.groups[2];
  EXPECT_EQ(d.run.steps, 77);
  EXPECT_EQ(sink.size, 9);
  EXPECT_EQ(rsvr.parameters.switchProb, 0.5f);
  EXPECT_EQ(rsvr.parameters.thrUpRate, 1.0f);
  EXPECT_EQ(sorc.leak.value, 0.25f);
  EXPECT_FALSE(sorc.leak.drawn);  // a shorthand sets only what is drawn
  EXPECT_EQ(d.stimuli[0].kind, StimulusKind::cyclic);
  EXPECT_EQ(d.stimuli[0].amount, 1.5f);
  EXPECT_EQ(sink.leak.range.lo, 0.2f);
  EXPECT_EQ(rsvr.leak.range.hi, 0.3f);
  EXPECT_EQ(d.pathways[0].probability, 0.5f);
  EXPECT_EQ(d.pathways[1].probability, 0.25f);
  EXPECT_EQ(d.pathways[2].probability, 0.25f);  // the later assignment wins over the file
  EXPECT_EQ(sorc.parameters.switchProb, 0.05f);  // untouched
  EXPECT_EQ(b.origin("sink.size"), "--set sink.size=9");
  EXPECT_NE(b.origin("rsvr.switchProb").find("tables.toml:5"), std::string::npos);
}

TEST(settings_file, a_bad_setting_is_refused_naming_the_key_and_where_it_was_set) {
  struct Case {
    const char* program;
    std::string file;
    std::vector<std::string> sets;
    const char* says;
  };
  const Case cases[] = {
      {"exp-poisson", "steps = 10\n\nrsvr.switchprob = 0.1\n", {}, "bad.toml:3: unknown key 'rsvr.switchprob' (did you mean rsvr.switchProb?)"},
      {"exp-poisson", "", {"swichProb=0.1"}, "unknown key 'swichProb' (did you mean switchProb?)"},
      {"exp-poisson", "", {"threshold=1.5"}, "threshold must be a range [lo, hi]: it sets the drawn threshold"},
      {"exp-poisson", "steps = \"many\"\n", {}, "bad.toml:1: steps must be a whole number"},
      {"exp-poisson", "", {"rsvr.switchProb=abc"}, "rsvr.switchProb must be a number, got abc"},
      {"exp-poisson", "", {"rsvr.switching=1"}, "must be true or false"},
      {"exp-poisson", "amount = nan\n", {}, "amount must be a finite number"},
      {"exp-poisson", "", {"amount=1e39"}, "amount is too large for single precision"},
      {"exp-poisson", "[rsvr]\nswitchProb = 1.5\n", {}, "bad.toml:2: rsvr.switchProb must be a probability, from 0 to 1, got 1.5"},
      {"exp-poisson", "threshold = [2.0, 1.0]\n", {}, "threshold is a range whose low end is above its high end"},
      {"exp-poisson", "", {"threshold=[1, 2, 3]"}, "must be a range [lo, hi]"},
      {"exp-poisson", "", {"sink.size=1000001"}, "sink.size must be a whole number from 1 to 1000000"},
      {"exp-poisson", "", {"sorc.size=0"}, "sorc.size must be a whole number from 1 to 1000000"},
      {"exp-xor-shift", "rateFactor = 1.0\n[sorc]\nsize = 39\n", {}, "bad.toml:3) is 39: the xor stimulus input needs an even number"},
      {"exp-poisson", "switchOffAfter = 900\n", {"steps=500"}, "bad.toml:1) is 900, not before the last step (steps = 500)"},
      {"exp-poisson", "", {"rsvr.weightMin=3"}, "rsvr.weightMin (--set rsvr.weightMin=3) is above rsvr.weightMax"},
      {"exp-xor-rand", "", {"rsvr.size=1"}, "sorc->rsvr.perUnit is 1.5, more than the 1 units of rsvr"},
      {"exp-poisson", "", {"rsvr->sink.rule=fixed", "rsvr->sink.perUnit=2.5"}, "the fixed rule makes a whole number"},
      {"exp-poisson", "", {"input.group=none"}, "input.group (--set input.group=none): there is no group 'none'"},
      {"exp-poisson", "", {"delay=0,0.5"}, "exponential delays draw u inside (0, 1)"},
      {"exp-poisson", "", {"interval=0"}, "interval must be above 0"},
      {"exp-poisson", "", {"rsvr.stdpRate=-0.1"}, "rsvr.stdpRate must not be negative"},
      {"exp-poisson", "", {"stimulus=poisson"}, "stimulus must be \"random\", \"cyclic\" or \"xor\""},
      {"exp-poisson", "steps = = 3\n", {}, "bad.toml:1:"},
      {"exp-poisson", "steps = 3\nsteps = 4\n", {}, "bad.toml:2:"},
      {"exp-poisson", "", {"steps"}, "--set takes KEY=VALUE"},
      {"exp-poisson", "[rsvr.deeper]\nsize = 3\n", {}, "bad.toml:1: unknown key 'rsvr.deeper'"},
      {"exp-poisson", "", {"amount=1\n2"}, "amount must be a number, got 1?2"},
  };
  for (const Case& c : cases) {
    const std::string message = refusal(c.program, c.file, c.sets);
    EXPECT_NE(message.find(c.says), std::string::npos) << c.says << "\n  got: " << message;
    EXPECT_EQ(message.find('\n'), std::string::npos) << message;
  }
  // A trial run may end before the program's own switch-off.
  EXPECT_EQ(refusal("exp-poisson", "", {"steps=500"}), "");
}

TEST(settings_file, a_missing_or_huge_file_is_refused_before_it_is_read) {
  try {
    SettingsBuilder b = settingsOf("exp-poisson");
    b.readFile("/nonexistent/settings.toml", false);
    ADD_FAILURE() << "a missing file was read";
  } catch (const UsageError& e) {
    EXPECT_NE(std::string(e.what()).find("/nonexistent/settings.toml: No such file"), std::string::npos) << e.what();
  }
  const std::string big = writeFile("big.toml", "# " + std::string(2 << 20, 'x') + "\n");
  try {
    SettingsBuilder b = settingsOf("exp-poisson");
    b.readFile(big, false);
    ADD_FAILURE() << "a 2 MiB file was read";
  } catch (const UsageError& e) {
    EXPECT_NE(std::string(e.what()).find("larger than 1 MiB"), std::string::npos) << e.what();
  }
}
