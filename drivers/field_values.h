// The values of a description's fields as TOML and JSON hold them: one
// reader and one writer per type of field, with the checks of the field's
// Check. Description files, settings files, --set and run records all read
// through these, so that a value means the same wherever it is given.
#pragma once

#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>
#include <toml++/toml.h>

#include "description.h"

namespace net1::drivers {

using Json = nlohmann::ordered_json;

// Reads `node` into `out`; returns why it cannot, in words that follow the
// key ("must be a probability, from 0 to 1"), or "" when it was read.
std::string readValue(const Field& field, const toml::node& node, long& out);
std::string readValue(const Field& field, const toml::node& node, int& out);
std::string readValue(const Field& field, const toml::node& node, float& out);
std::string readValue(const Field& field, const toml::node& node, double& out);
std::string readValue(const Field& field, const toml::node& node, bool& out);
std::string readValue(const Field& field, const toml::node& node, std::uint8_t& out);  // a flag
std::string readValue(const Field& field, const toml::node& node, std::optional<float>& out);
std::string readValue(const Field& field, const toml::node& node, Range& out);
std::string readValue(const Field& field, const toml::node& node, UnitValue& out);
std::string readValue(const Field& field, const toml::node& node, UnitKind& out);
std::string readValue(const Field& field, const toml::node& node, std::string& out);
std::string readValue(const Field& field, const toml::node& node, ConnectionRule& out);
std::string readValue(const Field& field, const toml::node& node, DelayDraw& out);
std::string readValue(const Field& field, const toml::node& node, StimulusKind& out);
std::string readValue(const Field& field, const toml::node& node, Generator& out);
std::string readValue(const Field& field, const toml::node& node, std::vector<std::uint32_t>& out);  // unit ids
std::string readValue(const Field& field, const toml::node& node, std::vector<float>& out);

// The value as a TOML file spells it, which readValue reads back exactly.
std::string valueText(long v);
std::string valueText(int v);
std::string valueText(float v);
std::string valueText(double v);
std::string valueText(bool v);
std::string valueText(std::uint8_t v);
std::string valueText(const std::optional<float>& v);  // "" when not set
std::string valueText(const Range& r);
std::string valueText(const UnitValue& v);
std::string valueText(const UnitKind& v);
std::string valueText(const std::string& v);
std::string valueText(ConnectionRule v);
std::string valueText(DelayDraw v);
std::string valueText(StimulusKind v);
std::string valueText(Generator v);
std::string valueText(const std::vector<std::uint32_t>& v);
std::string valueText(const std::vector<float>& v);

// The value in a run record; a float is given as the double that its
// shortest text reads as, which reads back as the same float.
Json valueJson(long v);
Json valueJson(int v);
Json valueJson(float v);
Json valueJson(double v);
Json valueJson(bool v);
Json valueJson(std::uint8_t v);
Json valueJson(const std::optional<float>& v);
Json valueJson(const Range& r);
Json valueJson(const UnitValue& v);
Json valueJson(const UnitKind& v);
Json valueJson(const std::string& v);
Json valueJson(ConnectionRule v);
Json valueJson(DelayDraw v);
Json valueJson(StimulusKind v);
Json valueJson(Generator v);
Json valueJson(const std::vector<std::uint32_t>& v);
Json valueJson(const std::vector<float>& v);

// The shortest decimal text that reads back as exactly this value (through
// a double, for a float, as a TOML reader reads it), always with a point or
// an exponent so that TOML reads it as a real number.
std::string realText(float value);
std::string realText(double value);

// The node's value as text, for messages.
std::string nodeText(const toml::node& node);

}  // namespace net1::drivers
