#include "entry/download.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "pagetext/pagetext.h"
#include "softfont/softfont.h"
#include "truetype/faceinfo.h"
#include "truetype/tables.h"

namespace tavrfndl {
namespace {

bool Fail(DownloadFailure* failure, DownloadFailure why) {
  if (failure) *failure = why;
  return false;
}

// What the selection and the page text need of the face, read once with its header.
void ReadFaceInfo(FONTENTRY& entry, const FontSource& source) {
  FontTables tables(source);
  entry.bSlanted = IsSlantedFace(tables);
  const FaceDescent descent = ReadFaceDescent(tables);
  entry.nUnitsPerEm = descent.unitsPerEm;
  entry.nDescent = descent.descent;
}

// A new entry for the font: glyph count, arrays, header, map. The entry is linked first so that
// the list describes what went to the printer even when a later step fails.
bool CreateFontEntry(FONTLIST& list, XlStream* pStream, const DOWNLOADCONTEXT& context,
                     const FontSource& source, DownloadFailure* failure, sfnt::Findings* findings,
                     FONTENTRY** created) {
  if (!AppendFontEntry(list)) return Fail(failure, DownloadFailure::kOther);
  FONTENTRY& entry = *list.pLastEntry;
  entry.nResolution = context.nResolution;
  entry.nFontId = context.nFontId;
  entry.nGlyphs = GetNumberOfGlyphsInFont(source);
  entry.pdwGlyphMap.reset(new (std::nothrow) uint32_t[kGlyphMapSize]);
  entry.pbyDownloaded.reset(new (std::nothrow) uint8_t[kDownloadedSetBytes]());
  if (!entry.pdwGlyphMap || !entry.pbyDownloaded) {
    RemoveFontEntry(list, &entry);
    return Fail(failure, DownloadFailure::kOther);
  }
  // Unmapped codes stay distinguishable whatever the cmap walk leaves untouched.
  std::fill_n(entry.pdwGlyphMap.get(), kGlyphMapSize, kUnmappedGlyph);
  std::strncpy(entry.chFont, source.path, sizeof entry.chFont - 1);

  // Glyphs of a font whose header did not go out would name a font the printer does not have.
  if (!DownloadFontHeader(entry, pStream, source, findings)) {
    RemoveFontEntry(list, &entry);
    return Fail(failure, DownloadFailure::kNothingSent);
  }
  ReadFaceInfo(entry, source);
  if (!BuildGlyphMap(source, entry.nGlyphs, entry.GlyphMap())) {
    entry.bFailed = true;
    return Fail(failure, DownloadFailure::kHeaderSent);
  }
  *created = &entry;
  return true;
}

}  // namespace

bool DownloadFontW(FONTLIST& list, XlStream* pStream, const TEXTINFOW& text,
                   DOWNLOADCONTEXT& context, bool bTTE, int32_t* pbFontFileError,
                   DownloadFailure* failure, DownloadFindings* findings) {
  if (failure) *failure = DownloadFailure::kNone;
  FONTENTRY* entry = FindDownloadedFontW(list, context.nFontId);
  bool bNewFont = false;
  if (entry && entry->bFailed) return Fail(failure, DownloadFailure::kEntryFailed);
  if (!entry) {
    FontSource source;
    source.bTTE = bTTE;
    source.hDC = list.hDC;
    source.path = context.pszFont.get();
    source.pbFontFileError = pbFontFileError;
    if (!CreateFontEntry(list, pStream, context, source, failure,
                         findings ? &findings->font : nullptr, &entry)) {
      return false;
    }
    bNewFont = true;
  }
  BuildPCLFontName(*entry);
  // Selected on every run, even when no glyph needs sending: the run's size and style differ.
  SelectTextFont(pStream, *entry, text);
  EmFont em(context.logFont, context.pszFont.get(), entry->nUnitsPerEm);
  return AddCharsToFontW(list, *entry, bNewFont, pStream, text, context.anGlyphIndex, bTTE,
                         pbFontFileError, findings ? &findings->glyphs : nullptr,
                         entry->bOutlineFace ? &em : nullptr) ||
         Fail(failure, DownloadFailure::kOther);
}

}  // namespace tavrfndl
