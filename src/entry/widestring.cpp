#include "entry/widestring.h"

#include <algorithm>
#include <limits>
#include <new>

namespace tavrfndl {
namespace {

WideString Allocate(size_t n) {
  if (n >= std::numeric_limits<size_t>::max() / sizeof(uint16_t)) return nullptr;
  return WideString(new (std::nothrow) uint16_t[n + 1]());
}

}  // namespace

size_t WideLength(const uint16_t* s, size_t max) {
  size_t n = 0;
  while (n < max && s[n] != 0) ++n;
  return n;
}

WideString CopyHeadW(const uint16_t* s, size_t n) {
  const size_t length = WideLength(s, std::numeric_limits<size_t>::max());
  WideString copy = Allocate(n);
  if (copy && n <= length) std::copy_n(s, n, copy.get());
  return copy;
}

WideString CopyTailW(const uint16_t* s, size_t n) {
  const size_t length = WideLength(s, std::numeric_limits<size_t>::max());
  if (n > length) return nullptr;
  WideString copy = Allocate(n);
  if (copy) std::copy_n(s + (length - n), n, copy.get());
  return copy;
}

}  // namespace tavrfndl
