#include "face_match.h"

#include <fontconfig/fontconfig.h>

#include <memory>

namespace fndl {
namespace {

struct PatternFree {
  void operator()(FcPattern* p) const { FcPatternDestroy(p); }
};
using Pattern = std::unique_ptr<FcPattern, PatternFree>;
// A configuration of its own, destroyed after the question: fontconfig's default one lives
// until the process ends.
struct ConfigFree {
  void operator()(FcConfig* c) const { FcConfigDestroy(c); }
};
using Config = std::unique_ptr<FcConfig, ConfigFree>;

const FcChar8* Text(const std::string& s) {
  return reinterpret_cast<const FcChar8*>(s.c_str());
}

// The request as the POSIX font engine makes it for an upright (weight 400) or italic face.
Pattern Request(FcConfig* config, const std::string& family, bool italic) {
  Pattern pattern(FcPatternCreate());
  if (!pattern) return pattern;
  FcPatternAddString(pattern.get(), FC_FAMILY, Text(family));
  FcPatternAddInteger(pattern.get(), FC_WEIGHT, FcWeightFromOpenType(400));
  FcPatternAddInteger(pattern.get(), FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
  FcPatternAddBool(pattern.get(), FC_SCALABLE, FcTrue);
  FcConfigSubstitute(config, pattern.get(), FcMatchPattern);
  FcDefaultSubstitute(pattern.get());
  return pattern;
}

// A copy of the first face in the sorted set that the font engine can use.
FcPattern* FirstSfnt(const FcFontSet& sorted) {
  for (int i = 0; i < sorted.nfont; ++i) {
    FcChar8* format = nullptr;
    if (FcPatternGetString(sorted.fonts[i], FC_FONTFORMAT, 0, &format) != FcResultMatch) continue;
    const std::string name = reinterpret_cast<const char*>(format);
    if (name == "TrueType" || name == "CFF") return FcPatternDuplicate(sorted.fonts[i]);
  }
  return nullptr;
}

// Family names compare as fontconfig compares them: without regard to blanks or ASCII case.
std::string Folded(const char* name) {
  std::string folded;
  for (; *name; ++name) {
    if (*name == ' ') continue;
    folded += static_cast<char>(*name >= 'A' && *name <= 'Z' ? *name - 'A' + 'a' : *name);
  }
  return folded;
}

}  // namespace

FaceMatch MatchFamily(const std::string& family, bool italic) {
  FaceMatch answer;
  Config config(FcInitLoadConfigAndFonts());
  Pattern request = config ? Request(config.get(), family, italic) : nullptr;
  if (!request) return answer;
  // The engine takes the best-ranked face with TrueType or CFF outlines (it passes over Type 1
  // and bitmap faces of the name).
  FcResult result = FcResultNoMatch;
  FcFontSet* sorted = FcFontSort(config.get(), request.get(), FcTrue, nullptr, &result);
  Pattern match(sorted ? FirstSfnt(*sorted) : nullptr);
  if (sorted) FcFontSetDestroy(sorted);
  if (!match) return answer;
  answer.found = true;
  FcChar8* value = nullptr;
  if (FcPatternGetString(match.get(), FC_FILE, 0, &value) == FcResultMatch) {
    answer.file = reinterpret_cast<const char*>(value);
  }
  // A face has its family in several languages and spellings.
  const std::string wanted = Folded(family.c_str());
  for (int i = 0; FcPatternGetString(match.get(), FC_FAMILY, i, &value) == FcResultMatch; ++i) {
    if (i == 0) answer.family = reinterpret_cast<const char*>(value);
    if (Folded(reinterpret_cast<const char*>(value)) == wanted) answer.sameFamily = true;
  }
  return answer;
}

}  // namespace fndl
