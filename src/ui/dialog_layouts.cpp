#include "ui/dialog_layouts.h"

#include <stdexcept>

#include "resource_ids.h"

namespace veilmark {

const std::vector<DialogTemplate>& DialogLayouts() {
  using Kind = ControlKind;
  static const std::vector<DialogTemplate> layouts{
      {IDD_LOGIN_FORM,
       u"Login Or Sign Up",
       355,
       143,
       {
           {kIdCancel, Kind::kButton, u"Cancel", 298, 122, 50, 14},
           {IDC_LOGIN_HEADING, Kind::kBoldStaticText,
            u"Choose which email account to use with Veilmark", 61, 38, 198, 12},
           {IDC_GMAIL, Kind::kImageButton, u"Use with Gmail", 17, 71, 60, 16, IDB_GMAIL},
           {IDC_YAHOO, Kind::kImageButton, u"Use with Yahoo", 82, 71, 60, 16, IDB_YAHOO},
           {kNoControlId, Kind::kPicture, u"", 7, 7, 133, 25, IDB_LOGO},
           {IDC_HOTMAIL, Kind::kImageButton, u"Use with Hotmail", 147, 71, 60, 16, IDB_HOTMAIL},
           {IDC_AOL, Kind::kImageButton, u"Use with AOL", 212, 71, 60, 16, IDB_AOL},
           {IDC_OTHER, Kind::kImageButton, u"Other", 277, 71, 60, 16, IDB_OTHER},
       }},
      {IDD_OPENID,
       u"Provider Login",
       455,
       317,
       {
           {IDC_BROWSER, Kind::kBrowser, u"", 7, 7, 441, 303},
       }},
      {IDD_REGISTER,
       u"Dialog",
       320,
       272,
       {
           {kIdOk, Kind::kDefaultButton, u"Register", 209, 251, 50, 14},
           {kIdCancel, Kind::kButton, u"Cancel", 263, 251, 50, 14},
           {kNoControlId, Kind::kPicture, u"", 7, 7, 133, 25, IDB_LOGO},
           {kNoControlId, Kind::kStaticText, u"Registration information - all fields are mandatory",
            27, 37, 265, 18},
           {IDC_EMAIL, Kind::kEdit, u"", 89, 51, 192, 15},
           {kNoControlId, Kind::kStaticText, u"Email:", 27, 53, 24, 11},
           {IDC_PASSWORD, Kind::kPasswordEdit, u"", 89, 69, 192, 15},
           {kNoControlId, Kind::kStaticText, u"Password:", 27, 71, 36, 11},
           {IDC_REPEAT_PASSWORD, Kind::kPasswordEdit, u"", 89, 87, 192, 15},
           {kNoControlId, Kind::kStaticText, u"Repeat Password:", 27, 89, 61, 11},
           {IDC_SECURITY_QUESTION, Kind::kEdit, u"", 89, 105, 192, 15},
           {kNoControlId, Kind::kStaticText, u"Security Question:", 27, 107, 60, 11},
           {IDC_SECURITY_ANSWER, Kind::kEdit, u"", 89, 123, 192, 15},
           {kNoControlId, Kind::kStaticText, u"Security Answer:", 27, 125, 60, 11},
           {IDC_CAPTCHA, Kind::kEdit, u"", 89, 209, 192, 15},
           {kNoControlId, Kind::kStaticText, u"Image above:", 27, 211, 60, 11},
           {IDC_BROWSER, Kind::kBrowser, u"", 27, 147, 200, 50},
       }},
      {IDD_LIVE,
       u"Provider Login",
       320,
       200,
       {
           {kIdOk, Kind::kDefaultButton, u"Login", 209, 179, 50, 14},
           {kIdCancel, Kind::kButton, u"Cancel", 263, 179, 50, 14},
           {kNoControlId, Kind::kGroupBox,
            u"Please provide your provider (Hotmail / AOL) credentials", 26, 20, 262, 73},
           {IDC_LOGIN_EMAIL, Kind::kEdit, u"", 74, 34, 207, 15},
           {kNoControlId, Kind::kStaticText, u"Email:", 34, 36, 24, 11},
           {IDC_LOGIN_PASSWORD, Kind::kPasswordEdit, u"", 74, 52, 207, 15},
           {kNoControlId, Kind::kStaticText, u"Password:", 33, 54, 36, 11},
       }},
      {IDD_EXTRA_PASSWORD,
       u"Additional Password",
       280,
       141,
       {
           {kIdOk, Kind::kDefaultButton, u"OK", 169, 120, 50, 14},
           {kIdCancel, Kind::kButton, u"Cancel", 223, 120, 50, 14},
           {IDC_EXTRA_PASSWORD, Kind::kPasswordEdit, u"", 57, 41, 207, 15},
           {kNoControlId, Kind::kStaticText, u"Password:", 16, 43, 36, 11},
           {kNoControlId, Kind::kStaticText,
            u"Please provide the additional password you specified", 16, 18, 235, 8},
       }},
      {IDD_VEILMARK_LOGIN,
       u"Login using Veilmark Account",
       320,
       200,
       {
           {kIdOk, Kind::kDefaultButton, u"OK", 88, 179, 50, 14},
           {kIdCancel, Kind::kButton, u"Cancel", 261, 179, 50, 14},
           {kNoControlId, Kind::kGroupBox, u"Please login with your Veilmark account", 35, 29, 262,
            73},
           {IDC_LOGIN_EMAIL, Kind::kEdit, u"", 83, 42, 207, 15},
           {kNoControlId, Kind::kStaticText, u"Email:", 43, 45, 24, 11},
           {IDC_LOGIN_PASSWORD, Kind::kPasswordEdit, u"", 83, 61, 207, 15},
           {kNoControlId, Kind::kStaticText, u"Password:", 43, 63, 36, 11},
           {IDC_SIGNUP, Kind::kButton, u"Signup", 208, 179, 50, 14},
           {IDC_FORGOT, Kind::kButton, u"Forgot password?", 141, 179, 64, 14},
       }},
      {IDD_FORGOT,
       u"Forgot Password",
       320,
       200,
       {
           {kIdOk, Kind::kDefaultButton, u"OK", 209, 179, 50, 14},
           {kIdCancel, Kind::kButton, u"Cancel", 263, 179, 50, 14},
           {kNoControlId, Kind::kPicture, u"", 7, 7, 133, 25, IDB_LOGO},
           {kNoControlId, Kind::kStaticText, u"Please enter your details", 27, 37, 265, 18},
           {IDC_EMAIL, Kind::kEdit, u"", 89, 51, 192, 15},
           {kNoControlId, Kind::kStaticText, u"Email:", 27, 53, 24, 11},
           {IDC_SECURITY_QUESTION, Kind::kEdit, u"", 89, 70, 192, 15},
           {kNoControlId, Kind::kStaticText, u"Security Question:", 27, 72, 60, 11},
           {IDC_SECURITY_ANSWER, Kind::kEdit, u"", 89, 88, 192, 15},
           {kNoControlId, Kind::kStaticText, u"Security Answer:", 27, 90, 60, 11},
       }},
  };
  return layouts;
}

const DialogTemplate& DialogLayout(int resourceId) {
  for (const DialogTemplate& layout : DialogLayouts()) {
    if (layout.resourceId == resourceId) return layout;
  }
  throw std::out_of_range("no dialog layout " + std::to_string(resourceId));
}

}  // namespace veilmark
