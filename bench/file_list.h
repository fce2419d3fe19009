// The files of a file-creation run: where each one goes below the output directory and how
// many bytes it has. bench/run.py writes the list from an archive's manifest.
//
// One file a line, its size in bytes, a tab, then its path relative to the output
// directory with "/" between components:
//
//   4711<TAB>small/d000/f00000.txt
//
// A path is refused when it is absolute, or has an empty, "." or ".." component, so that
// no list writes outside the output directory.
#pragma once

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

namespace nocunzip::bench {

struct FileToWrite {
  std::string path;
  uint64_t size = 0;
};

// Reads the whole list from `input` into `files`. On a malformed line returns false with
// `error` naming the line and what is wrong with it.
bool ReadFileList(std::istream& input, std::vector<FileToWrite>* files, std::string* error);

}  // namespace nocunzip::bench
