// The table directory of one face of a font file, read in place from the file's bytes, and the
// standalone font that stands for a face of a collection when the whole font is asked for.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "truetype/byteview.h"

namespace tavrfndl::platform::posix {

// A tag as the directory stores it: first byte most significant.
constexpr uint32_t DirectoryTag(const char (&tag)[5]) {
  return (uint32_t{static_cast<uint8_t>(tag[0])} << 24) |
         (uint32_t{static_cast<uint8_t>(tag[1])} << 16) |
         (uint32_t{static_cast<uint8_t>(tag[2])} << 8) | uint32_t{static_cast<uint8_t>(tag[3])};
}

inline constexpr uint32_t kCollectionTag = DirectoryTag("ttcf");

struct SfntTableRecord {
  uint32_t tag = 0;
  uint32_t checkSum = 0;
  uint32_t offset = 0;  // from the start of the file, also inside a collection
  uint32_t length = 0;
};

class SfntDirectory {
 public:
  // Reads the directory of face faceIndex (0 for a file that is no collection). False when the
  // file is no sfnt, or the collection has no such face. Records past the end of the file are
  // not counted.
  bool Parse(ByteView file, uint32_t faceIndex);

  ByteView file() const { return file_; }
  bool inCollection() const { return inCollection_; }
  uint32_t sfntVersion() const { return sfntVersion_; }
  uint16_t tableCount() const { return tableCount_; }
  // Record i in directory order; false when it cannot be read.
  bool Record(uint16_t i, SfntTableRecord& out) const;
  // The bytes of a record's table; nothing when they do not lie inside the file.
  std::optional<ByteView> TableBytes(const SfntTableRecord& record) const;
  // The first table with that tag whose bytes lie inside the file.
  std::optional<ByteView> Find(uint32_t tag) const;

 private:
  ByteView file_;
  size_t directoryOffset_ = 0;
  uint32_t sfntVersion_ = 0;
  uint16_t tableCount_ = 0;
  bool inCollection_ = false;
};

// A font file holding the one face alone: offset table, directory in the face's order with
// offsets rebased, and each table copied unchanged, 4-byte aligned and zero padded. Tables whose
// bytes leave the file are left out, as a lookup would not find them. Null (size 0) when the
// result would not fit a 32-bit size or no memory is left.
std::unique_ptr<uint8_t[]> BuildStandaloneFont(const SfntDirectory& directory, uint32_t& size);

}  // namespace tavrfndl::platform::posix
