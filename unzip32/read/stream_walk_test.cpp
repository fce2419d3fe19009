// The walk over the bytes between entries, on bytes held in memory: signatures anywhere in
// a gap, across the borders of the pieces it reads, and descriptors inside stored data.
#include "read/stream_walk.h"

#include <gtest/gtest.h>

#include "read/little_endian.h"
#include "testing/test_archive.h"

namespace nocunzip::unzip32 {
namespace {

using testing::StringReader;

TEST(StreamWalk, FindsEveryRecordSignatureWhereverItLies) {
  const std::string plain(40000, 'P');  // "P" everywhere: a "PK" may start at any byte
  struct Case {
    uint32_t signature;
    const char* meaning;
  } cases[] = {{0x04034b50, "local header"}, {0x02014b50, "central directory record"},
               {0x06054b50, "end record"},   {0x06064b50, "end record"},
               {0x07064b50, "end record"},   {0x08074b50, "data descriptor"}};
  for (const Case& c : cases) {
    // Around the borders of the 16 KiB pieces, and at both ends of the range.
    for (const size_t at : {size_t{100}, size_t{16381}, size_t{16382}, size_t{16383}, size_t{16384},
                            size_t{32765}, size_t{39996}}) {
      std::string bytes = plain;
      std::string signature;
      Put32(signature, c.signature);
      bytes.replace(at, 4, signature);
      StringReader reader(bytes);
      WindowedReader window(reader);
      uint64_t where = 0;
      std::string meaning;
      ASSERT_TRUE(FindRecordSignature(window, 100, 40000, &where, &meaning)) << c.meaning << at;
      EXPECT_EQ(where, at);
      EXPECT_NE(meaning.find(c.meaning), std::string::npos) << meaning;
      // A signature that reaches past the range is not in it.
      EXPECT_FALSE(FindRecordSignature(window, 100, at + 3, &where, &meaning)) << at;
    }
  }
  StringReader reader(plain + "PK\x05\x05" + "PK\x03\x03");  // other records, other bytes
  WindowedReader window(reader);
  uint64_t where = 0;
  std::string meaning;
  EXPECT_FALSE(FindRecordSignature(window, 0, plain.size() + 8, &where, &meaning));
}

TEST(StreamWalk, FindsADescriptorThatAStreamingReaderTakesForTheEnd) {
  auto descriptor = [](uint64_t size, bool wide) {
    std::string bytes("PK\x07\x08", 4);
    Put32(bytes, 0x12345678);
    if (wide) {
      Put64(bytes, size);
      Put64(bytes, size);
    } else {
      Put32(bytes, size);
      Put32(bytes, size);
    }
    return bytes;
  };
  struct Case {
    const char* what;
    std::string data;
    bool found;
    uint64_t where;
  } cases[] = {
      {"32-bit sizes", std::string(20000, 'x') + descriptor(20000, false) + "tail", true, 20000},
      {"64-bit sizes", "abc" + descriptor(3, true) + "tail", true, 3},
      {"a size that does not fit", "abc" + descriptor(4, false) + "tail", false, 0},
      {"no descriptor", std::string(100, 'P') + "K", false, 0},
  };
  for (const Case& c : cases) {
    StringReader reader("HEADER" + c.data);
    WindowedReader window(reader);
    uint64_t where = 0;
    EXPECT_EQ(FindEarlyDescriptor(window, 6, 6 + c.data.size(), &where), c.found) << c.what;
    if (c.found) {
      EXPECT_EQ(where, 6 + c.where) << c.what;
    }
  }
}

}  // namespace
}  // namespace nocunzip::unzip32
