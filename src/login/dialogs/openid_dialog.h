// OpenIdDialog: the provider's own web login, ended by the service's JSON page.
#pragma once

#include <memory>
#include <string>

#include "api/server_reply.h"
#include "resource_ids.h"
#include "ui/dialog.h"
#include "ui/ui.h"

namespace veilmark {

class OpenIdDialog : public DialogController {
 public:
  static constexpr int kResourceId = IDD_OPENID;
  static constexpr int kBrowser = IDC_BROWSER;

  explicit OpenIdDialog(std::u16string url);
  const DialogTemplate& Template() const override;
  void OnInitDialog(DialogSite& site) override;
  // Closing the window abandons the login: it ends with no reply.
  void OnCommand(DialogSite& site, int id) override;
  void OnDocumentComplete(DialogSite& site, int id, std::string_view source) override;
  int Show(Ui& ui, WindowRef owner);

  std::u16string url;
  std::unique_ptr<ServerReply> reply;  // the captured final page, if any
};

}  // namespace veilmark
