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

// Runs `program` from `folder` under env(1) with `env` (options first, then settings); its
// output lands in out.txt and err.txt of the scratch folder. Bounded: a program that ran on
// unseen would otherwise hold the test until its time-out.
int RunFrom(const std::filesystem::path& folder, const std::string& env, const std::string& program = ProgramPath()) {
  const std::filesystem::path here = std::filesystem::current_path();
  // SDL's start-up without a session bus loses a block inside libdbus.
  const char* source = std::getenv("TAMRAK_SOURCE_DIR");
  const std::string leaks =
      source ? std::string(" LSAN_OPTIONS=print_suppressions=0:suppressions=") + source + "/tests/game/program_lsan.supp"
             : "";
  std::string command = "cd '" + folder.string() + "' && timeout 60 env " + env + leaks + " '" + program + "' > '" +
                        (here / "out.txt").string() + "' 2> '" + (here / "err.txt").string() + "'";
  int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

constexpr const char* kHeadless = "-u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=dummy";

// A copy of the program in `dir` (a second name of the same file where the file system allows).
std::string PlaceProgram(const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir);
  const std::filesystem::path copy = dir / "kestrune";
  std::error_code ec;
  std::filesystem::create_hard_link(ProgramPath(), copy, ec);
  if (ec) std::filesystem::copy_file(ProgramPath(), copy, ec);
  return ec ? std::string() : copy.string();
}

void MakeGameFolderIn(const std::filesystem::path& dir) {
  std::filesystem::create_directories(dir);
  const std::filesystem::path back = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  gametest::MakeGameFolder("first.txt", {{"first.txt", gametest::StageText(3, "FIRST", std::vector<int>(81, 0),
                                                                            "bg.bmp", "x.pttune", "end.txt")}});
  std::filesystem::current_path(back);
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

TEST(ProgramTest, StartedOutsideAGameFolderItPlaysInTheOneBesideIt) {
  if (!std::filesystem::exists(ProgramPath())) GTEST_SKIP() << "kestrune is not built";
  gametest::ScratchDir dir;
  const std::string program = PlaceProgram(dir.path() / "bin");
  ASSERT_FALSE(program.empty());
  MakeGameFolderIn(dir.path() / "bin" / "gamedir");
  std::filesystem::create_directories("empty");
  // Escape on the title; each script is named relative to where the program was started,
  // the engine's own input script as well as the game's.
  WriteWholeFile("script.txt", "10 key 1 1\n");
  for (const char* script : {" KESTRUNE_SCRIPT=../script.txt", " TAMRAK_INPUT_SCRIPT=../script.txt"}) {
    EXPECT_EQ(RunFrom("empty", kHeadless + std::string(script), program), 0) << script << ReadWholeFile("err.txt");
    EXPECT_EQ(ReadWholeFile("err.txt"), "");
    EXPECT_TRUE(std::filesystem::is_empty("empty"));
  }
  EXPECT_EQ(ReadWholeFile("bin/gamedir/setting.dat").size(), 82u);

  // With no game data anywhere it names every folder it looked in, and writes nothing.
  std::filesystem::remove_all("bin/gamedir");
  EXPECT_EQ(RunFrom("empty", kHeadless, program), 1);
  const std::string bin = (dir.path() / "bin").string();
  EXPECT_EQ(ReadWholeFile("err.txt"), "Kestrune: no game data (a \"stages\" or \"common\" folder) in " +
                                          (dir.path() / "empty").string() + ", " + bin + " or " + bin + "/gamedir\n");
  EXPECT_EQ(ReadWholeFile("out.txt"), "");
  EXPECT_TRUE(std::filesystem::is_empty("empty"));
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator("bin"), {}), 1);
}

TEST(ProgramTest, WithoutADisplayItSaysWhatItTriedAndStops) {
  if (!std::filesystem::exists(ProgramPath())) GTEST_SKIP() << "kestrune is not built";
  if (std::filesystem::exists("/tmp/.X11-unix/X77")) GTEST_SKIP() << "display :77 exists here";
  gametest::ScratchDir dir;
  MakeGameFolderIn(".");
  const std::string unset = "-u DISPLAY -u WAYLAND_DISPLAY -u SDL_VIDEODRIVER -u XDG_RUNTIME_DIR SDL_AUDIODRIVER=dummy";
  const struct {
    const char* env;
    const char* line;
  } cases[] = {
      {"", "neither DISPLAY nor WAYLAND_DISPLAY is set"},
      {" DISPLAY=:77", "DISPLAY=:77: no X server at /tmp/.X11-unix/X77"},
      {" WAYLAND_DISPLAY=wayland-77", "WAYLAND_DISPLAY=wayland-77: XDG_RUNTIME_DIR does not name a folder"},
  };
  for (const auto& c : cases) {
    EXPECT_NE(RunFrom(".", unset + c.env), 0) << c.env;
    // One line, and no library's own before it.
    EXPECT_EQ(ReadWholeFile("err.txt"),
              std::string("Tamrak: No display: ") + c.line + "; SDL_VIDEODRIVER=dummy runs without one\n");
    EXPECT_EQ(ReadWholeFile("out.txt"), "");
    EXPECT_FALSE(std::filesystem::exists("setting.dat"));  // nothing was started, nothing saved
  }
}

TEST(ProgramTest, WithoutASoundDeviceItSaysSoOnceAndPlaysSilent) {
  if (!std::filesystem::exists(ProgramPath())) GTEST_SKIP() << "kestrune is not built";
  gametest::ScratchDir dir;
  MakeGameFolderIn(".");
  WriteWholeFile("bgm/x.pttune", "voice a square 0.5 5 60 0.6 40\na: C4:8\n");  // the stage's music
  WriteWholeFile("script.txt", "5 key 57 1\n6 key 57 0\n60 key 1 1\n");
  // No machine has a sound card 77; without ALSA at all SDL fails the driver instead.
  EXPECT_EQ(RunFrom(".", "-u DISPLAY -u WAYLAND_DISPLAY SDL_VIDEODRIVER=dummy SDL_AUDIODRIVER=alsa AUDIODEV=hw:77 "
                         "KESTRUNE_SCRIPT=script.txt"),
            0);
  const std::string err = ReadWholeFile("err.txt");
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_EQ(err.rfind("No sound device (", 0), 0u) << err;
  EXPECT_NE(err.find("): running without sound\n"), std::string::npos) << err;
  EXPECT_EQ(FieldAt(ReadWholeFile("setting.dat"), 58), 3);  // the stage was played
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
