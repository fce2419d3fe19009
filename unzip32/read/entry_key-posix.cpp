// POSIX file systems tell names apart byte by byte.
#include "read/entry_key.h"

namespace nocunzip::unzip32 {

std::string FileSystemKey(std::string_view normalised) { return std::string(normalised); }

}  // namespace nocunzip::unzip32
