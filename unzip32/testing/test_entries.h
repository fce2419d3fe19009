// Test support: entry data encrypted with the format's ciphers, and a sink that collects
// decoded data as a string.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "workers/entry_decoder.h"

namespace nocunzip::unzip32::testing {

// The traditional cipher: its 12-byte header (ending in `check_byte`), then the data.
std::string EncryptTraditional(const std::string& data, uint8_t check_byte,
                               std::string_view password);

// WinZip AES: salt, check bytes, the data in counter mode, and the code over it. Fails the
// current test when the cryptography library fails.
std::string EncryptAes(const std::string& data, uint16_t key_bits, std::string_view password);

// Collects what it is given, on the decoding thread or, like a file, on another one.
class StringSink : public ByteSink {
 public:
  explicit StringSink(bool off_thread) : off_thread_(off_thread) {}
  IoResult Write(const unsigned char* data, size_t size) override {
    written.append(reinterpret_cast<const char*>(data), size);
    return IoResult::Ok();
  }
  bool WritesOffThread() const override { return off_thread_; }
  std::string written;

 private:
  bool off_thread_;
};

}  // namespace nocunzip::unzip32::testing
