// Whole commands run in this process: the real add-in core driven through
// the host's objects, against a scripted service on loopback HTTPS.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "base/text.h"
#include "host/command_line.h"
#include "host/host_session.h"
#include "login/session_store.h"
#include "message_files.h"
#include "support/hr_assert_recorder.h"
#include "support/recording_ui.h"
#include "support/scripted_service.h"
#include "support/temp_data_home.h"
#include "ui/ui.h"

namespace veilmark::hostapp {
namespace {

const char kOk[] = R"({"status":{"statusCode":"OK"}})";
const char kDecrypted[] =
    R"({"status":{"statusCode":"OK"},"clearText":"<p>Hello Bob</p>",)"
    R"("decryptedAttachments":[{"name":"plan.pdf","url":"/att/1","size":1536,)"
    R"("contentType":"application/pdf"}]})";

class HostRunTest : public ::testing::Test {
 protected:
  HostRunTest() = default;

  int Run(const std::vector<std::string>& args) {
    out_.str({});
    err_.str({});
    return RunCommand(ParseCommandLine(args), testing::PlatformOver(service_, ui_), out_, err_);
  }
  void LoggedIn(const std::u16string& account, const std::string& session) {
    SessionStore().SetSession(account, session);
  }
  std::vector<std::string> TraceLines() const {
    std::vector<std::string> lines;
    std::istringstream in(out_.str());
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("trace: ", 0) == 0) lines.push_back(line.substr(7));
    }
    return lines;
  }
  // The traced lines among `wanted`, in the order they happened.
  std::vector<std::string> Traced(const std::vector<std::string>& wanted) const {
    std::vector<std::string> found;
    for (const std::string& line : TraceLines()) {
      for (const std::string& want : wanted) {
        if (line == want) found.push_back(line);
      }
    }
    return found;
  }
  bool AnyTraced(const std::string& prefix) const {
    for (const std::string& line : TraceLines()) {
      if (line.rfind(prefix, 0) == 0) return true;
    }
    return false;
  }
  std::string PanePath() const { return (folder_.root() / "view.html").string(); }

  testing::TempDataHome home_;
  testing::ScratchFolder folder_;
  testing::ScriptedService service_;
  testing::RecordingUi ui_;
  testing::HrAssertRecorder hrAsserts_;
  std::ostringstream out_;
  std::ostringstream err_;
};

// --- read and select -------------------------------------------------------------

TEST_F(HostRunTest, ReadShowsTheDecryptedViewInThePaneFile) {
  LoggedIn(u"bob@example.com", "s-bob");
  service_.Answer("decrypt-mime", kDecrypted);
  const std::string message = folder_.Write("m.eml", testing::ProtectedMessage());

  EXPECT_EQ(Run({"read", message, "--pane-out", PanePath()}), kExitOk) << err_.str();

  ASSERT_EQ(service_.Commands(), std::vector<std::string>{"decrypt-mime"});
  EXPECT_EQ(service_.Params(0)["cipherText"], testing::kArmoredPayload);
  EXPECT_EQ(service_.Params(0)["sessionId"], "s-bob");
  EXPECT_EQ(out_.str(), "pane: " + PanePath() + "\n");
  const std::string view = testing::ReadBytes(PanePath());
  EXPECT_NE(view.find("<p>Hello Bob</p>"), std::string::npos) << view;
  EXPECT_NE(view.find("plan.pdf"), std::string::npos) << view;
  EXPECT_TRUE(ui_.messages().empty());
}

TEST_F(HostRunTest, ReadUsesTheAccountGivenForTheSession) {
  LoggedIn(u"other@example.com", "s-other");
  service_.Answer("decrypt-mime", kDecrypted);
  const std::string message = folder_.Write("m.eml", testing::ProtectedMessage());
  EXPECT_EQ(Run({"read", message, "--account", "Other@Example.com", "--pane-out", PanePath()}),
            kExitOk);
  ASSERT_EQ(service_.Commands().size(), 1u);
  EXPECT_EQ(service_.Params(0)["sessionId"], "s-other");
}

TEST_F(HostRunTest, RefusedDecryptionIsShownAndTheCommandStillSucceeds) {
  LoggedIn(u"bob@example.com", "s-bob");
  service_.Answer("decrypt-mime", testing::StatusReply("NOT_A_RECIPIENT"));
  const std::string message = folder_.Write("m.eml", testing::ProtectedMessage());

  EXPECT_EQ(Run({"read", message, "--pane-out", PanePath()}), kExitOk);
  ASSERT_EQ(ui_.messages().size(), 1u);
  EXPECT_NE(ui_.messages()[0].find(u"Unable to decrypt message using account - bob@example.com"),
            std::u16string::npos);
  EXPECT_FALSE(std::filesystem::exists(PanePath()));
  EXPECT_EQ(out_.str(), "");
}

