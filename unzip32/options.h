// The caller's options record and name lists, read once into plain values. Their texts are
// taken from the caller's code page into UTF-8, the library's own (caller_text.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "unzip32.h"

namespace nocunzip::unzip32 {

struct ExtractOptions {
  std::string archive;
  std::string target;  // empty: the current directory
  bool extract_only_newer = false;
  bool space_to_underscore = false;
  bool prompt_overwrite = false;
  int32_t message_level = 0;  // 0 errors only, 1 also a summary, 2 also a line per entry
  bool write_to_stdout = false;
  bool test = false;
  bool list = false;
  bool extract_newer = false;
  bool display_comment = false;
  bool honor_directories = true;
  bool overwrite = false;
  bool convert_line_ends = false;
  bool verbose = false;
  bool case_sensitive = true;
  bool restore_permissions = false;
  std::vector<std::string> include;  // empty: every entry
  std::vector<std::string> exclude;
};

// Any nonzero value switches a flag on. Null or negative counts read as no patterns; null
// slots in a list are skipped.
ExtractOptions ReadOptions(const UzOptionsRecord& record, int32_t include_count,
                           const char** include, int32_t exclude_count, const char** exclude);

// Whether `name` passes the include and exclude lists.
bool IsSelected(const ExtractOptions& options, const std::string& name);

}  // namespace nocunzip::unzip32
