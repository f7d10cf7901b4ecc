# Cross build of the Windows DLL with MinGW-w64 (Debian package mingw-w64) on Linux; the test
# programs run under Wine through cmake/wine-run.sh.
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86_64)

set(TAVRFNDL_MINGW_TRIPLET x86_64-w64-mingw32)
# The posix thread model: GCC 12's win32 model has no std::mutex or std::thread, which the
# library's lock and the tests need. Its libwinpthread is linked statically (src/CMakeLists.txt).
find_program(CMAKE_C_COMPILER NAMES ${TAVRFNDL_MINGW_TRIPLET}-gcc-posix REQUIRED)
find_program(CMAKE_CXX_COMPILER NAMES ${TAVRFNDL_MINGW_TRIPLET}-g++-posix REQUIRED)
find_program(CMAKE_RC_COMPILER NAMES ${TAVRFNDL_MINGW_TRIPLET}-windres REQUIRED)

set(CMAKE_FIND_ROOT_PATH /usr/${TAVRFNDL_MINGW_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

set(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/wine-run.sh)
