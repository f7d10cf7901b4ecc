// The six entry points. The download and removal paths answer FNDL_RESULT_FAILED until the
// download path is complete; the cursor is kept already.
#include <cstdint>

#include "tavrfndl.h"

namespace {
int32_t nCursorX = 0;
int32_t nCursorY = 0;
}  // namespace

extern "C" {

TAVRFNDL_API int32_t FNDLFontDownloadW(TEXTINFOW*, PAGEINFOW*) { return FNDL_RESULT_FAILED; }
TAVRFNDL_API int32_t FNDLFontDownloadA(TEXTINFOA*, PAGEINFOA*) { return FNDL_RESULT_FAILED; }
TAVRFNDL_API void FNDLRemoveFontW(const uint32_t*) {}
TAVRFNDL_API void FNDLRemoveFontA(const uint32_t*) {}
TAVRFNDL_API int32_t FNDLGetCursor(void) { return nCursorY; }
TAVRFNDL_API int32_t FNDLSetCursor(const int32_t* pnX, const int32_t* pnY) {
  if (pnX) nCursorX = *pnX;
  if (pnY) nCursorY = *pnY;
  return nCursorY;
}

}  // extern "C"
