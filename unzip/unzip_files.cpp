#include "unzip/unzip_files.h"

#include "platform/error.h"
#include "unzip/vbunzip.h"

namespace nocunzip {
namespace {

constexpr wchar_t kSource[] = L"Unzip32";

int16_t Narrowed(int32_t value) {
  if (value < INT16_MIN || value > INT16_MAX)
    throw ProgramError(kErrOverflow, kSource, L"Overflow");
  return static_cast<int16_t>(value);
}

}  // namespace

int32_t UnzipFiles::Unzip(const std::wstring& sZipFileName, const std::wstring& sExtractDir) {
  try {
    if (!sZipFileName.empty()) m_ZipFileName = sZipFileName;
    if (!sExtractDir.empty()) m_ExtractDir = sExtractDir;
    const int16_t privilege = Narrowed(m_Privilege);
    const int16_t extract_list = Narrowed(m_ExtractList);
    const int16_t message_level = Narrowed(m_MessageLevel);
    return VBUnzip(m_ZipFileName, m_ExtractDir, m_ExtractNewer, m_SpaceToUnderScore,
                   m_PromptOverwrite, message_level, m_WriteToStdOut, m_TestZip, extract_list,
                   m_ExtractOnlyNewer, m_DisplayComment, m_HonorDirectories, m_OverWriteFiles,
                   m_ConvertCRtoCRLF, m_Verbose, m_CaseSensitive, privilege);
  } catch (...) {
    throw CaughtError(kSource);
  }
}

std::wstring UnzipFiles::GetLastMessage() const { return sLastMessage; }

}  // namespace nocunzip
