// The PCL XL protocol's numbers, binary binding (class 2.0/2.1): data type tags, attribute ids,
// operator tags, the enumerations this project writes or reads, the universal exit and the paper
// sizes. Every writer, reader and listing of the stream takes its numbers and names from here:
// a number copied into a writer and its reader alike would pass every round trip.
//
// The tables are X-macros so that a name and its number stand on one line, and the enumerations,
// the name lookups and the acceptance checks are all made from that line.
#pragma once

#include <cstddef>
#include <cstdint>

// clang-format off
#define TAVRFNDL_XL_OPERATORS(X) \
  X(BeginSession, 0x41) \
  X(EndSession, 0x42) \
  X(BeginPage, 0x43) \
  X(EndPage, 0x44) \
  X(Comment, 0x47) \
  X(OpenDataSource, 0x48) \
  X(CloseDataSource, 0x49) \
  X(BeginFontHeader, 0x4F) \
  X(ReadFontHeader, 0x50) \
  X(EndFontHeader, 0x51) \
  X(BeginChar, 0x52) \
  X(ReadChar, 0x53) \
  X(EndChar, 0x54) \
  X(RemoveFont, 0x55) \
  X(SetCharAttributes, 0x56) \
  X(BeginStream, 0x5B) \
  X(ReadStream, 0x5C) \
  X(EndStream, 0x5D) \
  X(ExecStream, 0x5E) \
  X(RemoveStream, 0x5F) \
  X(PopGS, 0x60) \
  X(PushGS, 0x61) \
  X(SetClipReplace, 0x62) \
  X(SetBrushSource, 0x63) \
  X(SetCharAngle, 0x64) \
  X(SetCharScale, 0x65) \
  X(SetCharShear, 0x66) \
  X(SetClipIntersect, 0x67) \
  X(SetClipRectangle, 0x68) \
  X(SetClipToPage, 0x69) \
  X(SetColorSpace, 0x6A) \
  X(SetCursor, 0x6B) \
  X(SetCursorRel, 0x6C) \
  X(SetHalftoneMethod, 0x6D) \
  X(SetFillMode, 0x6E) \
  X(SetFont, 0x6F) \
  X(SetLineDash, 0x70) \
  X(SetLineCap, 0x71) \
  X(SetLineJoin, 0x72) \
  X(SetMiterLimit, 0x73) \
  X(SetPageDefaultCTM, 0x74) \
  X(SetPageOrigin, 0x75) \
  X(SetPageRotation, 0x76) \
  X(SetPageScale, 0x77) \
  X(SetPaintTxMode, 0x78) \
  X(SetPenSource, 0x79) \
  X(SetPenWidth, 0x7A) \
  X(SetROP, 0x7B) \
  X(SetSourceTxMode, 0x7C) \
  X(SetCharBoldValue, 0x7D) \
  X(SetClipMode, 0x7F) \
  X(SetPathToClip, 0x80) \
  X(SetCharSubMode, 0x81) \
  X(CloseSubPath, 0x84) \
  X(NewPath, 0x85) \
  X(PaintPath, 0x86) \
  X(ArcPath, 0x91) \
  X(BezierPath, 0x93) \
  X(BezierRelPath, 0x95) \
  X(Chord, 0x96) \
  X(ChordPath, 0x97) \
  X(Ellipse, 0x98) \
  X(EllipsePath, 0x99) \
  X(LinePath, 0x9B) \
  X(LineRelPath, 0x9D) \
  X(Pie, 0x9E) \
  X(PiePath, 0x9F) \
  X(Rectangle, 0xA0) \
  X(RectanglePath, 0xA1) \
  X(RoundRectangle, 0xA2) \
  X(RoundRectanglePath, 0xA3) \
  X(Text, 0xA8) \
  X(TextPath, 0xA9) \
  X(BeginImage, 0xB0) \
  X(ReadImage, 0xB1) \
  X(EndImage, 0xB2) \
  X(BeginRastPattern, 0xB3) \
  X(ReadRastPattern, 0xB4) \
  X(EndRastPattern, 0xB5) \
  X(BeginScan, 0xB6) \
  X(EndScan, 0xB8) \
  X(ScanLineRel, 0xB9) \
  X(PassThrough, 0xBF)

