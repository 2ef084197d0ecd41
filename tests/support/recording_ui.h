// A UI that remembers every message box instead of showing it.
#pragma once

#include <string>
#include <vector>

#include "util/ui.h"

namespace veilmark::testing {

struct ShownBox {
  std::u16string caption;
  std::u16string text;
};

class RecordingUi : public Ui {
 public:
  void MessageBox(const std::u16string& caption, const std::u16string& text) override {
    boxes.push_back({caption, text});
  }
  std::vector<ShownBox> boxes;
};

}  // namespace veilmark::testing
