// Identities the add-in meets: its own and Office's (from the headers widl
// makes of resources/*.idl) and Outlook's windows and event sets.
#pragma once

#include "OfficeAddin.h"
#include "VeilmarkAddIn.h"
#include "base/hresult.h"

namespace veilmark::com {

inline constexpr IID MakeOutlookIid(unsigned long first) {
  return {first, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
}

inline constexpr IID kApplicationIid = MakeOutlookIid(0x00063001);
inline constexpr IID kExplorerIid = MakeOutlookIid(0x00063003);
inline constexpr IID kInspectorIid = MakeOutlookIid(0x00063005);
inline constexpr IID kMailItemIid = MakeOutlookIid(0x00063034);
inline constexpr IID kRibbonControlIid = MakeOutlookIid(0x000C0395);
// The browser control's and its HTML document's dual interfaces.
inline constexpr IID kWebBrowserIid = {
    0xD30C1661, 0xCDAF, 0x11D0, {0x8A, 0x3E, 0x00, 0xC0, 0x4F, 0xC9, 0xE2, 0x6E}};
inline constexpr IID kHtmlDocumentIid = {
    0x332C4425, 0x26CB, 0x11D0, {0xB4, 0x83, 0x00, 0xC0, 0x4F, 0xD9, 0x01, 0x19}};
inline constexpr IID kExplorersEventsIid = MakeOutlookIid(0x00063078);
inline constexpr IID kInspectorsEventsIid = MakeOutlookIid(0x00063079);
inline constexpr IID kApplicationEventsIid = MakeOutlookIid(0x0006304E);
inline constexpr IID kExplorerEventsIid = MakeOutlookIid(0x0006304F);
inline constexpr IID kInspectorEventsIid = MakeOutlookIid(0x0006307D);

// Event DISPIDs of those sets.
inline constexpr DISPID kNewWindowDispId = 0xF001;  // NewExplorer and NewInspector
inline constexpr DISPID kNewMailDispId = 0xF003;
inline constexpr DISPID kSelectionChangeDispId = 0xF007;
inline constexpr DISPID kCloseDispId = 0xF008;

// The ribbon callbacks of IRibbonCallback.
inline constexpr DISPID kSecureSendClickDispId = 1337;
inline constexpr DISPID kGetImageDispId = 1338;

inline constexpr int kAddinTypeLibrary = 1;
inline constexpr int kOfficeTypeLibrary = 2;

}  // namespace veilmark::com
