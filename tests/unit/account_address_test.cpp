#include "outlook/account_address.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "outlook/memory/memory_outlook.h"
#include "support/hr_assert_recorder.h"
#include "support/recording_ui.h"

namespace veilmark {
namespace {

using outlook::MemoryMailItem;
using outlook::MemoryOutlook;

constexpr char16_t kDirectoryAddress[] = u"/O=CORP/OU=EXCHANGE/CN=RECIPIENTS/CN=ALICE";

class AccountAddressTest : public ::testing::Test {
 protected:
  void SetCurrentUser(const std::u16string& smtp) {
    host.session->currentUser->SetSmtpAddress(smtp);
  }
  void SetReceivedBy(const std::u16string& address) {
    item->propertyAccessor->properties[outlook::kReceivedByAddressProperty] = address;
  }
  void Received(const std::u16string& receivedBy) {
    item->sent = true;
    SetReceivedBy(receivedBy);
  }
  void SendingAccount(const std::u16string& smtp) {
    item->sendUsingAccount = std::make_shared<outlook::MemoryAccount>();
    item->sendUsingAccount->smtpAddress = smtp;
  }
  int CurrentUserLookups() const { return host.session->Calls("GetCurrentUser"); }

  testing::RecordingUi ui;
  testing::HrAssertRecorder asserts;
  MemoryOutlook host;
  std::shared_ptr<MemoryMailItem> item = host.NewMailItem();
};

// --- messages that were sent or received -------------------------------------

TEST_F(AccountAddressTest, ReceivedByAddressLowerCased) {
  Received(u"Alice.Smith@Example.COM");
  SendingAccount(u"other@example.com");
  SetCurrentUser(u"me@example.com");

  EXPECT_EQ(GetAccountAddress(*item, ui), u"alice.smith@example.com");
  EXPECT_EQ(item->propertyAccessor->asked,
            std::vector<std::u16string>{outlook::kReceivedByAddressProperty});
  EXPECT_EQ(item->Calls("GetSendUsingAccount"), 0);
  EXPECT_EQ(CurrentUserLookups(), 0);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(AccountAddressTest, DirectoryStyleReceivedByGivesCurrentUserLowerCased) {
  Received(kDirectoryAddress);
  SetCurrentUser(u"Alice@Corp.Example");

  EXPECT_EQ(GetAccountAddress(*item, ui), u"alice@corp.example");
  EXPECT_EQ(host.session->currentUser->propertyAccessor->asked,
            std::vector<std::u16string>{outlook::kSmtpAddressProperty});
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(AccountAddressTest, SlashAnywhereCountsAsDirectoryStyle) {
  Received(u"alice@example.com/x");
  SetCurrentUser(u"me@example.com");
  EXPECT_EQ(GetAccountAddress(*item, ui), u"me@example.com");
}

TEST_F(AccountAddressTest, DirectoryStyleWithUnreadableCurrentUserIsEmptyAfterMessage) {
  Received(kDirectoryAddress);
  host.session->Fail("GetCurrentUser");

  EXPECT_EQ(GetAccountAddress(*item, ui), u"");
  EXPECT_EQ(ui.messages(), std::vector<std::u16string>{u"Unable to retrieve current user"});
}

TEST_F(AccountAddressTest, UnreadableReceivedByIsEmptyWithoutFallback) {
  const std::vector<std::pair<const char*, std::function<void(MemoryMailItem&)>>> cases = {
      {"accessor fails", [](MemoryMailItem& m) { m.Fail("GetPropertyAccessor"); }},
      {"property read fails", [](MemoryMailItem& m) { m.propertyAccessor->Fail("GetProperty"); }},
      {"property not set", [](MemoryMailItem& m) { m.propertyAccessor->properties.clear(); }},
  };
  for (const auto& [name, breakIt] : cases) {
    SCOPED_TRACE(name);
    MemoryOutlook fresh;
    auto received = fresh.NewMailItem();
    received->sent = true;
    received->propertyAccessor->properties[outlook::kReceivedByAddressProperty] = u"a@example.com";
    fresh.session->currentUser->SetSmtpAddress(u"me@example.com");
    received->sendUsingAccount = std::make_shared<outlook::MemoryAccount>();
    received->sendUsingAccount->smtpAddress = u"other@example.com";
    breakIt(*received);

    EXPECT_EQ(GetAccountAddress(*received, ui), u"");
    EXPECT_EQ(fresh.session->Calls("GetCurrentUser"), 0);
    EXPECT_EQ(received->Calls("GetSendUsingAccount"), 0);
  }
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(AccountAddressTest, EmptyReceivedByStaysEmpty) {
  Received(u"");
  SetCurrentUser(u"me@example.com");
  EXPECT_EQ(GetAccountAddress(*item, ui), u"");
  EXPECT_EQ(CurrentUserLookups(), 0);
}

TEST_F(AccountAddressTest, UnreadableSentFlagIsTreatedAsComposing) {
  Received(u"received@example.com");
  item->Fail("GetSent", DISP_E_MEMBERNOTFOUND);
  SendingAccount(u"Sender@Example.com");

  EXPECT_EQ(GetAccountAddress(*item, ui), u"sender@example.com");
  EXPECT_TRUE(item->propertyAccessor->asked.empty());
}

// --- messages being composed -------------------------------------------------

TEST_F(AccountAddressTest, ComposingUsesTheSendingAccount) {
  SendingAccount(u"Bob@Example.COM");
  SetCurrentUser(u"me@example.com");

  EXPECT_EQ(GetAccountAddress(*item, ui), u"bob@example.com");
  EXPECT_EQ(CurrentUserLookups(), 0);
  EXPECT_TRUE(item->propertyAccessor->asked.empty());
}

TEST_F(AccountAddressTest, ComposingWithoutAccountUsesTheCurrentUser) {
  SetCurrentUser(u"Me@Example.COM");
  EXPECT_EQ(GetAccountAddress(*item, ui), u"me@example.com");
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(AccountAddressTest, ComposingWithUnreadableAccountChoiceUsesTheCurrentUser) {
  SendingAccount(u"bob@example.com");
  item->Fail("GetSendUsingAccount");
  SetCurrentUser(u"me@example.com");
  EXPECT_EQ(GetAccountAddress(*item, ui), u"me@example.com");
}

TEST_F(AccountAddressTest, SendingAccountWithoutUsableAddressGivesEmptyWithoutFallback) {
  SetCurrentUser(u"me@example.com");

  SendingAccount(u"");
  EXPECT_EQ(GetAccountAddress(*item, ui), u"");

  SendingAccount(u"bob@example.com");
  item->sendUsingAccount->Fail("GetSmtpAddress");
  EXPECT_EQ(GetAccountAddress(*item, ui), u"");

  EXPECT_EQ(CurrentUserLookups(), 0);
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(AccountAddressTest, SendingAccountIsNotCheckedForDirectoryStyle) {
  SendingAccount(u"/O=Corp/CN=Bob");
  SetCurrentUser(u"me@example.com");
  EXPECT_EQ(GetAccountAddress(*item, ui), u"/o=corp/cn=bob");
}

TEST_F(AccountAddressTest, ComposingWithUnreadableCurrentUserIsEmptyAfterMessage) {
  host.session->currentUser->propertyAccessor->properties.clear();
  EXPECT_EQ(GetAccountAddress(*item, ui), u"");
  EXPECT_EQ(ui.messages(),
            std::vector<std::u16string>{u"Unable to retrieve current user mail address"});
}

TEST_F(AccountAddressTest, OnlyAsciiCapitalsAreLowered) {
  // Latin-1 and full-width capitals, and a Greek one, stay as they are.
  const std::u16string mixed = u"\u00C6\u00D8\u00C5.\u00DCNI\u0394@\uFF25\uFF38.COM";
  const std::u16string lowered = u"\u00C6\u00D8\u00C5.\u00DCni\u0394@\uFF25\uFF38.com";

  Received(mixed);
  EXPECT_EQ(GetAccountAddress(*item, ui), lowered);

  auto composed = host.NewMailItem("composed");
  SetCurrentUser(mixed);
  EXPECT_EQ(GetAccountAddress(*composed, ui), lowered);
}

// --- the current user's SMTP address -----------------------------------------

TEST_F(AccountAddressTest, CurrentUserAddressIsReturnedAsRead) {
  SetCurrentUser(u"Carol@Example.COM");
  EXPECT_EQ(GetCurrentUserSmtpAddress(*item, ui), u"Carol@Example.COM");
  EXPECT_TRUE(ui.boxes.empty());
}

TEST_F(AccountAddressTest, EachFailingStepShowsItsMessageAndStops) {
  // In the order of the lookup; `failing` is the call as the journal names it.
  struct Step {
    std::string failing;
    std::string operation;
    std::u16string message;
  };
  const std::vector<Step> steps = {
      {"item.GetSession", "GetSession", u"Unable to retrieve account session"},
      {"session.GetCurrentUser", "GetCurrentUser", u"Unable to retrieve current user"},
      {"currentUser.GetPropertyAccessor", "GetPropertyAccessor",
       u"Unable to retrieve current user property accessor"},
      {"currentUser.properties.GetProperty", "GetProperty",
       u"Unable to retrieve current user mail address"},
  };
  for (std::size_t i = 0; i < steps.size(); ++i) {
    SCOPED_TRACE(steps[i].failing);
    testing::RecordingUi boxes;
    MemoryOutlook fresh;
    auto composing = fresh.NewMailItem();
    fresh.session->currentUser->SetSmtpAddress(u"me@example.com");
    const HRESULT code = static_cast<HRESULT>(0x80070005u);
    outlook::CallRecorder* owners[] = {composing.get(), fresh.session.get(),
                                       fresh.session->currentUser.get(),
                                       fresh.session->currentUser->propertyAccessor.get()};
    owners[i]->Fail(steps[i].operation, code);

    EXPECT_EQ(GetCurrentUserSmtpAddress(*composing, boxes), u"");
    ASSERT_EQ(boxes.boxes.size(), 1u);
    EXPECT_EQ(boxes.boxes[0].caption, u"Veilmark AddIn");
    EXPECT_EQ(boxes.boxes[0].text, steps[i].message);  // no code, no additional info
    // Nothing is asked of the host after the failing step.
    ASSERT_FALSE(fresh.journal->empty());
    EXPECT_EQ(fresh.journal->back(), steps[i].failing);
  }
}

}  // namespace
}  // namespace veilmark
