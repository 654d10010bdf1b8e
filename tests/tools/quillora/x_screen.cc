// x_screen.cc - the desktop tests' view of the X display, through Xlib.
#include "tests/tools/quillora/x_screen.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <thread>

namespace quillora_test {

namespace {

Display *as_display(void *display) { return static_cast<Display *>(display); }

}  // namespace

Image Image::crop(const Rect &area) const {
  Image part;
  part.width = area.width;
  part.height = area.height;
  for (int y = area.y; y < area.bottom(); ++y)
    for (int x = area.x; x < area.right(); ++x) part.pixels.push_back(at(x, y));
  return part;
}

std::optional<Rect> Image::bounds_of(uint32_t rgb) const {
  std::optional<Rect> box;
  int left = width, top = height, right = -1, bottom = -1;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      if (at(x, y) == rgb) {
        left = std::min(left, x);
        top = std::min(top, y);
        right = std::max(right, x);
        bottom = std::max(bottom, y);
      }
  if (right >= 0) box = Rect{left, top, right - left + 1, bottom - top + 1};
  return box;
}

int Image::count(uint32_t rgb) const {
  int n = 0;
  for (uint32_t pixel : pixels) n += pixel == rgb ? 1 : 0;
  return n;
}

std::optional<Rect> Image::find(const Image &part) const {
  for (int y = 0; y + part.height <= height; ++y)
    for (int x = 0; x + part.width <= width; ++x) {
      bool same = true;
      for (int v = 0; same && v < part.height; ++v)
        for (int u = 0; same && u < part.width; ++u) same = at(x + u, y + v) == part.at(u, v);
      if (same) return Rect{x, y, part.width, part.height};
    }
  return std::nullopt;
}

void Image::save_ppm(const std::filesystem::path &path) const {
  std::ofstream out(path, std::ios::binary);
  out << "P6\n" << width << " " << height << "\n255\n";
  for (uint32_t pixel : pixels) {
    const char rgb[3] = {static_cast<char>(pixel >> 16), static_cast<char>(pixel >> 8), static_cast<char>(pixel)};
    out.write(rgb, 3);
  }
}

std::unique_ptr<XScreen> XScreen::open() {
  Display *display = XOpenDisplay(nullptr);
  if (display == nullptr) return nullptr;
  return std::unique_ptr<XScreen>(new XScreen(display));
}

XScreen::~XScreen() { XCloseDisplay(as_display(display_)); }

Rect XScreen::size() const {
  Display *display = as_display(display_);
  return {0, 0, DisplayWidth(display, DefaultScreen(display)), DisplayHeight(display, DefaultScreen(display))};
}

std::optional<Rect> XScreen::geometry(unsigned long window) const {
  Display *display = as_display(display_);
  XWindowAttributes attributes;
  if (XGetWindowAttributes(display, window, &attributes) == 0 || attributes.map_state != IsViewable)
    return std::nullopt;
  int x = 0, y = 0;
  Window child;
  XTranslateCoordinates(display, window, DefaultRootWindow(display), 0, 0, &x, &y, &child);
  return Rect{x, y, attributes.width, attributes.height};
}

Image XScreen::capture(const Rect &wanted) const {
  Display *display = as_display(display_);
  Image image;
  // The server gives only what is on the screen.
  const Rect screen = size();
  const int left = std::max(wanted.x, 0), top = std::max(wanted.y, 0);
  const Rect area{left, top, std::min(wanted.right(), screen.width) - left,
                  std::min(wanted.bottom(), screen.height) - top};
  if (area.width <= 0 || area.height <= 0) return image;
  XImage *shot = XGetImage(display, DefaultRootWindow(display), area.x, area.y, static_cast<unsigned>(area.width),
                           static_cast<unsigned>(area.height), AllPlanes, ZPixmap);
  if (shot == nullptr) return image;
  image.width = area.width;
  image.height = area.height;
  image.pixels.reserve(static_cast<size_t>(area.width) * area.height);
  for (int y = 0; y < area.height; ++y)
    for (int x = 0; x < area.width; ++x)
      image.pixels.push_back(static_cast<uint32_t>(XGetPixel(shot, x, y)) & 0xFFFFFF);
  XDestroyImage(shot);
  return image;
}

Image XScreen::settled(const Rect &area, const std::function<bool(const Image &)> &ready, int timeout_ms) const {
  Image last = capture(area);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
    Image next = capture(area);
    const bool same = next.pixels == last.pixels;
    last = std::move(next);
    if (same && ready(last)) break;
  }
  return last;
}

unsigned long XScreen::focus() const {
  Window focused = 0;
  int revert = 0;
  XGetInputFocus(as_display(display_), &focused, &revert);
  return focused;
}

}  // namespace quillora_test
