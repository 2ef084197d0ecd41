// veilmark-host run as a program, the way scripts drive it.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "login/session_store.h"
#include "message_files.h"
#include "support/scripted_service.h"
#include "support/temp_data_home.h"

namespace veilmark {
namespace {

// Nothing listens on a privileged port of loopback.
const char kClosedService[] = "127.0.0.1:1";

std::string Quoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

class HostProgramTest : public ::testing::Test {
 protected:
  // Runs the program in the scratch folder with no input, as a script would.
  Outcome Run(const std::vector<std::string>& args,
              std::map<std::string, std::string> env = {{"VEILMARK_API_HOST", kClosedService}}) {
    const std::string out = (folder_.root() / "stdout").string();
    const std::string err = (folder_.root() / "stderr").string();
    std::string command = "cd " + Quoted(folder_.root().string()) +
                          " && env -u VEILMARK_UI_SCRIPT -u VEILMARK_CA_BUNDLE";
    for (const auto& [name, value] : env) command += " " + name + "=" + Quoted(value);
    command += " " + Quoted(VEILMARK_HOST_PROGRAM);
    for (const std::string& arg : args) command += " " + Quoted(arg);
    command += " </dev/null >" + Quoted(out) + " 2>" + Quoted(err);

    Outcome outcome;
    const int status = std::system(command.c_str());
    if (status != -1 && WIFEXITED(status)) outcome.status = WEXITSTATUS(status);
    outcome.out = testing::ReadBytes(out);
    outcome.err = testing::ReadBytes(err);
    return outcome;
  }
  static bool Has(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
  }

  testing::TempDataHome home_;  // the program inherits XDG_DATA_HOME
  testing::ScratchFolder folder_;
};

TEST_F(HostProgramTest, SelectOfAnUnprotectedMessageNeedsNoService) {
  const std::string message = folder_.Write("m.eml", testing::PlainMessage());
  const Outcome run = Run({"select", message, "--trace"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Has(run.out, "trace: event Explorer.SelectionChange\n")) << run.out;
  EXPECT_TRUE(Has(run.out,
                  "trace: PropertyAccessor.GetProperty("
                  "http://schemas.microsoft.com/mapi/proptag/0x007D001E)\n"))
      << run.out;
  EXPECT_TRUE(Has(run.out, "trace: add-in OnDisconnection returned 0x00000000\n")) << run.out;
  EXPECT_FALSE(Has(run.out, "SaveAsFile")) << run.out;
  EXPECT_FALSE(Has(run.out, "pane: ")) << run.out;
  EXPECT_EQ(run.err, "");
}

TEST_F(HostProgramTest, WithoutTraceAnUnprotectedSelectPrintsNothing) {
  const std::string message = folder_.Write("m.eml", testing::PlainMessage());
  const Outcome run = Run({"select", message});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "");
  EXPECT_EQ(run.err, "");
}

TEST_F(HostProgramTest, ProtectedMessageWithoutSessionAsksForALoginOnTheTerminal) {
  // No answers on stdin: the login dialog closes unanswered and nothing is shown.
  const std::string message = folder_.Write("m.eml", testing::ProtectedMessage());
  const Outcome run = Run({"read", message, "--trace"});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Has(run.err, "Login Or Sign Up")) << run.err;
  EXPECT_TRUE(Has(run.out, "trace: Attachment.SaveAsFile(")) << run.out;
  EXPECT_FALSE(Has(run.out, "pane: ")) << run.out;
}

TEST_F(HostProgramTest, ReadWritesTheViewToTheDefaultPaneFileAndPrintsItsPath) {
  testing::ScriptedService service;
  service.Answer("decrypt-mime", R"({"status":{"statusCode":"OK"},"clearText":"<p>Hello Bob</p>",)"
                                 R"("decryptedAttachments":[]})");
  SessionStore().SetSession(u"bob@example.com", "s-bob");
  const std::string message = folder_.Write("m.eml", testing::ProtectedMessage());

  const Outcome run =
      Run({"read", message}, {{"VEILMARK_API_HOST", "localhost:" + std::to_string(service.port())},
                              {"VEILMARK_CA_BUNDLE", testing::LoopbackCertificates().caFile}});
  EXPECT_EQ(run.status, 0) << run.err;
  const std::string pane =
      (std::filesystem::canonical(folder_.root()) / "veilmark-pane.html").string();
  EXPECT_EQ(run.out, "pane: " + pane + "\n");
  EXPECT_TRUE(Has(testing::ReadBytes(pane), "<p>Hello Bob</p>"));
  EXPECT_EQ(service.Commands(), std::vector<std::string>{"decrypt-mime"});
}

// Bound: the default stall window of 30 s (plus the progress callback's
// period); the trickle alone would hold the program for 90 s.
TEST_F(HostProgramTest, ReadFromATricklingServiceGivesUpWithinFortySeconds) {
  testing::ScriptedService service;
  service.AnswerRaw("decrypt-mime", [](testing::ServerConnection& c) {
    c.Write("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 180\r\n\r\n");
    c.Trickle(R"({"status":{"statusCode":"OK"},"clearText":")" + std::string(180 - 45, 'x') + "\"}",
              2);
  });
  SessionStore().SetSession(u"bob@example.com", "s-bob");
  const std::string message = folder_.Write("m.eml", testing::ProtectedMessage());

