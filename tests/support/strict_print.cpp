#include "support/strict_print.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdio>
#include <fstream>
#include <iterator>

namespace tavrfndl::testing {
namespace {

constexpr int32_t kFontHeight = 120;  // tenths of a point

template <size_t N>
void Put(FNDL_WCHAR (&field)[N], const std::u16string& s) {
  size_t i = 0;
  for (; i < s.size() && i + 1 < N; ++i) field[i] = s[i];
  field[i] = 0;
}

PAGEINFOW Page(const std::string& fontPath, FontMode mode, uint32_t fontId,
               const std::string& jobPath) {
  PAGEINFOW page{};
  Put(page.chFont, std::u16string(fontPath.begin(), fontPath.end()));
  Put(page.chOutFile, std::u16string(jobPath.begin(), jobPath.end()));
  page.nFontId = fontId;
  page.nResolution = 600;
  page.nLineSpacing = 100;
  page.lfWeight = 400;
  page.bTTE = mode == FontMode::kFile ? 1 : 0;
  return page;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// A character with an outline: these prints are for the glyphs a rasterizer draws. Blanks (a
// no-break space, say) have their own tests (printer/blanks_test.cpp).
bool Visible(FT_Face face, FT_ULong c, FT_UInt glyph) {
  if (c < 0x21 || c > 0xFFFD || c == 0x7F || (c >= 0x80 && c < 0xA0) ||
      (c >= 0xD800 && c < 0xE000)) {
    return false;
  }
  return FT_Load_Glyph(face, glyph, FT_LOAD_NO_SCALE) == 0 && face->glyph->outline.n_points > 0;
}

}  // namespace

const char* FontModeName(FontMode mode) {
  return mode == FontMode::kFile ? "file mode" : "engine mode";
}

StrictPrint PrintStrictly(const PrintExports& exports, const std::string& fontPath, FontMode mode,
                          uint32_t fontId, const std::u16string& text, const std::string& jobPath) {
  std::remove(jobPath.c_str());
  const int32_t x0 = 300, y0 = 400;
  exports.SetCursor(&x0, &y0);
  TEXTINFOW run{};
  Put(run.chText, text);
  run.FontHeight = kFontHeight;
  PAGEINFOW page = Page(fontPath, mode, fontId, jobPath);
  StrictPrint out;
  for (size_t call = 0; call <= text.size(); ++call) {
    out.lastResult = exports.FontDownloadW(&run, &page);
    if (call == 0) out.firstResult = out.lastResult;
    if (out.lastResult != FNDL_RESULT_NO_GLYPH) break;
    ++out.noGlyph;
    if (static_cast<size_t>(run.nOffsetToText) + 1 >= text.size()) break;
    ++run.nOffsetToText;
    const int32_t x = page.nNextX, y = exports.GetCursor();
    exports.SetCursor(&x, &y);
  }
  exports.RemoveFontW(&fontId);
  out.job = ReadAll(jobPath);
  out.report = ReadAsStrictPrinter(out.job);
  return out;
}

std::u16string MappedText(const std::string& fontPath, size_t count) {
  FT_Library lib = nullptr;
  if (FT_Init_FreeType(&lib)) return {};
  FT_Face face = nullptr;
  std::u16string ascii, rest;
  if (FT_New_Face(lib, fontPath.c_str(), 0, &face) == 0) {
    FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    FT_UInt glyph = 0;
    for (FT_ULong c = FT_Get_First_Char(face, &glyph); glyph != 0;
         c = FT_Get_Next_Char(face, c, &glyph)) {
      if (!Visible(face, c, glyph)) continue;
      (c < 0x7F ? ascii : rest) += static_cast<char16_t>(c);
    }
    FT_Done_Face(face);
  }
  FT_Done_FreeType(lib);
  std::u16string text = ascii.substr(0, count);
  const size_t more = count - text.size();
  for (size_t i = 0; i < more && i < rest.size(); ++i) {
    text += rest[rest.size() <= more ? i : i * rest.size() / more];
  }
  return text;
}

}  // namespace tavrfndl::testing
