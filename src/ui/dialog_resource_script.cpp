#include "ui/dialog_resource_script.h"

#include <stdexcept>

namespace veilmark {
namespace {

// The look every dialog shares: modal, centred, the system's dialog font.
constexpr char kHead[] =
    "STYLE DS_SETFONT | DS_MODALFRAME | DS_FIXEDSYS | DS_CENTER | WS_POPUP | WS_CAPTION | "
    "WS_SYSMENU\n";
constexpr char kFont[] = "FONT 8, \"MS Shell Dlg\", 400, 0, 0x1\n";
// atl.dll's AtlAxWin hosts the control its window text names: the WebBrowser.
constexpr char kBrowserControl[] = "\"{8856F961-340A-11D0-A96B-00C04FD705A2}\"";

std::string Quoted(const std::u16string& text) {
  std::string quoted = "\"";
  for (char16_t c : text) {
    if (c < 0x20 || c > 0x7E) throw std::invalid_argument("dialog text beyond printable ASCII");
    if (c == u'"') quoted += '"';  // doubled, as the script escapes it
    quoted += static_cast<char>(c);
  }
  return quoted + "\"";
}

std::string Place(const DialogControl& control) {
  return std::to_string(control.x) + ", " + std::to_string(control.y) + ", " +
         std::to_string(control.width) + ", " + std::to_string(control.height);
}

std::string Statement(const DialogControl& control) {
  const std::string id = std::to_string(control.id);
  const std::string textIdPlace = Quoted(control.text) + ", " + id + ", " + Place(control);
  switch (control.kind) {
    case ControlKind::kButton:
      return "PUSHBUTTON " + textIdPlace;
    case ControlKind::kDefaultButton:
      return "DEFPUSHBUTTON " + textIdPlace;
    case ControlKind::kImageButton:
      return "PUSHBUTTON " + textIdPlace + ", BS_BITMAP";
    case ControlKind::kStaticText:
      return "LTEXT " + textIdPlace;
    case ControlKind::kBoldStaticText:
      return "CTEXT " + textIdPlace;
    case ControlKind::kGroupBox:
      return "GROUPBOX " + textIdPlace;
    case ControlKind::kEdit:
      return "EDITTEXT " + id + ", " + Place(control) + ", ES_AUTOHSCROLL";
    case ControlKind::kPasswordEdit:
      return "EDITTEXT " + id + ", " + Place(control) + ", ES_PASSWORD | ES_AUTOHSCROLL";
    case ControlKind::kPicture:
      return "CONTROL " + std::to_string(control.imageId) + ", " + id +
             ", \"Static\", SS_BITMAP, " + Place(control) + ", WS_EX_TRANSPARENT";
    case ControlKind::kBrowser:
      return std::string("CONTROL ") + kBrowserControl + ", " + id +
             ", \"AtlAxWin\", WS_TABSTOP, " + Place(control);
  }
  throw std::invalid_argument("unknown control kind");
}

}  // namespace

std::string DialogResourceScript(const DialogTemplate& layout) {
  std::string script = std::to_string(layout.resourceId) + " DIALOGEX 0, 0, " +
                       std::to_string(layout.width) + ", " + std::to_string(layout.height) + "\n";
  script += kHead;
  script += "CAPTION " + Quoted(layout.caption) + "\n";
  script += kFont;
  script += "BEGIN\n";
  for (const DialogControl& control : layout.controls) script += "  " + Statement(control) + "\n";
  script += "END\n";
  return script;
}

}  // namespace veilmark
