// The argument text of the process: its arguments after argv[0], as Linux keeps them in
// /proc/self/cmdline, joined with single blanks.
#include <fstream>
#include <iterator>
#include <string>

#include "platform/codepage.h"
#include "platform/command_line.h"

namespace nocunzip::platform {

std::wstring CommandLineArguments() {
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // Every argument ends with a zero byte; the first one is the program itself.
  std::string joined;
  size_t start = all.find('\0');
  if (start == std::string::npos) return std::wstring();
  bool first = true;
  for (size_t pos = start + 1; pos < all.size();) {
    size_t end = all.find('\0', pos);
    if (end == std::string::npos) end = all.size();
    if (!first) joined.push_back(' ');
    joined.append(all, pos, end - pos);
    first = false;
    pos = end + 1;
  }
  return FromAnsi(joined);
}

}  // namespace nocunzip::platform
