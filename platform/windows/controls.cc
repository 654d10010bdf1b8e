// controls.cc - the built-in control classes: static texts and pictures, edit boxes, combo boxes and push buttons.
#include <algorithm>
#include <cstring>

#include "platform/codepage/code_page_1252.h"
#include "platform/windows/window_model.h"

namespace winsys {
namespace {

template <typename F>
LRESULT with_window(HWND hwnd, LRESULT fallback, F f) {
  std::lock_guard<std::mutex> lock(model_mutex());
  Window *w = find_window(hwnd);
  return w != nullptr ? f(*w) : fallback;
}

int32_t read_le32(const BYTE *p) {
  return static_cast<int32_t>(p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24));
}

// A SS_BITMAP static takes the size of its bitmap, as on Windows. The resource may carry the
// 14-byte file header of a .bmp file before the info header.
void load_static_bitmap(HWND hwnd) {
  HINSTANCE instance;
  WORD name;
  {
    std::lock_guard<std::mutex> lock(model_mutex());
    const Window *w = find_window(hwnd);
    if (w == nullptr || (w->style & SS_TYPEMASK) != SS_BITMAP || w->resource_name == 0) return;
    instance = w->instance;
    name = w->resource_name;
  }
  HRSRC found = FindResourceA(instance, MAKEINTRESOURCEA(name), RT_BITMAP);
  if (found == nullptr) return;
  const auto *data = static_cast<const BYTE *>(LockResource(LoadResource(instance, found)));
  DWORD size = SizeofResource(instance, found);
  if (data == nullptr) return;
  if (size >= 14 && data[0] == 'B' && data[1] == 'M') {
    data += 14;
    size -= 14;
  }
  if (size < 40 || read_le32(data) < 40) return;
  const int32_t width = read_le32(data + 4), height = read_le32(data + 8);
  std::lock_guard<std::mutex> lock(model_mutex());
  Window *w = find_window(hwnd);
  if (w == nullptr || width <= 0 || height == 0) return;
  w->image_width = width;
  w->image_height = height < 0 ? -height : height;
  w->image = data;
  w->image_bytes = size;
  w->rect.right = w->rect.left + w->image_width;
  w->rect.bottom = w->rect.top + w->image_height;
}

// Edit boxes break lines at CR LF only; a lone LF or CR stays inside its line.
std::vector<size_t> line_lengths(const std::string &text) {
  std::vector<size_t> lengths;
  size_t start = 0;
  for (size_t at; (at = text.find("\r\n", start)) != std::string::npos; start = at + 2) lengths.push_back(at - start);
  lengths.push_back(text.size() - start);
  return lengths;
}

// Case-insensitive order of 1252 texts, by each byte's upper case.
bool sorts_before(const std::string &a, const std::string &b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return static_cast<unsigned char>(codepage::upper_1252(x)) < static_cast<unsigned char>(codepage::upper_1252(y));
  });
}

bool valid_index(const Window &w, WPARAM index) { return index < w.items.size(); }

void insert_item(Window &w, size_t at, LPCSTR text) {
  w.items.insert(w.items.begin() + static_cast<ptrdiff_t>(at), ComboItem{text != nullptr ? text : "", 0});
  // The selection stays on the same item.
  if (w.cur_sel >= static_cast<int>(at)) ++w.cur_sel;
}

}  // namespace

LRESULT static_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_CREATE) {
    load_static_bitmap(hwnd);
    return 0;
  }
  return DefWindowProcA(hwnd, msg, wparam, lparam);
}

LRESULT edit_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_SETTEXT: {
      const LRESULT result = DefWindowProcA(hwnd, msg, wparam, lparam);
      with_window(hwnd, 0, [](Window &w) {
        w.first_line = w.first_column = 0;
        return 0;
      });
      return result;
    }
    case EM_LINESCROLL:
      // Scrolling stops at the first line and column and at the last line and longest line.
      return with_window(hwnd, FALSE, [&](Window &w) {
        const std::vector<size_t> lengths = line_lengths(w.text);
        const int widest = static_cast<int>(*std::max_element(lengths.begin(), lengths.end()));
        const int last_line = static_cast<int>(lengths.size()) - 1;
        w.first_column = std::clamp(w.first_column + static_cast<int>(static_cast<intptr_t>(wparam)), 0, widest);
        w.first_line = std::clamp(w.first_line + static_cast<int>(lparam), 0, last_line);
        return LRESULT{TRUE};
      });
    case EM_GETFIRSTVISIBLELINE:
      return with_window(hwnd, 0, [](Window &w) { return LRESULT{w.first_line}; });
    case EM_GETLINECOUNT:
      return with_window(hwnd, 0, [](Window &w) { return static_cast<LRESULT>(line_lengths(w.text).size()); });
    case EM_SETREADONLY:
      return with_window(hwnd, FALSE, [&](Window &w) {
        if (wparam != 0) {
          w.style |= ES_READONLY;
        } else {
          w.style &= ~static_cast<DWORD>(ES_READONLY);
        }
        return LRESULT{TRUE};
      });
    default:
      return DefWindowProcA(hwnd, msg, wparam, lparam);
  }
}

