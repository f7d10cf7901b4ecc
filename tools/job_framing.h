// The PCL XL a driver writes around the library's output: the job and session opening, each
// page's opening and closing, and the job's end. Binary binding, low byte first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "pclxl/format.h"

namespace fndl {

using tavrfndl::pclxl::MediaSize;

// The papers the tool knows, as its messages spell them (`fndl print --page` takes them in any
// case); their sizes are the protocol's paper table's. Executive is known only to be refused:
// the library's lines are wider.
struct PaperName {
  const char* name;
  MediaSize media;
};
inline constexpr PaperName kPaperNames[] = {
    {"A4", MediaSize::eA4Paper},          {"A3", MediaSize::eA3Paper},
    {"Letter", MediaSize::eLetterPaper},  {"Legal", MediaSize::eLegalPaper},
    {"Executive", MediaSize::eExecPaper},
};
// The name above; "?" for a paper the tool does not know.
const char* NameOf(MediaSize paper);

// Universal exit, PJL ENTER LANGUAGE, the stream header line with the comment, BeginSession
// (UnitsPerMeasure resolution in both directions, Measure inch, ErrorReport error page) and
// OpenDataSource (default source, binary low byte first).
std::vector<uint8_t> JobOpening(uint16_t resolution, const std::string& comment);
// BeginPage (portrait, the paper), gray color space, black brush.
std::vector<uint8_t> PageOpening(MediaSize paper);
std::vector<uint8_t> PageClosing();
// CloseDataSource, EndSession, universal exit.
std::vector<uint8_t> JobClosing();

}  // namespace fndl
