// Bitmap text, the status panel and the music protocol, read from the game's call trace.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/draw/draw.h"
#include "engine/system/system.h"
#include "game/gfx.h"
#include "game/play_state.h"
#include "game/resources.h"
#include "game/settings.h"
#include "game/task.h"
#include "game_test_util.h"
#include "platform/window/test_driver.h"

namespace {

using Lines = std::vector<std::string>;

std::string Glyph(int x, int y, char c) {
  int cell = c - 0x21;
  return "DrawRectPartGraph " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(cell % 8 * 8) +
         " " + std::to_string(cell / 8 * 8) + " 8 8 img=" + std::to_string(FontImage) + " t=1 turn=0";
}

std::string Status(int x, int y, int sx, int sy, int w, int h) {
  return "DrawRectPartGraph " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(sx) + " " +
         std::to_string(sy) + " " + std::to_string(w) + " " + std::to_string(h) +
         " img=" + std::to_string(StatusImage) + " t=1 turn=0";
}

class ResourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(LibInit(), 0);
    TestDriver_Reset();
    ResetPlayState();
    Settings = SettingRecord{};
    FontImage = 7;  // handle numbers only appear in the trace
    StatusImage = 9;
    SetGameTrace(&trace);
  }
  void TearDown() override {
    SetGameTrace(nullptr);
    ForgetResourceHandles();
    TestDriver_Reset();
    LibEnd();
  }
  Lines Take() {
    Lines out;
    out.swap(trace);
    return out;
  }
  gametest::ScratchDir dir;
  Lines trace;
};

TEST_F(ResourcesTest, FontTextDrawsCellsOfTheSheetAndAdvancesEightPerCharacter) {
  DrawFontText("A!`", 10, 20);
  EXPECT_EQ(Take(), (Lines{Glyph(10, 20, 'A'), Glyph(18, 20, '!'), Glyph(26, 20, '`')}));
  // Glyph cells: "A" is cell 32: column 0, row 4 of the sheet.
  DrawFontText("A", 0, 0);
  EXPECT_EQ(Take()[0], "DrawRectPartGraph 0 0 0 32 8 8 img=7 t=1 turn=0");
  // Lower case and blanks are not drawn but take their room.
  DrawFontText("abc Z", 0, 0);
  EXPECT_EQ(Take(), (Lines{Glyph(32, 0, 'Z')}));
}

TEST_F(ResourcesTest, NumbersHaveExactlyTheirDigits) {
  DrawNumber(42, 4, 100, 50);
  EXPECT_EQ(Take(), (Lines{Glyph(100, 50, '0'), Glyph(108, 50, '0'), Glyph(116, 50, '4'), Glyph(124, 50, '2')}));
  // Too many for one digit: the first character runs past "9" (12 -> "<").
  DrawNumber(123, 2, 0, 0);
  EXPECT_EQ(Take(), (Lines{Glyph(0, 0, '<'), Glyph(8, 0, '3')}));
  // Extremes stay defined.
  DrawNumber(2147483647, 1, 0, 0);
  EXPECT_TRUE(Take().empty());
  DrawNumber(0, 0, 0, 0);
  EXPECT_TRUE(Take().empty());
}

TEST_F(ResourcesTest, StatusPanelDrawsThePlayState) {
  Lives = 2;
  Health = 3;
  PowerGauge = 12;
  EnemyBlockCount = 13;
  Score = 1234;
  DrawStatusPanel();
  Lines lines = Take();
  Lines expected = {Status(240, 0, 0, 0, 80, 240), Glyph(272, 144, '2')};
  for (int i = 0; i < 3; ++i) expected.push_back(Status(248 + 13 * i, 166, 80, 0, 12, 12));
  for (int i = 0; i < 12; ++i) expected.push_back(Status(248 + 2 * i, 192, 80, 16, 2, 8));
  expected.push_back(Status(248, 200, 80, 80, 32, 8));
  expected.push_back(Status(280, 200, 80, 88, 32, 8));
  for (int i = 0; i < 12; ++i) expected.push_back(Status(248 + 16 * (i % 4), 72 + 16 * (i / 4), 80, 48, 16, 16));
  const char* digits = "00001234";
  for (int i = 0; i < 8; ++i) expected.push_back(Glyph(248 + 8 * i, 224, digits[i]));
  EXPECT_EQ(lines, expected);

  // PAUSE shows while paused, unless F12 is held.
  Paused = 1;
  DrawStatusPanel();
  EXPECT_EQ(Take()[0], Glyph(100, 116, 'P'));
  TestDriver_KeyDown(KeyCode::F12);
  DrawStatusPanel();
  EXPECT_EQ(Take()[0], Status(240, 0, 0, 0, 80, 240));
}

