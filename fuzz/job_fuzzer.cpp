// Fuzz target: the unpack job on an arbitrary argument text.
//
// The target changes the working directory of the process: give libFuzzer absolute paths.
//
// Input: the argument text, one character per byte (its value as the code point). Every
// "/" becomes "_", so that the archive path and the target directory stay inside the
// scratch tree: the job runs in a working directory that holds a few archives (a plain one,
// encrypted ones with the right and a wrong password, a broken one, a hidden one and a
// directory named like an archive), with its settings file in a private config home.
//
// Checked after each input: the call is refused exactly when the text is blank or its third
// ";" field is not the caller token; a refused call writes no result file; every other call
// ends with "success" in NocUnzip.end and with NocUnzip.err saying what the outcome says;
// nothing is written outside the scratch tree's jail; the job raises no error.
#include <zip.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "app/job.h"
#include "fuzz/fuzz_support.h"
#include "platform/codepage.h"
#include "platform/error.h"

namespace fs = std::filesystem;
using nocunzip::JobOutcome;
using nocunzip::fuzz::Fail;

namespace {

struct ArchiveCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};

// Writes an archive of `names` (a name ending in "/" is a directory) with libzip,
// encrypting the files with `password` when it is given.
void WriteArchive(const fs::path& path, std::initializer_list<const char*> names,
                  const char* password = nullptr, uint16_t method = ZIP_EM_TRAD_PKWARE) {
  int error = 0;
  zip_t* archive = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  if (archive == nullptr) Fail("cannot create " + path.string());
  std::unique_ptr<zip_t, ArchiveCloser> closer(archive);
  for (const char* name : names) {
    std::string text(name);
    if (text.back() == '/') {
      zip_dir_add(archive, name, ZIP_FL_ENC_UTF_8);
      continue;
    }
    static const char kContent[] = "Ein Datenarchiv wird entpackt!\nBitte warten...\n";
    zip_source_t* source = zip_source_buffer(archive, kContent, sizeof kContent - 1, 0);
    zip_int64_t index = zip_file_add(archive, name, source, ZIP_FL_ENC_UTF_8);
    if (index < 0) Fail("cannot add " + text);
    if (password != nullptr && zip_file_set_encryption(archive, index, method, password) != 0) {
      Fail("cannot encrypt " + text);
    }
  }
  if (zip_close(closer.release()) != 0) Fail("cannot write " + path.string());
}

struct Jail {
  nocunzip::fuzz::ScratchDirectory scratch{"nocunzip-fuzz-job"};
  fs::path root = scratch.path();
  fs::path jail = root / "jail";
  fs::path work = jail / "work";
  fs::path results = root / "results";
  fs::path settings = root / "config" / "Nocturnis" / "settings.ini";
  std::set<fs::path> fixed;  // what the tree holds outside the jail

  Jail() {
    fs::create_directories(settings.parent_path());
    fs::create_directories(results);
    std::string ini = "[Verzeichnisse]\nNocturnis-Verzeichnis=" + results.string() + "/\n";
    nocunzip::fuzz::WriteFile(settings, ini.data(), ini.size());
    setenv("XDG_CONFIG_HOME", (root / "config").c_str(), 1);
    fs::create_directories(work);
    fixed = nocunzip::fuzz::ListTree(root);
    Reset();
    fs::current_path(work);
  }

  // Puts the working directory back to its first state. The archives are made once and
  // then copied, since making an AES archive takes a key derivation.
  void Reset() {
    if (archives.empty()) MakeArchives();
    nocunzip::fuzz::EmptyDirectory(jail);
    fs::create_directory(work);
    for (const auto& [name, bytes] : archives) {
      nocunzip::fuzz::WriteFile(work / name, bytes.data(), bytes.size());
    }
    fs::create_directory(work / "dir.zip");
    for (const char* name : {"NocUnzip.err", "NocUnzip.end"}) fs::remove(results / name);
  }

