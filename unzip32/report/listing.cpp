#include "report/listing.h"

#include <cstdio>
#include <string>

#include "read/central_directory.h"
#include "read/local_time.h"
#include "read/zip_format.h"
#include "unzip32.h"

namespace nocunzip::unzip32 {
namespace {

std::string EntryLine(const Entry& entry, bool verbose) {
  char line[128];
  const CalendarTime when = LocalCalendarTime(entry.mtime);
  if (verbose) {
    snprintf(line, sizeof line, "%10llu  %-7s %10llu  %3u%%  %04d-%02d-%02d %02d:%02d  %08x  ",
             static_cast<unsigned long long>(entry.uncompressed_size),
             MethodName(entry.method).c_str(),
             static_cast<unsigned long long>(entry.compressed_size),
             SavedPerMille(entry.uncompressed_size, entry.compressed_size) / 10, when.year,
             when.month, when.day, when.hour, when.minute, entry.crc);
  } else {
    snprintf(line, sizeof line, "%10llu  %04d-%02d-%02d %02d:%02d  ",
             static_cast<unsigned long long>(entry.uncompressed_size), when.year, when.month,
             when.day, when.hour, when.minute);
  }
  return std::string(line) + entry.name + "\n";
}

}  // namespace

int32_t ListEntries(ByteReader& archive, const ArchiveEnd& end, const std::vector<bool>& wanted,
                    Reporter& reporter) {
  const bool verbose = reporter.verbose();
  reporter.Print(verbose ? " Length   Method    Size  Saved   Date       Time   CRC-32    Name\n"
                         : "    Length  Date       Time   Name\n");
  uint64_t total = 0;
  uint64_t count = 0;
  CentralDirectory directory(archive, end);
  Entry entry;
  std::string problem;
  while (directory.Next(&entry, &problem) == CentralDirectory::Step::kEntry) {
    if (entry.index >= wanted.size() || !wanted[entry.index]) continue;
    reporter.Describe(entry);
    if (!reporter.MayContinue(entry)) {
      reporter.EntryWarning(entry.name, "listing stopped by the caller");
      return UZ_ERR_STOPPED;
    }
    reporter.Print(EntryLine(entry, verbose));
    total += entry.uncompressed_size;
    ++count;
  }
  char line[96];
  snprintf(line, sizeof line, "%10llu  %llu %s\n", static_cast<unsigned long long>(total),
           static_cast<unsigned long long>(count), count == 1 ? "entry" : "entries");
  reporter.Print(line);
  return UZ_OK;
}

}  // namespace nocunzip::unzip32
