#include "page_render.h"

#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <memory>
#include <set>
#include <utility>

#include "font_rebuild.h"
#include "pclxl/xlstream_reader.h"
#include "softfont_records.h"
#include "text_utf.h"

namespace fndl {
namespace {

using namespace tavrfndl::pclxl;

// Characters bigger than this are not drawn: the bitmaps would run into hundreds of megabytes.
constexpr double kMaxPixelsPerEm = 4000;
// Nor glyphs whose outline box (fonts may draw far outside their em) exceeds this many pixels.
constexpr double kMaxGlyphPixels = 64e6;
// Cursor positions beyond this many pixels are off any page, and beyond what FreeType's 26.6
// coordinates hold.
constexpr double kMaxCoordinate = 1e7;
constexpr size_t kMaxProblems = 100;
// Characters without a record are counted one by one up to this many different ones.
constexpr size_t kMaxNoRecordKinds = 20;
// Character transformations are held to sizes a printer would accept, so that every value
// derived from them stays inside FreeType's fixed-point range.
constexpr double kMaxShear = 16;
constexpr double kMaxScale = 1000;

struct Box {
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

Box Normalized(const double (&n)[4]) {
  return {std::min(n[0], n[2]), std::min(n[1], n[3]), std::max(n[0], n[2]), std::max(n[1], n[3])};
}

bool Finite(const XlValue& v) {
  for (double n : v.number) {
    if (!std::isfinite(n)) return false;
  }
  return true;
}

// The pixels whose centres lie in [lo, hi), clamped to [0, limit).
void Span(double lo, double hi, uint32_t limit, uint32_t& begin, uint32_t& end) {
  auto clamp = [limit](double v) -> uint32_t {
    if (!(v > 0)) return 0;  // NaN as well
    if (v >= limit) return limit;
    return static_cast<uint32_t>(v);
  };
  begin = clamp(std::ceil(lo - 0.5));
  end = std::max(begin, clamp(std::ceil(hi - 0.5)));
}

struct GraphicsState {
  bool clipped = false;
  Box clip;
  int brush = 0;  // gray level 0 (black) to 255, or -1 for no brush
  int pen = 0;
  double cursorX = 0, cursorY = 0;
  bool haveFont = false;
  std::string fontName;
  double charSize = 0;
  double scaleX = 1, scaleY = 1;
  double shearX = 0, shearY = 0;
  double angle = 0;
  double bold = 0;
};

struct LoadedFace {
  LoadedFace() = default;
  LoadedFace(const LoadedFace&) = delete;
  LoadedFace& operator=(const LoadedFace&) = delete;
  ~LoadedFace() {
    if (face) FT_Done_Face(face);
  }

  const SoftFont* font = nullptr;  // the definition this face was built from
  uint64_t generation = ~uint64_t{0};
  std::vector<uint8_t> file;  // FreeType reads the face from here for its whole life
  FT_Face face = nullptr;
  bool reported = false;  // a refusal or the rebuild notes were reported for this definition
  std::set<uint16_t> checkedGlyphs;
  std::set<uint16_t> refusedGlyphs;
  std::set<uint16_t> completeGlyphs;
  std::set<uint16_t> incompleteReported;
};

class Renderer {
 public:
  Renderer(FT_Library library, double dpi, const std::function<bool(const RenderedPage&)>& sink,
           RenderReport& report, uint64_t maxPagePixels)
      : library_(library), dpi_(dpi), maxPagePixels_(maxPagePixels), sink_(sink), report_(report) {
    SetUnits(600, 600);
  }

  bool Feed(const XlOperator& op);
  bool Finish();

 private:
  GraphicsState& gs() { return stack_.back(); }
  void Problem(std::string message);
  void NotDrawn(const std::string& what, size_t count = 1) { report_.notDrawn[what] += count; }
  void SetUnits(double perInchX, double perInchY) {
    sx_ = dpi_ / perInchX;
    sy_ = dpi_ / perInchY;
  }
  bool Scalar(const XlOperator& op, Attribute id, double& value);
  bool Pair(const XlOperator& op, Attribute id, double& x, double& y);

