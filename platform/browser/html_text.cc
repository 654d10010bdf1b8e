// html_text.cc - HTML body (UTF-8) to plain 1252 text: markup skipped, character references decoded, white space collapsed and block ends turned into line ends.
#include "platform/browser/html_text.h"

#include <algorithm>
#include <cstdint>

#include "platform/codepage/code_page_1252.h"
#include "platform/codepage/utf8.h"

namespace headless_browser {
namespace {

constexpr char16_t kReplacement = 0xFFFD;
constexpr uint32_t kPastUnicode = 0x110000;
// Text goes to 1252 in pieces of about this many UTF-16 units, so that a page is never held as a
// whole in UTF-16 besides its source and its text.
constexpr size_t kConvertUnits = 64 * 1024;

bool is_space(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool is_letter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
char lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c; }

int digit_value(char c, uint32_t base) {
  if (c >= '0' && c <= '9') return c - '0';
  if (base == 16 && c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (base == 16 && c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Collects the text, holding back a space until a character follows it on the same line.
class Writer {
 public:
  explicit Writer(size_t source_nbytes) { out_.reserve(source_nbytes); }  // the text is no longer, as a rule
  void character(uint32_t code) {
    if (pending_space_ && !at_line_start_) pending_ += u' ';
    pending_space_ = at_line_start_ = false;
    codepage::append_utf16(&pending_, code);
    // Never between the halves of a surrogate pair, which convert as one character.
    if (pending_.size() >= kConvertUnits && !(pending_.back() >= 0xD800 && pending_.back() < 0xDC00)) convert();
  }
  void space() { pending_space_ = true; }
  void line_end() {
    pending_ += u"\r\n";
    pending_space_ = false;
    at_line_start_ = true;
  }
  // The edge of a block: the line ends unless nothing is on it yet, so that neighbouring edges
  // make no empty lines.
  void block_edge() {
    if (!at_line_start_) line_end();
    pending_space_ = false;
  }
  std::string finish() {
    convert();
    if (out_.ends_with("\r\n")) out_.resize(out_.size() - 2);
    return std::move(out_);
  }

 private:
  void convert() {
    out_ += codepage::ansi_from_utf16(pending_);
    pending_.clear();
  }

  std::string out_;  // 1252
  std::u16string pending_;
  bool pending_space_ = false;
  bool at_line_start_ = true;
};

// The length of the character reference at html[i] (an '&') and its character in *code; 0 when
// what follows the '&' is not one of the references read.
size_t reference(std::string_view html, size_t i, uint32_t *code) {
  static constexpr struct {
    std::string_view name;
    uint32_t code;
  } kNamed[] = {{"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"quot;", '"'}, {"apos;", '\''}, {"nbsp;", 0xA0}};
  const std::string_view rest = html.substr(i + 1);
  for (const auto &named : kNamed) {
    if (rest.starts_with(named.name)) {
      *code = named.code;
      return 1 + named.name.size();
    }
  }
  if (!rest.starts_with('#')) return 0;
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
  std::string name;  // lower case; empty for a comment or declaration
  bool end = false;
};

// Past the next '>' from j, or the end of the input.
size_t past_close(std::string_view html, size_t j) {
  const size_t close = html.find('>', j);
  return close == std::string_view::npos ? html.size() : close + 1;
}

// The index just past the markup that starts at html[i] (a '<'), or i when that '<' is text.
size_t skip_markup(std::string_view html, size_t i, Tag *tag) {
  tag->name.clear();
  tag->end = false;
  size_t j = i + 1;
  if (j >= html.size()) return i;
  if (html.substr(j).starts_with("!--")) {
    const size_t close = html.find("-->", j + 3);
    return close == std::string_view::npos ? html.size() : close + 3;
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
      if (close == std::string_view::npos) return html.size();
      j = close + 1;
    }
  }
  return j < html.size() ? j + 1 : html.size();
}

// Past the CR LF, CR or LF at html[i]; i when there is none.
size_t past_line_break(std::string_view html, size_t i) {
  if (html.substr(i).starts_with("\r\n")) return i + 2;
  return i < html.size() && (html[i] == '\r' || html[i] == '\n') ? i + 1 : i;
}

// What a tag does to the text around it.
void apply(const Tag &tag, Writer *writer) {
  static constexpr std::string_view kBlocks[] = {"p",  "h1", "h2", "h3", "h4", "h5", "h6",    "li",
                                                 "dt", "dd", "ul", "ol", "dl", "tr", "table", "pre", "hr"};
  const auto is = [&tag](std::string_view name) { return tag.name == name; };
  if (is("br") && !tag.end) {
    writer->line_end();
  } else if (std::any_of(std::begin(kBlocks), std::end(kBlocks), is)) {
    writer->block_edge();
  } else if (is("td") || is("th")) {
    writer->space();  // neighbouring cells must not read as one word
  }
}

}  // namespace

std::string html_text(std::string_view html) {
  Writer writer(html.size());
  Tag tag;
  int pre_depth = 0;
  for (size_t i = 0; i < html.size();) {
    const char c = html[i];
    if (c == '<') {
      const size_t next = skip_markup(html, i, &tag);
      if (next != i) {
        i = next;
        apply(tag, &writer);
        if (tag.name != "pre") continue;
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
    uint32_t code;
    i += codepage::decode_utf8(reinterpret_cast<const uint8_t *>(html.data()) + i, html.size() - i, &code);
    writer.character(code == 0 ? kReplacement : code);
  }
  return writer.finish();
}

}  // namespace headless_browser
