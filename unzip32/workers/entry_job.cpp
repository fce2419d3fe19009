#include "workers/entry_job.h"

#include "unzip32.h"
#include "workers/sinks.h"

namespace nocunzip::unzip32 {
namespace {

DecodedEntry Failed(int32_t code, bool disk_full, std::string message) {
  DecodedEntry failed;
  failed.status = DecodedEntry::kFailed;
  failed.code = code;
  failed.disk_full = disk_full;
  failed.message = std::move(message);
  return failed;
}

DecodedEntry FromDecode(const DecodeResult& result) {
  if (result.ok()) return {};
  return Failed(result.status == DecodeResult::kCorrupt ? UZ_ERR_ENTRY : UZ_ERR_WRITE,
                result.status == DecodeResult::kDiskFull, result.message);
}

DecodedEntry WriteFile(const JobContext& context, const PlannedEntry& planned, Cipher* cipher,
                       DecodeBuffers& buffers) {
  IoResult created;
  std::unique_ptr<OutputFile> file = context.target->CreateFile(planned.path, &created);
  if (file == nullptr) return FromIo(created);
  FileSink sink(*file);
  DecodedEntry decoded = DecodeInto(context, planned, cipher, sink, buffers);
  if (decoded.status != DecodedEntry::kOk) return decoded;
  FileAttributes attributes;
  attributes.mtime = planned.entry.mtime;
  attributes.restore_mode = context.options.restore_permissions && planned.entry.has_unix_mode;
  attributes.mode = planned.entry.unix_mode & 0777;
  attributes.identify = planned.shares_name;
  decoded = FromIo(file->SetAttributes(attributes));
  if (decoded.status == DecodedEntry::kOk) decoded.file = std::move(file);
  return decoded;
}

}  // namespace

DecodedEntry FromIo(const IoResult& result) {
  if (result.ok()) return {};
  // A name the platform refuses is the entry's fault, not a failed write.
  DecodedEntry failed = Failed(result.status == IoResult::kRefused ? UZ_ERR_ENTRY : UZ_ERR_WRITE,
                               result.status == IoResult::kDiskFull, result.message);
  failed.out_of_descriptors = result.status == IoResult::kNoDescriptors;
  return failed;
}

DecodedEntry NotUnlocked(const UnlockedEntry& unlocked) {
  DecodedEntry failed;
  failed.status = DecodedEntry::kNotUnlocked;
  failed.code = unlocked.status == UnlockedEntry::kNoPassword    ? UZ_ERR_PASSWORD
                : unlocked.status == UnlockedEntry::kUnsupported ? UZ_ERR_UNSUPPORTED
                                                                 : UZ_ERR_ENTRY;
  failed.message = unlocked.message;
  return failed;
}

DecodedEntry DecodeInto(const JobContext& context, const PlannedEntry& planned, Cipher* cipher,
                        ByteSink& sink, DecodeBuffers& buffers) {
  LineEndSink converted(sink, planned.entry.is_text);
  ByteSink& into = context.options.convert_line_ends ? static_cast<ByteSink&>(converted) : sink;
  return FromDecode(
      DecodeEntry(context.archive, planned.data.offset, planned.entry, cipher, into, buffers));
}

DecodedEntry DecodeUnlocked(const JobContext& context, const PlannedEntry& planned, Cipher* cipher,
                            DecodeBuffers& buffers) {
  if (planned.action == PlannedEntry::kWriteFile) {
    return WriteFile(context, planned, cipher, buffers);
  }
  NullSink nowhere;
  return DecodeInto(context, planned, cipher, nowhere, buffers);
}

DecodedEntry RunEntryJob(const JobContext& context, const PlannedEntry& planned,
                         DecodeBuffers& buffers) {
  UnlockedEntry unlocked =
      TryHeldPassword(context.archive, planned.data.offset, planned.entry, context.passwords);
  DecodedEntry decoded;
  if (unlocked.status == UnlockedEntry::kNeedsPassword) {
    decoded.status = DecodedEntry::kNeedsPassword;
  } else if (unlocked.status != UnlockedEntry::kOk) {
    decoded = NotUnlocked(unlocked);
  } else {
    decoded = DecodeUnlocked(context, planned, unlocked.cipher.get(), buffers);
  }
  decoded.password_generation = unlocked.password_generation;
  return decoded;
}

}  // namespace nocunzip::unzip32