  const auto start = std::chrono::steady_clock::now();
  const Outcome run =
      Run({"read", message}, {{"VEILMARK_API_HOST", "localhost:" + std::to_string(service.port())},
                              {"VEILMARK_CA_BUNDLE", testing::LoopbackCertificates().caFile}});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(40));
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_TRUE(Has(run.err, "Error in WinHttpReadData - 28")) << run.err;
  EXPECT_EQ(run.out, "");  // no pane
}

TEST_F(HostProgramTest, BadArgumentsExitWithTheUsage) {
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {}, {"read", "m.eml", "--bogus"}, {"send", "--to", "bob@example.com"}}) {
    const Outcome run = Run(args);
    EXPECT_EQ(run.status, 2) << run.err;
    EXPECT_EQ(run.err.rfind("veilmark-host: ", 0), 0u) << run.err;
    EXPECT_TRUE(Has(run.err, "usage:")) << run.err;
    EXPECT_EQ(run.out, "");
  }
  EXPECT_TRUE(Has(Run({"read", "m.eml", "--bogus"}).err, "unknown option --bogus"));
}

TEST_F(HostProgramTest, UnreadableOrMalformedFileExitsWithAMessage) {
  const Outcome missing = Run({"read", "missing.eml"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(Has(missing.err, "veilmark-host: cannot read missing.eml")) << missing.err;

  const std::string prose = folder_.Write("prose.eml", "just some words\n");
  const Outcome malformed = Run({"read", prose});
  EXPECT_EQ(malformed.status, 1);
  EXPECT_TRUE(Has(malformed.err, prose + " is not a mail message")) << malformed.err;
  EXPECT_EQ(malformed.out, "");
}

// Without a service: the events loop's own rules, read from a plain file
// after the command.
TEST_F(HostProgramTest, EventsRunInOrderUntilShutdownAndBadOnesAreReported) {
  const std::string first = folder_.Write("m1.eml", testing::PlainMessage());
  const std::string second = folder_.Write("m2.eml", testing::PlainMessage());
  const std::string events = folder_.Write(
      "events", "# the user\n\n  select " + second +
                    "\nbogus line\nselect missing.eml\nclose now\nclose\nshutdown\nselect " +
                    second + "\n");
  const Outcome run = Run({"select", first, "--trace", "--events", events});
  EXPECT_EQ(run.status, 0) << run.err;
  EXPECT_EQ(run.err,
            "veilmark-host: unknown event: bogus line\n"
            "veilmark-host: event select: cannot read missing.eml: No such file or directory\n"
            "veilmark-host: unknown event: close now\n");
  auto count = [&run](const std::string& line) {
    std::size_t n = 0;
    for (std::size_t at = run.out.find(line); at != std::string::npos;
         at = run.out.find(line, at + 1)) {
      ++n;
    }
    return n;
  };
  // The command's selection and the first event's; none after the shutdown.
  EXPECT_EQ(count("trace: event Explorer.SelectionChange\n"), 2u) << run.out;
  EXPECT_EQ(count("trace: add-in OnBeginShutdown returned"), 1u) << run.out;
  const std::size_t closed = run.out.find("trace: event Explorer.Close\n");
  const std::size_t shutdown = run.out.find("trace: add-in OnBeginShutdown returned");
  const std::size_t disconnected = run.out.find("trace: add-in OnDisconnection returned");
  ASSERT_NE(closed, std::string::npos) << run.out;
  EXPECT_LT(closed, shutdown);
  EXPECT_LT(shutdown, disconnected);
  EXPECT_NE(disconnected, std::string::npos);

  const Outcome missing = Run({"select", first, "--events", "no-such-events"});
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(Has(missing.err, "cannot open the events file no-such-events")) << missing.err;
}

TEST_F(HostProgramTest, HelpGoesToStandardOutput) {
  const Outcome run = Run({"--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("usage:\n  veilmark-host read FILE.eml", 0), 0u) << run.out;
}

}  // namespace
}  // namespace veilmark
