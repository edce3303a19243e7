#include "game/screens/option_screen.h"

#include "engine/draw/draw.h"
#include "engine/system/system.h"
#include "game/gfx.h"
#include "game/main_loop.h"
#include "game/resources.h"
#include "game/settings.h"

namespace {

const char* const kKeyNameFile = "./common/key.txt";

const char* const kLineTexts[OptionScreenTask::kLineCount] = {
    "GAMEPAD SETTING",        "KEYBOARD SETTING",       "DIFFICULTY............",
    "BGM QUALITY...........", "SOUND EFFECT..........", "SCREEN SIZE...",
    "FRAME SKIP............", "EXIT",
};

// SCREEN SIZE as RIGHT walks it.
constexpr int32_t kScreenSizeOrder[4] = {0, 1, 3, 2};
const char* const kScreenSizeTexts[4] = {".......320*240", ".......640*480", "...FULL SCREEN", "640*480(FIXED)"};
const char* const kBgmQualityTexts[4] = {"...OFF", "...LOW", "MIDDLE", "..HIGH"};

// Menu layout, in screen pixels.
constexpr int kMenuX = 48;
constexpr int kMenuTop = 40;
constexpr int kLineStep = 16;
constexpr int kValueX = 224;
constexpr int kScreenSizeValueX = 160;
constexpr int kCursorX = 28;
constexpr int kCursorTop = 35;
constexpr int kCursorSrcY = 64;  // three 16 x 16 pictures in MiscImage
constexpr int kCloseFadeStep = 15;

// Capture pages.
constexpr int kPromptX = 48;
constexpr int kPromptY = 40;
constexpr int kListX = 120;
constexpr int kListTop = 64;
constexpr int kListValueX = 256;
constexpr int kListShade = 180;  // alpha of the box behind the list
constexpr int kPreviewX = 40;    // the ninja's upper body; legs 24 lower
constexpr int kPreviewY = 80;

struct CaptureLine {
  const char* prompt;
  const char* label;
  int32_t SettingRecord::*value;
};
const CaptureLine kPadLines[OptionScreenTask::kPadSteps] = {
    {"PRESS ATTACK BUTTON", "ATTACK...........", &SettingRecord::padAttack},
    {"PRESS JUMP BUTTON", "JUMP.............", &SettingRecord::padJump},
    {"PRESS DASH BUTTON", "DASH.............", &SettingRecord::padDash},
    {"PRESS SHIELD BUTTON", "SHIELD...........", &SettingRecord::padShield},
    {"PRESS START/PAUSE BUTTON", "START/PAUSE......", &SettingRecord::padStart},
};
const CaptureLine kKeyLines[OptionScreenTask::kKeySteps] = {
    {"PRESS LEFT KEY", "LEFT.............", &SettingRecord::keyLeft},
    {"PRESS RIGHT KEY", "RIGHT............", &SettingRecord::keyRight},
    {"PRESS UP KEY", "UP...............", &SettingRecord::keyUp},
    {"PRESS DOWN KEY", "DOWN.............", &SettingRecord::keyDown},
    {"PRESS ATTACK KEY", "ATTACK...........", &SettingRecord::keyAttack},
    {"PRESS JUMP KEY", "JUMP.............", &SettingRecord::keyJump},
    {"PRESS DASH KEY", "DASH.............", &SettingRecord::keyDash},
    {"PRESS SHIELD KEY", "SHIELD...........", &SettingRecord::keyShield},
    {"PRESS START/PAUSE KEY", "START/PAUSE......", &SettingRecord::keyStart},
};

// Ninja poses of the previews.
enum Pose { kPoseIdle, kPoseAttack, kPoseJump, kPoseDash, kPoseShield, kPoseWalkLeft, kPoseWalkRight };
constexpr Pose kPadPoses[OptionScreenTask::kPadSteps + 1] = {kPoseAttack, kPoseJump, kPoseDash,
                                                             kPoseShield, kPoseIdle, kPoseIdle};
constexpr Pose kKeyPoses[OptionScreenTask::kKeySteps + 1] = {kPoseWalkLeft, kPoseWalkRight, kPoseJump, kPoseIdle,
                                                             kPoseAttack,   kPoseJump,      kPoseDash, kPoseShield,
                                                             kPoseIdle,     kPoseIdle};

bool StartOrAttackPressed() { return ButtonPressed(Settings.padStart) || ButtonPressed(Settings.padAttack); }

// A pad press that capture accepts: a change to exactly one button bit, not a direction.
bool SingleButtonPressed() {
  if (Buttons == PrevButtons || Buttons < 16) return false;
  uint32_t bits = static_cast<uint32_t>(Buttons);
  return (bits & (bits - 1)) == 0;
}

// Any button (not a direction) that was not held last frame.
bool AnyButtonPressed() {
  uint32_t fresh = static_cast<uint32_t>(Buttons) & ~static_cast<uint32_t>(PrevButtons);
  return (fresh & ~uint32_t{15}) != 0;
}

void DrawShadedBox(int x1, int y1, int x2, int y2, int alpha) {
  GfxSetDrawBlendMode(BlendMode::Alpha, alpha);
  GfxDrawBox(x1, y1, x2, y2, GetColor(0, 0, 0), 1);
  GfxSetDrawBlendMode(BlendMode::None, 0);
}

}  // namespace

