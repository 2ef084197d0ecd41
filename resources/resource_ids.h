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
