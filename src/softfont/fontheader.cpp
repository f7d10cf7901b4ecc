// The font header: a PCL XL TrueType header of format 0 whose "GT" segment is a small TrueType
// font of its own. It carries the font-wide tables the printer's rasterizer needs; its directory
// lists an empty "gdir" table because the glyphs follow one character record at a time.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "pclxl/sequences.h"
#include "sfnt/font_writer.h"
#include "sfnt/outline_face.h"
#include "sfnt/validate.h"
#include "softfont/softfont.h"

namespace tavrfndl {
namespace {

constexpr uint32_t kRecordSize = sfnt::kTableRecordSize;
// The offset table and the "gdir" record.
constexpr uint32_t kGtDirectoryFixed = sfnt::kOffsetTableSize + kRecordSize;
constexpr uint32_t kFullPiece = 32768;

// A table of L bytes goes out as 2 x (L >> 16) pieces of 32768 bytes and one of L & 0xFFFF:
// FontHeaderLength is 16-bit. A table of exactly 65536 bytes therefore ends with a piece of 0
// bytes, which printers accept and which keeps the piece count a function of L alone.
void SendTablePieces(XlStream* pStream, const uint8_t* bytes, uint32_t length) {
  const uint32_t fullPieces = 2 * (length >> 16);
  for (uint32_t i = 0; i < fullPieces; ++i, bytes += kFullPiece) {
    XlReadFontHeader(pStream, static_cast<uint16_t>(kFullPiece));
    XlStreamEmbeddedData(pStream, bytes, kFullPiece);
  }
  const uint32_t rest = length & 0xFFFF;
  XlReadFontHeader(pStream, static_cast<uint16_t>(rest));
  XlStreamEmbeddedData(pStream, bytes, rest);
}

void SendPiece(XlStream* pStream, const uint8_t* bytes, uint16_t length) {
  XlReadFontHeader(pStream, length);
  XlStreamEmbeddedData(pStream, bytes, length);
}

// The GT directory: the source's offset table with numTables = n + 1, "gdir", then the selected
// tables in the order of their offsets in the source font. Checksums, lengths and the search
// fields are copied, not recomputed: the printer does not verify them.
bool BuildGtDirectory(ByteView font, const std::vector<TableDirEntry>& records, uint32_t n,
                      std::vector<uint8_t>& out) {
  sfnt::OffsetTable offsetTable;
  if (!sfnt::ReadOffsetTable(font, offsetTable)) return false;
  offsetTable.numTables = static_cast<uint16_t>(n + 1);
  out.assign(kGtDirectoryFixed + kRecordSize * n, 0);
  sfnt::PutOffsetTable(out.data(), offsetTable);
  sfnt::TableRecord record;
  record.tag = sfnt::Tag("gdir");
  sfnt::PutTableRecord(&out[sfnt::kOffsetTableSize], record);
  size_t pos = kGtDirectoryFixed;
  for (const TableDirEntry& r : records) {
    if (!r.selected) continue;
    record.tag = sfnt::Tag::FromBytes(r.tag);
    record.checkSum = r.checkSum;
    record.offset = r.newOffset;
    record.length = r.length;
    sfnt::PutTableRecord(&out[pos], record);
    pos += kRecordSize;
  }
  return true;
}

// Exactly `length` bytes must follow once S and the offsets are announced. A table the engine
// gives shorter than its send length (its padding, or nothing at all for a table the directory
// lists but the engine cannot give) is completed with zeros.
void SendPadded(XlStream* pStream, ByteView available, uint32_t length) {
  if (available.size() >= length) {
    SendTablePieces(pStream, available.data(), length);
    return;
  }
  std::unique_ptr<uint8_t[]> padded(new (std::nothrow) uint8_t[length]());
  if (!padded) {
    // Without memory for the padding the header cannot stay consistent: silence the writer
    // rather than send a header whose pieces disagree with its sizes.
    pStream->nError = kXlErrorNoMemory;
    ++pStream->nErrorCount;
    return;
  }
  if (!available.empty()) std::memcpy(padded.get(), available.data(), available.size());
  SendTablePieces(pStream, padded.get(), length);
}

// The GT segment's directory and size, worked out before anything is sent.
struct GtSegment {
  std::vector<TableDirEntry> records;
  std::vector<uint8_t> directory;
  uint32_t size = 0;
};

bool BuildGtSegment(ByteView font, GtSegment& gt) {
  const int selected = ReadTableDirectory(font, gt.records);
  if (selected < 0) return false;
  const uint32_t n = static_cast<uint32_t>(selected);
  if (!BuildGtDirectory(font, gt.records, n, gt.directory)) return false;
  // The size cannot overflow: every sendLength lies inside the font data, smaller than 4 GiB.
  gt.size = kGtDirectoryFixed + kRecordSize * n;
  for (const TableDirEntry& r : gt.records) {
    if (r.selected) gt.size += r.sendLength;
  }
  return true;
}

// The fixed part, the segment's name and size, and its directory.
void SendSegmentStart(XlStream* pStream, const FONTENTRY& entry, const GtSegment& gt) {
  uint8_t fixed[8] = {0, 0, 0, 1, 1, 0, 0, 0};  // format 0, portrait, symbol set 1, TrueType
  PutU16(&fixed[6], entry.nGlyphs);
  SendPiece(pStream, fixed, sizeof fixed);
  uint8_t segment[6] = {'G', 'T'};
  PutU32(&segment[2], gt.size);
  SendPiece(pStream, segment, sizeof segment);
  // A font listing a header table thousands of times has a directory over 65535 bytes; it goes
  // out in pieces like a table, so that every FontHeaderLength still matches its data.
  SendTablePieces(pStream, gt.directory.data(), static_cast<uint32_t>(gt.directory.size()));
}

}  // namespace

void BuildPCLFontName(FONTENTRY& entry) {
  char prefix[16];
  const int prefixLength = std::snprintf(prefix, sizeof prefix, "OT:%x:", entry.nFontId);
  const size_t fontLength = strnlen(entry.chFont, sizeof entry.chFont - 1);
  // 255 characters at most: the prefix, the face or path, and ":n".
  const size_t room = sizeof entry.chPCLFontName - 1 - static_cast<size_t>(prefixLength) - 2;
  const size_t kept = std::min(fontLength, room);
  char* out = entry.chPCLFontName;
  std::memcpy(out, prefix, static_cast<size_t>(prefixLength));
  std::memcpy(out + prefixLength, entry.chFont, kept);
  std::memcpy(out + prefixLength + kept, ":n", 3);
}

bool LoadWholeFont(const FontSource& source, WholeFont& out) {
  if (source.bTTE) {
    out.file = MapTTEFile(source.path);
    if (!out.file) {
      if (source.pbFontFileError) *source.pbFontFileError = 1;
      return false;
    }
    out.view = ByteView(out.file->data(), out.file->size());
    return true;
  }
  // Nothing is sent when the engine cannot give the whole font: a header without its tables
  // would define a font the printer cannot use.
  if (GetFontTable(source.hDC, 0, out.engine) == platform::GDI_ERROR) return false;
  out.view = out.engine.view();
  return true;
}

bool SendFontHeader(FONTENTRY& entry, XlStream* pStream, ByteView font,
                    platform::HDC engineTables) {
  GtSegment gt;
  if (!BuildGtSegment(font, gt)) return false;
  BuildPCLFontName(entry);
  const auto* name = reinterpret_cast<const uint8_t*>(entry.chPCLFontName);
  XlBeginFontHeader(pStream, name, static_cast<uint32_t>(std::strlen(entry.chPCLFontName)), 0);
  SendSegmentStart(pStream, entry, gt);
  for (const TableDirEntry& r : gt.records) {
    if (!r.selected) continue;
    if (!engineTables) {
      SendPadded(pStream, font.SubClamped(r.offset, r.sendLength), r.sendLength);
    } else {
      TableBuffer table;
      GetFontTable(engineTables, TableIdentifier(r.tag), table);
      SendPadded(pStream, table.view(), r.sendLength);
    }
  }
  static const uint8_t kNullSegment[6] = {0xFF, 0xFF, 0, 0, 0, 0};
  SendPiece(pStream, kNullSegment, sizeof kNullSegment);
  XlEndFontHeader(pStream);
  return true;
}

bool DownloadFontHeader(FONTENTRY& entry, XlStream* pStream, const FontSource& source,
                        sfnt::Findings* findings) {
  WholeFont font;
  if (!LoadWholeFont(source, font)) return false;
  sfnt::Findings unused;
  sfnt::Findings& why = findings ? *findings : unused;
  entry.bOutlineFace = sfnt::IsOutlineFace(font.view);
  if (entry.bOutlineFace) {
    sfnt::StandaloneFont made;
    return sfnt::BuildOutlineFaceFont(font.view, made) &&
           sfnt::ValidateFont(made.view(), why, nullptr, sfnt::GlyphSource::kEngineOutlines) &&
           SendFontHeader(entry, pStream, made.view());
  }
  if (!sfnt::ValidateFont(font.view, why)) return false;
  return SendFontHeader(entry, pStream, font.view, source.bTTE ? nullptr : source.hDC);
}

}  // namespace tavrfndl
