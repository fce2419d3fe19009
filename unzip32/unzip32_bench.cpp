// Figures for speed and memory, run by hand (not part of the tests):
//
//   unzip32_bench make-big ARCHIVE GIB      one deflated entry of GIB GiB of generated text
//   unzip32_bench make-many ARCHIVE COUNT   COUNT deflated entries of 64 KiB each
//   unzip32_bench extract ARCHIVE TARGET    extracts and prints time and throughput
//
// Run "extract" under /usr/bin/time -v to see the peak resident size.
#include <zip.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "unzip32.h"

namespace {

// Lines of text that deflate about as well as ordinary documents do.
struct GeneratedText {
  uint64_t size = 0;
  uint64_t position = 0;
  uint64_t state = 88172645463325252ull;
  std::string line;
  size_t line_used = 0;

  size_t Read(char* out, size_t wanted) {
    size_t done = 0;
    while (done < wanted && position < size) {
      if (line_used == line.size()) NextLine();
      size_t take = std::min<size_t>(line.size() - line_used, wanted - done);
      take = static_cast<size_t>(std::min<uint64_t>(take, size - position));
      std::memcpy(out + done, line.data() + line_used, take);
      line_used += take;
      done += take;
      position += take;
    }
    return done;
  }

  void NextLine() {
    static const char* const kWords[] = {
        "archive", "entry", "data",      "unpack", "the",  "of",   "Nocturnis", "value",
        "record",  "and",   "directory", "file",   "size", "time", "name",      "42"};
    line.clear();
    for (int i = 0; i < 12; ++i) {
      state ^= state << 13;
      state ^= state >> 7;
      state ^= state << 17;
      line += kWords[state % 16];
      line += ' ';
    }
    line += std::to_string(state % 100000) + '\n';
    line_used = 0;
  }
};

zip_int64_t GeneratedSource(void* user, void* data, zip_uint64_t length, zip_source_cmd_t command) {
  auto* text = static_cast<GeneratedText*>(user);
  switch (command) {
    case ZIP_SOURCE_OPEN:
      text->position = 0;
      text->line.clear();
      text->line_used = 0;
      return 0;
    case ZIP_SOURCE_READ:
      return static_cast<zip_int64_t>(text->Read(static_cast<char*>(data), length));
    case ZIP_SOURCE_CLOSE:
      return 0;
    case ZIP_SOURCE_STAT: {
      auto* st = static_cast<zip_stat_t*>(data);
      zip_stat_init(st);
      st->size = text->size;
      st->valid |= ZIP_STAT_SIZE;
      return sizeof(zip_stat_t);
    }
    case ZIP_SOURCE_ERROR:
      return 2 * sizeof(int);
    case ZIP_SOURCE_FREE:
      return 0;
    case ZIP_SOURCE_SUPPORTS:
      return zip_source_make_command_bitmap(ZIP_SOURCE_OPEN, ZIP_SOURCE_READ, ZIP_SOURCE_CLOSE,
                                            ZIP_SOURCE_STAT, ZIP_SOURCE_ERROR, ZIP_SOURCE_FREE, -1);
    default:
      return -1;
  }
}

int Make(const char* path, const std::vector<GeneratedText*>& entries, const char* stem) {
  int error = 0;
  zip_t* archive = zip_open(path, ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (archive == nullptr) return std::fprintf(stderr, "cannot create %s\n", path), 1;
  for (size_t i = 0; i < entries.size(); ++i) {
    zip_source_t* source = zip_source_function(archive, GeneratedSource, entries[i]);
    const std::string name = std::string(stem) + std::to_string(i) + ".txt";
    const zip_int64_t index = zip_file_add(archive, name.c_str(), source, 0);
    if (index < 0 || zip_set_file_compression(archive, index, ZIP_CM_DEFLATE, 1) < 0) {
      return std::fprintf(stderr, "%s\n", zip_strerror(archive)), 1;
    }
  }
  if (zip_close(archive) < 0) return std::fprintf(stderr, "%s\n", zip_strerror(archive)), 1;
  return 0;
}

int32_t UZ_CALL Print(const char* text, int32_t length) {
  std::fwrite(text, 1, strnlen(text, static_cast<size_t>(length)), stderr);
  return 0;
}

// The program's fixed password, so that encrypted archives can be measured too.
int32_t UZ_CALL Password(char* buffer, int32_t size, const char*, const char*) {
  std::snprintf(buffer, static_cast<size_t>(size), "%s", "amberLYNXQT");
  return 0;
}

int Extract(const char* archive, const char* target) {
  UzOptionsRecord options{};
  options.MessageLevel = 1;
  options.HonorDirectories = 1;
  options.OverWriteFiles = 1;
  options.CaseSensitive = 1;
  options.ZipFileName = archive;
  options.ExtractDir = target;
  UzCallbackRecord callbacks{};
  callbacks.Print = Print;
  callbacks.Password = Password;
  UzNameList none{};
  const auto start = std::chrono::steady_clock::now();
  const int32_t result = Wiz_SingleEntryUnzip(0, none, 0, none, &options, &callbacks);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  const double megabytes = callbacks.TotalUncompressedSize / 1e6;
  std::printf("result %d: %u entries, %.1f MB out of %.1f MB in %.2f s: %.0f MB/s\n", result,
              callbacks.NumberOfMembers, megabytes, callbacks.TotalCompressedSize / 1e6, seconds,
              megabytes / seconds);
  return result == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::strcmp(argv[1], "make-big") == 0) {
    GeneratedText text;
    text.size = static_cast<uint64_t>(std::atof(argv[3]) * (1ull << 30));
    return Make(argv[2], {&text}, "big");
  }
  if (argc == 4 && std::strcmp(argv[1], "make-many") == 0) {
    std::vector<GeneratedText> texts(static_cast<size_t>(std::atol(argv[3])));
    std::vector<GeneratedText*> entries;
    for (size_t i = 0; i < texts.size(); ++i) {
      texts[i].size = 64 << 10;
      texts[i].state += i * 7919;
      entries.push_back(&texts[i]);
    }
    return Make(argv[2], entries, "small/");
  }
  if (argc == 4 && std::strcmp(argv[1], "extract") == 0) return Extract(argv[2], argv[3]);
  std::fprintf(stderr,
               "usage: unzip32_bench make-big ARCHIVE GIB | make-many ARCHIVE COUNT | "
               "extract ARCHIVE TARGET\n");
  return 2;
}
