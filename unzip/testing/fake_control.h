// Drives the test stand-in of the unzip library from a test: loads it through the same
// loader as the driver does and reaches its test entries.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "platform/library.h"

namespace nocunzip::testing_support {

class FakeUnzip {
 public:
  explicit FakeUnzip(const std::wstring& path = FAKE_UNZIP_DIR L"/libunzip32.so") : library_(path) {
    EXPECT_TRUE(library_.loaded());
    reset_ = reinterpret_cast<void (*)()>(library_.Entry("FakeUnzip_Reset", nullptr));
    set_script_ =
        reinterpret_cast<void (*)(const char*)>(library_.Entry("FakeUnzip_SetScript", nullptr));
    log_ = reinterpret_cast<const char* (*)()>(library_.Entry("FakeUnzip_Log", nullptr));
    blob_ = reinterpret_cast<const unsigned char* (*)(const char*, size_t*)>(
        library_.Entry("FakeUnzip_Blob", nullptr));
    reset_();
  }

  void Script(const std::string& script) {
    reset_();
    set_script_(script.c_str());
  }
  std::string Log() const { return log_(); }
  std::vector<unsigned char> Blob(const char* name) const {
    size_t size = 0;
    const unsigned char* data = blob_(name, &size);
    return data ? std::vector<unsigned char>(data, data + size) : std::vector<unsigned char>();
  }
  // The little-endian 32-bit value at `offset` of a kept record.
  static uint32_t Word(const std::vector<unsigned char>& bytes, size_t offset) {
    EXPECT_LE(offset + 4, bytes.size());
    if (offset + 4 > bytes.size()) return 0;
    return uint32_t{bytes[offset]} | uint32_t{bytes[offset + 1]} << 8 |
           uint32_t{bytes[offset + 2]} << 16 | uint32_t{bytes[offset + 3]} << 24;
  }

 private:
  platform::DynamicLibrary library_;
  void (*reset_)() = nullptr;
  void (*set_script_)(const char*) = nullptr;
  const char* (*log_)() = nullptr;
  const unsigned char* (*blob_)(const char*, size_t*) = nullptr;
};

}  // namespace nocunzip::testing_support