bool LoadKeyNames(const char* path, KeyNameTable& names) {
  for (auto& name : names) name[0] = '\0';
  int file = FileRead_openDefault(path, 0);
  if (file == 0) return false;
  int line = 0;
  int length = 0;
  for (;;) {
    int c = FileRead_getc(file);
    if (c < 0) break;
    if (c == '\n') {
      if (++line >= kKeyCodeCount) break;
      length = 0;
      continue;
    }
    if (c == '\r' || length >= kKeyNameSize - 1) continue;
    names[line][length++] = static_cast<char>(c);
    names[line][length] = '\0';
  }
  FileRead_close(file);
  return true;
}

int FindPressedKey(const char* keyTable) {
  int found = 0;
  for (int code = 0; code < kKeyCodeCount; ++code) {
    if (keyTable[code] != 1) continue;
    if (found != 0) return -1;
    found = code;
  }
  return found;
}

int PadButtonNumber(int32_t value) {
  if (value < 16) return 0;
  uint32_t rest = static_cast<uint32_t>(value) / 16;
  int number = 1;
  while (rest > 1) {
    rest >>= 1;
    ++number;
  }
  return number;
}

OptionScreenTask::OptionScreenTask() : Character(-1, 0, 0) {
  hitShape = kHitNone;
  image = MiscImage;
  playerImage = PlayerImage;
  LoadKeyNames(kKeyNameFile, keyNames);
}

const char* OptionScreenTask::KeyName(int code) const {
  return code >= 0 && code < kKeyCodeCount ? keyNames[code] : "";
}

void OptionScreenTask::Update() {
  switch (screen) {
    case kMenu:
      UpdateMenu();
      break;
    case kClosing:
      closeFade += kCloseFadeStep;
      if (closeFade >= 255) {
        closeFade = 255;
        finished = 1;
      }
      break;
    case kPadCapture:
    case kKeyCapture:
      // F2 leaves a capture; what it took so far is dropped.
      if (IsKeyDown(KeyCode::F2) == 1) {
        screen = kMenu;
      } else if (screen == kPadCapture) {
        UpdatePadCapture();
      } else {
        UpdateKeyCapture();
      }
      break;
    default:
      break;
  }
  ++counter;
}

void OptionScreenTask::UpdateMenu() {
  if (ButtonPressed(kButtonUp)) {
    cursor = (cursor + kLineCount - 1) % kLineCount;
    PlaySoundEffect(kSeAttack);
  } else if (ButtonPressed(kButtonDown)) {
    cursor = (cursor + 1) % kLineCount;
    PlaySoundEffect(kSeAttack);
  }
  if (cursor >= kLineDifficulty && cursor <= kLineFrameSkip) {
    if (ButtonPressed(kButtonRight)) {
      ChangeValue(1);
    } else if (ButtonPressed(kButtonLeft)) {
      ChangeValue(-1);
    }
  }
  if (StartOrAttackPressed()) Choose();
  srcX = ((counter / 4) % 3) * 16;
}

