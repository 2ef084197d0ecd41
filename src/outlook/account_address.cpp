#include "outlook/account_address.h"

#include <memory>

#include "base/text.h"
#include "ui/error_box.h"

namespace veilmark {

namespace {

// `failure` ends up naming the message of the step that failed.
HRESULT ReadCurrentUserSmtpAddress(outlook::MailItem& item, std::u16string& address,
                                   const char16_t*& failure) {
  failure = u"Unable to retrieve account session";
  std::shared_ptr<outlook::NameSpace> session;
  VM_CHECK_HR(item.GetSession(session));

  failure = u"Unable to retrieve current user";
  std::shared_ptr<outlook::Recipient> user;
  VM_CHECK_HR(session->GetCurrentUser(user));

  failure = u"Unable to retrieve current user property accessor";
  std::shared_ptr<outlook::PropertyAccessor> accessor;
  VM_CHECK_HR(user->GetPropertyAccessor(accessor));

  failure = u"Unable to retrieve current user mail address";
  VM_CHECK_HR(accessor->GetProperty(outlook::kSmtpAddressProperty, address));
  return S_OK;
}

HRESULT ReadReceivedByAddress(outlook::MailItem& item, std::u16string& address) {
  std::shared_ptr<outlook::PropertyAccessor> accessor;
  VM_CHECK_HR(item.GetPropertyAccessor(accessor));
  VM_CHECK_HR(accessor->GetProperty(outlook::kReceivedByAddressProperty, address));
  return S_OK;
}

}  // namespace

std::u16string GetCurrentUserSmtpAddress(outlook::MailItem& item, Ui& ui) {
  std::u16string address;
  const char16_t* failure = nullptr;
  if (!VM_TRY_HR(ReadCurrentUserSmtpAddress(item, address, failure))) {
    ShowError(ui, failure, 0);
    return {};
  }
  return address;
}

std::u16string GetAccountAddress(outlook::MailItem& item, Ui& ui) {
  std::u16string address;
  bool sent = false;
  if (VM_LOG_HR(item.GetSent(sent)) && sent) {
    if (!VM_TRY_HR(ReadReceivedByAddress(item, address))) address.clear();
    // A directory-style (X.500) address is no use to the service.
    if (address.find(u'/') != std::u16string::npos) address = GetCurrentUserSmtpAddress(item, ui);
  } else {
    std::shared_ptr<outlook::Account> account;
    if (VM_LOG_HR(item.GetSendUsingAccount(account)) && account) {
      // The chosen account wins even when its address cannot be read.
      if (!VM_LOG_HR(account->GetSmtpAddress(address))) address.clear();
    } else {
      address = GetCurrentUserSmtpAddress(item, ui);
    }
  }
  LowerAscii(address);
  return address;
}

}  // namespace veilmark
