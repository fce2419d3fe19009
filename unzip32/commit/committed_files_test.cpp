#include "commit/committed_files.h"

#include <gtest/gtest.h>

#include <random>
#include <set>

namespace nocunzip::unzip32 {
namespace {

// Exact answers for every identity, across many merges of the unsorted tail.
TEST(CommittedFilesTest, KnowsExactlyTheFilesAdded) {
  CommittedFiles committed;
  std::set<FileIdentity> added;
  std::mt19937_64 random(7);
  for (int i = 0; i < 5000; ++i) {
    // Few volumes and near file numbers, so that neighbours differ in one field only.
    const FileIdentity identity{random() % 3, random() % 20000};
    if (random() % 2 == 0) {
      committed.Add(identity);
      added.insert(identity);
    }
    const FileIdentity probe{random() % 3, random() % 20000};
    ASSERT_EQ(committed.Contains(probe), added.count(probe) == 1) << i;
  }
  for (const FileIdentity& identity : added) EXPECT_TRUE(committed.Contains(identity));
}

}  // namespace
}  // namespace nocunzip::unzip32
