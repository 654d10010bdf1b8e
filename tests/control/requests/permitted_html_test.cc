// permitted_html_test.cc - catches HTML vetting that lets a forbidden tag through, refuses a permitted one, or misreads where a tag ends.
#include "control/requests/permitted_html.h"

#include <gtest/gtest.h>

#include <cctype>
#include <string>

namespace {

struct VettingCase {
  const char *text;
  bool permitted;
};

class PermittedHtmlTest : public testing::TestWithParam<VettingCase> {};

TEST_P(PermittedHtmlTest, Judges) {
  const VettingCase &c = GetParam();
  EXPECT_EQ(IsPermittedHtml(c.text) != FALSE, c.permitted) << '"' << c.text << '"';
}

// Texts without tags, names in any case, white space that ends a name, and attributes.
INSTANTIATE_TEST_SUITE_P(Permitted, PermittedHtmlTest,
                         testing::Values(VettingCase{"", true}, VettingCase{"plain text, no tags", true},
                                         VettingCase{"<P>Hola</P>", true}, VettingCase{"<b>x</B>", true},
                                         VettingCase{"<p>a<P>b</p>", true},
                                         VettingCase{"<BOLD>x</bold>", true}, VettingCase{"<br />", true},
                                         VettingCase{"<p\t>x</p\r\n>", true}, VettingCase{"<td\nnowrap>", true},
                                         VettingCase{"<font face=Arial>x</font>", true},
                                         VettingCase{"<font color=red>", true}, VettingCase{"a > b", true},
                                         VettingCase{"<strong>x</strong><pre>y</pre>", true},
                                         VettingCase{"<font title=\"<script>\">", true},
                                         VettingCase{"&lt;script&gt; &amp;", true},
                                         VettingCase{"<table><tr><th>h</th><td>d</td></tr></table>", true},
                                         VettingCase{"<ol><li>1</li></ol><ul><li>2</li></ul><dl><dt>t</dt><dd>d</dd></dl>", true},
                                         VettingCase{"<h1><h2><h3><h4><h5><h6><hr><i><em><tt>", true},
                                         VettingCase{"</b></b></b>", true}));

// Forbidden names, broken tags, and the forms the name rule refuses.
INSTANTIATE_TEST_SUITE_P(Refused, PermittedHtmlTest,
                         testing::Values(VettingCase{"a < b", false}, VettingCase{"<", false},
                                         VettingCase{"text</", false}, VettingCase{"<p>text</p", false},
                                         VettingCase{"<p", false}, VettingCase{"<br/>", false},
                                         VettingCase{"<>", false}, VettingCase{"</>", false},
                                         VettingCase{"< b>", false}, VettingCase{"</ b>", false},
                                         VettingCase{"<//b>", false}, VettingCase{"<b<i>", false},
                                         VettingCase{"<U>", false}, VettingCase{"<A HREF=x>", false},
                                         VettingCase{"<IMG SRC=x>", false}, VettingCase{"<SCRIPT>", false},
                                         VettingCase{"<DIV>", false}, VettingCase{"<SPAN>", false},
                                         VettingCase{"<html>", false}, VettingCase{"<body>", false},
                                         VettingCase{"<center>", false}, VettingCase{"<style>", false},
                                         VettingCase{"<!-- x -->", false}, VettingCase{"<!DOCTYPE html>", false},
                                         VettingCase{"<strongx>", false}, VettingCase{"<H7>", false},
                                         VettingCase{"<b>ok</b> then <script>", false},
                                         VettingCase{"<font title=\"a>b\"><script>", false},
                                         VettingCase{"<tablex border=1>", false}, VettingCase{"<p>\xe9<\xe9>", false},
                                         VettingCase{"<p>a<P>b</pP>", false}));

TEST(PermittedHtml, NullCountsAsTheEmptyText) { EXPECT_TRUE(IsPermittedHtml(nullptr)); }

// The list is the one source of the names: each of the 27 is permitted alone, in lower case
// and as a closing tag, and the list closes with the empty string.
TEST(PermittedHtml, EveryListedNameIsPermitted) {
  int count = 0;
  for (const char *const *tag = g_permittedTags; **tag != '\0'; ++tag, ++count) {
    std::string lower = *tag;
    for (char &c : lower) c = char(tolower(c));
    // std::string("<") + ..., not "<" + std::string(...): g++ 12 at -O3 warns falsely (restrict) on
    // a literal put before a temporary string.
    EXPECT_TRUE(IsPermittedHtml((std::string("<") + *tag + ">").c_str())) << *tag;
    EXPECT_TRUE(IsPermittedHtml(("</" + lower + " x=1>").c_str())) << lower;
    EXPECT_FALSE(IsPermittedHtml((std::string("<") + *tag + "X>").c_str())) << *tag;
  }
  EXPECT_EQ(count, 27);
}

// A text is cut at its NUL, as the request's 8-bit strings are.
TEST(PermittedHtml, StopsAtTheTerminator) {
  const char text[] = "<b>x</b>\0<script>";
  EXPECT_TRUE(IsPermittedHtml(text));
}

}  // namespace
