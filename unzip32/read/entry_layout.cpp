#include "read/entry_layout.h"

#include "read/data_descriptor.h"
#include "read/local_agreement.h"
#include "read/local_header.h"
#include "read/zip_format.h"

namespace nocunzip::unzip32 {
namespace {

using namespace zip;

// Where the descriptor after the data ends. Flag bit 3 in the local header sends a
// streaming reader to the descriptor, which must then hold the central values; with the
// flag in the central record only, a descriptor that holds them is the entry's too.
LayoutProblem LayOutDescriptor(WindowedReader& reader, const Entry& entry, const LocalRecord& local,
                               uint64_t limit, EntryLayout* layout, std::string* problem) {
  layout->end = layout->data_end;
  const bool local_says = (local.flags & kFlagDataDescriptor) != 0;
  if (!local_says && (entry.flags & kFlagDataDescriptor) == 0) return LayoutProblem::kNone;
  size_t length = 0;
  if (FindDataDescriptor(reader, layout->data_end, limit, entry, &length)) {
    layout->end += length;
  } else if (local_says) {
    *problem = "the data descriptor of entry " + entry.name +
               " does not hold the CRC and sizes of the central directory (" +
               DescribeDataDescriptor(reader, layout->data_end, limit) + ")";
    return LayoutProblem::kAmbiguous;
  }
  return LayoutProblem::kNone;
}

}  // namespace

LayoutProblem LayOutEntry(WindowedReader& reader, const Entry& entry,
                          std::string_view central_extra, uint64_t limit, LocalRecord* local,
                          EntryLayout* layout, std::string* problem) {
  if (!ReadLocalRecord(reader, entry.local_offset, limit, entry.name, local, problem)) {
    return LayoutProblem::kDamaged;
  }
  EntryData data;
  if (!PlaceEntryData(entry, local->data_offset, limit, &data, problem)) {
    return LayoutProblem::kDamaged;
  }
  layout->begin = entry.local_offset;
  layout->data_offset = data.offset;
  layout->data_end = data.end;
  layout->end = layout->data_end;
  if (!LocalAgrees(entry, central_extra, *local, problem)) return LayoutProblem::kAmbiguous;
  return LayOutDescriptor(reader, entry, *local, limit, layout, problem);
}

}  // namespace nocunzip::unzip32
