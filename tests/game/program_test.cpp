// The real program, run from outside under the dummy drivers with a scripted player.
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "game/harness.h"
#include "game_test_util.h"

namespace {

using gametest::ReadWholeFile;
using gametest::WriteWholeFile;

// The program beside the build's tests folder, unless TAMRAK_BINARY_DIR names the build.
std::string ProgramPath() {
  const char* dir = std::getenv("TAMRAK_BINARY_DIR");
  if (dir != nullptr && *dir != '\0') return std::string(dir) + "/kestrune";
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  return ec ? std::string() : (self.parent_path().parent_path() / "kestrune").string();
}

// Runs the program in the working folder with KESTRUNE_SCRIPT set; its exit status.
int RunProgram(const std::string& script) {
  WriteWholeFile("script.txt", script);
  std::string command = "KESTRUNE_SCRIPT=script.txt SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy '" + ProgramPath() +
                        "' > out.txt 2>&1";
  int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int32_t FieldAt(const std::string& file, size_t offset) {
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<uint8_t>(file[offset + i])) << (8 * i);
  return static_cast<int32_t>(v);
}

TEST(ProgramTest, ScriptedRunPlaysAStageAndQuitsOnEscape) {
  if (!std::filesystem::exists(ProgramPath())) GTEST_SKIP() << "kestrune is not built: " << ProgramPath();
  gametest::ScratchDir dir;
  std::vector<int> cells(81, 0);
  cells[40] = 1;
  gametest::MakeGameFolder("first.txt", {{"first.txt", gametest::StageText(3, "FIRST", cells, "bg.bmp", "x.pttune",
                                                                            "end.txt")}});
  // START on the title at frame 5, a few stage frames, then Escape.
  int status = RunProgram(
      "seed 7\n"
      "clock manual\n"
      "5 key 57 1\n"
      "6 key 57 0\n"
      "60 key 1 1\n");
  EXPECT_EQ(status, 0) << ReadWholeFile("out.txt");
  std::string settings = ReadWholeFile("setting.dat");
  ASSERT_EQ(settings.size(), 82u);
  EXPECT_EQ(FieldAt(settings, 58), 3);  // the stage was begun: it is the highest reached
  EXPECT_EQ(static_cast<uint8_t>(settings[0]), 3);
  EXPECT_EQ(FieldAt(settings, 6), 60);
}

TEST(ProgramTest, WithoutADisplayItSaysSoAndStops) {
  if (!std::filesystem::exists(ProgramPath())) GTEST_SKIP() << "kestrune is not built";
  gametest::ScratchDir dir;
  gametest::MakeGameFolder("first.txt", {{"first.txt", gametest::StageText(3, "FIRST", std::vector<int>(81, 0), "bg.bmp",
                                                                            "x.pttune", "end.txt")}});
  // Bounded: a program that ran on unseen would otherwise hold the test until its time-out.
  std::string command = "timeout 60 env -u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER SDL_AUDIODRIVER=dummy '" +
                        ProgramPath() +
                        "' > out.txt 2> err.txt";
  int status = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_NE(WEXITSTATUS(status), 0);
  std::string err = ReadWholeFile("err.txt");
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_NE(err.find("No display"), std::string::npos) << err;
  EXPECT_EQ(ReadWholeFile("out.txt"), "");
  EXPECT_FALSE(std::filesystem::exists("setting.dat"));  // nothing was started, nothing saved
}

TEST(ProgramTest, ScriptsAreCheckedBeforeTheRun) {
  ScriptedRun run;
  std::string error;
  EXPECT_TRUE(run.Parse("seed 0x10\nclock real\n# comment\n3 key 1 1\n", &error)) << error;
  EXPECT_EQ(run.seed(), 16);
  EXPECT_FALSE(run.manualClock());
  EXPECT_FALSE(run.Parse("seed\n", &error));
  EXPECT_EQ(error, "bad line 1");
  EXPECT_FALSE(run.Parse("1 key 1 1\nclock fast\n", &error));
  EXPECT_EQ(error, "bad line 2");
  EXPECT_FALSE(run.Parse("1 key 1 1\nfly 3\n", &error));
  EXPECT_EQ(error, "bad line 2");
  EXPECT_EQ(run.RunWinMain(), -1);

  if (!std::filesystem::exists(ProgramPath())) GTEST_SKIP() << "kestrune is not built";
  gametest::ScratchDir dir;
  EXPECT_NE(RunProgram("jump 3\n"), 0);
  EXPECT_FALSE(std::filesystem::exists("setting.dat"));
}

}  // namespace