LRESULT combo_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  const auto text = reinterpret_cast<LPCSTR>(lparam);
  switch (msg) {
    case WM_CREATE:
      // A drop-down combo box's window is its closed field, one text line high; the height it
      // was created with is the height with the list open.
      return with_window(hwnd, 0, [](Window &w) {
        if ((w.style & CBS_DROPDOWN) == 0) return LRESULT{0};
        const Window *parent = w.parent != nullptr ? find_window(w.parent) : nullptr;
        const int text_height = parent != nullptr && parent->base_y > 0 ? parent->base_y : 13;
        w.dropped_height = w.rect.bottom - w.rect.top;
        w.rect.bottom = w.rect.top + text_height + 8;
        return LRESULT{0};
      });
    case CB_ADDSTRING:
      return with_window(hwnd, CB_ERR, [&](Window &w) {
        size_t at = w.items.size();
        if ((w.style & CBS_SORT) != 0) {
          // After any equal items, so equal texts keep the order they were added in.
          const std::string key = text != nullptr ? text : "";
          at = static_cast<size_t>(
              std::upper_bound(w.items.begin(), w.items.end(), key,
                               [](const std::string &k, const ComboItem &item) { return sorts_before(k, item.text); }) -
              w.items.begin());
        }
        insert_item(w, at, text);
        return static_cast<LRESULT>(at);
      });
    case CB_INSERTSTRING:
      return with_window(hwnd, CB_ERR, [&](Window &w) {
        const auto index = static_cast<intptr_t>(wparam);
        if (index < -1 || index > static_cast<intptr_t>(w.items.size())) return LRESULT{CB_ERR};
        const size_t at = index == -1 ? w.items.size() : static_cast<size_t>(index);
        insert_item(w, at, text);
        return static_cast<LRESULT>(at);
      });
    case CB_DELETESTRING:
      return with_window(hwnd, CB_ERR, [&](Window &w) {
        if (!valid_index(w, wparam)) return LRESULT{CB_ERR};
        w.items.erase(w.items.begin() + static_cast<ptrdiff_t>(wparam));
        if (w.cur_sel == static_cast<int>(wparam)) {
          w.cur_sel = -1;
          w.text.clear();
        } else if (w.cur_sel > static_cast<int>(wparam)) {
          --w.cur_sel;
        }
        return static_cast<LRESULT>(w.items.size());
      });
    case CB_RESETCONTENT:
      return with_window(hwnd, CB_ERR, [](Window &w) {
        w.items.clear();
        w.cur_sel = -1;
        w.text.clear();
        return LRESULT{0};
      });
    case CB_GETCOUNT:
      return with_window(hwnd, CB_ERR, [](Window &w) { return static_cast<LRESULT>(w.items.size()); });
    case CB_GETCURSEL:
      return with_window(hwnd, CB_ERR, [](Window &w) { return LRESULT{w.cur_sel}; });
    case CB_SETCURSEL:
      // -1 or an index past the end clears the selection and answers CB_ERR.
      return with_window(hwnd, CB_ERR, [&](Window &w) {
        ++w.invalidations;
        if (!valid_index(w, wparam)) {
          w.cur_sel = -1;
          w.text.clear();
          return LRESULT{CB_ERR};
        }
        w.cur_sel = static_cast<int>(wparam);
        w.text = w.items[wparam].text;
        return static_cast<LRESULT>(wparam);
      });
    case CB_GETLBTEXT:
      return with_window(hwnd, CB_ERR, [&](Window &w) {
        if (!valid_index(w, wparam) || text == nullptr) return LRESULT{CB_ERR};
        const std::string &item = w.items[wparam].text;
        memcpy(reinterpret_cast<char *>(lparam), item.c_str(), item.size() + 1);
        return static_cast<LRESULT>(item.size());
      });
    case CB_GETLBTEXTLEN:
      return with_window(hwnd, CB_ERR, [&](Window &w) {
        return valid_index(w, wparam) ? static_cast<LRESULT>(w.items[wparam].text.size()) : LRESULT{CB_ERR};
      });
    case CB_GETITEMDATA:
      return with_window(hwnd, CB_ERR, [&](Window &w) {
        return valid_index(w, wparam) ? static_cast<LRESULT>(w.items[wparam].data) : LRESULT{CB_ERR};
      });
    case CB_SETITEMDATA:
      return with_window(hwnd, CB_ERR, [&](Window &w) {
        if (!valid_index(w, wparam)) return LRESULT{CB_ERR};
        w.items[wparam].data = static_cast<ULONG_PTR>(lparam);
        return LRESULT{TRUE};
      });
    default:
      return DefWindowProcA(hwnd, msg, wparam, lparam);
  }
}

LRESULT button_proc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg != BM_CLICK) return DefWindowProcA(hwnd, msg, wparam, lparam);
  HWND parent;
  int id;
  {
    std::lock_guard<std::mutex> lock(model_mutex());
    const Window *w = find_window(hwnd);
    if (w == nullptr || (w->style & WS_DISABLED) != 0) return 0;
    parent = w->parent;
    id = w->id;
  }
  if (parent != nullptr) SendMessageA(parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(hwnd));
  return 0;
}

}  // namespace winsys
