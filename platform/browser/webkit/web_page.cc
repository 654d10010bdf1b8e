// web_page.cc - the inert preview page: its settings and policies, its loads, and calls into it that wait for their answer.
#include "platform/browser/webkit/web_page.h"

#include <cstring>
#include <memory>

#include "platform/codepage/utf8.h"
#include "platform/com/bstr.h"
#include "platform/com/variant.h"

namespace browser::webkit {

namespace {

// What "about:blank" holds, as the original control's empty page: no doctype (so the page is in
// quirks mode and the body's scroll size is the page's), and the policy that makes it load
// nothing. Inline styles still apply; what they would fetch does not.
constexpr char kBlankPage[] =
    "<html><head><meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
    "style-src 'unsafe-inline'; form-action 'none'; base-uri 'none'\"></head><body></body></html>";
constexpr char kBlankUri[] = "about:blank";

// A call into the page longer than this means the engine is stuck; the dialog then reports a
// failed preview rather than hanging.
constexpr guint kCallTimeoutMs = 15000;

WebKitWebContext *preview_context() {
  // Ephemeral: nothing of a preview is kept on disk (cache, cookies, storage).
  static WebKitWebContext *context = [] {
    WebKitWebContext *created = webkit_web_context_new_ephemeral();
    webkit_web_context_set_cache_model(created, WEBKIT_CACHE_MODEL_DOCUMENT_VIEWER);
    return created;
  }();
  return context;
}

WebKitSettings *inert_settings() {
  WebKitSettings *settings = webkit_settings_new();
  webkit_settings_set_enable_javascript(settings, TRUE);          // for our own calls only:
  webkit_settings_set_enable_javascript_markup(settings, FALSE);  // no script, handler or javascript: URL of the page's
  webkit_settings_set_auto_load_images(settings, FALSE);
  webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
  webkit_settings_set_javascript_can_access_clipboard(settings, FALSE);
  webkit_settings_set_allow_file_access_from_file_urls(settings, FALSE);
  webkit_settings_set_allow_universal_access_from_file_urls(settings, FALSE);
  webkit_settings_set_enable_html5_local_storage(settings, FALSE);
  webkit_settings_set_enable_html5_database(settings, FALSE);
  webkit_settings_set_enable_page_cache(settings, FALSE);
  webkit_settings_set_enable_media(settings, FALSE);
  webkit_settings_set_enable_webaudio(settings, FALSE);
  webkit_settings_set_enable_webgl(settings, FALSE);
  webkit_settings_set_enable_fullscreen(settings, FALSE);
  webkit_settings_set_enable_developer_extras(settings, FALSE);
  webkit_settings_set_enable_write_console_messages_to_stdout(settings, FALSE);
  return settings;
}

gboolean refuse_context_menu(WebKitWebView *, WebKitContextMenu *, GdkEvent *, WebKitHitTestResult *, gpointer) {
  return TRUE;
}

// The state of one call, shared by the waiting caller and the engine's answer, which may come
// after the caller gave up.
struct CallState {
  bool done = false;
  JSCValue *value = nullptr;
};

void call_finished(GObject *view, GAsyncResult *result, gpointer data) {
  std::unique_ptr<std::shared_ptr<CallState>> state(static_cast<std::shared_ptr<CallState> *>(data));
  (*state)->value = webkit_web_view_call_async_javascript_function_finish(WEBKIT_WEB_VIEW(view), result, nullptr);
  (*state)->done = true;
}

gboolean call_timed_out(gpointer data) {
  *static_cast<bool *>(data) = true;
  return G_SOURCE_REMOVE;
}

GVariant *string_argument(const char *key, const std::u16string &text) {
  GVariantDict arguments;
  g_variant_dict_init(&arguments, nullptr);
  g_variant_dict_insert(&arguments, key, "s", codepage::utf8_from_utf16(text).c_str());
  return g_variant_dict_end(&arguments);
}

}  // namespace

WebPage::WebPage(std::function<void()> loaded) : loaded_(std::move(loaded)) {
  WebKitSettings *settings = inert_settings();
  view_ = WEBKIT_WEB_VIEW(
      g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", preview_context(), "settings", settings, nullptr));
  g_object_unref(settings);
  g_object_ref_sink(view_);
  g_signal_connect(view_, "decide-policy", G_CALLBACK(on_decide_policy), this);
  g_signal_connect(view_, "load-changed", G_CALLBACK(on_load_changed), this);
  g_signal_connect(view_, "load-failed", G_CALLBACK(on_load_failed), this);
  g_signal_connect(view_, "web-process-terminated", G_CALLBACK(on_process_ended), this);
  g_signal_connect(view_, "context-menu", G_CALLBACK(refuse_context_menu), nullptr);
}

WebPage::~WebPage() {
  g_signal_handlers_disconnect_by_data(view_, this);
  gtk_widget_destroy(GTK_WIDGET(view_));
  g_object_unref(view_);
}

void WebPage::load_blank() {
  pending_.clear();
  broken_ = false;
  loading_ = true;
  webkit_web_view_load_html(view_, kBlankPage, kBlankUri);
}

bool WebPage::append_html(const std::u16string &html) {
  const bool starts_filling = pending_.empty();
  pending_ += html;
  return starts_filling && !html.empty();
}

bool WebPage::flush() {
  if (pending_.empty()) return !broken_;
  GVariant *arguments = string_argument("html", pending_);
  pending_.clear();
  JSCValue *value = call("document.body.insertAdjacentHTML('beforeend', html); return true;", arguments);
  if (value == nullptr) return false;
  g_object_unref(value);
  return true;
}

HRESULT WebPage::body_property(const std::u16string &name, VARIANT *result) {
  if (!flush()) return E_FAIL;
  JSCValue *value = call("const body = document.body; return name in body ? body[name] : body.getAttribute(name);",
                         string_argument("name", name));
  if (value == nullptr) return E_FAIL;
  VariantInit(result);
  const double number = jsc_value_is_number(value) ? jsc_value_to_double(value) : 0;
  if (jsc_value_is_number(value) && number >= -2147483648.0 && number <= 2147483647.0 &&
      number == static_cast<double>(static_cast<LONG>(number))) {
    result->vt = VT_I4;
    result->lVal = static_cast<LONG>(number);
  } else if (jsc_value_is_boolean(value)) {
    result->vt = VT_BOOL;
    result->boolVal = jsc_value_to_boolean(value) ? VARIANT_TRUE : VARIANT_FALSE;
  } else if (jsc_value_is_string(value) || jsc_value_is_number(value)) {
    // A string, or a number that is no 32-bit integer, in its text form.
    gchar *utf8 = jsc_value_to_string(value);
    const std::u16string text =
        codepage::utf16_from_utf8_replacing(reinterpret_cast<const uint8_t *>(utf8), strlen(utf8));
    g_free(utf8);
    result->vt = VT_BSTR;
    result->bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  } else {
    result->vt = VT_NULL;  // an attribute the element does not have
  }
  g_object_unref(value);
  return S_OK;
}

JSCValue *WebPage::call(const char *body, GVariant *arguments) {
  if (broken_) {
    g_variant_unref(g_variant_ref_sink(arguments));
    return nullptr;
  }
  auto state = std::make_shared<CallState>();
  webkit_web_view_call_async_javascript_function(view_, body, -1, arguments, nullptr, nullptr, nullptr, call_finished,
                                                 new std::shared_ptr<CallState>(state));
  bool timed_out = false;
  const guint timer = g_timeout_add(kCallTimeoutMs, call_timed_out, &timed_out);
  // The answer comes through the toolkit's loop. What the person does meanwhile only queues
  // window messages, which the dialog handles after this call has returned.
  while (!state->done && !timed_out && !broken_) g_main_context_iteration(nullptr, TRUE);
  if (!timed_out) g_source_remove(timer);
  if (!state->done) return nullptr;
  JSCValue *value = state->value;
  state->value = nullptr;
  return value;
}

gboolean WebPage::on_decide_policy(WebKitWebView *, WebKitPolicyDecision *decision, WebKitPolicyDecisionType type,
                                   WebPage *page) {
  if (type == WEBKIT_POLICY_DECISION_TYPE_NAVIGATION_ACTION && page->loading_) {
    // Our own load of the empty page; every other navigation (links, forms, refreshes, frames)
    // and every new window is refused.
    webkit_policy_decision_use(decision);
    return TRUE;
  }
  if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
    webkit_policy_decision_use(decision);
    return TRUE;
  }
  webkit_policy_decision_ignore(decision);
  return TRUE;
}

void WebPage::on_load_changed(WebKitWebView *, WebKitLoadEvent event, WebPage *page) {
  if (event == WEBKIT_LOAD_COMMITTED) page->loading_ = false;
  if (event != WEBKIT_LOAD_FINISHED) return;
  page->loading_ = false;
  page->loaded_();
}

gboolean WebPage::on_load_failed(WebKitWebView *, WebKitLoadEvent, gchar *, GError *, WebPage *page) {
  page->broken_ = true;
  return FALSE;  // load-changed FINISHED follows
}

void WebPage::on_process_ended(WebKitWebView *, WebKitWebProcessTerminationReason, WebPage *page) {
  page->broken_ = true;
  // A load under way never finishes now: report the end, so that the dialog does not wait.
  if (page->loading_) {
    page->loading_ = false;
    page->loaded_();
  }
}

}  // namespace browser::webkit
