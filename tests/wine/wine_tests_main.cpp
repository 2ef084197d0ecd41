// The Wine suites' main. Output goes out as it is written, and a crash names
// its exception and the test it ended: under Wine, stdout to a pipe is fully
// buffered and Wine's own crash report is off, so a crashed suite used to
// leave no output at all.
#include <gtest/gtest.h>
#include <windows.h>

#include <csignal>
#include <cstdio>

namespace {

void ReportCrash(const char* what) {
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  std::fprintf(stderr, "\n[ CRASH    ] %s in %s.%s\n", what,
               test ? test->test_suite_name() : "(no test)", test ? test->name() : "");
  std::fflush(stderr);
}

LONG WINAPI ReportException(EXCEPTION_POINTERS* exception) {
  char what[64];
  std::snprintf(what, sizeof what, "exception 0x%08lx at %p",
                static_cast<unsigned long>(exception->ExceptionRecord->ExceptionCode),
                exception->ExceptionRecord->ExceptionAddress);
  ReportCrash(what);
  return EXCEPTION_CONTINUE_SEARCH;
}

// abort(), std::terminate among its callers, ends without an exception.
void ReportAbort(int) {
  ReportCrash("abort");
}

}  // namespace

int main(int argc, char** argv) {
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  std::setvbuf(stderr, nullptr, _IONBF, 0);
  SetUnhandledExceptionFilter(ReportException);
  std::signal(SIGABRT, ReportAbort);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
