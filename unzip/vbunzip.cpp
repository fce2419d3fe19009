#include "unzip/vbunzip.h"

#include <cstring>
#include <string>
#include <string_view>

#include "platform/codepage.h"
#include "platform/error.h"
#include "platform/message_box.h"
#include "unzip/unzip_library.h"

namespace nocunzip {

std::wstring sPrintText;
std::wstring& sLastMessage = sPrintText;

namespace {

constexpr wchar_t kDriverSource[] = L"CodeModule::VBUnzip";

// A print call contributes at most this many bytes.
constexpr int32_t kPrintChunkLimit = 32801;
// The name in the overwrite question is cut to this many bytes.
constexpr size_t kReplaceNameLimit = 256;
// The password callback clears at most this many bytes of the buffer.
constexpr int32_t kPasswordClearLimit = 257;
constexpr char kArchivePassword[] = "amberLYNXQT";

// Length of the zero-terminated text at `text`, looking at no more than `limit` bytes.
size_t BoundedLength(const char* text, size_t limit) {
  const void* zero = std::memchr(text, 0, limit);
  return zero ? static_cast<size_t>(static_cast<const char*>(zero) - text) : limit;
}

void FillVersionRecord(UzVersionRecord* record) {
  std::memset(record, 0, sizeof(*record));
  record->StructureLength = UZ_VERSION_RECORD_LENGTH;
  record->Flags = 0;
  std::memset(record->Version, ' ', sizeof(record->Version) - 1);
  std::memset(record->Date, ' ', sizeof(record->Date) - 1);
  std::memset(record->ZlibVersion, ' ', sizeof(record->ZlibVersion) - 1);
}

}  // namespace

int32_t VBUnzip(const std::wstring& sZipName, const std::wstring& sUnzipDirectory,
                int16_t iExtractNewer, int16_t iSpaceUnderScore, int16_t iPromptOverwrite,
                int16_t iMessageLevel, int16_t iWriteStdOut, int16_t iTestZip, int16_t iExtractList,
                int16_t iExtractOnlyNewer, int16_t iDisplayComment, int16_t iHonorDirectories,
                int16_t iOverwriteFiles, int16_t iConvertCR_CRLF, int16_t iVerbose,
                int16_t iCaseSensitivity, int16_t iPrivilege) {
  try {
    sPrintText.clear();

    // The 8-bit copies live until the library has returned.
    const std::string zip_name = platform::ToAnsi(sZipName);
    const std::string unzip_directory = platform::ToAnsi(sUnzipDirectory);

    // Each option widens from 16 to 32 bits with its sign.
    UzOptionsRecord options;
    std::memset(&options, 0, sizeof(options));
    options.ExtractOnlyNewer = iExtractOnlyNewer;
    options.SpaceToUnderScore = iSpaceUnderScore;
    options.PromptOverwrite = iPromptOverwrite;
    options.MessageLevel = iMessageLevel;
    options.WriteToStdOut = iWriteStdOut;
    options.TestZip = iTestZip;
    options.ExtractList = iExtractList;
    options.ExtractNewer = iExtractNewer;
    options.DisplayComment = iDisplayComment;
    options.HonorDirectories = iHonorDirectories;
    options.OverWriteFiles = iOverwriteFiles;
    options.ConvertCRtoCRLF = iConvertCR_CRLF;
    options.Verbose = iVerbose;
    options.CaseSensitive = iCaseSensitivity;
    options.Privilege = iPrivilege;
    options.ZipFileName = zip_name.c_str();
    options.ExtractDir = unzip_directory.c_str();

    UzCallbackRecord callbacks;
    std::memset(&callbacks, 0, sizeof(callbacks));
    callbacks.Print = PrintCallback;
    callbacks.Unused = nullptr;
    callbacks.Replace = ReplaceCallback;
    callbacks.Password = PasswordCallback;
    callbacks.Message = MessageCallback;
    callbacks.Service = ServiceCallback;

    // Asking for the version first meets a missing library before any extraction starts.
    UnzipLibrary& library = UnzipLibrary::OfProcess();
    UzVersionRecord version;
    FillVersionRecord(&version);
    library.UzpVersion2(&version);

    UzNameList include_names = {};
    UzNameList exclude_names = {};
    return library.Wiz_SingleEntryUnzip(0, include_names, 0, exclude_names, &options, &callbacks);
  } catch (...) {
    throw CaughtError(kDriverSource);
  }
}

int32_t UZ_CALL PrintCallback(const char* text, int32_t length) {
  try {
    if (!text || length <= 0) return 0;
    const int32_t limit = length < kPrintChunkLimit ? length : kPrintChunkLimit;
    std::string_view bytes(text, BoundedLength(text, static_cast<size_t>(limit)));
    // The chunk is converted as a whole, so that characters of several bytes survive.
    std::wstring chunk = platform::FromAnsi(bytes);
    // A leading line feed becomes a whole line end; the rest of the chunk is kept.
    if (!chunk.empty() && chunk[0] == L'\n') chunk.replace(0, 1, L"\r\n");
    sPrintText += chunk;
  } catch (...) {
  }
  return 0;
}

int32_t UZ_CALL ReplaceCallback(char* name) {
  try {
    std::wstring file_name;
    if (name)
      file_name =
          platform::FromAnsi(std::string_view(name, BoundedLength(name, kReplaceNameLimit)));
    const int answer = platform::ShowMessageBox(
        L"Overwrite " + file_name + L"?", L"VBUnZip32 - File Already Exists!",
        platform::box::kYesNoCancel + platform::box::kExclamation + platform::box::kDefaultButton1);
    if (answer == platform::box::kAnswerNo) return UZ_REPLACE_NO;
    if (answer == platform::box::kAnswerYes) return UZ_REPLACE_YES;
  } catch (...) {
  }
  return UZ_REPLACE_CANCEL;
}

int32_t UZ_CALL PasswordCallback(char* buffer, int32_t size, const char* /*prompt*/,
                                 const char* /*entry*/) {
  if (!buffer || size <= 0) return 0;
  const int32_t cleared = size < kPasswordClearLimit ? size : kPasswordClearLimit;
  std::memset(buffer, 0, static_cast<size_t>(cleared));
  // Password and its terminating zero must fit; a smaller buffer stays all zeros.
  const int32_t needed = static_cast<int32_t>(sizeof(kArchivePassword));
  if (size >= needed) std::memcpy(buffer, kArchivePassword, sizeof(kArchivePassword) - 1);
  return 0;
}

void UZ_CALL MessageCallback(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                             uint32_t, int32_t, const char*, const char*, uint32_t, int32_t) {}

int32_t UZ_CALL ServiceCallback(const char*, uint32_t) { return 0; }

}  // namespace nocunzip
