# The strict printer of the tests (strict_consumer, strict_print) and the font mutants: it reads
# jobs with the fndl tool's stream reader and rebuilds their fonts with the tool's
# RebuildTrueType, so it needs the tool's support library even when the tool itself is not built.
# Included by tests/ and fuzz/, whichever comes first defines it.
if(NOT TARGET fndl_support AND EXISTS ${PROJECT_SOURCE_DIR}/tools/CMakeLists.txt)
  add_subdirectory(${PROJECT_SOURCE_DIR}/tools ${PROJECT_BINARY_DIR}/tools)
endif()
if(TARGET fndl_support AND NOT TARGET tavrfndl_strict_consumer)
  find_package(Freetype REQUIRED)
  add_library(tavrfndl_strict_consumer STATIC
    ${CMAKE_CURRENT_LIST_DIR}/strict_consumer.cpp
    ${CMAKE_CURRENT_LIST_DIR}/strict_print.cpp
    ${CMAKE_CURRENT_LIST_DIR}/font_mutants.cpp)
  target_include_directories(tavrfndl_strict_consumer PUBLIC
    ${PROJECT_SOURCE_DIR}/tests ${PROJECT_SOURCE_DIR}/include)
  target_link_libraries(tavrfndl_strict_consumer PUBLIC fndl_support Freetype::Freetype
    PRIVATE tavrfndl_warnings)
endif()
