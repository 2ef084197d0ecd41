// The DLL end to end under Wine against a real veilmark-service on loopback
// (started by with-service): a protected message selected in a fake
// explorer is posted by the DLL's WinHTTP, decrypted by the service and
// written into the fake task pane's browser. And WinHTTP's refusals.
#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

#include "api/api_client.h"
#include "api/http_exchange.h"
#include "base/local_files.h"
#include "base/text.h"
#include "base/wchar_win32.h"
#include "com/guids.h"
#include "fake_browser.h"
#include "fake_outlook.h"
#include "login/session_store.h"
#include "outlook_window.h"
#include "scripted_user.h"
#include "wine_support.h"

namespace veilmark::wine_tests {
namespace {

constexpr char16_t kAlice[] = u"alice@example.com";
constexpr wchar_t kZoneMark[] = L"<!-- saved from url=(0014)about:internet -->";
// MAPI_E_OBJECT_DELETED: what Outlook raises for an item already deleted.
constexpr HRESULT kObjectDeleted = static_cast<HRESULT>(0x8004010Au);

std::wstring Environment(const wchar_t* name) {
  wchar_t value[4096] = {};
  const DWORD length = GetEnvironmentVariableW(name, value, 4096);
  if (length == 0 || length >= 4096) throw std::runtime_error("run under tests/wine/with-service");
  return value;
}

// A Linux path as Wine's Z: drive shows it.
std::u16string WinePath(const std::wstring& path) {
  std::u16string result = u"Z:";
  for (wchar_t c : path) result += c == L'/' ? u'\\' : static_cast<char16_t>(c);
  return result;
}

Delivered LoadDelivered(const wchar_t* variable = L"VEILMARK_TEST_MESSAGE") {
  const std::string message = LoadFile(WinePath(Environment(variable)));
  std::size_t end = message.find("\r\n\r\n");
  if (end == std::string::npos) end = message.find("\n\n");
  const std::size_t begin = message.find("-----BEGIN PGP MESSAGE-----");
  const std::string last = "-----END PGP MESSAGE-----";
  const std::size_t stop = message.find(last);
  if (end == std::string::npos || begin == std::string::npos || stop == std::string::npos) {
    throw std::runtime_error("not a PGP/MIME message");
  }
  Delivered delivered;
  delivered.headers.assign(message.begin(), message.begin() + static_cast<long>(end));
  delivered.payload = message.substr(begin, stop + last.size() - begin) + "\n";
  return delivered;
}

// A client of the service the environment names, as the DLL finds it.
ApiClient& Service() {
  static const std::unique_ptr<HttpExchange> exchange = MakePlatformHttpExchange();
  static ApiClient client(*exchange, EndpointFromEnvironment());
  return client;
}

class ReadRoad : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    AddinModule module;
    ASSERT_EQ(module.RegisterServer(), S_OK);
    classes_ = std::make_unique<UserClassesSeenByCom>();
    // bob's session, where the DLL's session store finds it.
    const auto reply = Service().Login(kBob, u"bob-pw");
    ASSERT_TRUE(reply->status().isOk()) << WideToUtf8(reply->status().describe());
    SessionStore().SetSession(kBob, reply->sessionId());
    const auto alice = Service().Login(kAlice, u"alice-pw");
    ASSERT_TRUE(alice->status().isOk()) << WideToUtf8(alice->status().describe());
    SessionStore().SetSession(kAlice, alice->sessionId());
  }
  static void TearDownTestSuite() { classes_.reset(); }
  static inline std::unique_ptr<UserClassesSeenByCom> classes_;

  void SetUp() override {
    ASSERT_TRUE(VM_TRY_HR(apartment_.status()));
    ASSERT_EQ(CoCreateInstance(CLSID_Connect, nullptr, CLSCTX_INPROC_SERVER, IID__IDTExtensibility2,
                               addin_.PutVoid()),
              S_OK);
    ASSERT_EQ(addin_.As(IID_ICustomTaskPaneConsumer, consumer_), S_OK);
  }

  void Start(FakeOutlookWindow& outlook) {
    ASSERT_EQ(addin_->OnConnection(Disp(outlook.application), ext_cm_Startup, nullptr, nullptr),
              S_OK);
    ASSERT_EQ(consumer_->CTPFactoryAvailable(Disp(outlook.factory)), S_OK);
    ASSERT_EQ(addin_->OnStartupComplete(nullptr), S_OK);
  }
  void Stop() {
    EXPECT_EQ(addin_->OnBeginShutdown(nullptr), S_OK);
    EXPECT_EQ(addin_->OnDisconnection(ext_dm_HostShutdown, nullptr), S_OK);
  }

