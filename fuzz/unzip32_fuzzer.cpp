// Fuzz target: the unzip library's two entry points on an arbitrary archive.
//
// Input: four control bytes, then the archive's bytes. The control bytes choose the
// options, the answers of the callbacks and the name lists:
//   byte 0: bit 0 HonorDirectories, 1 OverWriteFiles, 2 PromptOverwrite, 3 TestZip,
//           4 ExtractList, 5 WriteToStdOut, 6 SpaceToUnderScore, 7 ConvertCRtoCRLF
//   byte 1: bits 0-1 MessageLevel (0, 1, 2, -1), 2 ExtractNewer, 3 ExtractOnlyNewer,
//           4 Privilege, 5 Verbose, 6 DisplayComment, 7 CaseSensitive
//   byte 2: bits 0-1 replace answer (no, yes, cancel, yes), bits 2-3 password answer (the
//           right one, a wrong one, none, wrong then right), bits 4-5 stop at the N-th
//           service call (0: never), bit 6 extract twice, bit 7 target directory missing
//   byte 3: bits 0-1 name lists (none, include "*.txt", exclude "*/*", include "A?C*" and
//           exclude "*.bin"), bit 2 two workers decode (else the calling thread alone)
// Shorter inputs are extracted as they are with the program's option set.
//
// Every input is written to a fresh scratch tree and extracted into a directory three
// levels below it; afterwards nothing may exist outside that directory but the archive,
// no link and no set-id file may exist inside it, the result code must be one of the
// documented ones, and every callback must have come on the calling thread, during the
// call, with well-formed arguments.
#include <stdlib.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>

#include "fuzz/fuzz_support.h"
#include "unzip32/unzip32.h"

namespace fs = std::filesystem;
using nocunzip::fuzz::Fail;

