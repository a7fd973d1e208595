// A description as a TOML file: [run], then [[group]], [[pathway]] and
// [[stimulus]] tables in order. Reading checks every value and the names;
// a description that cannot be read throws UsageError "SOURCE:LINE: ...".
// Writing gives the complete description, every field with its value,
// which reads back to the same description.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <toml++/toml.h>

#include "description.h"

namespace net1::drivers {

// Whether a settings document is a whole description rather than settings
// to change: it has groups.
bool isDescription(const toml::table& document);
// `origins`, when given, gets where each key was set: "SOURCE:LINE".
Description readDescription(const toml::table& document, const std::string& source,
                            std::map<std::string, std::string>* origins = nullptr);
// Parses the text first; a syntax error names its line.
Description parseDescription(std::string_view text, const std::string& source);
toml::table parseToml(std::string_view text, const std::string& source);

// The description as a commented TOML file, headed by `title`. A value
// that differs from `base` (the description the run started from) shows
// the base's value in its comment, which `baseName` names.
std::string descriptionToml(const Description& d, const Description& base, std::string_view baseName,
                            std::string_view title);

// What a name must be: 1 to 70 letters, digits, '_' and '-', not starting
// with '-'; the trace carries group names, and keys address every name.
bool isValidName(std::string_view name);

}  // namespace net1::drivers
