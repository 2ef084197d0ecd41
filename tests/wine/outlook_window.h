// Outlook as the read road meets it: one explorer whose selection is a
// received protected message, and the task-pane factory with its browser.
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "fake_browser.h"
#include "fake_outlook.h"

namespace veilmark::wine_tests {

inline constexpr char16_t kBob[] = u"bob@example.com";

// A delivered message: its header block and its armored payload, which
// Outlook shows as the second attachment.
struct Delivered {
  std::u16string headers;
  std::string payload;
};

FakeConnectionPoint& PointOf(FakeDispatch& object, const IID& events);

// Outlook with one explorer whose selection is `item`, and the task-pane
// factory handing out one pane that hosts `control`.
struct FakeOutlookWindow {
  explicit FakeOutlookWindow(const FakePtr& item);
  std::vector<HRESULT> SelectionChange();

  FakeBrowser control;
  FakePtr pane = FakeDispatch::Make();
  FakePtr factory = FakeDispatch::Make();
  FakePtr explorer = FakeDispatch::Make();
  FakePtr explorers = FakeDispatch::Make();
  FakePtr inspectors = FakeDispatch::Make();
  FakePtr application = FakeDispatch::Make();
};

// A message received by bob as Outlook shows it to the add-in; the time its
// payload's SaveAsFile takes is added to `saveTime` when given.
FakePtr ProtectedItem(const Delivered& delivered, const std::u16string& entryId,
                      std::chrono::steady_clock::duration* saveTime = nullptr);

}  // namespace veilmark::wine_tests
