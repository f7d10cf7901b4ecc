// What the POSIX font engine has done since the process started, for tests that prove the face
// cache spares the expensive steps. Not exported from the shared library.
#pragma once

#include <cstdint>

namespace tavrfndl::platform::posix {

struct FontEngineStats {
  uint64_t fontconfigMatches = 0;  // fontconfig searches (FcFontSort calls)
  uint64_t fontFileOpens = 0;      // font files mapped to load a face
};

FontEngineStats GetFontEngineStatsForTesting();

}  // namespace tavrfndl::platform::posix
