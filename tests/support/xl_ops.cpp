#include "support/xl_ops.h"

#include <cstdio>
#include <fstream>
#include <iterator>

namespace tavrfndl::testing {
namespace {

// The attribute as the reader finds it in the operator's own bytes.
template <typename Use>
void WithAttribute(const WireOp& op, Attribute id, Use use) {
  auto reader = pclxl::XlStreamReader::Fragment(op.bytes.data(), op.bytes.size());
  pclxl::XlOperator read;
  if (reader.Next(read) != pclxl::XlStreamReader::Result::kOperator) return;
  if (const pclxl::XlAttribute* a = read.Find(id)) use(a->value);
}

}  // namespace

double WireOp::Number(Attribute id, size_t i) const {
  double number = -1;
  WithAttribute(*this, id, [&](const pclxl::XlValue& v) { number = i < 4 ? v.number[i] : -1; });
  return number;
}

std::vector<double> WireOp::Elements(Attribute id) const {
  std::vector<double> elements;
  WithAttribute(*this, id, [&](const pclxl::XlValue& v) {
    for (uint32_t i = 0; i < v.count; ++i) elements.push_back(v.Element(i));
  });
  return elements;
}

std::vector<WireOp> ReadOps(const std::vector<uint8_t>& stream, std::string* error) {
  using pclxl::XlStreamReader;
  std::vector<WireOp> ops;
  XlStreamReader reader = XlStreamReader::Fragment(stream.data(), stream.size());
  pclxl::XlOperator op;
  XlStreamReader::Result result;
  while ((result = reader.Next(op)) == XlStreamReader::Result::kOperator) {
    WireOp& wire = ops.emplace_back();
    wire.tag = op.tag;
    wire.offset = op.start;
    wire.bytes.assign(stream.begin() + static_cast<long>(op.start),
                      stream.begin() + static_cast<long>(op.offset + 1));
    wire.hasData = op.hasData;
    if (op.hasData) wire.data.assign(op.data, op.data + op.dataLength);
  }
  if (result == XlStreamReader::Result::kError && error) {
    *error = reader.error() + " at " + pclxl::FormatOffset(reader.errorOffset());
  }
  return ops;
}

std::vector<Operator> Tags(const std::vector<WireOp>& ops) {
  std::vector<Operator> tags;
  for (const WireOp& o : ops) tags.push_back(o.tag);
  return tags;
}

std::string TagName(Operator tag) {
  if (const char* name = pclxl::OperatorName(static_cast<uint8_t>(tag))) return name;
  char buf[8];
  std::snprintf(buf, sizeof buf, "0x%02X", static_cast<unsigned>(tag));
  return buf;
}

std::string Describe(const std::vector<Operator>& tags) {
  std::string out;
  for (Operator t : tags) {
    if (!out.empty()) out.push_back(' ');
    out.append(TagName(t));
  }
  return out;
}

namespace {

std::vector<double> NumbersOf(const pclxl::XlValue& v) {
  if (v.shape != pclxl::XlShape::kArray) {
    const size_t n = v.shape == pclxl::XlShape::kScalar ? 1
                     : v.shape == pclxl::XlShape::kXY   ? 2
                                                        : 4;
    return std::vector<double>(v.number, v.number + n);
  }
  std::vector<double> elements;
  for (uint32_t i = 0; i < v.count; ++i) elements.push_back(v.Element(i));
  return elements;
}

std::string Difference(const pclxl::XlOperator& op, const ExpectedOp& want) {
  if (op.tag != want.tag) return "found " + TagName(op.tag);
  if (op.attributes.size() != want.attributes.size()) {
    return std::to_string(op.attributes.size()) + " attributes";
  }
  for (size_t i = 0; i < op.attributes.size(); ++i) {
    const pclxl::XlAttribute& got = op.attributes[i];
    const ExpectedOp::Value& value = want.attributes[i];
    const std::string which = "attribute " + std::to_string(i) + " ";
    if (got.id != static_cast<uint16_t>(value.id)) return which + "id " + std::to_string(got.id);
    if (got.value.type != value.type) return which + "of another type";
    if (NumbersOf(got.value) != value.numbers) return which + "of another value";
  }
  const std::vector<uint8_t> data(op.data, op.data + op.dataLength);
  return data == want.data ? "" : std::to_string(data.size()) + " bytes of data";
}

}  // namespace

std::string ReadsBackAs(const std::vector<uint8_t>& stream, const std::vector<ExpectedOp>& expected,
                        bool job) {
  using pclxl::XlStreamReader;
  XlStreamReader reader = job ? XlStreamReader(stream.data(), stream.size())
                              : XlStreamReader::Fragment(stream.data(), stream.size());
  pclxl::XlOperator op;
  for (const ExpectedOp& want : expected) {
    if (reader.Next(op) != XlStreamReader::Result::kOperator) {
      return "no " + TagName(want.tag) + ": " + reader.error();
    }
    const std::string difference = Difference(op, want);
    if (!difference.empty()) return TagName(want.tag) + ": " + difference;
  }
  return reader.Next(op) == XlStreamReader::Result::kEnd ? "" : "more than expected";
}

std::vector<uint8_t> ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

}  // namespace tavrfndl::testing
