// 8-bit gray PNG files: the preview writes them, the tests read them back.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace fndl {

struct GrayImage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> pixels;  // row by row, 0 black, 255 white

  uint8_t At(uint32_t x, uint32_t y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

// Writes the image as an 8-bit gray PNG. False with *error.
bool WriteGrayPng(const std::string& path, const GrayImage& image, std::string& error);

// Reads any PNG libpng understands, converted to 8-bit gray. False with *error.
bool ReadGrayPng(const std::string& path, GrayImage& image, std::string& error);

}  // namespace fndl
