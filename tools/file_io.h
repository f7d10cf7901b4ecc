// Whole-file reads and appends with error messages fit for the user.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace fndl {

// Reads a whole file ("-" reads standard input). False with *error ("cannot open X: reason").
bool ReadWholeFile(const std::string& path, std::vector<uint8_t>& out, std::string& error);
bool ReadWholeStream(std::FILE* file, std::vector<uint8_t>& out);

// Creates or truncates the file and writes the bytes, or appends them. False with *error.
bool WriteFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);
bool AppendFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);

// Copies a file to an open stream. False with *error.
bool CopyFileTo(const std::string& path, std::FILE* out, std::string& error);

bool IsRegularFile(const std::string& path);

}  // namespace fndl
