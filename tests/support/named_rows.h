// Rows of table-driven tests print as their names, in failure messages and in the test list.
#pragma once

#include <ostream>

namespace fraywick {

template <class Case>
requires requires(const Case& c) {
  c.name;
}
void PrintTo(const Case& c, std::ostream* out) {
  *out << c.name;
}

}  // namespace fraywick
