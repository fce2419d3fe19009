// Extracts one archive through the unzip library alone, the way the program drives it:
// the library is loaded by name at run time, asked for its version, then called once with
// the program's option set and five callbacks. bench/run.py times it as a whole, without
// the program around the library; run by hand, it prints the library's own figures:
//
//   bench_unzip32 [--honor-directories] [--list] [--library PATH] [--password TEXT] ARCHIVE
//                 TARGET-DIRECTORY
//   -> members=N uncompressed_mb=X seconds=S mb_per_s=R printed_bytes=P
//
// --list lists the entries (ExtractList 1) instead of extracting them: the reader's first
// pass and the lines alone. The password callback answers TEXT (without --password, a fixed
// password of its own). seconds is the extraction call alone (no process start, no
// loading). Run it under /usr/bin/time -v to see the peak resident size as well. Exit
// status 0 when the library returned 0; otherwise 1, with the library's result and its last
// printed lines on standard error.
#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "unzip32/unzip32.h"

namespace {

// The tail of the library's print output, shown when an extraction fails.
std::string printed_tail;
unsigned long long printed_bytes = 0;

int32_t UZ_CALL Print(const char* text, int32_t length) {
  if (text == nullptr || length <= 0) return 0;
  size_t n = strnlen(text, static_cast<size_t>(length));
  printed_bytes += n;
  printed_tail.append(text, n);
  if (printed_tail.size() > 4096) printed_tail.erase(0, printed_tail.size() - 4096);
  return 0;
}

int32_t UZ_CALL Replace(char*) { return UZ_REPLACE_NO; }

// What the password callback answers.
std::string password = "amberLYNXQT";

int32_t UZ_CALL Password(char* buffer, int32_t size, const char*, const char*) {
  if (buffer == nullptr || size <= static_cast<int32_t>(password.size())) return 1;
  std::memcpy(buffer, password.c_str(), password.size() + 1);
  return 0;
}

void UZ_CALL Message(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                     int32_t, const char*, const char*, uint32_t, int32_t) {}

int32_t UZ_CALL Service(const char*, uint32_t) { return 0; }

struct LibraryCloser {
  void operator()(void* handle) const { dlclose(handle); }
};

int Usage() {
  std::fprintf(stderr,
               "usage: bench_unzip32 [--honor-directories] [--list] [--library PATH] "
               "[--password TEXT] ARCHIVE TARGET-DIRECTORY\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool honor_directories = false;
  bool list = false;
  std::string library = "libunzip32.so";  // found beside this program through its RUNPATH
  int arg = 1;
  for (; arg < argc && std::strncmp(argv[arg], "--", 2) == 0; ++arg) {
    if (std::strcmp(argv[arg], "--honor-directories") == 0) {
      honor_directories = true;
    } else if (std::strcmp(argv[arg], "--list") == 0) {
      list = true;
    } else if (std::strcmp(argv[arg], "--library") == 0 && arg + 1 < argc) {
      library = argv[++arg];
    } else if (std::strcmp(argv[arg], "--password") == 0 && arg + 1 < argc) {
      password = argv[++arg];
    } else {
      return Usage();
    }
  }
  if (argc - arg != 2) return Usage();

  std::unique_ptr<void, LibraryCloser> handle(dlopen(library.c_str(), RTLD_NOW));
  if (!handle) {
    std::fprintf(stderr, "bench_unzip32: %s\n", dlerror());
    return 1;
  }
  auto version = reinterpret_cast<decltype(&UzpVersion2)>(dlsym(handle.get(), "UzpVersion2"));
  auto unzip = reinterpret_cast<decltype(&Wiz_SingleEntryUnzip)>(
      dlsym(handle.get(), "Wiz_SingleEntryUnzip"));
  if (version == nullptr || unzip == nullptr) {
    std::fprintf(stderr, "bench_unzip32: entry missing in %s\n", library.c_str());
    return 1;
  }

  UzVersionRecord version_record{};
  version_record.StructureLength = UZ_VERSION_RECORD_LENGTH;
  version(&version_record);

  // The program's option set: the object's defaults with PromptOverwrite and
  // HonorDirectories off.
  UzOptionsRecord options{};
  options.MessageLevel = 2;
  options.HonorDirectories = honor_directories ? 1 : 0;
  options.OverWriteFiles = 1;
  options.CaseSensitive = 1;
  options.ExtractList = list ? 1 : 0;
  options.ZipFileName = argv[arg];
  options.ExtractDir = argv[arg + 1];

  UzCallbackRecord callbacks{};
  callbacks.Print = Print;
  callbacks.Replace = Replace;
  callbacks.Password = Password;
  callbacks.Message = Message;
  callbacks.Service = Service;

  UzNameList include{}, exclude{};
  const auto start = std::chrono::steady_clock::now();
  int32_t result = unzip(0, include, 0, exclude, &options, &callbacks);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (result != UZ_OK) {
    std::fprintf(stderr, "bench_unzip32: result %d\n%s\n", result, printed_tail.c_str());
    return 1;
  }
  const double megabytes = callbacks.TotalUncompressedSize / 1e6;
  std::printf("members=%u uncompressed_mb=%.1f seconds=%.3f mb_per_s=%.0f printed_bytes=%llu\n",
              callbacks.NumberOfMembers, megabytes, seconds,
              seconds > 0 ? megabytes / seconds : 0.0, printed_bytes);
  return 0;
}
