// html_text.h - the plain-text rendering of an HTML body that the browser stand-in shows in its host window.
#pragma once

#include <string>
#include <string_view>

namespace headless_browser {

// The text a reader sees of `html` (UTF-8; an ill-formed sequence reads as U+FFFD), in
// Windows-1252 with lines ended by CR LF:
// - tags and comments are removed; an unterminated one removes the rest of the input, as a
//   browser does at the end of a page; a '<' that cannot start a tag is text;
// - <br> ends a line; the start and end tags of the blocks (p, h1..h6, li, dt, dd, ul, ol, dl,
//   tr, table, pre, hr) end the line unless it is still empty, so "<li>1<li>2" shows two lines
//   and "</li></ul>" no empty one; cells (td, th) are apart by a space; a line end at the very
//   end is dropped, since it starts no line;
// - &amp; &lt; &gt; &quot; &apos; &nbsp; and &#NNN; / &#xHH; are decoded (with their ';'); any
//   other '&' is text. Numbers 128..159 name the 1252 characters of those bytes, as browsers
//   read them; numbers with no character (0, surrogates, past U+10FFFF) are U+FFFD;
// - outside <pre>, a run of white space is one space, and none at the start or end of a line;
//   inside, white space is kept and its line breaks become CR LF;
// - characters 1252 lacks become '?'.
// Linear in the input's length whatever it holds.
std::string html_text(std::string_view html);

}  // namespace headless_browser
