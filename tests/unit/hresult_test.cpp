// The checks as a debug build compiles them, whatever this build's type.
#include <gtest/gtest.h>

#undef NDEBUG
#include <string>

#include "base/hresult.h"
#include "support/hr_assert_recorder.h"

namespace veilmark {
namespace {

struct Calls {
  int made = 0;
  int after = 0;
};

HRESULT Twice(Calls& calls, HRESULT first, HRESULT second) {
  ++calls.made;
  VM_CHECK_HR(first);
  ++calls.made;
  VM_CHECK_HR(second);
  ++calls.after;
  return S_OK;
}

TEST(CheckHr, SuccessCodesCarryOnSilently) {
  testing::HrAssertRecorder asserts;
  Calls calls;
  EXPECT_EQ(Twice(calls, S_OK, S_FALSE), S_OK);
  EXPECT_EQ(calls.made, 2);
  EXPECT_EQ(calls.after, 1);
  EXPECT_TRUE(asserts.reports.empty());
}

TEST(CheckHr, FailureIsAssertedWhereItHappenedAndReturned) {
  testing::HrAssertRecorder asserts;
  Calls calls;
  const int line = __LINE__ + 1;
  EXPECT_EQ(Twice(calls, E_NOINTERFACE, S_OK), E_NOINTERFACE);
  EXPECT_EQ(calls.made, 1);
  EXPECT_EQ(calls.after, 0);
  ASSERT_EQ(asserts.reports.size(), 1u);
  EXPECT_EQ(asserts.reports[0].expression, "(((HRESULT)((hr))) >= 0)");
  EXPECT_NE(asserts.reports[0].file.find("hresult_test.cpp"), std::string::npos);
  // Reported at the check inside Twice, above this test.
  EXPECT_LT(asserts.reports[0].line, line);
}

TEST(CheckHr, EvaluatesTheCallOnce) {
  testing::HrAssertRecorder asserts;
  int evaluated = 0;
  auto call = [&] {
    ++evaluated;
    return E_FAIL;
  };
  auto checked = [&]() -> HRESULT {
    VM_CHECK_HR(call());
    return S_OK;
  };
  EXPECT_EQ(checked(), E_FAIL);
  EXPECT_EQ(evaluated, 1);
}

TEST(LogHr, TellsTheOutcomeAndAssertsFailures) {
  testing::HrAssertRecorder asserts;
  EXPECT_TRUE(VM_LOG_HR(S_FALSE));
  EXPECT_TRUE(asserts.reports.empty());
  EXPECT_FALSE(VM_LOG_HR(DISP_E_MEMBERNOTFOUND));
  EXPECT_EQ(asserts.reports.size(), 1u);
}

}  // namespace
}  // namespace veilmark
