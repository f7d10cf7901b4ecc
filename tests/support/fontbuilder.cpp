#include "support/fontbuilder.h"
#include "sfnt/bytes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <utility>

namespace tavrfndl::test {

// ----- Bytes -----

Bytes& Bytes::U8(uint8_t v) {
  bytes_.push_back(v);
  return *this;
}

Bytes& Bytes::U16(uint16_t v) {
  bytes_.push_back(static_cast<uint8_t>(v >> 8));
  bytes_.push_back(static_cast<uint8_t>(v));
  return *this;
}

Bytes& Bytes::U32(uint32_t v) {
  U16(static_cast<uint16_t>(v >> 16));
  return U16(static_cast<uint16_t>(v));
}

Bytes& Bytes::Text(std::string_view text) {
  for (char c : text) bytes_.push_back(static_cast<uint8_t>(c));
  return *this;
}

Bytes& Bytes::Append(const std::vector<uint8_t>& bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

Bytes& Bytes::Zeros(size_t count) {
  bytes_.insert(bytes_.end(), count, 0);
  return *this;
}

Bytes& Bytes::PadTo(size_t alignment) {
  if (alignment > 1) {
    while (bytes_.size() % alignment != 0) bytes_.push_back(0);
  }
  return *this;
}

void Bytes::PutU16(size_t position, uint16_t v) {
  if (bytes_.size() < position + 2) bytes_.resize(position + 2);
  bytes_[position] = static_cast<uint8_t>(v >> 8);
  bytes_[position + 1] = static_cast<uint8_t>(v);
}

void Bytes::PutU32(size_t position, uint32_t v) {
  PutU16(position, static_cast<uint16_t>(v >> 16));
  PutU16(position + 2, static_cast<uint16_t>(v));
}

uint32_t TableChecksum(const std::vector<uint8_t>& data) {
  uint32_t sum = 0;
  for (size_t i = 0; i < data.size(); i += 4) {
    uint32_t word = 0;
    for (size_t j = 0; j < 4; ++j) {
      word = (word << 8) | (i + j < data.size() ? data[i + j] : 0u);
    }
    sum += word;
  }
  return sum;
}

// ----- FontBuilder -----

TableSpec& FontBuilder::AddTable(std::string_view tag, std::vector<uint8_t> data) {
  if (tag.size() != 4) ADD_FAILURE() << "a table tag has 4 bytes, got " << tag.size();
  TableSpec& record = tables_.emplace_back();
  record.tag = std::string(tag.substr(0, 4));
  record.tag.resize(4, ' ');
  record.data = std::move(data);
  return record;
}

TableSpec* FontBuilder::Find(std::string_view tag) {
  for (TableSpec& record : tables_) {
    if (record.tag == tag) return &record;
  }
  return nullptr;
}

FontBuilder& FontBuilder::SetFileOrder(std::vector<size_t> order) {
  fileOrder_ = std::move(order);
  return *this;
}

FontBuilder& FontBuilder::SetSfntVersion(uint32_t version) {
  sfntVersion_ = version;
  return *this;
}

FontBuilder& FontBuilder::SetNumTables(uint16_t count) {
  numTables_ = count;
  return *this;
}

FontBuilder& FontBuilder::SetSearchFields(uint16_t searchRange, uint16_t entrySelector,
                                          uint16_t rangeShift) {
  searchRange_ = searchRange;
  entrySelector_ = entrySelector;
  rangeShift_ = rangeShift;
  return *this;
}

FontBuilder& FontBuilder::SetAlignment(uint32_t alignment) {
  alignment_ = alignment == 0 ? 1 : alignment;
  return *this;
}

FontBuilder& FontBuilder::SetPadEnd(bool pad) {
  padEnd_ = pad;
  return *this;
}

FontBuilder& FontBuilder::SetTrailingBytes(size_t count) {
  trailing_ = count;
  return *this;
}

std::vector<uint32_t> FontBuilder::Layout() const {
  std::vector<uint32_t> offsets(tables_.size(), 0);
  std::vector<size_t> order;
  std::vector<bool> named(tables_.size(), false);
  for (size_t index : fileOrder_) {
    if (index < tables_.size() && !named[index]) {
      order.push_back(index);
      named[index] = true;
    }
  }
  for (size_t i = 0; i < tables_.size(); ++i) {
    if (!named[i]) order.push_back(i);
  }
  uint64_t position = 12 + 16 * uint64_t{tables_.size()};
  for (size_t index : order) {
    const TableSpec& record = tables_[index];
    if (record.offset) {
      offsets[index] = *record.offset;
      continue;
    }
    position = (position + alignment_ - 1) / alignment_ * alignment_;
    offsets[index] = static_cast<uint32_t>(position);
    position += record.data.size();
  }
  return offsets;
}

uint32_t FontBuilder::OffsetOf(size_t index) const {
  const std::vector<uint32_t> offsets = Layout();
  return index < offsets.size() ? offsets[index] : 0;
}

std::vector<uint8_t> FontBuilder::Build() const {
  const std::vector<uint32_t> offsets = Layout();
  const uint16_t numTables = numTables_.value_or(static_cast<uint16_t>(tables_.size()));
  uint16_t entrySelector = 0;
  while (entrySelector < 15 && (2u << entrySelector) <= numTables) ++entrySelector;
  const uint16_t searchRange = numTables == 0 ? 0 : static_cast<uint16_t>(16u << entrySelector);

  Bytes out;
  out.U32(sfntVersion_).U16(numTables);
  out.U16(searchRange_.value_or(searchRange));
  out.U16(entrySelector_.value_or(entrySelector));
  out.U16(rangeShift_.value_or(static_cast<uint16_t>(numTables * 16u - searchRange)));
  for (size_t i = 0; i < tables_.size(); ++i) {
    const TableSpec& record = tables_[i];
    out.Text(record.tag);
    out.U32(record.checkSum.value_or(TableChecksum(record.data)));
    out.U32(record.dirOffset.value_or(offsets[i]));
    out.U32(record.length.value_or(static_cast<uint32_t>(record.data.size())));
  }

  std::vector<uint8_t> file = out.Take();
  // Automatic tables first, explicit ones written over them.
  for (int pass = 0; pass < 2; ++pass) {
    for (size_t i = 0; i < tables_.size(); ++i) {
      const TableSpec& record = tables_[i];
      if (record.offset.has_value() != (pass == 1)) continue;
      const size_t end = size_t{offsets[i]} + record.data.size();
      if (file.size() < end) file.resize(end, 0);
      std::copy(record.data.begin(), record.data.end(), file.begin() + offsets[i]);
    }
  }
  if (padEnd_) {
    while (file.size() % alignment_ != 0) file.push_back(0);
  }
  file.insert(file.end(), trailing_, 0);
  return file;
}

// ----- Small tables -----

std::vector<uint8_t> BuildHead(int16_t indexToLocFormat, uint16_t unitsPerEm) {
  Bytes b;
  b.U32(0x00010000);                       // version
  b.U32(0x00010000);                       // fontRevision
  b.U32(0);                                // checkSumAdjustment
  b.U32(0x5F0F3CF5);                       // magicNumber
  b.U16(0x000B);                           // flags
  b.U16(unitsPerEm);                       // byte 18
  b.Zeros(16);                             // created, modified
  b.S16(0).S16(-400).S16(2000).S16(1800);  // xMin, yMin, xMax, yMax
  b.U16(0);                                // macStyle
  b.U16(8);                                // lowestRecPPEM
  b.S16(2);                                // fontDirectionHint
  b.S16(indexToLocFormat);                 // byte 50
  b.S16(0);                                // glyphDataFormat
  return b.Take();
}

std::vector<uint8_t> BuildMaxp(uint16_t numGlyphs) {
  Bytes b;
  b.U32(0x00010000).U16(numGlyphs);
  // maxPoints .. maxComponentDepth: plausible small limits.
  const uint16_t limits[] = {256, 16, 256, 16, 2, 0, 16, 0, 64, 64, 0, 8, 2};
  for (uint16_t v : limits) b.U16(v);
  return b.Take();
}

std::vector<uint8_t> BuildHhea(uint16_t numberOfHMetrics, int16_t ascender, int16_t descender) {
  Bytes b;
  b.U32(0x00010000).S16(ascender).S16(descender).S16(0);
  b.U16(2048);                // advanceWidthMax
  b.S16(0).S16(0).S16(2000);  // minLeftSideBearing, minRightSideBearing, xMaxExtent
  b.S16(1).S16(0).S16(0);     // caretSlopeRise, caretSlopeRun, caretOffset
  b.Zeros(8);                 // reserved
  b.S16(0);                   // metricDataFormat
  b.U16(numberOfHMetrics);    // byte 34
  return b.Take();
}

std::vector<uint8_t> BuildHmtx(const std::vector<HMetric>& metrics,
                               const std::vector<int16_t>& extraLsb) {
  Bytes b;
  for (const HMetric& m : metrics) b.U16(m.advance).S16(m.lsb);
  for (int16_t lsb : extraLsb) b.S16(lsb);
  return b.Take();
}

// ----- "cmap" -----

std::vector<uint8_t> BuildFormat4(const Format4Options& options) {
  const std::vector<CmapSegment>& segments = options.segments;
  const size_t n = segments.size();
  std::vector<uint16_t> glyphArray;
  std::vector<uint16_t> rangeOffsets(n, 0);
  for (size_t k = 0; k < n; ++k) {
    const CmapSegment& s = segments[k];
    if (!s.glyphIds.empty()) {
      // From idRangeOffset[k] to the segment's first glyph id, in bytes.
      rangeOffsets[k] = static_cast<uint16_t>(2 * (n - k) + 2 * glyphArray.size());
      glyphArray.insert(glyphArray.end(), s.glyphIds.begin(), s.glyphIds.end());
    }
    if (s.idRangeOffset) rangeOffsets[k] = *s.idRangeOffset;
  }
  glyphArray.insert(glyphArray.end(), options.extraGlyphIds.begin(), options.extraGlyphIds.end());

  const uint16_t segCountX2 = options.segCountX2.value_or(static_cast<uint16_t>(2 * n));
  uint16_t entrySelector = 0;
  while (entrySelector < 15 && (2u << entrySelector) <= n) ++entrySelector;
  const uint16_t searchRange = n == 0 ? 0 : static_cast<uint16_t>(2u << entrySelector);

  Bytes b;
  b.U16(4).U16(0).U16(0);  // format, length (below), language
  b.U16(segCountX2).U16(searchRange).U16(entrySelector);
  b.U16(static_cast<uint16_t>(2 * n - searchRange));
  for (const CmapSegment& s : segments) b.U16(s.end);
  b.U16(0);  // reservedPad
  for (const CmapSegment& s : segments) b.U16(s.start);
  for (const CmapSegment& s : segments) b.U16(s.idDelta);
  for (uint16_t r : rangeOffsets) b.U16(r);
  for (uint16_t g : glyphArray) b.U16(g);
  // The 16-bit length field cannot hold more; readers must not depend on it.
  b.PutU16(2, static_cast<uint16_t>(std::min<size_t>(b.size(), 0xFFFF)));
  return b.Take();
}

std::vector<uint8_t> BuildFormat4(const std::vector<CmapSegment>& segments) {
  Format4Options options;
  options.segments = segments;
  return BuildFormat4(options);
}

std::vector<uint8_t> BuildFormat0(const std::vector<uint8_t>& glyphIds) {
  Bytes b;
  b.U16(0).U16(262).U16(0);
  for (size_t c = 0; c < 256; ++c) b.U8(c < glyphIds.size() ? glyphIds[c] : 0);
  return b.Take();
}

CmapBuilder& CmapBuilder::AddSubtable(uint16_t platformId, uint16_t encodingId,
                                      std::vector<uint8_t> subtable) {
  records_.push_back({platformId, encodingId, std::nullopt, std::move(subtable)});
  return *this;
}

CmapBuilder& CmapBuilder::AddFormat4(uint16_t platformId, uint16_t encodingId,
                                     const std::vector<CmapSegment>& segments) {
  return AddSubtable(platformId, encodingId, BuildFormat4(segments));
}

CmapBuilder& CmapBuilder::AddFormat4(uint16_t platformId, uint16_t encodingId,
                                     const Format4Options& options) {
  return AddSubtable(platformId, encodingId, BuildFormat4(options));
}

CmapBuilder& CmapBuilder::AddRawRecord(uint16_t platformId, uint16_t encodingId, uint32_t offset) {
  records_.push_back({platformId, encodingId, offset, {}});
  return *this;
}

CmapBuilder& CmapBuilder::SetRecordCount(uint16_t count) {
  recordCount_ = count;
  return *this;
}

std::vector<uint8_t> CmapBuilder::Build() const {
  Bytes b;
  b.U16(0).U16(recordCount_.value_or(static_cast<uint16_t>(records_.size())));
  const size_t recordsStart = b.size();
  b.Zeros(8 * records_.size());
  for (size_t i = 0; i < records_.size(); ++i) {
    const Record& r = records_[i];
    uint32_t offset = 0;
    if (r.rawOffset) {
      offset = *r.rawOffset;
    } else {
      b.PadTo(2);
      offset = static_cast<uint32_t>(b.size());
      b.Append(r.subtable);
    }
    b.PutU16(recordsStart + 8 * i, r.platformId);
    b.PutU16(recordsStart + 8 * i + 2, r.encodingId);
    b.PutU32(recordsStart + 8 * i + 4, offset);
  }
  return b.Take();
}

// ----- "glyf" and "loca" -----

std::vector<uint8_t> SimpleGlyph(const std::vector<std::vector<Point>>& contours,
                                 const std::vector<uint8_t>& instructions) {
  int16_t xMin = 0, yMin = 0, xMax = 0, yMax = 0;
  bool first = true;
  for (const auto& contour : contours) {
    for (const Point& p : contour) {
      if (first) {
        xMin = xMax = p.x;
        yMin = yMax = p.y;
        first = false;
      }
      xMin = std::min(xMin, p.x);
      xMax = std::max(xMax, p.x);
      yMin = std::min(yMin, p.y);
      yMax = std::max(yMax, p.y);
    }
  }
  Bytes b;
  b.S16(static_cast<int16_t>(contours.size())).S16(xMin).S16(yMin).S16(xMax).S16(yMax);
  uint16_t last = 0;
  size_t points = 0;
  for (const auto& contour : contours) {
    points += contour.size();
    last = static_cast<uint16_t>(points - 1);
    b.U16(last);
  }
  b.U16(static_cast<uint16_t>(instructions.size())).Append(instructions);
  for (const auto& contour : contours) {
    for (const Point& p : contour) b.U8(p.onCurve ? 0x01 : 0x00);
  }
  int16_t previous = 0;
  for (const auto& contour : contours) {
    for (const Point& p : contour) {
      b.S16(static_cast<int16_t>(p.x - previous));
      previous = p.x;
    }
  }
  previous = 0;
  for (const auto& contour : contours) {
    for (const Point& p : contour) {
      b.S16(static_cast<int16_t>(p.y - previous));
      previous = p.y;
    }
  }
  return b.Take();
}

std::vector<uint8_t> CompositeGlyph(const std::vector<Component>& components,
                                    const std::vector<uint8_t>& instructions, int16_t xMin,
                                    int16_t yMin, int16_t xMax, int16_t yMax) {
  Bytes b;
  b.S16(-1).S16(xMin).S16(yMin).S16(xMax).S16(yMax);
  for (size_t i = 0; i < components.size(); ++i) {
    const Component& c = components[i];
    const bool last = i + 1 == components.size();
    uint16_t flags = c.extraFlags;
    if (c.wordArgs) flags |= kArg1And2AreWords;
    if (c.argsAreXY) flags |= kArgsAreXYValues;
    if (!last) flags |= kMoreComponents;
    if (last && !instructions.empty()) flags |= kWeHaveInstructions;
    switch (c.transform) {
      case Component::Transform::kNone:
        break;
      case Component::Transform::kScale:
        flags |= kWeHaveAScale;
        break;
      case Component::Transform::kXYScale:
        flags |= kWeHaveAnXAndYScale;
        break;
      case Component::Transform::kTwoByTwo:
        flags |= kWeHaveATwoByTwo;
        break;
    }
    b.U16(flags).U16(c.glyphIndex);
    if (c.wordArgs) {
      b.U16(static_cast<uint16_t>(c.arg1)).U16(static_cast<uint16_t>(c.arg2));
    } else {
      b.U8(static_cast<uint8_t>(c.arg1)).U8(static_cast<uint8_t>(c.arg2));
    }
    if (c.transform == Component::Transform::kScale) b.S16(c.scale[0]);
    if (c.transform == Component::Transform::kXYScale) b.S16(c.scale[0]).S16(c.scale[3]);
    if (c.transform == Component::Transform::kTwoByTwo) {
      for (int16_t v : c.scale) b.S16(v);
    }
  }
  if (!instructions.empty()) {
    b.U16(static_cast<uint16_t>(instructions.size())).Append(instructions);
  }
  return b.Take();
}

GlyfBuilder::GlyfBuilder(LocaFormat format)
    : format_(format), alignment_(format == LocaFormat::kShort ? 2 : 4) {}

uint16_t GlyfBuilder::AddGlyph(std::vector<uint8_t> bytes) {
  glyphs_.push_back(std::move(bytes));
  return static_cast<uint16_t>(glyphs_.size() - 1);
}

GlyfBuilder& GlyfBuilder::SetGlyphAlignment(uint32_t alignment) {
  alignment_ = alignment == 0 ? 1 : alignment;
  return *this;
}

GlyfBuilder& GlyfBuilder::SetRawLoca(size_t index, uint32_t value) {
  rawLoca_[index] = value;
  return *this;
}

GlyfBuilder& GlyfBuilder::SetLocaEntries(size_t count) {
  locaEntries_ = count;
  return *this;
}

uint32_t GlyfBuilder::OffsetOf(size_t index) const {
  uint32_t offset = 0;
  for (size_t i = 0; i < index && i < glyphs_.size(); ++i) {
    const uint32_t size = static_cast<uint32_t>(glyphs_[i].size());
    offset += (size + alignment_ - 1) / alignment_ * alignment_;
  }
  return offset;
}

std::vector<uint8_t> GlyfBuilder::Glyf() const {
  Bytes b;
  for (const auto& glyph : glyphs_) b.Append(glyph).PadTo(alignment_);
  return b.Take();
}

std::vector<uint8_t> GlyfBuilder::Loca() const {
  const size_t entries = locaEntries_.value_or(glyphs_.size() + 1);
  Bytes b;
  for (size_t i = 0; i < entries; ++i) {
    const auto raw = rawLoca_.find(i);
    const uint32_t offset = OffsetOf(i);
    if (format_ == LocaFormat::kShort) {
      b.U16(static_cast<uint16_t>(raw != rawLoca_.end() ? raw->second : offset / 2));
    } else {
      b.U32(raw != rawLoca_.end() ? raw->second : offset);
    }
  }
  return b.Take();
}

FontBuilder BasicFont(const GlyfBuilder& glyphs, const CmapBuilder& cmap) {
  const uint16_t count = static_cast<uint16_t>(glyphs.glyphCount());
  std::vector<HMetric> metrics;
  for (uint16_t g = 0; g < count; ++g) metrics.push_back({static_cast<uint16_t>(1000 + g), 50});
  FontBuilder font;
  font.AddTable("cmap", cmap.Build());
  font.AddTable("cvt ", Bytes().S16(0).S16(100).S16(-100).Take());
  // Programs a printer runs without error: PUSHB[0] 0, POP; and PUSHB[0] 1 (maxp allows no
  // function definitions, and 64 stack elements).
  font.AddTable("fpgm", {0xB0, 0x00, 0x21});
  font.AddTable("glyf", glyphs.Glyf());
  font.AddTable("head", BuildHead(glyphs.format() == LocaFormat::kShort ? 0 : 1));
  font.AddTable("hhea", BuildHhea(count));
  font.AddTable("hmtx", BuildHmtx(metrics));
  font.AddTable("loca", glyphs.Loca());
  font.AddTable("maxp", BuildMaxp(count));
  font.AddTable("prep", {0xB0, 0x01});
  return font;
}

// ----- Files and the font engine -----

TempFile::TempFile(const std::vector<uint8_t>& bytes) {
  static std::atomic<unsigned> counter{0};
  std::error_code ec;
  const std::filesystem::path dir = std::filesystem::temp_directory_path(ec);
  if (ec) {
    ADD_FAILURE() << "no temporary directory: " << ec.message();
    return;
  }
  std::random_device random;
  for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
    const std::filesystem::path candidate = dir / ("tavrfndl-font-" + std::to_string(random()) +
                                                   "-" + std::to_string(counter++) + ".ttf");
    if (std::filesystem::exists(candidate, ec)) continue;
    std::ofstream out(candidate, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      ADD_FAILURE() << "cannot write " << candidate;
      return;
    }
    path_ = candidate.string();
  }
}

TempFile::~TempFile() {
  if (path_.empty()) return;
  std::error_code ec;
  std::filesystem::remove(path_, ec);
}

std::vector<uint8_t> ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return {};
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

int FontDataEngine::Calls(uint32_t id) const {
  const auto it = calls_.find(id);
  return it == calls_.end() ? 0 : it->second;
}

platform::HFONT FontDataEngine::CreateFontIndirectA(const platform::LOGFONTA&, const char*) {
  return reinterpret_cast<platform::HFONT>(&fontToken_);
}

platform::HFONT FontDataEngine::SelectObject(platform::HDC, platform::HFONT font) {
  platform::HFONT previous = selected_;
  selected_ = font;
  return previous;
}

uint32_t FontDataEngine::GetFontData(platform::HDC, uint32_t dwTable, uint32_t dwOffset,
                                     void* pvBuffer, uint32_t cjBuffer) {
  ++calls_[dwTable];
  const bool copy = pvBuffer != nullptr;
  const auto& failures = copy ? failCopy_ : failSize_;
  if (std::find(failures.begin(), failures.end(), dwTable) != failures.end()) {
    return platform::GDI_ERROR;
  }
  size_t begin = 0;
  size_t size = font_.size();
  if (dwTable != 0) {
    // The table directory, read by hand: this double must not depend on the code under test.
    const ByteView file(font_.data(), font_.size());
    auto u16 = [&](size_t at) -> uint32_t {
      uint16_t v = 0;
      return file.ReadU16(at, v) ? v : 0;
    };
    auto u32 = [&](size_t at) -> uint32_t {
      uint32_t v = 0;
      return file.ReadU32(at, v) ? v : 0;
    };
    const uint32_t count = u16(4);
    bool found = false;
    for (uint32_t i = 0; i < count && 12 + 16 * size_t{i} + 16 <= font_.size(); ++i) {
      const size_t record = 12 + 16 * size_t{i};
      const uint32_t id = uint32_t{font_[record]} | (uint32_t{font_[record + 1]} << 8) |
                          (uint32_t{font_[record + 2]} << 16) | (uint32_t{font_[record + 3]} << 24);
      if (id != dwTable) continue;
      begin = u32(record + 8);
      if (begin > font_.size()) return platform::GDI_ERROR;
      size = std::min<size_t>(u32(record + 12), font_.size() - begin);
      found = true;
      break;
    }
    if (!found) return platform::GDI_ERROR;
  }
  if (dwOffset > size) return platform::GDI_ERROR;
  const size_t available = size - dwOffset;
  if (!copy) return static_cast<uint32_t>(available);
  const size_t n = std::min<size_t>(available, cjBuffer);
  if (n != 0) std::memcpy(pvBuffer, font_.data() + begin + dwOffset, n);
  return static_cast<uint32_t>(n);
}

bool FontDataEngine::GetCharWidthA(platform::HDC, uint32_t iFirst, uint32_t iLast,
                                   int32_t* lpBuffer) {
  if (lpBuffer == nullptr || iLast < iFirst) return false;
  for (uint32_t c = iFirst; c <= iLast; ++c) lpBuffer[c - iFirst] = charWidth;
  return true;
}

uint32_t FontDataEngine::GetGlyphOutlineA(platform::HDC, uint32_t, uint32_t,
                                          platform::GLYPHMETRICS* lpgm, uint32_t, void*,
                                          const platform::MAT2*) {
  if (lpgm == nullptr) return platform::GDI_ERROR;
  *lpgm = glyphMetrics;
  return 1;
}

uint32_t FontDataEngine::GetOutlineTextMetricsA(platform::HDC, uint32_t cjCopy,
                                                platform::OUTLINETEXTMETRICA* potm) {
  const uint32_t size = sizeof(platform::OUTLINETEXTMETRICA);
  if (potm == nullptr) return size;
  if (cjCopy < size) return 0;
  *potm = outlineMetrics;
  potm->otmSize = size;
  return 1;
}

}  // namespace tavrfndl::test
