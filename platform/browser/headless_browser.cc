// headless_browser.cc - the stand-in's class factory, its registration in the process's class table, and the controls tests drive it with.
#include "platform/browser/browser_objects.h"
#include "platform/codepage/utf8.h"

namespace headless_browser {

Settings &settings() {
  static Settings *instance = new Settings;  // never destroyed: browsers may outlive static destruction
  return *instance;
}

HRESULT injected_failure(DISPID dispid) {
  auto found = settings().failures.find(dispid);
  if (found == settings().failures.end()) return S_OK;
  if (found->second.successes_left > 0) {
    --found->second.successes_left;
    return S_OK;
  }
  return found->second.hr;
}

namespace {

// Static, like a module's factory: creation and locking do not count references.
class BrowserFactory : public IClassFactory {
 public:
  HRESULT QueryInterface(REFIID riid, void **ppv) override {
    if (ppv == nullptr) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
      *ppv = static_cast<IClassFactory *>(this);
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  ULONG AddRef() override { return 2; }
  ULONG Release() override { return 1; }
  HRESULT CreateInstance(IUnknown *pUnkOuter, REFIID riid, void **ppv) override {
    if (ppv == nullptr) return E_POINTER;
    *ppv = nullptr;
    if (pUnkOuter != nullptr) return CLASS_E_NOAGGREGATION;
    if (FAILED(settings().creation_result)) return settings().creation_result;
    auto *browser = new WebBrowser;
    const HRESULT hr = browser->QueryInterface(riid, ppv);
    browser->Release();
    return hr;
  }
  HRESULT LockServer(BOOL) override { return S_OK; }
};

void set_scroll_value(VARIANT *slot, const VARIANT &value) {
  VariantClear(slot);
  VariantCopy(slot, &value);
}

}  // namespace

void reset() {
  Settings &s = settings();
  s.creation_result = S_OK;
  s.null_document = s.null_body = s.refuse_document_interface = false;
  s.failures.clear();
  s.insertions.clear();
  s.navigations.clear();
  s.completions = 0;
  set_scroll_size(0, 0);
}

void fail_creation(HRESULT hr) { settings().creation_result = hr; }

void record_insertions(bool on) { settings().record_insertions = on; }

void set_scroll_size(LONG width, LONG height) {
  VARIANT w, h;
  VariantInit(&w);
  VariantInit(&h);
  w.vt = h.vt = VT_I4;
  w.lVal = width;
  h.lVal = height;
  set_scroll_values(w, h);
}

void set_scroll_values(const VARIANT &width, const VARIANT &height) {
  set_scroll_value(&settings().scroll_width, width);
  set_scroll_value(&settings().scroll_height, height);
}

void return_null_document(bool on) { settings().null_document = on; }
void return_null_body(bool on) { settings().null_body = on; }
void refuse_document_interface(bool on) { settings().refuse_document_interface = on; }

void fail_call(DISPID dispid, HRESULT hr, int successes_before) {
  settings().failures[dispid] = Settings::Failure{hr, successes_before};
}

const std::vector<Insertion> &insertions() { return settings().insertions; }
const std::vector<std::u16string> &navigations() { return settings().navigations; }
int completions() { return settings().completions; }
int live_browsers() { return static_cast<int>(settings().live.size()); }

std::u16string newest_body_html() {
  const auto &live = settings().live;
  if (live.empty() || live.back()->document() == nullptr) return std::u16string();
  const std::string &html = live.back()->document()->body().html();
  return codepage::utf16_from_utf8_replacing(reinterpret_cast<const uint8_t *>(html.data()), html.size());
}

int raise_document_complete() {
  int queued = 0;
  for (WebBrowser *browser : settings().live) queued += browser->QueueDocumentComplete() ? 1 : 0;
  return queued;
}

}  // namespace headless_browser

void register_headless_browser() {
  static headless_browser::BrowserFactory factory;
  static const bool registered = [] {
    headless_browser::reset();
    DWORD cookie = 0;
    return SUCCEEDED(CoRegisterClassObject(CLSID_WebBrowser, &factory, CLSCTX_INPROC_SERVER, REGCLS_MULTIPLEUSE,
                                           &cookie));
  }();
  (void)registered;
}
