#include "workers/sinks.h"

#include <algorithm>
#include <cstring>

namespace nocunzip::unzip32 {

IoResult LineEndSink::Write(const unsigned char* data, size_t size) {
  if (!decided_ && size > 0) {
    decided_ = true;
    if (!text_) text_ = std::memchr(data, 0, std::min<size_t>(size, 4096)) == nullptr;
  }
  if (!text_) return next_.Write(data, size);
  converted_.clear();
  for (size_t i = 0; i < size; ++i) {
    if (data[i] == '\n' && last_ != '\r') converted_.push_back('\r');
    converted_.push_back(data[i]);
    last_ = data[i];
  }
  return next_.Write(converted_.data(), converted_.size());
}

}  // namespace nocunzip::unzip32
