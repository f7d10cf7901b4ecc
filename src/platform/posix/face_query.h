// The installed faces fontconfig offers for a family name, weight and slant, best first, among
// those the library can download: sfnt faces with TrueType or CFF outlines. The POSIX font engine
// takes the first it can load; the fndl tool asks the same question to say beforehand which
// family the engine will use. Both ask on fontconfig's configuration for the process, which
// fontconfig loads at the first question and keeps, so a process that does both (the tool with
// the shared library) reads the font caches once. Not exported from the shared library: the tool
// links its own copy, which meets the library's in libfontconfig.
#pragma once

#include <cstdint>

// fontconfig's own declarations, repeated so that the callers need not include its header.
typedef struct _FcConfig FcConfig;
typedef struct _FcFontSet FcFontSet;

namespace tavrfndl::platform::posix {

class SfntFaces {
 public:
  // An empty family asks for fontconfig's default one. Weight as in OS/2 (400 regular).
  SfntFaces(const char* familyUtf8, int32_t weight, bool italic) noexcept;
  ~SfntFaces();
  SfntFaces(const SfntFaces&) = delete;
  SfntFaces& operator=(const SfntFaces&) = delete;

  // Moves to the next face, the best one at the first call; false when none is left (also when
  // fontconfig could not answer).
  bool Next() noexcept;

  // The current face: its file, its index in the file (for FreeType: the upper 16 bits name an
  // instance of a variable font) and its family names, which a face has in several languages
  // and spellings (null past the last).
  const char* File() const noexcept { return file_; }
  uint32_t Index() const noexcept { return index_; }
  const char* Family(int i) const noexcept;

 private:
  FcConfig* config_ = nullptr;
  FcFontSet* sorted_ = nullptr;
  int current_ = -1;
  const char* file_ = nullptr;
  uint32_t index_ = 0;
};

// Lets fontconfig look again for fonts installed or removed since it read the font directories,
// as often as its rescan interval allows (by default every 30 seconds at most).
void RescanInstalledFaces() noexcept;

}  // namespace tavrfndl::platform::posix
