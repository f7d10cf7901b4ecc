// The operators of what the library appended to a job, read with the library's stream reader and
// copied out of the stream, so that tests can state what went out operator by operator and keep
// the result after the bytes are gone.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pclxl/xlstream_reader.h"

namespace tavrfndl::testing {

using pclxl::Attribute;
using pclxl::Operator;

struct WireOp {
  Operator tag = Operator::BeginSession;
  size_t offset = 0;           // where its first attribute byte starts in the stream
  std::vector<uint8_t> bytes;  // attributes and the operator byte, as on the wire
  std::vector<uint8_t> data;   // embedded data after the operator, without its length
  bool hasData = false;

  // An attribute's number (i picks the coordinate of an xy pair or a box), or -1 when the
  // operator lacks it; an array attribute's elements (none when it lacks it).
  double Number(Attribute id, size_t i = 0) const;
  std::vector<double> Elements(Attribute id) const;
};

// Every operator of a stream fragment (no prologue, low byte first); on malformed input fills
// *error and returns the operators before it.
std::vector<WireOp> ReadOps(const std::vector<uint8_t>& stream, std::string* error = nullptr);

// The operator tags in order, and their names for failure messages.
std::vector<Operator> Tags(const std::vector<WireOp>& ops);
std::string TagName(Operator tag);
std::string Describe(const std::vector<Operator>& tags);

// What one operator should read back as: its tag, each attribute's id, type and numbers (a
// scalar's value, the coordinates of an xy pair or a box, an array's elements), and its data.
struct ExpectedOp {
  struct Value {
    Attribute id;
    pclxl::DataType type;
    std::vector<double> numbers;
  };
  Operator tag;
  std::vector<Value> attributes;
  std::vector<uint8_t> data = {};
};

// Empty when the reader reads `stream` (a whole job when `job`, else a fragment) as exactly the
// expected operators, in order; otherwise the first difference.
std::string ReadsBackAs(const std::vector<uint8_t>& stream, const std::vector<ExpectedOp>& expected,
                        bool job = false);

std::vector<uint8_t> ReadFileBytes(const std::string& path);

}  // namespace tavrfndl::testing
