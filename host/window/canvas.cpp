#include "canvas.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_TRUETYPE_TABLES_H
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace host {

// ---- Canvas ------------------------------------------------------------------

Canvas::Canvas(int width, int height, Rgb fill)
    : width_(std::max(width, 1)),
      height_(std::max(height, 1)),
      pixels_(static_cast<std::size_t>(width_) * height_, fill) {}

Rgb Canvas::Pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return {};
  return pixels_[static_cast<std::size_t>(y) * width_ + x];
}

void Canvas::SetPixel(int x, int y, Rgb colour) {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return;
  pixels_[static_cast<std::size_t>(y) * width_ + x] = colour;
}

void Canvas::FillRect(int left, int top, int right, int bottom, Rgb colour) {
  left = std::max(left, 0);
  top = std::max(top, 0);
  right = std::min(right, width_);
  bottom = std::min(bottom, height_);
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) pixels_[static_cast<std::size_t>(y) * width_ + x] = colour;
  }
}

void Canvas::Line(int x0, int y0, int x1, int y1, Rgb colour) {
  // Bresenham, stopping before the end point.
  const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
  const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
  int error = dx + dy;
  while (x0 != x1 || y0 != y1) {
    SetPixel(x0, y0, colour);
    const int e2 = 2 * error;
    if (e2 >= dy) error += dy, x0 += sx;
    if (e2 <= dx) error += dx, y0 += sy;
  }
}

void Canvas::Circle(int cx, int cy, int radius, Rgb colour, bool filled) {
  for (int y = -radius; y <= radius; ++y) {
    for (int x = -radius; x <= radius; ++x) {
      const int d = x * x + y * y;
      const bool inside = d <= radius * radius + radius;
      const bool edge = inside && d >= (radius - 1) * (radius - 1) + (radius - 1);
      if (filled ? inside : edge) SetPixel(cx + x, cy + y, colour);
    }
  }
}

bool Canvas::SavePng(const std::string& path, std::string* error) const {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width_);
  image.height = static_cast<png_uint_32>(height_);
  image.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> raw;
  raw.reserve(pixels_.size() * 3);
  for (const Rgb& p : pixels_) raw.insert(raw.end(), {p.r, p.g, p.b});
  if (png_image_write_to_file(&image, path.c_str(), 0, raw.data(), 0, nullptr) == 0) {
    if (error != nullptr) *error = image.message[0] != '\0' ? image.message : "cannot write PNG";
    png_image_free(&image);
    return false;
  }
  return true;
}

// ---- Text ----------------------------------------------------------------------

struct TextRenderer::Impl {
  FT_Library library = nullptr;
  struct Face {
    FT_Face face = nullptr;
    std::string file;
    std::string family;
  };
  std::map<std::string, Face> faces;  // by requested face name

  // fontconfig's best match for a family name, with the family it really is.
  static bool Match(const std::string& family, std::string* file, std::string* matched) {
    FcPattern* pattern = FcNameParse(reinterpret_cast<const FcChar8*>(family.c_str()));
    if (pattern == nullptr) return false;
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result;
    FcPattern* font = FcFontMatch(nullptr, pattern, &result);
    FcPatternDestroy(pattern);
    if (font == nullptr) return false;
    FcChar8* path = nullptr;
    FcChar8* name = nullptr;
    bool ok = FcPatternGetString(font, FC_FILE, 0, &path) == FcResultMatch;
    if (ok) *file = reinterpret_cast<const char*>(path);
    if (FcPatternGetString(font, FC_FAMILY, 0, &name) == FcResultMatch) {
      *matched = reinterpret_cast<const char*>(name);
    }
    FcPatternDestroy(font);
    return ok;
  }

  Face* Resolve(const std::string& requested) {
    auto found = faces.find(requested);
    if (found != faces.end()) return found->second.face != nullptr ? &found->second : nullptr;
    Face& entry = faces[requested];
    // Arial's own file, or a face with its metrics, or DejaVu Sans; other
    // names the same way with the name itself first.
    std::vector<std::string> wanted{requested};
    std::string lower = requested;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    if (lower == "arial" || lower == "helvetica" || lower == "sans-serif" ||
        lower == "ms sans serif" || lower == "system") {
      wanted = {"Arial", "Liberation Sans", "Arimo", "DejaVu Sans"};
    }
    std::string file, family;
    for (const std::string& name : wanted) {
      std::string f, m;
      if (Match(name, &f, &m) && m == name) {
        file = f, family = m;
        break;
      }
    }
    if (file.empty()) Match("sans-serif", &file, &family);
    if (file.empty() || FT_New_Face(library, file.c_str(), 0, &entry.face) != 0) {
      entry.face = nullptr;
      return nullptr;
    }
    entry.file = file;
    entry.family = family;
    return &entry;
  }

