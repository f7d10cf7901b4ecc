#include "pclxl/joboutput.h"

namespace tavrfndl::pclxl {

void JobOutput::Attach(XlStream* stream) {
  stream_ = stream;
  if (stream != nullptr) stream->pClientData = this;
}

void JobOutput::Detach(XlStream* stream) {
  if (stream != nullptr && stream->pClientData == this) stream->pClientData = nullptr;
  if (stream == stream_) stream_ = nullptr;
}

size_t JobOutput::WriteRecord(const uint8_t* bytes, size_t length) {
  // The writer hands off after every operator, so this is empty between operators; taking it
  // first makes the order hold for a record written anywhere.
  if (stream_ != nullptr && stream_->pClientData == this) HandOffPending(stream_);
  if (file_ == nullptr) return 0;
  // One item of the whole record's size: the record reaches the file as one piece.
  return std::fwrite(bytes, length, 1, file_);
}

void JobOutput::Flush(XlStream* pStream, uint32_t, const uint8_t*, uint32_t) {
  auto* output = static_cast<JobOutput*>(pStream->pClientData);
  if (output != nullptr && output->file_ != nullptr && pStream->nBufferUsed > 0) {
    std::fwrite(pStream->pbyBuffer, 1, static_cast<size_t>(pStream->nBufferUsed), output->file_);
    // Each hand-off reaches the system at once, as it always has; the order of the file's bytes
    // does not rest on it, both producers going through the one FILE*.
    std::fflush(output->file_);
  }
  pStream->nBufferUsed = 0;
}

}  // namespace tavrfndl::pclxl
