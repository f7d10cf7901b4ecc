#include <dirent.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <string>
#include <utility>

#include "platform/platform.h"

namespace tavrfndl::platform {
namespace {

// Whether the process has the file mapped (deleted files keep their name with a suffix).
bool IsMapped(const std::string& path) {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line)) {
    if (line.find(path) != std::string::npos) return true;
  }
  return false;
}

int OpenDescriptors() {
  int count = 0;
  DIR* dir = opendir("/proc/self/fd");
  if (dir == nullptr) return -1;
  while (readdir(dir) != nullptr) ++count;
  closedir(dir);
  return count;
}

class MappedFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tavrfndl-map-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::string command = "rm -rf '" + dir_ + "'";
    EXPECT_EQ(system(command.c_str()), 0);
  }
  std::string Write(const char* name, const std::string& content) {
    std::string path = dir_ + "/" + name;
    std::ofstream(path, std::ios::binary) << content;
    return path;
  }
  static std::string Text(const MappedFile& file) {
    return std::string(reinterpret_cast<const char*>(file.data()), file.size());
  }
  std::string dir_;
};

TEST_F(MappedFileTest, MapsTheWholeFileAndHoldsNoDescriptor) {
  std::string content(100000, '\0');
  for (size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  std::string path = Write("data.bin", content);
  int before = OpenDescriptors();
  auto file = MapFileReadOnly(path.c_str());
  ASSERT_TRUE(file);
  EXPECT_EQ(OpenDescriptors(), before);
  EXPECT_EQ(Text(*file), content);
  // The mapping outlives the file's name.
  ASSERT_EQ(unlink(path.c_str()), 0);
  EXPECT_EQ(Text(*file), content);
}

TEST_F(MappedFileTest, NothingToMapFails) {
  int before = OpenDescriptors();
  EXPECT_FALSE(MapFileReadOnly(Write("empty", "").c_str()));
  EXPECT_FALSE(MapFileReadOnly(dir_.c_str())) << "a directory";
  EXPECT_FALSE(MapFileReadOnly((dir_ + "/missing").c_str()));
  EXPECT_FALSE(MapFileReadOnly(""));
  EXPECT_FALSE(MapFileReadOnly(nullptr));
  std::string unreadable = Write("unreadable", "x");
  chmod(unreadable.c_str(), 0);
  if (geteuid() != 0) {
    EXPECT_FALSE(MapFileReadOnly(unreadable.c_str())) << "unreadable";
  }
  // A FIFO without a writer must fail at once, not wait for one.
  std::string fifo = dir_ + "/fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(MapFileReadOnly(fifo.c_str()));
  EXPECT_EQ(OpenDescriptors(), before) << "failures leave no descriptor open";
}

TEST_F(MappedFileTest, MovesTransferTheMappingAndReleaseUnmaps) {
  std::string pathA = Write("alpha-file", "alpha");
  std::string pathB = Write("beta-file", "beta");
  {
    auto a = MapFileReadOnly(pathA.c_str());
    auto b = MapFileReadOnly(pathB.c_str());
    ASSERT_TRUE(a && b);
    EXPECT_TRUE(IsMapped(pathA));
    MappedFile moved(std::move(*a));
    EXPECT_EQ(a->data(), nullptr);
    EXPECT_EQ(a->size(), 0u);
    EXPECT_EQ(Text(moved), "alpha");
    // Assigning over a mapping unmaps it and takes the other.
    moved = std::move(*b);
    EXPECT_EQ(Text(moved), "beta");
    EXPECT_EQ(b->data(), nullptr);
    EXPECT_FALSE(IsMapped(pathA));
    MappedFile& self = moved;
    moved = std::move(self);
    EXPECT_EQ(Text(moved), "beta") << "self-assignment keeps the mapping";
    EXPECT_TRUE(IsMapped(pathB));
  }
  EXPECT_FALSE(IsMapped(pathB)) << "destruction unmaps";
}

}  // namespace
}  // namespace tavrfndl::platform
