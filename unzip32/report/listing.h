// The listing of the selected entries (ExtractList), printed instead of extracting.
#pragma once

#include <cstdint>
#include <vector>

#include "read/byte_reader.h"
#include "read/end_records.h"
#include "report/report.h"

namespace nocunzip::unzip32 {

// Lists the entries of the archive that `end` describes that `wanted` marks, describing
// each to the caller first. Returns the run's result code.
int32_t ListEntries(ByteReader& archive, const ArchiveEnd& end, const std::vector<bool>& wanted,
                    Reporter& reporter);

}  // namespace nocunzip::unzip32
