#include "send/secure_send.h"

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "api/api_client.h"
#include "base/local_files.h"
#include "base/protocol_exception.h"
#include "base/scratch_file.h"
#include "base/text.h"
#include "login/session_call.h"
#include "outlook/account_address.h"
#include "ui/error_box.h"

namespace veilmark {
namespace {

constexpr char16_t kNotARegularUser[] = u"Only regular user addresses are supported";
constexpr char16_t kNoRecipients[] = u"Please specify recipients";
constexpr char16_t kNoSubject[] = u"Please specify a subject for the email";
constexpr char16_t kUploadFailed[] = u"Unable to add attachment to mail";
constexpr char16_t kSendFailed[] = u"Unable to send encrypted message";
constexpr char16_t kSendingNotice[] = u"Sending the message securely\u2026";

// The mail client's typographic punctuation, as plain ASCII the service's
// recipients read everywhere. One character for one: an ellipsis becomes a
// single full stop.
void NormaliseBody(std::u16string& body) {
  for (char16_t& c : body) {
    switch (c) {
      case u'\u2019':
        c = u'\'';
        break;
      case u'\u2026':
        c = u'.';
        break;
      case u'\u201C':
      case u'\u201D':
        c = u'"';
        break;
      default:
        break;
    }
  }
}

void DropTrailingComma(std::u16string& list) {
  if (!list.empty() && list.back() == u',') list.pop_back();
}

std::string JoinIds(const std::vector<std::string>& ids) {
  std::string joined;
  for (const std::string& id : ids) {
    if (!joined.empty()) joined += ',';
    joined += id;
  }
  return joined;
}

class SecureSend {
 public:
  explicit SecureSend(Services& services) : services_(services) {}

  HRESULT Run(outlook::Object& argument) {
    HRESULT hr = FindMailItem(argument);
    if (Ends(hr)) return hr;
    hr = ReadRecipients();
    if (Ends(hr)) return hr;
    hr = ReadSubjectAndBody();
    if (Ends(hr)) return hr;

    account_ = GetAccountAddress(*item_, services_.ui);
    if (EnsureSession(account_, services_).empty()) return last_;  // the user gave up

    hr = UploadAttachments();
    if (Ends(hr)) return hr;
    return Send();
  }

 private:
  // Remembers a successful host call's code: the result of a command that
  // runs to its end.
  HRESULT Track(HRESULT hr) {
    if (VM_TRY_HR(hr)) last_ = hr;
    return hr;
  }
  HRESULT Finish(HRESULT hr) {
    finished_ = true;
    return hr;
  }
  bool Ends(HRESULT hr) const { return !VM_TRY_HR(hr) || finished_; }

  HRESULT FindMailItem(outlook::Object& argument) {
    std::shared_ptr<outlook::RibbonControl> control;
    VM_CHECK_HR(Track(argument.AsRibbonControl(control)));
    std::shared_ptr<outlook::Object> context;
    VM_CHECK_HR(Track(control->GetContext(context)));
    std::shared_ptr<outlook::Inspector> inspector;
    VM_CHECK_HR(Track(context->AsInspector(inspector)));
    std::shared_ptr<outlook::Object> current;
    VM_CHECK_HR(Track(inspector->GetCurrentItem(current)));
    VM_CHECK_HR(Track(current->AsMailItem(item_)));
    VM_CHECK_HR(Track(item_->GetRecipients(recipients_)));
    return S_OK;
  }

  HRESULT ReadRecipients() {
    std::int32_t count = 0;
    if (!VM_LOG_HR(Track(recipients_->GetCount(count)))) count = 0;
    for (std::int32_t i = 1; i <= count; ++i) {
      std::shared_ptr<outlook::Recipient> recipient;
      VM_CHECK_HR(Track(recipients_->GetItem(i, recipient)));
      // An entry the address book does not know may still carry a usable address.
      bool resolved = false;
      VM_LOG_HR(Track(recipient->Resolve(resolved)));
      std::u16string address;
      VM_CHECK_HR(Track(recipient->GetAddress(address)));

      std::int32_t displayType = outlook::kDisplayTypeUser;
      if (VM_LOG_HR(Track(recipient->GetDisplayType(displayType))) &&
          displayType != outlook::kDisplayTypeUser &&
          displayType != outlook::kDisplayTypeRemoteUser) {
        // The service cannot expand lists, so their members would never get the mail.
        ShowError(services_.ui, kNotARegularUser, displayType, address);
        return Finish(S_FALSE);
      }

      std::shared_ptr<outlook::PropertyAccessor> accessor;
      if (VM_LOG_HR(Track(recipient->GetPropertyAccessor(accessor)))) {
        std::u16string smtp;
        if (VM_LOG_HR(Track(accessor->GetProperty(outlook::kSmtpAddressProperty, smtp)))) {
          address = std::move(smtp);
        }
      }

      std::int32_t type = 0;
      VM_CHECK_HR(Track(recipient->GetType(type)));
      switch (type) {
        case outlook::kRecipientTo:
          to_ += address + u',';
          break;
        case outlook::kRecipientCc:
          cc_ += address + u',';
          break;
        case outlook::kRecipientBcc:
          bcc_ += address + u',';
          break;
        default:
          break;  // the originator and other kinds receive nothing
      }
    }
    if (to_.empty() && cc_.empty() && bcc_.empty()) {
      ShowError(services_.ui, kNoRecipients);
      return Finish(S_FALSE);
    }
    DropTrailingComma(to_);
    DropTrailingComma(cc_);
    DropTrailingComma(bcc_);
    return S_OK;
  }

