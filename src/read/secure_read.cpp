#include "read/secure_read.h"

#include <string>

#include "api/api_client.h"
#include "login/account_address.h"
#include "login/login_flow.h"
#include "read/decrypted_view.h"
#include "read/protected_header.h"
#include "read/task_pane.h"
#include "util/error_box.h"
#include "util/local_files.h"
#include "util/protocol_exception.h"
#include "util/scratch_file.h"

namespace veilmark {
namespace {

void Show(const std::u16string& view, const std::shared_ptr<host::Object>& window,
          host::TaskPaneFactory* paneFactory, std::shared_ptr<host::TaskPane>& paneSlot) {
  // The pane's own result is not the road's: a pane that fails shows nothing.
  if (paneFactory) ShowInTaskPane(view, window, *paneFactory, paneSlot);
}

std::int32_t DecryptAndShowOrThrow(host::MailItem& item,
                                   const std::shared_ptr<host::Object>& window, SessionStore& store,
                                   CacheManager& cache, host::TaskPaneFactory* paneFactory,
                                   std::shared_ptr<host::TaskPane>& paneSlot) {
  const std::u16string account = GetAccountAddress(item);

  std::u16string entryId;
  if (SUCCEEDED(item.GetEntryID(entryId))) {
    const std::u16string cached = cache.Lookup(entryId);
    if (!cached.empty()) {
      Show(cached, window, paneFactory, paneSlot);
      return 0;
    }
  }

  std::shared_ptr<host::Attachments> attachments;
  VM_CHECK_HR(item.GetAttachments(attachments));
  std::int32_t count = 0;
  if (FAILED(attachments->GetCount(count)) || count <= 1) return 0;
  // The PGP/MIME payload; attachment 1 is only the version part.
  std::shared_ptr<host::Attachment> payload;
  VM_CHECK_HR(attachments->GetItem(2, payload));

  // No scratch file throws; DecryptAndShow shows why.
  ScratchFile scratch(MakeScratchFile());
  VM_CHECK_HR(payload->SaveAsFile(scratch.path()));
  const std::string cipherText = LoadFile(scratch.path());
  scratch.Remove();

  if (!EnsureSession(account, store)) return 0;
  ApiClient client;
  std::unique_ptr<ServerReply> reply = client.decryptMime(store.GetSession(account), cipherText);
  if (reply->status().needsLogin()) {
    reply.reset();
    const std::string session = RunLoginFlow(account);
    if (session.empty()) return 0;
    store.SetSession(account, session);
    reply = client.decryptMime(session, cipherText);
  }
  if (!reply->status().isOk()) {
    ShowError(u"Unable to decrypt message using account - " + account, 0,
              reply->status().describe());
    return kDecryptRefused;
  }

  const std::u16string view = ComposeDecryptedView(
      reply->clearText(), reply->decryptedAttachments(), client.endpoint().authority());
  reply.reset();
  if (SUCCEEDED(item.GetEntryID(entryId))) cache.Store(entryId, view);
  Show(view, window, paneFactory, paneSlot);
  return 0;
}

}  // namespace

bool IsProtectedMessage(const std::shared_ptr<host::Object>& item) {
  // Most items are simply not protected: failures here are answers, not faults.
  std::u16string typeId;
  if (!item || FAILED(item->GetTypeId(typeId)) || typeId != host::kMailItemIid) return false;
  std::shared_ptr<host::MailItem> mail;
  if (FAILED(item->AsMailItem(mail))) return false;
  bool sent = false;
  if (FAILED(mail->GetSent(sent)) || !sent) return false;
  std::shared_ptr<host::PropertyAccessor> accessor;
  if (FAILED(mail->GetPropertyAccessor(accessor))) return false;
  std::u16string headers;
  if (FAILED(accessor->GetProperty(host::kTransportHeadersProperty, headers))) return false;
  return DeclaresPgpMime(std::move(headers));
}

std::int32_t DecryptAndShow(host::MailItem& item, const std::shared_ptr<host::Object>& window,
                            SessionStore& store, CacheManager& cache,
                            host::TaskPaneFactory* paneFactory,
                            std::shared_ptr<host::TaskPane>& paneSlot) {
  try {
    return DecryptAndShowOrThrow(item, window, store, cache, paneFactory, paneSlot);
  } catch (const ProtocolException& error) {
    ShowError(error.message(), error.code());
    return 0;
  }
}

}  // namespace veilmark
