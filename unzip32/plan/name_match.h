// Matching of entry names against the include and exclude patterns of the caller.
#pragma once

#include <string_view>

namespace nocunzip::unzip32 {

// True when `name` matches `pattern` as a whole. "*" stands for any run of characters,
// slashes included, and "?" for exactly one character (one UTF-8 sequence). Without
// `case_sensitive`, ASCII letters match in either case.
bool MatchesPattern(std::string_view pattern, std::string_view name, bool case_sensitive);

}  // namespace nocunzip::unzip32
