// afx_ole_test.cc - catches dispatch maps that convert script arguments or results wrongly, let exceptions escape, misnumber members; factories that break aggregation or module counts; and class lookup that crosses modules.
#include <gtest/gtest.h>

#include <new>
#include <string>

#include "platform/com/bstr.h"
#include "platform/com/ole_text.h"
#include "platform/com/variant.h"
#include "platform/framework/afx_ole_control.h"
#include "platform/framework/afx_ole_module.h"

namespace oletest {

// {0B5A0D51-52D6-4E63-9A41-4E1C2E3C0F01}
constexpr CLSID kProbeClsid = {0x0B5A0D51, 0x52D6, 0x4E63, {0x9A, 0x41, 0x4E, 0x1C, 0x2E, 0x3C, 0x0F, 0x01}};
constexpr IID kProbeIid = {0x0B5A0D51, 0x52D6, 0x4E63, {0x9A, 0x41, 0x4E, 0x1C, 0x2E, 0x3C, 0x0F, 0x02}};

// What the last call of a member received, for the tests to inspect.
struct Received {
  bool null_text = false;
  std::string text;
  LONG number = 0;
};
Received g_received;

class CProbeCtrl : public COleControl {
  DECLARE_DYNCREATE(CProbeCtrl)
 public:
  CProbeCtrl() { InitializeIIDs(&kProbeIid, &kProbeIid); }
  HRESULT GetClassID(CLSID *pclsid) override {
    *pclsid = kProbeClsid;
    return S_OK;
  }
  HRESULT GetTypeLib(LCID, ITypeLib **) override { return TYPE_E_LIBNOTREGISTERED; }
  UINT GetUserTypeNameID() override { return 1; }
  DWORD GetMiscStatus() override { return 0; }

 protected:
  DECLARE_DISPATCH_MAP()

  BSTR echo(LPCSTR text) {
    g_received.null_text = text == nullptr;
    g_received.text = text != nullptr ? text : "";
    return com::bstr_from_ansi(g_received.text + "!");
  }
  LONG twice(LONG number) {
    g_received.number = number;
    return 2 * number;
  }
  void exhaust(LPCSTR) { throw std::bad_alloc(); }
  void fail(LPCSTR) { throw 42; }
};

IMPLEMENT_DYNCREATE(CProbeCtrl, COleControl)

BEGIN_DISPATCH_MAP(CProbeCtrl, COleControl)
DISP_FUNCTION(CProbeCtrl, "echo", echo, VT_BSTR, VTS_BSTR)
DISP_FUNCTION(CProbeCtrl, "twice", twice, VT_I4, VTS_I4)
DISP_FUNCTION_ID(CProbeCtrl, "exhaust", 40, exhaust, VT_EMPTY, VTS_BSTR)
DISP_FUNCTION(CProbeCtrl, "fail", fail, VT_EMPTY, VTS_BSTR)
END_DISPATCH_MAP()

class CProbeFactory : public COleObjectFactory {
 public:
  using COleObjectFactory::COleObjectFactory;
  BOOL UpdateRegistry(BOOL) override { return TRUE; }
};
CProbeFactory g_factory(kProbeClsid, RUNTIME_CLASS(CProbeCtrl), FALSE, "Quillora.Probe.1");

VARIANT text_arg(const char16_t *text) {
  VARIANT v;
  VariantInit(&v);
  v.vt = VT_BSTR;
  v.bstrVal = SysAllocString(text);
  return v;
}

class DispatchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    AFX_MANAGE_STATE(AfxGetStaticModuleState());
    ASSERT_EQ(g_factory.CreateInstance(nullptr, IID_IDispatch, reinterpret_cast<void **>(&dispatch_)), S_OK);
  }
  void TearDown() override {
    if (dispatch_ != nullptr) dispatch_->Release();
  }
  HRESULT invoke(DISPID dispid, VARIANT arg, VARIANT *result, UINT *arg_error = nullptr) {
    DISPPARAMS params = {&arg, nullptr, 1, 0};
    const HRESULT hr = dispatch_->Invoke(dispid, IID_NULL, 0, DISPATCH_METHOD, &params, result, nullptr, arg_error);
    VariantClear(&arg);
    return hr;
  }
  IDispatch *dispatch_ = nullptr;
};

TEST_F(DispatchTest, StringsArriveInTheAnsiCodePageAndNullStaysNull) {
  const struct {
    const char16_t *text;  // nullptr: a null BSTR
    bool null_text;
    const char *received;
  } cases[] = {
      {u"caf\u00e9 \u20ac", false, "caf\351 \200"},  // é and € have 1252 bytes
      {u"\u4e2d", false, "?"},                       // no 1252 form: the default character
      {u"", false, ""},
      {nullptr, true, ""},
  };
  for (const auto &c : cases) {
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(invoke(1, text_arg(c.text), &result), S_OK);
    EXPECT_EQ(g_received.null_text, c.null_text);
    EXPECT_EQ(g_received.text, c.received);
    ASSERT_EQ(result.vt, VT_BSTR);
    EXPECT_EQ(com::ole_to_ansi(result.bstrVal, SysStringLen(result.bstrVal)), std::string(c.received) + "!");
    VariantClear(&result);
  }
}

