// x_screen.h - what the desktop tests see of the X display: window geometry and focus, and screenshots searched by colour and by picture.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace quillora_test {

struct Rect {
  int x = 0, y = 0, width = 0, height = 0;
  int right() const { return x + width; }
  int bottom() const { return y + height; }
};

// Pixels as 0xRRGGBB, row after row.
struct Image {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
  uint32_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  Image crop(const Rect &area) const;
  // The bounding box of the pixels of exactly this colour, and how many there are.
  std::optional<Rect> bounds_of(uint32_t rgb) const;
  int count(uint32_t rgb) const;
  // Where `part` appears pixel for pixel, or nothing.
  std::optional<Rect> find(const Image &part) const;
  // A portable pixmap, for a person to look at when a check fails.
  void save_ppm(const std::filesystem::path &path) const;
};

// The display DISPLAY names, opened by the test itself.
class XScreen {
 public:
  static std::unique_ptr<XScreen> open();  // null without a display
  ~XScreen();
  XScreen(const XScreen &) = delete;
  XScreen &operator=(const XScreen &) = delete;

  Rect size() const;
  // A top-level window's rectangle on the screen, or nothing when it is gone or not mapped.
  std::optional<Rect> geometry(unsigned long window) const;
  // What is on the screen in `area`, cut to the screen.
  Image capture(const Rect &area) const;
  // What is on the screen in `area` once `ready` holds for it and it stopped changing (the
  // toolkit and the engine have painted), waiting up to `timeout_ms`; the last capture either way.
  Image settled(const Rect &area, const std::function<bool(const Image &)> &ready, int timeout_ms = 10000) const;
  // The window the keyboard goes to.
  unsigned long focus() const;

 private:
  explicit XScreen(void *display) : display_(display) {}
  void *display_;  // Display *
};

}  // namespace quillora_test