#define TAVRFNDL_XL_ATTRIBUTES(X) \
  X(PaletteDepth, 0x02) \
  X(ColorSpace, 0x03) \
  X(NullBrush, 0x04) \
  X(NullPen, 0x05) \
  X(PaletteData, 0x06) \
  X(PatternSelectID, 0x08) \
  X(GrayLevel, 0x09) \
  X(Lightness, 0x0A) \
  X(RGBColor, 0x0B) \
  X(PatternOrigin, 0x0C) \
  X(NewDestinationSize, 0x0D) \
  X(PrimaryArray, 0x0E) \
  X(PrimaryDepth, 0x0F) \
  X(Saturation, 0x10) \
  X(ColorimetricColorSpace, 0x11) \
  X(XYChromaticities, 0x12) \
  X(WhiteReferencePoint, 0x13) \
  X(CRGBMinMax, 0x14) \
  X(GammaGain, 0x15) \
  X(AllObjectTypes, 0x1D) \
  X(TextObjects, 0x1E) \
  X(VectorObjects, 0x1F) \
  X(RasterObjects, 0x20) \
  X(DeviceMatrix, 0x21) \
  X(DitherMatrixDataType, 0x22) \
  X(DitherOrigin, 0x23) \
  X(MediaDestination, 0x24) \
  X(MediaSize, 0x25) \
  X(MediaSource, 0x26) \
  X(MediaType, 0x27) \
  X(Orientation, 0x28) \
  X(PageAngle, 0x29) \
  X(PageOrigin, 0x2A) \
  X(PageScale, 0x2B) \
  X(ROP3, 0x2C) \
  X(TxMode, 0x2D) \
  X(CustomMediaSize, 0x2F) \
  X(CustomMediaSizeUnits, 0x30) \
  X(PageCopies, 0x31) \
  X(DitherMatrixSize, 0x32) \
  X(DitherMatrixDepth, 0x33) \
  X(SimplexPageMode, 0x34) \
  X(DuplexPageMode, 0x35) \
  X(DuplexPageSide, 0x36) \
  X(ArcDirection, 0x41) \
  X(BoundingBox, 0x42) \
  X(DashOffset, 0x43) \
  X(EllipseDimension, 0x44) \
  X(EndPoint, 0x45) \
  X(FillMode, 0x46) \
  X(LineCapStyle, 0x47) \
  X(LineJoinStyle, 0x48) \
  X(MiterLength, 0x49) \
  X(LineDashStyle, 0x4A) \
  X(PenWidth, 0x4B) \
  X(Point, 0x4C) \
  X(NumberOfPoints, 0x4D) \
  X(SolidLine, 0x4E) \
  X(StartPoint, 0x4F) \
  X(PointType, 0x50) \
  X(ControlPoint1, 0x51) \
  X(ControlPoint2, 0x52) \
  X(ClipRegion, 0x53) \
  X(ClipMode, 0x54) \
  X(ColorDepth, 0x62) \
  X(BlockHeight, 0x63) \
  X(ColorMapping, 0x64) \
  X(CompressMode, 0x65) \
  X(DestinationBox, 0x66) \
  X(DestinationSize, 0x67) \
  X(PatternPersistence, 0x68) \
  X(PatternDefineID, 0x69) \
  X(SourceHeight, 0x6B) \
  X(SourceWidth, 0x6C) \
  X(StartLine, 0x6D) \
  X(PadBytesMultiple, 0x6E) \
  X(BlockByteLength, 0x6F) \
  X(NumberOfScanLines, 0x73) \
  X(ColorTreatment, 0x78) \
  X(CommentData, 0x81) \
  X(DataOrg, 0x82) \
  X(Measure, 0x86) \
  X(SourceType, 0x88) \
  X(UnitsPerMeasure, 0x89) \
  X(StreamName, 0x8B) \
  X(StreamDataLength, 0x8C) \
  X(PCLSelectFont, 0x8D) \
  X(ErrorReport, 0x8F) \
  X(CharAngle, 0xA1) \
  X(CharCode, 0xA2) \
  X(CharDataSize, 0xA3) \
  X(CharScale, 0xA4) \
  X(CharShear, 0xA5) \
  X(CharSize, 0xA6) \
  X(FontHeaderLength, 0xA7) \
  X(FontName, 0xA8) \
  X(FontFormat, 0xA9) \
  X(SymbolSet, 0xAA) \
  X(TextData, 0xAB) \
  X(CharSubModeArray, 0xAC) \
  X(WritingMode, 0xAD) \
  X(XSpacingData, 0xAF) \
  X(YSpacingData, 0xB0) \
  X(CharBoldValue, 0xB1)

#define TAVRFNDL_XL_DATA_TYPES(X) \
  X(ubyte, 0xC0) \
  X(uint16, 0xC1) \
  X(uint32, 0xC2) \
  X(sint16, 0xC3) \
  X(sint32, 0xC4) \
  X(real32, 0xC5) \
  X(ubyte_array, 0xC8) \
  X(uint16_array, 0xC9) \
  X(uint32_array, 0xCA) \
  X(sint16_array, 0xCB) \
  X(sint32_array, 0xCC) \
  X(real32_array, 0xCD) \
  X(ubyte_xy, 0xD0) \
  X(uint16_xy, 0xD1) \
  X(uint32_xy, 0xD2) \
  X(sint16_xy, 0xD3) \
  X(sint32_xy, 0xD4) \
  X(real32_xy, 0xD5) \
  X(ubyte_box, 0xE0) \
  X(uint16_box, 0xE1) \
  X(uint32_box, 0xE2) \
  X(sint16_box, 0xE3) \
  X(sint32_box, 0xE4) \
  X(real32_box, 0xE5)
