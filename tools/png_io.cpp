#include "png_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <png.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace fndl {
namespace {

// libpng reports errors by longjmp. Everything that lives across setjmp here is a plain pointer
// or number, so nothing with a destructor is skipped by the jump.
struct PngError {
  char message[256] = {};
};

void OnPngError(png_structp png, png_const_charp message) {
  auto* error = static_cast<PngError*>(png_get_error_ptr(png));
  if (error) std::snprintf(error->message, sizeof(error->message), "%s", message);
  png_longjmp(png, 1);
}

void OnPngWarning(png_structp, png_const_charp) {}

bool WriteRows(std::FILE* file, const GrayImage& image, PngError& failure) {
  png_structp png =
      png_create_write_struct(PNG_LIBPNG_VER_STRING, &failure, OnPngError, OnPngWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (uint32_t y = 0; y < image.height; ++y) {
    png_write_row(png, image.pixels.data() + static_cast<size_t>(y) * image.width);
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

}  // namespace

namespace {

// Opened without following a link and truncated only once it is known to be a regular file:
// an image never goes onto a device or a pipe.
std::FILE* OpenRegularFile(const std::string& path, std::string& error) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0666);
  if (fd < 0) {
    error = "cannot open " + path + " for writing: " + std::strerror(errno);
    return nullptr;
  }
  struct stat info;
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    close(fd);
    error = "will not write " + path + ": it is not a regular file";
    return nullptr;
  }
  std::FILE* file = ftruncate(fd, 0) == 0 ? fdopen(fd, "wb") : nullptr;
  if (!file) {
    error = "cannot open " + path + " for writing: " + std::strerror(errno);
    close(fd);
  }
  return file;
}

}  // namespace

bool WriteGrayPng(const std::string& path, const GrayImage& image, std::string& error) {
  if (image.width == 0 || image.height == 0 ||
      image.pixels.size() != static_cast<size_t>(image.width) * image.height) {
    error = "no image to write to " + path;
    return false;
  }
  std::FILE* file = OpenRegularFile(path, error);
  if (!file) return false;
  PngError failure;
  bool ok = WriteRows(file, image, failure);
  if (std::fclose(file) != 0 && ok) {
    ok = false;
    std::snprintf(failure.message, sizeof(failure.message), "%s", std::strerror(errno));
  }
  if (!ok) error = std::string("writing ") + path + " failed: " + failure.message;
  return ok;
}

namespace {

// Reads into an image whose pixel buffer is sized before the rows are read, so the jump target
// never sees a half-built vector.
bool ReadRows(std::FILE* file, GrayImage& image, PngError& failure) {
  png_structp png =
      png_create_read_struct(PNG_LIBPNG_VER_STRING, &failure, OnPngError, OnPngWarning);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_init_io(png, file);
  png_read_info(png, info);
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_strip_alpha(png);
  png_set_rgb_to_gray_fixed(png, 1, -1, -1);
  png_read_update_info(png, info);
  png_uint_32 width = png_get_image_width(png, info);
  png_uint_32 height = png_get_image_height(png, info);
  if (png_get_rowbytes(png, info) != width) {
    std::snprintf(failure.message, sizeof(failure.message), "not convertible to 8-bit gray");
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  image.width = width;
  image.height = height;
  image.pixels.assign(static_cast<size_t>(width) * height, 0);
  uint8_t* pixels = image.pixels.data();
  for (png_uint_32 y = 0; y < height; ++y) {
    png_read_row(png, pixels + static_cast<size_t>(y) * width, nullptr);
  }
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

}  // namespace

bool ReadGrayPng(const std::string& path, GrayImage& image, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    error = "cannot open " + path + ": " + std::strerror(errno);
    return false;
  }
  PngError failure;
  bool ok = ReadRows(file, image, failure);
  std::fclose(file);
  if (!ok) error = "reading " + path + " failed: " + failure.message;
  return ok;
}

}  // namespace fndl
