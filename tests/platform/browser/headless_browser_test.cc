// headless_browser_test.cc - catches a browser stand-in that takes the wrong arguments, raises DocumentComplete synchronously, late or with the wrong parameters, loses or garbles inserted HTML, or ignores the failures tests inject.
#include "platform/browser/headless_browser.h"

#include <gtest/gtest.h>

#include <vector>

#include "platform/browser/class_info.h"
#include "platform/com/activation.h"
#include "platform/com/bstr.h"
#include "platform/com/variant.h"
#include "platform/windows/winuser.h"

namespace {

// A VARIANT argument built by value; owns its BSTR.
struct Arg {
  VARIANT v;
  explicit Arg(const char16_t *text) {
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(text);
  }
  explicit Arg(LONG value) {
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
  }
  explicit Arg(VARIANT *ref) {
    VariantInit(&v);
    v.vt = VT_VARIANT | VT_BYREF;
    v.pvarVal = ref;
  }
  Arg(const Arg &) = delete;
  ~Arg() { VariantClear(&v); }
};

// Invokes with the arguments in call order (they go last first into DISPPARAMS).
HRESULT call(IDispatch *object, DISPID dispid, WORD flags, std::vector<const Arg *> args, VARIANT *result = nullptr) {
  std::vector<VARIANT> reversed;
  for (auto it = args.rbegin(); it != args.rend(); ++it) reversed.push_back((*it)->v);
  DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
  return object->Invoke(dispid, GUID_NULL, 0, flags, &params, result, nullptr, nullptr);
}

IDispatch *get_dispatch(IDispatch *object, DISPID dispid) {
  VARIANT result;
  VariantInit(&result);
  if (FAILED(call(object, dispid, DISPATCH_PROPERTYGET, {}, &result)) || result.vt != VT_DISPATCH) return nullptr;
  return result.pdispVal;
}

void pump() {
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
}

// Records the DocumentComplete events it receives.
class RecordingSink : public IDispatch {
 public:
  struct Event {
    IDispatch *source;
    std::u16string url;
  };
  std::vector<Event> events;

  HRESULT QueryInterface(REFIID riid, void **ppv) override {
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
      *ppv = static_cast<IDispatch *>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT GetTypeInfoCount(UINT *) override { return E_NOTIMPL; }
  HRESULT GetTypeInfo(UINT, LCID, ITypeInfo **) override { return E_NOTIMPL; }
  HRESULT GetIDsOfNames(REFIID, LPOLESTR *, UINT, LCID, DISPID *) override { return E_NOTIMPL; }
  HRESULT Invoke(DISPID dispid, REFIID, LCID, WORD, DISPPARAMS *params, VARIANT *, EXCEPINFO *, UINT *) override {
    EXPECT_EQ(dispid, DISPID_DOCUMENTCOMPLETE);
    EXPECT_EQ(params->cArgs, 2u);
    EXPECT_EQ(params->rgvarg[1].vt, VT_DISPATCH);
    EXPECT_EQ(params->rgvarg[0].vt, VT_VARIANT | VT_BYREF);
    const VARIANT *url = params->rgvarg[0].pvarVal;
    EXPECT_EQ(url->vt, VT_BSTR);
    events.push_back({params->rgvarg[1].pdispVal, std::u16string(url->bstrVal, SysStringLen(url->bstrVal))});
    return S_OK;
  }
};

class HeadlessBrowserTest : public ::testing::Test {
 protected:
  void SetUp() override {
    register_headless_browser();
    headless_browser::reset();
    headless_browser::record_insertions(true);
    void *pv = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, &pv), S_OK);
    browser_ = static_cast<IDispatch *>(pv);
  }
  void TearDown() override {
    if (point_ != nullptr) {
      point_->Unadvise(cookie_);
      point_->Release();
    }
    if (browser_ != nullptr) browser_->Release();
    pump();
    EXPECT_EQ(headless_browser::live_browsers(), 0);
  }

  // Advises sink_ on the interface the control names as its default events.
  void advise() {
    void *pv = nullptr;
    ASSERT_EQ(browser_->QueryInterface(IID_IProvideClassInfo2, &pv), S_OK);
    IID events{};
    EXPECT_EQ(static_cast<IProvideClassInfo2 *>(pv)->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &events), S_OK);
    static_cast<IUnknown *>(pv)->Release();
    EXPECT_EQ(events, DIID_DWebBrowserEvents2);
    ASSERT_EQ(browser_->QueryInterface(IID_IConnectionPointContainer, &pv), S_OK);
    auto *container = static_cast<IConnectionPointContainer *>(pv);
    ASSERT_EQ(container->FindConnectionPoint(events, &point_), S_OK);
    container->Release();
    ASSERT_EQ(point_->Advise(&sink_, &cookie_), S_OK);
  }

  HRESULT navigate(const char16_t *url) {
    VARIANT empty;
    VariantInit(&empty);
    Arg u(url), a(&empty), b(&empty), c(&empty), d(&empty);
    return call(browser_, DISPID_WEBBROWSER_NAVIGATE, DISPATCH_METHOD, {&u, &a, &b, &c, &d});
  }

  // The body of the loaded page, through Document, IHTMLDocument2 and body.
  IDispatch *body() {
    IDispatch *document = get_dispatch(browser_, DISPID_WEBBROWSER_DOCUMENT);
    if (document == nullptr) return nullptr;
    void *pv = nullptr;
    const HRESULT hr = document->QueryInterface(IID_IHTMLDocument2, &pv);
    document->Release();
    if (FAILED(hr)) return nullptr;
    auto *html_document = static_cast<IDispatch *>(pv);
    IDispatch *result = get_dispatch(html_document, DISPID_HTMLDOCUMENT_BODY);
    html_document->Release();
    return result;
  }

  IDispatch *browser_ = nullptr;
  IConnectionPoint *point_ = nullptr;
  DWORD cookie_ = 0;
  RecordingSink sink_;
};

