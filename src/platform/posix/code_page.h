// Code page helpers the POSIX font engine shares with the conversions in code_page.cpp.
#pragma once

#include <cstddef>
#include <memory>

namespace tavrfndl::platform::posix {

// The text in the ANSI code page as UTF-8 (what fontconfig expects of a family name), terminated;
// null when it cannot be converted or no memory is left.
std::unique_ptr<char[]> AnsiToUtf8(const char* text);

}  // namespace tavrfndl::platform::posix
