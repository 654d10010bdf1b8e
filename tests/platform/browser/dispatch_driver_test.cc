// dispatch_driver_test.cc - catches dispatch calls that marshal arguments in the wrong order or code page, leak or steal references, hide failures, or event sink maps that call the wrong handler or call one with mismatched arguments.
#include <gtest/gtest.h>

#include "platform/browser/headless_browser.h"
#include "platform/com/activation.h"
#include "platform/com/bstr.h"
#include "platform/com/variant.h"
#include "platform/framework/afx_disp_driver.h"
#include "platform/framework/afx_event_sink.h"
#include "platform/framework/afx_string.h"

namespace {

// The driver is exercised on the headless browser's body element: a real IDispatch that records
// what it received and answers what the test set.
class DispatchDriverTest : public ::testing::Test {
 protected:
  void SetUp() override {
    register_headless_browser();
    headless_browser::reset();
    headless_browser::record_insertions(true);
    void *pv = nullptr;
    ASSERT_EQ(CoCreateInstance(CLSID_WebBrowser, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch, &pv), S_OK);
    browser_.AttachDispatch(static_cast<LPDISPATCH>(pv));
    VARIANT empty;
    VariantInit(&empty);
    static const BYTE navigate[] = VTS_BSTR VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT VTS_PVARIANT;
    ASSERT_EQ(browser_.InvokeHelper(DISPID_WEBBROWSER_NAVIGATE, DISPATCH_METHOD, VT_EMPTY, nullptr, navigate,
                                    "about:blank", &empty, &empty, &empty, &empty),
              S_OK);
    LPDISPATCH document = nullptr;
    ASSERT_EQ(browser_.GetProperty(DISPID_WEBBROWSER_DOCUMENT, VT_DISPATCH, &document), S_OK);
    ASSERT_NE(document, nullptr);
    COleDispatchDriver driver(document);
    LPDISPATCH body = nullptr;
    ASSERT_EQ(driver.GetProperty(DISPID_HTMLDOCUMENT_BODY, VT_DISPATCH, &body), S_OK);
    body_.AttachDispatch(body);
  }
  void TearDown() override {
    body_.ReleaseDispatch();
    browser_.ReleaseDispatch();
    EXPECT_EQ(headless_browser::live_browsers(), 0) << "a reference was leaked";
  }

  HRESULT insert(LPCSTR where, LPCSTR html) {
    static const BYTE params[] = VTS_BSTR VTS_BSTR;
    return body_.InvokeHelper(DISPID_HTMLELEMENT_INSERTADJACENTHTML, DISPATCH_METHOD, VT_EMPTY, nullptr, params,
                              where, html);
  }
  HRESULT attribute(LPCSTR name, VARTYPE vtRet, void *pvRet) {
    static const BYTE params[] = VTS_BSTR VTS_I4;
    return body_.InvokeHelper(DISPID_HTMLELEMENT_GETATTRIBUTE, DISPATCH_METHOD, vtRet, pvRet, params, name,
                              static_cast<LONG>(0));
  }

