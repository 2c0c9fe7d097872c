// An in-memory RGB picture with the few drawing operations the host needs:
// filled rectangles, lines (GDI's rule: the end point is not drawn), circles,
// text through FreeType, and PNG output through libpng.
#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace host {

struct Rgb {
  std::uint8_t r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

// COLORREF (0x00BBGGRR) to and from Rgb.
inline Rgb FromColorRef(std::uint32_t c) {
  return {static_cast<std::uint8_t>(c & 0xFF), static_cast<std::uint8_t>((c >> 8) & 0xFF),
          static_cast<std::uint8_t>((c >> 16) & 0xFF)};
}

class Canvas {
 public:
  Canvas(int width, int height, Rgb fill = {});

  int width() const { return width_; }
  int height() const { return height_; }
  Rgb Pixel(int x, int y) const;
  void SetPixel(int x, int y, Rgb colour);
  void FillRect(int left, int top, int right, int bottom, Rgb colour);  // right, bottom excluded
  // From (x0, y0) towards (x1, y1), the last point excluded, as GDI's LineTo.
  void Line(int x0, int y0, int x1, int y1, Rgb colour);
  void Circle(int cx, int cy, int radius, Rgb colour, bool filled);

  // Writes an 8-bit RGB PNG.  False with a reason in *error.
  bool SavePng(const std::string& path, std::string* error) const;

 private:
  int width_;
  int height_;
  std::vector<Rgb> pixels_;
};

// A font as GDI's CreateFont describes it: a positive height is the cell
// height (ascent plus descent in the face's Windows metrics), a negative one
// the em height; a positive average width scales the face horizontally so
// that its average character is that wide.
struct FontSpec {
  int height = 16;
  int average_width = 0;
  std::string face = "sans-serif";
};

// Finds faces through fontconfig and draws text with FreeType, monochrome
// (unsmoothed, like GDI's default text), so that every text pixel has exactly
// the text colour.
class TextRenderer {
 public:
  TextRenderer();
  ~TextRenderer();
  TextRenderer(const TextRenderer&) = delete;
  TextRenderer& operator=(const TextRenderer&) = delete;

  bool ok() const;
  // The font file and family used for a face name: for "Arial" a
  // metric-compatible substitute (Liberation Sans or Arimo) when installed,
  // else DejaVu Sans.
  std::string FileFor(const std::string& face);
  std::string FamilyFor(const std::string& face);

  // Width in pixels of `text` in `font`.
  int Measure(const FontSpec& font, const std::string& text);
  // Draws `text` with its top-left corner at (x, y); with `opaque` the text's
  // cell (advance width by cell height) is first filled with `background`.
  // Returns false when no face could be loaded.
  bool Draw(Canvas& canvas, const FontSpec& font, int x, int y, const std::string& text, Rgb colour,
            Rgb background, bool opaque);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace host
