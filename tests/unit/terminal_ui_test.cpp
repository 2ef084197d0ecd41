// Dialogs on the terminal, answered from a script or typed by a person, with
// a fake browser behind the browser controls.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "base/local_files.h"
#include "base/text.h"
#include "login/dialogs/extra_password_dialog.h"
#include "login/dialogs/login_method_dialog.h"
#include "login/dialogs/openid_dialog.h"
#include "login/dialogs/provider_login_dialog.h"
#include "login/dialogs/veilmark_login_dialog.h"
#include "support/temp_data_home.h"
#include "ui/ui_terminal.h"

namespace veilmark {
namespace {

namespace fs = std::filesystem;

const char kHotmailMessage[] = "Please specify your Hotmail email and password for the login";
const char kFinalPage[] = R"({"status":{"statusCode":"OK"},"sessionId":"s-9"})";

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
    ++count;
  }
  return count;
}

// Pages by address; everything else cannot be opened.
struct FakeWeb {
  std::map<std::string, BrowserDocument> pages;
  std::vector<std::string> opened;
  int browsersMade = 0;

  void Add(const std::string& url, std::string contentType, std::string source) {
    pages[url] = BrowserDocument{url, 200, std::move(contentType), std::move(source)};
  }

  BrowserFactory Factory() {
    return [this] {
      class Fake : public Browser {
       public:
        explicit Fake(FakeWeb& web) : web_(web) {}
        BrowserResult Open(std::string_view url) override {
          web_.opened.emplace_back(url);
          const auto found = web_.pages.find(std::string(url));
          if (found == web_.pages.end()) return {false, {}, "no such host"};
          return {true, found->second, {}};
        }

       private:
        FakeWeb& web_;
      };
      ++browsersMade;
      return std::unique_ptr<Browser>(std::make_unique<Fake>(*this));
    };
  }
};

class TerminalUiTest : public ::testing::Test {
 protected:
  // A UI answering from `script`.
  TerminalUi& Scripted(const std::string& script) {
    input_.str(script);
    ui_ = std::make_unique<TerminalUi>(input_, output, AnswerSource::kScript, web.Factory());
    return *ui_;
  }
  TerminalUi& Person(const std::string& typed) {
    input_.str(typed);
    ui_ = std::make_unique<TerminalUi>(input_, output, AnswerSource::kPerson, web.Factory());
    return *ui_;
  }

  Ui& TheUi() { return *ui_; }

  std::ostringstream output;
  FakeWeb web;

 private:
  std::istringstream input_;
  std::unique_ptr<TerminalUi> ui_;
};

TEST_F(TerminalUiTest, ScriptedAnswerAfterAValidationMessage) {
  Scripted(
      "# provider credentials\n"
      "dialog 110\n"
      "  click 1\n"
      "field 204 ivan@hotmail.com\r\n"
      "\n"
      "field 205 s3cret pass\n"
      "click Login\n");
  ProviderLoginDialog live;
  EXPECT_EQ(live.Show(TheUi(), 0), 1);
  EXPECT_EQ(live.email, u"ivan@hotmail.com");
  EXPECT_EQ(live.password, u"s3cret pass");

  const std::string shown = output.str();
  EXPECT_NE(shown.find("=== Provider Login (dialog 110) ==="), std::string::npos);
  EXPECT_NE(shown.find("Password [205]"), std::string::npos);  // labelled by the text beside it
  EXPECT_NE(shown.find("Buttons: [1] Login  [2] Cancel"), std::string::npos);
  EXPECT_EQ(Count(shown, std::string("[Veilmark AddIn]\n") + kHotmailMessage + "\n[OK]"), 1u);
  EXPECT_EQ(shown.find("s3cret"), std::string::npos) << "a password was shown";
  // The message came between the two clicks.
  EXPECT_LT(shown.find("> click 1"), shown.find(kHotmailMessage));
  EXPECT_LT(shown.find(kHotmailMessage), shown.find("> field 204 ivan@hotmail.com"));
}

