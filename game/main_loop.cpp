#include "game/main_loop.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "engine/draw/draw.h"
#include "game/screens/end_roll.h"
#include "game/gfx.h"
#include "game/playfield/stage_scenes.h"
#include "game/play_state.h"
#include "game/resources.h"
#include "game/settings.h"
#include "game/playfield/stage.h"
#include "game/task.h"
#include "game/screens/title_screen.h"

namespace {

int64_t EngineNow() { return GetMicrosecondCount(0); }

const FrameClock kEngineClock = {EngineNow, WaitForFrameDeadline};

enum class FrameResult { kRan, kLeave, kQuit };

struct LoopState {
  const FrameClock* clock = &kEngineClock;
  void (*engineStartHook)() = nullptr;
  GamePhase phase = GamePhase::kNotStarted;
  int64_t prevFrameEnd = 0;
  uint32_t frame = 0;
  bool ending = false;
  int titleLeaveWord = 0;
  TaskRef<Character> title;
};

LoopState loop;

constexpr const char* kStageErrorText = "ステージの読み込みに失敗しました。";
constexpr const char* kEndingErrorText = "エンディングの読み込みに失敗しました。";

void ShowError(const char* text) {
  if (std::vector<std::string>* trace = GetGameTrace()) trace->push_back(std::string("MessageBox ") + text);
  ShowMessageBox(text, "エラー");
}

void WaitFrameTime() {
  loop.clock->waitUntil(loop.prevFrameEnd + kFrameMicroseconds);
  loop.prevFrameEnd = loop.clock->now();
}

// In the 640 x 480 mode the frame is drawn off screen and stretched onto the back buffer.
void Present640() {
  if (ScreenSizeApplied != 3 || OffscreenImage <= 0) return;
  GfxSetDrawTarget(-2);
  GfxDrawStretchGraph(0, 0, 640, 480, OffscreenImage, 0);
  GfxSetDrawTarget(OffscreenImage);
}

void SetGameDrawTarget(int screenSize) {
  if (screenSize == 3) {
    if (OffscreenImage == 0) {
      int made = MakeGraphFromCurrentParams(320, 240, 0);
      if (made > 0) OffscreenImage = made;
    }
    GfxSetDrawTarget(OffscreenImage > 0 ? OffscreenImage : -2);
  } else {
    GfxSetDrawTarget(-2);
  }
  SetDrawArea(0, 0, 320, 240);
}

bool QuitRequested() { return PumpMessages() - IsKeyDown(KeyCode::Escape) != 0; }

void KeepHiScore() {
  if (Settings.difficulty == 0 && Score > Settings.easyHiScore) Settings.easyHiScore = Score;
  if (Settings.difficulty == 1 && Score > Settings.normalHiScore) Settings.normalHiScore = Score;
}

void TakeScreenshot() {
  LocalDateTime t{};
  GetLocalDateTime(&t);
  const std::string name = ScreenshotName(t);
  errno = 0;
  if (GfxSaveDrawScreen(name.c_str()) != 0) ReportUnsaved("the screenshot", name.c_str(), errno != 0 ? errno : EIO);
}

bool StageSetUp() {
  StageRecord& record = MainStageRecord;
  if (std::strcmp(NextStageName, "end.txt") == 0) {
    loop.ending = true;
    if (!ReadEndFile(&record)) {
      ShowError(kEndingErrorText);
      return false;
    }
    CreateTask<EndRollTask>(&record);
  } else {
    if (!ReadStageFile(&record, NextStageName)) {
      ShowError(kStageErrorText);
      return false;
    }
    for (int row = 0; row < kMapRows; ++row) {
      for (int column = 0; column < kMapColumns; ++column) {
        CreateStageObjects(record.cells[row * kMapColumns + column], CellX(column), CellY(row));
      }
    }
    CreateTask<StageReadyTask>(&record);
  }
  loop.phase = GamePhase::kStage;
  return true;
}

// The scene start for request 0 (the first), 1, 2 or 4. False when the program ends.
bool SceneStart(int request) {
  bool title = request == kSceneStay || request == kSceneTitle;
  if (title) {
    CopyName(StageDirectory, "stages/");
    ReadStartFile(&MainStageRecord);
    LoadSceneImages();
  } else if (request == kSceneRetry) {
    CopyName(NextStageName, CurrentStageName);
  }
  TaskPool_Clear();
  DeleteEnemyImages();
  ResetStageState(title, request != kSceneNextStage);
  loop.frame = 0;
  loop.ending = false;
  if (title) {
    loop.titleLeaveWord = 1;
    loop.title.reset(CreateTask<TitleScreenTask>(&loop.titleLeaveWord, &MainStageRecord));
    loop.phase = GamePhase::kMenu;
    if (loop.title) return true;
  }
  // Retry and next stage (and a title that could not be made) go straight to the stage.
  // The request is spent here, or the new stage would leave its loop at once.
  SceneRequest = kSceneStay;
  loop.frame = 0;
  return StageSetUp();
}

FrameResult MenuFrame() {
  if (QuitRequested()) return FrameResult::kQuit;
  Character* title = loop.title.get();
  PollInput();
  if (title != nullptr) title->Update();
  if (IsDrawingFrame(loop.frame)) {
    GfxClearScreen();
    ClearScreenLog();
    if (title != nullptr) title->Draw();
    Present640();
    GfxFlipScreen();
  }
  ++loop.frame;
  if (title == nullptr || title->finished) return FrameResult::kLeave;
  WaitFrameTime();
  return FrameResult::kRan;
}

FrameResult StageFrame() {
  if (QuitRequested()) return FrameResult::kLeave;
  if (SceneRequest != kSceneStay) return FrameResult::kLeave;
  ClearScreenLog();
  PollInput();
  if (IsKeyDown(KeyCode::F2) == 1) SceneRequest = kSceneTitle;
  if (!Paused) {
    TaskPool_RemoveDead();
    TaskPool_CheckCollisions();
    TaskPool_UpdateAll();
  }
  if (ButtonPressed(Settings.padStart)) {
    if (!Paused && Health > 0 && !loop.ending) {
      Paused = 1;
    } else {
      if (IsKeyDown(KeyCode::F12) == 1) TakeScreenshot();
      Paused = 0;
    }
  }
  if (IsDrawingFrame(loop.frame)) {
    GfxClearScreen();
    GfxDrawGraph(0, 0, MainStageRecord.backgroundImage, 1);
    GfxSetDrawBlendMode(1, 128);
    GfxDrawBox(12, 8, 228, 224, 0, 1);
    GfxSetDrawBlendMode(0, 0);
    TaskPool_DrawAll();
    if (!loop.ending) {
      DrawStatusPanel();
      DrawFontText(MainStageRecord.title, 244, 48);
    }
    Present640();
    GfxFlipScreen();
  }
  ++loop.frame;
  WaitFrameTime();
  return FrameResult::kRan;
}

// The end of a stage loop; false when the program ends.
bool EndStageLoop() {
  InputEnabled = 1;
  KeepHiScore();
  Paused = 0;
  int request = SceneRequest;
  switch (request) {
    case kSceneTitle:
      StopBGM();
      break;
    case kSceneRetry:
      StopBGM();
      --Lives;
      break;
    case kSceneNextStage:
      break;
    default:
      return false;
  }
  TaskPool_DeleteAll();
  return SceneStart(request);
}

// Back to the values of a fresh program, so one process can run the game more than once.
void ResetGameGlobals() {
  Settings = SettingRecord{};
  Buttons = 0;
  PrevButtons = 0;
  ResetPlayState();
  ForgetResourceHandles();
  MainStageRecord = StageRecord{};
  TaskPool_Clear();
  loop.phase = GamePhase::kNotStarted;
  loop.frame = 0;
  loop.ending = false;
  loop.title.reset();
}

}  // namespace

