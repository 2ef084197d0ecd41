// A UI for tests: remembers every message box, and answers each dialog from
// a script queued in advance (type into a field, click a button, deliver a
// browser document), the way a person would.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "util/ui.h"

namespace veilmark::testing {

struct ShownBox {
  std::u16string caption;
  std::u16string text;
};

struct DialogStep {
  enum class Kind { kType, kClick, kDocument } kind;
  int id;
  std::u16string text;   // kType
  std::string document;  // kDocument
};

inline DialogStep Type(int id, std::u16string text) {
  return {DialogStep::Kind::kType, id, std::move(text), {}};
}
inline DialogStep Click(int id) {
  return {DialogStep::Kind::kClick, id, {}, {}};
}
inline DialogStep Document(int id, std::string source) {
  return {DialogStep::Kind::kDocument, id, {}, std::move(source)};
}

struct DialogScript {
  int resourceId;
  std::vector<DialogStep> steps;
  bool cannotShow = false;  // the platform fails to create it
};

// What one shown dialog looked like when it closed.
struct ShownDialog {
  int resourceId;
  std::u16string caption;
  std::map<int, std::u16string> initialTexts;  // set by the controller on creation
  std::vector<std::u16string> navigations;
  int result;
};

class RecordingUi : public Ui {
 public:
  void ShowMessage(const std::u16string& caption, const std::u16string& text) override;
  WindowRef ForegroundWindow() override { return 0x1234; }
  int ShowDialog(DialogController& dialog, WindowRef owner) override;

  // Message texts only, in order.
  std::vector<std::u16string> messages() const;

  // Called in each dialog once it is open, before its script runs: what the
  // host may deliver through a dialog's message loop (a shutdown, say).
  std::function<void(int resourceId)> whileOpen;

  std::deque<DialogScript> scripts;
  std::vector<ShownBox> boxes;
  std::vector<ShownDialog> dialogs;
  std::vector<WindowRef> owners;
};

}  // namespace veilmark::testing
