// The shared library is the entry points' static library linked whole; this unit only checks
// that the public header compiles on its own in the library's build.
#include "tavrfndl.h"

static_assert(TAVRFNDL_VERSION_NUMBER >= 100, "version macros are set");
