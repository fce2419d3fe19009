// The pool between the plan and the commit: results in submission order whatever order the
// workers finish in, the bounds of what waits, and an end that drops what was not fetched.
#include "workers/decode_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <vector>

namespace nocunzip::unzip32 {
namespace {

TEST(DecodePoolTest, ResultsComeInSubmissionOrderWhateverTheWorkers) {
  for (unsigned workers : {1u, 2u, 4u}) {
    SCOPED_TRACE("workers " + std::to_string(workers));
    DecodePool pool(workers);
    const std::thread::id caller = std::this_thread::get_id();
    std::atomic<int> on_caller{0};
    std::mt19937 random(workers);
    int submitted = 0;
    for (int fetched = 0; fetched < 300; ++fetched) {
      while (submitted < 300 && pool.Admits(1)) {
        const int pause = static_cast<int>(random() % 300);  // microseconds: finish out of order
        pool.Submit(
            [submitted, pause, caller, &on_caller](DecodeBuffers&) {
              std::this_thread::sleep_for(std::chrono::microseconds(pause));
              if (std::this_thread::get_id() == caller) ++on_caller;
              DecodedEntry result;
              result.code = submitted;
              return result;
            },
            1);
        ++submitted;
      }
      ASSERT_EQ(pool.WaitOldest().code, fetched);
    }
    EXPECT_TRUE(pool.empty());
    // One worker is the calling thread itself; more are threads of their own.
    EXPECT_EQ(on_caller.load(), workers == 1 ? 300 : 0);
  }
}

TEST(DecodePoolTest, BoundsCountJobsAndTheBytesAheadOfTheOldest) {
  DecodePool pool(2);
  const auto nothing = [](DecodeBuffers&) { return DecodedEntry{}; };
  EXPECT_TRUE(pool.Admits(kPendingBytes * 4));  // alone, any size fits
  pool.Submit(nothing, kPendingBytes * 4);
  // The oldest is the one being committed next; what comes after it is bounded.
  EXPECT_TRUE(pool.Admits(kPendingBytes));
  EXPECT_FALSE(pool.Admits(kPendingBytes + 1));
  pool.Submit(nothing, kPendingBytes / 2);
  EXPECT_FALSE(pool.Admits(kPendingBytes / 2 + 1));
  for (size_t i = 2; i < kPendingJobs; ++i) {
    ASSERT_TRUE(pool.Admits(0)) << i;
    pool.Submit(nothing, 0);
  }
  EXPECT_FALSE(pool.Admits(0));  // the count is full
  pool.WaitOldest();
  EXPECT_TRUE(pool.Admits(kPendingBytes / 2));

  // A limit of 60 open files leaves 30 to the caller, 26 to the run with two workers.
  DecodePool limited(2, 60);
  EXPECT_TRUE(limited.Admits(0, 100));  // alone, any count fits
  limited.Submit(nothing, 0, 3);
  EXPECT_TRUE(limited.Admits(0, 1));
  EXPECT_FALSE(limited.Admits(0, 2));
}

// Jobs that find no descriptor free at first: each is run again, and the results still come
// in order, none of them failed.
TEST(DecodePoolTest, AJobThatLacksADescriptorRunsAgain) {
  for (unsigned workers : {1u, 2u, 4u}) {
    SCOPED_TRACE("workers " + std::to_string(workers));
    DecodePool pool(workers);
    std::vector<std::atomic<int>> attempts(40);
    for (int i = 0; i < 40; ++i) {
      pool.Submit(
          [i, &attempts](DecodeBuffers&) {
            DecodedEntry result;
            result.code = i;
            result.out_of_descriptors = i % 3 == 0 && attempts[static_cast<size_t>(i)]++ == 0;
            return result;
          },
          0, 2);
    }
    for (int i = 0; i < 40; ++i) {
      const DecodedEntry result = pool.WaitOldest();
      EXPECT_EQ(result.code, i);
      EXPECT_FALSE(result.out_of_descriptors) << i;
      // Results dropped to free descriptors for the oldest are made again: more attempts.
      EXPECT_GE(attempts[static_cast<size_t>(i)].load(), i % 3 == 0 ? 2 : 0);
    }
  }
}

TEST(DecodePoolTest, AnEndWithResultsPendingDropsThemAndStartsNoMore) {
  std::atomic<int> ran{0};
  std::atomic<int> dropped{0};
  struct CountsDrop : OutputFile {
    explicit CountsDrop(std::atomic<int>& dropped) : dropped_(dropped) {}
    ~CountsDrop() override { ++dropped_; }
    IoResult Write(const unsigned char*, size_t) override { return {}; }
    IoResult SetAttributes(const FileAttributes&) override { return {}; }
    FileIdentity identity() const override { return {}; }
    IoResult Link(bool) override { return {}; }
    bool NameAhead() override { return false; }
    std::atomic<int>& dropped_;
  };
  {
    DecodePool pool(2);
    for (size_t i = 0; i < kPendingJobs; ++i) {
      pool.Submit(
          [&](DecodeBuffers&) {
            ++ran;
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            DecodedEntry result;
            result.file = std::make_unique<CountsDrop>(dropped);
            return result;
          },
          0);
    }
    pool.WaitOldest();
  }
  EXPECT_LT(ran.load(), static_cast<int>(kPendingJobs));
  EXPECT_EQ(dropped.load(), ran.load());  // every file made is dropped, fetched or not
}

TEST(DecodePoolTest, WorkerCountFollowsTheRequestAndTheCores) {
  struct Case {
    unsigned requested, cores, expected;
  };
  for (const Case& c : {Case{0, 2, 2}, Case{0, 0, 1}, Case{0, 64, 8}, Case{1, 16, 1}, Case{4, 2, 4},
                        Case{100, 2, 8}}) {
    EXPECT_EQ(ChooseWorkerCount(c.requested, c.cores), c.expected)
        << c.requested << " requested, " << c.cores << " cores";
  }
}

}  // namespace
}  // namespace nocunzip::unzip32
