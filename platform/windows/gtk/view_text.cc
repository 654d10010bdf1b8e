// view_text.cc - text and bitmap conversions at the desktop back end's edge.
#include "platform/windows/gtk/view_text.h"

#include <cstring>

#include "platform/codepage/code_page_1252.h"
#include "platform/codepage/utf8.h"

namespace winsys::desktop {

std::string utf8_of(const std::string &ansi) { return codepage::utf8_from_utf16(codepage::utf16_from_ansi(ansi)); }

std::string ansi_of(const char *utf8) {
  if (utf8 == nullptr) return std::string();
  return codepage::ansi_from_utf16(
      codepage::utf16_from_utf8_replacing(reinterpret_cast<const uint8_t *>(utf8), strlen(utf8)));
}

std::string mnemonic_label(const std::string &ansi) {
  std::string label;
  for (size_t i = 0; i < ansi.size(); ++i) {
    if (ansi[i] == '_') {
      label += "__";
    } else if (ansi[i] == '&' && i + 1 < ansi.size()) {
      label += ansi[i + 1] == '&' ? '&' : '_';
      if (ansi[i + 1] == '&') ++i;
    } else {
      label += ansi[i];
    }
  }
  return utf8_of(label);
}

std::string edit_text(const std::string &ansi) {
  static constexpr char kReplacement[] = "\xEF\xBF\xBD";
  std::string utf8, run;
  for (size_t i = 0; i < ansi.size(); ++i) {
    if (ansi[i] == '\r' && i + 1 < ansi.size() && ansi[i + 1] == '\n') {
      utf8 += utf8_of(run) + "\n";
      run.clear();
      ++i;
    } else if (ansi[i] == '\r' || ansi[i] == '\n') {
      utf8 += utf8_of(run) + kReplacement;
      run.clear();
    } else {
      run += ansi[i];
    }
  }
  return utf8 + utf8_of(run);
}

std::string message_text(const std::string &ansi) {
  std::string lines;
  for (size_t i = 0; i < ansi.size(); ++i) {
    if (ansi[i] == '\r' && i + 1 < ansi.size() && ansi[i + 1] == '\n') ++i;
    lines += ansi[i] == '\r' ? '\n' : ansi[i];
  }
  return utf8_of(lines);
}

std::string edit_ansi(const char *utf8) {
  std::string ansi;
  for (char c : ansi_of(utf8)) {
    if (c == '\n') ansi += '\r';
    ansi += c;
  }
  return ansi;
}

namespace {

uint32_t le32(const BYTE *p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<uint32_t>(p[3]) << 24); }
uint16_t le16(const BYTE *p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

}  // namespace

GdkPixbuf *pixbuf_of_dib(const BYTE *dib, size_t dib_nbytes) {
  constexpr uint32_t kBiRgb = 0;
  if (dib == nullptr || dib_nbytes < 40) return nullptr;
  const uint32_t header_nbytes = le32(dib);
  const auto width = static_cast<int32_t>(le32(dib + 4)), signed_height = static_cast<int32_t>(le32(dib + 8));
  const uint16_t bits = le16(dib + 14);
  if (header_nbytes < 40 || header_nbytes > dib_nbytes || le32(dib + 16) != kBiRgb || (bits != 24 && bits != 32))
    return nullptr;
  const bool bottom_up = signed_height > 0;
  const int64_t height = bottom_up ? signed_height : -static_cast<int64_t>(signed_height);
  if (width <= 0 || height <= 0 || width > 0x8000 || height > 0x8000) return nullptr;
  const size_t pixel_nbytes = bits / 8;
  const size_t row_nbytes = (static_cast<size_t>(width) * pixel_nbytes + 3) / 4 * 4;
  if ((dib_nbytes - header_nbytes) / row_nbytes < static_cast<size_t>(height)) return nullptr;
  GdkPixbuf *picture = gdk_pixbuf_new(GDK_COLORSPACE_RGB, FALSE, 8, width, static_cast<int>(height));
  if (picture == nullptr) return nullptr;
  guchar *pixels = gdk_pixbuf_get_pixels(picture);
  const int stride = gdk_pixbuf_get_rowstride(picture);
  for (int64_t y = 0; y < height; ++y) {
    const BYTE *row = dib + header_nbytes + static_cast<size_t>(bottom_up ? height - 1 - y : y) * row_nbytes;
    guchar *out = pixels + y * stride;
    for (int32_t x = 0; x < width; ++x, row += pixel_nbytes, out += 3) {
      out[0] = row[2];  // pixels are stored blue, green, red
      out[1] = row[1];
      out[2] = row[0];
    }
  }
  return picture;
}

}  // namespace winsys::desktop
