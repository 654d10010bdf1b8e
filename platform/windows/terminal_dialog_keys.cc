// terminal_dialog_keys.cc - keys turned into focus moves, scrolling, list choices and button presses.
#include "platform/windows/terminal_dialog_keys.h"

#include <algorithm>
#include <vector>

#include "platform/windows/terminal_screen.h"

namespace winsys {
namespace {

using terminal::Key;

void post_key(HWND dialog, int vk) {
  const HWND focus = GetFocus();
  PostMessageA(focus != nullptr ? focus : dialog, WM_KEYDOWN, static_cast<WPARAM>(vk), 0);
}

// Moves the list's selection, telling the dialog as a click would.
void select_item(const DialogPart &list, int position) {
  const auto count = static_cast<int>(list.state.items.size());
  position = std::clamp(position, 0, count - 1);
  if (count == 0 || position == list.state.cur_sel) return;
  SendMessageA(list.state.hwnd, CB_SETCURSEL, static_cast<WPARAM>(position), 0);
  SendMessageA(list.state.parent, WM_COMMAND, MAKEWPARAM(list.state.id, CBN_SELCHANGE),
               reinterpret_cast<LPARAM>(list.state.hwnd));
}

const DialogPart *first_of(const std::vector<DialogPart> &parts, PartKind kind) {
  for (const DialogPart &part : parts) {
    if (part.kind == kind) return &part;
  }
  return nullptr;
}

// The next (step 1) or previous (step -1) part after `from` that takes the focus and passes
// `wanted`, going round.
template <typename Wanted>
const DialogPart *step_focus(const std::vector<DialogPart> &parts, const DialogPart *from, int step, Wanted wanted) {
  const auto n = static_cast<int>(parts.size());
  if (n == 0) return nullptr;
  const int start = from != nullptr ? static_cast<int>(from - parts.data()) : (step > 0 ? -1 : n);
  for (int k = 1; k <= n; ++k) {
    const DialogPart &part = parts[static_cast<size_t>(((start + step * k) % n + n) % n)];
    if (takes_focus(part) && wanted(part)) return &part;
  }
  return nullptr;
}

}  // namespace

void act_on_key(HWND dialog, const terminal::KeyPress &press, std::map<HWND, TextView> *views) {
  const std::vector<DialogPart> parts = dialog_parts(dialog);
  const HWND focus = GetFocus();
  const DialogPart *focused = nullptr;
  for (const DialogPart &part : parts) {
    if (part.state.hwnd == focus && takes_focus(part)) focused = &part;
  }
  const PartKind focus_kind = focused != nullptr ? focused->kind : PartKind::kButton;
  const DialogPart *list = first_of(parts, PartKind::kList);
  const DialogPart *area = focus_kind == PartKind::kTextArea ? focused : first_of(parts, PartKind::kTextArea);
  TextView *view = area != nullptr ? &(*views)[area->state.hwnd] : nullptr;
  const int selected = list != nullptr ? list->state.cur_sel : -1;
  const auto any = [](const DialogPart &) { return true; };
  const auto button = [](const DialogPart &part) { return part.kind == PartKind::kButton; };

  switch (press.key) {
    case Key::kEnter:
      if (focused != nullptr && focused->kind == PartKind::kButton)
        SendMessageA(focused->state.hwnd, BM_CLICK, 0, 0);
      else
        post_key(dialog, VK_RETURN);
      break;
    case Key::kEscape: post_key(dialog, VK_ESCAPE); break;
    case Key::kTab:
    case Key::kBackTab:
      if (const DialogPart *next = step_focus(parts, focused, press.key == Key::kTab ? 1 : -1, any))
        SetFocus(next->state.hwnd);
      break;
    case Key::kLeft:
    case Key::kRight:
      if (focus_kind != PartKind::kButton) break;
      if (const DialogPart *next = step_focus(parts, focused, press.key == Key::kRight ? 1 : -1, button))
        SetFocus(next->state.hwnd);
      break;
    case Key::kUp:
    case Key::kDown: {
      const int step = press.key == Key::kDown ? 1 : -1;
      if (focus_kind != PartKind::kTextArea && list != nullptr)
        select_item(*list, selected + step);
      else if (view != nullptr)
        view->scroll(step);
      break;
    }
    case Key::kPageUp:
    case Key::kPageDown:
      if (view != nullptr) view->scroll(press.key == Key::kPageDown ? view->page() : -view->page());
      break;
    case Key::kHome:
    case Key::kEnd:
      if (focus_kind == PartKind::kList)
        select_item(*list, press.key == Key::kHome ? 0 : static_cast<int>(list->state.items.size()) - 1);
      else if (view != nullptr && press.key == Key::kHome)
        view->scroll_to_top();
      else if (view != nullptr)
        view->scroll_to_bottom();
      break;
    case Key::kCharacter:
      if (list != nullptr && press.byte >= '1' && press.byte - '1' < static_cast<int>(list->state.items.size()))
        select_item(*list, press.byte - '1');
      break;
    default: break;
  }
}

}  // namespace winsys