TEST_F(HeadlessBrowserTest, DocumentCompleteArrivesThroughTheQueueAfterNavigateReturns) {
  advise();
  EXPECT_EQ(get_dispatch(browser_, DISPID_WEBBROWSER_DOCUMENT), nullptr) << "no document before a page loads";
  ASSERT_EQ(navigate(u"about:blank"), S_OK);
  EXPECT_TRUE(sink_.events.empty()) << "raised inside Navigate";
  pump();
  ASSERT_EQ(sink_.events.size(), 1u);
  EXPECT_EQ(sink_.events[0].source, browser_);
  EXPECT_EQ(sink_.events[0].url, u"about:blank");

  EXPECT_EQ(headless_browser::raise_document_complete(), 1);
  pump();
  EXPECT_EQ(sink_.events.size(), 2u);
  EXPECT_EQ(headless_browser::completions(), 2);

  ASSERT_EQ(point_->Unadvise(cookie_), S_OK);
  point_->Release();
  point_ = nullptr;
  headless_browser::raise_document_complete();
  pump();
  EXPECT_EQ(sink_.events.size(), 2u) << "delivered to an unadvised sink";
}

TEST_F(HeadlessBrowserTest, AReleasedBrowserRaisesNothing) {
  advise();
  ASSERT_EQ(navigate(u"about:blank"), S_OK);
  point_->Unadvise(cookie_);
  point_->Release();
  point_ = nullptr;
  browser_->Release();
  browser_ = nullptr;
  EXPECT_EQ(headless_browser::live_browsers(), 0);
  pump();
  EXPECT_TRUE(sink_.events.empty());
}

TEST_F(HeadlessBrowserTest, InsertionsAreRecordedAndAppendedUntilTheNextNavigate) {
  ASSERT_EQ(navigate(u"about:blank"), S_OK);
  IDispatch *element = body();
  ASSERT_NE(element, nullptr);
  Arg where(u"beforeEnd"), first(u"<b>caf\u00e9</b>"), second(u"\u20ac");
  EXPECT_EQ(call(element, DISPID_HTMLELEMENT_INSERTADJACENTHTML, DISPATCH_METHOD, {&where, &first}), S_OK);
  EXPECT_EQ(call(element, DISPID_HTMLELEMENT_INSERTADJACENTHTML, DISPATCH_METHOD, {&where, &second}), S_OK);
  element->Release();

  const auto &recorded = headless_browser::insertions();
  ASSERT_EQ(recorded.size(), 2u);
  EXPECT_EQ(recorded[0].where_utf8, "beforeEnd");
  EXPECT_EQ(recorded[0].html_utf8, "<b>caf\xc3\xa9</b>");
  EXPECT_EQ(recorded[1].html, u"\u20ac");
  EXPECT_EQ(headless_browser::newest_body_html(), u"<b>caf\u00e9</b>\u20ac");

  ASSERT_EQ(navigate(u"about:blank"), S_OK);
  EXPECT_EQ(headless_browser::newest_body_html(), u"") << "a new page keeps the old content";
  EXPECT_EQ(headless_browser::navigations().size(), 2u);
}

TEST_F(HeadlessBrowserTest, ScrollSizesAreTheValuesTheTestSet) {
  ASSERT_EQ(navigate(u"about:blank"), S_OK);
  IDispatch *element = body();
  ASSERT_NE(element, nullptr);
  headless_browser::set_scroll_size(640, 480);
  Arg width(u"scrollWidth"), height(u"scrollHeight"), other(u"title"), flags(0);
  VARIANT result;
  VariantInit(&result);
  ASSERT_EQ(call(element, DISPID_HTMLELEMENT_GETATTRIBUTE, DISPATCH_METHOD, {&width, &flags}, &result), S_OK);
  EXPECT_EQ(result.vt, VT_I4);
  EXPECT_EQ(result.lVal, 640);
  ASSERT_EQ(call(element, DISPID_HTMLELEMENT_GETATTRIBUTE, DISPATCH_METHOD, {&height, &flags}, &result), S_OK);
  EXPECT_EQ(result.lVal, 480);
  ASSERT_EQ(call(element, DISPID_HTMLELEMENT_GETATTRIBUTE, DISPATCH_METHOD, {&other, &flags}, &result), S_OK);
  EXPECT_EQ(result.vt, VT_NULL);

  Arg text(u"abc");
  headless_browser::set_scroll_values(text.v, text.v);
  ASSERT_EQ(call(element, DISPID_HTMLELEMENT_GETATTRIBUTE, DISPATCH_METHOD, {&width, &flags}, &result), S_OK);
  ASSERT_EQ(result.vt, VT_BSTR);
  EXPECT_EQ(std::u16string(result.bstrVal), u"abc");
  EXPECT_NE(result.bstrVal, text.v.bstrVal) << "the stored value is handed out instead of a copy";
  VariantClear(&result);
  element->Release();
}

