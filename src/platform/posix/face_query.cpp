#include "platform/posix/face_query.h"

#include <fontconfig/fontconfig.h>

#include <cstring>

namespace tavrfndl::platform::posix {
namespace {

FcPattern* Request(FcConfig* config, const char* family, int32_t weight, bool italic) {
  FcPattern* pattern = FcPatternCreate();
  if (pattern == nullptr) return nullptr;
  if (*family != '\0') {
    FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
  }
  FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightFromOpenType(weight));
  FcPatternAddInteger(pattern, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
  FcConfigSubstitute(config, pattern, FcMatchPattern);
  FcDefaultSubstitute(pattern);
  return pattern;
}

// A Type 1 or bitmap face of the name is passed over for the next in fontconfig's order, which is
// the family's sfnt face when it has one; fontconfig's format element would rank the format
// above the family instead.
bool IsSfnt(const FcPattern* face) {
  FcChar8* format = nullptr;
  if (FcPatternGetString(face, FC_FONTFORMAT, 0, &format) != FcResultMatch) return false;
  const char* name = reinterpret_cast<const char*>(format);
  return std::strcmp(name, "TrueType") == 0 || std::strcmp(name, "CFF") == 0;
}

}  // namespace

SfntFaces::SfntFaces(const char* familyUtf8, int32_t weight, bool italic) noexcept {
  // The process's configuration: loaded by the first caller in the process, held while the
  // answer is read.
  config_ = FcConfigReference(nullptr);
  if (config_ == nullptr) return;
  FcPattern* request = Request(config_, familyUtf8, weight, italic);
  if (request == nullptr) return;
  FcResult result = FcResultNoMatch;
  sorted_ = FcFontSort(config_, request, FcTrue, nullptr, &result);
  FcPatternDestroy(request);
}

SfntFaces::~SfntFaces() {
  if (sorted_ != nullptr) FcFontSetDestroy(sorted_);
  // Lets go of this reference only: the configuration stays fontconfig's, for the next question.
  if (config_ != nullptr) FcConfigDestroy(config_);
}

bool SfntFaces::Next() noexcept {
  if (sorted_ == nullptr) return false;
  while (++current_ < sorted_->nfont) {
    const FcPattern* face = sorted_->fonts[current_];
    FcChar8* file = nullptr;
    if (!IsSfnt(face) || FcPatternGetString(face, FC_FILE, 0, &file) != FcResultMatch) continue;
    int index = 0;
    if (FcPatternGetInteger(face, FC_INDEX, 0, &index) != FcResultMatch || index < 0) index = 0;
    file_ = reinterpret_cast<const char*>(file);
    index_ = static_cast<uint32_t>(index);
    return true;
  }
  current_ = sorted_->nfont;
  return false;
}

const char* SfntFaces::Family(int i) const noexcept {
  if (sorted_ == nullptr || current_ < 0 || current_ >= sorted_->nfont) return nullptr;
  FcChar8* name = nullptr;
  if (FcPatternGetString(sorted_->fonts[current_], FC_FAMILY, i, &name) != FcResultMatch) {
    return nullptr;
  }
  return reinterpret_cast<const char*>(name);
}

void RescanInstalledFaces() noexcept {
  FcInitBringUptoDate();
}

}  // namespace tavrfndl::platform::posix
