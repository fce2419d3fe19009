// A stand-in for the unzip library, for tests only. It keeps the raw bytes of every record
// it receives, logs each call, and plays back a script of callback calls before it returns
// a scripted result.
//
// The script comes from FakeUnzip_SetScript or, when none was set, from the file named by
// FAKE_UNZIP_SCRIPT. One command per line:
//   print HEX               the bytes as one print chunk, their count as its length
//   print-length N HEX      the bytes, with N handed over as the length
//   print-repeat N HEX      N copies of one byte as one chunk
//   print-text TEXT         the rest of the line as one chunk
//   replace HEX / replace-text NAME   ask before overwriting NAME
//   password SIZE           ask for a password into a SIZE-byte buffer
//   message / service       one call of these callbacks
//   result N                the result code (default 0)
// The log (FakeUnzip_Log, and appended to the file named by FAKE_UNZIP_LOG) holds a line per
// call; a password line shows the whole buffer and the 16 guard bytes after it.
#include <time.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "unzip32/unzip32.h"

namespace {

struct State {
  std::string script;
  bool script_set = false;
  std::string log;
  std::map<std::string, std::vector<unsigned char>> blobs;
};

State& TheState() {
  static State state;
  return state;
}

void Log(const std::string& line) {
  TheState().log += line + "\n";
  if (const char* file = std::getenv("FAKE_UNZIP_LOG")) {
    std::ofstream(file, std::ios::app) << line << "\n";
  }
}

void Keep(const std::string& name, const void* data, size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  TheState().blobs[name].assign(bytes, bytes + size);
}

[[maybe_unused]] std::string Hex(const unsigned char* bytes, size_t size) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < size; ++i) {
    out.push_back(digits[bytes[i] >> 4]);
    out.push_back(digits[bytes[i] & 15]);
  }
  return out;
}

[[maybe_unused]] std::vector<char> FromHex(const std::string& hex) {
  std::vector<char> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2)
    out.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

long long MonotonicNanoseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
}

[[maybe_unused]] std::string Script() {
  State& state = TheState();
  if (state.script_set) return state.script;
  const char* file = std::getenv("FAKE_UNZIP_SCRIPT");
  if (!file) return std::string();
  std::ifstream in(file);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

}  // namespace

extern "C" {

UZ_EXPORT void FakeUnzip_Reset() {
  State& state = TheState();
  state = State();
}

UZ_EXPORT void FakeUnzip_SetScript(const char* script) {
  TheState().script = script;
  TheState().script_set = true;
}

UZ_EXPORT const char* FakeUnzip_Log() { return TheState().log.c_str(); }

UZ_EXPORT const unsigned char* FakeUnzip_Blob(const char* name, size_t* size) {
  auto& blobs = TheState().blobs;
  auto it = blobs.find(name);
  if (it == blobs.end()) {
    *size = 0;
    return nullptr;
  }
  *size = it->second.size();
  return it->second.data();
}

UZ_EXPORT int32_t UZ_CALL UzpVersion2(UzVersionRecord* record) {
  Log("UzpVersion2 t=" + std::to_string(MonotonicNanoseconds()));
  Keep("version", record, sizeof(*record));
  if (record->StructureLength != UZ_VERSION_RECORD_LENGTH) return 1;
  std::snprintf(record->Version, sizeof(record->Version), "fake");
  return 0;
}

#ifndef FAKE_WITHOUT_UNZIP_ENTRY
UZ_EXPORT int32_t UZ_CALL Wiz_SingleEntryUnzip(int32_t include_count, const char** include,
                                               int32_t exclude_count, const char** exclude,
                                               UzOptionsRecord* options,
                                               UzCallbackRecord* callbacks) {
  Log("Wiz_SingleEntryUnzip include=" + std::to_string(include_count) +
      " exclude=" + std::to_string(exclude_count));
  const int32_t counts[2] = {include_count, exclude_count};
  Keep("counts", counts, sizeof(counts));
  Keep("options", options, sizeof(*options));
  Keep("callbacks", callbacks, sizeof(*callbacks));
  Keep("include", include, sizeof(UzNameList));
  Keep("exclude", exclude, sizeof(UzNameList));
  Keep("zipname", options->ZipFileName, std::strlen(options->ZipFileName));
  Keep("extractdir", options->ExtractDir, std::strlen(options->ExtractDir));
  Log(std::string("zipname=") + options->ZipFileName);
  Log(std::string("extractdir=") + options->ExtractDir);
  const int32_t* fields = &options->ExtractOnlyNewer;
  std::string values = "options";
  for (int i = 0; i < 15; ++i) {
    values += ' ';
    values += std::to_string(fields[i]);
  }
  Log(values);

  int32_t result = 0;
  std::istringstream script(Script());
  std::string line;
  while (std::getline(script, line)) {
    std::istringstream words(line);
    std::string command;
    words >> command;
    std::string rest;
    std::getline(words >> std::ws, rest);
    if (command == "print" || command == "print-text" || command == "print-length" ||
        command == "print-repeat") {
      std::vector<char> bytes;
      int32_t length = -1;
      if (command == "print") {
        bytes = FromHex(rest);
      } else if (command == "print-text") {
        bytes.assign(rest.begin(), rest.end());
      } else {
        std::istringstream parts(rest);
        std::string hex;
        parts >> length >> hex;
        bytes = FromHex(hex);
        if (command == "print-repeat") {
          bytes.assign(static_cast<size_t>(length), bytes.empty() ? 'x' : bytes[0]);
        }
      }
      if (length < 0) length = static_cast<int32_t>(bytes.size());
      bytes.push_back('#');  // a byte past the chunk that must never be taken
      int32_t rc = callbacks->Print(bytes.data(), length);
      Log("print -> " + std::to_string(rc));
    } else if (command == "replace" || command == "replace-text") {
      std::vector<char> name =
          command == "replace" ? FromHex(rest) : std::vector<char>(rest.begin(), rest.end());
      name.push_back('\0');
      int32_t rc = callbacks->Replace(name.data());
      Log("replace -> " + std::to_string(rc));
    } else if (command == "password") {
      const int32_t size = std::stoi(rest);
      std::vector<unsigned char> buffer(static_cast<size_t>(size) + 16, 0xAA);
      int32_t rc = callbacks->Password(reinterpret_cast<char*>(buffer.data()), size,
                                       "Enter password", "entry.txt");
      Log("password " + std::to_string(size) + " -> " + std::to_string(rc) + " " +
          Hex(buffer.data(), buffer.size()));
    } else if (command == "message") {
      callbacks->Message(10, 5, 500, 12, 8, 2026, 15, 1, '-', "entry.txt", "Deflate", 0, ' ');
      Log("message");
    } else if (command == "service") {
      int32_t rc = callbacks->Service("entry.txt", 10);
      Log("service -> " + std::to_string(rc));
    } else if (command == "result") {
      result = std::stoi(rest);
    }
  }
  Log("return " + std::to_string(result));
  return result;
}
#endif

}  // extern "C"
