// html_text_test.cc - catches a text rendering of HTML that shows markup or hides text, joins what a browser shows apart or splits what it joins, decodes references wrongly or leaves them raw, mishandles white space in and out of <pre>, or hangs, over-reads or overflows on hostile input.
#include "platform/browser/html_text.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/codepage/utf8.h"

namespace {

// The page's body as the browser holds it: UTF-8.
std::string html_text(const std::u16string &html) { return headless_browser::html_text(codepage::utf8_from_utf16(html)); }

struct Case {
  const char *what;
  std::u16string html;
  std::string text;  // Windows-1252
};

void expect_cases(const std::vector<Case> &cases) {
  for (const Case &c : cases) EXPECT_EQ(html_text(c.html), c.text) << c.what;
}

TEST(HtmlText, MarkupIsRemovedAndOnlyMarkup) {
  expect_cases({
      {"empty", u"", ""},
      {"tags inside a word join nothing", u"m<b>\u00F3</b>n <FONT color=red>i</font>", "m\xF3n i"},
      {"a quoted value may hold '>'", u"a<font face=\"x>y\" size='2>'>b</font>", "ab"},
      {"a quote not after '=' opens nothing", u"a<font x'y>b", "ab"},
      {"a comment, '>' inside", u"a<!-- <b> -> > -->b", "ab"},
      {"declarations and processing instructions", u"<!DOCTYPE html><?xml x?>a", "a"},
      {"'<' that starts no tag is text", u"1 < 2, 3 <= 4, <5", "1 < 2, 3 <= 4, <5"},
      {"'<' at the very end", u"a<", "a<"},
      {"\"</\" at the very end", u"a</", "a</"},
      {"\"</>\" shows nothing", u"a</>b", "ab"},
      {"an end tag that is no tag shows nothing", u"a</ x>b", "ab"},
      {"an unterminated tag drops the rest", u"a<b class=x", "a"},
      {"an unterminated quoted value drops the rest", u"a<b title=\"x>y", "a"},
      {"an unterminated comment drops the rest", u"a<!-- b", "a"},
  });
}

TEST(HtmlText, LinesEndWhereABrowserStartsANewOne) {
  expect_cases({
      {"br, in any case and self-closed", u"a<br>b<BR/>c<br />d", "a\r\nb\r\nc\r\nd"},
      {"br after br is an empty line", u"a<br><br>b", "a\r\n\r\nb"},
      {"paragraphs", u"<p>a</p><p>b</p>", "a\r\nb"},
      {"a paragraph left open", u"a<p>b<p>c", "a\r\nb\r\nc"},
      {"headings", u"<h1>1</h1><h2>2</h2><h3>3</h3><h4>4</h4><h5>5</h5><h6>6</h6>x", "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\nx"},
      {"list items, closed or not", u"<ul><li>Pay 100<li>0 EUR</ul><ol><li>a</li></ol>b", "Pay 100\r\n0 EUR\r\na\r\nb"},
      {"definition lists", u"<dl><dt>term</dt><dd>meaning</dd></dl>", "term\r\nmeaning"},
      {"rules", u"a<hr>b<hr size=2>", "a\r\nb"},
      {"table rows, cells apart", u"<table><tr><th>k</th><th>v</th></tr><tr><td>a</td><td>b</td></tr></table>c",
       "k v\r\na b\r\nc"},
      {"a final br starts no line", u"a<br>", "a"},
      {"a leading br is an empty line", u"<br>a", "\r\na"},
      {"inline tags end nothing", u"<b>a</b><i>b</i><em>c</em><tt>d</tt><strong>e</strong>", "abcde"},
  });
}

TEST(HtmlText, WhiteSpaceCollapsesOutsidePreOnly) {
  expect_cases({
      {"runs of every kind are one space", u"a \t\r\n\f b  c", "a b c"},
      {"none at the start or end of a line", u"  <p>  a  </p>  <p> b </p>  ", "a\r\nb"},
      {"none around a br", u"a <br> b", "a\r\nb"},
      {"a space between tags stays", u"<b>a</b> <i>b</i>", "a b"},
      {"nbsp is not white space", u"a&nbsp;&nbsp;b &nbsp;", "a\xA0\xA0" "b \xA0"},
      {"pre keeps spaces and tabs", u"<pre>  a  \tb</pre>", "  a  \tb"},
      {"pre turns LF, CR LF and CR into CR LF", u"<pre>a\nb\r\nc\rd</pre>", "a\r\nb\r\nc\r\nd"},
      {"a break just after <pre> is markup", u"<pre>\na</pre><pre>\r\nb</pre>", "a\r\nb"},
      {"a break before </pre> makes no empty line", u"<pre>a\n</pre>b", "a\r\nb"},
      {"nested pre ends with the outer one", u"<pre><pre>a</pre>  b</pre>  c", "a\r\n  b\r\nc"},
      {"a stray </pre> does not unbalance", u"</pre></pre><pre> a</pre> b  c", " a\r\nb c"},
  });
}

TEST(HtmlText, ReferencesAreDecodedOnlyWhenComplete) {
  expect_cases({
      {"named", u"&amp;&lt;&gt;&quot;&apos;", "&<>\"'"},
      {"decimal and hex, either x", u"&#65;&#x42;&#X43;&#x00e9;&#233;", "ABC\xE9\xE9"},
      {"128..159 name the 1252 characters", u"&#128;&#150;&#x9F;", "\x80\x96\x9F"},
      {"characters 1252 lacks: best fit, else ?", u"&#x20AC;&#937;&#x1F600;\u4E2D", "\x80O??"},
      {"no character: 0, surrogates, past Unicode", u"&#0;&#xD800;&#x110000;&#1114112;", "????"},
      {"huge numbers do not wrap", u"&#99999999999999999999999;&#x100000000041;", "??"},
      {"leading zeros", u"&#0000000000000000000065;", "A"},
      {"no ';' leaves the text", u"AT&T &amp &#65 &#x; &#; &#xZ;", "AT&T &amp &#65 &#x; &#; &#xZ;"},
      {"unknown and wrongly cased names stay", u"&copy; &AMP; &", "&copy; &AMP; &"},
      {"a decoded '<' starts no tag", u"&lt;b&gt;x&lt;/b&gt;", "<b>x</b>"},
      {"references in pre", u"<pre>&lt; &amp;</pre>", "< &"},
      {"at the very end", u"a&", "a&"},
  });
}

TEST(HtmlText, TextIsConvertedTo1252) {
  expect_cases({
      {"Latin-1 and the 1252 extras", u"\u00E7\u00E0 \u20AC \u201Cx\u201D", "\xE7\xE0 \x80 \x93x\x94"},
      {"outside 1252, a surrogate pair as one", u"\u4E2D \U0001F600 \xD800", "? ? ?"},
      {"NUL is no end of the text", std::u16string(u"a\0b", 3), "a?b"},
  });
}

// Inputs much longer than anything real: finished, and in time linear in their size (a rescan
// per '<' or '&' would take minutes under the sanitizers).
TEST(HtmlText, HostileInputsOfAMillionCharactersFinish) {
  const size_t n = 1 << 20;
  struct Long {
    const char *what;
    std::u16string html;
    size_t text_size;
  } cases[] = {
      {"opening brackets", std::u16string(n, u'<'), n},
      {"unterminated end tags", [] {
         std::u16string s;
         while (s.size() < n) s += u"</";
         return s;
       }(), 0},  // the first "</<" opens a comment that never ends
      {"ampersands and hashes", [] {
         std::u16string s;
         while (s.size() < n) s += u"&#";
         return s;
       }(), n},
      {"one endless tag name", u"<" + std::u16string(n, u'a'), 0},
      {"a digit run without ';'", u"&#" + std::u16string(n, u'9'), n + 2},
      {"nested pre", [] {
         std::u16string s;
         while (s.size() < n) s += u"<pre>";
         return s + u"x";
       }(), 1},
  };
  for (const Long &c : cases) EXPECT_EQ(html_text(c.html).size(), c.text_size) << c.what;
}

}  // namespace
