#include "file_io.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace fndl {
namespace {

std::string Reason(int error) {
  return std::strerror(error);
}

bool WriteWith(const std::string& path, const char* mode, const std::vector<uint8_t>& bytes,
               std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), mode);
  if (!file) {
    error = "cannot open " + path + " for writing: " + Reason(errno);
    return false;
  }
  bool ok = bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  int writeError = errno;
  if (std::fclose(file) != 0 && ok) {
    ok = false;
    writeError = errno;
  }
  if (!ok) error = "writing " + path + " failed: " + Reason(writeError);
  return ok;
}

}  // namespace

bool ReadWholeStream(std::FILE* file, std::vector<uint8_t>& out) {
  out.clear();
  uint8_t buffer[65536];
  size_t got;
  while ((got = std::fread(buffer, 1, sizeof(buffer), file)) > 0) {
    out.insert(out.end(), buffer, buffer + got);
  }
  return !std::ferror(file);
}

bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out, std::string& error) {
  if (path == "-") {
    if (!ReadWholeStream(stdin, out)) {
      error = "reading standard input failed: " + Reason(errno);
      return false;
    }
    return true;
  }
  struct stat info;
  if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    error = "cannot read " + path + ": it is a directory";
    return false;
  }
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    error = "cannot open " + path + ": " + Reason(errno);
    return false;
  }
  bool ok = ReadWholeStream(file, out);
  int readError = errno;
  std::fclose(file);
  if (!ok) error = "reading " + path + " failed: " + Reason(readError);
  return ok;
}

bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
  return WriteWith(path, "wb", bytes, error);
}

bool AppendFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
  return WriteWith(path, "ab", bytes, error);
}

bool CopyFileTo(const std::string& path, std::FILE* out, std::string& error) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) {
    error = "cannot open " + path + ": " + Reason(errno);
    return false;
  }
  uint8_t buffer[65536];
  size_t got;
  bool ok = true;
  while (ok && (got = std::fread(buffer, 1, sizeof(buffer), file)) > 0) {
    ok = std::fwrite(buffer, 1, got, out) == got;
  }
  if (ok && std::ferror(file)) {
    error = "reading " + path + " failed: " + Reason(errno);
    ok = false;
  } else if (!ok || std::fflush(out) != 0) {
    error = "writing the job to standard output failed: " + Reason(errno);
    ok = false;
  }
  std::fclose(file);
  return ok;
}

bool IsRegularFile(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace fndl
