// The file a call's PCL XL goes to, and the one way into it.
//
// Two producers write there: the stream writer (font headers, characters, font selection), whose
// buffer is handed off in pieces, and the page records, each assembled whole. Both go through
// this object onto one FILE*, and a record first takes whatever the attached writer still holds,
// so the file receives every byte in the order it was produced, whatever the writer's buffer size
// or hand-off points.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "pclxl/xlstream.h"

namespace tavrfndl::pclxl {

class JobOutput {
 public:
  // file may be null: nothing is written then.
  explicit JobOutput(std::FILE* file) : file_(file) {}
  JobOutput(const JobOutput&) = delete;
  JobOutput& operator=(const JobOutput&) = delete;

  // Makes this output the destination of the writer's hand-offs. The writer must have been made
  // with Flush as its flush procedure, and must stay open while records are written here.
  void Attach(XlStream* stream);
  // Undoes Attach when this output is still the writer's destination, so that a writer
  // outliving the output hands off to nowhere.
  void Detach(XlStream* stream);

  std::FILE* file() const { return file_; }
  // The attached writer; null before Attach.
  XlStream* stream() const { return stream_; }

  // One page record in one write, behind everything the attached writer was given; 1 when it
  // was written, 0 when not.
  size_t WriteRecord(const uint8_t* bytes, size_t length);

  // The flush procedure of a writer whose output is a JobOutput: its buffer goes to the attached
  // output's file; a detached writer's bytes go nowhere.
  static void Flush(XlStream* pStream, uint32_t dwFlushContext, const uint8_t* pbyBuffer,
                    uint32_t nBytes);

 private:
  std::FILE* file_;
  XlStream* stream_ = nullptr;
};

}  // namespace tavrfndl::pclxl