TEST_F(TerminalUiTest, BlocksAreUsedInOrderByIdOrCaption) {
  TerminalUi& ui = Scripted(
      "dialog 107\n"
      "click other\n"
      "dialog Login using Veilmark Account\n"
      "field 205 pw\n"
      "click OK\n");
  LoginMethodDialog chooser;
  EXPECT_EQ(chooser.Show(TheUi(), ui.ForegroundWindow()), 207);
  EXPECT_FALSE(chooser.gmail || chooser.yahoo || chooser.hotmail || chooser.aol ||
               chooser.cancelled);
  VeilmarkLoginDialog login(u"ivan@x.org");
  EXPECT_EQ(login.Show(TheUi(), 0), 1);
  EXPECT_EQ(login.email, u"ivan@x.org");  // put there on creation, left as it was
  EXPECT_EQ(login.password, u"pw");
  EXPECT_NE(output.str().find("Email [204]: ivan@x.org"), std::string::npos);
}

TEST_F(TerminalUiTest, ABlockForAnotherDialogClosesThisOneAndWaitsForItsOwn) {
  Scripted("dialog 112\nclick 4\n");
  ProviderLoginDialog live;
  EXPECT_EQ(live.Show(TheUi(), 0), kIdCancel);
  EXPECT_TRUE(live.cancelled);
  EXPECT_NE(output.str().find("next answers are for dialog 112"), std::string::npos);
  VeilmarkLoginDialog login(u"a@x.org");
  EXPECT_EQ(login.Show(TheUi(), 0), 4);
  EXPECT_TRUE(login.forgot);
}

TEST_F(TerminalUiTest, WithNoAnswersLeftDialogsEndAsClosed) {
  Scripted("dialog 110\nfield 204 a@b\n");
  ProviderLoginDialog live;
  EXPECT_EQ(live.Show(TheUi(), 0), kIdCancel);
  EXPECT_TRUE(live.cancelled);
  LoginMethodDialog chooser;
  EXPECT_EQ(chooser.Show(TheUi(), 0), kIdCancel);
  EXPECT_TRUE(chooser.cancelled);
  OpenIdDialog openid(u"https://provider.example/");
  EXPECT_EQ(openid.Show(TheUi(), 0), kIdCancel);
  EXPECT_FALSE(openid.reply);
  EXPECT_TRUE(web.opened.empty()) << "a closed dialog loaded a page";
}

TEST_F(TerminalUiTest, AnswersLeftOverOrWrongAreReportedAndSkipped) {
  Scripted(
      "click 1\n"
      "dialog 107\n"
      "field 201 typed\n"
      "click 209\n"
      "press 1\n"
      "click 201\n"
      "click 202\n"
      "dialog 111\n"
      "field 208 extra\n"
      "click 1\n");
  LoginMethodDialog chooser;
  EXPECT_EQ(chooser.Show(TheUi(), 0), 201);
  EXPECT_TRUE(chooser.gmail);
  EXPECT_FALSE(chooser.yahoo);
  ExtraPasswordDialog extra;
  EXPECT_EQ(extra.Show(TheUi(), 0), 1);
  EXPECT_EQ(extra.password, u"extra");
  const std::string shown = output.str();
  EXPECT_NE(shown.find("outside any dialog block skipped: click 1"), std::string::npos);
  EXPECT_NE(shown.find("(no such field: field 201 typed)"), std::string::npos);
  EXPECT_NE(shown.find("(no such button: click 209)"), std::string::npos);
  EXPECT_NE(shown.find("(unknown script line: press 1)"), std::string::npos);
  EXPECT_NE(shown.find("(unused after the dialog closed: click 202)"), std::string::npos);
}