  COleDispatchDriver browser_;
  COleDispatchDriver body_;
};

TEST_F(DispatchDriverTest, EightBitArgumentsArriveInOrderAsUtf16OfCodePage1252) {
  ASSERT_EQ(insert("beforeEnd", "caf\xe9 \x80 \x93"), S_OK);
  ASSERT_EQ(insert("beforeEnd", nullptr), S_OK);
  const auto &recorded = headless_browser::insertions();
  ASSERT_EQ(recorded.size(), 2u);
  EXPECT_EQ(recorded[0].where, u"beforeEnd");
  EXPECT_EQ(recorded[0].html, u"caf\u00e9 \u20ac \u201c");
  EXPECT_EQ(recorded[1].html, u"") << "a null string is passed as a null BSTR";
}

TEST_F(DispatchDriverTest, ResultsAreConvertedToTheRequestedTypeOrReportedAsMismatches) {
  VARIANT text;
  VariantInit(&text);
  text.vt = VT_BSTR;
  text.bstrVal = SysAllocString(u" 123");
  VARIANT word;
  VariantInit(&word);
  word.vt = VT_BSTR;
  word.bstrVal = SysAllocString(u"caf\u00e9");
  headless_browser::set_scroll_values(text, word);
  VariantClear(&text);
  VariantClear(&word);

  LONG number = -1;
  EXPECT_EQ(attribute("scrollWidth", VT_I4, &number), S_OK);
  EXPECT_EQ(number, 123);
  number = -1;
  EXPECT_EQ(attribute("scrollHeight", VT_I4, &number), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(number, -1) << "a failed conversion wrote the result";
  CString string;
  EXPECT_EQ(attribute("scrollHeight", VT_BSTR, &string), S_OK);
  EXPECT_EQ(string, "caf\xe9");
  LPDISPATCH dispatch = nullptr;
  EXPECT_EQ(attribute("scrollHeight", VT_DISPATCH, &dispatch), DISP_E_TYPEMISMATCH);
  EXPECT_EQ(dispatch, nullptr);
  VARIANT any;
  VariantInit(&any);
  EXPECT_EQ(attribute("scrollHeight", VT_VARIANT, &any), S_OK);
  EXPECT_EQ(any.vt, VT_BSTR);
  VariantClear(&any);
}

TEST_F(DispatchDriverTest, FailuresAreReturnedNotSwallowed) {
  headless_browser::fail_call(DISPID_HTMLELEMENT_INSERTADJACENTHTML, E_OUTOFMEMORY);
  EXPECT_EQ(insert("beforeEnd", "x"), E_OUTOFMEMORY);
  EXPECT_EQ(body_.InvokeHelper(12345, DISPATCH_METHOD, VT_EMPTY, nullptr, nullptr), DISP_E_MEMBERNOTFOUND);
  static const BYTE unknown_type[] = "\x07";
  EXPECT_EQ(body_.InvokeHelper(DISPID_HTMLELEMENT_INSERTADJACENTHTML, DISPATCH_METHOD, VT_EMPTY, nullptr, unknown_type,
                               1.0),
            DISP_E_BADVARTYPE);
  EXPECT_EQ(body_.InvokeHelper(DISPID_HTMLELEMENT_GETATTRIBUTE, DISPATCH_METHOD, VT_I4, nullptr, nullptr), E_POINTER);
  COleDispatchDriver empty;
  EXPECT_EQ(empty.GetProperty(DISPID_WEBBROWSER_DOCUMENT, VT_DISPATCH, nullptr), E_POINTER);
  EXPECT_TRUE(headless_browser::insertions().empty());
}

// A window-like base with the hook the event sink map overrides.
class EventTarget {
 public:
  virtual ~EventTarget() = default;
  virtual BOOL OnCmdMsgEvent(UINT, DISPID, DISPPARAMS *) {
    ++unhandled;
    return FALSE;
  }
  int unhandled = 0;
};

class EventWindow : public EventTarget {
 public:
  struct Call {
    const char *handler;
    LPDISPATCH dispatch;
    VARIANT *variant;
    LONG number;
  };
  std::vector<Call> calls;

 private:
  void OnComplete(LPDISPATCH pDisp, VARIANT *pUrl) { calls.push_back({"complete", pDisp, pUrl, 0}); }
  BOOL OnCount(LONG n) {
    calls.push_back({"count", nullptr, nullptr, n});
    return TRUE;
  }
  DECLARE_EVENTSINK_MAP()
};

BEGIN_EVENTSINK_MAP(EventWindow, EventTarget)
ON_EVENT(EventWindow, 101, 259, OnComplete, VTS_DISPATCH VTS_PVARIANT)
ON_EVENT(EventWindow, 102, 7, OnCount, VTS_I4)
END_EVENTSINK_MAP()

TEST(EventSinkMapTest, EventsReachTheirHandlerWithTheirArgumentsAndNothingElseDoes) {
  IDispatch *const source = reinterpret_cast<IDispatch *>(0x1000);
  VARIANT url;
  VariantInit(&url);
  VARIANT byref[2];  // last first: URL by reference, then the dispatch pointer
  VariantInit(&byref[0]);
  VariantInit(&byref[1]);
  byref[0].vt = VT_VARIANT | VT_BYREF;
  byref[0].pvarVal = &url;
  byref[1].vt = VT_DISPATCH;
  byref[1].pdispVal = source;
  VARIANT byvalue[2] = {url, byref[1]};
  VARIANT number;
  VariantInit(&number);
  number.vt = VT_I4;
  number.lVal = 42;
  VARIANT wrong_type[2] = {byref[0], number};

  struct Case {
    const char *what;
    UINT id;
    DISPID dispid;
    VARIANT *args;
    UINT count;
    const char *handler;  // null: no handler runs
    BOOL handled;
  } cases[] = {
      {"URL by reference", 101, 259, byref, 2, "complete", TRUE},
      {"URL by value", 101, 259, byvalue, 2, "complete", TRUE},
      {"an I4 event", 102, 7, &number, 1, "count", TRUE},
      {"another control", 103, 259, byref, 2, nullptr, FALSE},
      {"another event", 101, 260, byref, 2, nullptr, FALSE},
      {"too few arguments", 101, 259, byref, 1, nullptr, TRUE},
      {"a number for the dispatch", 101, 259, wrong_type, 2, nullptr, TRUE},
  };
  for (const Case &c : cases) {
    EventWindow window;
    EventTarget &target = window;
    DISPPARAMS params{c.args, nullptr, c.count, 0};
    EXPECT_EQ(target.OnCmdMsgEvent(c.id, c.dispid, &params), c.handled) << c.what;
    EXPECT_EQ(window.unhandled, c.handled ? 0 : 1) << c.what;
    if (c.handler == nullptr) {
      EXPECT_TRUE(window.calls.empty()) << c.what;
      continue;
    }
    ASSERT_EQ(window.calls.size(), 1u) << c.what;
    EXPECT_STREQ(window.calls[0].handler, c.handler) << c.what;
    if (c.id == 101) {
      EXPECT_EQ(window.calls[0].dispatch, source) << c.what;
      EXPECT_EQ(window.calls[0].variant, c.args == byref ? &url : &byvalue[0]) << c.what;
    } else {
      EXPECT_EQ(window.calls[0].number, 42);
    }
  }
}

}  // namespace
