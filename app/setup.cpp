#include "app/setup.h"

#include "platform/files.h"
#include "platform/message_box.h"
#include "unzip/unzip_files.h"

namespace nocunzip {

bool IsBlank(const std::wstring& text) {
  return text.find_first_not_of(L' ') == std::wstring::npos;
}

std::wstring GetField(const std::wstring& text, int16_t n, const std::wstring& delimiter) {
  if (IsBlank(text)) return std::wstring();
  int counter = 1;
  std::wstring result;
  for (wchar_t c : text) {
    if (delimiter.size() == 1 && c == delimiter[0]) {
      ++counter;
    } else if (counter == n) {
      result.push_back(c);
    }
    if (counter == n + 1) break;
  }
  return result;
}

bool FileExists(const std::wstring& path) {
  if (IsBlank(path)) return false;
  try {
    return platform::FindOrdinaryFile(path);
  } catch (...) {
    return false;
  }
}

bool ExtractArchive(const std::wstring& targetDir, const std::wstring& archive) {
  UnzipFiles unzip;
  unzip.ZipFileName(archive);
  unzip.PromptOverwrite(false);
  unzip.ExtractDir(targetDir);
  unzip.HonorDirectories(false);
  const int32_t result = unzip.Unzip(std::wstring(), std::wstring());
  if (result != 0) {
    platform::ShowMessageBox(unzip.GetLastMessage(), kApplicationTitle, platform::box::kOkOnly);
  }
  return result == 0;
}

}  // namespace nocunzip