  void MakeArchives() {
    fs::path made = root / "made";
    fs::create_directory(made);
    WriteArchive(made / "good.zip", {"hello.txt", "docs/", "docs/readme.txt"});
    WriteArchive(made / "with space.zip", {"a b.txt"});
    WriteArchive(made / "secret.zip", {"secret.txt"}, "amberLYNXQT");
    WriteArchive(made / "aes.zip", {"aes.txt"}, "amberLYNXQT", ZIP_EM_AES_256);
    WriteArchive(made / "wrong.zip", {"wrong.txt"}, "not the password");
    WriteArchive(made / ".hidden.zip", {"hidden.txt"});
    static const char kBroken[] = "PK\3\4 this is no archive";
    nocunzip::fuzz::WriteFile(made / "broken.zip", kBroken, sizeof kBroken - 1);
    for (const fs::directory_entry& entry : fs::directory_iterator(made)) {
      archives.emplace_back(entry.path().filename(), nocunzip::fuzz::ReadFile(entry.path()));
    }
    nocunzip::fuzz::EmptyDirectory(made);
    fs::remove(made);
  }

  std::vector<std::pair<fs::path, std::string>> archives;
};

// Field 3 of the argument text split at ";", or nothing when there is none.
std::wstring ThirdField(const std::wstring& text) {
  size_t first = text.find(L';');
  if (first == std::wstring::npos) return L"";
  size_t second = text.find(L';', first + 1);
  if (second == std::wstring::npos) return L"";
  size_t third = text.find(L';', second + 1);
  return text.substr(second + 1,
                     third == std::wstring::npos ? std::wstring::npos : third - second - 1);
}

std::string ResultFile(const fs::path& path) {
  return fs::exists(path) ? nocunzip::fuzz::ReadFile(path) : std::string("(none)");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Jail jail;
  std::wstring text(data, data + size);
  for (wchar_t& c : text) {
    if (c == L'/') c = L'_';
  }
  const std::string shown = nocunzip::platform::ToAnsi(text);

  JobOutcome outcome;
  try {
    outcome = nocunzip::RunUnpackJob(text);
  } catch (const nocunzip::ProgramError& e) {
    Fail("the job raised error " + std::to_string(e.number()) + " (" +
         nocunzip::platform::ToAnsi(e.description()) + ") for " + shown);
  }

  const bool blank = text.find_first_not_of(L' ') == std::wstring::npos;
  const bool refused = blank || ThirdField(text) != L"KvtZRX615";
  const std::string err = ResultFile(jail.results / "NocUnzip.err");
  const std::string end = ResultFile(jail.results / "NocUnzip.end");
  const std::string what = "argument text \"" + shown + "\" (outcome " +
                           std::to_string(static_cast<int>(outcome)) + ", err " + err + ", end " +
                           end + ")";
  if (refused != (outcome == JobOutcome::Refused)) Fail("caller check wrong for " + what);
  switch (outcome) {
    case JobOutcome::Refused:
      if (err != "(none)" || end != "(none)") Fail("a refused call wrote a result file: " + what);
      break;
    case JobOutcome::Extracted:
      if (err != "(none)" || end != "success\r\n") Fail("wrong result files: " + what);
      break;
    case JobOutcome::ArchiveMissing:
      if (err != "file not found\r\n" || end != "success\r\n") Fail("wrong result files: " + what);
      break;
    case JobOutcome::ExtractionFailed:
      if (err != "unzip-error\r\n" || end != "success\r\n") Fail("wrong result files: " + what);
      break;
    default:
      Fail("unknown outcome: " + what);
  }

  std::set<fs::path> allowed = jail.fixed;
  allowed.insert(fs::path("results") / "NocUnzip.err");
  allowed.insert(fs::path("results") / "NocUnzip.end");
  nocunzip::fuzz::ExpectOnly(jail.root, allowed, {"jail"}, what);
  nocunzip::fuzz::ExpectPlainFiles(jail.jail);
  jail.Reset();
  return 0;
}
