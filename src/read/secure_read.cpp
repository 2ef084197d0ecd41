#include "read/secure_read.h"

#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <utility>

#include "api/api_client.h"
#include "base/local_files.h"
#include "base/protocol_exception.h"
#include "base/scratch_file.h"
#include "login/session_call.h"
#include "outlook/account_address.h"
#include "read/decrypted_view.h"
#include "read/protected_header.h"
#include "read/task_pane.h"
#include "ui/error_box.h"

namespace veilmark {
namespace {

void Show(const std::u16string& view, const std::shared_ptr<outlook::Object>& window,
          outlook::TaskPaneFactory* paneFactory, std::shared_ptr<outlook::TaskPane>& paneSlot) {
  // The pane's own result is not the road's: a pane that fails shows nothing.
  if (paneFactory) ShowInTaskPane(view, window, *paneFactory, paneSlot);
}

HRESULT ShowFailure(const std::u16string& account, Services& services, const ServerReply& reply,
                    const std::function<bool()>& stillWanted) {
  if (stillWanted && !stillWanted()) return S_FALSE;
  ShowError(services.ui, u"Unable to decrypt message using account - " + account, 0,
            reply.status().describe());
  return S_FALSE;
}

HRESULT DecryptAndShowOrThrow(outlook::MailItem& item,
                              const std::shared_ptr<outlook::Object>& window, Services& services,
                              CacheManager& cache, outlook::TaskPaneFactory* paneFactory,
                              std::shared_ptr<outlook::TaskPane>& paneSlot,
                              const std::function<bool()>& stillWanted) {
  const std::u16string account = GetAccountAddress(item, services.ui);

  std::u16string entryId;
  if (VM_TRY_HR(item.GetEntryID(entryId))) {
    const auto cached = cache.Find(entryId);
    if (cached && !cached->empty()) {
      Show(*cached, window, paneFactory, paneSlot);
      return S_OK;
    }
  }

  std::shared_ptr<outlook::Attachments> attachments;
  VM_CHECK_HR(item.GetAttachments(attachments));
  std::int32_t count = 0;
  if (!VM_TRY_HR(attachments->GetCount(count)) || count <= 1) return S_OK;
  // The PGP/MIME payload; attachment 1 is only the version part.
  std::shared_ptr<outlook::Attachment> payload;
  VM_CHECK_HR(attachments->GetItem(2, payload));

  // No scratch file throws; DecryptAndShow shows why. SaveAsFile is
  // Outlook's and stays here; the read back is ours and goes to a worker.
  ScratchFile scratch(MakeScratchFile());
  VM_CHECK_HR(payload->SaveAsFile(scratch.path()));
  std::error_code unknown;  // then the notice shows no size
  const auto cipherBytes =
      std::filesystem::file_size(std::filesystem::path(scratch.path()), unknown);

  // Only the request body is held, built once from the scratch file on the
  // worker (encoding a large payload would hold the UI thread): a repeat
  // after a login changes its session alone. The view is composed on the
  // worker too: a large message's sanitizing would hold the UI thread as
  // long as the exchange. The cache holds the view shown, not a copy: 25 MB
  // copied takes the UI thread tens of ms.
  std::optional<DecryptMimeBody> body;
  std::exception_ptr unreadable;  // rethrown here: the worker cannot show it
  std::shared_ptr<const std::u16string> view;
  const std::u16string authority = services.api.endpoint().authority();
  Reply reply = CallWithSession(
      account, services, {kDecryptingNotice, unknown ? 0 : static_cast<std::size_t>(cipherBytes)},
      [&](ApiClient& api, const std::string& session) -> Reply {
        if (!body) {
          try {
            body.emplace(scratch.path());
          } catch (const ProtocolException&) {
            unreadable = std::current_exception();
            return nullptr;
          }
          scratch.Remove();
        }
        Reply decrypted = api.DecryptMime(session, *body);
        if (decrypted->status().isOk()) {
          view = std::make_shared<const std::u16string>(ComposeDecryptedView(
              decrypted->clearText(), decrypted->decryptedAttachments(), authority));
        }
        return decrypted;
      });
  if (unreadable) std::rethrow_exception(unreadable);
  if (!reply) return S_OK;  // the user gave up the login: nothing to tell
  if (!reply->status().isOk()) return ShowFailure(account, services, *reply, stillWanted);
  reply.reset();
  if (VM_TRY_HR(item.GetEntryID(entryId))) cache.Store(entryId, view);
  if (stillWanted && !stillWanted()) return S_OK;
  Show(*view, window, paneFactory, paneSlot);
  return S_OK;
}

}  // namespace

bool IsProtectedMessage(const std::shared_ptr<outlook::Object>& item) {
  // Most items are simply not protected: failures here are answers, not faults.
  std::u16string typeId;
  if (!item || !VM_TRY_HR(item->GetTypeId(typeId)) || typeId != outlook::kMailItemIid) return false;
  std::shared_ptr<outlook::MailItem> mail;
  if (!VM_TRY_HR(item->AsMailItem(mail))) return false;
  bool sent = false;
  if (!VM_TRY_HR(mail->GetSent(sent)) || !sent) return false;
  std::shared_ptr<outlook::PropertyAccessor> accessor;
  if (!VM_TRY_HR(mail->GetPropertyAccessor(accessor))) return false;
  std::u16string headers;
  if (!VM_TRY_HR(accessor->GetProperty(outlook::kTransportHeadersProperty, headers))) return false;
  return DeclaresPgpMime(std::move(headers));
}

HRESULT DecryptAndShow(outlook::MailItem& item, const std::shared_ptr<outlook::Object>& window,
                       Services& services, CacheManager& cache,
                       outlook::TaskPaneFactory* paneFactory,
                       std::shared_ptr<outlook::TaskPane>& paneSlot,
                       const std::function<bool()>& stillWanted) {
  try {
    return DecryptAndShowOrThrow(item, window, services, cache, paneFactory, paneSlot, stillWanted);
  } catch (const ProtocolException& error) {
    ShowError(services.ui, error.message(), error.code());
    return S_OK;
  }
}

}  // namespace veilmark
