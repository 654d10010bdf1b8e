// terminal_text_view.h - the part of a long text a terminal shows: lines wrapped at its width, scrolled by rows.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

namespace winsys {

// A text of lines ended by CR LF (as an edit box holds it), each line wrapped into rows of
// `width` characters so that no part of it is out of sight, seen through a window of `height`
// rows. Only the rows around the view are ever looked at, so scrolling and drawing cost the same
// for a text of any size; the lines are counted once per text.
class TextView {
 public:
  // Shows `text` (1252) in width x height characters. A text other than the last one shown
  // starts at its line first_line; a new width keeps the top line in view.
  void show(const std::string &text, size_t width, size_t height, int first_line);

  // Moves the view by `rows` (down when positive), never past the first row nor further than
  // the last row at the bottom.
  void scroll(long rows);
  void scroll_to_top();
  void scroll_to_bottom();
  // One page: the height less one row, which stays in view for context.
  long page() const { return height_ > 1 ? static_cast<long>(height_) - 1 : 1; }

  // The rows in view, each at most `width` characters, with no line break.
  std::vector<std::string> rows() const;
  // Where the view is: "lines 1-14 of 52 - more below", "lines 40-52 of 52 - end of text", or
  // "lines 1-3 of 3" when all of it is in view.
  std::string where() const;

 private:
  // A row: the line it belongs to (its start and index) and its place among the line's rows.
  struct Row {
    size_t line_start = 0;
    size_t line_end = 0;  // where the line's CR LF is, or the text's end
    size_t line = 0;
    size_t row = 0;
  };
  Row row_at_line(size_t start, size_t line, bool last_row) const;
  size_t rows_in(const Row &r) const;
  bool next(Row *r) const;
  bool previous(Row *r) const;
  Row last_row() const;
  // Keeps the bottom of the view within the text.
  void clamp();

  std::string text_;
  size_t end_ = 0;  // the end of the last line
  size_t width_ = 1;
  size_t height_ = 1;
  size_t line_count_ = 1;
  Row top_;
};

}  // namespace winsys
