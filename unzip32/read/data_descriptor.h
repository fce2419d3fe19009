// The data descriptor that follows an entry's data when flag bit 3 is set: CRC and sizes,
// with or without its signature, with 32- or 64-bit sizes. Writers use each of the four
// forms, so the form is told by which one holds the values of the central record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "read/archive_file.h"
#include "read/entry.h"

namespace nocunzip::unzip32 {

// Whether a descriptor at `at`, ending by `limit`, holds the CRC and sizes of `entry`;
// then `length` is its length.
bool FindDataDescriptor(WindowedReader& reader, uint64_t at, uint64_t limit, const Entry& entry,
                        size_t* length);

// What the bytes at `at` say when read as a descriptor, for a message when none fits.
std::string DescribeDataDescriptor(WindowedReader& reader, uint64_t at, uint64_t limit);

}  // namespace nocunzip::unzip32
