// The recorder tests lean on when they fail Outlook calls on purpose.
#include "support/hr_assert_recorder.h"

#include <gtest/gtest.h>

namespace veilmark::testing {
namespace {

TEST(HrAssertRecorder, RestoresTheHandlerItReplaced) {
  const HrAssertHandler before = hrAssertHandler;
  {
    HrAssertRecorder outer;
    {
      HrAssertRecorder inner;
      hrAssertHandler("f.cpp", 7, "e");
      EXPECT_EQ(inner.reports.size(), 1u);
    }
    hrAssertHandler("g.cpp", 8, "e");
    ASSERT_EQ(outer.reports.size(), 1u);
    EXPECT_EQ(outer.reports[0].file, "g.cpp");
  }
  EXPECT_EQ(hrAssertHandler, before);
}

}  // namespace
}  // namespace veilmark::testing