  void BeginSession(const XlOperator& op);
  void PageSize(const XlOperator& op, double& width, double& height);
  bool BeginPage(const XlOperator& op);
  bool SetCharacterState(const XlOperator& op);
  bool SetGraphicsState(const XlOperator& op);
  void SetROP(const XlOperator& op);
  bool Paint(const XlOperator& op);
  void Rectangle(const XlOperator& op);
  bool EndPage(bool incomplete);
  void SetBrushOrPen(const XlOperator& op, int& target);
  void SetFont(const XlOperator& op);
  void SetClipRectangle(const XlOperator& op);
  void PaintRectangles(const std::vector<Box>& boxes, const char* what);
  void Text(const XlOperator& op);
  bool TextArrays(const XlOperator& op, const XlValue*& text, const XlValue* (&spacing)[2]);
  bool SizeFace(LoadedFace* loaded, const GraphicsState& g, double& ppemY);
  size_t DrawCharacters(const XlValue& text, const XlValue* const (&spacing)[2],
                        const SoftFont& font, LoadedFace* loaded, double boldStrength);
  void NoRecord(uint16_t code);
  void CheckComplete(LoadedFace& loaded, uint16_t code, uint16_t glyph);
  LoadedFace* FaceFor(const std::string& name);
  void CheckNewGlyphs(LoadedFace& face);
  bool DrawGlyph(LoadedFace& face, uint16_t glyph, double px, double py, double boldStrength);
  void Blit(const FT_Bitmap& bitmap, long left, long top);
  void ClipPixels(uint32_t& x0, uint32_t& y0, uint32_t& x1, uint32_t& y1);

