// The ANSI code page as the Windows platform files share it. Tests may make CP_ACP stand for
// another code page (SetAnsiCodeSetForTesting); the calls that take ANSI strings from the library
// (file and face names) then go through the wide Windows calls after converting with it, so that
// a name means the same to them as to the conversions.
#pragma once

#include <memory>

namespace tavrfndl::platform::windows {

// True while a test has CP_ACP standing for a code page other than the system's.
bool AnsiCodePageOverridden();

// The terminated text in UTF-16 as CP_ACP reads it; null when it cannot be converted or no memory
// is left. wchar_t is UTF-16 on Windows.
std::unique_ptr<wchar_t[]> AnsiToWide(const char* text);

}  // namespace tavrfndl::platform::windows
