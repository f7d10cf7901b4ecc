// A font file named by the caller becomes a private font of the process (AddFontResourceExW with
// FR_PRIVATE), and its first face is asked for by its family name with the face's own weight and
// slant; failing that, by its full name. GDI has the last word on which face a name gets, so the
// chosen font is checked against the file: its "head" table must be the file's, byte for byte
// (the table carries the font's checksum and dates). A name that leads to another face gives no
// font at all, because its metrics would disagree with the file the caller reads.
//
// What was learnt about a file is remembered until ReleaseFileFonts, which also withdraws the
// private fonts.
#include "platform/windows/font_files.h"

#include <cstdint>
#include <cstring>
#include <cwchar>
#include <memory>
#include <mutex>
#include <new>

#include "platform/windows/code_page.h"
#include "sfnt/bytes.h"
#include "sfnt/directory.h"

#include "platform/windows/win32.h"

namespace tavrfndl::platform::windows {
namespace {

constexpr uint16_t kWindowsPlatform = 3;
constexpr uint16_t kEnglishUs = 0x0409;
constexpr uint16_t kFamilyNameId = 1;
constexpr uint16_t kFullNameId = 4;
constexpr size_t kHeadSize = 54;
constexpr size_t kFaceChars = LF_FACESIZE;

// One file as the first font made from it found it.
struct FileFace {
  std::unique_ptr<wchar_t[]> path;
  bool added = false;  // AddFontResourceExW succeeded: withdrawn on release
  bool usable = false;
  // The names GDI may know the face by; faceName is the one that led to it.
  wchar_t familyName[kFaceChars] = {};
  wchar_t fullName[kFaceChars] = {};
  wchar_t faceName[kFaceChars] = {};
  // The face's own weight and slant, asked for whatever the caller's are.
  LONG weight = FW_NORMAL;
  BYTE italic = 0;
  uint8_t head[kHeadSize] = {};
  FileFace* next = nullptr;
};

std::mutex g_filesMutex;
FileFace* g_files = nullptr;

// The first table with the tag that lies inside the file; empty when there is none.
ByteView FindTable(const sfnt::Directory& directory, sfnt::Tag tag) {
  return directory.Find(tag).value_or(ByteView());
}

// A Windows-platform name (UTF-16BE) that fits a face name; US English preferred. False when
// the font has none that fits.
bool ReadName(ByteView name, uint16_t nameId, wchar_t (&out)[kFaceChars]) {
  uint16_t count = 0, storage = 0;
  if (!name.ReadU16(2, count) || !name.ReadU16(4, storage)) return false;
  bool found = false;
  for (uint32_t i = 0; i < count; ++i) {
    const size_t record = 6 + 12 * size_t{i};
    uint16_t platform = 0, language = 0, id = 0, length = 0, offset = 0;
    if (!name.ReadU16(record, platform) || !name.ReadU16(record + 4, language) ||
        !name.ReadU16(record + 6, id) || !name.ReadU16(record + 8, length) ||
        !name.ReadU16(record + 10, offset)) {
      return found;
    }
    if (platform != kWindowsPlatform || id != nameId || (found && language != kEnglishUs)) {
      continue;
    }
    const size_t chars = length / 2;
    if (chars == 0 || chars >= kFaceChars) continue;
    wchar_t text[kFaceChars] = {};
    bool complete = true;
    for (size_t c = 0; c < chars && complete; ++c) {
      uint16_t unit = 0;
      complete = name.ReadU16(size_t{storage} + offset + 2 * c, unit);
      text[c] = static_cast<wchar_t>(unit);
    }
    if (!complete || std::wmemchr(text, L'\0', chars) != nullptr) continue;
    std::memcpy(out, text, sizeof text);
    found = true;
    if (language == kEnglishUs) return true;
  }
  return found;
}

HFONT FromWindows(::HFONT font) {
  return reinterpret_cast<HFONT>(font);
}

::HFONT CreateNamed(const LOGFONTA& lf, const wchar_t* faceName, const FileFace& face) {
  ::LOGFONTW out{};
  out.lfHeight = lf.lfHeight;
  out.lfWidth = lf.lfWidth;
  out.lfEscapement = lf.lfEscapement;
  out.lfOrientation = lf.lfOrientation;
  out.lfWeight = face.weight;
  out.lfItalic = face.italic;
  out.lfUnderline = lf.lfUnderline;
  out.lfStrikeOut = lf.lfStrikeOut;
  // A character set the face lacks would send the mapper to another face.
  out.lfCharSet = DEFAULT_CHARSET;
  out.lfOutPrecision = lf.lfOutPrecision;
  out.lfClipPrecision = lf.lfClipPrecision;
  out.lfQuality = lf.lfQuality;
  out.lfPitchAndFamily = lf.lfPitchAndFamily;
  std::memcpy(out.lfFaceName, faceName, sizeof out.lfFaceName);
  return ::CreateFontIndirectW(&out);
}

// Whether GDI gives the file's face for the font.
bool IsFileFace(::HFONT font, const FileFace& face) {
  ::HDC dc = ::CreateCompatibleDC(nullptr);
  if (dc == nullptr) return false;
  HGDIOBJ previous = ::SelectObject(dc, font);
  uint8_t head[kHeadSize] = {};
  const DWORD copied = ::GetFontData(dc, sfnt::Tag("head").EngineId(), 0, head, sizeof head);
  if (previous != nullptr) ::SelectObject(dc, previous);
  ::DeleteDC(dc);
  return copied == sizeof head && std::memcmp(head, face.head, sizeof head) == 0;
}

// Reads the names, weight, slant and "head" of the file's first face; false when it has no
// usable names or "head".
bool Examine(const char* path, FileFace& face) {
  std::optional<MappedFile> mapped = MapFileReadOnly(path);
  if (!mapped) return false;
  sfnt::Directory directory;
  if (!directory.ReadFace(ByteView(mapped->data(), mapped->size()), 0)) return false;
  const ByteView head = FindTable(directory, "head");
  const ByteView name = FindTable(directory, "name");
  const ByteView os2 = FindTable(directory, "OS/2");
  if (head.size() < kHeadSize || !ReadName(name, kFamilyNameId, face.familyName)) return false;
  ReadName(name, kFullNameId, face.fullName);
  std::memcpy(face.head, head.data(), kHeadSize);
  uint16_t weight = 0, selection = 0, macStyle = 0;
  if (os2.ReadU16(4, weight) && weight >= 1 && weight <= 1000) face.weight = weight;
  // The italic bit of OS/2 fsSelection, or without that table of head macStyle.
  face.italic = os2.ReadU16(62, selection) ? (selection & 1u) != 0
                                           : head.ReadU16(44, macStyle) && (macStyle & 2u) != 0;
  return true;
}

bool TryName(const LOGFONTA& lf, const wchar_t (&name)[kFaceChars], FileFace& face) {
  if (name[0] == L'\0') return false;
  ::HFONT font = CreateNamed(lf, name, face);
  if (font == nullptr) return false;
  const bool isFileFace = IsFileFace(font, face);
  ::DeleteObject(font);
  if (isFileFace) std::memcpy(face.faceName, name, sizeof face.faceName);
  return isFileFace;
}

// Settles which name gives the file's face, once per file.
void Settle(const char* path, const LOGFONTA& lf, FileFace& face) {
  // The file is added even when it is an installed font's (GDI then shares the loaded file): a
  // name asked for before the file is added can stay bound to the face GDI chose for it then.
  if (!Examine(path, face)) return;
  face.added = ::AddFontResourceExW(face.path.get(), FR_PRIVATE, nullptr) > 0;
  face.usable =
      face.added && (TryName(lf, face.familyName, face) || TryName(lf, face.fullName, face));
}

bool SamePath(const wchar_t* a, const wchar_t* b) {
  return std::wcscmp(a, b) == 0;
}

}  // namespace

bool CreateFontFromFile(const char* path, const LOGFONTA& lf, HFONT* font) {
  *font = nullptr;
  if (path == nullptr || *path == '\0') return false;
  std::unique_ptr<wchar_t[]> wide = AnsiToWide(path);
  if (!wide) return false;
  const DWORD attributes = ::GetFileAttributesW(wide.get());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }

  std::lock_guard<std::mutex> lock(g_filesMutex);
  FileFace* face = g_files;
  while (face != nullptr && !SamePath(face->path.get(), wide.get())) face = face->next;
  if (face == nullptr) {
    face = new (std::nothrow) FileFace;
    // Without memory to remember the file it cannot be added (nothing would withdraw it).
    if (face == nullptr) return true;
    face->path = std::move(wide);
    Settle(path, lf, *face);
    face->next = g_files;
    g_files = face;
  }
  if (face->usable) *font = FromWindows(CreateNamed(lf, face->faceName, *face));
  return true;
}

void ReleaseFileFonts() {
  std::lock_guard<std::mutex> lock(g_filesMutex);
  while (g_files != nullptr) {
    FileFace* face = g_files;
    g_files = face->next;
    if (face->added) ::RemoveFontResourceExW(face->path.get(), FR_PRIVATE, nullptr);
    delete face;
  }
}

}  // namespace tavrfndl::platform::windows