void OptionScreenTask::ChangeValue(int direction) {
  SettingRecord& s = Settings;
  switch (cursor) {
    case kLineDifficulty:
      s.difficulty = s.difficulty == 0 ? 1 : 0;
      break;
    case kLineBgmQuality: {
      int q = s.bgmQuality <= 3 ? s.bgmQuality : 3;
      s.bgmQuality = static_cast<uint8_t>((q + 4 + direction) % 4);
      break;
    }
    case kLineSoundEffect:
      s.soundEffect = s.soundEffect == 1 ? 0 : 1;
      break;
    case kLineScreenSize: {
      int at = 0;
      for (int i = 0; i < 4; ++i) {
        if (kScreenSizeOrder[i] == s.screenSize) at = i;
      }
      s.screenSize = kScreenSizeOrder[(at + 4 + direction) % 4];
      break;
    }
    case kLineFrameSkip:
      s.frameSkip = s.frameSkip == 60 ? 30 : 60;
      break;
    default:
      return;
  }
  // Played after the change: switching sound effects off is silent, switching on is heard.
  PlaySoundEffect(kSeHitPaddle);
}

void OptionScreenTask::Choose() {
  switch (cursor) {
    case kLineExit:
      ResetBGMQuality();
      PlaySoundEffect(kSeDecision);
      WriteSetting();
      screen = kClosing;
      break;
    case kLineScreenSize:
      PlaySoundEffect(kSeDecision);
      ApplyScreenSize(0);
      // A new screen may drop the images: every sheet is loaded again.
      LoadSceneImages();
      image = MiscImage;
      playerImage = PlayerImage;
      break;
    case kLinePad:
    case kLineKeys:
      PlaySoundEffect(kSeDecision);
      screen = cursor == kLinePad ? kPadCapture : kKeyCapture;
      step = 0;
      released = 0;
      keyNow = 0;
      keyBefore = 0;
      captured = Settings;
      break;
    default:
      break;
  }
}

void OptionScreenTask::UpdatePadCapture() {
  if (Buttons == 0) released = 1;
  if (step >= kPadSteps) {
    if (AnyButtonPressed()) {
      PlaySoundEffect(kSeDecision);
      screen = kMenu;
    }
    return;
  }
  if (!SingleButtonPressed() || (step == 0 && !released)) return;
  for (int i = 0; i < step; ++i) {
    if (captured.*kPadLines[i].value == Buttons) return;
  }
  captured.*kPadLines[step].value = Buttons;
  PlaySoundEffect(kSeHitPaddle);
  if (++step < kPadSteps) return;
  for (const CaptureLine& line : kPadLines) Settings.*line.value = captured.*line.value;
}

void OptionScreenTask::UpdateKeyCapture() {
  GetAllKeyStates(keyTable);
  keyBefore = keyNow;
  keyNow = FindPressedKey(keyTable);
  if (keyNow == 0) released = 1;
  if (keyNow <= 0 || keyNow == keyBefore || IsReservedKey(keyNow)) return;
  if (step >= kKeySteps) {
    PlaySoundEffect(kSeDecision);
    screen = kMenu;
    return;
  }
  if (step == 0 && !released) return;
  for (int i = 0; i < step; ++i) {
    if (captured.*kKeyLines[i].value == keyNow) return;
  }
  captured.*kKeyLines[step].value = keyNow;
  PlaySoundEffect(kSeHitPaddle);
  if (++step < kKeySteps) return;
  for (const CaptureLine& line : kKeyLines) Settings.*line.value = captured.*line.value;
}

void OptionScreenTask::Draw() {
  switch (screen) {
    case kPadCapture:
      DrawPadCapture();
      break;
    case kKeyCapture:
      DrawKeyCapture();
      break;
    default:
      DrawMenu();
      if (screen == kClosing) DrawShadedBox(0, 0, 320, 240, closeFade);
      break;
  }
}

