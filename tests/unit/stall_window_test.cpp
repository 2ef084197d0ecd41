// The stall rule of the libcurl exchange, on a clock the test moves.
#include "api/stall_window.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace veilmark {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

class StallWindowTest : public ::testing::Test {
 protected:
  // Calls Stalled every `step` until `until`, with `moved(t)` bytes moved at
  // t since the start; the first time it says stalled, or -1.
  template <class Moved>
  long long FirstStall(StallWindow& watch, milliseconds step, milliseconds until, Moved moved) {
    for (milliseconds t{0}; t <= until; t += step) {
      if (watch.Stalled(start_ + t, moved(t))) return t.count();
    }
    return -1;
  }

  const StallWindow::Clock::time_point start_ = StallWindow::Clock::now();
};

TEST_F(StallWindowTest, NothingMovingIsAStallOnlyOnceAWholeWindowHasPassed) {
  StallWindow watch(seconds(30), 1024);
  EXPECT_EQ(FirstStall(watch, milliseconds(1000), milliseconds(120000),
                       [](milliseconds) { return std::uint64_t{0}; }),
            30000);
}

TEST_F(StallWindowTest, TwoBytesASecondIsAStallAtTheEndOfTheFirstWindow) {
  StallWindow watch(seconds(30), 1024);
  EXPECT_EQ(FirstStall(watch, milliseconds(500), milliseconds(600000),
                       [](milliseconds t) { return std::uint64_t(t.count() / 500); }),
            30000);
}

TEST_F(StallWindowTest, ExactlyTheFloorPerWindowKeepsGoingOneByteLessDoesNot) {
  // A steady rate, checked ten times a second for five minutes.
  StallWindow enough(seconds(30), 1024);
  EXPECT_EQ(FirstStall(enough, milliseconds(100), milliseconds(300000),
                       [](milliseconds t) { return std::uint64_t(t.count()) * 1024 / 30000; }),
            -1);
  StallWindow under(seconds(30), 1024);
  const long long at =
      FirstStall(under, milliseconds(100), milliseconds(300000),
                 [](milliseconds t) { return std::uint64_t(t.count()) * 1023 / 30000; });
  EXPECT_GE(at, 30000);
  EXPECT_LE(at, 32000);
}

TEST_F(StallWindowTest, BurstsCountWhereverTheyFallInTheWindow) {
  // 1 KiB at once every 29 s never stalls; a gap of more than a window does.
  StallWindow bursts(seconds(30), 1024);
  EXPECT_EQ(FirstStall(bursts, milliseconds(250), milliseconds(300000),
                       [](milliseconds t) { return std::uint64_t(t.count() / 29000 + 1) * 1024; }),
            -1);
  // 20 KB in the first 20 s, then nothing: a stall one window after the last byte.
  StallWindow late(seconds(30), 1024);
  const long long at = FirstStall(
      late, milliseconds(250), milliseconds(300000),
      [](milliseconds t) { return std::uint64_t(t < milliseconds(20000) ? t.count() : 20000); });
  EXPECT_GE(at, 50000);
  EXPECT_LE(at, 52000);
}

TEST_F(StallWindowTest, ACallSpacedLessOftenThanTheWindowStillJudgesTheWholeSpan) {
  StallWindow watch(seconds(30), 1024);
  EXPECT_FALSE(watch.Stalled(start_, 0));
  EXPECT_FALSE(watch.Stalled(start_ + seconds(45), 5000));
  EXPECT_TRUE(watch.Stalled(start_ + seconds(100), 5500));
}

}  // namespace
}  // namespace veilmark
