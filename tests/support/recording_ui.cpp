#include "support/recording_ui.h"

#include <gtest/gtest.h>

namespace veilmark::testing {
namespace {

class ScriptedSite : public DialogSite {
 public:
  std::u16string ItemText(int id) override {
    auto found = texts.find(id);
    return found == texts.end() ? std::u16string() : found->second;
  }
  void SetItemText(int id, const std::u16string& text) override { texts[id] = text; }
  void Navigate(int, const std::u16string& url) override { navigations.push_back(url); }
  void End(int code) override {
    ended = true;
    result = code;
  }

  std::map<int, std::u16string> texts;
  std::vector<std::u16string> navigations;
  bool ended = false;
  int result = 0;
};

}  // namespace

void RecordingUi::ShowMessage(const std::u16string& caption, const std::u16string& text) {
  boxes.push_back({caption, text});
}

std::vector<std::u16string> RecordingUi::messages() const {
  std::vector<std::u16string> texts;
  for (const ShownBox& box : boxes) texts.push_back(box.text);
  return texts;
}

int RecordingUi::ShowDialog(DialogController& dialog, WindowRef owner) {
  const DialogTemplate& layout = dialog.Template();
  owners.push_back(owner);
  if (scripts.empty()) {
    ADD_FAILURE() << "dialog " << layout.resourceId << " shown with no script left";
    return kDialogCannotShow;
  }
  DialogScript script = std::move(scripts.front());
  scripts.pop_front();
  EXPECT_EQ(script.resourceId, layout.resourceId) << "a different dialog than scripted";
  ShownDialog shown{layout.resourceId, layout.caption, {}, {}, kDialogCannotShow};
  if (script.cannotShow) {
    dialogs.push_back(shown);
    return kDialogCannotShow;
  }
  ScriptedSite site;
  dialog.OnInitDialog(site);
  shown.initialTexts = site.texts;
  if (whileOpen) whileOpen(layout.resourceId);
  for (const DialogStep& step : script.steps) {
    if (site.ended) {
      ADD_FAILURE() << "dialog " << layout.resourceId << " closed before its script ended";
      break;
    }
    switch (step.kind) {
      case DialogStep::Kind::kType:
        site.texts[step.id] = step.text;
        break;
      case DialogStep::Kind::kClick:
        dialog.OnCommand(site, step.id);
        break;
      case DialogStep::Kind::kDocument:
        dialog.OnDocumentComplete(site, step.id, step.document);
        break;
    }
  }
  if (!site.ended) {
    ADD_FAILURE() << "dialog " << layout.resourceId << " still open after its script";
    site.result = kIdCancel;
  }
  shown.navigations = site.navigations;
  shown.result = site.result;
  dialogs.push_back(shown);
  return site.result;
}

}  // namespace veilmark::testing
