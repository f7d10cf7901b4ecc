// Making sure a run's font is on the printer with every glyph the run needs.
#pragma once

#include "fontlist/fontlist.h"
#include "pagetext/downloadcontext.h"
#include "pclxl/xlstream.h"
#include "sfnt/findings.h"
#include "tavrfndl.h"

namespace tavrfndl {

// What a failed download left behind, so the caller can keep the list consistent with what the
// printer holds.
enum class DownloadFailure {
  kNone,
  kNothingSent,  // a new entry was made but none of its header went out (the font could not be
                 // read or was refused): drop it
  kHeaderSent,   // the header went out but the font is unusable: keep the entry, marked failed
  kEntryFailed,  // the font's entry was marked failed by an earlier call
  kOther,        // no memory for a new entry or its arrays (the entry, if any, is dropped)
};

// Why a download call refused a font before its header, and why it turned glyphs away.
struct DownloadFindings {
  sfnt::Findings font;
  sfnt::Findings glyphs;
};

// Finds or creates the font's entry (validating the font, sending the header and building the
// map for a new one), selects the font for the run, then sends the run's missing glyphs. Returns
// true on success. findings, when given, collects the reasons of refusals.
bool DownloadFontW(FONTLIST& list, XlStream* pStream, const TEXTINFOW& text,
                   DOWNLOADCONTEXT& context, bool bTTE, int32_t* pbFontFileError,
                   DownloadFailure* failure, DownloadFindings* findings = nullptr);

// The findings of the last download call in this process (the entry points keep them, so that
// a person or a test can learn why a font or a glyph did not go out).
DownloadFindings LastDownloadFindings();

}  // namespace tavrfndl
