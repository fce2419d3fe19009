// Test support: archives built by the tests themselves, and a caller of the library that
// lays out the records and callbacks as the program's driver does.
#pragma once

#include <zip.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "read/byte_reader.h"
#include "unzip32.h"

namespace nocunzip::unzip32::testing {

// An entry written through libzip.
struct TestEntry {
  std::string name;  // a name ending in "/" makes a directory
  std::string data;
  int32_t method = ZIP_CM_DEFLATE;
  uint16_t encryption = ZIP_EM_NONE;
  std::string password;
  int64_t mtime = 1700000000;
  std::optional<uint32_t> unix_mode;  // full st_mode, type bits included
};

// Writes a ZIP archive with libzip; fails the current test on any libzip error.
void WriteZip(const std::filesystem::path& path, const std::vector<TestEntry>& entries,
              const std::string& comment = "");

// An entry of a hand-made archive, for what libzip would not write.
struct RawEntry {
  std::string name;
  std::string data;  // stored as given unless `deflate` is set
  bool deflate = false;
  // `data` is a raw deflate stream already: written as given with method deflate. Declare
  // the size and CRC of what it inflates to.
  bool deflated_already = false;
  uint16_t flags = 0;                     // general purpose flags (bit 11: UTF-8 name)
  bool data_descriptor = false;           // sizes and CRC after the data, as streaming writers do
  std::optional<uint32_t> declared_size;  // uncompressed size claimed in the headers
  std::optional<uint32_t> declared_compressed;  // compressed size claimed in the headers
  std::optional<uint32_t> declared_crc;
  uint32_t external_attributes = 0;
  uint8_t made_by_system = 0;      // 0 MS-DOS, 3 Unix
  std::optional<uint16_t> method;  // written in both headers instead of 0 or 8
  std::string local_extra;         // extra fields of the local header, as bytes
  std::string central_extra;       // extra fields of the central record, as bytes
  // Central record points at the local header of this earlier entry instead of its own
  // (the overlapping-entries bomb).
  std::optional<size_t> share_local_header_of;
  // What the local header says instead of what the central record says, for archives
  // whose two records disagree (local_flags: bit 3 is still added by data_descriptor).
  std::optional<std::string> local_name;
  std::optional<uint16_t> local_method;
  std::optional<uint16_t> local_flags;
  std::optional<uint32_t> local_crc;
  std::optional<uint32_t> local_compressed;
  std::optional<uint32_t> local_size;
  std::optional<std::string> descriptor;  // written after the data instead of the descriptor
  std::string after;                      // bytes after the entry, before the next one
};

// The bytes of an archive with `entries` in this order.
std::string BuildRawZip(const std::vector<RawEntry>& entries, const std::string& comment = "");
std::string DeflateRaw(const std::string& data);

// An archive held in memory, for the pieces that read through a ByteReader.
class StringReader : public ByteReader {
 public:
  explicit StringReader(std::string bytes) : bytes_(std::move(bytes)) {}
  uint64_t size() const override { return bytes_.size(); }
  bool ReadAt(uint64_t offset, void* buffer, size_t length) override;

 private:
  std::string bytes_;
};

std::string ReadFileBytes(const std::filesystem::path& path);
void WriteFileBytes(const std::filesystem::path& path, const std::string& bytes);

// A fresh directory that is removed again with the object.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Every file below `root`, as paths relative to it with "/", sorted.
std::vector<std::string> ListTree(const std::filesystem::path& root);

// What one call of the library did.
struct RunResult {
  int32_t result = -1;
  std::string printed;
  std::vector<std::string> described;  // names given to MessageCallback
  std::vector<std::string> serviced;   // names given to ServiceCallback
  std::vector<std::string> replace_asked;
  int password_asks = 0;
  // Every callback in the order it came: "message NAME", "service NAME", "replace NAME",
  // "password NAME", "print TEXT".
  std::vector<std::string> events;
  UzCallbackRecord record{};
};

// Calls the library as the program's driver does: the driver's default options, a version
// query first, then one extraction with test callbacks.
class LibraryCaller {
 public:
  LibraryCaller();

  UzOptionsRecord options{};
  std::vector<std::string> include;
  std::vector<std::string> exclude;
  std::string password = "amberLYNXQT";  // what PasswordCallback supplies
  bool refuse_password = false;          // PasswordCallback returns nonzero
  int32_t replace_answer = UZ_REPLACE_YES;
  // When set, answers the question to replace the file of the name given instead.
  std::function<int32_t(const std::string&)> replace_by_name;
  int stop_at_entry = -1;  // ServiceCallback answers nonzero for this entry (0-based)
  // When set, called by ServiceCallback with the entry's name before it answers.
  std::function<void(const std::string&)> on_service;

  // For paths in ASCII: fs::path's narrow text is UTF-8 with MinGW, not the ANSI code page.
  RunResult Run(const std::filesystem::path& archive, const std::filesystem::path& target);
  // The paths as the texts that the library gets, spelled in the caller's code page.
  RunResult Run(const std::string& archive_text, const std::string& target_text);
};

}  // namespace nocunzip::unzip32::testing
