// The host object model over fake Outlook objects reached late-bound: which
// members are read and called, with which arguments, and how their answers
// and failures come back.
#include "addin/com/host_adapters.h"

#include <gtest/gtest.h>

#include <chrono>
#include <map>

#include "addin/com/guids.h"
#include "fake_browser.h"
#include "fake_outlook.h"
#include "read/task_pane.h"
#include "wine_support.h"

namespace veilmark::wine_tests {
namespace {

using com::Variant;

constexpr HRESULT kNotFound = static_cast<HRESULT>(0x8004010Fu);

// A property accessor holding the given properties by schema name.
FakePtr Accessor(std::map<std::wstring, Variant> properties) {
  FakePtr accessor = FakeDispatch::Make();
  accessor->Method(L"GetProperty",
                   [properties](const std::vector<Variant>& args, Variant& result) -> HRESULT {
                     if (args.size() != 1) return DISP_E_BADPARAMCOUNT;
                     const auto found = properties.find(TextOf(args[0].value()));
                     if (found == properties.end()) return kNotFound;
                     return VariantCopy(result.get(), const_cast<VARIANT*>(&found->second.value()));
                   });
  return accessor;
}

// As Outlook's: the display type is the recipient's own, and its address
// entry (which repeats it) exists only once the recipient has resolved.
FakePtr Recipient(const std::wstring& address, std::int32_t type, std::int32_t displayType,
                  bool resolves) {
  FakePtr recipient = FakeDispatch::Make();
  if (resolves) {
    FakePtr entry = FakeDispatch::Make();
    entry->Value(L"DisplayType", Variant(displayType));
    recipient->Property(L"AddressEntry", Disp(entry));
  } else {
    recipient->EmptyProperty(L"AddressEntry");
  }
  recipient->Value(L"Address", Variant(std::u16string(address.begin(), address.end())))
      .Value(L"Type", Variant(type))
      .Value(L"DisplayType", Variant(displayType))
      .Method(L"Resolve", Answer(Variant(resolves)))
      .Property(L"PropertyAccessor",
                Disp(Accessor({{L"http://schemas.microsoft.com/mapi/proptag/0x39FE001E",
                                Variant(std::u16string(u"smtp@example.org"))}})));
  return recipient;
}

class HostAdapters : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(SUCCEEDED(apartment_.status())); }
  Apartment apartment_;
};

std::shared_ptr<host::MailItem> MailItemOf(const FakePtr& fake) {
  std::shared_ptr<host::MailItem> item;
  EXPECT_EQ(com::AdaptObject(Disp(fake))->AsMailItem(item), S_OK);
  return item;
}

TEST_F(HostAdapters, QueriesAnswerOnlyForTheirKind) {
  FakePtr plain = FakeDispatch::Make();
  const auto object = com::AdaptObject(Disp(plain));
  std::shared_ptr<host::MailItem> item;
  std::shared_ptr<host::RibbonControl> control;
  std::shared_ptr<host::WebBrowser> browser;
  std::shared_ptr<host::HtmlDocument> document;
  EXPECT_EQ(object->AsMailItem(item), E_NOINTERFACE);
  EXPECT_EQ(object->AsRibbonControl(control), E_NOINTERFACE);
  EXPECT_EQ(object->AsWebBrowser(browser), E_NOINTERFACE);
  EXPECT_EQ(object->AsHtmlDocument(document), E_NOINTERFACE);

  FakePtr mail = FakeDispatch::Make();
  mail->Is(kMailItemType.iid).TypeId(kMailItemType);
  std::u16string typeId;
  ASSERT_EQ(com::AdaptObject(Disp(mail))->GetTypeId(typeId), S_OK);
  EXPECT_EQ(typeId, u"{00063034-0000-0000-C000-000000000046}");
  EXPECT_EQ(typeId, host::kMailItemIid);
  EXPECT_EQ(com::AdaptObject(Disp(mail))->AsMailItem(item), S_OK);
  EXPECT_EQ(com::AdaptObject(Disp(mail))->AsWebBrowser(browser), E_NOINTERFACE);
  // Without type information the identity is unknown.
  EXPECT_EQ(object->GetTypeId(typeId), E_NOTIMPL);
}

