// The unzip driver: lays out the unzip library's records, installs the five callbacks and
// runs one extraction. The library's print output of the latest extraction is kept in
// sLastMessage.
#pragma once

#include <cstdint>
#include <string>

#include "unzip32/unzip32.h"

namespace nocunzip {

// The library's print output during the current or latest driver call, and the last
// message that UnzipFiles::GetLastMessage reads. Both are emptied when a driver call begins
// and the last message equals the print text after every print call, so it is not a second
// copy but the same text under its own name: an extraction of tens of thousands of entries
// prints megabytes, which would otherwise be held twice.
extern std::wstring sPrintText;
extern std::wstring& sLastMessage;

// Runs one extraction through the process's unzip library and returns the library's
// result unchanged. Raises every error with the source "CodeModule::VBUnzip".
int32_t VBUnzip(const std::wstring& sZipName, const std::wstring& sUnzipDirectory,
                int16_t iExtractNewer, int16_t iSpaceUnderScore, int16_t iPromptOverwrite,
                int16_t iMessageLevel, int16_t iWriteStdOut, int16_t iTestZip, int16_t iExtractList,
                int16_t iExtractOnlyNewer, int16_t iDisplayComment, int16_t iHonorDirectories,
                int16_t iOverwriteFiles, int16_t iConvertCR_CRLF, int16_t iVerbose,
                int16_t iCaseSensitivity, int16_t iPrivilege);

// The callbacks that the driver installs. None lets an error escape to the library.
int32_t UZ_CALL PrintCallback(const char* text, int32_t length);
int32_t UZ_CALL ReplaceCallback(char* name);
int32_t UZ_CALL PasswordCallback(char* buffer, int32_t size, const char* prompt, const char* entry);
void UZ_CALL MessageCallback(uint32_t uncompressed_size, uint32_t compressed_size, uint32_t ratio,
                             uint32_t month, uint32_t day, uint32_t year, uint32_t hour,
                             uint32_t minute, int32_t kind, const char* name, const char* method,
                             uint32_t crc, int32_t encrypted);
int32_t UZ_CALL ServiceCallback(const char* name, uint32_t size);

}  // namespace nocunzip