  FT_Library library_;
  double dpi_;
  uint64_t maxPagePixels_;
  const std::function<bool(const RenderedPage&)>& sink_;
  RenderReport& report_;
  double sx_ = 1, sy_ = 1;  // pixels per page unit
  SoftFontCollector fonts_;
  std::map<std::string, std::unique_ptr<LoadedFace>> faces_;
  std::vector<GraphicsState> stack_{GraphicsState{}};
  std::vector<Box> path_;
  size_t noRecordKinds_ = 0;
  bool inPage_ = false;
  bool drawable_ = false;  // the open page has pixels (it was not too large)
  RenderedPage page_;
};

void Renderer::Problem(std::string message) {
  if (report_.problems.size() < kMaxProblems) {
    report_.problems.push_back(std::move(message));
  } else if (report_.problems.size() == kMaxProblems) {
    report_.problems.push_back("(further problems are not listed)");
  }
}

bool Renderer::Scalar(const XlOperator& op, Attribute id, double& value) {
  const XlAttribute* a = op.Find(id);
  if (!a || a->value.shape != XlShape::kScalar || !Finite(a->value)) return false;
  value = a->value.number[0];
  return true;
}

bool Renderer::Pair(const XlOperator& op, Attribute id, double& x, double& y) {
  const XlAttribute* a = op.Find(id);
  if (!a || a->value.shape != XlShape::kXY || !Finite(a->value)) return false;
  x = a->value.number[0];
  y = a->value.number[1];
  return true;
}

void Renderer::BeginSession(const XlOperator& op) {
  double measure = 0, x = 0, y = 0;
  double perUnit = 1;  // measures per inch
  if (Scalar(op, Attribute::Measure, measure)) {
    if (measure == 1) {
      perUnit = 25.4;
    } else if (measure == 2) {
      perUnit = 254;
    } else if (measure != 0) {
      Problem("BeginSession: unknown Measure " + std::to_string(measure) + ", inch assumed");
    }
  }
  if (!Pair(op, Attribute::UnitsPerMeasure, x, y) || !(x > 0) || !(y > 0)) {
    Problem("BeginSession without a usable UnitsPerMeasure; 600 units per inch assumed");
    x = y = 600;
    perUnit = 1;
  }
  SetUnits(x * perUnit, y * perUnit);
}

// Inches of a paper of the MediaSize enumeration.
void Inches(const Paper& paper, double& width, double& height) {
  width = static_cast<double>(paper.widthNumerator) / paper.denominator;
  height = static_cast<double>(paper.heightNumerator) / paper.denominator;
}

// The page's size in inches from its media attributes (Letter when they give none).
void Renderer::PageSize(const XlOperator& op, double& width, double& height) {
  width = 8.5;
  height = 11;
  const XlAttribute* media = op.Find(Attribute::MediaSize);
  double customX = 0, customY = 0, customUnits = 0;
  if (Pair(op, Attribute::CustomMediaSize, customX, customY)) {
    Scalar(op, Attribute::CustomMediaSizeUnits, customUnits);
    double perInch = customUnits == 1 ? 25.4 : customUnits == 2 ? 254 : 1;
    width = customX / perInch;
    height = customY / perInch;
  } else if (media && media->value.shape == XlShape::kScalar) {
    double n = media->value.number[0];
    const Paper* paper =
        n >= 0 && n <= 255 && n == std::floor(n) ? PaperOf(static_cast<uint8_t>(n)) : nullptr;
    if (paper) {
      Inches(*paper, width, height);
    } else {
      Problem("BeginPage: MediaSize " + std::to_string(n) + " is not known here; Letter used");
    }
  } else if (media && media->value.type == DataType::ubyte_array) {
    std::string name;
    for (uint32_t i = 0; i < media->value.count && i < 32; ++i) {
      name += static_cast<char>(std::toupper(static_cast<int>(media->value.Element(i))));
    }
    if (const Paper* paper = PaperNamed(name.data(), name.size())) {
      Inches(*paper, width, height);
    } else {
      Problem("BeginPage: MediaSize \"" + name + "\" is not known here; Letter used");
    }
  } else {
    Problem("BeginPage without a MediaSize; Letter used");
  }
}

bool Renderer::BeginPage(const XlOperator& op) {
  if (inPage_) {
    Problem("BeginPage inside page " + std::to_string(page_.number) + "; that page ends there");
    if (!EndPage(true)) return false;
  }
  double width = 0, height = 0;
  PageSize(op, width, height);
  double orientation = 0;
  if (Scalar(op, Attribute::Orientation, orientation) && (orientation == 1 || orientation == 3)) {
    std::swap(width, height);
  }
  inPage_ = true;
  page_ = RenderedPage{};
  page_.number = ++report_.pages;
  stack_.assign(1, GraphicsState{});
  path_.clear();
  double w = std::round(width * dpi_), h = std::round(height * dpi_);
  drawable_ = w >= 1 && h >= 1 && w <= kMaxPageSide && h <= kMaxPageSide &&
              w * h <= static_cast<double>(std::min(maxPagePixels_, kMaxPagePixels));
  if (!drawable_) {
    Problem("page " + std::to_string(page_.number) + " is too large to preview at this resolution");
    return true;
  }
  page_.image.width = static_cast<uint32_t>(w);
  page_.image.height = static_cast<uint32_t>(h);
  page_.image.pixels.assign(static_cast<size_t>(w) * static_cast<size_t>(h), 255);
  return true;
}

bool Renderer::EndPage(bool incomplete) {
  if (!inPage_) {
    Problem("EndPage without BeginPage");
    return true;
  }
  inPage_ = false;
  page_.incomplete = incomplete;
  bool keepGoing = !drawable_ || sink_(page_);
  page_.image = GrayImage{};
  return keepGoing;
}

void Renderer::SetBrushOrPen(const XlOperator& op, int& target) {
  double gray = 0;
  const XlAttribute* rgb = op.Find(Attribute::RGBColor);
  if (op.Find(op.tag == Operator::SetBrushSource ? Attribute::NullBrush : Attribute::NullPen)) {
    target = -1;
  } else if (Scalar(op, Attribute::GrayLevel, gray)) {
    // A real gray level runs from 0 to 1, a ubyte one to 255.
    double level = op.Find(Attribute::GrayLevel)->value.IsReal() ? gray * 255 : gray;
    target = static_cast<int>(std::clamp(level, 0.0, 255.0));
  } else if (rgb && rgb->value.shape == XlShape::kArray && rgb->value.count == 3) {
    double scale = rgb->value.IsReal() ? 255 : 1;
    double luminance = 0.299 * rgb->value.Element(0) + 0.587 * rgb->value.Element(1) +
                       0.114 * rgb->value.Element(2);
    target =
        std::isfinite(luminance) ? static_cast<int>(std::clamp(luminance * scale, 0.0, 255.0)) : 0;
    report_.approximations["color shown as gray"]++;
  } else {
    NotDrawn(std::string(OperatorName(static_cast<uint8_t>(op.tag))) +
             " (a source other than gray, RGB or none)");
  }
}

void Renderer::SetFont(const XlOperator& op) {
  bool named = false;
  std::string name = FontNameOf(op, &named);
  double size = 0;
  if (!named || !Scalar(op, Attribute::CharSize, size)) {
    Problem("SetFont without FontName and CharSize");
    return;
  }
  if (!fonts_.Find(name)) {
    Problem("SetFont selects \"" + name + "\", which is not a downloaded font");
  }
  gs().haveFont = true;
  gs().fontName = name;
  gs().charSize = size;
}

void Renderer::SetClipRectangle(const XlOperator& op) {
  const XlAttribute* box = op.Find(Attribute::BoundingBox);
  double region = 0;
  Scalar(op, Attribute::ClipRegion, region);
  if (!box || box->value.shape != XlShape::kBox || !Finite(box->value)) {
    Problem("SetClipRectangle without a BoundingBox");
    return;
  }
  if (region != 0) {
    NotDrawn("SetClipRectangle with an exterior clip region");
    return;
  }
  gs().clipped = true;
  gs().clip = Normalized(box->value.number);
}

void Renderer::ClipPixels(uint32_t& x0, uint32_t& y0, uint32_t& x1, uint32_t& y1) {
  x0 = y0 = 0;
  x1 = page_.image.width;
  y1 = page_.image.height;
  if (gs().clipped) {
    const Box& c = gs().clip;
    Span(c.x1 * sx_, c.x2 * sx_, page_.image.width, x0, x1);
    Span(c.y1 * sy_, c.y2 * sy_, page_.image.height, y0, y1);
  }
}

void Renderer::PaintRectangles(const std::vector<Box>& boxes, const char* what) {
  if (!inPage_) {
    NotDrawn(std::string(what) + " outside a page");
    return;
  }
  if (gs().pen >= 0) report_.approximations[std::string(what) + ": outline not stroked"]++;
  if (gs().brush < 0 || !drawable_) return;
  uint32_t cx0, cy0, cx1, cy1;
  ClipPixels(cx0, cy0, cx1, cy1);
  auto level = static_cast<uint8_t>(gs().brush);
  for (const Box& b : boxes) {
    uint32_t x0, x1, y0, y1;
    Span(b.x1 * sx_, b.x2 * sx_, page_.image.width, x0, x1);
    Span(b.y1 * sy_, b.y2 * sy_, page_.image.height, y0, y1);
    x0 = std::max(x0, cx0);
    y0 = std::max(y0, cy0);
    x1 = std::min(x1, cx1);
    y1 = std::min(y1, cy1);
    for (uint32_t y = y0; y < y1; ++y) {
      uint8_t* row = page_.image.pixels.data() + static_cast<size_t>(y) * page_.image.width;
      std::fill(row + x0, row + std::max(x0, x1), level);
    }
    ++report_.rectanglesPainted;
  }
}

void Renderer::CheckNewGlyphs(LoadedFace& loaded) {
  for (const auto& [glyph, bytes] : loaded.font->glyphs) {
    if (glyph >= loaded.face->num_glyphs || !loaded.checkedGlyphs.insert(glyph).second) continue;
    FT_Error error = FT_Load_Glyph(loaded.face, glyph, FT_LOAD_NO_SCALE | FT_LOAD_NO_HINTING);
    if (error) {
      loaded.refusedGlyphs.insert(glyph);
      Problem("font \"" + loaded.font->name +
              "\": FreeType refuses the character record of glyph " + std::to_string(glyph) +
              " (FreeType error " + std::to_string(error) + ")");
    }
  }
}

LoadedFace* Renderer::FaceFor(const std::string& name) {
  const SoftFont* font = fonts_.Find(name);
  if (!font) return nullptr;
  std::unique_ptr<LoadedFace>& slot = faces_[name];
  if (!slot || slot->font != font) {
    slot = std::make_unique<LoadedFace>();
    slot->font = font;
  }
  LoadedFace& loaded = *slot;
  if (loaded.generation == font->generation) return loaded.face ? &loaded : nullptr;
  loaded.generation = font->generation;
  if (loaded.face) {
    FT_Done_Face(loaded.face);
    loaded.face = nullptr;
  }
  RebuiltFont rebuilt;
  std::string error;
  if (!RebuildTrueType(*font, rebuilt, error)) {
    if (!loaded.reported) Problem("font \"" + name + "\" cannot be rebuilt: " + error);
    loaded.reported = true;
    return nullptr;
  }
  if (!loaded.reported) {
    for (const std::string& note : rebuilt.notes) Problem("font \"" + name + "\": " + note);
  }
  loaded.file = std::move(rebuilt.file);
  FT_Error ftError = FT_New_Memory_Face(library_, loaded.file.data(),
                                        static_cast<FT_Long>(loaded.file.size()), 0, &loaded.face);
  if (ftError) {
    loaded.face = nullptr;
    if (!loaded.reported) {
      Problem("font \"" + name + "\": FreeType refuses the font rebuilt from its header (error " +
              std::to_string(ftError) + ")");
    }
    loaded.reported = true;
    return nullptr;
  }
  loaded.reported = true;
  CheckNewGlyphs(loaded);
  return &loaded;
}

void Renderer::Blit(const FT_Bitmap& bitmap, long left, long top) {
  if (bitmap.pixel_mode != FT_PIXEL_MODE_GRAY || bitmap.buffer == nullptr) return;
  uint32_t cx0, cy0, cx1, cy1;
  ClipPixels(cx0, cy0, cx1, cy1);
  int level = gs().brush;
  unsigned pitch = static_cast<unsigned>(bitmap.pitch < 0 ? -bitmap.pitch : bitmap.pitch);
  for (unsigned r = 0; r < bitmap.rows; ++r) {
    long y = top + static_cast<long>(r);
    if (y < static_cast<long>(cy0) || y >= static_cast<long>(cy1)) continue;
    unsigned sourceRow = bitmap.pitch < 0 ? bitmap.rows - 1 - r : r;
    const uint8_t* coverage = bitmap.buffer + static_cast<size_t>(sourceRow) * pitch;
    uint8_t* row = page_.image.pixels.data() + static_cast<size_t>(y) * page_.image.width;
    for (unsigned c = 0; c < bitmap.width; ++c) {
      long x = left + static_cast<long>(c);
      if (x < static_cast<long>(cx0) || x >= static_cast<long>(cx1) || coverage[c] == 0) continue;
      int old = row[x];
      row[x] = static_cast<uint8_t>(old + (level - old) * coverage[c] / 255);
    }
  }
}

bool Renderer::DrawGlyph(LoadedFace& loaded, uint16_t glyph, double px, double py,
                         double boldStrength) {
  if (!(std::fabs(px) < kMaxCoordinate && std::fabs(py) < kMaxCoordinate)) return false;
  FT_Face face = loaded.face;
  double fx = std::floor(px), fy = std::floor(py);
  // FreeType's y axis points up, the page's down: the sub-pixel offset changes sign.
  FT_Vector delta{static_cast<FT_Pos>(std::lround((px - fx) * 64)),
                  static_cast<FT_Pos>(-std::lround((py - fy) * 64))};
  const GraphicsState& g = gs();
  // Shear first (x leans right by shearX per unit of height), then the character angle; with
  // the y axis up, the page's y shear changes sign.
  double radians = g.angle * 3.14159265358979323846 / 180;
  double c = std::cos(radians), s = std::sin(radians);
  double xx = c + s * g.shearY, xy = c * g.shearX - s;
  double yx = s - c * g.shearY, yy = s * g.shearX + c;
  FT_Matrix matrix{static_cast<FT_Fixed>(std::lround(xx * 65536)),
                   static_cast<FT_Fixed>(std::lround(xy * 65536)),
                   static_cast<FT_Fixed>(std::lround(yx * 65536)),
                   static_cast<FT_Fixed>(std::lround(yy * 65536))};
  FT_Set_Transform(face, &matrix, &delta);
  FT_Error error = FT_Load_Glyph(face, glyph, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP);
  FT_Set_Transform(face, nullptr, nullptr);
  if (error) {
    if (loaded.refusedGlyphs.insert(glyph).second) {
      Problem("font \"" + loaded.font->name + "\": FreeType cannot load glyph " +
              std::to_string(glyph) + " (error " + std::to_string(error) + ")");
    }
    return false;
  }
  FT_GlyphSlot slot = face->glyph;
  if (slot->format != FT_GLYPH_FORMAT_OUTLINE) return false;
  if (boldStrength > 0) FT_Outline_Embolden(&slot->outline, static_cast<FT_Pos>(boldStrength));
  FT_BBox box;
  FT_Outline_Get_CBox(&slot->outline, &box);
  double area = (static_cast<double>(box.xMax - box.xMin) / 64 + 2) *
                (static_cast<double>(box.yMax - box.yMin) / 64 + 2);
  if (area > kMaxGlyphPixels) {
    NotDrawn("glyphs too large to preview");
    return false;
  }
  if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL)) return false;
  Blit(slot->bitmap, static_cast<long>(fx) + slot->bitmap_left,
       static_cast<long>(fy) - slot->bitmap_top);
  return true;
}

void Renderer::Text(const XlOperator& op) {
  ++report_.textOperators;
  const XlValue* text = nullptr;
  const XlValue* spacing[2] = {nullptr, nullptr};
  if (!TextArrays(op, text, spacing)) return;
  GraphicsState& g = gs();
  if (!inPage_) NotDrawn("Text outside a page");
  if (!g.haveFont) {
    NotDrawn("Text without a font");
    return;
  }
  const SoftFont* font = fonts_.Find(g.fontName);
  if (!font) {
    NotDrawn("Text in a font that is not downloaded");
    return;
  }
  LoadedFace* loaded = FaceFor(g.fontName);
  double ppemY = 0;
  bool sized = SizeFace(loaded, g, ppemY);
  bool draw = inPage_ && drawable_ && loaded && sized && g.brush >= 0;
  if (g.bold != 0) report_.approximations["bold simulated by outline emboldening"]++;
  if (g.angle != 0) report_.approximations["character angle"]++;
  // A printer emboldens each side of a stroke by the bold value of the em; FreeType's strength
  // is what the outline grows in all (26.6 pixels), half of it on each side.
  double boldStrength = sized ? std::fabs(g.bold) * std::fabs(ppemY) * 64 * 2 : 0;
  size_t unusable = DrawCharacters(*text, spacing, *font, draw ? loaded : nullptr, boldStrength);
  if (unusable && inPage_ && drawable_ && g.brush >= 0) {
    NotDrawn("characters in an unusable font or at an unusable size", unusable);
  }
}

// The TextData array and the spacing arrays there are, each with one entry per character; false
// (and the problem reported) when the text is not drawn.
bool Renderer::TextArrays(const XlOperator& op, const XlValue*& text,
                          const XlValue* (&spacing)[2]) {
  const XlAttribute* t = op.Find(Attribute::TextData);
  if (!t || (t->value.type != DataType::ubyte_array && t->value.type != DataType::uint16_array)) {
    Problem("Text at " + FormatOffset(op.offset) + " without a TextData array of ubyte or uint16");
    return false;
  }
  text = &t->value;
  const Attribute ids[2] = {Attribute::XSpacingData, Attribute::YSpacingData};
  for (int axis = 0; axis < 2; ++axis) {
    const XlAttribute* a = op.Find(ids[axis]);
    if (!a) continue;
    if (a->value.shape != XlShape::kArray || a->value.count != text->count) {
      Problem("Text at " + FormatOffset(op.offset) + ": " +
              AttributeName(static_cast<uint8_t>(ids[axis])) +
              " does not have one entry per character; not drawn");
      NotDrawn("Text with mismatched spacing arrays");
      return false;
    }
    spacing[axis] = &a->value;
  }
  return true;
}

// Sets the face to the state's character size; false when that size cannot be drawn.
bool Renderer::SizeFace(LoadedFace* loaded, const GraphicsState& g, double& ppemY) {
  double ppemX = g.charSize * g.scaleX * sx_;
  ppemY = g.charSize * g.scaleY * sy_;
  bool sized = std::isfinite(ppemX) && std::isfinite(ppemY) && std::fabs(ppemX) >= 1.0 / 64 &&
               std::fabs(ppemY) >= 1.0 / 64;
  if (sized && (std::fabs(ppemX) > kMaxPixelsPerEm || std::fabs(ppemY) > kMaxPixelsPerEm)) {
    NotDrawn("characters larger than the preview draws");
    sized = false;
  }
  if (loaded && sized) {
    sized = FT_Set_Char_Size(loaded->face, static_cast<FT_F26Dot6>(std::fabs(ppemX) * 64),
                             static_cast<FT_F26Dot6>(std::fabs(ppemY) * 64), 72, 72) == 0;
  }
  return sized;
}

// Draws the characters with `loaded` (null when they cannot be drawn) and moves the cursor past
// them; returns how many had a glyph but were not drawn.
size_t Renderer::DrawCharacters(const XlValue& text, const XlValue* const (&spacing)[2],
                                const SoftFont& font, LoadedFace* loaded, double boldStrength) {
  GraphicsState& g = gs();
  size_t unusable = 0;
  for (uint32_t i = 0; i < text.count; ++i) {
    auto code = static_cast<uint16_t>(static_cast<uint32_t>(text.Element(i)));
    auto found = font.charToGlyph.find(code);
    double advance = 0;
    if (found == font.charToGlyph.end()) {
      // The library never sends a space: it has no outline, and the advance places what follows.
      if (code != 0x20 && code != 0xA0 && code != 0x3000) NoRecord(code);
    } else if (!loaded) {
      ++unusable;
    } else {
      CheckComplete(*loaded, code, found->second);
      if (DrawGlyph(*loaded, found->second, g.cursorX * sx_, g.cursorY * sy_, boldStrength)) {
        ++report_.glyphsDrawn;
        advance = static_cast<double>(loaded->face->glyph->linearHoriAdvance) / 65536 / sx_;
      }
    }
    g.cursorX += spacing[0] ? spacing[0]->Element(i) : advance;
    if (spacing[1]) g.cursorY += spacing[1]->Element(i);
  }
  return unusable;
}

void Renderer::NoRecord(uint16_t code) {
  std::string key = "character " + DescribeCodePoint(code) + " without a downloaded glyph";
  if (report_.notDrawn.count(key) || noRecordKinds_ < kMaxNoRecordKinds) {
    if (!report_.notDrawn.count(key)) ++noRecordKinds_;
    NotDrawn(key);
  } else {
    NotDrawn("other characters without a downloaded glyph");
  }
}

// A composite whose components never reached the printer prints without them; the preview
// draws it the same way and says so once per glyph.
void Renderer::CheckComplete(LoadedFace& loaded, uint16_t code, uint16_t glyph) {
  if (loaded.completeGlyphs.count(glyph)) return;
  std::vector<uint16_t> missing = MissingComponents(*loaded.font, glyph);
  if (missing.empty()) {
    loaded.completeGlyphs.insert(glyph);
    return;
  }
  NotDrawn("characters drawn without parts that were never downloaded");
  if (!loaded.incompleteReported.insert(glyph).second) return;
  std::string list;
  for (size_t i = 0; i < missing.size() && i < 8; ++i) {
    list += (i ? ", " : "") + std::to_string(missing[i]);
  }
  Problem("font \"" + loaded.font->name + "\": " + DescribeCodePoint(code) + " (glyph " +
          std::to_string(glyph) + ") needs glyph" + (missing.size() > 1 ? "s " : " ") + list +
          ", never downloaded; it prints without " + (missing.size() > 1 ? "them" : "it"));
}

// Operators that change nothing the preview shows.
bool Unseen(Operator tag) {
  switch (tag) {
    case Operator::EndSession:
    case Operator::OpenDataSource:
    case Operator::CloseDataSource:
    case Operator::Comment:
    case Operator::BeginFontHeader:
    case Operator::ReadFontHeader:
    case Operator::EndFontHeader:
    case Operator::BeginChar:
    case Operator::ReadChar:
    case Operator::EndChar:
    case Operator::RemoveFont:
    case Operator::SetColorSpace:
      return true;
    default:
      return false;
  }
}

bool Renderer::Feed(const XlOperator& op) {
  FontEvent event = fonts_.Feed(op);
  if (event.kind == FontEvent::Kind::kProblem) {
    Problem(FormatOffset(op.offset) + ": " + event.message);
  }
  switch (op.tag) {
    case Operator::BeginSession:
      BeginSession(op);
      return true;
    case Operator::BeginPage:
      return BeginPage(op);
    case Operator::EndPage:
      return EndPage(false);
    default:
      break;
  }
  if (Unseen(op.tag) || SetCharacterState(op) || SetGraphicsState(op) || Paint(op)) return true;
  const char* name = OperatorName(static_cast<uint8_t>(op.tag));
  char unknown[32];
  std::snprintf(unknown, sizeof(unknown), "operator 0x%02X", static_cast<unsigned>(op.tag));
  NotDrawn(name ? name : unknown);
  return true;
}

// The cursor, the font and the character transformations; false for any other operator.
bool Renderer::SetCharacterState(const XlOperator& op) {
  GraphicsState& g = gs();
  double x = 0, y = 0, v = 0;
  switch (op.tag) {
    case Operator::SetCursor:
      if (Pair(op, Attribute::Point, x, y)) {
        g.cursorX = x;
        g.cursorY = y;
      } else {
        Problem("SetCursor at " + FormatOffset(op.offset) + " without a Point");
      }
      return true;
    case Operator::SetCursorRel:
      if (Pair(op, Attribute::Point, x, y)) {
        g.cursorX += x;
        g.cursorY += y;
      }
      return true;
    case Operator::SetFont:
      SetFont(op);
      return true;
    case Operator::SetCharBoldValue:
      if (Scalar(op, Attribute::CharBoldValue, v)) g.bold = std::clamp(v, -1.0, 1.0);
      return true;
    case Operator::SetCharShear:
      if (Pair(op, Attribute::CharShear, x, y)) {
        g.shearX = std::clamp(x, -kMaxShear, kMaxShear);
        g.shearY = std::clamp(y, -kMaxShear, kMaxShear);
      }
      return true;
    case Operator::SetCharScale:
      if (Pair(op, Attribute::CharScale, x, y)) {
        g.scaleX = std::clamp(x, -kMaxScale, kMaxScale);
        g.scaleY = std::clamp(y, -kMaxScale, kMaxScale);
      }
      return true;
    case Operator::SetCharAngle:
      if (Scalar(op, Attribute::CharAngle, v)) g.angle = std::fmod(v, 360.0);
      return true;
    default:
      return false;
  }
}

// Brush, pen, raster operation, clip and the state stack; false for any other operator.
bool Renderer::SetGraphicsState(const XlOperator& op) {
  GraphicsState& g = gs();
  switch (op.tag) {
    case Operator::SetBrushSource:
      SetBrushOrPen(op, g.brush);
      return true;
    case Operator::SetPenSource:
      SetBrushOrPen(op, g.pen);
      return true;
    case Operator::SetROP:
      SetROP(op);
      return true;
    case Operator::SetClipRectangle:
      SetClipRectangle(op);
      return true;
    case Operator::SetClipToPage:
      g.clipped = false;
      return true;
    case Operator::PushGS:
      if (stack_.size() < 1024) {
        stack_.push_back(g);
      } else {
        Problem("PushGS nested deeper than 1024");
      }
      return true;
    case Operator::PopGS:
      if (stack_.size() > 1) {
        stack_.pop_back();
      } else {
        Problem("PopGS without PushGS");
      }
      return true;
    default:
      return false;
  }
}

// Black or gray on white paper looks the same under the usual ROPs; others are noted.
void Renderer::SetROP(const XlOperator& op) {
  double v = 0;
  if (Scalar(op, Attribute::ROP3, v) && v != 204 && v != 240 && v != 252) {
    // ROP3 is a ubyte, but a stream may give it as any number.
    const std::string rop =
        v >= 0 && v <= 255 ? std::to_string(static_cast<int>(v)) : "out of range";
    report_.approximations["ROP3 " + rop + " drawn as paint"]++;
  }
}

// Paths of rectangles, rectangles and text; false for any other operator.
bool Renderer::Paint(const XlOperator& op) {
  switch (op.tag) {
    case Operator::NewPath:
      path_.clear();
      return true;
    case Operator::RectanglePath:
    case Operator::Rectangle:
      Rectangle(op);
      return true;
    case Operator::PaintPath:
      PaintRectangles(path_, "PaintPath");
      return true;
    case Operator::Text:
      Text(op);
      return true;
    default:
      return false;
  }
}

void Renderer::Rectangle(const XlOperator& op) {
  const XlAttribute* box = op.Find(Attribute::BoundingBox);
  if (!box || box->value.shape != XlShape::kBox || !Finite(box->value)) {
    Problem(std::string(OperatorName(static_cast<uint8_t>(op.tag))) + " at " +
            FormatOffset(op.offset) + " without a BoundingBox");
    return;
  }
  if (op.tag == Operator::Rectangle) {
    PaintRectangles({Normalized(box->value.number)}, "Rectangle");
  } else if (path_.size() < 100000) {
    path_.push_back(Normalized(box->value.number));
  }
}

bool Renderer::Finish() {
  if (!inPage_) return true;
  Problem("the stream ends inside page " + std::to_string(page_.number) +
          "; it is written as far as it goes");
  return EndPage(true);
}

struct FreeTypeLibrary {
  FT_Library library = nullptr;
  FreeTypeLibrary() {
    if (FT_Init_FreeType(&library)) library = nullptr;
  }
  ~FreeTypeLibrary() {
    if (library) FT_Done_FreeType(library);
  }
  FreeTypeLibrary(const FreeTypeLibrary&) = delete;
  FreeTypeLibrary& operator=(const FreeTypeLibrary&) = delete;
};

}  // namespace