TEST_F(HostAdapters, MailItemReadsItsTextAndFlags) {
  FakePtr fake = FakeDispatch::Make();
  fake->Is(com::kMailItemIid)
      .Value(L"Subject", Variant(std::u16string(u"Caf\u00e9 \U0001F600")))
      .Value(L"HTMLBody", Variant())  // an empty value reads as empty text
      .Value(L"EntryID", Variant(std::u16string(u"00AB")))
      .Value(L"Sent", Variant(true));
  const auto item = MailItemOf(fake);
  std::u16string text;
  ASSERT_EQ(item->GetSubject(text), S_OK);
  EXPECT_EQ(text, u"Caf\u00e9 \U0001F600");
  ASSERT_EQ(item->GetHTMLBody(text), S_OK);
  EXPECT_EQ(text, u"");
  ASSERT_EQ(item->GetEntryID(text), S_OK);
  EXPECT_EQ(text, u"00AB");
  bool sent = false;
  ASSERT_EQ(item->GetSent(sent), S_OK);
  EXPECT_TRUE(sent);

  fake->Fail(L"Subject", E_ACCESSDENIED);
  EXPECT_EQ(item->GetSubject(text), E_ACCESSDENIED);
  // A member the object lacks fails the call, not the process.
  std::shared_ptr<host::NameSpace> session;
  EXPECT_EQ(item->GetSession(session), DISP_E_UNKNOWNNAME);
}

TEST_F(HostAdapters, MailItemSavesDeletesAndClosesDiscarding) {
  FakePtr fake = FakeDispatch::Make();
  fake->Is(com::kMailItemIid)
      .Method(L"Save", Nothing())
      .Method(L"Delete", Nothing())
      .Method(L"Close", Nothing());
  const auto item = MailItemOf(fake);
  EXPECT_EQ(item->Save(), S_OK);
  EXPECT_EQ(item->Delete(), S_OK);
  EXPECT_EQ(item->Close(host::kCloseDiscard), S_OK);
  EXPECT_EQ(fake->Calls(L"Save").size(), 1u);
  EXPECT_TRUE(fake->Calls(L"Save")[0].empty());
  EXPECT_EQ(fake->Calls(L"Delete").size(), 1u);
  ASSERT_EQ(fake->Calls(L"Close").size(), 1u);
  ASSERT_EQ(fake->Calls(L"Close")[0].size(), 1u);
  EXPECT_EQ(fake->Calls(L"Close")[0][0].value().vt, VT_I4);
  EXPECT_EQ(fake->Calls(L"Close")[0][0].value().lVal, 1);

  fake->Fail(L"Save", E_FAIL);
  EXPECT_EQ(item->Save(), E_FAIL);
}

TEST_F(HostAdapters, AccountSessionAndPropertyAccessor) {
  FakePtr account = FakeDispatch::Make();
  account->Value(L"SmtpAddress", Variant(std::u16string(u"Bob@Example.org")));
  FakePtr user = Recipient(L"/o=org/cn=bob", host::kRecipientTo, 0, true);
  FakePtr session = FakeDispatch::Make();
  session->Property(L"CurrentUser", Disp(user));
  FakePtr fake = FakeDispatch::Make();
  fake->Is(com::kMailItemIid)
      .Property(L"SendUsingAccount", Disp(account))
      .Property(L"Session", Disp(session))
      .Property(L"PropertyAccessor",
                Disp(Accessor({{L"http://schemas.microsoft.com/mapi/proptag/0x007D001E",
                                Variant(std::u16string(u"Content-Type: multipart/encrypted"))},
                               {L"http://schemas.microsoft.com/mapi/proptag/0x0076001E",
                                Variant(std::u16string(u"bob@example.org"))},
                               {L"number", Variant(std::int32_t{7})}})));
  const auto item = MailItemOf(fake);

  std::shared_ptr<host::Account> sender;
  ASSERT_EQ(item->GetSendUsingAccount(sender), S_OK);
  ASSERT_TRUE(sender);
  std::u16string text;
  ASSERT_EQ(sender->GetSmtpAddress(text), S_OK);
  EXPECT_EQ(text, u"Bob@Example.org");

  std::shared_ptr<host::NameSpace> names;
  ASSERT_EQ(item->GetSession(names), S_OK);
  std::shared_ptr<host::Recipient> current;
  ASSERT_EQ(names->GetCurrentUser(current), S_OK);
  ASSERT_EQ(current->GetAddress(text), S_OK);
  EXPECT_EQ(text, u"/o=org/cn=bob");

  std::shared_ptr<host::PropertyAccessor> accessor;
  ASSERT_EQ(item->GetPropertyAccessor(accessor), S_OK);
  ASSERT_EQ(accessor->GetProperty(host::kTransportHeadersProperty, text), S_OK);
  EXPECT_EQ(text, u"Content-Type: multipart/encrypted");
  ASSERT_EQ(accessor->GetProperty(host::kReceivedByAddressProperty, text), S_OK);
  EXPECT_EQ(text, u"bob@example.org");
  // Not set, and not text: both fail.
  EXPECT_EQ(accessor->GetProperty(host::kSmtpAddressProperty, text), kNotFound);
  EXPECT_EQ(accessor->GetProperty(u"number", text), DISP_E_TYPEMISMATCH);

  // No account chosen: a null account, not a failure.
  FakePtr unsent = FakeDispatch::Make();
  unsent->Is(com::kMailItemIid).EmptyProperty(L"SendUsingAccount");
  ASSERT_EQ(MailItemOf(unsent)->GetSendUsingAccount(sender), S_OK);
  EXPECT_FALSE(sender);
}

