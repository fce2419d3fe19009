/* unzip32: extracts one ZIP archive for a calling program.
 *
 * The caller fills an options record and a callback record and calls
 * Wiz_SingleEntryUnzip. The library calls the callbacks on the calling thread, before it
 * returns, and returns 0 for a successful extraction. Texts are zero-terminated 8-bit
 * strings in the system's ANSI code page (UTF-8 outside Windows).
 *
 * On 32-bit x86 the records have exactly the layout that the asserts below check (4-byte
 * addresses) and entries and callbacks use __stdcall: on Windows, and on Linux too, so that
 * the 32-bit Linux build runs the same code paths as the 32-bit DLL. On 64-bit targets the
 * address slots are pointer-sized and everything else keeps its order. */
#ifndef UNZIP32_H_
#define UNZIP32_H_

#include <stddef.h>
#include <stdint.h>

#if defined(_WIN32) && !defined(_WIN64)
#define UZ_CALL __stdcall
#elif defined(__i386__)
#define UZ_CALL __attribute__((stdcall))
#else
#define UZ_CALL
#endif

#if defined(_WIN32)
#if defined(UNZIP32_BUILDING)
#define UZ_EXPORT __declspec(dllexport)
#else
#define UZ_EXPORT __declspec(dllimport)
#endif
#else
#define UZ_EXPORT __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* Result codes of Wiz_SingleEntryUnzip. */
enum {
  UZ_OK = 0,               /* everything extracted */
  UZ_WARNING = 1,          /* warnings only: entries skipped */
  UZ_ERR_ENTRY = 2,        /* an entry was corrupt or failed */
  UZ_ERR_ARCHIVE = 9,      /* archive missing or not a ZIP archive */
  UZ_ERR_NO_MATCH = 11,    /* no entry matched the name lists */
  UZ_ERR_WRITE = 50,       /* disk full or a write failed */
  UZ_ERR_STOPPED = 80,     /* stopped by a callback */
  UZ_ERR_UNSUPPORTED = 81, /* unsupported method or encryption */
  UZ_ERR_PASSWORD = 82     /* no correct password */
};

/* Answers of the replace callback. */
enum { UZ_REPLACE_NO = 100, UZ_REPLACE_YES = 102, UZ_REPLACE_CANCEL = 104 };

/* Receives printed text: `length` bytes at `text`, not necessarily zero-terminated.
 * Returns 0. */
typedef int32_t(UZ_CALL* UzPrintCallback)(const char* text, int32_t length);
/* Asked before an existing file is overwritten: `name` is the file on disk. */
typedef int32_t(UZ_CALL* UzReplaceCallback)(char* name);
/* Fills `buffer` (`size` bytes) with a zero-terminated password for entry `entry`;
 * returns 0 when it supplied one. */
typedef int32_t(UZ_CALL* UzPasswordCallback)(char* buffer, int32_t size, const char* prompt,
                                             const char* entry);
/* Describes one entry before it is processed. Sizes are clamped to 0xFFFFFFFF; `ratio` is
 * the space saved in per mille; `method` is a text such as "Deflate"; `encrypted` is
 * 'E' for an encrypted entry and ' ' otherwise; `kind` is 'd' for a directory and '-'
 * for a file. */
typedef void(UZ_CALL* UzMessageCallback)(uint32_t uncompressed_size, uint32_t compressed_size,
                                         uint32_t ratio, uint32_t month, uint32_t day,
                                         uint32_t year, uint32_t hour, uint32_t minute,
                                         int32_t kind, const char* name, const char* method,
                                         uint32_t crc, int32_t encrypted);
/* Called once for each entry with its name and its uncompressed size (clamped to
 * 0xFFFFFFFF); a nonzero answer stops the extraction. */
typedef int32_t(UZ_CALL* UzServiceCallback)(const char* name, uint32_t size);

typedef struct UzOptionsRecord {
  int32_t ExtractOnlyNewer;
  int32_t SpaceToUnderScore;
  int32_t PromptOverwrite;
  int32_t MessageLevel;
  int32_t WriteToStdOut;
  int32_t TestZip;
  int32_t ExtractList;
  int32_t ExtractNewer;
  int32_t DisplayComment;
  int32_t HonorDirectories;
  int32_t OverWriteFiles;
  int32_t ConvertCRtoCRLF;
  int32_t Verbose;
  int32_t CaseSensitive;
  int32_t Privilege;
  const char* ZipFileName;
  const char* ExtractDir;
} UzOptionsRecord;