void WaitForFrameDeadline(int64_t deadline) {
  const int64_t wake = deadline - kFrameSpinMicroseconds;
  if (GetMicrosecondCount(0) < wake) SleepUntilMicrosecondCount(wake);
  // A sleep may end late by the scheduler's slack; the last stretch is spun to keep the
  // deadline to the microsecond.
  while (GetMicrosecondCount(0) < deadline) {
  }
}

void SetEngineStartHook(void (*hook)()) { loop.engineStartHook = hook; }

void SetFrameClock(const FrameClock* clock) { loop.clock = clock != nullptr ? clock : &kEngineClock; }

bool IsDrawingFrame(uint32_t frame) {
  int skip = Settings.frameSkip;
  if (skip < 1 || skip > 60 || 60 % skip != 0) return true;
  return frame % static_cast<uint32_t>(60 / skip) == 0;
}

std::string ScreenshotName(const LocalDateTime& t) {
  char name[40];
  std::snprintf(name, sizeof name, "%d_%d_%d_%d_%d_%d.bmp", t.Year, t.Month, t.Day, t.Hour, t.Minute, t.Second);
  return name;
}

void ApplyScreenSize(int startUp) {
  struct Mode {
    int width, height, windowFlag;
    double scale;
  };
  static const Mode kModes[4] = {
      {320, 240, 1, 1.0},
      {320, 240, 1, 2.0},
      {320, 240, 0, 1.0},
      {640, 480, 1, 1.0},
  };
  int size = Settings.screenSize >= 0 && Settings.screenSize <= 3 ? Settings.screenSize : 1;
  const Mode& mode = kModes[size];
  SetScreenMode(mode.width, mode.height, 16, 60);
  if (ChangeWindowMode(mode.windowFlag) != 0) ChangeWindowMode(1);
  if (!startUp) {
    SetWindowSizeRate(mode.scale, -1.0);
    SetTransparentColor(0, 255, 0);
    SetGameDrawTarget(size);
  }
  ScreenSizeApplied = size;
}

