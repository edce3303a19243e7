// The real program, run from outside under the dummy drivers with a scripted player.
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <initializer_list>
#include <string>
#include <utility>

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
int RunFrom(const std::filesystem::path& folder, const std::string& env, const std::string& program = ProgramPath(),
            const std::string& launcher = "") {
  const std::filesystem::path here = std::filesystem::current_path();
  // SDL's start-up without a session bus loses a block inside libdbus.
  const char* source = std::getenv("TAMRAK_SOURCE_DIR");
  const std::string leaks =
      source ? std::string(" LSAN_OPTIONS=print_suppressions=0:fast_unwind_on_malloc=0:suppressions=") + source +
                   "/tests/game/program_lsan.supp"
             : "";
  std::string command = "cd '" + folder.string() + "' && " + launcher + "timeout 60 env " + env + leaks + " '" + program + "' > '" +
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

// A game folder in `dir` with stage 3 first.
void MakeGameFolderIn(const std::filesystem::path& dir, const std::vector<int>& cells = std::vector<int>(81, 0)) {
  std::filesystem::create_directories(dir);
  const std::filesystem::path back = std::filesystem::current_path();
  std::filesystem::current_path(dir);
  gametest::MakeGameFolder("first.txt",
                           {{"first.txt", gametest::StageText(3, "FIRST", cells, "bg.bmp", "x.pttune", "end.txt")}});
  std::filesystem::current_path(back);
}

int32_t FieldAt(const std::string& file, size_t offset) {
  if (file.size() < offset + 4) return -1;
  uint32_t v = 0;
  for (size_t i = 0; i < 4; ++i) v |= static_cast<uint32_t>(static_cast<uint8_t>(file[offset + i])) << (8 * i);
  return static_cast<int32_t>(v);
}

TEST(ProgramTest, ScriptedRunPlaysAStageAndQuitsOnEscape) {
  if (!std::filesystem::exists(ProgramPath())) GTEST_SKIP() << "kestrune is not built: " << ProgramPath();
  gametest::ScratchDir dir;
  std::vector<int> cells(81, 0);
  cells[40] = 1;
  MakeGameFolderIn(".", cells);
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
  // Folders of the right names are not game data: an empty "stages", a "common" of key names.
  std::filesystem::create_directories("other/stages");
  WriteWholeFile("other/common/key.txt", "ESC\n");
  auto untouched = [] {
    size_t entries = 0;
    for (auto it = std::filesystem::recursive_directory_iterator("other"); it != decltype(it)(); ++it) ++entries;
    return entries == 3 && ReadWholeFile("other/common/key.txt") == "ESC\n";
  };
  // Escape on the title; each script is named relative to where the program was started,
  // the engine's own input script as well as the game's.
  WriteWholeFile("script.txt", "10 key 1 1\n");
  for (const char* script : {" KESTRUNE_SCRIPT=../script.txt", " TAMRAK_INPUT_SCRIPT=../script.txt"}) {
    EXPECT_EQ(RunFrom("other", kHeadless + std::string(script), program), 0) << script << ReadWholeFile("err.txt");
    EXPECT_EQ(ReadWholeFile("err.txt"), "");
    EXPECT_TRUE(untouched());
  }
  EXPECT_EQ(ReadWholeFile("bin/gamedir/setting.dat").size(), 82u);

  // Nor is a start file whose title image is missing. With no game data anywhere it names
  // every folder it looked in, and writes nothing.
  std::filesystem::remove("bin/gamedir/stages/title.bmp");
  EXPECT_EQ(RunFrom("other", kHeadless, program), 1);
  const std::string bin = (dir.path() / "bin").string();
  EXPECT_EQ(ReadWholeFile("err.txt"), "Kestrune: no game data (\"stages/start.txt\" and the title image it names) in " +
                                          (dir.path() / "other").string() + ", " + bin + " or " + bin + "/gamedir\n");
  EXPECT_EQ(ReadWholeFile("out.txt"), "");
  EXPECT_TRUE(untouched());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator("bin"), {}), 2);
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
              std::string("Tamrak: No display: ") + c.line + "\n");
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
  // One line that names the device (or, without ALSA, the driver) that failed.
  const std::string err = ReadWholeFile("err.txt");
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_TRUE(err.rfind("Tamrak: No sound device: alsa could not open \"hw:77\" (", 0) == 0 ||
              err.rfind("Tamrak: No sound device: the sound driver \"alsa\" did not start (", 0) == 0)
      << err;
  EXPECT_NE(err.find("); running without sound\n"), std::string::npos) << err;
  EXPECT_EQ(FieldAt(ReadWholeFile("setting.dat"), 58), 3);  // the stage was played
}

// Engine key codes the scripts below press.
enum : int { kEsc = 1, kQ = 0x10, kW, kE, kR, kT, kY, kU, kI, kO, kP, kA = 0x1E, kG = 0x22, kH, kJ, kK, kL };
enum : int { kZ = 0x2C, kX, kC, kSpace = 0x39, kF2 = 0x3C, kF12 = 0x58 };

// A settings file with a key set of its own, in the order LEFT, RIGHT, UP, DOWN, ATTACK, JUMP,
// DASH, SHIELD, START/PAUSE; every other field away from its default.
std::string SettingsWithKeys(const int (&keys)[9]) {
  int32_t fields[20] = {1, 60, 16, 32, 512, 64, 0, 0, 0, 0, 0, 0, 0, 0, 4, 1200, 256, 0, 1, 300};
  const int keyField[9] = {6, 7, 8, 9, 10, 11, 12, 17, 13};  // SHIELD's key sits after the hi-score
  for (int i = 0; i < 9; ++i) fields[keyField[i]] = keys[i];
  std::string file = {3, 1};  // BGM QUALITY, SOUND EFFECT
  for (int32_t v : fields)
    for (int b = 0; b < 4; ++b) file += static_cast<char>((static_cast<uint32_t>(v) >> (8 * b)) & 0xFF);
  return file;
}

