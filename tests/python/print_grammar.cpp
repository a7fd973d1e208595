// Prints the trace's grammar (engine/trace_grammar.h) as JSON, for the test
// that holds the Python reader's kinds and columns to it. Exits 1 if the
// grammar is not self-consistent, so that the test cannot pass on a table
// the writer itself would not follow.
#include <cstddef>
#include <iostream>
#include <string>

#include <nlohmann/json.hpp>

#include "trace_grammar.h"

int main() {
  using namespace net1::trace;
  nlohmann::json kinds = nlohmann::json::array();
  for (std::size_t i = 0; i < kKindCount; ++i) {
    const KindSpec& k = kKinds[i];
    Kind found{};
    if (!findKind(k.keyword, found) || static_cast<std::size_t>(found) != i) {
      std::cerr << "print-grammar: findKind does not give kind " << i << " for " << k.keyword << '\n';
      return 1;
    }
    nlohmann::json fields = nlohmann::json::array();
    for (std::size_t f = 0; f < k.fields.size(); ++f) {
      if ((f < k.pattern.size()) == k.fields[f].empty()) {
        std::cerr << "print-grammar: " << k.keyword << " has " << k.pattern.size()
                  << " field types but not as many field names\n";
        return 1;
      }
      if (f < k.pattern.size()) fields.push_back(std::string(k.fields[f]));
    }
    kinds.push_back({{"keyword", std::string(k.keyword)},
                     {"pattern", std::string(k.pattern)},
                     {"fields", fields},
                     {"min_fields", k.minFields},
                     {"timed", k.timed}});
  }
  nlohmann::json grammar = {{"kinds", kinds}, {"max_name_length", kMaxNameLength}, {"max_unit_id", kMaxUnitId}};
  std::cout << grammar.dump(2) << '\n';
  return std::cout.good() ? 0 : 1;
}
