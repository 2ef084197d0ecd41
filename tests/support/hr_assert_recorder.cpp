#include "support/hr_assert_recorder.h"

namespace veilmark::testing {
namespace {

HrAssertRecorder* activeRecorder = nullptr;

void RecordHrAssert(const char* file, int line, const char* expression) {
  activeRecorder->reports.push_back({file, line, expression});
}

}  // namespace

HrAssertRecorder::HrAssertRecorder() : previous_(hrAssertHandler), outer_(activeRecorder) {
  activeRecorder = this;
  hrAssertHandler = &RecordHrAssert;
}

HrAssertRecorder::~HrAssertRecorder() {
  activeRecorder = outer_;
  hrAssertHandler = previous_;
}

}  // namespace veilmark::testing