  HRESULT ReadSubjectAndBody() {
    VM_CHECK_HR(Track(item_->GetSubject(subject_)));
    if (subject_.empty()) {
      ShowError(services_.ui, kNoSubject);
      return Finish(S_FALSE);
    }
    // Normalised on the send's worker: a pass over a large body is ours to
    // keep off the UI thread.
    VM_CHECK_HR(Track(item_->GetHTMLBody(body_)));
    return S_OK;
  }

  HRESULT UploadAttachments() {
    std::shared_ptr<outlook::Attachments> attachments;
    VM_CHECK_HR(Track(item_->GetAttachments(attachments)));
    std::int32_t count = 0;
    if (!VM_LOG_HR(Track(attachments->GetCount(count))) || count < 1) return S_OK;

    // The host writes out the attachments of a saved item only. The draft
    // stays until the service has the message, so nothing the user wrote is
    // lost when a later step fails.
    VM_LOG_HR(Track(item_->Save()));
    draftSaved_ = true;
    for (std::int32_t j = 1; j <= count; ++j) {
      const HRESULT hr = UploadAttachment(*attachments, j);
      if (Ends(hr)) return hr;
    }
    return S_OK;
  }

  HRESULT UploadAttachment(outlook::Attachments& attachments, std::int32_t index) {
    std::shared_ptr<outlook::Attachment> attachment;
    VM_CHECK_HR(Track(attachments.GetItem(index, attachment)));
    // No room for a copy throws: nothing is sent, the draft stays, and the
    // user is told why (OnSecureSendClick shows the message).
    ScratchFile scratch(MakeScratchFile());

    std::int32_t type = 0;
    VM_CHECK_HR(Track(attachment->GetType(type)));
    VM_CHECK_HR(Track(attachment->SaveAsFile(scratch.path())));
    // Outlook's SaveAsFile stays here; the read back goes to a worker.
    std::string data;
    switch (LoadFileWaiting(services_.waiter, {kSendingNotice, 0}, scratch.path(), data)) {
      case WaitEnd::kDone:
        break;
      case WaitEnd::kCancelled:
        return Cancelled();
      case WaitEnd::kAbandoned:
        return Finish(S_FALSE);
    }
    scratch.Remove();
    std::u16string fileName;
    VM_CHECK_HR(Track(attachment->GetFileName(fileName)));

    Reply reply = CallWithSession(account_, services_, {kSendingNotice, data.size()},
                                  [&](ApiClient& api, const std::string& session) {
                                    return api.UploadAttachment(session, data, fileName);
                                  });
    if (!reply) return Finish(S_FALSE);  // the user gave up the login
    if (IsCancelledReply(*reply)) return Cancelled();
    // An "OK" without a record leaves nothing to name in the message.
    if (!reply->status().isOk() || reply->uploadedAttachments().empty()) {
      ShowError(services_.ui, kUploadFailed, 0, fileName);
      return Finish(S_FALSE);
    }
    ids_.push_back(reply->uploadedAttachments().front().id);
    return S_OK;
  }

  // The draft stays, saved or not, and the window stays open.
  HRESULT Cancelled() {
    ShowError(services_.ui, kSendFailed, 0, Utf8ToWide(kCallCancelled));
    return Finish(S_FALSE);
  }

  HRESULT Send() {
    const std::string attachmentIds = JoinIds(ids_);
    Reply reply = CallWithSession(
        account_, services_, {kSendingNotice, 0}, [&](ApiClient& api, const std::string& session) {
          NormaliseBody(body_);  // the same again after a login
          return api.EncryptSend(session, to_, cc_, bcc_, subject_, body_, attachmentIds);
        });
    if (!reply) return S_FALSE;  // the user gave up the login
    if (IsCancelledReply(*reply)) return Cancelled();
    if (!reply->status().isOk()) {
      // The window stays open so the user can try again.
      ShowError(services_.ui, kSendFailed);
      return last_;
    }
    reply.reset();
    if (draftSaved_) VM_LOG_HR(Track(item_->Delete()));
    VM_CHECK_HR(Track(item_->Close(outlook::kCloseDiscard)));
    return last_;
  }

  Services& services_;
  HRESULT last_ = S_OK;
  bool finished_ = false;

  std::shared_ptr<outlook::MailItem> item_;
  std::shared_ptr<outlook::Recipients> recipients_;
  std::u16string to_, cc_, bcc_;
  std::u16string subject_;
  std::u16string body_;
  std::u16string account_;
  bool draftSaved_ = false;
  std::vector<std::string> ids_;
};

}  // namespace

HRESULT OnSecureSendClick(const std::shared_ptr<outlook::Object>& ribbonControl,
                          Services& services) {
  if (!ribbonControl) return E_POINTER;
  try {
    return SecureSend(services).Run(*ribbonControl);
  } catch (const ProtocolException& e) {
    // The scratch file is gone by now; Outlook must never see an exception.
    ShowError(services.ui, e.message(), e.code());
    return S_FALSE;
  }
}

}  // namespace veilmark
