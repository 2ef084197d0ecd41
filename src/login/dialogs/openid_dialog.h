// COpenID: the provider's own web login, ended by the service's JSON page.
#pragma once

#include <memory>
#include <string>

#include "api/server_reply.h"
#include "resource_ids.h"
#include "ui/dialog.h"

namespace veilmark {

class COpenID : public DialogController {
 public:
  static constexpr int kResourceId = IDD_OPENID;
  static constexpr int kBrowser = IDC_BROWSER;

  explicit COpenID(std::u16string url);
  const DialogTemplate& Template() const override;
  void OnInitDialog(DialogSite& site) override;
  // Closing the window abandons the login: it ends with no reply.
  void OnCommand(DialogSite& site, int id) override;
  void OnDocumentComplete(DialogSite& site, int id, std::string_view source) override;
  int Show(WindowRef owner);

  std::u16string m_url;
  std::unique_ptr<ServerReply> m_reply;  // the captured final page, if any
};

}  // namespace veilmark
