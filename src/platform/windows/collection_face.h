// The whole font of a face in a font collection. GDI answers GetFontData for table 0 of such a
// face with the collection's bytes from the face's table directory on, whose table offsets count
// from the start of the collection; the library reads the whole font as a font file of its own,
// as the POSIX engine gives it. So for a collection face the engine answers with a standalone
// font: the face's directory in its own order with the offsets rebased, and each table copied
// unchanged, 4-byte aligned and zero padded (tables whose bytes leave the collection are left
// out, as a lookup would not find them).
#pragma once

#include <cstdint>

#include "platform/platform.h"

namespace tavrfndl::platform::windows {

// False when the font selected into hdc is no face of a collection: GDI's own answer stands.
// Otherwise true, with *result what GetFontData answers for table 0 of the standalone font.
bool GetCollectionFaceData(HDC hdc, uint32_t dwOffset, void* pvBuffer, uint32_t cjBuffer,
                           uint32_t* result);

// Drops the standalone font kept from the last call.
void ReleaseCollectionFaces();

// Standalone fonts built since the process started, for tests that prove the kept one is used
// and released. Not exported from the DLL.
uint64_t CollectionFacesBuiltForTesting();

}  // namespace tavrfndl::platform::windows
