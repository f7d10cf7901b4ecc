#include "support/xlparse.h"

#include <fstream>
#include <iterator>
#include <map>

namespace tavrfndl::testing {
namespace {

size_t ElementSize(uint8_t arrayType) {
  switch (arrayType) {
    case 0xC8:
      return 1;
    case 0xC9:
    case 0xCB:
      return 2;
    default:
      return 4;  // 0xCA, 0xCC, 0xCD
  }
}

size_t ScalarSize(uint8_t type) {
  static const std::map<uint8_t, size_t> sizes = {
      {0xC0, 1},  {0xC1, 2}, {0xC2, 4},  {0xC3, 2},  {0xC4, 4}, {0xC5, 4}, {0xD0, 2},
      {0xD1, 4},  {0xD2, 8}, {0xD3, 4},  {0xD4, 8},  {0xD5, 8}, {0xE0, 4}, {0xE1, 8},
      {0xE2, 16}, {0xE3, 8}, {0xE4, 16}, {0xE5, 16}, {0xF8, 1}, {0xF9, 2}};
  auto it = sizes.find(type);
  return it == sizes.end() ? 0 : it->second;
}

struct Reader {
  const std::vector<uint8_t>& s;
  size_t pos = 0;
  bool Need(size_t n) const { return n <= s.size() && pos <= s.size() - n; }
  uint32_t Le(size_t n) {
    uint32_t v = 0;
    for (size_t i = 0; i < n; ++i) v |= uint32_t{s[pos + i]} << (8 * i);
    pos += n;
    return v;
  }
};

}  // namespace

std::vector<XlOperator> ParseXl(const std::vector<uint8_t>& stream, std::string* error) {
  std::vector<XlOperator> ops;
  Reader r{stream};
  XlOperator current;
  current.offset = 0;
  auto fail = [&](const std::string& why) {
    if (error) *error = why + " at offset " + std::to_string(r.pos);
    return ops;
  };
  while (r.pos < stream.size()) {
    const uint8_t b = stream[r.pos];
    if (b == 0xFA || b == 0xFB) {
      if (ops.empty()) return fail("embedded data without an operator");
      ++r.pos;
      const size_t lengthSize = b == 0xFA ? 4 : 1;
      if (!r.Need(lengthSize)) return fail("truncated data length");
      const uint32_t n = r.Le(lengthSize);
      if (!r.Need(n)) return fail("embedded data runs past the end");
      ops.back().data.assign(stream.begin() + static_cast<long>(r.pos),
                             stream.begin() + static_cast<long>(r.pos + n));
      ops.back().hasData = true;
      r.pos += n;
      current.offset = r.pos;
      continue;
    }
    if (b >= 0xC8 && b <= 0xCD) {
      ++r.pos;
      if (!r.Need(1)) return fail("truncated array");
      const uint8_t lengthType = stream[r.pos++];
      const size_t lengthSize = lengthType == 0xC0 ? 1 : lengthType == 0xC1 ? 2 : 0;
      if (!lengthSize || !r.Need(lengthSize)) return fail("bad array length");
      const size_t n = r.Le(lengthSize) * ElementSize(b);
      if (!r.Need(n)) return fail("array runs past the end");
      r.pos += n;
    } else if (size_t size = ScalarSize(b)) {
      ++r.pos;
      if (!r.Need(size)) return fail("truncated value");
      r.pos += size;
    } else if (b >= 0x41 && b <= 0xBF) {
      ++r.pos;
      current.tag = b;
      current.bytes.assign(stream.begin() + static_cast<long>(current.offset),
                           stream.begin() + static_cast<long>(r.pos));
      ops.push_back(current);
      current = XlOperator();
      current.offset = r.pos;
      continue;
    } else {
      return fail("unknown byte");
    }
  }
  if (current.offset != stream.size()) return fail("attributes without an operator");
  return ops;
}

std::optional<std::map<uint8_t, XlValue>> Attributes(const XlOperator& op) {
  constexpr uint8_t kAttrUByte = 0xF8;
  std::map<uint8_t, XlValue> out;
  if (op.bytes.empty()) return std::nullopt;
  // Everything but the operator byte.
  const std::vector<uint8_t> list(op.bytes.begin(), op.bytes.end() - 1);
  Reader r{list};
  while (r.pos < list.size()) {
    XlValue v;
    v.type = list[r.pos++];
    if (v.type >= 0xC8 && v.type <= 0xCD) {
      if (!r.Need(1)) return std::nullopt;
      const uint8_t lengthType = list[r.pos++];
      const size_t lengthSize = lengthType == 0xC0 ? 1 : lengthType == 0xC1 ? 2 : 0;
      if (lengthSize == 0 || !r.Need(lengthSize)) return std::nullopt;
      v.count = r.Le(lengthSize);
      const size_t n = size_t{v.count} * ElementSize(v.type);
      if (!r.Need(n)) return std::nullopt;
      if (v.type == 0xC8)
        v.bytes.assign(list.begin() + static_cast<long>(r.pos),
                       list.begin() + static_cast<long>(r.pos + n));
      r.pos += n;
    } else if (const size_t n = v.type < 0xF8 ? ScalarSize(v.type) : 0) {  // not an attribute id
      if (!r.Need(n)) return std::nullopt;
      v.scalar = r.Le(n < 4 ? n : 4);
      r.pos += n - (n < 4 ? n : 4);
    } else {
      return std::nullopt;
    }
    if (!r.Need(2) || list[r.pos] != kAttrUByte) return std::nullopt;
    out[list[r.pos + 1]] = v;
    r.pos += 2;
  }
  return out;
}

std::vector<uint8_t> Tags(const std::vector<XlOperator>& ops) {
  std::vector<uint8_t> tags;
  for (const XlOperator& o : ops) tags.push_back(o.tag);
  return tags;
}

std::string TagName(uint8_t tag) {
  static const std::map<uint8_t, const char*> names = {{0x4F, "BeginFontHeader"},
                                                       {0x50, "ReadFontHeader"},
                                                       {0x51, "EndFontHeader"},
                                                       {0x52, "BeginChar"},
                                                       {0x53, "ReadChar"},
                                                       {0x54, "EndChar"},
                                                       {0x55, "RemoveFont"},
                                                       {0x64, "SetCharAngle"},
                                                       {0x66, "SetCharShear"},
                                                       {0x68, "SetClipRectangle"},
                                                       {0x6B, "SetCursor"},
                                                       {0x6F, "SetFont"},
                                                       {0x79, "SetPenSource"},
                                                       {0x7B, "SetROP"},
                                                       {0x7D, "SetCharBoldValue"},
                                                       {0x85, "NewPath"},
                                                       {0x86, "PaintPath"},
                                                       {0xA1, "RectanglePath"},
                                                       {0xA8, "Text"}};
  auto it = names.find(tag);
  if (it != names.end()) return it->second;
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", tag);
  return buf;
}

std::string Describe(const std::vector<uint8_t>& tags) {
  std::string out;
  for (uint8_t t : tags) {
    if (!out.empty()) out.push_back(' ');
    out.append(TagName(t));
  }
  return out;
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace tavrfndl::testing