TEST_F(HostRunTest, SelectingOneProtectedMessageShowsItsPane) {
  LoggedIn(u"bob@example.com", "s-bob");
  service_.Answer("decrypt-mime", kDecrypted);
  const std::string message = folder_.Write("m.eml", testing::ProtectedMessage());
  EXPECT_EQ(Run({"select", message, "--pane-out", PanePath(), "--trace"}), kExitOk);
  EXPECT_EQ(service_.Commands(), std::vector<std::string>{"decrypt-mime"});
  EXPECT_NE(testing::ReadBytes(PanePath()).find("Hello Bob"), std::string::npos);
  // Shown on the main window, docked at the bottom.
  EXPECT_EQ(Traced({"event Explorer.SelectionChange",
                    "TaskPaneFactory.CreateCTP({8856F961-340A-11D0-A96B-00C04FD705A2}, "
                    "Secure message contents)",
                    "TaskPane.SetDockPosition(3)", "TaskPane.SetVisible(true)"}),
            (std::vector<std::string>{"event Explorer.SelectionChange",
                                      "TaskPaneFactory.CreateCTP({8856F961-340A-11D0-A96B-"
                                      "00C04FD705A2}, Secure message contents)",
                                      "TaskPane.SetDockPosition(3)", "TaskPane.SetVisible(true)"}));
}

TEST_F(HostRunTest, SelectingTwoProtectedMessagesShowsAndPostsNothing) {
  LoggedIn(u"bob@example.com", "s-bob");
  const std::string first = folder_.Write("1.eml", testing::ProtectedMessage());
  const std::string second = folder_.Write("2.eml", testing::ProtectedMessage());
  EXPECT_EQ(Run({"select", first, second, "--pane-out", PanePath(), "--trace"}), kExitOk);
  EXPECT_TRUE(service_.Commands().empty());
  EXPECT_FALSE(std::filesystem::exists(PanePath()));
  EXPECT_FALSE(AnyTraced("Attachment.SaveAsFile"));
  EXPECT_FALSE(AnyTraced("TaskPaneFactory.CreateCTP"));
  EXPECT_EQ(Traced({"Selection.GetCount", "Selection.GetItem(1)"}),
            std::vector<std::string>{"Selection.GetCount"});
}

TEST_F(HostRunTest, SelectingAnUnprotectedMessagePostsNothing) {
  LoggedIn(u"bob@example.com", "s-bob");
  const std::string message = folder_.Write("m.eml", testing::PlainMessage());
  EXPECT_EQ(Run({"select", message, "--trace"}), kExitOk);
  EXPECT_TRUE(service_.Commands().empty());
  EXPECT_TRUE(ui_.messages().empty());
  // Looked at, and left alone.
  EXPECT_EQ(Traced({"PropertyAccessor.GetProperty(" +
                        WideToUtf8(outlook::kTransportHeadersProperty) + ")",
                    "MailItem.GetAttachments"}),
            std::vector<std::string>{"PropertyAccessor.GetProperty(" +
                                     WideToUtf8(outlook::kTransportHeadersProperty) + ")"});
}

// --- send ---------------------------------------------------------------------------

class HostSendTest : public HostRunTest {
 protected:
  std::vector<std::string> SendArgs() {
    return {"send",
            "--account",
            "Alice@Example.com",
            "--to",
            "bob@example.com",
            "--cc",
            "carol@example.com",
            "--bcc",
            "dora@example.com",
            "--to",
            "erin@example.com",
            "--subject",
            "Plans",
            "--html-text",
            "<p>See attached</p>",
            "--attach",
            folder_.Write("plan.pdf", std::string("%PDF\0\x01", 6)),
            "--trace"};
  }
};

