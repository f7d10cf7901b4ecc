// What a validation found wrong, kept without allocating: a validator runs inside the download
// exports, where running out of memory must not turn a refusal into a crash.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "sfnt/tag.h"

namespace tavrfndl::sfnt {

struct Finding {
  Tag table;                 // the table it concerns; 0 for the table directory itself
  const char* field = "";    // the field or structure, as the TrueType format names it
  const char* problem = "";  // what is wrong with it
  int64_t value = 0;         // the value found
};

class Findings {
 public:
  static constexpr size_t kKept = 16;

  void Add(Tag table, const char* field, const char* problem, int64_t value) {
    if (kept_ < kKept) items_[kept_++] = Finding{table, field, problem, value};
    ++count_;
  }
  bool ok() const { return count_ == 0; }
  // Every finding counted; the first kKept are kept.
  size_t count() const { return count_; }
  std::span<const Finding> kept() const { return std::span<const Finding>(items_, kept_); }

 private:
  Finding items_[kKept];
  size_t kept_ = 0;
  size_t count_ = 0;
};

// One line for a person: "head.magicNumber: is not 0x5F0F3CF5 (value 1234)". Writes at most size
// bytes with the terminator; returns the length the whole line needs.
size_t FormatFinding(const Finding& finding, char* out, size_t size);

}  // namespace tavrfndl::sfnt
