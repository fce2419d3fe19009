// Everything that the library tells its caller: printed lines, entry descriptions, and the
// questions it asks (replace a file, a password, go on). Takes the library's UTF-8 texts and
// hands them over in the caller's code page (caller_text.h). Used on the calling thread only.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "methods/decoder.h"
#include "read/entry.h"
#include "unzip32.h"

namespace nocunzip::unzip32 {

// Space saved, in per mille of the uncompressed size.
uint32_t SavedPerMille(uint64_t uncompressed, uint64_t compressed);

class Reporter {
 public:
  Reporter(const UzCallbackRecord& callbacks, int32_t message_level, bool verbose)
      : callbacks_(callbacks), message_level_(message_level), verbose_(verbose) {}

  int32_t message_level() const { return message_level_; }
  bool verbose() const { return verbose_; }

  // A text of the library's, in the caller's code page, in pieces that each end a line where
  // the text does.
  void Print(std::string_view text);
  // The contents of an entry, in the same pieces but with their bytes as they are: a
  // conversion would change them, and differently where a piece cuts a character in two.
  void PrintContents(std::string_view data);
  // A problem with one entry, always printed: "error: NAME: REASON".
  void EntryError(std::string_view name, std::string_view reason);
  // Something skipped or left undone, always printed: "warning: NAME: REASON".
  void EntryWarning(std::string_view name, std::string_view reason);
  // A problem with the whole archive, always printed.
  void ArchiveError(std::string_view archive, std::string_view reason);
  // What was done with one entry ("inflating", "creating", "testing"), at level 2.
  void EntryDone(std::string_view action, const Entry& entry, std::string_view written_as);
  // A line of the closing summary, at level 1 and above.
  void SummaryLine(std::string_view text);

  void Describe(const Entry& entry);
  // False when the caller wants the extraction stopped.
  bool MayContinue(const Entry& entry);
  // UZ_REPLACE_NO, UZ_REPLACE_YES or UZ_REPLACE_CANCEL; No when nobody can be asked.
  int32_t AskReplace(const std::string& shown_name);
  // Asks for a password for `entry`; false when none was supplied.
  bool AskPassword(const std::string& entry, std::string* password);

 private:
  void PrintLine(std::string line);
  void PrintPieces(std::string_view text, bool convert);

  UzCallbackRecord callbacks_;
  int32_t message_level_;
  bool verbose_;
};

}  // namespace nocunzip::unzip32
