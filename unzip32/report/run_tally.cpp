#include "report/run_tally.h"

#include "unzip32.h"

namespace nocunzip::unzip32 {
namespace {

// "1 file", "2 files".
std::string Count(uint64_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

}  // namespace

void PrintSummary(Reporter& reporter, const std::string& archive, bool test, const RunTally& tally,
                  int32_t code) {
  std::string text = archive + ": ";
  if (test) {
    text += tally.failed == 0
                ? "no errors in " + Count(tally.files, "tested entry", "tested entries")
                : Count(tally.failed, "entry", "entries") + " failed the test, " +
                      std::to_string(tally.files) + " passed";
  } else {
    text += Count(tally.files, "file", "files") + " extracted";
    if (tally.directories > 0) {
      text += ", " + Count(tally.directories, "directory", "directories") + " created";
    }
    if (tally.skipped > 0) text += ", " + std::to_string(tally.skipped) + " skipped";
    if (tally.failed > 0) text += ", " + std::to_string(tally.failed) + " failed";
  }
  if (code == UZ_ERR_STOPPED) text += " (stopped)";
  reporter.SummaryLine(text);
}

}  // namespace nocunzip::unzip32
