// Where a worker's decoded data go: nowhere (a test), into an output file (copying stored
// data straight from the archive's handle where the file can), and through the conversion
// of line ends in text entries.
#pragma once

#include <cstddef>
#include <vector>

#include "disk/output.h"
#include "read/archive_file.h"
#include "workers/entry_decoder.h"

namespace nocunzip::unzip32 {

class NullSink : public ByteSink {
 public:
  IoResult Write(const unsigned char*, size_t) override { return IoResult::Ok(); }
  bool WritesOffThread() const override { return true; }
};

class FileSink : public ByteSink {
 public:
  explicit FileSink(OutputFile& file) : file_(file) {}
  IoResult Write(const unsigned char* data, size_t size) override {
    return file_.Write(data, size);
  }
  bool WritesOffThread() const override { return true; }

 private:
  OutputFile& file_;
};

// Turns LF into CR LF in text entries. An entry counts as text when the archive marks it
// so or, unmarked, when its first bytes hold no zero byte.
class LineEndSink : public ByteSink {
 public:
  LineEndSink(ByteSink& next, bool marked_text) : next_(next), text_(marked_text) {}
  bool WritesOffThread() const override { return next_.WritesOffThread(); }
  IoResult Write(const unsigned char* data, size_t size) override;

 private:
  ByteSink& next_;
  bool text_;
  bool decided_ = false;
  unsigned char last_ = 0;
  std::vector<unsigned char> converted_;
};

}  // namespace nocunzip::unzip32