namespace {

struct Controls {
  UzOptionsRecord options{};
  int replace_answer = UZ_REPLACE_NO;
  int password_mode = 0;
  int stop_at_service_call = 0;
  bool extract_twice = false;
  bool target_missing = false;
  int name_lists = 0;
  bool two_workers = false;
};

Controls ReadControls(const uint8_t* data, size_t size) {
  Controls c;
  UzOptionsRecord& o = c.options;
  if (size < 4) {  // the program's option set
    o.MessageLevel = 2;
    o.OverWriteFiles = 1;
    o.CaseSensitive = 1;
    return c;
  }
  uint8_t a = data[0], b = data[1], k = data[2];
  o.HonorDirectories = a & 1;
  o.OverWriteFiles = (a >> 1) & 1;
  o.PromptOverwrite = (a >> 2) & 1;
  o.TestZip = (a >> 3) & 1;
  o.ExtractList = (a >> 4) & 1;
  o.WriteToStdOut = (a >> 5) & 1;
  o.SpaceToUnderScore = (a >> 6) & 1;
  o.ConvertCRtoCRLF = (a >> 7) & 1;
  static const int32_t kLevels[] = {0, 1, 2, -1};
  o.MessageLevel = kLevels[b & 3];
  o.ExtractNewer = (b >> 2) & 1;
  o.ExtractOnlyNewer = (b >> 3) & 1;
  o.Privilege = (b >> 4) & 1;
  o.Verbose = (b >> 5) & 1;
  o.DisplayComment = (b >> 6) & 1;
  o.CaseSensitive = (b >> 7) & 1;
  static const int kReplace[] = {UZ_REPLACE_NO, UZ_REPLACE_YES, UZ_REPLACE_CANCEL, UZ_REPLACE_YES};
  c.replace_answer = kReplace[k & 3];
  c.password_mode = (k >> 2) & 3;
  c.stop_at_service_call = (k >> 4) & 3;
  c.extract_twice = (k >> 6) & 1;
  c.target_missing = (k >> 7) & 1;
  c.name_lists = data[3] & 3;
  c.two_workers = (data[3] >> 2) & 1;
  return c;
}

// What the callbacks of one library call see and check.
struct CallState {
  const Controls* controls = nullptr;
  std::thread::id caller;
  bool inside_call = false;
  int service_calls = 0;
  int password_calls = 0;
  unsigned long long printed = 0;
};
CallState state;

void ExpectOnCallingThread(const char* callback) {
  if (!state.inside_call) Fail(std::string(callback) + " called after the library returned");
  if (std::this_thread::get_id() != state.caller) {
    Fail(std::string(callback) + " called on another thread");
  }
}

int32_t UZ_CALL Print(const char* text, int32_t length) {
  ExpectOnCallingThread("PrintCallback");
  if (length > 0 && text == nullptr) Fail("PrintCallback got a null text");
  // Touch every byte that the program may read: up to the length or the first zero.
  for (int32_t i = 0; i < length && i <= 32800 && text[i] != 0; ++i) state.printed += 1;
  return 0;
}

int32_t UZ_CALL Replace(char* name) {
  ExpectOnCallingThread("ReplaceCallback");
  if (name == nullptr) Fail("ReplaceCallback got a null name");
  (void)strnlen(name, 257);
  return state.controls->replace_answer;
}

int32_t UZ_CALL Password(char* buffer, int32_t size, const char* prompt, const char* entry) {
  ExpectOnCallingThread("PasswordCallback");
  // The program writes 11 password bytes and a zero whatever the size it is told.
  if (buffer == nullptr || size < 12) Fail("PasswordCallback got a buffer under 12 bytes");
  if (prompt != nullptr) (void)std::strlen(prompt);
  if (entry != nullptr) (void)std::strlen(entry);
  int call = state.password_calls++;
  std::memset(buffer, 0, static_cast<size_t>(size < 257 ? size : 257));
  const char* answer = "amberLYNXQT";
  switch (state.controls->password_mode) {
    case 1:
      answer = "wrongLYNXQT";
      break;
    case 2:
      return 1;  // no password
    case 3:
      if (call % 2 == 0) answer = "wrongLYNXQT";
      break;
  }
  std::memcpy(buffer, answer, 11);
  return 0;
}

void UZ_CALL Message(uint32_t, uint32_t, uint32_t, uint32_t month, uint32_t day, uint32_t,
                     uint32_t hour, uint32_t minute, int32_t kind, const char* name,
                     const char* method, uint32_t, int32_t encrypted) {
  ExpectOnCallingThread("MessageCallback");
  if (name == nullptr || method == nullptr) Fail("MessageCallback got a null text");
  (void)std::strlen(name);
  (void)std::strlen(method);
  if (kind != 'd' && kind != '-') Fail("MessageCallback got kind " + std::to_string(kind));
  if (encrypted != 'E' && encrypted != ' ') {
    Fail("MessageCallback got encrypted " + std::to_string(encrypted));
  }
  if (month > 12 || day > 31 || hour > 23 || minute > 59) Fail("MessageCallback got a bad time");
}

int32_t UZ_CALL Service(const char* name, uint32_t) {
  ExpectOnCallingThread("ServiceCallback");
  if (name == nullptr) Fail("ServiceCallback got a null name");
  (void)std::strlen(name);
  ++state.service_calls;
  int stop = state.controls->stop_at_service_call;
  return stop != 0 && state.service_calls == stop ? 1 : 0;
}

bool IsDocumentedResult(int32_t result) {
  switch (result) {
    case UZ_OK:
    case UZ_WARNING:
    case UZ_ERR_ENTRY:
    case UZ_ERR_ARCHIVE:
    case UZ_ERR_NO_MATCH:
    case UZ_ERR_WRITE:
    case UZ_ERR_STOPPED:
    case UZ_ERR_UNSUPPORTED:
    case UZ_ERR_PASSWORD:
      return true;
  }
  return false;
}

int32_t ExtractOnce(const Controls& controls, const std::string& archive,
                    const std::string& target) {
  UzVersionRecord version{};
  version.StructureLength = UZ_VERSION_RECORD_LENGTH;
  if (UzpVersion2(&version) != 0) Fail("UzpVersion2 refused a record of the right length");
  if (std::memchr(version.Version, 0, sizeof version.Version) == nullptr) {
    Fail("UzpVersion2 left the version text unterminated");
  }

  UzOptionsRecord options = controls.options;
  options.ZipFileName = archive.c_str();
  options.ExtractDir = target.c_str();
  UzCallbackRecord callbacks{};
  callbacks.Print = Print;
  callbacks.Replace = Replace;
  callbacks.Password = Password;
  callbacks.Message = Message;
  callbacks.Service = Service;

  UzNameList include{}, exclude{};
  int32_t include_count = 0, exclude_count = 0;
  switch (controls.name_lists) {
    case 1:
      include[include_count++] = "*.txt";
      break;
    case 2:
      exclude[exclude_count++] = "*/*";
      break;
    case 3:
      include[include_count++] = "A?C*";
      exclude[exclude_count++] = "*.bin";
      break;
  }

  state = CallState{};
  state.controls = &controls;
  state.caller = std::this_thread::get_id();
  state.inside_call = true;
  int32_t result =
      Wiz_SingleEntryUnzip(include_count, include, exclude_count, exclude, &options, &callbacks);
  state.inside_call = false;
  if (!IsDocumentedResult(result)) Fail("undocumented result " + std::to_string(result));
  return result;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static nocunzip::fuzz::ScratchDirectory scratch("nocunzip-fuzz-unzip32");
  const fs::path& root = scratch.path();
  const fs::path levels = fs::path("a") / "b" / "c";
  const fs::path out = levels / "out";

  Controls controls = ReadControls(data, size);
  // Read by the library at the start of each run.
  setenv("UNZIP32_WORKERS", controls.two_workers ? "2" : "1", 1);
  size_t skip = size < 4 ? 0 : 4;
  nocunzip::fuzz::EmptyDirectory(root);
  fs::create_directories(root / levels);
  if (!controls.target_missing) fs::create_directory(root / out);
  nocunzip::fuzz::WriteFile(root / "archive.zip", data + skip, size - skip);

  int32_t first = ExtractOnce(controls, (root / "archive.zip").string(), (root / out).string());
  if (controls.extract_twice) {
    ExtractOnce(controls, (root / "archive.zip").string(), (root / out).string());
  }

  const bool writes_nothing = controls.options.TestZip || controls.options.ExtractList;
  // The target directory itself may be created even when nothing is written into it.
  std::set<fs::path> allowed = {"archive.zip", "a", "a/b", "a/b/c", out};
  nocunzip::fuzz::ExpectOnly(root, allowed, writes_nothing ? std::set<fs::path>{} : std::set{out},
                             "result " + std::to_string(first));
  if (fs::exists(root / out)) nocunzip::fuzz::ExpectPlainFiles(root / out);
  if (nocunzip::fuzz::ReadFile(root / "archive.zip").size() != size - skip) {
    Fail("the archive itself was changed");
  }
  return 0;
}
