// UTF-8 as names need it: strict validation (no overlong forms, no surrogates, nothing
// above U+10FFFF), repair of invalid bytes, and encoding of single code points.
#pragma once

#include <string>
#include <string_view>

namespace nocunzip::unzip32 {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Whether `text` is well-formed UTF-8 throughout.
bool IsValidUtf8(std::string_view text);

// `text` with every byte that does not start a well-formed sequence replaced by U+FFFD, so
// that the result is valid UTF-8 and valid input comes back unchanged.
std::string RepairUtf8(std::string_view text);

// Appends the UTF-8 form of `code_point`; surrogates and values above U+10FFFF become U+FFFD.
void AppendUtf8(char32_t code_point, std::string* out);

}  // namespace nocunzip::unzip32
