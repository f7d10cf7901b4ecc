// The PCL XL a driver writes around the library's output: the job and session opening, each
// page's opening and closing, and the job's end. Binary binding, low byte first.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fndl {

// Executive (7.25 x 10.5 inches) is known only to be refused: the library's lines are wider.
enum class Paper { kA4, kLetter, kLegal, kA3, kExecutive };

// Universal exit, PJL ENTER LANGUAGE, the stream header line with the comment, BeginSession
// (UnitsPerMeasure resolution in both directions, Measure inch, ErrorReport error page) and
// OpenDataSource (default source, binary low byte first).
std::vector<uint8_t> JobOpening(uint16_t resolution, const std::string& comment);
// BeginPage (portrait, the paper), gray color space, black brush.
std::vector<uint8_t> PageOpening(Paper paper);
std::vector<uint8_t> PageClosing();
// CloseDataSource, EndSession, universal exit.
std::vector<uint8_t> JobClosing();

// Page size in page units (units per inch = resolution).
void PaperSize(Paper paper, uint32_t resolution, uint32_t& width, uint32_t& height);

}  // namespace fndl