TEST_F(HeadlessBrowserTest, MalformedCallsAreRefused) {
  ASSERT_EQ(navigate(u"about:blank"), S_OK);
  IDispatch *element = body();
  ASSERT_NE(element, nullptr);
  Arg where(u"beforeEnd"), html(u"x"), number(7), elsewhere(u"afterBegin");
  VARIANT empty;
  VariantInit(&empty);
  Arg ref(&empty);
  struct Case {
    const char *what;
    IDispatch *object;
    DISPID dispid;
    WORD flags;
    std::vector<const Arg *> args;
    HRESULT expected;
  } cases[] = {
      {"navigate without options", browser_, DISPID_WEBBROWSER_NAVIGATE, DISPATCH_METHOD, {&html}, DISP_E_BADPARAMCOUNT},
      {"navigate to a number", browser_, DISPID_WEBBROWSER_NAVIGATE, DISPATCH_METHOD, {&number, &ref, &ref, &ref, &ref},
       DISP_E_TYPEMISMATCH},
      {"document as a method", browser_, DISPID_WEBBROWSER_DOCUMENT, DISPATCH_METHOD, {}, DISP_E_MEMBERNOTFOUND},
      {"unknown member", browser_, 999, DISPATCH_METHOD, {}, DISP_E_MEMBERNOTFOUND},
      {"insert one argument", element, DISPID_HTMLELEMENT_INSERTADJACENTHTML, DISPATCH_METHOD, {&html},
       DISP_E_BADPARAMCOUNT},
      {"insert a number", element, DISPID_HTMLELEMENT_INSERTADJACENTHTML, DISPATCH_METHOD, {&where, &number},
       DISP_E_TYPEMISMATCH},
      {"insert elsewhere", element, DISPID_HTMLELEMENT_INSERTADJACENTHTML, DISPATCH_METHOD, {&elsewhere, &html},
       E_INVALIDARG},
      {"attribute flags as text", element, DISPID_HTMLELEMENT_GETATTRIBUTE, DISPATCH_METHOD, {&where, &html},
       DISP_E_TYPEMISMATCH},
  };
  for (const Case &c : cases) {
    VARIANT result;
    VariantInit(&result);
    EXPECT_EQ(call(c.object, c.dispid, c.flags, c.args, &result), c.expected) << c.what;
    VariantClear(&result);
  }
  EXPECT_TRUE(headless_browser::insertions().empty());
  element->Release();
}

TEST_F(HeadlessBrowserTest, InjectedFailuresReachTheCaller) {
  ASSERT_EQ(navigate(u"about:blank"), S_OK);

  headless_browser::return_null_document(true);
  EXPECT_EQ(body(), nullptr);
  headless_browser::return_null_document(false);

  headless_browser::refuse_document_interface(true);
  EXPECT_EQ(body(), nullptr);
  headless_browser::refuse_document_interface(false);

  headless_browser::return_null_body(true);
  EXPECT_EQ(body(), nullptr);
  headless_browser::return_null_body(false);

  IDispatch *element = body();
  ASSERT_NE(element, nullptr);
  headless_browser::fail_call(DISPID_HTMLELEMENT_INSERTADJACENTHTML, E_OUTOFMEMORY, 1);
  Arg where(u"beforeEnd"), html(u"x");
  EXPECT_EQ(call(element, DISPID_HTMLELEMENT_INSERTADJACENTHTML, DISPATCH_METHOD, {&where, &html}), S_OK);
  EXPECT_EQ(call(element, DISPID_HTMLELEMENT_INSERTADJACENTHTML, DISPATCH_METHOD, {&where, &html}), E_OUTOFMEMORY);
  EXPECT_EQ(call(element, DISPID_HTMLELEMENT_INSERTADJACENTHTML, DISPATCH_METHOD, {&where, &html}), E_OUTOFMEMORY);
  EXPECT_EQ(headless_browser::insertions().size(), 1u) << "a failed call was recorded";
  element->Release();

  headless_browser::fail_creation(MAKE_HRESULT_VALUE(0x80070005u));
  void *pv = nullptr;
  EXPECT_EQ(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, &pv),
            MAKE_HRESULT_VALUE(0x80070005u));
  EXPECT_EQ(pv, nullptr);
  EXPECT_EQ(headless_browser::live_browsers(), 1);
}

}  // namespace
