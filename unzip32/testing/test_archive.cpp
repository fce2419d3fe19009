#include "testing/test_archive.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <random>

namespace nocunzip::unzip32::testing {
namespace fs = std::filesystem;

void WriteZip(const fs::path& path, const std::vector<TestEntry>& entries,
              const std::string& comment) {
  int error = 0;
  zip_t* archive = zip_open(path.string().c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
  ASSERT_NE(archive, nullptr) << "zip_open " << error;
  for (const TestEntry& entry : entries) {
    zip_int64_t index = -1;
    if (!entry.name.empty() && entry.name.back() == '/') {
      index = zip_dir_add(archive, entry.name.c_str(), ZIP_FL_ENC_UTF_8);
    } else {
      zip_source_t* source = zip_source_buffer(archive, entry.data.data(), entry.data.size(), 0);
      ASSERT_NE(source, nullptr);
      index =
          zip_file_add(archive, entry.name.c_str(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE);
      if (index < 0) zip_source_free(source);
      ASSERT_GE(index, 0) << zip_strerror(archive);
      ASSERT_EQ(zip_set_file_compression(archive, index, entry.method, 0), 0)
          << zip_strerror(archive);
      if (entry.encryption != ZIP_EM_NONE) {
        ASSERT_EQ(zip_file_set_encryption(archive, index, entry.encryption, entry.password.c_str()),
                  0)
            << zip_strerror(archive);
      }
    }
    ASSERT_GE(index, 0) << zip_strerror(archive);
    // libzip 1.7.3 derives the password check byte of traditional encryption from the
    // source's time, not from a time set here, and then cannot read its own entry back.
    if (entry.encryption != ZIP_EM_TRAD_PKWARE) {
      ASSERT_EQ(zip_file_set_mtime(archive, index, static_cast<time_t>(entry.mtime), 0), 0);
    }
    if (entry.unix_mode) {
      ASSERT_EQ(zip_file_set_external_attributes(archive, index, 0, ZIP_OPSYS_UNIX,
                                                 *entry.unix_mode << 16),
                0);
    }
  }
  if (!comment.empty()) {
    ASSERT_EQ(
        zip_set_archive_comment(archive, comment.data(), static_cast<zip_uint16_t>(comment.size())),
        0);
  }
  ASSERT_EQ(zip_close(archive), 0) << zip_strerror(archive);
}

namespace {

void Put16(std::string& out, uint16_t v) {
  out += static_cast<char>(v & 0xFF);
  out += static_cast<char>(v >> 8);
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, static_cast<uint16_t>(v & 0xFFFF));
  Put16(out, static_cast<uint16_t>(v >> 16));
}

}  // namespace

std::string DeflateRaw(const std::string& data) {
  z_stream stream{};
  deflateInit2(&stream, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&stream, data.size()) + 16, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  stream.avail_in = static_cast<uInt>(data.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

std::string BuildRawZip(const std::vector<RawEntry>& entries, const std::string& comment) {
  constexpr uint16_t kDosTime = (12 << 11) | (30 << 5);                // 12:30:00
  constexpr uint16_t kDosDate = ((2024 - 1980) << 9) | (5 << 5) | 17;  // 2024-05-17
  std::string out;
  std::vector<uint32_t> offsets;
  std::vector<std::string> payloads;
  for (const RawEntry& e : entries) {
    const std::string payload = e.deflate ? DeflateRaw(e.data) : e.data;
    const uint32_t crc = e.declared_crc.value_or(static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size()))));
    const uint32_t compressed =
        e.declared_compressed.value_or(static_cast<uint32_t>(payload.size()));
    const uint32_t size = e.declared_size.value_or(static_cast<uint32_t>(e.data.size()));
    offsets.push_back(static_cast<uint32_t>(out.size()));
    payloads.push_back(payload);
    const std::string& local_name = e.local_name ? *e.local_name : e.name;
    Put32(out, 0x04034b50);
    Put16(out, 20);
    Put16(out,
          static_cast<uint16_t>(e.local_flags.value_or(e.flags) | (e.data_descriptor ? 8 : 0)));
    Put16(out, e.local_method.value_or(e.method.value_or(e.deflate || e.deflated_already ? 8 : 0)));
    Put16(out, kDosTime);
    Put16(out, kDosDate);
    Put32(out, e.local_crc.value_or(e.data_descriptor ? 0 : crc));
    Put32(out, e.local_compressed.value_or(e.data_descriptor ? 0 : compressed));
    Put32(out, e.local_size.value_or(e.data_descriptor ? 0 : size));
    Put16(out, static_cast<uint16_t>(local_name.size()));
    Put16(out, static_cast<uint16_t>(e.local_extra.size()));
    out += local_name;
    out += e.local_extra;
    out += payload;
    if (e.descriptor) {
      out += *e.descriptor;
    } else if (e.data_descriptor) {
      Put32(out, 0x08074b50);
      Put32(out, crc);
      Put32(out, compressed);
      Put32(out, size);
    }
    out += e.after;
  }
  const uint32_t directory_offset = static_cast<uint32_t>(out.size());
  for (size_t i = 0; i < entries.size(); ++i) {
    const RawEntry& e = entries[i];
    const size_t local = e.share_local_header_of.value_or(i);
    const RawEntry& l = entries[local];
    const std::string& payload = payloads[local];
    const uint32_t crc = l.declared_crc.value_or(static_cast<uint32_t>(
        crc32(0, reinterpret_cast<const Bytef*>(l.data.data()), static_cast<uInt>(l.data.size()))));
    Put32(out, 0x02014b50);
    Put16(out, static_cast<uint16_t>((e.made_by_system << 8) | 20));
    Put16(out, 20);
    Put16(out, static_cast<uint16_t>(l.flags | (l.data_descriptor ? 8 : 0)));
    Put16(out, l.method.value_or(l.deflate || l.deflated_already ? 8 : 0));
    Put16(out, kDosTime);
    Put16(out, kDosDate);
    Put32(out, crc);
    Put32(out, l.declared_compressed.value_or(static_cast<uint32_t>(payload.size())));
    Put32(out, l.declared_size.value_or(static_cast<uint32_t>(l.data.size())));
    Put16(out, static_cast<uint16_t>(e.name.size()));
    Put16(out, static_cast<uint16_t>(e.central_extra.size()));
    Put16(out, 0);
    Put16(out, 0);
    Put16(out, 0);
    Put32(out, e.external_attributes);
    Put32(out, offsets[local]);
    out += e.name;
    out += e.central_extra;
  }
  const uint32_t directory_size = static_cast<uint32_t>(out.size()) - directory_offset;
  Put32(out, 0x06054b50);
  Put16(out, 0);
  Put16(out, 0);
  Put16(out, static_cast<uint16_t>(entries.size()));
  Put16(out, static_cast<uint16_t>(entries.size()));
  Put32(out, directory_size);
  Put32(out, directory_offset);
  Put16(out, static_cast<uint16_t>(comment.size()));
  out += comment;
  return out;
}

bool StringReader::ReadAt(uint64_t offset, void* buffer, size_t length) {
  if (offset > bytes_.size() || length > bytes_.size() - offset) return false;
  std::memcpy(buffer, bytes_.data() + offset, length);
  return true;
}

std::string ReadFileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFileBytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

ScratchDir::ScratchDir() {
  std::random_device random;
  for (;;) {
    path_ = fs::temp_directory_path() / ("unzip32-test-" + std::to_string(random()));
    if (fs::create_directory(path_)) break;
  }
}

ScratchDir::~ScratchDir() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

std::vector<std::string> ListTree(const fs::path& root) {
  std::vector<std::string> files;
  if (!fs::exists(root)) return files;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    if (item.is_directory() && !item.is_symlink()) continue;
    files.push_back(fs::relative(item.path(), root).generic_string());
  }
  std::sort(files.begin(), files.end());
  return files;
}

