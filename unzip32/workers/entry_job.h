// What a worker does with one planned entry: unlocks it with the password held (never
// asking), opens an unnamed file in the entry's directory, decodes into it, checks size and
// CRC (or the AES code) and sets its time and mode, so that the commit has only to give it
// its name. Touches no callback: runs on any thread. The calling thread uses the same steps
// for what it decodes itself (an entry that needed a new password, the contents printed).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "disk/output.h"
#include "decrypt/cipher.h"
#include "decrypt/password.h"
#include "options.h"
#include "plan/planned_entry.h"
#include "read/archive_file.h"
#include "workers/entry_decoder.h"

namespace nocunzip::unzip32 {

// What decoding one entry gave.
struct DecodedEntry {
  enum Status {
    kOk,             // decoded and checked; `file` holds it for files
    kFailed,         // decoding or writing failed: `code`, `message`
    kNotUnlocked,    // the entry cannot be decrypted: `code`, `message`
    kNeedsPassword,  // the password held does not fit: the calling thread asks for another
  };
  Status status = kOk;
  int32_t code = 0;
  bool disk_full = false;  // nothing more can be written: the run ends
  // Failed for want of a descriptor: may work once other files are closed.
  bool out_of_descriptors = false;
  // The password held when the job started (see PasswordStore::generation); for
  // encrypted entries.
  uint64_t password_generation = 0;
  std::string message;
  std::unique_ptr<OutputFile> file;  // unnamed, attributes set; null unless a file was made
};

// What every job of a run shares; read only, and safe to use from several threads.
struct JobContext {
  ArchiveFile& archive;
  TargetDirectory* target;  // null when nothing is written
  const ExtractOptions& options;
  const PasswordStore& passwords;
};

// Decodes `planned` (kWriteFile or kTest) with the password held.
DecodedEntry RunEntryJob(const JobContext& context, const PlannedEntry& planned,
                         DecodeBuffers& buffers);

// Decodes `planned` into `sink`, with `cipher` started already for encrypted entries.
DecodedEntry DecodeInto(const JobContext& context, const PlannedEntry& planned, Cipher* cipher,
                        ByteSink& sink, DecodeBuffers& buffers);

// Decodes `planned` (kWriteFile or kTest) with `cipher` started already for encrypted
// entries.
DecodedEntry DecodeUnlocked(const JobContext& context, const PlannedEntry& planned, Cipher* cipher,
                            DecodeBuffers& buffers);

// What a failed (or successful) step of writing means for the entry: kOk, or kFailed with
// the result code (an entry whose name the platform refuses fails; a write fails with 50).
DecodedEntry FromIo(const IoResult& result);

// The failure of an entry that cannot be unlocked, as the commit reports it.
DecodedEntry NotUnlocked(const UnlockedEntry& unlocked);

}  // namespace nocunzip::unzip32
