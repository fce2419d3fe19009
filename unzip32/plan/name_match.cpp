#include "plan/name_match.h"

#include <cstddef>

namespace nocunzip::unzip32 {
namespace {

char FoldAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Length of the UTF-8 sequence that starts at `text[at]`, 1 for a stray byte.
size_t SequenceLength(std::string_view text, size_t at) {
  const auto lead = static_cast<unsigned char>(text[at]);
  size_t length = 1;
  if (lead >= 0xF0 && lead < 0xF8) {
    length = 4;
  } else if (lead >= 0xE0) {
    length = lead < 0xF0 ? 3 : 1;
  } else if (lead >= 0xC0) {
    length = 2;
  }
  if (at + length > text.size()) return 1;
  for (size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(text[at + i]) & 0xC0) != 0x80) return 1;
  }
  return length;
}

}  // namespace

bool MatchesPattern(std::string_view pattern, std::string_view name, bool case_sensitive) {
  // Greedy walk that remembers the last "*" and retries from one character further on a
  // mismatch: linear in practice and never recursive.
  size_t p = 0;
  size_t n = 0;
  size_t star_p = std::string_view::npos;
  size_t star_n = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      star_p = p++;
      star_n = n;
      continue;
    }
    if (p < pattern.size() && pattern[p] == '?') {
      ++p;
      n += SequenceLength(name, n);
      continue;
    }
    if (p < pattern.size()) {
      const char a = case_sensitive ? pattern[p] : FoldAscii(pattern[p]);
      const char b = case_sensitive ? name[n] : FoldAscii(name[n]);
      if (a == b) {
        ++p;
        ++n;
        continue;
      }
    }
    if (star_p == std::string_view::npos) return false;
    p = star_p + 1;
    star_n += SequenceLength(name, star_n);
    n = star_n;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

}  // namespace nocunzip::unzip32
