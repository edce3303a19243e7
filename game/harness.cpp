#include "game/harness.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "engine/system/system.h"
#include "game/main_loop.h"
#include "platform/window/test_driver.h"

namespace {

int64_t ManualNow() { return GetMicrosecondCount(0); }

void ManualWaitUntil(int64_t deadline) {
  int64_t now = GetMicrosecondCount(0);
  if (deadline > now) TestDriver_AdvanceClock(deadline - now);
}

const FrameClock kManualClock = {ManualNow, ManualWaitUntil};

// What to do right after the engine started, for the run under way.
struct StartSettings {
  int64_t clockStart = 0;
  bool manualClock = true;
  int seed = 1;
  std::string inputScript;
};
StartSettings startSettings;

void AfterEngineStart() {
  if (startSettings.manualClock) UseManualFrameClock(startSettings.clockStart);
  SetRandSeed(startSettings.seed);
  if (!startSettings.inputScript.empty()) TestDriver_LoadScript(startSettings.inputScript.c_str(), nullptr);
}

}  // namespace

void UseManualFrameClock(int64_t startMicroseconds) {
  TestDriver_SetManualClock(startMicroseconds, 0);
  SetFrameClock(&kManualClock);
}

void UseEngineFrameClock() {
  TestDriver_ReleaseClock();
  SetFrameClock(nullptr);
}

GameHarness::~GameHarness() { Finish(); }

bool GameHarness::Start(int seed) {
  Finish();
  TestDriver_Reset();
  startSettings = StartSettings{};
  startSettings.seed = seed;
  SetEngineStartHook(AfterEngineStart);
  int result = GameStartUp();
  SetEngineStartHook(nullptr);
  if (result != 0) {
    UseEngineFrameClock();
    return false;
  }
  started_ = true;
  running_ = GetGamePhase() != GamePhase::kShutDown;
  steps_ = 0;
  tapKeys_.clear();
  tapPad_ = 0;
  pad_ = 0;
  actions_.clear();
  return true;
}

bool GameHarness::Step() {
  if (!running()) return false;
  for (auto& a : actions_) {
    if (a.first == steps_ && a.second != nullptr) a.second();
  }
  running_ = GameStepFrame();
  ++steps_;
  for (int key : tapKeys_) TestDriver_KeyUp(key);
  tapKeys_.clear();
  if (tapPad_ != 0) {
    tapPad_ = 0;
    TestDriver_SetPad(1, pad_);
  }
  return running_;
}

int GameHarness::StepFrames(int n) {
  int ran = 0;
  while (ran < n && Step()) ++ran;
  return ran;
}

void GameHarness::Finish() {
  if (!started_) return;
  GameShutDown();
  UseEngineFrameClock();
  TestDriver_Reset();
  started_ = false;
  running_ = false;
}

void GameHarness::KeyDown(int keyCode) { TestDriver_KeyDown(keyCode); }
void GameHarness::KeyUp(int keyCode) { TestDriver_KeyUp(keyCode); }

void GameHarness::SetPad(int bits) {
  pad_ = bits;
  TestDriver_SetPad(1, pad_ | tapPad_);
}

void GameHarness::TapKey(int keyCode) {
  TestDriver_KeyDown(keyCode);
  tapKeys_.push_back(keyCode);
}

void GameHarness::TapPad(int bits) {
  tapPad_ |= bits;
  TestDriver_SetPad(1, pad_ | tapPad_);
}

void GameHarness::At(uint32_t step, void (*action)()) { actions_.emplace_back(step, action); }

int64_t GameHarness::Now() const { return GetMicrosecondCount(0); }

void GameHarness::Delay(int64_t microseconds) { TestDriver_AdvanceClock(microseconds); }

bool ScriptedRun::LoadFromEnvironment() {
  const char* path = std::getenv("KESTRUNE_SCRIPT");
  if (path == nullptr || *path == '\0') return false;
  std::ifstream file(path, std::ios::binary);
  std::string error;
  if (!file) {
    error = "cannot read the file";
  } else {
    std::stringstream text;
    text << file.rdbuf();
    Parse(text.str(), &error);
  }
  if (!error.empty()) std::fprintf(stderr, "KESTRUNE_SCRIPT %s: %s\n", path, error.c_str());
  return true;
}

bool ScriptedRun::Parse(const std::string& text, std::string* error) {
  valid_ = false;
  seed_ = 1;
  manualClock_ = true;
  inputScript_.clear();
  std::istringstream lines(text);
  std::string line;
  int number = 0;
  while (std::getline(lines, line)) {
    ++number;
    std::string content = line.substr(0, line.find('#'));
    std::istringstream words(content);
    std::string first, second, extra;
    words >> first >> second >> extra;
    if (first == "seed" || first == "clock") {
      bool ok = !second.empty() && extra.empty();
      if (ok && first == "seed") {
        char* end = nullptr;
        long v = std::strtol(second.c_str(), &end, 0);
        ok = *end == '\0' && v >= INT32_MIN && v <= INT32_MAX;
        if (ok) seed_ = static_cast<int>(v);
      } else if (ok) {
        ok = second == "manual" || second == "real";
        manualClock_ = second == "manual";
      }
      if (!ok) {
        if (error) *error = "bad line " + std::to_string(number);
        return false;
      }
      inputScript_ += "\n";  // keeps the driver's line numbers
    } else {
      inputScript_ += line + "\n";
    }
  }
  // The engine's driver checks the input lines; check them now, before anything starts.
  int badLine = 0;
  if (TestDriver_LoadScript(inputScript_.c_str(), &badLine) != 0) {
    if (error) *error = "bad line " + std::to_string(badLine);
    TestDriver_Reset();
    return false;
  }
  TestDriver_Reset();
  valid_ = true;
  return true;
}

int ScriptedRun::RunWinMain() {
  if (!valid_) return -1;
  startSettings = StartSettings{};
  startSettings.seed = seed_;
  startSettings.manualClock = manualClock_;
  startSettings.inputScript = inputScript_;
  SetEngineStartHook(AfterEngineStart);
  return WinMain();
}
