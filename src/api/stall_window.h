// Bookkeeping for a transfer that must keep moving: fewer than `floorBytes`
// of body in any `window` is a stall. A byte-per-second speed floor lets a
// service hold the user as long as it trickles; a floor per window does not.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>

namespace veilmark {

class StallWindow {
 public:
  using Clock = std::chrono::steady_clock;

  StallWindow(Clock::duration window, std::uint64_t floorBytes);

  // `moved`: body bytes sent plus received so far, never less than before.
  // The first call marks the start; a stall is only called once a whole
  // window has passed since then.
  bool Stalled(Clock::time_point now, std::uint64_t moved);

 private:
  struct Sample {
    Clock::time_point at;
    std::uint64_t moved;
  };
  Clock::duration window_;
  Clock::duration spacing_;  // samples closer than this are not kept
  std::uint64_t floorBytes_;
  std::deque<Sample> samples_;
};

}  // namespace veilmark