TEST_F(HostSendTest, SentMessageLeavesTheDraftSavedDeletedAndItsWindowClosed) {
  LoggedIn(u"alice@example.com", "s-alice");
  service_.Answer("upload-attachments",
                  R"({"status":{"statusCode":"OK"},"att":[{"id":7,"name":"plan.pdf"}]})");
  service_.Answer("encrypt-send", kOk);

  EXPECT_EQ(Run(SendArgs()), kExitOk) << err_.str();

  ASSERT_EQ(service_.Commands(), (std::vector<std::string>{"upload-attachments", "encrypt-send"}));
  EXPECT_NE(service_.Request(0).body.find(std::string("%PDF\0\x01", 6)), std::string::npos);
  std::map<std::string, std::string> sent = service_.Params(1);
  EXPECT_EQ(sent["to"], "bob@example.com,erin@example.com");
  EXPECT_EQ(sent["cc"], "carol@example.com");
  EXPECT_EQ(sent["bcc"], "dora@example.com");
  EXPECT_EQ(sent["subject"], "Plans");
  EXPECT_EQ(sent["body"], "<p>See attached</p>");
  EXPECT_EQ(sent["attachment"], "7");
  EXPECT_EQ(sent["sessionId"], "s-alice");

  EXPECT_EQ(Traced({"MailItem.Save", "MailItem.Delete", "MailItem.Close(1)",
                    "event Inspector.Close", "Inspector.Unadvise"}),
            (std::vector<std::string>{"MailItem.Save", "MailItem.Delete", "MailItem.Close(1)",
                                      "event Inspector.Close", "Inspector.Unadvise"}));
  EXPECT_TRUE(ui_.messages().empty());
}

TEST_F(HostSendTest, RefusedSendKeepsTheDraftAndTheWindow) {
  LoggedIn(u"alice@example.com", "s-alice");
  service_.Answer("upload-attachments",
                  R"({"status":{"statusCode":"OK"},"att":[{"id":7,"name":"plan.pdf"}]})");
  service_.Answer("encrypt-send", testing::StatusReply("QUOTA"));

  EXPECT_EQ(Run(SendArgs()), kExitOk);
  EXPECT_EQ(ui_.messages(), std::vector<std::u16string>{u"Unable to send encrypted message"});
  EXPECT_EQ(
      Traced({"MailItem.Save", "MailItem.Delete", "MailItem.Close(1)", "event Inspector.Close"}),
      std::vector<std::string>{"MailItem.Save"});
}

TEST_F(HostSendTest, DistributionListIsRefusedByTheAddIn) {
  LoggedIn(u"alice@example.com", "s-alice");
  EXPECT_EQ(Run({"send", "--account", "alice@example.com", "--list", "Team", "--subject", "s"}),
            kExitOk);
  EXPECT_TRUE(service_.Commands().empty());
  ASSERT_EQ(ui_.messages().size(), 1u);
  EXPECT_NE(ui_.messages()[0].find(u"Only regular user addresses are supported"),
            std::u16string::npos);
}

// --- failures of the host's own ---------------------------------------------------

TEST_F(HostRunTest, ABadFileStopsBeforeTheAddInStarts) {
  const std::string good = folder_.Write("good.eml", testing::ProtectedMessage());
  const std::string missing = (folder_.root() / "missing.eml").string();
  EXPECT_EQ(Run({"select", good, missing, "--trace"}), kExitFailure);
  EXPECT_NE(err_.str().find("veilmark-host: cannot read " + missing), std::string::npos)
      << err_.str();
  EXPECT_EQ(out_.str(), "");
  EXPECT_TRUE(service_.Commands().empty());
}

TEST_F(HostRunTest, UnwritablePaneFileFailsTheCommand) {
  LoggedIn(u"bob@example.com", "s-bob");
  service_.Answer("decrypt-mime", kDecrypted);
  const std::string message = folder_.Write("m.eml", testing::ProtectedMessage());
  const std::string pane = (folder_.root() / "no-folder" / "view.html").string();
  EXPECT_EQ(Run({"read", message, "--pane-out", pane}), kExitFailure);
  EXPECT_NE(err_.str().find(pane), std::string::npos) << err_.str();
}

TEST_F(HostRunTest, DefaultPaneFileIsInTheCurrentDirectory) {
  const std::filesystem::path previous = std::filesystem::current_path();
  std::filesystem::current_path(folder_.root());
  const std::string path = PaneOutPath("");
  const std::string relative = PaneOutPath("sub/../v.html");
  std::filesystem::current_path(previous);
  EXPECT_EQ(std::filesystem::path(path),
            std::filesystem::canonical(folder_.root()) / kDefaultPaneFile);
  EXPECT_EQ(std::filesystem::path(relative), std::filesystem::canonical(folder_.root()) / "v.html");
}

}  // namespace
}  // namespace veilmark::hostapp