typedef struct UzCallbackRecord {
  UzPrintCallback Print;
  void* Unused;
  UzReplaceCallback Replace;
  UzPasswordCallback Password;
  UzMessageCallback Message;
  UzServiceCallback Service;
  uint32_t TotalCompressedSize;   /* filled by the library */
  uint32_t TotalUncompressedSize; /* filled by the library */
  uint32_t CompressionFactor;     /* filled by the library: per mille saved */
  uint32_t NumberOfMembers;       /* filled by the library */
  uint16_t CommentLength;         /* filled by the library */
  uint16_t Padding;
} UzCallbackRecord;

enum { UZ_VERSION_RECORD_LENGTH = 64 };

/* Bits of UzVersionRecord.Flags that the library sets. */
enum { UZ_VERSION_FLAG_ZIP64 = 1, UZ_VERSION_FLAG_ENCRYPTION = 2 };

typedef struct UzVersionRecord {
  uint32_t StructureLength; /* set by the caller to UZ_VERSION_RECORD_LENGTH */
  uint32_t Flags;
  char Version[10];     /* this library's version, e.g. "1.0.0" */
  char Date[20];        /* its release date, e.g. "2026-12-08" */
  char ZlibVersion[10]; /* the zlib version it was built with */
  uint32_t VersionMajor;
  uint32_t VersionMinor;
  uint32_t VersionPatch;
  uint32_t InterfaceVersion;
} UzVersionRecord;

enum { UZ_NAME_LIST_LENGTH = 100 };
typedef const char* UzNameList[UZ_NAME_LIST_LENGTH];

/* Fills `record` when its StructureLength is UZ_VERSION_RECORD_LENGTH and returns 0;
 * returns 1 and leaves the record alone otherwise. */
UZ_EXPORT int32_t UZ_CALL UzpVersion2(UzVersionRecord* record);

/* Extracts the archive of `options`. `include` and `exclude` hold `include_count` and
 * `exclude_count` name patterns ("*" and "?"); an include count of 0 selects every entry. */
UZ_EXPORT int32_t UZ_CALL Wiz_SingleEntryUnzip(int32_t include_count, const char** include,
                                               int32_t exclude_count, const char** exclude,
                                               UzOptionsRecord* options,
                                               UzCallbackRecord* callbacks);

#ifdef __cplusplus
}
#endif

/* The record layouts that a caller relies on. */
#ifdef __cplusplus
#define UZ_STATIC_ASSERT static_assert
#else
#define UZ_STATIC_ASSERT _Static_assert
#endif
UZ_STATIC_ASSERT(offsetof(UzOptionsRecord, Privilege) == 56, "options layout");
UZ_STATIC_ASSERT(offsetof(UzOptionsRecord, ZipFileName) == 60 || sizeof(void*) != 4,
                 "options layout");
UZ_STATIC_ASSERT(offsetof(UzOptionsRecord, ExtractDir) == 64 || sizeof(void*) != 4,
                 "options layout");
UZ_STATIC_ASSERT(sizeof(UzOptionsRecord) == 68 || sizeof(void*) != 4, "options size");
UZ_STATIC_ASSERT(offsetof(UzCallbackRecord, Service) == 5 * sizeof(void*), "callback layout");
UZ_STATIC_ASSERT(offsetof(UzCallbackRecord, TotalCompressedSize) == 24 || sizeof(void*) != 4,
                 "callback layout");
UZ_STATIC_ASSERT(offsetof(UzCallbackRecord, CommentLength) == 40 || sizeof(void*) != 4,
                 "callback layout");
UZ_STATIC_ASSERT(sizeof(UzCallbackRecord) == 44 || sizeof(void*) != 4, "callback size");
UZ_STATIC_ASSERT(offsetof(UzVersionRecord, Version) == 8, "version layout");
UZ_STATIC_ASSERT(offsetof(UzVersionRecord, Date) == 18, "version layout");
UZ_STATIC_ASSERT(offsetof(UzVersionRecord, ZlibVersion) == 38, "version layout");
UZ_STATIC_ASSERT(offsetof(UzVersionRecord, VersionMajor) == 48, "version layout");
UZ_STATIC_ASSERT(sizeof(UzVersionRecord) == UZ_VERSION_RECORD_LENGTH, "version size");
UZ_STATIC_ASSERT(sizeof(UzNameList) == 400 || sizeof(void*) != 4, "name list size");

#endif /* UNZIP32_H_ */
