// The kept font file mappings of MapFileShared, released with the font engine's caches.
#pragma once

namespace tavrfndl::platform::posix {

void ReleaseSharedMappings();

}  // namespace tavrfndl::platform::posix