void OptionScreenTask::DrawMenu() {
  const SettingRecord& s = Settings;
  DrawFontText("OPTION MENU", 116, 16);
  for (int i = 0; i < kLineCount; ++i) DrawFontText(kLineTexts[i], kMenuX, kMenuTop + kLineStep * i);
  auto lineY = [](int line) { return kMenuTop + kLineStep * line; };
  DrawFontText(s.difficulty == 0 ? "..EASY" : "NORMAL", kValueX, lineY(kLineDifficulty));
  DrawFontText(kBgmQualityTexts[s.bgmQuality <= 3 ? s.bgmQuality : 3], kValueX, lineY(kLineBgmQuality));
  DrawFontText(s.soundEffect == 0 ? "...OFF" : "....ON", kValueX, lineY(kLineSoundEffect));
  int size = s.screenSize >= 0 && s.screenSize <= 3 ? s.screenSize : 1;
  DrawFontText(kScreenSizeTexts[size], kScreenSizeValueX, lineY(kLineScreenSize));
  DrawFontText(s.frameSkip == 60 ? "...OFF" : "....ON", kValueX, lineY(kLineFrameSkip));
  GfxDrawRectPartGraph(kCursorX, kCursorTop + kLineStep * cursor, srcX, kCursorSrcY, 16, 16, image, 1, 0);
}

void OptionScreenTask::DrawCaptureLine(const char* label, int index, int y) {
  // The line being asked for blinks.
  if (index == step && counter % 4 >= 2) return;
  DrawFontText(label, kListX, y);
}

void OptionScreenTask::DrawPadCapture() {
  DrawFontText("GAMEPAD SETTING", 100, 16);
  DrawFontText(step < kPadSteps ? kPadLines[step].prompt : "PRESS ANY BUTTON TO FINISH", kPromptX, kPromptY);
  DrawShadedBox(kListX - 8, kListTop - 8, 288, kListTop + kLineStep * kPadSteps, kListShade);
  for (int i = 0; i < kPadSteps; ++i) {
    int y = kListTop + kLineStep * i;
    DrawCaptureLine(kPadLines[i].label, i, y);
    DrawNumber(PadButtonNumber(captured.*kPadLines[i].value), 2, kListValueX, y);
  }
  DrawPosePreview(kPadPoses[step >= 0 && step <= kPadSteps ? step : kPadSteps]);
}

void OptionScreenTask::DrawKeyCapture() {
  DrawFontText("KEYBOARD SETTING", 96, 16);
  DrawFontText(step < kKeySteps ? kKeyLines[step].prompt : "PRESS ANY KEY TO FINISH", kPromptX, kPromptY);
  DrawShadedBox(kListX - 8, kListTop - 8, 320, kListTop + kLineStep * kKeySteps, kListShade);
  for (int i = 0; i < kKeySteps; ++i) {
    int y = kListTop + kLineStep * i;
    DrawCaptureLine(kKeyLines[i].label, i, y);
    DrawFontText(KeyName(captured.*kKeyLines[i].value), kListValueX, y);
  }
  DrawPosePreview(kKeyPoses[step >= 0 && step <= kKeySteps ? step : kKeySteps]);
}

void OptionScreenTask::DrawPosePreview(int pose) {
  // Sources in the player sheet: upper bodies at y 0, legs at y 32, 32 x 32 each.
  int upper = 0, legs = 0, lift = 0, turn = 0;
  switch (pose) {
    case kPoseAttack:
      upper = 64;
      break;
    case kPoseJump:
      legs = 128;
      lift = 10;
      break;
    case kPoseDash:
      upper = 128;
      legs = 160;
      break;
    case kPoseShield:
      upper = 160;
      break;
    case kPoseWalkLeft:
    case kPoseWalkRight: {
      int k = (counter / 6) % 6;
      legs = k <= 3 ? 32 * k : 192 - 32 * k;
      turn = pose == kPoseWalkLeft ? 1 : 0;
      break;
    }
    default:
      break;
  }
  int x = kPreviewX, y = kPreviewY - lift;
  GfxDrawRectPartGraph(x, y + 24, legs, 32, 32, 32, playerImage, 1, turn);
  GfxDrawRectPartGraph(x, y, upper, 0, 32, 32, playerImage, 1, turn);
  if (pose == kPoseAttack) GfxDrawRectPartGraph(x + 8, y + 2, 48, 64, 48, 18, playerImage, 1, 0);
  if (pose == kPoseShield) {
    // The shield's rings round the body: 15 circles, brighter outward.
    int cx = x + 16, cy = y + 22;
    for (int i = 0; i < 15; ++i) {
      GfxSetDrawBlendMode(BlendMode::Add, 12 * i);
      DrawCircle(cx, cy, 18 + i, GetColor(0, 136, 255), 0);
    }
    GfxSetDrawBlendMode(BlendMode::None, 0);
  }
}
