#include "report/report.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "report/caller_text.h"
#include "read/local_time.h"
#include "read/zip_format.h"

namespace nocunzip::unzip32 {
namespace {

uint32_t Clamp32(uint64_t value) {
  return static_cast<uint32_t>(std::min<uint64_t>(value, 0xFFFFFFFF));
}

// The driver takes each print call as one piece of text and stops at a zero byte; the
// password buffer is as large as a driver copies at most.
constexpr int32_t kPasswordBufferSize = 256;

}  // namespace

uint32_t SavedPerMille(uint64_t uncompressed, uint64_t compressed) {
  if (uncompressed == 0 || compressed >= uncompressed) return 0;
  const long double saved = 1000.0L * static_cast<long double>(uncompressed - compressed) /
                            static_cast<long double>(uncompressed);
  return static_cast<uint32_t>(saved);
}

void Reporter::Print(std::string_view text) { PrintPieces(text, true); }

void Reporter::PrintContents(std::string_view data) { PrintPieces(data, false); }

void Reporter::PrintPieces(std::string_view text, bool convert) {
  if (callbacks_.Print == nullptr) return;
  // One call per line, so that no piece starts with a line feed unless it is an empty
  // line, and no zero byte cuts a piece short.
  while (!text.empty()) {
    size_t end = text.find('\n');
    end = end == std::string_view::npos ? text.size() : end + 1;
    std::string piece =
        convert ? ToCallerText(text.substr(0, end)) : std::string(text.substr(0, end));
    std::replace(piece.begin(), piece.end(), '\0', ' ');
    callbacks_.Print(piece.c_str(), static_cast<int32_t>(piece.size()));
    text.remove_prefix(end);
  }
}

void Reporter::PrintLine(std::string line) {
  line += '\n';
  Print(line);
}

void Reporter::EntryError(std::string_view name, std::string_view reason) {
  PrintLine("error: " + std::string(name) + ": " + std::string(reason));
}

void Reporter::EntryWarning(std::string_view name, std::string_view reason) {
  PrintLine("warning: " + std::string(name) + ": " + std::string(reason));
}

void Reporter::ArchiveError(std::string_view archive, std::string_view reason) {
  PrintLine("error: " + std::string(archive) + ": " + std::string(reason));
}

void Reporter::EntryDone(std::string_view action, const Entry& entry, std::string_view written_as) {
  if (message_level_ < 2) return;
  std::string line = "  " + std::string(action) + ": " + entry.name;
  if (!written_as.empty() && written_as != entry.name) line += " -> " + std::string(written_as);
  if (verbose_ && !entry.is_directory) {
    line += "  (" + std::to_string(entry.uncompressed_size) + " bytes, " +
            MethodName(entry.method) + ", " +
            std::to_string(SavedPerMille(entry.uncompressed_size, entry.compressed_size) / 10) +
            "% saved";
    if (entry.encryption != Encryption::kNone) line += ", encrypted";
    line += ")";
  }
  PrintLine(std::move(line));
}

void Reporter::SummaryLine(std::string_view text) {
  if (message_level_ >= 1) PrintLine(std::string(text));
}

void Reporter::Describe(const Entry& entry) {
  if (callbacks_.Message == nullptr) return;
  const CalendarTime when = LocalCalendarTime(entry.mtime);
  const std::string method = ToCallerText(MethodName(entry.method));
  const std::string name = ToCallerText(entry.name);
  callbacks_.Message(Clamp32(entry.uncompressed_size), Clamp32(entry.compressed_size),
                     SavedPerMille(entry.uncompressed_size, entry.compressed_size),
                     static_cast<uint32_t>(when.month), static_cast<uint32_t>(when.day),
                     static_cast<uint32_t>(when.year), static_cast<uint32_t>(when.hour),
                     static_cast<uint32_t>(when.minute), entry.is_directory ? 'd' : '-',
                     name.c_str(), method.c_str(), entry.crc,
                     entry.encryption != Encryption::kNone ? 'E' : ' ');
}

bool Reporter::MayContinue(const Entry& entry) {
  if (callbacks_.Service == nullptr) return true;
  const std::string name = ToCallerText(entry.name);
  return callbacks_.Service(name.c_str(), Clamp32(entry.uncompressed_size)) == 0;
}

int32_t Reporter::AskReplace(const std::string& shown_name) {
  if (callbacks_.Replace == nullptr) return UZ_REPLACE_NO;
  // A buffer of its own: the caller may write into it, but its answer is the result alone.
  const std::string caller_name = ToCallerText(shown_name);
  std::vector<char> name(caller_name.begin(), caller_name.end());
  name.push_back('\0');
  const int32_t answer = callbacks_.Replace(name.data());
  if (answer == UZ_REPLACE_YES || answer == UZ_REPLACE_CANCEL) return answer;
  return UZ_REPLACE_NO;
}

bool Reporter::AskPassword(const std::string& entry, std::string* password) {
  if (callbacks_.Password == nullptr) return false;
  // One byte more than offered, so the text always ends with a zero.
  std::vector<char> buffer(kPasswordBufferSize + 1, '\0');
  const std::string name = ToCallerText(entry);
  const std::string prompt = "Enter the password for " + name;
  // The password is taken as the bytes that the caller wrote: they are the key.
  if (callbacks_.Password(buffer.data(), kPasswordBufferSize, prompt.c_str(), name.c_str()) != 0) {
    return false;
  }
  password->assign(buffer.data(), strnlen(buffer.data(), kPasswordBufferSize));
  std::fill(buffer.begin(), buffer.end(), '\0');
  return true;
}

}  // namespace nocunzip::unzip32
