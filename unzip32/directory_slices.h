// libzip's reading of the central directory, one slice of entries at a time.
//
// libzip keeps every entry of the archive it opened in memory, about 270 bytes each, so an
// archive of 50,000 small files would cost 13 MB before anything is extracted, and one of
// a million entries hundreds. So libzip is never shown the whole directory: it opens a
// view of the archive file that ends after the records of one slice of entries
// (kEntriesPerSlice of them), followed by made-up end records that describe just that
// slice and carry the archive's comment. The entries' data and local headers lie before
// the central directory, where the view shows the file unchanged, so libzip reads them as
// it would in the whole archive. One slice is open at a time; going through the entries in
// order opens each slice once.
#pragma once

#include <zip.h>

#include <cstdint>
#include <string>

#include "archive_layout.h"
#include "archive_source.h"

namespace nocunzip::unzip32 {

class DirectorySlices {
 public:
  // `file` and `layout` (a layout without problems) must outlive this object. With
  // `check_local_headers`, libzip compares each local header with its directory record
  // when it opens a slice (ZIP_CHECKCONS).
  DirectorySlices(ByteReader& file, const ArchiveLayout& layout, bool check_local_headers);

  // libzip's archive that holds entry `index` (in central directory order), and the entry's
  // index in it; the archive stays valid until a call for an entry of another slice. Null,
  // with libzip's reason in `error`, when libzip cannot read that slice or finds another
  // number of entries in it than the layout; a slice that failed is not tried again.
  zip_t* Holding(uint64_t index, zip_uint64_t* index_in_slice, std::string* error);

 private:
  void Open(size_t slice);

  ByteReader& file_;
  const ArchiveLayout& layout_;
  bool check_local_headers_;
  ZipArchive archive_;
  size_t slice_ = SIZE_MAX;  // the one last opened, in archive_ unless it failed
  std::string error_;        // why it failed
};

}  // namespace nocunzip::unzip32
