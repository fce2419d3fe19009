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

// The data of the one Unicode path field (0x7075) among the extra fields `extra` of the
// entry whose stored name is `raw` with the flags `flags`, empty when there is none. False,
// with the reason in `problem`, when the fields can be read in more than one way: several
// of them (readers take the first or the last), a version other than 1 (whose layout
// readers guess), or a field that names the entry otherwise although its stored name spells
// it already: flagged as UTF-8, or ASCII as the field's name is (readers that go by the
// field write one name, the others the stored one).
bool FindUnicodePathField(std::string_view extra, std::string_view raw, uint16_t flags,
                          std::string_view* field, std::string* problem);

}  // namespace nocunzip::unzip32