// Shows ProviderLoginDialog through the UI the environment asks for; stderr is captured.
int ShowLiveFromEnvironment(const std::string& scriptPath, ProviderLoginDialog& live,
                            std::string& shown) {
  setenv("VEILMARK_UI_SCRIPT", scriptPath.c_str(), 1);
  std::stringstream captured;
  std::streambuf* previous = std::cerr.rdbuf(captured.rdbuf());
  std::unique_ptr<TerminalUi> ui =
      TerminalUi::FromEnvironment([] { return MakePlatformBrowser(""); });
  int result;
  result = live.Show(*ui, ui->ForegroundWindow());
  std::cerr.rdbuf(previous);
  unsetenv("VEILMARK_UI_SCRIPT");
  shown = captured.str();
  return result;
}

TEST_F(TerminalUiTest, ScriptFileNamedByTheEnvironment) {
  testing::TempDataHome home;
  const fs::path file = home.root() / "answers.txt";
  std::ofstream(file) << "dialog 110\nclick 1\nfield 204 a@b\nfield 205 p\nclick 1\n";
  ProviderLoginDialog live;
  std::string shown;
  EXPECT_EQ(ShowLiveFromEnvironment(file.string(), live, shown), 1);
  EXPECT_EQ(live.email, u"a@b");
  EXPECT_EQ(Count(shown, kHotmailMessage), 1u);

  // An unreadable file still means nobody is there to answer.
  ProviderLoginDialog unanswered;
  EXPECT_EQ(ShowLiveFromEnvironment("/nonexistent/answers.txt", unanswered, shown), kIdCancel);
  EXPECT_NE(shown.find("/nonexistent/answers.txt"), std::string::npos);
}

TEST_F(TerminalUiTest, OpenIdFollowsPagesUntilTheJsonOne) {
  web.Add("https://p/login", "text/html", "<html>sign in</html>");
  web.Add("https://p/final", "application/json", kFinalPage);
  Scripted("dialog 108\nopen 205 https://p/final\nclose\n");
  OpenIdDialog openid(u"https://p/login");
  EXPECT_EQ(openid.Show(TheUi(), 0), 0);
  ASSERT_TRUE(openid.reply);
  EXPECT_EQ(openid.reply->sessionId(), "s-9");
  EXPECT_EQ(web.opened, (std::vector<std::string>{"https://p/login", "https://p/final"}));
  EXPECT_EQ(web.browsersMade, 1);  // one browser, so one cookie store, per dialog
  EXPECT_NE(output.str().find("https://p/login: 200 text/html, 20 bytes"), std::string::npos);
}

// Records the order in which the terminal calls a controller.
class ProbeDialog : public DialogController {
 public:
  const DialogTemplate& Template() const override { return layout; }
  void OnInitDialog(DialogSite& site) override {
    events.push_back("init");
    for (const std::u16string& url : start) site.Navigate(50, url);
    events.push_back("init done");
  }
  void OnCommand(DialogSite& site, int id) override {
    events.push_back("command " + std::to_string(id));
    if (id == kIdOk || id == kIdCancel) site.End(id);
  }
  void OnDocumentComplete(DialogSite& site, int id, std::string_view source) override {
    events.push_back("document " + std::to_string(id) + " " + std::string(source));
    if (onDocument) onDocument(site, source);
    events.push_back("document done");
  }

  DialogTemplate layout{900,
                        u"Probe",
                        100,
                        100,
                        {{kIdOk, ControlKind::kDefaultButton, u"OK", 0, 80, 40, 14},
                         {kIdCancel, ControlKind::kButton, u"Cancel", 50, 80, 40, 14},
                         {50, ControlKind::kBrowser, u"", 0, 0, 100, 60}}};
  std::vector<std::u16string> start;
  std::function<void(DialogSite&, std::string_view)> onDocument;
  std::vector<std::string> events;
};

