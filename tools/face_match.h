// Which face the font engine will use for a family name. The POSIX font engine asks fontconfig
// for the best scalable TrueType or CFF face of the family, weight and slant; fontconfig always
// answers, with another family when the requested one has no such face. The tool asks the
// engine's own question (on the configuration the library then uses too) to say so before the
// job is written.
#pragma once

#include <string>

namespace fndl {

struct FaceMatch {
  bool found = false;       // fontconfig answered at all
  bool sameFamily = false;  // the answer is a face of the requested family
  std::string family;       // the answer's (first) family name
  std::string file;         // and its file
};

FaceMatch MatchFamily(const std::string& family, bool italic);

}  // namespace fndl
