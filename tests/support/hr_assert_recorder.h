// Collects the debug-build assertions of failed Outlook calls for as long as it
// lives, so tests that fail calls on purpose run in every build type.
#pragma once

#include <string>
#include <vector>

#include "base/hresult.h"

namespace veilmark::testing {

class HrAssertRecorder {
 public:
  struct Report {
    std::string file;
    int line;
    std::string expression;
  };
  HrAssertRecorder();
  ~HrAssertRecorder();
  HrAssertRecorder(const HrAssertRecorder&) = delete;
  HrAssertRecorder& operator=(const HrAssertRecorder&) = delete;

  std::vector<Report> reports;

 private:
  HrAssertHandler previous_;
  HrAssertRecorder* outer_;
};

}  // namespace veilmark::testing