namespace {

// The callbacks have no context argument, so the caller that runs parks itself here.
thread_local LibraryCaller* current_caller = nullptr;
thread_local RunResult* current_result = nullptr;
thread_local int service_calls = 0;

// The run of this thread; a callback on any other thread ends the test program.
RunResult& Current(const char* callback) {
  if (current_result == nullptr) {
    std::fprintf(stderr, "%s called outside the calling thread's library call\n", callback);
    std::abort();
  }
  return *current_result;
}

int32_t UZ_CALL TestPrint(const char* text, int32_t length) {
  RunResult& result = Current("PrintCallback");
  result.printed.append(text, strnlen(text, static_cast<size_t>(length)));
  result.events.push_back("print " + std::string(text, strnlen(text, static_cast<size_t>(length))));
  return 0;
}

int32_t UZ_CALL TestReplace(char* name) {
  RunResult& result = Current("ReplaceCallback");
  result.replace_asked.emplace_back(name);
  result.events.push_back("replace " + std::string(name));
  if (current_caller->replace_by_name) return current_caller->replace_by_name(name);
  return current_caller->replace_answer;
}

int32_t UZ_CALL TestPassword(char* buffer, int32_t size, const char*, const char* entry) {
  RunResult& result = Current("PasswordCallback");
  ++result.password_asks;
  result.events.push_back("password " + std::string(entry != nullptr ? entry : ""));
  if (current_caller->refuse_password) return 1;
  std::memset(buffer, 0, static_cast<size_t>(size));
  std::memcpy(buffer, current_caller->password.data(),
              std::min<size_t>(current_caller->password.size(), static_cast<size_t>(size) - 1));
  return 0;
}

void UZ_CALL TestMessage(uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t, uint32_t,
                         uint32_t, int32_t, const char* name, const char*, uint32_t, int32_t) {
  RunResult& result = Current("MessageCallback");
  result.described.emplace_back(name);
  result.events.push_back("message " + std::string(name));
}

int32_t UZ_CALL TestService(const char* name, uint32_t) {
  RunResult& result = Current("ServiceCallback");
  result.serviced.emplace_back(name);
  result.events.push_back("service " + std::string(name));
  if (current_caller->on_service) current_caller->on_service(name);
  return service_calls++ == current_caller->stop_at_entry ? 1 : 0;
}

}  // namespace

