// Text for the map and the page, whose names come from scenario files and recordings byte for
// byte: markup characters become entities, a byte that does not begin valid UTF-8 and a character
// XML 1.0 does not allow (control characters, U+FFFE and U+FFFF) become U+FFFD. What comes out
// reads the same to an XML reader (the SVG file) and to a browser (the page).
#pragma once

#include <string>
#include <string_view>

namespace fraywick::demo {

std::string markupEscaped(std::string_view text);

}  // namespace fraywick::demo
