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

HRESULT make_browser(browser::WebBrowserControl **control) {
  if (FAILED(settings().creation_result)) return settings().creation_result;
  *control = new WebBrowser;
  return S_OK;
}

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
int live_browsers() { return static_cast<int>(live_browsers_list().size()); }

std::u16string newest_body_html() {
  const std::vector<WebBrowser *> live = live_browsers_list();
  if (live.empty() || live.back()->document() == nullptr) return std::u16string();
  const std::string &html = live.back()->document()->body().html();
  return codepage::utf16_from_utf8_replacing(reinterpret_cast<const uint8_t *>(html.data()), html.size());
}

int raise_document_complete() {
  int queued = 0;
  for (WebBrowser *browser : live_browsers_list())
    if (browser->document() != nullptr) queued += browser->QueueDocumentComplete() ? 1 : 0;
  return queued;
}

}  // namespace headless_browser

void register_headless_browser() {
  static browser::BrowserFactory factory(headless_browser::make_browser);
  static const bool registered = [] {
    headless_browser::reset();
    return browser::register_browser_factory(factory);
  }();
  (void)registered;
}