LibraryCaller::LibraryCaller() {
  options.MessageLevel = 2;
  options.HonorDirectories = 1;
  options.OverWriteFiles = 1;
  options.CaseSensitive = 1;
}

RunResult LibraryCaller::Run(const fs::path& archive, const fs::path& target) {
  return Run(archive.string(), target.string());
}

RunResult LibraryCaller::Run(const std::string& archive_text, const std::string& target_text) {
  RunResult result;
  current_caller = this;
  current_result = &result;
  service_calls = 0;

  UzVersionRecord version{};
  version.StructureLength = UZ_VERSION_RECORD_LENGTH;
  EXPECT_EQ(UzpVersion2(&version), 0);

  UzOptionsRecord record = options;
  record.ZipFileName = archive_text.c_str();
  record.ExtractDir = target_text.c_str();
  UzCallbackRecord callbacks{};
  callbacks.Print = TestPrint;
  callbacks.Replace = TestReplace;
  callbacks.Password = TestPassword;
  callbacks.Message = TestMessage;
  callbacks.Service = TestService;
  UzNameList include_list{};
  UzNameList exclude_list{};
  for (size_t i = 0; i < include.size() && i < UZ_NAME_LIST_LENGTH; ++i)
    include_list[i] = include[i].c_str();
  for (size_t i = 0; i < exclude.size() && i < UZ_NAME_LIST_LENGTH; ++i)
    exclude_list[i] = exclude[i].c_str();
  result.result =
      Wiz_SingleEntryUnzip(static_cast<int32_t>(include.size()), include_list,
                           static_cast<int32_t>(exclude.size()), exclude_list, &record, &callbacks);
  result.record = callbacks;
  current_caller = nullptr;
  current_result = nullptr;
  return result;
}

}  // namespace nocunzip::unzip32::testing
