// web_page.h - the preview's page on WebKitGTK: an inert empty page, HTML appended to its body in one parse per filling, and the body's properties as the engine lays it out.
#pragma once

#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <functional>
#include <string>

#include "platform/com/com_types.h"

namespace browser::webkit {

// The page shows text that a web site chose and that only the tag names were vetted in, so it
// is inert: no script of its own runs (markup script is off; our calls still run), it loads
// nothing (a content security policy refuses every network, file and data load, and images are
// not loaded), it never navigates away from itself or opens windows, and it has no context
// menu. Everything runs on the toolkit's thread.
class WebPage {
 public:
  // `loaded` runs each time a load of the empty page ends, whether it succeeded or not.
  explicit WebPage(std::function<void()> loaded);
  ~WebPage();
  WebPage(const WebPage &) = delete;
  WebPage &operator=(const WebPage &) = delete;

  GtkWidget *widget() const { return GTK_WIDGET(view_); }
  // Starts loading the empty page ("about:blank"); what was appended and not yet parsed is dropped.
  void load_blank();
  // Whether the empty page failed to load, or the engine's process behind it ended.
  bool broken() const { return broken_; }

  // Appends `html` to what goes at the end of the body. Appended pieces are parsed together at
  // the next flush, so that a tag or an entity cut between two pieces is read whole; true when
  // this piece starts a new filling (nothing was waiting).
  bool append_html(const std::u16string &html);
  // Parses what was appended, at the end of the body; false when the engine failed.
  bool flush();
  // The body's property `name` (or, if it has none, its attribute) as laid out now: VT_I4 for a
  // 32-bit whole number, VT_BOOL, VT_BSTR for a string or any other number, or VT_NULL.
  // Flushes first.
  HRESULT body_property(const std::u16string &name, VARIANT *result);

 private:
  // Runs `body` as an async function of `arguments` in the page and waits for its value, with
  // the toolkit's loop running; null when it failed or the page broke.
  JSCValue *call(const char *body, GVariant *arguments);
  static gboolean on_decide_policy(WebKitWebView *view, WebKitPolicyDecision *decision, WebKitPolicyDecisionType type,
                                   WebPage *page);
  static void on_load_changed(WebKitWebView *view, WebKitLoadEvent event, WebPage *page);
  static gboolean on_load_failed(WebKitWebView *view, WebKitLoadEvent event, gchar *uri, GError *error, WebPage *page);
  static void on_process_ended(WebKitWebView *view, WebKitWebProcessTerminationReason reason, WebPage *page);

  std::function<void()> loaded_;
  WebKitWebView *view_;   // one reference of ours
  bool loading_ = false;  // our own load of the empty page is under way: the one navigation allowed
  bool broken_ = false;
  std::u16string pending_;
};

}  // namespace browser::webkit
