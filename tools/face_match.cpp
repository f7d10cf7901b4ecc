#include "face_match.h"

#include "platform/posix/face_query.h"

namespace fndl {
namespace {

// Family names compare as fontconfig compares them: without regard to blanks or ASCII case.
std::string Folded(const char* name) {
  std::string folded;
  for (; *name; ++name) {
    if (*name == ' ') continue;
    folded += static_cast<char>(*name >= 'A' && *name <= 'Z' ? *name - 'A' + 'a' : *name);
  }
  return folded;
}

// The weight of the upright and the italic face the print command asks for.
constexpr int32_t kRegular = 400;

}  // namespace

FaceMatch MatchFamily(const std::string& family, bool italic) {
  FaceMatch answer;
  tavrfndl::platform::posix::SfntFaces faces(family.c_str(), kRegular, italic);
  if (!faces.Next()) return answer;
  answer.found = true;
  answer.file = faces.File();
  const std::string wanted = Folded(family.c_str());
  for (int i = 0; const char* name = faces.Family(i); ++i) {
    if (i == 0) answer.family = name;
    if (Folded(name) == wanted) answer.sameFamily = true;
  }
  return answer;
}

}  // namespace fndl
