// The floor of writing many files: the files of a list, written from memory with the unzip
// library's calls on Linux (see file_floor.h), timed without anything to decode. Before the
// clock starts the list is read, the directories are made and opened, and the buffer is
// filled; after it stops the output is checked: every listed file with its size, and no
// other file. bench/run.py lists the files of an archive, so that the count and the sizes
// are the archive's.
//
//   bench_file_floor LIST OUTPUT-DIRECTORY THREADS
//   -> files=N bytes=B threads=T seconds=S
//
// LIST (see file_list.h; "-" reads standard input) holds one "SIZE<TAB>PATH" a line.
// THREADS from 1 to 64 share the files. Exit status 0 when every file was written and
// checked; otherwise 1, with the reason on standard error.
#include "bench/file_floor.h"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>

#include "bench/file_list.h"

namespace {

constexpr unsigned kMostThreads = 64;

int Usage() {
  std::fprintf(stderr, "usage: bench_file_floor LIST OUTPUT-DIRECTORY THREADS (1 to %u)\n",
               kMostThreads);
  return 2;
}

bool ReadList(const char* name, std::vector<nocunzip::bench::FileToWrite>* files,
              std::string* error) {
  if (std::strcmp(name, "-") == 0) return nocunzip::bench::ReadFileList(std::cin, files, error);
  std::ifstream input(name);
  if (!input) {
    *error = "cannot open the list";
    return false;
  }
  return nocunzip::bench::ReadFileList(input, files, error);
}

int Fail(const std::string& what) {
  std::fprintf(stderr, "bench_file_floor: %s\n", what.c_str());
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) return Usage();
  unsigned threads = 0;
  const char* threads_end = argv[3] + std::strlen(argv[3]);
  const auto parsed = std::from_chars(argv[3], threads_end, threads);
  if (parsed.ec != std::errc() || parsed.ptr != threads_end || threads < 1 ||
      threads > kMostThreads) {
    return Usage();
  }
  std::vector<nocunzip::bench::FileToWrite> files;
  std::string error;
  if (!ReadList(argv[1], &files, &error)) return Fail(std::string(argv[1]) + ": " + error);
  auto floor = nocunzip::bench::FileFloor::Prepare(argv[2], files, &error);
  if (floor == nullptr) return Fail(error);

  const auto start = std::chrono::steady_clock::now();
  const bool written = floor->WriteAll(threads, &error);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!written || !floor->Verify(&error)) return Fail(error);
  std::printf("files=%zu bytes=%llu threads=%u seconds=%.6f\n", floor->file_count(),
              static_cast<unsigned long long>(floor->total_bytes()), threads, seconds);
  return 0;
}