  Apartment apartment_;
  ComPtr<_IDTExtensibility2> addin_;
  ComPtr<ICustomTaskPaneConsumer> consumer_;
};

TEST_F(ReadRoad, SelectedProtectedMessageIsDecryptedIntoTheTaskPane) {
  const Delivered delivered = LoadDelivered();
  FakeOutlookWindow outlook(ProtectedItem(delivered, u"00EE-wine-1"));
  Start(outlook);

  EXPECT_EQ(outlook.SelectionChange(), std::vector<HRESULT>{S_OK});
  const auto& panes = outlook.factory->Calls(L"CreateCTP");
  ASSERT_EQ(panes.size(), 1u);
  EXPECT_EQ(TextOf(panes[0].at(1).value()), L"Secure message contents");
  EXPECT_EQ(panes[0].at(2).value().pdispVal, Disp(outlook.explorer));
  const std::vector<std::wstring> writes = outlook.control.Writes();
  ASSERT_EQ(writes.size(), 1u);
  // One string: the zone mark, then the view with the service's clear text.
  EXPECT_EQ(writes[0].rfind(std::wstring(L"[") + kZoneMark, 0), 0u) << writes[0];
  EXPECT_NE(writes[0].find(L"Secret words for Wine"), std::wstring::npos) << writes[0];
  EXPECT_EQ(outlook.control.document->closes(), 1);
  EXPECT_EQ(outlook.pane->ValueOf(L"DockPosition").lVal, 3);
  EXPECT_EQ(outlook.pane->ValueOf(L"Visible").boolVal, VARIANT_TRUE);

  // Selected again: the old pane goes, the same view comes back.
  EXPECT_EQ(outlook.SelectionChange(), std::vector<HRESULT>{S_OK});
  EXPECT_EQ(outlook.pane->Calls(L"Delete").size(), 1u);
  ASSERT_EQ(outlook.control.Writes().size(), 2u);
  EXPECT_EQ(outlook.control.Writes()[1], writes[0]);
  Stop();
}

TEST_F(ReadRoad, TheDllsPaneGetsTheSanitizedView) {
  const Delivered delivered = LoadDelivered(L"VEILMARK_TEST_HOSTILE_MESSAGE");
  FakeOutlookWindow outlook(ProtectedItem(delivered, u"00EE-wine-4"));
  Start(outlook);
  EXPECT_EQ(outlook.SelectionChange(), std::vector<HRESULT>{S_OK});
  const std::vector<std::wstring> writes = outlook.control.Writes();
  ASSERT_EQ(writes.size(), 1u);
  const std::wstring& view = writes[0];
  EXPECT_NE(view.find(L"<p><b>kept</b><a>link</a><img alt=\"tracker\"></p>"), std::wstring::npos)
      << view;
  EXPECT_NE(view.find(L"Remote images in this message were blocked."), std::wstring::npos);
  for (const wchar_t* active :
       {L"<script", L"alert", L"javascript", L"OnClick", L"track.example", L"<iframe"}) {
    EXPECT_EQ(view.find(active), std::wstring::npos) << view;
  }
  Stop();
}

TEST_F(ReadRoad, AnUnprotectedMessageGetsNoPane) {
  Delivered plain = LoadDelivered();
  plain.headers = u"Content-Type: text/plain; charset=utf-8";
  FakeOutlookWindow outlook(ProtectedItem(plain, u"00EE-wine-2"));
  Start(outlook);
  EXPECT_EQ(outlook.SelectionChange(), std::vector<HRESULT>{S_OK});
  EXPECT_TRUE(outlook.factory->Calls(L"CreateCTP").empty());
  Stop();
}

// The files delivered to bob so far.
std::vector<std::wstring> BobsMail() {
  const std::u16string folder =
      WinePath(Environment(L"VEILMARK_TEST_MAILDIR") + L"/bob@example.com/new/");
  std::vector<std::wstring> names;
  WIN32_FIND_DATAW found{};
  const FindHandle search(FindFirstFileW(AsWin(folder + u"*"), &found));
  if (!search) return names;
  do {
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      names.push_back(std::wstring(AsWin(folder)) + found.cFileName);
    }
  } while (FindNextFileW(search.Get(), &found));
  return names;
}

