// The floor of deflate extraction: reads the raw data of every deflate entry of an archive
// into memory first, then times only the inflating of it, with zlib and ISA-L streaming
// through a fixed 1 MiB buffer and with libdeflate into one buffer of the entry's size. Each
// takes the CRC with its own library's routine (ISA-L's crc32_gzip_refl). Nothing is
// written to disk. Every entry must inflate to its declared size and CRC, or the tool fails.
//
//   bench_inflate_floor ARCHIVE
//
// Prints one line of key=value pairs for bench/run.py.
#include <isa-l/crc.h>
#include <isa-l/igzip_lib.h>
#include <libdeflate.h>
#include <zip.h>
#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

namespace {

struct Entry {
  std::vector<unsigned char> raw;
  uint64_t size = 0;
  uint32_t crc = 0;
};

struct ArchiveCloser {
  void operator()(zip_t* archive) const { zip_discard(archive); }
};
struct FileCloser {
  void operator()(zip_file_t* file) const { zip_fclose(file); }
};
struct DecompressorFreer {
  void operator()(libdeflate_decompressor* d) const { libdeflate_free_decompressor(d); }
};

bool ReadRawEntries(const char* path, std::vector<Entry>& entries, uint64_t& stored_bytes) {
  int error = 0;
  std::unique_ptr<zip_t, ArchiveCloser> archive(zip_open(path, ZIP_RDONLY, &error));
  if (!archive) {
    std::fprintf(stderr, "bench_inflate_floor: cannot open %s (libzip error %d)\n", path, error);
    return false;
  }
  zip_int64_t count = zip_get_num_entries(archive.get(), 0);
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t st;
    if (zip_stat_index(archive.get(), i, 0, &st) != 0) return false;
    if (st.comp_method == ZIP_CM_STORE) stored_bytes += st.size;
    if (st.comp_method != ZIP_CM_DEFLATE || st.encryption_method != ZIP_EM_NONE) continue;
    Entry entry;
    entry.size = st.size;
    entry.crc = st.crc;
    entry.raw.resize(st.comp_size);
    std::unique_ptr<zip_file_t, FileCloser> file(
        zip_fopen_index(archive.get(), i, ZIP_FL_COMPRESSED));
    if (!file || zip_fread(file.get(), entry.raw.data(), st.comp_size) !=
                     static_cast<zip_int64_t>(st.comp_size)) {
      std::fprintf(stderr, "bench_inflate_floor: cannot read entry %s\n", st.name);
      return false;
    }
    entries.push_back(std::move(entry));
  }
  return true;
}

// Streams each entry through zlib's raw inflate into a reused 1 MiB buffer.
bool InflateWithZlib(const std::vector<Entry>& entries, double& seconds) {
  std::vector<unsigned char> out(1 << 20);
  z_stream stream{};
  if (inflateInit2(&stream, -MAX_WBITS) != Z_OK) return false;
  auto start = std::chrono::steady_clock::now();
  bool ok = true;
  for (const Entry& entry : entries) {
    inflateReset(&stream);
    stream.next_in = const_cast<unsigned char*>(entry.raw.data());
    stream.avail_in = static_cast<uInt>(entry.raw.size());
    uint64_t produced = 0;
    uLong crc = crc32(0, nullptr, 0);
    int status = Z_OK;
    while (status == Z_OK) {
      stream.next_out = out.data();
      stream.avail_out = static_cast<uInt>(out.size());
      status = inflate(&stream, Z_NO_FLUSH);
      size_t n = out.size() - stream.avail_out;
      crc = crc32(crc, out.data(), static_cast<uInt>(n));
      produced += n;
    }
    if (status != Z_STREAM_END || produced != entry.size || crc != entry.crc) ok = false;
  }
  seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  inflateEnd(&stream);
  return ok;
}

// Streams each entry through ISA-L's raw isal_inflate into a reused 1 MiB buffer.
bool InflateWithIsal(const std::vector<Entry>& entries, double& seconds) {
  std::vector<unsigned char> out(1 << 20);
  // The state holds its own history buffer, too large for the stack.
  auto state = std::make_unique<inflate_state>();
  auto start = std::chrono::steady_clock::now();
  bool ok = true;
  for (const Entry& entry : entries) {
    isal_inflate_init(state.get());
    state->crc_flag = ISAL_DEFLATE;
    state->next_in = const_cast<unsigned char*>(entry.raw.data());
    state->avail_in = static_cast<uint32_t>(entry.raw.size());
    uint64_t produced = 0;
    uint32_t crc = 0;
    while (state->block_state != ISAL_BLOCK_FINISH) {
      state->next_out = out.data();
      state->avail_out = static_cast<uint32_t>(out.size());
      if (isal_inflate(state.get()) != ISAL_DECOMP_OK) break;
      size_t n = out.size() - state->avail_out;
      crc = crc32_gzip_refl(crc, out.data(), n);
      produced += n;
      // Input used up without the final block and nothing more came out: cut short.
      if (n == 0 && state->avail_in == 0 && state->block_state != ISAL_BLOCK_FINISH) break;
    }
    if (state->block_state != ISAL_BLOCK_FINISH || produced != entry.size || crc != entry.crc)
      ok = false;
  }
  seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return ok;
}

// Inflates each entry in one call into a buffer of its size, as the library does for
// entries that fit its bounded buffer.
bool InflateWithLibdeflate(const std::vector<Entry>& entries, double& seconds) {
  std::unique_ptr<libdeflate_decompressor, DecompressorFreer> d(libdeflate_alloc_decompressor());
  if (!d) return false;
  std::vector<unsigned char> out;
  auto start = std::chrono::steady_clock::now();
  bool ok = true;
  for (const Entry& entry : entries) {
    if (out.size() < entry.size) out.resize(entry.size);
    size_t produced = 0;
    if (libdeflate_deflate_decompress(d.get(), entry.raw.data(), entry.raw.size(), out.data(),
                                      entry.size, &produced) != LIBDEFLATE_SUCCESS ||
        produced != entry.size || libdeflate_crc32(0, out.data(), produced) != entry.crc) {
      ok = false;
    }
  }
  seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: bench_inflate_floor ARCHIVE\n");
    return 2;
  }
  std::vector<Entry> entries;
  uint64_t stored_bytes = 0;
  if (!ReadRawEntries(argv[1], entries, stored_bytes)) return 1;
  uint64_t compressed = 0, uncompressed = 0;
  for (const Entry& entry : entries) {
    compressed += entry.raw.size();
    uncompressed += entry.size;
  }
  double zlib_seconds = 0, isal_seconds = 0, libdeflate_seconds = 0;
  if (!InflateWithZlib(entries, zlib_seconds)) {
    std::fprintf(stderr, "bench_inflate_floor: zlib inflated an entry wrongly\n");
    return 1;
  }
  if (!InflateWithIsal(entries, isal_seconds)) {
    std::fprintf(stderr, "bench_inflate_floor: ISA-L inflated an entry wrongly\n");
    return 1;
  }
  if (!InflateWithLibdeflate(entries, libdeflate_seconds)) {
    std::fprintf(stderr, "bench_inflate_floor: libdeflate inflated an entry wrongly\n");
    return 1;
  }
  std::printf(
      "entries=%zu compressed=%llu uncompressed=%llu stored=%llu zlib_seconds=%.6f "
      "isal_seconds=%.6f libdeflate_seconds=%.6f\n",
      entries.size(), static_cast<unsigned long long>(compressed),
      static_cast<unsigned long long>(uncompressed), static_cast<unsigned long long>(stored_bytes),
      zlib_seconds, isal_seconds, libdeflate_seconds);
  return 0;
}
