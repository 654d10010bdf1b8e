// html_text.cc - HTML body to plain 1252 text: markup skipped, character references decoded, white space collapsed and block ends turned into line ends.
#include "platform/browser/html_text.h"

#include <algorithm>
#include <cstdint>

#include "platform/codepage/code_page_1252.h"
#include "platform/codepage/utf8.h"

namespace headless_browser {
namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr uint32_t kPastUnicode = 0x110000;

bool is_space(char16_t c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool is_letter(char16_t c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char16_t lower(char16_t c) { return c >= 'A' && c <= 'Z' ? static_cast<char16_t>(c + ('a' - 'A')) : c; }

int digit_value(char16_t c, uint32_t base) {
  if (c >= '0' && c <= '9') return c - '0';
  if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Collects the text, holding back a space until a character follows it on the same line.
class Writer {
 public:
  void character(uint32_t code) {
    if (pending_space_ && !at_line_start_) out_ += u' ';
    pending_space_ = at_line_start_ = false;
    codepage::append_utf16(&out_, code);
  }
  void space() { pending_space_ = true; }
  void line_end() {
    out_ += u"\r\n";
    pending_space_ = false;
    at_line_start_ = true;
  }
  // The edge of a block: the line ends unless nothing is on it yet, so that neighbouring edges
  // make no empty lines.
  void block_edge() {
    if (!at_line_start_) line_end();
    pending_space_ = false;
  }
  std::u16string finish() {
    if (out_.ends_with(u"\r\n")) out_.resize(out_.size() - 2);
    return std::move(out_);
  }

 private:
  std::u16string out_;
  bool pending_space_ = false;
  bool at_line_start_ = true;
};

// The length of the character reference at html[i] (an '&') and its character in *code; 0 when
// what follows the '&' is not one of the references read.
size_t reference(std::u16string_view html, size_t i, uint32_t *code) {
  static constexpr struct {
    std::u16string_view name;
    uint32_t code;
  } kNamed[] = {{u"amp;", '&'}, {u"lt;", '<'}, {u"gt;", '>'}, {u"quot;", '"'}, {u"apos;", '\''}, {u"nbsp;", 0xA0}};
  const std::u16string_view rest = html.substr(i + 1);
  for (const auto &named : kNamed) {
    if (rest.starts_with(named.name)) {
      *code = named.code;
      return 1 + named.name.size();
    }
  }
  if (!rest.starts_with(u'#')) return 0;
  size_t j = 1;
  const uint32_t base = j < rest.size() && (rest[j] == 'x' || rest[j] == 'X') ? 16 : 10;
  if (base == 16) ++j;
  const size_t digits_start = j;
  uint32_t value = 0;
  for (int digit; j < rest.size() && (digit = digit_value(rest[j], base)) >= 0; ++j)
    value = std::min(value * base + static_cast<uint32_t>(digit), kPastUnicode);  // stays far below 2^32
  if (j == digits_start || j >= rest.size() || rest[j] != ';') return 0;
  if (value == 0 || value >= kPastUnicode || (value >= 0xD800 && value < 0xE000)) {
    value = kReplacement;
  } else if (value >= 0x80 && value < 0xA0) {
    value = codepage::utf16_from_ansi(std::string(1, static_cast<char>(value)))[0];
  }
  *code = value;
  return 1 + j + 1;
}

struct Tag {
  std::u16string name;  // lower case; empty for a comment or declaration
  bool end = false;
};

// Past the next '>' from j, or the end of the input.
size_t past_close(std::u16string_view html, size_t j) {
  const size_t close = html.find(u'>', j);
  return close == std::u16string_view::npos ? html.size() : close + 1;
}

// The index just past the markup that starts at html[i] (a '<'), or i when that '<' is text.
size_t skip_markup(std::u16string_view html, size_t i, Tag *tag) {
  tag->name.clear();
  tag->end = false;
  size_t j = i + 1;
  if (j >= html.size()) return i;
  if (html.substr(j).starts_with(u"!--")) {
    const size_t close = html.find(u"-->", j + 3);
    return close == std::u16string_view::npos ? html.size() : close + 3;
  }
  if (html[j] == '!' || html[j] == '?') return past_close(html, j);
  if (html[j] == '/') {
    tag->end = true;
    if (++j >= html.size()) return i;
    if (!is_letter(html[j])) return past_close(html, j);  // "</>" and "</ x>" show nothing
  } else if (!is_letter(html[j])) {
    return i;
  }
  while (j < html.size() && !is_space(html[j]) && html[j] != '/' && html[j] != '>') tag->name += lower(html[j++]);
  // Attributes: a quoted value may hold '>'.
  while (j < html.size() && html[j] != '>') {
    if (html[j++] != '=') continue;
    while (j < html.size() && is_space(html[j])) ++j;
    if (j < html.size() && (html[j] == '"' || html[j] == '\'')) {
      const size_t close = html.find(html[j], j + 1);
      if (close == std::u16string_view::npos) return html.size();
      j = close + 1;
    }
  }
  return j < html.size() ? j + 1 : html.size();
}

// Past the CR LF, CR or LF at html[i]; i when there is none.
size_t past_line_break(std::u16string_view html, size_t i) {
  if (html.substr(i).starts_with(u"\r\n")) return i + 2;
  return i < html.size() && (html[i] == '\r' || html[i] == '\n') ? i + 1 : i;
}

// What a tag does to the text around it.
void apply(const Tag &tag, Writer *writer) {
  static constexpr std::u16string_view kBlocks[] = {u"p",  u"h1", u"h2", u"h3", u"h4", u"h5", u"h6",    u"li",
                                                    u"dt", u"dd", u"ul", u"ol", u"dl", u"tr", u"table", u"pre", u"hr"};
  const auto is = [&tag](std::u16string_view name) { return tag.name == name; };
  if (is(u"br") && !tag.end) {
    writer->line_end();
  } else if (std::any_of(std::begin(kBlocks), std::end(kBlocks), is)) {
    writer->block_edge();
  } else if (is(u"td") || is(u"th")) {
    writer->space();  // neighbouring cells must not read as one word
  }
}

}  // namespace

std::string html_text(std::u16string_view html) {
  Writer writer;
  Tag tag;
  int pre_depth = 0;
  for (size_t i = 0; i < html.size();) {
    const char16_t c = html[i];
    if (c == '<') {
      const size_t next = skip_markup(html, i, &tag);
      if (next != i) {
        i = next;
        apply(tag, &writer);
        if (tag.name != u"pre") continue;
        if (tag.end) {
          pre_depth = std::max(pre_depth - 1, 0);
        } else {
          ++pre_depth;
          i = past_line_break(html, i);  // a line break just after <pre> belongs to the markup
        }
        continue;
      }
    } else if (c == '&') {
      uint32_t code;
      if (const size_t length = reference(html, i, &code); length != 0) {
        writer.character(code);
        i += length;
        continue;
      }
    } else if (is_space(c)) {
      if (pre_depth == 0) {
        writer.space();
      } else if (c == '\r' || c == '\n') {
        writer.line_end();
        i = past_line_break(html, i);
        continue;
      } else {
        writer.character(c);
      }
      ++i;
      continue;
    }
    writer.character(c == 0 ? kReplacement : c);
    ++i;
  }
  return codepage::ansi_from_utf16(writer.finish());
}

}  // namespace headless_browser
