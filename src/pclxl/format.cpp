#include "pclxl/format.h"

#include <array>
#include <cctype>

namespace tavrfndl::pclxl {
namespace {

using NameTable = std::array<const char*, 256>;

#define TAVRFNDL_XL_NAME(name, code) table[code] = #name;

constexpr NameTable MakeOperatorNames() {
  NameTable table{};
  TAVRFNDL_XL_OPERATORS(TAVRFNDL_XL_NAME)
  return table;
}

constexpr NameTable MakeAttributeNames() {
  NameTable table{};
  TAVRFNDL_XL_ATTRIBUTES(TAVRFNDL_XL_NAME)
  return table;
}

constexpr NameTable MakeDataTypeNames() {
  NameTable table{};
  TAVRFNDL_XL_DATA_TYPES(TAVRFNDL_XL_NAME)
  return table;
}

#undef TAVRFNDL_XL_NAME

constexpr NameTable kOperatorNames = MakeOperatorNames();
constexpr NameTable kAttributeNames = MakeAttributeNames();
constexpr NameTable kDataTypeNames = MakeDataTypeNames();

bool SameLetters(const char* a, const char* b, size_t length) {
  for (size_t i = 0; i < length; ++i) {
    if (a[i] == '\0' || std::toupper(static_cast<unsigned char>(b[i])) != a[i]) return false;
  }
  return a[length] == '\0';
}

}  // namespace

const char* OperatorName(uint8_t tag) {
  return kOperatorNames[tag];
}

const char* AttributeName(uint8_t id) {
  return kAttributeNames[id];
}

const char* DataTypeName(uint8_t tag) {
  return kDataTypeNames[tag];
}

const Paper* PaperOf(uint8_t mediaSize) {
  for (const Paper& paper : kPapers) {
    if (static_cast<uint8_t>(paper.media) == mediaSize) return &paper;
  }
  return nullptr;
}

const Paper* PaperNamed(const char* mediaName, size_t length) {
  for (const Paper& paper : kPapers) {
    if (SameLetters(paper.mediaName, mediaName, length)) return &paper;
  }
  return nullptr;
}

}  // namespace tavrfndl::pclxl
