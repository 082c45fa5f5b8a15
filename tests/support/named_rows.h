// Rows of table-driven tests print as their names, in failure messages and in the test list.
#pragma once

#include <ostream>

namespace fraywick {

// A row is any struct with a `name`.
template <class Case>
concept NamedRow = requires(const Case& c) { c.name; };

template <NamedRow Case>
void PrintTo(const Case& c, std::ostream* out) {
  *out << c.name;
}

}  // namespace fraywick