// bob, resolved: Outlook gives a resolved recipient its address entry.
FakePtr BobAsRecipient() {
  FakePtr entry = FakeDispatch::Make();
  entry->Value(L"DisplayType", com::Variant(std::int32_t{0}));
  FakePtr smtp = FakeDispatch::Make();
  smtp->Method(L"GetProperty", Answer(com::Variant(std::u16string(kBob))));
  FakePtr recipient = FakeDispatch::Make();
  recipient->Value(L"Address", com::Variant(std::u16string(kBob)))
      .Method(L"Resolve", Answer(com::Variant(true)))
      .Property(L"AddressEntry", Disp(entry))
      .Value(L"DisplayType", com::Variant(std::int32_t{0}))
      .Value(L"Type", com::Variant(std::int32_t{1}))
      .Property(L"PropertyAccessor", Disp(smtp));
  return recipient;
}

// A message being composed by alice, with one attachment.
FakePtr ComposeItem(const FakePtr& recipient) {
  FakePtr attachment = FakeDispatch::Make();
  attachment->Value(L"Type", com::Variant(std::int32_t{1}))
      .Value(L"FileName", com::Variant(std::u16string(u"note.txt")))
      .Method(L"SaveAsFile", [](const std::vector<com::Variant>& args, com::Variant&) {
        const std::wstring path = TextOf(args.at(0).value());
        return SaveFile(std::u16string(path.begin(), path.end()), "attached from Wine\n") ? S_OK
                                                                                          : E_FAIL;
      });
  FakePtr account = FakeDispatch::Make();
  account->Value(L"SmtpAddress", com::Variant(std::u16string(kAlice)));
  FakePtr item = FakeDispatch::Make();
  item->Is(com::kMailItemIid)
      .TypeId(kMailItemType)
      .Value(L"Sent", com::Variant(false))
      .Property(L"SendUsingAccount", Disp(account))
      .Property(L"Recipients", Disp(Collection({recipient})))
      .Value(L"Subject", com::Variant(std::u16string(u"Sent from Wine")))
      .Value(L"HTMLBody", com::Variant(std::u16string(u"<p>Composed under Wine</p>")))
      .Property(L"Attachments", Disp(Collection({attachment})))
      .Method(L"Save", Nothing());
  // As in Outlook, a deleted item can no longer be closed.
  auto deleted = std::make_shared<bool>(false);
  item->Method(L"Delete",
               [deleted](const std::vector<com::Variant>&, com::Variant&) {
                 *deleted = true;
                 return S_OK;
               })
      .Method(L"Close", [deleted](const std::vector<com::Variant>&, com::Variant&) {
        return *deleted ? kObjectDeleted : S_OK;
      });
  return item;
}

TEST_F(ReadRoad, SendSecureFromAComposeWindowDeliversTheMessage) {
  FakeOutlookWindow outlook(FakeDispatch::Make());
  Start(outlook);
  FakePtr item = ComposeItem(BobAsRecipient());
  FakePtr inspector = FakeDispatch::Make();
  inspector->Is(com::kInspectorIid).Property(L"CurrentItem", Disp(item));
  FakePtr control = FakeDispatch::Make();
  control->Is(com::kRibbonControlIid).Property(L"Context", Disp(inspector));
  const std::size_t before = BobsMail().size();

  ComPtr<IDispatch> callback;
  ASSERT_EQ(addin_.As(IID_IRibbonCallback, callback), S_OK);
  com::Variant argument(Disp(control));
  DISPPARAMS params{argument.get(), nullptr, 1, 0};
  // The send succeeded; closing the deleted draft's window did not, and
  // that is the command's result (raised by the type library's dispatcher),
  // with no message to the user.
  com::ExceptionInfo exception;
  EXPECT_EQ(callback->Invoke(com::kSecureSendClickDispId, IID_NULL, LOCALE_USER_DEFAULT,
                             DISPATCH_METHOD, &params, nullptr, exception.Put(), nullptr),
            DISP_E_EXCEPTION);
  EXPECT_EQ(exception.value().scode, kObjectDeleted);

  // Sent: the window asked to close without saving, the draft kept for the
  // upload removed, and the service delivered a protected message to bob.
  ASSERT_EQ(item->Calls(L"Close").size(), 1u);
  EXPECT_EQ(item->Calls(L"Close")[0].at(0).value().lVal, 1);
  EXPECT_EQ(item->Calls(L"Save").size(), 1u);
  EXPECT_EQ(item->Calls(L"Delete").size(), 1u);
  const std::vector<std::wstring> mail = BobsMail();
  ASSERT_EQ(mail.size(), before + 1);
  std::string delivered;
  for (const std::wstring& name : mail) {
    const std::string text = LoadFile(std::u16string(name.begin(), name.end()));
    if (text.find("Sent from Wine") != std::string::npos) delivered = text;
  }
  EXPECT_NE(delivered.find("multipart/encrypted"), std::string::npos) << delivered;
  EXPECT_EQ(delivered.find("Composed under Wine"), std::string::npos);  // not in clear
  Stop();
}

