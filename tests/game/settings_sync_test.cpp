// "setting.dat" reaches the disk before it replaces the old file: the calls that order it are
// watched by wrapping them in this program.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "game/settings.h"
#include "game_test_util.h"

namespace {

bool watching = false;
std::vector<std::string> calls;

std::string PathOf(int fd) {
  char link[PATH_MAX];
  const ssize_t n = readlink(("/proc/self/fd/" + std::to_string(fd)).c_str(), link, sizeof link - 1);
  return n > 0 ? std::string(link, static_cast<size_t>(n)) : "?";
}

std::string Leaf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

}  // namespace

extern "C" int fsync(int fd) {
  static auto real = reinterpret_cast<int (*)(int)>(dlsym(RTLD_NEXT, "fsync"));
  if (watching) calls.push_back("fsync " + PathOf(fd));
  return real(fd);
}

extern "C" int rename(const char* from, const char* to) {
  static auto real = reinterpret_cast<int (*)(const char*, const char*)>(dlsym(RTLD_NEXT, "rename"));
  if (watching) calls.push_back(std::string("rename ") + from + " " + to);
  return real(from, to);
}

TEST(SettingsSync, TheFileThenTheRenameThenTheFolder) {
  gametest::ScratchDir dir;
  const std::string folder = std::filesystem::current_path().string();
  calls.clear();
  watching = true;
  const bool written = WriteSetting();
  watching = false;
  ASSERT_TRUE(written);
  ASSERT_EQ(calls.size(), 3u) << ::testing::PrintToString(calls);
  EXPECT_EQ(Leaf(calls[0]), "setting.dat.tmp");  // its bytes first
  EXPECT_EQ(calls[0].rfind("fsync ", 0), 0u);
  EXPECT_EQ(calls[1], "rename setting.dat.tmp setting.dat");
  EXPECT_EQ(calls[2], "fsync " + folder);  // then the folder entry the rename changed
}
