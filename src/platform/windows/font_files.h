// Fonts made from a font file that the caller names instead of a face: GDI knows only faces, so
// the file is added as a private font of the process and its first face asked for by name.
#pragma once

#include "platform/platform.h"

namespace tavrfndl::platform::windows {

// False when path names no existing file: the caller then treats it as a face name. True when
// it does, with *font the first face of the file at lf's size and the face's own weight and
// slant, or null when GDI cannot load the file or answers with another face.
bool CreateFontFromFile(const char* path, const LOGFONTA& lf, HFONT* font);

// Withdraws the private fonts added for files. Fonts already made from them stay usable.
void ReleaseFileFonts();

}  // namespace tavrfndl::platform::windows