// Adds a child window's text to the std::wstring `texts` points at. A named
// CALLBACK: on i686 a lambda would not have the calling convention.
BOOL CALLBACK AppendChildText(HWND child, LPARAM texts) {
  *reinterpret_cast<std::wstring*>(texts) += WindowText(child) + L"|";
  return TRUE;
}

// A list typed by name that does not resolve has no address entry; its own
// display type still stops the command before anything is sent.
TEST_F(ReadRoad, SendSecureToAnUnresolvedListIsRefused) {
  FakeOutlookWindow outlook(FakeDispatch::Make());
  Start(outlook);
  FakePtr list = FakeDispatch::Make();
  list->Value(L"Address", com::Variant(std::u16string(u"Wine team")))
      .Method(L"Resolve", Answer(com::Variant(false)))
      .EmptyProperty(L"AddressEntry")
      .Value(L"DisplayType", com::Variant(std::int32_t{1}))
      .Value(L"Type", com::Variant(std::int32_t{1}))
      .Property(L"PropertyAccessor", Disp(FakeDispatch::Make()));
  FakePtr item = ComposeItem(list);
  FakePtr inspector = FakeDispatch::Make();
  inspector->Is(com::kInspectorIid).Property(L"CurrentItem", Disp(item));
  FakePtr control = FakeDispatch::Make();
  control->Is(com::kRibbonControlIid).Property(L"Context", Disp(inspector));
  const std::size_t before = BobsMail().size();

  std::wstring shown;
  ScriptedUser user({In(L"Veilmark AddIn", Click(IDOK))});
  user.look = [&shown](HWND box) {
    EnumChildWindows(box, AppendChildText, reinterpret_cast<LPARAM>(&shown));
  };
  ComPtr<IDispatch> callback;
  ASSERT_EQ(addin_.As(IID_IRibbonCallback, callback), S_OK);
  com::Variant argument(Disp(control));
  DISPPARAMS params{argument.get(), nullptr, 1, 0};
  ASSERT_EQ(callback->Invoke(com::kSecureSendClickDispId, IID_NULL, LOCALE_USER_DEFAULT,
                             DISPATCH_METHOD, &params, nullptr, nullptr, nullptr),
            S_OK);
  EXPECT_EQ(user.done(), 1u);
  EXPECT_NE(shown.find(L"Only regular user addresses are supported"), std::wstring::npos) << shown;
  EXPECT_NE(shown.find(L"Additional info: Wine team"), std::wstring::npos) << shown;
  EXPECT_EQ(list->Reads(L"AddressEntry"), 0);
  EXPECT_TRUE(item->Calls(L"Close").empty());
  EXPECT_TRUE(item->Calls(L"Save").empty());
  EXPECT_EQ(BobsMail().size(), before);
  Stop();
}

TEST_F(ReadRoad, WithoutASessionTheDllsDialogsLogIn) {
  DeleteLocalFile(SessionStore().SessionFilePath(kBob));
  const Delivered delivered = LoadDelivered();
  FakeOutlookWindow outlook(ProtectedItem(delivered, u"00EE-wine-3"));
  Start(outlook);
  // bob answers the DLL's own dialogs: "Other", then his service account.
  const wchar_t* login = L"Login using Veilmark Account";
  ScriptedUser bob({In(L"Login Or Sign Up", Click(207)), In(login, Type(204, L"bob@example.com")),
                    In(login, Type(205, L"bob-pw")), In(login, Click(1))});
  EXPECT_EQ(outlook.SelectionChange(), std::vector<HRESULT>{S_OK});
  EXPECT_EQ(bob.done(), 4u);
  const std::vector<std::wstring> writes = outlook.control.Writes();
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_NE(writes[0].find(L"Secret words for Wine"), std::wstring::npos) << writes[0];
  // The new session was kept for the next start.
  EXPECT_FALSE(SessionStore().GetSession(kBob).empty());
  Stop();
}

