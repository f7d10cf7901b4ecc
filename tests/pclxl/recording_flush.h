// A flush callback for tests that keeps every hand-off, and a writer wired to it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "pclxl/xlstream.h"

namespace tavrfndl::testing {

using Bytes = std::vector<uint8_t>;

inline constexpr uint32_t kRecorderContext = 0x5EC0FFEE;

struct Recorder {
  std::vector<Bytes> handOffs;

  Bytes Joined() const {
    Bytes all;
    for (const Bytes& piece : handOffs) all.insert(all.end(), piece.begin(), piece.end());
    return all;
  }
};

// Behaves like the host's callback (takes the bytes, empties the buffer) and checks on the way
// that the writer passed its own buffer, its fill level and the client's context unchanged.
inline void RecordingFlush(XlStream* pStream, uint32_t dwFlushContext, const uint8_t* pbyBuffer,
                           uint32_t nBytes) {
  EXPECT_EQ(dwFlushContext, kRecorderContext);
  EXPECT_EQ(pbyBuffer, pStream->pbyBuffer);
  EXPECT_EQ(nBytes, static_cast<uint32_t>(pStream->nBufferUsed));
  EXPECT_LE(nBytes, static_cast<uint32_t>(pStream->nBufferSize));
  auto* recorder = static_cast<Recorder*>(pStream->pClientData);
  recorder->handOffs.emplace_back(pbyBuffer, pbyBuffer + nBytes);
  pStream->nBufferUsed = 0;
}

// A writer whose hand-offs land in `recorder`.
inline XlStreamPtr MakeRecordingStream(Recorder& recorder, int32_t nBufferSize = 4096) {
  XlStreamPtr stream(XlStreamCreate(nBufferSize, RecordingFlush, kRecorderContext));
  if (stream) stream->pClientData = &recorder;
  return stream;
}

// Names a parameterised test after its case's `name` field.
struct CaseName {
  template <class Case>
  std::string operator()(const ::testing::TestParamInfo<Case>& param) const {
    return param.param.name;
  }
};

}  // namespace tavrfndl::testing
