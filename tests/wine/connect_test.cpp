// The connection object as COM hands it to Outlook: created through the
// registry, its interface table, its type-library-driven IDispatch, the
// ribbon XML and image, the class factory and the module's lock count.
#include <gtest/gtest.h>
#include <olectl.h>

#include <memory>
#include <string>

#include "base/com_ptr_win32.h"
#include "com/dispatch.h"
#include "com/guids.h"
#include "wine_support.h"

namespace veilmark {
extern const char kRibbonXmlText[];
}

namespace veilmark::wine_tests {
namespace {

using com::ComPtr;

class ConnectObject : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    AddinModule module;
    ASSERT_EQ(module.RegisterServer(), S_OK);
    classes_ = std::make_unique<UserClassesSeenByCom>();
  }
  static void TearDownTestSuite() { classes_.reset(); }
  static inline std::unique_ptr<UserClassesSeenByCom> classes_;

  void SetUp() override { ASSERT_TRUE(VM_TRY_HR(apartment_.status())); }

  ComPtr<IUnknown> Create() {
    ComPtr<IUnknown> object;
    EXPECT_EQ(CoCreateInstance(CLSID_Connect, nullptr, CLSCTX_INPROC_SERVER, IID_IUnknown,
                               object.PutVoid()),
              S_OK);
    return object;
  }

  Apartment apartment_;
  AddinModule module_;
};

TEST_F(ConnectObject, ProgIdLeadsToTheClass) {
  // Outlook names the version-independent ProgID; it leads on through CurVer
  // (which Windows follows by itself and Wine's CLSIDFromProgID does not).
  const auto current = ReadText(HKEY_CLASSES_ROOT, L"VeilmarkAddIn.Connect\\CurVer");
  ASSERT_EQ(current, L"VeilmarkAddIn.Connect.1");
  CLSID clsid{};
  ASSERT_EQ(CLSIDFromProgID(current->c_str(), &clsid), S_OK);
  EXPECT_TRUE(IsEqualCLSID(clsid, CLSID_Connect));

  ComPtr<IDispatch> object;
  ASSERT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, object.PutVoid()),
            S_OK);
  EXPECT_TRUE(object);
}