TEST_F(HostAdapters, RecipientsByIndexWithTheirKinds) {
  FakePtr to = Recipient(L"ann@example.org", host::kRecipientTo, host::kDisplayTypeUser, true);
  FakePtr bcc = Recipient(L"/o=x/cn=list", host::kRecipientBcc, 1, false);
  FakePtr recipients = Collection({to, bcc});
  FakePtr fake = FakeDispatch::Make();
  fake->Is(com::kMailItemIid).Property(L"Recipients", Disp(recipients));
  std::shared_ptr<host::Recipients> list;
  ASSERT_EQ(MailItemOf(fake)->GetRecipients(list), S_OK);
  std::int32_t count = 0;
  ASSERT_EQ(list->GetCount(count), S_OK);
  EXPECT_EQ(count, 2);

  std::shared_ptr<host::Recipient> first, second;
  ASSERT_EQ(list->GetItem(1, first), S_OK);
  ASSERT_EQ(list->GetItem(2, second), S_OK);
  EXPECT_EQ(list->GetItem(3, second), E_INVALIDARG);
  ASSERT_EQ(list->GetItem(2, second), S_OK);
  std::u16string text;
  std::int32_t number = -1;
  bool resolved = false;
  ASSERT_EQ(first->GetAddress(text), S_OK);
  EXPECT_EQ(text, u"ann@example.org");
  ASSERT_EQ(first->Resolve(resolved), S_OK);
  EXPECT_TRUE(resolved);
  ASSERT_EQ(second->Resolve(resolved), S_OK);
  EXPECT_FALSE(resolved);
  ASSERT_EQ(first->GetType(number), S_OK);
  EXPECT_EQ(number, host::kRecipientTo);
  ASSERT_EQ(second->GetType(number), S_OK);
  EXPECT_EQ(number, host::kRecipientBcc);
  ASSERT_EQ(first->GetDisplayType(number), S_OK);
  EXPECT_EQ(number, host::kDisplayTypeUser);
  ASSERT_EQ(second->GetDisplayType(number), S_OK);
  EXPECT_EQ(number, 1);
  std::shared_ptr<host::PropertyAccessor> accessor;
  ASSERT_EQ(first->GetPropertyAccessor(accessor), S_OK);
  ASSERT_EQ(accessor->GetProperty(host::kSmtpAddressProperty, text), S_OK);
  EXPECT_EQ(text, u"smtp@example.org");

  // The unresolved list has no address entry, and is a list all the same.
  EXPECT_EQ(bcc->Reads(L"AddressEntry"), 0);

  // A recipient whose display type cannot be read gives the failure.
  FakePtr broken = Recipient(L"x@example.org", host::kRecipientTo, 0, true);
  broken->Fail(L"DisplayType", E_FAIL);
  FakePtr other = FakeDispatch::Make();
  other->Is(com::kMailItemIid).Property(L"Recipients", Disp(Collection({broken})));
  ASSERT_EQ(MailItemOf(other)->GetRecipients(list), S_OK);
  ASSERT_EQ(list->GetItem(1, first), S_OK);
  EXPECT_EQ(first->GetDisplayType(number), E_FAIL);
}

