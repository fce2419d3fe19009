// UnzipFiles: the options of one extraction, handed in a fixed order to the unzip driver.
//
// Each property is read with its name and no argument and written with its name and one
// argument. Flags are kept as 1 and 0; the three integer options are kept as 32-bit values
// and narrowed to 16 bits only when Unzip hands them on.
#pragma once

#include <cstdint>
#include <string>

namespace nocunzip {

class UnzipFiles {
 public:
  UnzipFiles() = default;

  bool ExtractNewer() const { return m_ExtractNewer == 1; }
  void ExtractNewer(bool bExtractNewer) { m_ExtractNewer = bExtractNewer ? 1 : 0; }
  bool SpaceToUnderScore() const { return m_SpaceToUnderScore == 1; }
  void SpaceToUnderScore(bool bConvert) { m_SpaceToUnderScore = bConvert ? 1 : 0; }
  bool PromptOverwrite() const { return m_PromptOverwrite == 1; }
  void PromptOverwrite(bool bPrompt) { m_PromptOverwrite = bPrompt ? 1 : 0; }
  int32_t MessageLevel() const { return m_MessageLevel; }
  void MessageLevel(int32_t iLevel) { m_MessageLevel = iLevel; }
  bool WriteToStdOut() const { return m_WriteToStdOut == 1; }
  void WriteToStdOut(bool bWrite) { m_WriteToStdOut = bWrite ? 1 : 0; }
  bool TestZip() const { return m_TestZip == 1; }
  void TestZip(bool bTest) { m_TestZip = bTest ? 1 : 0; }
  int32_t ExtractList() const { return m_ExtractList; }
  void ExtractList(int32_t zExType) { m_ExtractList = zExType; }
  bool ExtractOnlyNewer() const { return m_ExtractOnlyNewer == 1; }
  void ExtractOnlyNewer(bool bOnlyNewer) { m_ExtractOnlyNewer = bOnlyNewer ? 1 : 0; }
  bool DisplayComment() const { return m_DisplayComment == 1; }
  void DisplayComment(bool bDisplay) { m_DisplayComment = bDisplay ? 1 : 0; }
  bool HonorDirectories() const { return m_HonorDirectories == 1; }
  void HonorDirectories(bool bHonor) { m_HonorDirectories = bHonor ? 1 : 0; }
  bool OverWriteFiles() const { return m_OverWriteFiles == 1; }
  void OverWriteFiles(bool bOverWrite) { m_OverWriteFiles = bOverWrite ? 1 : 0; }
  bool ConvertCRtoCRLF() const { return m_ConvertCRtoCRLF == 1; }
  void ConvertCRtoCRLF(bool bConvert) { m_ConvertCRtoCRLF = bConvert ? 1 : 0; }
  bool Verbose() const { return m_Verbose == 1; }
  void Verbose(bool bVerbose) { m_Verbose = bVerbose ? 1 : 0; }
  bool CaseSensitive() const { return m_CaseSensitive == 1; }
  void CaseSensitive(bool bCaseSensitive) { m_CaseSensitive = bCaseSensitive ? 1 : 0; }
  int32_t Privilege() const { return m_Privilege; }
  void Privilege(int32_t zPriv) { m_Privilege = zPriv; }
  std::wstring ZipFileName() const { return m_ZipFileName; }
  void ZipFileName(const std::wstring& sZipFileName) { m_ZipFileName = sZipFileName; }
  std::wstring ExtractDir() const { return m_ExtractDir; }
  void ExtractDir(const std::wstring& sExtractDir) { m_ExtractDir = sExtractDir; }

  // Runs one extraction with the stored settings; a non-empty argument first replaces the
  // stored archive path or target directory. Returns the unzip library's result (0 for
  // success). Raises every error with the source "Unzip32"; an integer option outside the
  // 16-bit range raises the overflow error before the driver is called.
  int32_t Unzip(const std::wstring& sZipFileName, const std::wstring& sExtractDir);

  // The unzip library's print output during the latest extraction of any UnzipFiles.
  std::wstring GetLastMessage() const;

 private:
  int16_t m_ExtractNewer = 0;
  int16_t m_SpaceToUnderScore = 0;
  int16_t m_PromptOverwrite = 0;
  int32_t m_MessageLevel = 2;
  int16_t m_WriteToStdOut = 0;
  int16_t m_TestZip = 0;
  int32_t m_ExtractList = 0;
  int16_t m_ExtractOnlyNewer = 0;
  int16_t m_DisplayComment = 0;
  int16_t m_HonorDirectories = 1;
  int16_t m_OverWriteFiles = 1;
  int16_t m_ConvertCRtoCRLF = 0;
  int16_t m_Verbose = 0;
  int16_t m_CaseSensitive = 1;
  int32_t m_Privilege = 0;
  std::wstring m_ZipFileName;
  std::wstring m_ExtractDir;
};

}  // namespace nocunzip
