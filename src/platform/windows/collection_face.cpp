// The standalone font is built from GDI's own answers: the face's table directory (table 0 from
// offset 0) and each table's bytes read from the collection ("ttcf") at the offset the directory
// gives. The library asks for the size and then for the bytes, so the last font built is kept,
// with the directory and collection size it was built from: a font selected later that has the
// same directory in a collection of the same size is the same face.
#include "platform/windows/collection_face.h"

#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "platform/windows/win32.h"

namespace tavrfndl::platform::windows {
namespace {

constexpr DWORD kCollection = 0x66637474;  // "ttcf", first byte least significant
constexpr size_t kOffsetTableSize = 12;
constexpr size_t kRecordSize = 16;
constexpr uint64_t kLargestFontData = 0xFFFFFFFEu;  // below GDI_ERROR

uint32_t GetU32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
void PutU32(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 24);
  p[1] = static_cast<uint8_t>(v >> 16);
  p[2] = static_cast<uint8_t>(v >> 8);
  p[3] = static_cast<uint8_t>(v);
}
void PutU16(uint8_t* p, uint32_t v) {
  p[0] = static_cast<uint8_t>(v >> 8);
  p[1] = static_cast<uint8_t>(v);
}
uint64_t Align4(uint64_t n) {
  return (n + 3) & ~uint64_t{3};
}

struct Standalone {
  std::unique_ptr<uint8_t[]> directory;  // offset table and records as GDI gave them
  size_t directorySize = 0;
  DWORD collectionSize = 0;
  std::unique_ptr<uint8_t[]> font;
  uint32_t size = 0;
};

std::mutex g_lastMutex;
Standalone g_last;

// The face's offset table and the records GDI gives whole; false when not even the offset table
// can be read.
bool ReadDirectory(::HDC dc, Standalone& out) {
  uint8_t offsetTable[kOffsetTableSize];
  if (::GetFontData(dc, 0, 0, offsetTable, sizeof offsetTable) != sizeof offsetTable) {
    return false;
  }
  const size_t count = (size_t{offsetTable[4]} << 8) | offsetTable[5];
  const size_t size = kOffsetTableSize + count * kRecordSize;
  out.directory.reset(new (std::nothrow) uint8_t[size]);
  if (!out.directory) return false;
  const DWORD copied = ::GetFontData(dc, 0, 0, out.directory.get(), static_cast<DWORD>(size));
  if (copied == GDI_ERROR || copied < kOffsetTableSize) return false;
  // Records cut off by the end of the data are not counted.
  out.directorySize = kOffsetTableSize + (copied - kOffsetTableSize) / kRecordSize * kRecordSize;
  return true;
}

bool SameFace(const Standalone& a, const Standalone& b) {
  return a.font && a.collectionSize == b.collectionSize && a.directorySize == b.directorySize &&
         std::memcmp(a.directory.get(), b.directory.get(), a.directorySize) == 0;
}

bool InCollection(const uint8_t* record, DWORD collectionSize) {
  const uint32_t offset = GetU32(record + 8), length = GetU32(record + 12);
  return offset <= collectionSize && length <= collectionSize - offset;
}

bool Build(::HDC dc, Standalone& face) {
  const size_t records = (face.directorySize - kOffsetTableSize) / kRecordSize;
  const uint8_t* record = face.directory.get() + kOffsetTableSize;
  uint32_t kept = 0;
  uint64_t tableBytes = 0;
  for (size_t i = 0; i < records; ++i, record += kRecordSize) {
    if (!InCollection(record, face.collectionSize)) continue;
    ++kept;
    tableBytes += Align4(GetU32(record + 12));
  }
  const uint64_t headerBytes = kOffsetTableSize + uint64_t{kept} * kRecordSize;
  const uint64_t total = headerBytes + tableBytes;
  if (total > kLargestFontData) return false;
  std::unique_ptr<uint8_t[]> out(new (std::nothrow) uint8_t[total]());
  if (!out) return false;

  // The binary-search fields of the offset table: the largest power of two not above the count.
  uint32_t entrySelector = 0;
  while (kept > 0 && (2u << entrySelector) <= kept) ++entrySelector;
  const uint32_t searchRange = kept > 0 ? (1u << entrySelector) * kRecordSize : 0;
  std::memcpy(&out[0], face.directory.get(), 4);  // the face's sfnt version
  PutU16(&out[4], kept);
  PutU16(&out[6], searchRange);
  PutU16(&out[8], entrySelector);
  PutU16(&out[10], kept * kRecordSize - searchRange);

  size_t recordAt = kOffsetTableSize;
  uint64_t tableAt = headerBytes;
  record = face.directory.get() + kOffsetTableSize;
  for (size_t i = 0; i < records; ++i, record += kRecordSize) {
    if (!InCollection(record, face.collectionSize)) continue;
    const uint32_t length = GetU32(record + 12);
    std::memcpy(&out[recordAt], record, 8);  // tag and checksum
    PutU32(&out[recordAt + 8], static_cast<uint32_t>(tableAt));
    PutU32(&out[recordAt + 12], length);
    if (length > 0 &&
        ::GetFontData(dc, kCollection, GetU32(record + 8), &out[tableAt], length) != length) {
      return false;
    }
    recordAt += kRecordSize;
    tableAt += Align4(length);
  }
  face.font = std::move(out);
  face.size = static_cast<uint32_t>(total);
  return true;
}

// GetFontData's answer from the standalone font.
uint32_t Copy(const Standalone& face, uint32_t offset, void* buffer, uint32_t cjBuffer) {
  if (buffer == nullptr || cjBuffer == 0) return face.size;
  // Reading from the very end gives nothing; from past it, an error.
  if (offset > face.size) return GDI_ERROR;
  const uint32_t n = cjBuffer < face.size - offset ? cjBuffer : face.size - offset;
  if (n > 0) std::memcpy(buffer, face.font.get() + offset, n);
  return n;
}

}  // namespace

bool GetCollectionFaceData(HDC hdc, uint32_t dwOffset, void* pvBuffer, uint32_t cjBuffer,
                           uint32_t* result) {
  ::HDC dc = reinterpret_cast<::HDC>(hdc);
  Standalone face;
  face.collectionSize = ::GetFontData(dc, kCollection, 0, nullptr, 0);
  if (face.collectionSize == GDI_ERROR) return false;
  *result = GDI_ERROR;
  if (!ReadDirectory(dc, face)) return true;
  std::lock_guard<std::mutex> lock(g_lastMutex);
  if (!SameFace(g_last, face)) {
    if (!Build(dc, face)) return true;
    g_last = std::move(face);
  }
  *result = Copy(g_last, dwOffset, pvBuffer, cjBuffer);
  return true;
}

void ReleaseCollectionFaces() {
  std::lock_guard<std::mutex> lock(g_lastMutex);
  g_last = Standalone();
}

}  // namespace tavrfndl::platform::windows