TEST_F(ConnectObject, AnswersExactlyItsInterfaces) {
  ComPtr<IUnknown> object = Create();
  ASSERT_TRUE(object);
  const IID* answered[] = {&IID_IConnect,           &IID_IDispatch,
                           &IID__IDTExtensibility2, &IID_IRibbonExtensibility,
                           &IID_IRibbonCallback,    &IID_ICustomTaskPaneConsumer};
  for (const IID* iid : answered) {
    ComPtr<IUnknown> part;
    EXPECT_EQ(object->QueryInterface(*iid, part.PutVoid()), S_OK);
    // One identity whatever interface it is asked through.
    ComPtr<IUnknown> identity;
    ASSERT_EQ(part->QueryInterface(IID_IUnknown, identity.PutVoid()), S_OK);
    EXPECT_EQ(identity.Get(), object.Get());
  }
  // Plain IDispatch is the ribbon callback's, for Office's late binding.
  ComPtr<IUnknown> dispatch;
  ComPtr<IUnknown> callback;
  ASSERT_EQ(object->QueryInterface(IID_IDispatch, dispatch.PutVoid()), S_OK);
  ASSERT_EQ(object->QueryInterface(IID_IRibbonCallback, callback.PutVoid()), S_OK);
  EXPECT_EQ(dispatch.Get(), callback.Get());

  const IID* refused[] = {&IID_IClassFactory, &IID_IConnectionPointContainer, &IID_IPersist,
                          &com::kExplorersEventsIid, &com::kApplicationIid};
  for (const IID* iid : refused) {
    void* out = reinterpret_cast<void*>(1);
    EXPECT_EQ(object->QueryInterface(*iid, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
  }
  EXPECT_EQ(object->QueryInterface(IID_IDispatch, nullptr), E_POINTER);
}

TEST_F(ConnectObject, DispatchNamesComeFromTheTypeLibrary) {
  ComPtr<IDispatch> object;
  ASSERT_EQ(Create().As(IID_IDispatch, object), S_OK);
  auto id = [&](const wchar_t* name) {
    LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
    DISPID result = 0;
    const HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &result);
    return VM_TRY_HR(hr) ? result : static_cast<DISPID>(hr);
  };
  EXPECT_EQ(id(L"OnSecureSendClick"), 1337);
  EXPECT_EQ(id(L"onsecuresendclick"), 1337);
  EXPECT_EQ(id(L"OnGetImage"), 1338);
  EXPECT_EQ(id(L"OnStartupComplete"), 4);
  EXPECT_EQ(id(L"NoSuchMember"), static_cast<DISPID>(DISP_E_UNKNOWNNAME));

  UINT count = 0;
  ASSERT_EQ(object->GetTypeInfoCount(&count), S_OK);
  EXPECT_EQ(count, 1u);
  ComPtr<ITypeInfo> info;
  ASSERT_EQ(object->GetTypeInfo(0, LOCALE_USER_DEFAULT, info.Put()), S_OK);
  TYPEATTR* attributes = nullptr;
  ASSERT_EQ(info->GetTypeAttr(&attributes), S_OK);
  EXPECT_TRUE(IsEqualIID(attributes->guid, IID_IRibbonCallback));
  info->ReleaseTypeAttr(attributes);
}

TEST_F(ConnectObject, ComposeRibbonGetsTheXmlResource) {
  ComPtr<IRibbonExtensibility> ribbon;
  ASSERT_EQ(Create().As(IID_IRibbonExtensibility, ribbon), S_OK);
  com::Bstr id(u"Microsoft.Outlook.Mail.Compose");
  BSTR xml = nullptr;
  ASSERT_EQ(ribbon->GetCustomUI(id.Get(), &xml), S_OK);
  ASSERT_NE(xml, nullptr);
  const std::u16string text = com::FromBstr(xml);
  SysFreeString(xml);
  const std::string expected = kRibbonXmlText;
  EXPECT_EQ(text, std::u16string(expected.begin(), expected.end()));
  EXPECT_NE(text.find(u"onAction=\"OnSecureSendClick\""), std::u16string::npos);
}

TEST_F(ConnectObject, OtherRibbonsGetNothing) {
  ComPtr<IRibbonExtensibility> ribbon;
  ASSERT_EQ(Create().As(IID_IRibbonExtensibility, ribbon), S_OK);
  for (const char16_t* other : {u"Microsoft.Outlook.Mail.Read", u"microsoft.outlook.mail.compose",
                                u"Microsoft.Outlook.Mail.Compose ", u""}) {
    com::Bstr id(other);
    com::Bstr untouched(u"untouched");
    BSTR xml = untouched.Get();
    EXPECT_EQ(ribbon->GetCustomUI(id.Get(), &xml), S_OK);
    EXPECT_EQ(xml, untouched.Get());
  }
  com::Bstr id(u"Microsoft.Outlook.Mail.Compose");
  EXPECT_EQ(ribbon->GetCustomUI(id.Get(), nullptr), E_POINTER);
}

void ExpectButtonPicture(IPictureDisp* picture) {
  ASSERT_NE(picture, nullptr);
  ComPtr<IPicture> image;
  ASSERT_EQ(picture->QueryInterface(IID_IPicture, image.PutVoid()), S_OK);
  SHORT type = 0;
  ASSERT_EQ(image->get_Type(&type), S_OK);
  EXPECT_EQ(type, PICTYPE_BITMAP);
  OLE_HANDLE handle = 0;
  ASSERT_EQ(image->get_Handle(&handle), S_OK);
  BITMAP bitmap{};
  ASSERT_NE(
      GetObjectW(reinterpret_cast<HGDIOBJ>(static_cast<UINT_PTR>(handle)), sizeof bitmap, &bitmap),
      0);
  EXPECT_EQ(bitmap.bmWidth, 32);
  EXPECT_EQ(bitmap.bmHeight, 32);
}

TEST_F(ConnectObject, ImageCallbackGivesTheButtonPicture) {
  ComPtr<IRibbonCallback> callback;
  ASSERT_EQ(Create().As(IID_IRibbonCallback, callback), S_OK);
  ComPtr<IPictureDisp> picture;
  ASSERT_EQ(callback->OnGetImage(nullptr, picture.Put()), S_OK);
  ExpectButtonPicture(picture.Get());
  // A second call works the same: the picture does not own the bitmap.
  picture.Reset();
  ASSERT_EQ(callback->OnGetImage(nullptr, picture.Put()), S_OK);
  ExpectButtonPicture(picture.Get());
  EXPECT_EQ(callback->OnGetImage(nullptr, nullptr), E_POINTER);
}

TEST_F(ConnectObject, ImageCallbackLateBound) {
  ComPtr<IDispatch> object;
  ASSERT_EQ(Create().As(IID_IDispatch, object), S_OK);
  com::Variant control(static_cast<IDispatch*>(nullptr));
  DISPPARAMS params{control.get(), nullptr, 1, 0};
  com::Variant result;
  ASSERT_EQ(object->Invoke(1338, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                           result.Put(), nullptr, nullptr),
            S_OK);
  ASSERT_EQ(result.value().vt, VT_DISPATCH);
  ComPtr<IPictureDisp> picture;
  ASSERT_EQ(result.value().pdispVal->QueryInterface(IID_IPictureDisp, picture.PutVoid()), S_OK);
  ExpectButtonPicture(picture.Get());
}

TEST_F(ConnectObject, ModuleUnloadsOnlyWhenNothingIsAlive) {
  EXPECT_EQ(module_.CanUnloadNow(), S_OK);
  {
    ComPtr<IUnknown> object = Create();
    ASSERT_TRUE(object);
    EXPECT_EQ(module_.CanUnloadNow(), S_FALSE);
    ComPtr<IUnknown> second = Create();
    object.Reset();
    EXPECT_EQ(module_.CanUnloadNow(), S_FALSE);
  }
  EXPECT_EQ(module_.CanUnloadNow(), S_OK);

  ComPtr<IClassFactory> factory;
  ASSERT_EQ(module_.GetClassObject(CLSID_Connect, IID_IClassFactory, factory.PutVoid()), S_OK);
  EXPECT_EQ(module_.CanUnloadNow(), S_OK);  // a factory alone holds no lock
  ASSERT_EQ(factory->LockServer(TRUE), S_OK);
  EXPECT_EQ(module_.CanUnloadNow(), S_FALSE);
  ASSERT_EQ(factory->LockServer(FALSE), S_OK);
  EXPECT_EQ(module_.CanUnloadNow(), S_OK);
}

TEST_F(ConnectObject, ClassObjectOnlyForTheConnectClass) {
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(module_.GetClassObject(kUnusedGuid, IID_IClassFactory, &out),
            CLASS_E_CLASSNOTAVAILABLE);
  EXPECT_EQ(out, nullptr);
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(module_.GetClassObject(CLSID_Connect, IID_IClassFactory, factory.PutVoid()), S_OK);
  ComPtr<IUnknown> object;
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IRibbonCallback, object.PutVoid()), S_OK);
  EXPECT_EQ(factory->CreateInstance(nullptr, IID_IClassFactory, object.PutVoid()), E_NOINTERFACE);
}

