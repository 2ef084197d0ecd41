// The dialog layouts and the resource script the Windows build makes of
// them.
#include "ui/dialog_layouts.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>

#include "resource_ids.h"
#include "ui/dialog_resource_script.h"

namespace veilmark {
namespace {

TEST(DialogLayouts, EachDialogOnceWithDistinctControls) {
  std::set<int> dialogs;
  for (const DialogTemplate& layout : DialogLayouts()) {
    SCOPED_TRACE(layout.resourceId);
    EXPECT_TRUE(dialogs.insert(layout.resourceId).second);
    EXPECT_EQ(&DialogLayout(layout.resourceId), &layout);
    std::set<int> controls;
    for (const DialogControl& control : layout.controls) {
      // Two controls of one id: the second could never be reached.
      if (control.id != kNoControlId) {
        EXPECT_TRUE(controls.insert(control.id).second) << control.id;
      }
      // A bitmap the module does not hold shows nothing.
      if (control.kind == ControlKind::kImageButton || control.kind == ControlKind::kPicture) {
        EXPECT_NE(control.imageId, 0) << control.id;
      }
    }
  }
  EXPECT_EQ(dialogs, (std::set<int>{IDD_LOGIN_FORM, IDD_OPENID, IDD_REGISTER, IDD_LIVE,
                                    IDD_EXTRA_PASSWORD, IDD_VEILMARK_LOGIN, IDD_FORGOT}));
  EXPECT_THROW(DialogLayout(IDR_RIBBON_XML), std::out_of_range);
}

TEST(DialogResourceScript, EveryKindOfControlAsTheResourceCompilerReadsIt) {
  const DialogTemplate layout{900,
                              u"Say \"hi\"",
                              200,
                              100,
                              {
                                  {1, ControlKind::kDefaultButton, u"OK", 1, 2, 3, 4},
                                  {2, ControlKind::kButton, u"Cancel", 5, 6, 7, 8},
                                  {10, ControlKind::kImageButton, u"Image", 9, 10, 11, 12, 215},
                                  {kNoControlId, ControlKind::kStaticText, u"Left", 13, 14, 15, 16},
                                  {11, ControlKind::kBoldStaticText, u"Heading", 17, 18, 19, 20},
                                  {kNoControlId, ControlKind::kGroupBox, u"Group", 21, 22, 23, 24},
                                  {12, ControlKind::kEdit, u"", 25, 26, 27, 28},
                                  {13, ControlKind::kPasswordEdit, u"", 29, 30, 31, 32},
                                  {kNoControlId, ControlKind::kPicture, u"", 33, 34, 35, 36, 209},
                                  {14, ControlKind::kBrowser, u"", 37, 38, 39, 40},
                              }};
  EXPECT_EQ(
      DialogResourceScript(layout),
      "900 DIALOGEX 0, 0, 200, 100\n"
      "STYLE DS_SETFONT | DS_MODALFRAME | DS_FIXEDSYS | DS_CENTER | WS_POPUP | WS_CAPTION | "
      "WS_SYSMENU\n"
      "CAPTION \"Say \"\"hi\"\"\"\n"
      "FONT 8, \"MS Shell Dlg\", 400, 0, 0x1\n"
      "BEGIN\n"
      "  DEFPUSHBUTTON \"OK\", 1, 1, 2, 3, 4\n"
      "  PUSHBUTTON \"Cancel\", 2, 5, 6, 7, 8\n"
      "  PUSHBUTTON \"Image\", 10, 9, 10, 11, 12, BS_BITMAP\n"
      "  LTEXT \"Left\", -1, 13, 14, 15, 16\n"
      "  CTEXT \"Heading\", 11, 17, 18, 19, 20\n"
      "  GROUPBOX \"Group\", -1, 21, 22, 23, 24\n"
      "  EDITTEXT 12, 25, 26, 27, 28, ES_AUTOHSCROLL\n"
      "  EDITTEXT 13, 29, 30, 31, 32, ES_PASSWORD | ES_AUTOHSCROLL\n"
      "  CONTROL 209, -1, \"Static\", SS_BITMAP, 33, 34, 35, 36, WS_EX_TRANSPARENT\n"
      "  CONTROL \"{8856F961-340A-11D0-A96B-00C04FD705A2}\", 14, \"AtlAxWin\", WS_TABSTOP, 37, "
      "38, 39, 40\n"
      "END\n");
}

TEST(DialogResourceScript, RefusesTextBeyondPrintableAscii) {
  DialogTemplate layout{900, u"Caf\u00e9", 10, 10, {}};
  EXPECT_THROW(DialogResourceScript(layout), std::invalid_argument);
  layout.caption = u"ok";
  layout.controls.push_back({1, ControlKind::kButton, u"two\nlines", 0, 0, 1, 1});
  EXPECT_THROW(DialogResourceScript(layout), std::invalid_argument);
  // Every layout the module holds can be written.
  for (const DialogTemplate& real : DialogLayouts()) EXPECT_NO_THROW(DialogResourceScript(real));
}

}  // namespace
}  // namespace veilmark
