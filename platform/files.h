// The two file-system services of the job: probing for an archive and writing a result file.
#pragma once

#include <string>

namespace nocunzip::platform {

// True when the first directory entry matching `path` is an ordinary file: no directory,
// hidden file, system file or volume label. The last path component may hold the
// wildcards "*" and "?". Never raises; a path that cannot be probed gives false.
bool FindOrdinaryFile(const std::wstring& path);

// Creates `path`, or truncates it when it exists, writes `bytes` and closes it. Raises a
// ProgramError (76 when the directory does not exist, 75 for other failures).
void WriteWholeFile(const std::wstring& path, const std::string& bytes);

}  // namespace nocunzip::platform