// Taps each key for one frame, two frames apart, from `frame` on; the next free frame.
int Taps(std::string* script, int frame, std::initializer_list<int> keys) {
  for (int key : keys) {
    *script += std::to_string(frame) + " key " + std::to_string(key) + " 1\n" + std::to_string(frame + 1) + " key " +
               std::to_string(key) + " 0\n";
    frame += 3;
  }
  return frame;
}

TEST(ProgramTest, KeyCaptureChangesTheKeysOnlyWhenItIsComplete) {
  if (!std::filesystem::exists(ProgramPath())) GTEST_SKIP() << "kestrune is not built";
  gametest::ScratchDir dir;
  MakeGameFolderIn(".");
  const int before[9] = {kJ, kL, kI, kK, kZ, kX, kC, kA, kSpace};
  const std::string saved = SettingsWithKeys(before);
  // OPTIONS (LEFT from GAME START, then START), after its fade KEYBOARD SETTING (DOWN, START);
  // the new LEFT and RIGHT are taken.
  std::string opened;
  Taps(&opened, 5, {kJ, kSpace});
  const int capturing = Taps(&opened, 80, {kK, kSpace, kW, kE});
  const struct {
    const char* how;
    std::initializer_list<int> keys;
  } left[] = {{"F2 leaves, Q, Escape", {kF2, kQ}}, {"Escape", {}}};
  for (const auto& c : left) {
    WriteWholeFile("setting.dat", saved);
    std::string script = opened;
    const int end = Taps(&script, capturing, c.keys);
    WriteWholeFile("script.txt", script + std::to_string(end) + " key 1 1\n");
    EXPECT_EQ(RunFrom(".", kHeadless + std::string(" KESTRUNE_SCRIPT=script.txt")), 0) << c.how;
    EXPECT_EQ(ReadWholeFile("setting.dat"), saved) << c.how;
  }

  // Complete: F12 is no action's key (Escape quits before a capture sees it); then the nine
  // keys, one to finish, and Escape.
  WriteWholeFile("setting.dat", saved);
  std::string script = opened;
  const int end = Taps(&script, capturing, {kF12, kR, kT, kY, kU, kO, kP, kG, kH});
  WriteWholeFile("script.txt", script + std::to_string(end) + " key 1 1\n");
  EXPECT_EQ(RunFrom(".", kHeadless + std::string(" KESTRUNE_SCRIPT=script.txt")), 0) << ReadWholeFile("err.txt");
  const int after[9] = {kW, kE, kR, kT, kY, kU, kO, kP, kG};
  EXPECT_EQ(ReadWholeFile("setting.dat"), SettingsWithKeys(after));
}

// A game folder that cannot be written: read-only for the program alone (a mount namespace of
// its own, so it holds for root as well).
TEST(ProgramTest, ASaveThatFailsSaysWhichFileAndWhy) {
  if (!std::filesystem::exists(ProgramPath())) GTEST_SKIP() << "kestrune is not built";
  if (std::system("unshare -rm true > /dev/null 2>&1") != 0) GTEST_SKIP() << "no mount namespace here";
  gametest::ScratchDir dir;
  std::vector<int> cells(81, 0);
  cells[40] = 1;  // a block: the stage goes on
  MakeGameFolderIn("game", cells);
  WriteWholeFile("game/bgm/x.pttune", "voice a square 0.5 5 60 0.6 40\na: C4:8\n");
  const int keys[9] = {203, 205, 200, 208, 44, 45, 46, 30, 57};
  const std::string saved = SettingsWithKeys(keys);
  WriteWholeFile("game/setting.dat", saved);
  // GAME START, then in the stage pause, and leave the pause with F12 held: a screenshot.
  std::string script;
  Taps(&script, 5, {kSpace});
  script += "200 key 57 1\n201 key 57 0\n210 key 88 1\n212 key 57 1\n213 key 57 0\n215 key 88 0\n220 key 1 1\n";
  WriteWholeFile("script.txt", script);
  const std::string readOnly =
      "unshare -rm sh -c 'mount --bind \"$PWD\" \"$PWD\" && mount -o remount,bind,ro \"$PWD\" && cd \"$PWD\" && "
      "exec \"$@\"' sh ";
  EXPECT_EQ(RunFrom("game", kHeadless + std::string(" KESTRUNE_SCRIPT=../script.txt"), ProgramPath(), readOnly), 0);
  // The screenshot's line, its name the time of day ("%d_%d_%d_%d_%d_%d.bmp"), then the settings' line.
  const std::string folder = (dir.path() / "game").string();
  const std::string err = ReadWholeFile("err.txt");
  const std::string head = "Kestrune: could not save the screenshot in " + folder + "/";
  const std::string tail = ".bmp: Read-only file system\nKestrune: could not save the settings and hi-scores in " +
                           folder + "/setting.dat: Read-only file system\n";
  const bool framed = err.size() > head.size() + tail.size() && err.compare(0, head.size(), head) == 0 &&
                      err.compare(err.size() - tail.size(), tail.size(), tail) == 0;
  const std::string name = framed ? err.substr(head.size(), err.size() - head.size() - tail.size()) : "";
  EXPECT_TRUE(framed && name.find_first_not_of("0123456789_") == std::string::npos &&
              std::count(name.begin(), name.end(), '_') == 5)
      << err;
  EXPECT_EQ(ReadWholeFile("game/setting.dat"), saved);
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