TEST_F(ResourcesTest, BossGaugeFillsOncePerDrawnPanel) {
  BossPhase = 2;
  BossGaugeFull = 400;
  BossGaugeShown = 395;
  CopyName(BossNameLine1, "AB");
  Health = 0;
  PowerGauge = 0;
  EnemyBlockCount = 0;
  DrawStatusPanel();
  Lines lines = Take();
  EXPECT_EQ(BossGaugeShown, 400);
  auto has = [&](const std::string& s) { return std::find(lines.begin(), lines.end(), s) != lines.end(); };
  EXPECT_TRUE(has(Glyph(248, 80, 'A')));
  EXPECT_TRUE(has(Status(248, 96, 80, 96, 32, 16)));
  EXPECT_TRUE(has(Status(280, 96, 80, 96, 32, 16)));
  // 400: a full first bar and a second one 16 pixels long.
  EXPECT_TRUE(has("DrawStretchRectPartGraph 248 96 312 104 80 64 16 8 img=9 t=1"));
  EXPECT_TRUE(has("DrawStretchRectPartGraph 248 104 264 112 80 112 16 8 img=9 t=1"));
  // The lifebar sound plays while the gauge rises.
  EXPECT_TRUE(has("PlaySoundMem " + std::to_string(SoundEffectTable[kSeLifebar])));

  // Below 320: one bar, floor(shown * 64 / 320) long. A paused panel does not fill.
  BossGaugeFull = 300;
  BossGaugeShown = 100;
  Paused = 1;
  DrawStatusPanel();
  lines = Take();
  EXPECT_EQ(BossGaugeShown, 100);
  EXPECT_TRUE(has("DrawStretchRectPartGraph 248 96 268 104 80 64 16 8 img=9 t=1"));
  // Above the full value it snaps back.
  Paused = 0;
  BossGaugeShown = 310;
  DrawStatusPanel();
  EXPECT_EQ(BossGaugeShown, 300);
}

TEST_F(ResourcesTest, GaugeUnderABoss) {
  Character boss(-1, 100, 50);
  boss.width = 48;
  boss.life = 320;
  DrawGauge(boss, 640, 2);
  // Centre 100 + 24 + 2 = 126; half the life fills 16 of 32 pixels.
  EXPECT_EQ(Take(), (Lines{"DrawFillBox 109 229 143 235 c=" + std::to_string(GetColor(0, 0, 0)),
                           "DrawFillBox 110 230 126 234 c=" + std::to_string(GetColor(255, 255, 0))}));
  boss.life = 0;
  DrawGauge(boss, 640, 0);
  EXPECT_EQ(Take().size(), 1u);
}

TEST_F(ResourcesTest, MusicProtocol) {
  PlayBGM("./bgm/a.pttune", 1);
  EXPECT_EQ(Take(), (Lines{"pxtone_Tune_Stop", "pxtone_Tune_Release", "pxtone_Tune_SetLoop 1",
                           "pxtone_Tune_Load ./bgm/a.pttune", "pxtone_Tune_Start"}));
  EXPECT_STREQ(CurrentTune, "./bgm/a.pttune");
  // The same tune plays on.
  PlayBGM("./bgm/a.pttune", 1);
  EXPECT_TRUE(Take().empty());
  // After a fade-out the same name starts again.
  FadeOutBGM(3000);
  EXPECT_EQ(Take(), (Lines{"pxtone_Tune_Fadeout 3000"}));
  PlayBGM("./bgm/a.pttune", 0);
  EXPECT_EQ(Take().size(), 5u);
  // Quality OFF stops the tune and starts none.
  Settings.bgmQuality = 0;
  PlayBGM("./bgm/b.pttune", 1);
  EXPECT_EQ(Take(), (Lines{"pxtone_Tune_Stop", "pxtone_Tune_Release"}));
  EXPECT_STREQ(CurrentTune, "");
  // Long names are kept to 63 characters.
  Settings.bgmQuality = 3;
  std::string longPath = "./bgm/" + std::string(80, 'n');
  PlayBGM(longPath.c_str(), 1);
  EXPECT_EQ(std::string(CurrentTune), longPath.substr(0, 63));
  Take();
  // Quality changes reopen the output at the quality's rate; OFF does nothing.
  for (int q = 0; q <= 3; ++q) {
    Settings.bgmQuality = static_cast<uint8_t>(q);
    ResetBGMQuality();
  }
  EXPECT_EQ(Take(), (Lines{"pxtone_Reset 11025", "pxtone_Reset 22050", "pxtone_Reset 44100"}));
}

TEST_F(ResourcesTest, SoundEffectsFollowTheSetting) {
  PlaySoundEffect(kSeMoney);
  EXPECT_EQ(Take(), (Lines{"PlaySoundMem " + std::to_string(SoundEffectTable[kSeMoney])}));
  Settings.soundEffect = 0;
  PlaySoundEffect(kSeMoney);
  EXPECT_TRUE(Take().empty());
  EXPECT_STREQ(SoundEffectName(kSeBulletQuiet), "bullet");
  EXPECT_STREQ(SoundEffectName(kSe1up), "1up");
}

TEST_F(ResourcesTest, EnemySheetsLoadOnceAndRefuseBadIndexes) {
  EXPECT_EQ(GetEnemyImage(10), -1);
  EXPECT_EQ(GetEnemyImage(-1), -1);
  gametest::WriteBmp("common/enemy3.png", 4, 4, 200, 0, 0);
  int first = GetEnemyImage(3);
  EXPECT_GT(first, 0);
  EXPECT_EQ(GetEnemyImage(3), first);
  EXPECT_EQ(GetEnemyImage(4), -1);  // missing: remembered as failed
  EXPECT_EQ(EnemyImages[4], -1);
  DeleteEnemyImages();
  EXPECT_EQ(EnemyImages[3], 0);
}

}  // namespace
