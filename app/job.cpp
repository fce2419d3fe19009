#include "app/job.h"

#include "app/setup.h"
#include "platform/codepage.h"
#include "platform/files.h"
#include "platform/message_box.h"
#include "platform/settings.h"

namespace nocunzip {
namespace {

constexpr wchar_t kCallerToken[] = L"KvtZRX615";

// The result file `name` in the main program's directory, which is glued to the name as it
// is stored: it is expected to end in a separator.
void WriteResultFile(const std::wstring& directory, const wchar_t* name, const wchar_t* result) {
  platform::WriteWholeFile(directory + name, platform::ToAnsi(result) + "\r\n");
}

}  // namespace

JobOutcome RunUnpackJob(const std::wstring& argument_text) {
  const std::wstring directory =
      platform::GetSetting(L"Nocturnis", L"Verzeichnisse", L"Nocturnis-Verzeichnis");

  if (IsBlank(argument_text) || GetField(argument_text, 3, L";") != kCallerToken) {
    platform::ShowMessageBox(L"Dieses Programm-Modul wird nur Nocturnis-intern verwendet!",
                             L"Ungültiger Aufruf", platform::box::kInformation);
    return JobOutcome::Refused;
  }

  const std::wstring archive = GetField(argument_text, 1, L";");
  const std::wstring target = GetField(argument_text, 2, L";");
  JobOutcome outcome = JobOutcome::Extracted;
  if (!FileExists(archive)) {
    WriteResultFile(directory, L"NocUnzip.err", L"file not found");
    outcome = JobOutcome::ArchiveMissing;
  } else if (!ExtractArchive(target, archive)) {
    WriteResultFile(directory, L"NocUnzip.err", L"unzip-error");
    outcome = JobOutcome::ExtractionFailed;
  }
  WriteResultFile(directory, L"NocUnzip.end", L"success");
  return outcome;
}

}  // namespace nocunzip
