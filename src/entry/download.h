// Making sure a run's font is on the printer with every glyph the run needs.
#pragma once

#include "fontlist/fontlist.h"
#include "pagetext/downloadcontext.h"
#include "pclxl/xlstream.h"
#include "tavrfndl.h"

namespace tavrfndl {

// What a failed download left behind, so the caller can keep the list consistent with what the
// printer holds.
enum class DownloadFailure {
  kNone,
  kNothingSent,  // a new entry was made but none of its header went out: drop it
  kHeaderSent,   // the header went out but the font is unusable: keep the entry, marked failed
  kEntryFailed,  // the font's entry was marked failed by an earlier call
  kOther,        // no memory for a new entry or its arrays (the entry, if any, is dropped)
};

// Finds or creates the font's entry (sending the header and building the map for a new one),
// then sends the run's missing glyphs. Returns true on success.
bool DownloadFontW(FONTLIST& list, XlStream* pStream, const TEXTINFOW& text,
                   DOWNLOADCONTEXT& context, bool bTTE, int32_t* pbFontFileError,
                   DownloadFailure* failure);

}  // namespace tavrfndl