TEST_F(DispatchTest, NumbersConvertAndBadArgumentsAreNamed) {
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(invoke(2, text_arg(u" 21 "), &result), S_OK);
  EXPECT_EQ(result.vt, VT_I4);
  EXPECT_EQ(result.lVal, 42);
  UINT arg_error = 9;
  EXPECT_EQ(invoke(2, text_arg(u"99999999999"), &result, &arg_error), DISP_E_OVERFLOW);
  EXPECT_EQ(arg_error, 0u);
  VARIANT object;
  VariantInit(&object);
  object.vt = VT_DISPATCH;
  EXPECT_EQ(invoke(1, object, &result, &arg_error), DISP_E_TYPEMISMATCH);
  DISPPARAMS none = {nullptr, nullptr, 0, 0};
  EXPECT_EQ(dispatch_->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr),
            DISP_E_BADPARAMCOUNT);
  EXPECT_EQ(dispatch_->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &none, &result, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);  // the third entry carries its own identifier, 40
  EXPECT_EQ(dispatch_->Invoke(1, IID_NULL, 0, DISPATCH_PROPERTYPUT, &none, &result, nullptr, nullptr),
            DISP_E_MEMBERNOTFOUND);
}

TEST_F(DispatchTest, ExceptionsBecomeFailedCalls) {
  EXPECT_EQ(invoke(40, text_arg(u"x"), nullptr), E_OUTOFMEMORY);
  EXPECT_EQ(invoke(4, text_arg(u"x"), nullptr), DISP_E_EXCEPTION);
}

// An outer object that answers everything itself, as an aggregating object does.
class Outer final : public IUnknown {
 public:
  HRESULT QueryInterface(REFIID, void **ppv) override {
    ++queries;
    *ppv = this;
    return S_OK;
  }
  ULONG AddRef() override { return ++refs; }
  ULONG Release() override { return --refs; }
  int queries = 0;
  ULONG refs = 1;
};

TEST(FactoryTest, AggregatedObjectsDelegateToTheirOuterUnknown) {
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  Outer outer;
  void *out = nullptr;
  EXPECT_EQ(g_factory.CreateInstance(&outer, IID_IDispatch, &out), CLASS_E_NOAGGREGATION);
  EXPECT_EQ(AfxDllCanUnloadNow(), S_OK);
  IUnknown *inner = nullptr;
  ASSERT_EQ(g_factory.CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void **>(&inner)), S_OK);
  EXPECT_EQ(AfxDllCanUnloadNow(), S_FALSE);
  // The inner unknown answers for the object itself; its other interfaces answer for the outer.
  IDispatch *dispatch = nullptr;
  ASSERT_EQ(inner->QueryInterface(IID_IDispatch, reinterpret_cast<void **>(&dispatch)), S_OK);
  EXPECT_EQ(outer.refs, 2u);
  void *through_outer = nullptr;
  EXPECT_EQ(dispatch->QueryInterface(IID_IUnknown, &through_outer), S_OK);
  EXPECT_EQ(through_outer, &outer);
  EXPECT_EQ(outer.queries, 1);
  dispatch->Release();
  EXPECT_EQ(outer.refs, 1u);
  EXPECT_EQ(inner->Release(), 0u);
  EXPECT_EQ(AfxDllCanUnloadNow(), S_OK);
}

TEST(FactoryTest, ClassObjectsAreFoundOnlyWithinTheCurrentModule) {
  void *out = nullptr;
  EXPECT_EQ(AfxDllGetClassObject(kProbeClsid, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  AFX_MANAGE_STATE(AfxGetStaticModuleState());
  ASSERT_EQ(AfxDllGetClassObject(kProbeClsid, IID_IClassFactory, &out), S_OK);
  EXPECT_EQ(out, static_cast<IClassFactory *>(&g_factory));
  static_cast<IClassFactory *>(out)->Release();
  EXPECT_EQ(AfxDllGetClassObject(kProbeIid, IID_IClassFactory, &out), CLASS_E_CLASSNOTAVAILABLE);
  ASSERT_EQ(g_factory.LockServer(TRUE), S_OK);
  EXPECT_EQ(AfxDllCanUnloadNow(), S_FALSE);
  ASSERT_EQ(g_factory.LockServer(FALSE), S_OK);
  EXPECT_EQ(AfxDllCanUnloadNow(), S_OK);
}

TEST(PropExchangeTest, VersionIsTheStoredOneWhenLoadingAndTheCurrentOneWhenSaving) {
  const struct {
    BOOL loading;
    DWORD stored;
    DWORD loaded;
  } cases[] = {{TRUE, 0, 0x00020000}, {TRUE, 0x00010000, 0x00010000}, {FALSE, 0x00010000, 0x00020000}};
  for (const auto &c : cases) {
    CPropExchange px(c.loading, c.stored);
    DWORD loaded = 0;
    EXPECT_TRUE(px.ExchangeVersion(loaded, 0x00020000, TRUE));
    EXPECT_EQ(loaded, c.loaded);
    EXPECT_EQ(px.GetVersion(), c.loading ? c.loaded : 0x00020000u);
  }
}

}  // namespace oletest