TEST_F(TerminalUiTest, DocumentsArriveOneByOneAfterTheHandlerReturns) {
  web.Add("https://a/1", "text/html", "one");
  web.Add("https://a/2", "text/html", "two");
  web.Add("https://a/3", "text/html", "three");
  Scripted("dialog 900\nclick 1\n");
  ProbeDialog probe;
  probe.start = {u"https://a/1", u"https://missing/", u"https://a/2"};
  probe.onDocument = [](DialogSite& site, std::string_view source) {
    if (source == "one") site.Navigate(50, u"https://a/3");
  };
  EXPECT_EQ(TheUi().ShowDialog(probe, 0), 1);
  EXPECT_EQ(probe.events,
            (std::vector<std::string>{"init", "init done", "document 50 one", "document done",
                                      "document 50 two", "document done", "document 50 three",
                                      "document done", "command 1"}));
  EXPECT_NE(output.str().find("[browser 50] cannot open https://missing/: no such host"),
            std::string::npos);
}

TEST_F(TerminalUiTest, ImagesAreSavedPrivatelyWhileTheDialogIsOpen) {
  testing::TempDataHome home;
  const std::string gif("GIF89a\0\x01", 8);
  web.Add("http://api/c", "Image/GIF; charset=binary", gif);
  Scripted("dialog 900\nclick 1\n");
  ProbeDialog probe;
  probe.start = {u"http://api/c"};
  std::vector<fs::path> seen;
  std::string content;
  unsigned mode = 0;
  probe.onDocument = [&](DialogSite&, std::string_view) {
    for (const auto& entry : fs::directory_iterator(home.folder())) {
      seen.push_back(entry.path());
      content = LoadFile(Utf8ToWide(entry.path().string()));
      struct stat info {};
      stat(entry.path().c_str(), &info);
      mode = info.st_mode & 0777;
    }
  };
  EXPECT_EQ(TheUi().ShowDialog(probe, 0), 1);

  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].extension(), ".gif");
  EXPECT_EQ(content, gif);
  EXPECT_EQ(mode, 0600u);
  EXPECT_NE(output.str().find("the image is in " + seen[0].string()), std::string::npos);
  EXPECT_FALSE(fs::exists(seen[0])) << "left behind after the dialog closed";
}

TEST_F(TerminalUiTest, PersonTypesAgainAfterAMessage) {
  Person(
      "\n"            // email: nothing
      "\n"            // password: nothing
      "1\n"           // Login
      "\n"            // OK on the message
      "ivan@x.org\n"  // email
      "pw\n"          // password
      "9\n"           // no such button
      "login\n");     // Login, by its text
  ProviderLoginDialog live;
  EXPECT_EQ(live.Show(TheUi(), 0), 1);
  EXPECT_EQ(live.email, u"ivan@x.org");
  EXPECT_EQ(live.password, u"pw");
  const std::string shown = output.str();
  EXPECT_EQ(Count(shown, kHotmailMessage), 1u);
  EXPECT_NE(shown.find("[OK: press Enter]"), std::string::npos);
  EXPECT_NE(shown.find("(no such button)"), std::string::npos);
  EXPECT_EQ(Count(shown, "Email: "), 2u);
  EXPECT_NE(shown.find("Choose [1] Login  [2] Cancel, or \"close\": "), std::string::npos);
}

TEST_F(TerminalUiTest, PersonKeepsTextsWithEnterAndPasswordsStayHidden) {
  Person("\nsecret\n1\n");
  VeilmarkLoginDialog login(u"ivan@x.org");
  EXPECT_EQ(login.Show(TheUi(), 0), 1);
  EXPECT_EQ(login.email, u"ivan@x.org");
  EXPECT_EQ(login.password, u"secret");
  EXPECT_NE(output.str().find("Email [ivan@x.org]: "), std::string::npos);
  EXPECT_EQ(output.str().find("secret"), std::string::npos);
}

TEST_F(TerminalUiTest, EndOfInputClosesThePersonsDialog) {
  Person("a@b\n");
  VeilmarkLoginDialog login(u"");
  EXPECT_EQ(login.Show(TheUi(), 0), kIdCancel);
  EXPECT_TRUE(login.cancelled);
  EXPECT_EQ(login.email, u"");
}

}  // namespace
}  // namespace veilmark
