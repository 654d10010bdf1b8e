// headless_browser.h - the headless stand-in for the WebBrowser control: its registration and the controls tests drive it with.
#pragma once

#include <string>
#include <vector>

#include "platform/browser/web_browser.h"

// Puts CLSID_WebBrowser in the process's class table, served by the headless stand-in. Called
// when the headless window back end is chosen; calling it again does nothing.
void register_headless_browser();

// The stand-in lays nothing out: a document is a body whose content is the concatenation of the
// HTML inserted since the last Navigate, its measured size is whatever the test set, and what it
// shows is that content as plain text (html_text.h), the text of the window its container's
// site names, brought up to date when the message queue is pumped. All of it lives on the user-interface thread, as the real control does.
namespace headless_browser {

// One insertAdjacentHTML call as the body received it, and in UTF-8 for readable assertions.
struct Insertion {
  std::u16string where;
  std::u16string html;
  std::string where_utf8;
  std::string html_utf8;
};

// Back to defaults: creation succeeds, every call answers, scroll sizes 0 x 0 (a page that fits
// any window), nothing recorded (whether insertions are recorded stays as it is). Browsers still
// alive keep running with the new settings.
void reset();

// Whether insertions() records what is inserted, off until a test turns it on: a page of 100 MB
// would otherwise be held four times over for nobody.
void record_insertions(bool on);

// The next browsers' creation fails with hr.
void fail_creation(HRESULT hr);
// What getAttribute answers for "scrollWidth" and "scrollHeight"; the VARIANTs are copied.
void set_scroll_size(LONG width, LONG height);
void set_scroll_values(const VARIANT &width, const VARIANT &height);
// Document answers a null dispatch pointer; body answers null; the document refuses IHTMLDocument2.
void return_null_document(bool on);
void return_null_body(bool on);
void refuse_document_interface(bool on);
// Invoke of dispid on any of the stand-in's objects fails with hr after `successes_before`
// calls of it have succeeded.
void fail_call(DISPID dispid, HRESULT hr, int successes_before = 0);

// Every insertion since reset() while recording, in call order, across documents.
const std::vector<Insertion> &insertions();
// Every Navigate URL since reset(), in call order.
const std::vector<std::u16string> &navigations();
// Number of DocumentComplete events delivered to sinks since reset().
int completions();
// The body content of the most recently created browser still alive; empty if there is none.
std::u16string newest_body_html();
// Browser objects not yet finally released.
int live_browsers();
// Queues another DocumentComplete on every live browser that has navigated; returns how many.
int raise_document_complete();

}  // namespace headless_browser