// Outlook shuts down while the login dialog of a selection is open (the
// dialog's message loop runs inside the selection event) and drops its last
// references to the add-in. bob logs in all the same: the event finishes
// without the objects it runs in, and leaves nothing shown or hooked.
TEST_F(ReadRoad, ShutdownWhileTheLoginDialogIsOpen) {
  DeleteLocalFile(SessionStore().SessionFilePath(kBob));
  const Delivered delivered = LoadDelivered();
  FakeOutlookWindow outlook(ProtectedItem(delivered, u"00EE-wine-4"));
  Start(outlook);
  int shutdowns = 0;
  const Step shutdown = [this, &shutdowns](HWND) {
    ++shutdowns;
    EXPECT_EQ(addin_->OnBeginShutdown(nullptr), S_OK);
    EXPECT_EQ(addin_->OnDisconnection(ext_dm_HostShutdown, nullptr), S_OK);
    consumer_.Reset();
    addin_.Reset();
    return true;
  };
  const wchar_t* login = L"Login using Veilmark Account";
  ScriptedUser bob({In(L"Login Or Sign Up", shutdown), In(L"Login Or Sign Up", Click(207)),
                    In(login, Type(204, L"bob@example.com")), In(login, Type(205, L"bob-pw")),
                    In(login, Click(1))});
  EXPECT_EQ(outlook.SelectionChange(), std::vector<HRESULT>{S_OK});
  EXPECT_EQ(bob.done(), 5u);
  EXPECT_EQ(shutdowns, 1);
  EXPECT_EQ(PointOf(*outlook.explorer, com::kExplorerEventsIid).live(), 0);
  EXPECT_EQ(PointOf(*outlook.application, com::kApplicationEventsIid).live(), 0);
  // The pane made after the login went with the wrapper.
  EXPECT_EQ(outlook.pane->Calls(L"Delete").size(), outlook.factory->Calls(L"CreateCTP").size());
  EXPECT_FALSE(SessionStore().GetSession(kBob).empty());
  // Late events reach nobody.
  EXPECT_TRUE(outlook.SelectionChange().empty());
}

TEST(WinHttpTls, TheTrustedServiceAnswers) {
  // A wrong password is refused by the service: the exchange itself worked.
  const auto reply = Service().Login(kBob, u"not-the-password");
  EXPECT_FALSE(reply->status().isOk());
  EXPECT_NE(reply->status().code(), "CLIENT_ERROR") << WideToUtf8(reply->status().describe());
  EXPECT_NE(reply->status().code(), "PARSE_ERROR");
}

TEST(WinHttpTls, AnUntrustedCertificateIsAFailureBeforeAnyRequest) {
  ApiEndpoint endpoint;
  endpoint.host = u"localhost";
  endpoint.port = static_cast<std::uint16_t>(std::stoi(Environment(L"VEILMARK_UNTRUSTED_PORT")));
  HttpPost post{u"/api/login", u"Content-Type: application/x-www-form-urlencoded\r\n", "json=true"};
  const ExchangeOutcome outcome = MakePlatformHttpExchange()->Post(endpoint, post);
  EXPECT_FALSE(outcome.ok);
  // The handshake failed, so nothing was sent: ERROR_WINHTTP_SECURE_FAILURE
  // on Windows, ERROR_WINHTTP_SECURE_CHANNEL_ERROR under Wine.
  const std::string prefix = exchange_messages::kSend;
  EXPECT_TRUE(outcome.error == prefix + "12175" || outcome.error == prefix + "12157")
      << outcome.error;

  const auto exchange = MakePlatformHttpExchange();
  const auto reply = ApiClient(*exchange, endpoint).Login(kBob, u"bob-pw");
  EXPECT_EQ(reply->status().code(), "CLIENT_ERROR");
}

}  // namespace
}  // namespace veilmark::wine_tests