TEST_F(HostAdapters, AttachmentsSaveToTheGivenPath) {
  FakePtr attachment = FakeDispatch::Make();
  attachment->Value(L"Type", Variant(std::int32_t{1}))
      .Value(L"FileName", Variant(std::u16string(u"r\u00e9sum\u00e9.pdf")))
      .Method(L"SaveAsFile", Nothing());
  FakePtr fake = FakeDispatch::Make();
  fake->Is(com::kMailItemIid).Property(L"Attachments", Disp(Collection({attachment})));
  std::shared_ptr<host::Attachments> list;
  ASSERT_EQ(MailItemOf(fake)->GetAttachments(list), S_OK);
  std::int32_t number = 0;
  ASSERT_EQ(list->GetCount(number), S_OK);
  EXPECT_EQ(number, 1);
  std::shared_ptr<host::Attachment> first;
  ASSERT_EQ(list->GetItem(1, first), S_OK);
  ASSERT_EQ(first->GetType(number), S_OK);
  EXPECT_EQ(number, 1);
  std::u16string name;
  ASSERT_EQ(first->GetFileName(name), S_OK);
  EXPECT_EQ(name, u"r\u00e9sum\u00e9.pdf");
  ASSERT_EQ(first->SaveAsFile(u"C:\\users\\x\\vm1.tmp"), S_OK);
  ASSERT_EQ(attachment->Calls(L"SaveAsFile").size(), 1u);
  EXPECT_EQ(TextOf(attachment->Calls(L"SaveAsFile")[0].at(0).value()), L"C:\\users\\x\\vm1.tmp");
  attachment->Fail(L"SaveAsFile", STG_E_ACCESSDENIED);
  EXPECT_EQ(first->SaveAsFile(u"C:\\x"), STG_E_ACCESSDENIED);
}

TEST_F(HostAdapters, RibbonControlContextIsTheInspector) {
  FakePtr inspector = FakeDispatch::Make();
  inspector->Is(com::kInspectorIid);
  FakePtr control = FakeDispatch::Make();
  control->Is(com::kRibbonControlIid).Property(L"Context", Disp(inspector));
  std::shared_ptr<host::RibbonControl> ribbon;
  ASSERT_EQ(com::AdaptObject(Disp(control))->AsRibbonControl(ribbon), S_OK);
  std::shared_ptr<host::Object> context;
  ASSERT_EQ(ribbon->GetContext(context), S_OK);
  EXPECT_EQ(com::AdaptedDispatch(context.get()), Disp(inspector));
  std::shared_ptr<host::Inspector> window;
  EXPECT_EQ(context->AsInspector(window), S_OK);

  control->Fail(L"Context", E_UNEXPECTED);
  EXPECT_EQ(ribbon->GetContext(context), E_UNEXPECTED);
}

