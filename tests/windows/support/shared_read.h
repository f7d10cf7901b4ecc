// Reading a whole file in the Windows test programs. Under Wine, a process that uses a font
// through GDI opens its file for a moment without sharing reads, so a test reading an installed
// font file while other tests run can meet a sharing violation; it is waited out here, as
// MapFileReadOnly waits it out in the library.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrfndl::testing {

// The whole file; empty when it cannot be read within a few seconds.
std::vector<uint8_t> ReadSharedFile(const std::string& path);

}  // namespace tavrfndl::testing