int GameStartUp() {
  ResetGameGlobals();
  SetLogOutputFlag(0);
  ReadSetting();
  ApplyScreenSize(1);
  if (LibInit() == -1) return -1;
  if (loop.engineStartHook != nullptr) loop.engineStartHook();
  SetWindowSizeRate(ScreenSizeApplied == 1 ? 2.0 : 1.0, -1.0);
  SetTransparentColor(0, 255, 0);
  SetGameDrawTarget(ScreenSizeApplied);
  SetUseGraphTextureDivision(0);
  SetScreenLogFontSize(10);
  SetWindowTitleText("Kestrune");
  MusicReady(BGMSampleRate(Settings.bgmQuality));
  MusicTuneSetVolume(0.75f);
  CurrentTune[0] = '\0';
  SetFontSize(12);
  SetFontThickness(2);
  LoadSoundEffects();
  loop.prevFrameEnd = loop.clock->now();
  ClearStageRecord(&MainStageRecord);
  if (!SceneStart(kSceneStay)) loop.phase = GamePhase::kShutDown;
  return 0;
}

bool GameStepFrame() {
  // A stage loop that is left runs the next scene's first frame in the same step.
  for (int transitions = 0; transitions < 8; ++transitions) {
    switch (loop.phase) {
      case GamePhase::kMenu: {
        FrameResult r = MenuFrame();
        if (r == FrameResult::kQuit) break;
        if (r == FrameResult::kLeave) {
          SceneRequest = kSceneStay;
          loop.frame = 0;
          loop.title.reset();
          if (!StageSetUp()) break;
        }
        return true;
      }
      case GamePhase::kStage:
        if (StageFrame() == FrameResult::kRan) return true;
        if (EndStageLoop()) continue;
        break;
      default:
        return false;
    }
    loop.phase = GamePhase::kShutDown;
    return false;
  }
  return true;
}

void GameShutDown() {
  if (loop.phase == GamePhase::kNotStarted) return;
  KeepHiScore();
  WriteSetting();
  TaskPool_DeleteAll();
  DeleteAllGraphs(0);
  MusicRelease();
  LibEnd();
  // The engine's handles are gone: forget them.
  ForgetResourceHandles();
  MainStageRecord.backgroundImage = 0;
  OffscreenImage = 0;
  loop.title.reset();
  loop.phase = GamePhase::kNotStarted;
}

int WinMain() {
  if (GameStartUp() != 0) return -1;
  while (GameStepFrame()) {
  }
  GameShutDown();
  return 0;
}

GamePhase GetGamePhase() { return loop.phase; }
uint32_t GameFrameCounter() { return loop.frame; }
bool GameEndingActive() { return loop.ending; }
int64_t GameLastFrameEnd() { return loop.prevFrameEnd; }
Character* GameTitleTask() { return loop.phase == GamePhase::kMenu ? loop.title.get() : nullptr; }
