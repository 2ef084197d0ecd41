#include "api/stall_window.h"

namespace veilmark {

StallWindow::StallWindow(Clock::duration window, std::uint64_t floorBytes)
    : window_(window), spacing_(window / 16), floorBytes_(floorBytes) {}

bool StallWindow::Stalled(Clock::time_point now, std::uint64_t moved) {
  // Keeping only samples at least `spacing_` apart bounds the memory; the
  // count measured from an older sample is never smaller, so a stall is
  // called late by at most that spacing, never early.
  if (samples_.empty() || now - samples_.back().at >= spacing_) samples_.push_back({now, moved});
  const Clock::time_point windowStart = now - window_;
  if (samples_.front().at > windowStart) return false;  // not one whole window yet
  // The newest sample taken at or before the window's start is its base.
  while (samples_.size() > 1 && samples_[1].at <= windowStart) samples_.pop_front();
  return moved - samples_.front().moved < floorBytes_;
}

}  // namespace veilmark
