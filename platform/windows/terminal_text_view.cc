// terminal_text_view.cc - wrapping a text into rows and moving a view over them, a line at a time.
#include "platform/windows/terminal_text_view.h"

#include <algorithm>

namespace winsys {

namespace {

constexpr char kLineBreak[] = "\r\n";

}  // namespace

TextView::Row TextView::row_at_line(size_t start, size_t line, bool last_row) const {
  Row r;
  r.line_start = start;
  r.line_end = std::min(text_.find(kLineBreak, start), end_);
  r.line = line;
  r.row = last_row ? rows_in(r) - 1 : 0;
  return r;
}

size_t TextView::rows_in(const Row &r) const {
  const size_t length = r.line_end - r.line_start;
  return length == 0 ? 1 : (length + width_ - 1) / width_;
}

bool TextView::next(Row *r) const {
  if (r->row + 1 < rows_in(*r)) {
    ++r->row;
    return true;
  }
  if (r->line_end >= end_) return false;
  *r = row_at_line(r->line_end + 2, r->line + 1, false);
  return true;
}

bool TextView::previous(Row *r) const {
  if (r->row > 0) {
    --r->row;
    return true;
  }
  if (r->line_start == 0) return false;
  // The line before ends with the CR LF just before this one; its own start follows the CR LF
  // before that, if any.
  const size_t break_before = r->line_start >= 3 ? text_.rfind(kLineBreak, r->line_start - 3) : std::string::npos;
  *r = row_at_line(break_before == std::string::npos ? 0 : break_before + 2, r->line - 1, true);
  return true;
}

TextView::Row TextView::last_row() const {
  const size_t last_break = end_ >= 2 ? text_.rfind(kLineBreak, end_ - 2) : std::string::npos;
  return row_at_line(last_break == std::string::npos ? 0 : last_break + 2, line_count_ - 1, true);
}

void TextView::show(const std::string &text, size_t width, size_t height, int first_line) {
  width = std::max<size_t>(width, 1);
  height_ = std::max<size_t>(height, 1);
  if (text != text_) {
    text_ = text;
    width_ = width;
    // A line break at the very end ends the last line; it starts no empty one.
    end_ = text_.ends_with(kLineBreak) ? text_.size() - 2 : text_.size();
    line_count_ = 1;
    for (size_t at = 0; (at = text_.find(kLineBreak, at)) < end_; at += 2) ++line_count_;
    top_ = row_at_line(0, 0, false);
    for (int line = 0; line < first_line && top_.line_end < end_; ++line)
      top_ = row_at_line(top_.line_end + 2, top_.line + 1, false);
  } else if (width != width_) {
    width_ = width;
    top_.row = 0;
  }
  clamp();
}

void TextView::clamp() {
  Row bottom = top_;
  size_t below = 0;
  while (below + 1 < height_ && next(&bottom)) ++below;
  // Fewer rows below the top than the view holds: pull the view up, as far as the text goes.
  for (size_t missing = height_ - 1 - below; missing > 0 && previous(&top_); --missing) {
  }
}

void TextView::scroll(long rows) {
  for (; rows > 0 && next(&top_); --rows) {
  }
  for (; rows < 0 && previous(&top_); ++rows) {
  }
  clamp();
}

void TextView::scroll_to_top() { top_ = row_at_line(0, 0, false); }

void TextView::scroll_to_bottom() {
  top_ = last_row();
  clamp();
}

std::vector<std::string> TextView::rows() const {
  std::vector<std::string> shown;
  Row r = top_;
  do {
    const size_t begin = r.line_start + r.row * width_;
    shown.push_back(text_.substr(begin, std::min(width_, r.line_end - begin)));
  } while (shown.size() < height_ && next(&r));
  return shown;
}

std::string TextView::where() const {
  Row bottom = top_;
  for (size_t shown = 1; shown < height_ && next(&bottom);) ++shown;
  Row after = bottom;
  const bool more_below = next(&after);
  Row before = top_;
  const bool more_above = previous(&before);
  std::string text = "lines " + std::to_string(top_.line + 1) + "-" + std::to_string(bottom.line + 1) + " of " +
                     std::to_string(line_count_);
  if (more_below) return text + " - more below";
  return more_above ? text + " - end of text" : text;
}

}  // namespace winsys