// The fakes' own contract, as Outlook's dispatchers answer: kept here so a
// fake cannot quietly become kinder than Outlook again.
TEST_F(HostAdapters, FakesRefuseWhatOutlookRefuses) {
  FakePtr fake = FakeDispatch::Make();
  fake->Value(L"Subject", Variant(std::u16string(u"s")))
      .Method(L"Save", Nothing())
      .EmptyProperty(L"SendUsingAccount");
  std::vector<Variant> none;
  // A method is no property, and a property no method.
  EXPECT_EQ(com::InvokeByName(Disp(fake), L"Save", DISPATCH_PROPERTYGET, none, nullptr),
            DISP_E_MEMBERNOTFOUND);
  EXPECT_EQ(com::InvokeByName(Disp(fake), L"Subject", DISPATCH_METHOD, none, nullptr),
            DISP_E_MEMBERNOTFOUND);
  // A put needs the DISPID_PROPERTYPUT named argument.
  DISPID id = DISPID_UNKNOWN;
  LPOLESTR name = const_cast<LPOLESTR>(L"Subject");
  ASSERT_EQ(Disp(fake)->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id), S_OK);
  Variant value(std::u16string(u"t"));
  DISPPARAMS unnamed{value.get(), nullptr, 1, 0};
  EXPECT_EQ(Disp(fake)->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYPUT, &unnamed,
                               nullptr, nullptr, nullptr),
            DISP_E_PARAMNOTFOUND);
  EXPECT_EQ(TextOf(fake->ValueOf(L"Subject")), L"s");
  // Nothing is a null object, not an empty VARIANT.
  EXPECT_EQ(fake->ValueOf(L"SendUsingAccount").vt, VT_DISPATCH);
  EXPECT_EQ(fake->ValueOf(L"SendUsingAccount").pdispVal, nullptr);
  // A member's failure is raised, its code in the EXCEPINFO.
  fake->Fail(L"Save", E_ACCESSDENIED);
  LPOLESTR save = const_cast<LPOLESTR>(L"Save");
  ASSERT_EQ(Disp(fake)->GetIDsOfNames(IID_NULL, &save, 1, LOCALE_USER_DEFAULT, &id), S_OK);
  DISPPARAMS empty{};
  struct Exception {
    EXCEPINFO info{};
    ~Exception() {
      SysFreeString(info.bstrSource);
      SysFreeString(info.bstrDescription);
      SysFreeString(info.bstrHelpFile);
    }
  } exception;
  EXPECT_EQ(Disp(fake)->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &empty, nullptr,
                               &exception.info, nullptr),
            DISP_E_EXCEPTION);
  EXPECT_EQ(exception.info.scode, E_ACCESSDENIED);
  // Item takes any index that reads as a number.
  FakePtr item = FakeDispatch::Make();
  std::vector<Variant> index;
  index.emplace_back(std::u16string(u"1"));
  Variant found;
  EXPECT_EQ(com::CallMethod(Disp(Collection({item})), L"Item", std::move(index), &found), S_OK);
  EXPECT_EQ(found.value().pdispVal, Disp(item));
}

TEST_F(HostAdapters, NavigateWaitsForTheLoadPumpingMessages) {
  FakeBrowser fake;
  std::shared_ptr<host::WebBrowser> browser;
  ASSERT_EQ(com::AdaptObject(Disp(fake.browser))->AsWebBrowser(browser), S_OK);
  std::shared_ptr<host::Object> document;
  ASSERT_EQ(browser->GetDocument(document), S_OK);
  EXPECT_FALSE(document);  // nothing loaded yet: Nothing
  ASSERT_EQ(browser->Navigate(u"about:blank"), S_OK);
  ASSERT_EQ(fake.browser->Calls(L"Navigate").size(), 1u);
  EXPECT_EQ(TextOf(fake.browser->Calls(L"Navigate")[0].at(0).value()), L"about:blank");
  EXPECT_EQ(fake.browser->ValueOf(L"ReadyState").lVal, READYSTATE_COMPLETE);
  ASSERT_EQ(browser->GetDocument(document), S_OK);
  EXPECT_TRUE(document);
}

TEST_F(HostAdapters, NavigateGivesUpAfterFiveSeconds) {
  FakeBrowser fake;
  fake.NeverComplete();
  std::shared_ptr<host::WebBrowser> browser;
  ASSERT_EQ(com::AdaptObject(Disp(fake.browser))->AsWebBrowser(browser), S_OK);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(browser->Navigate(u"about:blank"), HRESULT_FROM_WIN32(ERROR_TIMEOUT));
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(4900));
  EXPECT_LT(took, std::chrono::seconds(8));
}

TEST_F(HostAdapters, DocumentIsWrittenThroughItsInterfaceAsOneElementArrays) {
  FakeBrowser fake;
  std::shared_ptr<host::HtmlDocument> html;
  ASSERT_EQ(com::AdaptObject(fake.document.Get())->AsHtmlDocument(html), S_OK);
  ASSERT_EQ(html->Write(u"<p>one</p>"), S_OK);
  ASSERT_EQ(html->Write(u"<p>two</p>"), S_OK);
  ASSERT_EQ(html->Close(), S_OK);
  // The zone mark leads the page once; each write is one string, not an
  // array wrapped in the dispatcher's own.
  EXPECT_EQ(fake.Writes(),
            (std::vector<std::wstring>{
                L"[<!-- saved from url=(0014)about:internet -->\r\n<p>one</p>]", L"[<p>two</p>]"}));
  EXPECT_EQ(fake.document->closes(), 1);

  fake.document->FailWrites(E_ACCESSDENIED);
  EXPECT_EQ(html->Write(u"<p>z</p>"), E_ACCESSDENIED);
}

