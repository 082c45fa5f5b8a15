#include "demo/markup.h"

namespace fraywick::demo {

std::string markupEscaped(std::string_view text) {
  constexpr char kReplacement[] = "\xEF\xBF\xBD";
  std::string out;
  for (std::size_t i = 0; i < text.size();) {
    const auto byte = static_cast<unsigned char>(text[i]);
    const char* entity = byte == '&'    ? "&amp;"
                         : byte == '<'  ? "&lt;"
                         : byte == '>'  ? "&gt;"
                         : byte == '"'  ? "&quot;"
                         : byte == '\'' ? "&apos;"
                                        : nullptr;
    if (entity != nullptr) {
      out += entity;
      ++i;
      continue;
    }
    if (byte < 0x80) {
      const bool allowed = byte >= 0x20 || byte == '\t' || byte == '\n' || byte == '\r';
      out += allowed ? std::string(1, static_cast<char>(byte)) : std::string(kReplacement);
      ++i;
      continue;
    }
    // The lead byte gives the length and the first bits; each continuation byte six more.
    const std::size_t length = byte >= 0xC2 && byte <= 0xDF   ? 2
                               : byte >= 0xE0 && byte <= 0xEF ? 3
                               : byte >= 0xF0 && byte <= 0xF4 ? 4
                                                              : 0;
    bool valid = length != 0 && i + length <= text.size();
    char32_t code = byte & (length == 2 ? 0x1Fu : length == 3 ? 0x0Fu : 0x07u);
    for (std::size_t k = 1; valid && k < length; ++k) {
      const auto next = static_cast<unsigned char>(text[i + k]);
      valid = (next & 0xC0) == 0x80;
      code = (code << 6) | (next & 0x3Fu);
    }
    // Over-long forms, UTF-16 surrogates and what lies beyond Unicode are not UTF-8 either.
    valid = valid && !(length == 3 && code < 0x800) &&
            !(length == 4 && (code < 0x10000 || code > 0x10FFFF)) &&
            !(code >= 0xD800 && code <= 0xDFFF) && code != 0xFFFE && code != 0xFFFF;
    if (valid) {
      out.append(text.substr(i, length));
      i += length;
    } else {
      out += kReplacement;
      ++i;
    }
  }
  return out;
}

}  // namespace fraywick::demo