// An outer object that counts the references handed to it.
class Outer final : public IUnknown {
 public:
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** out) override {
    if (IsEqualIID(iid, IID_IUnknown)) {
      *out = this;
      AddRef();
      return S_OK;
    }
    return inner ? inner->QueryInterface(iid, out) : E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return static_cast<ULONG>(++count); }
  ULONG STDMETHODCALLTYPE Release() override { return static_cast<ULONG>(--count); }
  long count = 1;
  ComPtr<IUnknown> inner;
};

TEST_F(ConnectObject, AggregatesUnderAnOuterObject) {
  ComPtr<IClassFactory> factory;
  ASSERT_EQ(module_.GetClassObject(CLSID_Connect, IID_IClassFactory, factory.PutVoid()), S_OK);
  Outer outer;
  void* out = reinterpret_cast<void*>(1);
  EXPECT_EQ(factory->CreateInstance(&outer, IID_IDispatch, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(out, nullptr);

  ASSERT_EQ(factory->CreateInstance(&outer, IID_IUnknown, outer.inner.PutVoid()), S_OK);
  EXPECT_EQ(module_.CanUnloadNow(), S_FALSE);
  {
    // Interfaces of the inner object count on the outer one and answer for it.
    ComPtr<IRibbonCallback> callback;
    ASSERT_EQ(outer.inner->QueryInterface(IID_IRibbonCallback, callback.PutVoid()), S_OK);
    EXPECT_EQ(outer.count, 2);
    ComPtr<IUnknown> identity;
    ASSERT_EQ(callback->QueryInterface(IID_IUnknown, identity.PutVoid()), S_OK);
    EXPECT_EQ(identity.Get(), static_cast<IUnknown*>(&outer));
  }
  EXPECT_EQ(outer.count, 1);
  outer.inner.Reset();
  EXPECT_EQ(module_.CanUnloadNow(), S_OK);
}

}  // namespace
}  // namespace veilmark::wine_tests