// The fake's own contract, as MSHTML's type information declares write:
// [vararg] through IDispatch, the array itself through the interface.
TEST_F(HostAdapters, FakeDocumentWriteIsVarargThroughIDispatch) {
  FakeBrowser fake;
  IDispatch* document = fake.document.Get();
  std::vector<Variant> two;
  two.emplace_back(std::u16string(u"a"));
  two.emplace_back(std::u16string(u"b"));
  ASSERT_EQ(com::CallMethod(document, L"write", std::move(two)), S_OK);
  com::SafeArray array(SafeArrayCreateVector(VT_VARIANT, 0, 1));
  LONG index = 0;
  Variant element(std::u16string(u"c"));
  ASSERT_EQ(SafeArrayPutElement(array.Get(), &index, element.get()), S_OK);
  std::vector<Variant> wrapped;
  wrapped.emplace_back(std::move(array));
  ASSERT_EQ(com::CallMethod(document, L"write", std::move(wrapped)), S_OK);
  EXPECT_EQ(fake.Writes(), (std::vector<std::wstring>{L"[a][b]", L""}));
  std::vector<Variant> none;
  EXPECT_EQ(com::InvokeByName(document, L"write", DISPATCH_PROPERTYGET, none, nullptr),
            DISP_E_MEMBERNOTFOUND);
}

TEST_F(HostAdapters, TaskPaneShowsTheViewInTheHostedBrowser) {
  FakeBrowser control;
  FakePtr pane = FakeDispatch::Make();
  pane->Property(L"ContentControl", Disp(control.browser))
      .Value(L"DockPosition", Variant(std::int32_t{0}))
      .Value(L"Visible", Variant(false));
  FakePtr factory = FakeDispatch::Make();
  factory->Method(L"CreateCTP", Answer(Variant(Disp(pane))));
  FakePtr explorer = FakeDispatch::Make();
  explorer->Is(com::kExplorerIid);

  std::shared_ptr<host::TaskPane> slot;
  ASSERT_EQ(ShowInTaskPane(u"<p>view</p>", com::AdaptExplorer(Disp(explorer)),
                           *com::AdaptTaskPaneFactory(Disp(factory)), slot),
            S_OK);
  ASSERT_EQ(factory->Calls(L"CreateCTP").size(), 1u);
  const auto& args = factory->Calls(L"CreateCTP")[0];
  ASSERT_EQ(args.size(), 3u);
  EXPECT_EQ(TextOf(args[0].value()), L"{8856F961-340A-11D0-A96B-00C04FD705A2}");
  EXPECT_EQ(TextOf(args[1].value()), L"Secure message contents");
  ASSERT_EQ(args[2].value().vt, VT_DISPATCH);
  EXPECT_EQ(args[2].value().pdispVal, Disp(explorer));
  EXPECT_EQ(
      control.Writes(),
      std::vector<std::wstring>{L"[<!-- saved from url=(0014)about:internet -->\r\n<p>view</p>]"});
  EXPECT_EQ(control.document->closes(), 1);
  EXPECT_EQ(pane->ValueOf(L"DockPosition").lVal, host::kDockBottom);
  EXPECT_EQ(pane->ValueOf(L"Visible").boolVal, VARIANT_TRUE);
}

TEST_F(HostAdapters, TaskPaneStaysEmptyWhenTheLoadNeverEnds) {
  FakeBrowser control;
  control.NeverComplete();
  FakePtr pane = FakeDispatch::Make();
  pane->Property(L"ContentControl", Disp(control.browser))
      .Value(L"DockPosition", Variant(std::int32_t{0}))
      .Value(L"Visible", Variant(false));
  FakePtr factory = FakeDispatch::Make();
  factory->Method(L"CreateCTP", Answer(Variant(Disp(pane))));
  FakePtr explorer = FakeDispatch::Make();
  explorer->Is(com::kExplorerIid);

  std::shared_ptr<host::TaskPane> slot;
  EXPECT_EQ(ShowInTaskPane(u"<p>view</p>", com::AdaptExplorer(Disp(explorer)),
                           *com::AdaptTaskPaneFactory(Disp(factory)), slot),
            S_OK);
  EXPECT_TRUE(control.Writes().empty());
  EXPECT_EQ(pane->ValueOf(L"Visible").boolVal, VARIANT_TRUE);
}

}  // namespace
}  // namespace veilmark::wine_tests
