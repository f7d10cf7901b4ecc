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
#include "sfnt/directory.h"

namespace tavrfndl::platform::windows {
namespace {

constexpr DWORD kCollection = sfnt::kCollectionTag.EngineId();

struct Standalone {
  std::unique_ptr<uint8_t[]> directory;  // offset table and records as GDI gave them
  size_t directorySize = 0;
  DWORD collectionSize = 0;
  sfnt::StandaloneFont font;
};

std::mutex g_lastMutex;
Standalone g_last;
uint64_t g_built = 0;  // under g_lastMutex

// The face's offset table and the records GDI gives whole; false when not even the offset table
// can be read.
bool ReadDirectory(::HDC dc, Standalone& out) {
  uint8_t offsetTable[sfnt::kOffsetTableSize];
  sfnt::Directory probe;
  if (::GetFontData(dc, 0, 0, offsetTable, sizeof offsetTable) != sizeof offsetTable ||
      !probe.ReadAt(ByteView(offsetTable, sizeof offsetTable))) {
    return false;
  }
  const size_t size = sfnt::kOffsetTableSize + probe.statedCount() * sfnt::kTableRecordSize;
  out.directory.reset(new (std::nothrow) uint8_t[size]);
  if (!out.directory) return false;
  const DWORD copied = ::GetFontData(dc, 0, 0, out.directory.get(), static_cast<DWORD>(size));
  if (copied == GDI_ERROR || copied < sfnt::kOffsetTableSize) return false;
  out.directorySize = copied;
  return true;
}

bool SameFace(const Standalone& a, const Standalone& b) {
  return a.font.bytes && a.collectionSize == b.collectionSize &&
         a.directorySize == b.directorySize &&
         std::memcmp(a.directory.get(), b.directory.get(), a.directorySize) == 0;
}

// Table bytes read from the collection at the offsets the face's directory gives.
class CollectionCopier final : public sfnt::TableCopier {
 public:
  explicit CollectionCopier(::HDC dc) : dc_(dc) {}
  bool Copy(const sfnt::TableRecord& record, uint8_t* out) override {
    return ::GetFontData(dc_, kCollection, record.offset, out, record.length) == record.length;
  }

 private:
  ::HDC dc_;
};

bool Build(::HDC dc, Standalone& face) {
  sfnt::Directory directory;
  if (!directory.ReadAt(ByteView(face.directory.get(), face.directorySize))) return false;
  CollectionCopier copier(dc);
  return sfnt::BuildStandaloneFont(directory, face.collectionSize, copier, face.font);
}

// GetFontData's answer from the standalone font.
uint32_t Copy(const Standalone& face, uint32_t offset, void* buffer, uint32_t cjBuffer) {
  const uint32_t size = face.font.size;
  if (buffer == nullptr || cjBuffer == 0) return size;
  // Reading from the very end gives nothing; from past it, an error.
  if (offset > size) return GDI_ERROR;
  const uint32_t n = cjBuffer < size - offset ? cjBuffer : size - offset;
  if (n > 0) std::memcpy(buffer, face.font.bytes.get() + offset, n);
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
    ++g_built;
    g_last = std::move(face);
  }
  *result = Copy(g_last, dwOffset, pvBuffer, cjBuffer);
  return true;
}

void ReleaseCollectionFaces() {
  std::lock_guard<std::mutex> lock(g_lastMutex);
  g_last = Standalone();
}

uint64_t CollectionFacesBuiltForTesting() {
  std::lock_guard<std::mutex> lock(g_lastMutex);
  return g_built;
}

}  // namespace tavrfndl::platform::windows