bool RenderStream(const uint8_t* data, size_t size, double dpi,
                  const std::function<bool(const RenderedPage&)>& sink, RenderReport& report,
                  uint64_t maxPagePixels) {
  report = RenderReport{};
  FreeTypeLibrary freetype;
  if (!freetype.library) {
    report.error = "FreeType cannot be initialised";
    return false;
  }
  bool stopped = false;
  bool broken = false;
  {
    Renderer renderer(freetype.library, dpi, sink, report, maxPagePixels);
    XlStreamReader reader(data, size);
    XlOperator op;
    while (true) {
      XlStreamReader::Result result = reader.Next(op);
      if (result == XlStreamReader::Result::kEnd) break;
      if (result == XlStreamReader::Result::kError) {
        broken = true;
        report.streamError = true;
        report.error = FormatOffset(reader.errorOffset()) + ": " + reader.error();
        break;
      }
      if (!renderer.Feed(op)) {
        stopped = true;
        break;
      }
    }
    if (!stopped && !renderer.Finish()) stopped = true;
  }
  return !broken && !stopped;
}

size_t CountPages(const uint8_t* data, size_t size) {
  XlStreamReader reader(data, size);
  XlOperator op;
  size_t pages = 0;
  while (reader.Next(op) == XlStreamReader::Result::kOperator) {
    if (op.tag == Operator::BeginPage) ++pages;
  }
  return pages;
}

std::string PageFileName(const std::string& base, size_t number, size_t pageCount) {
  if (pageCount <= 1) return base;
  std::string suffix = std::string("-") + std::to_string(number);
  size_t n = base.size();
  if (n >= 4) {
    std::string ext = base.substr(n - 4);
    for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (ext == ".png") return base.substr(0, n - 4) + suffix + base.substr(n - 4);
  }
  return base + suffix + ".png";
}

}  // namespace fndl
