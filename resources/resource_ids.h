// Identifiers of the module's resources, shared by the .rc file and the code.
#pragma once

#define IDR_MODULE_SCRIPT 101
#define IDR_CONNECT_SCRIPT 106
#define IDS_PROJNAME 100
#define IDR_RIBBON_XML 201
#define IDB_SEND_SECURE 222
#define IDB_LOGO 209
#define IDB_GMAIL 215
#define IDB_HOTMAIL 216
#define IDB_YAHOO 217
#define IDB_AOL 218
#define IDB_VEILMARK_ACCOUNT 220
#define IDB_OTHER 224
#define IDI_VEILMARK 225
#define IDD_LOGIN_FORM 107
#define IDD_OPENID 108
#define IDD_REGISTER 109
#define IDD_LIVE 110
#define IDD_EXTRA_PASSWORD 111
#define IDD_VEILMARK_LOGIN 112
#define IDD_FORGOT 113
#define IDT_ADDIN_TYPELIB 1
// Our declarations of the Office interfaces, for their dispatch side.
#define IDT_OFFICE_TYPELIB 2

// Controls of the dialogs, by the dialog they are in. Ids 1 and 2 are the
// system's OK and Cancel; -1 is a control the code never names. The
// terminal UI's answer scripts name controls by these numbers too.
// IDD_LOGIN_FORM
#define IDC_GMAIL 201
#define IDC_YAHOO 202
#define IDC_HOTMAIL 203
#define IDC_AOL 206
#define IDC_OTHER 207
#define IDC_LOGIN_HEADING 209
// IDD_LIVE and IDD_VEILMARK_LOGIN
#define IDC_LOGIN_EMAIL 204
#define IDC_LOGIN_PASSWORD 205
#define IDC_SIGNUP 3
#define IDC_FORGOT 4
// IDD_OPENID and IDD_REGISTER
#define IDC_BROWSER 205
// IDD_REGISTER and IDD_FORGOT
#define IDC_EMAIL 206
#define IDC_PASSWORD 207
#define IDC_REPEAT_PASSWORD 208
#define IDC_SECURITY_QUESTION 209
#define IDC_SECURITY_ANSWER 210
#define IDC_CAPTCHA 211
// IDD_EXTRA_PASSWORD
#define IDC_EXTRA_PASSWORD 208
