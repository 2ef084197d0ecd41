#include "outlook_window.h"

#include <stdexcept>

#include "base/local_files.h"
#include "com/guids.h"

namespace veilmark::wine_tests {

FakeConnectionPoint& PointOf(FakeDispatch& object, const IID& events) {
  ComPtr<IConnectionPoint> point;
  if (!VM_TRY_HR(object.FindConnectionPoint(events, point.Put()))) throw std::runtime_error("none");
  return *static_cast<FakeConnectionPoint*>(point.Get());
}

FakeOutlookWindow::FakeOutlookWindow(const FakePtr& item) {
  pane->Property(L"ContentControl", Disp(control.browser))
      .Value(L"DockPosition", com::Variant(std::int32_t{0}))
      .Value(L"Visible", com::Variant(false))
      .Method(L"Delete", Nothing());
  factory->Method(L"CreateCTP", Answer(com::Variant(Disp(pane))));
  explorer->Is(com::kExplorerIid)
      .Property(L"Selection", Disp(Collection({item})))
      .Source(com::kExplorerEventsIid);
  explorers->Source(com::kExplorersEventsIid);
  inspectors->Source(com::kInspectorsEventsIid);
  application->Is(com::kApplicationIid)
      .Property(L"ActiveExplorer", Disp(explorer))
      .Property(L"Explorers", Disp(explorers))
      .Property(L"Inspectors", Disp(inspectors))
      .Source(com::kApplicationEventsIid);
}

std::vector<HRESULT> FakeOutlookWindow::SelectionChange() {
  return PointOf(*explorer, com::kExplorerEventsIid).Fire(outlook_events::kSelectionChange);
}

FakePtr ProtectedItem(const Delivered& delivered, const std::u16string& entryId,
                      std::chrono::steady_clock::duration* saveTime) {
  FakePtr accessor = FakeDispatch::Make();
  const std::u16string headers = delivered.headers;
  accessor->Method(
      L"GetProperty",
      [headers](const std::vector<com::Variant>& args, com::Variant& result) -> HRESULT {
        const std::wstring name = TextOf(args.at(0).value());
        if (name == L"http://schemas.microsoft.com/mapi/proptag/0x007D001E") {
          return VariantCopy(result.get(), com::Variant(headers).get());
        }
        if (name == L"http://schemas.microsoft.com/mapi/proptag/0x0076001E") {
          return VariantCopy(result.get(), com::Variant(std::u16string(kBob)).get());
        }
        return static_cast<HRESULT>(0x8004010Fu);
      });
  FakePtr version = FakeDispatch::Make();
  version->Method(L"SaveAsFile", Nothing());
  FakePtr payload = FakeDispatch::Make();
  const std::string bytes = delivered.payload;
  payload->Method(L"SaveAsFile",
                  [bytes, saveTime](const std::vector<com::Variant>& args, com::Variant&) {
                    const auto start = std::chrono::steady_clock::now();
                    const std::wstring path = TextOf(args.at(0).value());
                    const bool saved = SaveFile(std::u16string(path.begin(), path.end()), bytes);
                    if (saveTime) *saveTime += std::chrono::steady_clock::now() - start;
                    return saved ? S_OK : E_FAIL;
                  });
  FakePtr item = FakeDispatch::Make();
  item->Is(com::kMailItemIid)
      .TypeId(kMailItemType)
      .Value(L"Sent", com::Variant(true))
      .Value(L"EntryID", com::Variant(entryId))
      .Property(L"PropertyAccessor", Disp(accessor))
      .Property(L"Attachments", Disp(Collection({version, payload})));
  return item;
}

}  // namespace veilmark::wine_tests