// clang-format on

namespace tavrfndl::pclxl {

#define TAVRFNDL_XL_ENUMERATOR(name, code) name = code,

enum class Operator : uint8_t { TAVRFNDL_XL_OPERATORS(TAVRFNDL_XL_ENUMERATOR) };
enum class Attribute : uint8_t { TAVRFNDL_XL_ATTRIBUTES(TAVRFNDL_XL_ENUMERATOR) };

// The value types, then the tags that introduce an attribute id or embedded data.
enum class DataType : uint8_t {
  TAVRFNDL_XL_DATA_TYPES(TAVRFNDL_XL_ENUMERATOR) attr_ubyte = 0xF8,
  attr_uint16 = 0xF9,
  dataLength = 0xFA,
  dataLengthByte = 0xFB,
};

#undef TAVRFNDL_XL_ENUMERATOR

// The protocol's names ("BeginSession", "UnitsPerMeasure", "uint16_xy"); null for a code the
// protocol does not define.
const char* OperatorName(uint8_t tag);
const char* AttributeName(uint8_t id);
const char* DataTypeName(uint8_t tag);

// The enumerations, under the protocol's own names.
enum class Measure : uint8_t { eInch = 0, eMillimeter = 1, eTenthsOfAMillimeter = 2 };
enum class ErrorReport : uint8_t {
  eNoReporting = 0,
  eBackChannel = 1,
  eErrorPage = 2,
  eBackChAndErrPage = 3,
};
enum class DataSource : uint8_t { eDefaultDataSource = 0 };
enum class DataOrg : uint8_t { eBinaryHighByteFirst = 0, eBinaryLowByteFirst = 1 };
enum class Orientation : uint8_t {
  ePortraitOrientation = 0,
  eLandscapeOrientation = 1,
  eReversePortrait = 2,
  eReverseLandscape = 3,
};
enum class MediaSize : uint8_t {
  eLetterPaper = 0,
  eLegalPaper = 1,
  eA4Paper = 2,
  eExecPaper = 3,
  eLedgerPaper = 4,
  eA3Paper = 5,
};
enum class MediaSource : uint8_t { eDefaultSource = 0 };
enum class ColorSpace : uint8_t { eGray = 1, eRGB = 2 };
enum class ClipRegion : uint8_t { eInterior = 0, eExterior = 1 };
enum class SimplexPageMode : uint8_t { eSimplexFrontSide = 0 };
enum class DuplexPageMode : uint8_t { eDuplexHorizontalBinding = 0, eDuplexVerticalBinding = 1 };
enum class DuplexPageSide : uint8_t { eFrontMediaSide = 0, eBackMediaSide = 1 };
// FontFormat of BeginFontHeader: the only font format the protocol defines.
inline constexpr uint8_t kFontFormat0 = 0;

// The universal exit that opens and closes a job (ESC %-12345X).
inline constexpr char kUniversalExit[] = "\x1B%-12345X";
inline constexpr size_t kUniversalExitLength = sizeof(kUniversalExit) - 1;

// A paper size of the MediaSize enumeration: its enumeration value, the media name the protocol
// also accepts as a ubyte_array ("A4"), and its size in inches as a fraction, so that page units
// at any resolution come out the same wherever they are computed.
struct Paper {
  MediaSize media;
  const char* mediaName;
  uint32_t widthNumerator, heightNumerator, denominator;  // inches = numerator / denominator

  // Page units at `resolution` units per inch, truncated.
  uint32_t Width(uint32_t resolution) const {
    return static_cast<uint32_t>(uint64_t{widthNumerator} * resolution / denominator);
  }
  uint32_t Height(uint32_t resolution) const {
    return static_cast<uint32_t>(uint64_t{heightNumerator} * resolution / denominator);
  }
};

// A4 and A3 in hundredths of a millimetre over 2540 per inch: 210 x 297 mm, 297 x 420 mm.
inline constexpr Paper kPapers[] = {
    {MediaSize::eLetterPaper, "LETTER", 17, 22, 2},
    {MediaSize::eLegalPaper, "LEGAL", 17, 28, 2},
    {MediaSize::eA4Paper, "A4", 21000, 29700, 2540},
    {MediaSize::eExecPaper, "EXEC", 29, 42, 4},
    {MediaSize::eLedgerPaper, "LEDGER", 11, 17, 1},
    {MediaSize::eA3Paper, "A3", 29700, 42000, 2540},
};

// The paper of a MediaSize value; null for a value the protocol does not define.
const Paper* PaperOf(uint8_t mediaSize);
// The paper whose media name this is (case-insensitive); null when none is.
const Paper* PaperNamed(const char* mediaName, size_t length);

}  // namespace tavrfndl::pclxl
