// Bounds-checked, big-endian access to font data, and the big-endian writers.
//
// Font files are untrusted: they come from the caller's path or from the font engine, and any
// length or offset in them may be wrong. Every read of font data in the library goes through
// ByteView (random access) or Cursor (sequential), never through pointer arithmetic on the raw
// bytes. A read that would leave the data fails and leaves its output untouched; the caller then
// takes the path the format already has for a missing table, a missing glyph or an unmapped code.
//
// Bounds are tested as `offset > size - n` after `n <= size`, so that the test itself cannot
// overflow, whatever 32-bit values a font supplies.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace tavrfndl {

class ByteView {
 public:
  constexpr ByteView() = default;
  constexpr ByteView(const uint8_t* data, size_t size) : data_(data), size_(data ? size : 0) {}

  constexpr const uint8_t* data() const { return data_; }
  constexpr size_t size() const { return size_; }
  constexpr bool empty() const { return size_ == 0; }

  // True when [offset, offset + length) lies inside the data.
  constexpr bool Contains(size_t offset, size_t length) const {
    return length <= size_ && offset <= size_ - length;
  }

  // The bytes [offset, offset + length), or nothing when they leave the data.
  constexpr std::optional<ByteView> Sub(size_t offset, size_t length) const {
    if (!Contains(offset, length)) return std::nullopt;
    return ByteView(data_ + offset, length);
  }

  // The bytes from offset on, cut to what exists (empty past the end).
  constexpr ByteView Tail(size_t offset) const {
    if (offset >= size_) return ByteView();
    return ByteView(data_ + offset, size_ - offset);
  }

  // The bytes [offset, offset + length) cut to what exists.
  constexpr ByteView SubClamped(size_t offset, size_t length) const {
    ByteView tail = Tail(offset);
    return ByteView(tail.data_, length < tail.size_ ? length : tail.size_);
  }

  constexpr bool ReadU8(size_t offset, uint8_t& out) const {
    if (!Contains(offset, 1)) return false;
    out = data_[offset];
    return true;
  }
  constexpr bool ReadU16(size_t offset, uint16_t& out) const {
    if (!Contains(offset, 2)) return false;
    out = static_cast<uint16_t>((data_[offset] << 8) | data_[offset + 1]);
    return true;
  }
  constexpr bool ReadS16(size_t offset, int16_t& out) const {
    uint16_t u = 0;
    if (!ReadU16(offset, u)) return false;
    out = static_cast<int16_t>(u);
    return true;
  }
  constexpr bool ReadU32(size_t offset, uint32_t& out) const {
    if (!Contains(offset, 4)) return false;
    out = (uint32_t{data_[offset]} << 24) | (uint32_t{data_[offset + 1]} << 16) |
          (uint32_t{data_[offset + 2]} << 8) | uint32_t{data_[offset + 3]};
    return true;
  }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

// Sequential reads over a ByteView. Each read either succeeds and advances, or fails and leaves
// the position where it was.
class Cursor {
 public:
  constexpr explicit Cursor(ByteView view, size_t offset = 0) : view_(view), pos_(offset) {}

  constexpr size_t position() const { return pos_; }
  constexpr size_t remaining() const { return pos_ < view_.size() ? view_.size() - pos_ : 0; }

  constexpr bool Skip(size_t n) {
    if (!view_.Contains(pos_, n)) return false;
    pos_ += n;
    return true;
  }
  constexpr bool ReadU8(uint8_t& out) { return Advance(view_.ReadU8(pos_, out), 1); }
  constexpr bool ReadU16(uint16_t& out) { return Advance(view_.ReadU16(pos_, out), 2); }
  constexpr bool ReadS16(int16_t& out) { return Advance(view_.ReadS16(pos_, out), 2); }
  constexpr bool ReadU32(uint32_t& out) { return Advance(view_.ReadU32(pos_, out), 4); }
  constexpr bool ReadBytes(size_t n, ByteView& out) {
    auto sub = view_.Sub(pos_, n);
    if (!sub) return false;
    out = *sub;
    pos_ += n;
    return true;
  }

 private:
  constexpr bool Advance(bool ok, size_t n) {
    if (ok) pos_ += n;
    return ok;
  }
  ByteView view_;
  size_t pos_ = 0;
};

// Big-endian writers for the fonts and records the library builds. The caller owns the bytes.
inline void PutU16(uint8_t* out, uint32_t v) {
  out[0] = static_cast<uint8_t>(v >> 8);
  out[1] = static_cast<uint8_t>(v);
}
inline void PutU32(uint8_t* out, uint32_t v) {
  PutU16(out, v >> 16);
  PutU16(out + 2, v);
}
// Table data in an sfnt are 4-byte aligned; 64 bits so that a length near 2^32 cannot wrap.
constexpr uint64_t Align4(uint64_t n) {
  return (n + 3) & ~uint64_t{3};
}

}  // namespace tavrfndl
