// Turns the name bytes of an archive entry into UTF-8, the one form that the rest of the
// library handles names in.
//
// An entry says how its name is written only in part: flag bit 11 means UTF-8; without it a
// Unicode path extra field (0x7075) may carry the name in UTF-8, valid only while its CRC
// matches the stored name (a tool that renamed the entry without knowing the field leaves
// a stale one); without either, a name that is valid UTF-8 is taken as such (many tools
// write UTF-8 without the flag), and anything else is read in the OEM code page.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace nocunzip::unzip32 {

// The name `raw` with the general purpose flags `flags`; `unicode_path_field` is the data of
// the entry's 0x7075 extra field, empty when it has none. The result is always valid
// UTF-8: invalid bytes in a name flagged as UTF-8 become U+FFFD.
std::string DecodeEntryName(std::string_view raw, uint16_t flags,
                            std::string_view unicode_path_field);

// The data of the Unicode path field (0x7075) among the extra fields `extra` of the entry
// whose stored name is `raw` with the flags `flags`, empty when there is none (several are
// refused by RepeatedExtraField before). False, with the reason in `problem`, when the field
// can be read in more than one way: a version other than 1 (whose layout readers guess), or
// a name that is more than a re-spelling of the stored one. The field may spell the
// characters outside ASCII otherwise, a run of them for a run; the ASCII characters of the
// name as a reader without the field decodes it (separators among them) must stay, in their
// order. A name flagged as UTF-8 spells itself: its field must say the same.
bool FindUnicodePathField(std::string_view extra, std::string_view raw, uint16_t flags,
                          std::string_view* field, std::string* problem);

}  // namespace nocunzip::unzip32