  struct Metrics {
    int ascent = 0;
    int cell = 0;
  };

  // Sizes the face as GDI would for the font, and gives its ascent and cell height.
  Metrics Size(FT_Face face, const FontSpec& font) {
    const double upem = face->units_per_EM;
    double ascent = face->ascender, descent = -face->descender, average = upem / 2.0;
    if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2))) {
      ascent = os2->usWinAscent;
      descent = os2->usWinDescent;
      if (os2->xAvgCharWidth > 0) average = os2->xAvgCharWidth;
    }
    const int height = font.height != 0 ? std::abs(font.height) : 16;
    const double em_y = font.height > 0 ? height * upem / (ascent + descent) : height;
    const double em_x = font.average_width > 0 ? font.average_width * upem / average : em_y;
    FT_Set_Char_Size(face, std::lround(em_x * 64), std::lround(em_y * 64), 72, 72);
    Metrics m;
    m.ascent = static_cast<int>(std::lround(ascent * em_y / upem));
    m.cell =
        font.height > 0 ? height : static_cast<int>(std::lround((ascent + descent) * em_y / upem));
    return m;
  }

  static FT_ULong CodePoint(char c) { return static_cast<unsigned char>(c); }
};

TextRenderer::TextRenderer() : impl_(std::make_unique<Impl>()) {
  FcInit();
  if (FT_Init_FreeType(&impl_->library) != 0) impl_->library = nullptr;
}

TextRenderer::~TextRenderer() {
  for (auto& [name, face] : impl_->faces) {
    if (face.face != nullptr) FT_Done_Face(face.face);
  }
  if (impl_->library != nullptr) FT_Done_FreeType(impl_->library);
  FcFini();  // gives back fontconfig's configuration and caches
}

bool TextRenderer::ok() const { return impl_->library != nullptr; }

std::string TextRenderer::FileFor(const std::string& face) {
  Impl::Face* f = ok() ? impl_->Resolve(face) : nullptr;
  return f != nullptr ? f->file : "";
}

std::string TextRenderer::FamilyFor(const std::string& face) {
  Impl::Face* f = ok() ? impl_->Resolve(face) : nullptr;
  return f != nullptr ? f->family : "";
}

int TextRenderer::Measure(const FontSpec& font, const std::string& text) {
  Impl::Face* f = ok() ? impl_->Resolve(font.face) : nullptr;
  if (f == nullptr) return 0;
  impl_->Size(f->face, font);
  long advance = 0;
  for (char c : text) {
    if (FT_Load_Char(f->face, Impl::CodePoint(c), FT_LOAD_DEFAULT | FT_LOAD_TARGET_MONO) == 0) {
      advance += f->face->glyph->advance.x;
    }
  }
  return static_cast<int>((advance + 32) >> 6);
}

bool TextRenderer::Draw(Canvas& canvas, const FontSpec& font, int x, int y, const std::string& text,
                        Rgb colour, Rgb background, bool opaque) {
  Impl::Face* f = ok() ? impl_->Resolve(font.face) : nullptr;
  if (f == nullptr) return false;
  const Impl::Metrics m = impl_->Size(f->face, font);
  if (opaque) {
    const int width = Measure(font, text);
    impl_->Size(f->face, font);
    canvas.FillRect(x, y, x + width, y + m.cell, background);
  }
  const int baseline = y + m.ascent;
  long pen = static_cast<long>(x) << 6;
  for (char c : text) {
    if (FT_Load_Char(f->face, Impl::CodePoint(c), FT_LOAD_RENDER | FT_LOAD_TARGET_MONO) != 0) {
      continue;
    }
    FT_GlyphSlot glyph = f->face->glyph;
    if (glyph->format != FT_GLYPH_FORMAT_BITMAP) FT_Render_Glyph(glyph, FT_RENDER_MODE_MONO);
    const FT_Bitmap& bitmap = glyph->bitmap;
    const int left = static_cast<int>(pen >> 6) + glyph->bitmap_left;
    const int top = baseline - glyph->bitmap_top;
    for (unsigned row = 0; row < bitmap.rows; ++row) {
      const unsigned char* line = bitmap.buffer + static_cast<long>(row) * bitmap.pitch;
      for (unsigned col = 0; col < bitmap.width; ++col) {
        const bool on = bitmap.pixel_mode == FT_PIXEL_MODE_MONO
                            ? (line[col >> 3] & (0x80 >> (col & 7))) != 0
                            : line[col] >= 128;
        if (on) canvas.SetPixel(left + static_cast<int>(col), top + static_cast<int>(row), colour);
      }
    }
    pen += glyph->advance.x;
  }
  return true;
}

}  // namespace host
