// Stage files: the field reader, the three readers and the objects of the map.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "engine/system/system.h"
#include "game/playfield/blocks_items.h"
#include "game/masters/dokuro_master.h"
#include "game/masters/origami_master.h"
#include "game/masters/tea_master.h"
#include "game/play_state.h"
#include "game/resources.h"
#include "game/playfield/stage.h"
#include "game/task.h"
#include "tests/game/game_test_util.h"

namespace {

using gametest::ScratchDir;
using gametest::StageText;
using gametest::WriteBmp;
using gametest::WriteWholeFile;

class StageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(LibInit(), 0);
    ResetPlayState();
    TaskPool_DeleteAll();
  }
  void TearDown() override {
    TaskPool_DeleteAll();
    ForgetResourceHandles();
    LibEnd();
  }

  // All fields of a file as the reader sees them, with or without skipping.
  static std::vector<std::string> Fields(const std::string& text, bool skipping, int count) {
    WriteWholeFile("fields.txt", text);
    int file = FileRead_openDefault("fields.txt", 0);
    EXPECT_NE(file, 0);
    std::vector<std::string> out;
    char buffer[kNameSize];
    for (int i = 0; i < count; ++i) {
      if (skipping) {
        ReadStageFieldSkipping(file, buffer);
      } else {
        ReadStageField(file, buffer);
      }
      out.emplace_back(buffer);
    }
    FileRead_close(file);
    return out;
  }

  ScratchDir dir;
};

using Texts = std::vector<std::string>;

TEST_F(StageTest, FieldsEndAtCommasAndLineEndsAndKeep63Characters) {
  std::string longField(70, 'x');
  EXPECT_EQ(Fields(longField + ",b\r\nc", false, 5), (Texts{std::string(63, 'x'), "b", "", "c", ""}));
  // Skipping: empty fields and comments go; a comma inside a comment starts a field.
  EXPECT_EQ(Fields("# note, not a comment\n\n,,a,#x\nb\r\n", true, 4), (Texts{" not a comment", "a", "b", ""}));
  // A missing field at the end reads as empty, however often it is asked for.
  EXPECT_EQ(Fields("only", true, 3), (Texts{"only", "", ""}));
}

TEST_F(StageTest, FieldIntegersUseDecimalConversion) {
  EXPECT_EQ(StageFieldToInt("  42"), 42);
  EXPECT_EQ(StageFieldToInt("-7"), -7);
  EXPECT_EQ(StageFieldToInt("+3x"), 3);
  EXPECT_EQ(StageFieldToInt("# comment"), 0);
  EXPECT_EQ(StageFieldToInt(""), 0);
  EXPECT_EQ(StageFieldToInt("99999999999"), 2147483647);
  EXPECT_EQ(StageFieldToInt("-99999999999"), -2147483647 - 1);
}

TEST_F(StageTest, StageFileFillsTheRecord) {
  std::vector<int> cells(81, 0);
  cells[0] = 1;
  cells[80] = 56;
  WriteWholeFile("stages/a.txt", StageText(7, "FOREST", cells, "bg.bmp", "forest.pttune", "b.txt"));
  WriteBmp("stages/bg.bmp", 4, 4, 1, 2, 3);
  StageRecord record;
  ClearStageRecord(&record);
  ASSERT_TRUE(ReadStageFile(&record, "a.txt"));
  EXPECT_EQ(record.stageNumber, 7);
  EXPECT_STREQ(record.title, "FOREST");
  EXPECT_EQ(record.cells[0], 1);
  EXPECT_EQ(record.cells[80], 56);
  EXPECT_STREQ(record.backgroundName, "bg.bmp");
  EXPECT_GT(record.backgroundImage, 0);
  EXPECT_STREQ(record.musicName, "forest.pttune");
  EXPECT_STREQ(record.nextStageName, "b.txt");
  EXPECT_STREQ(CurrentStageName, "a.txt");

  // A first line that is a comment is the stage number, which converts to 0; the
  // background found only in "./common/" comes from there.
  WriteWholeFile("stages/c.txt", "# stage c\n" + StageText(3, "T", cells, "only.bmp", "m", "end.txt").substr(2));
  WriteBmp("common/only.bmp", 2, 2, 9, 9, 9);
  ASSERT_TRUE(ReadStageFile(&record, "c.txt"));
  EXPECT_EQ(record.stageNumber, 0);
  EXPECT_GT(record.backgroundImage, 0);
  EXPECT_STREQ(record.nextStageName, "end.txt");

  // Reading the name the record itself holds works too.
  CopyName(record.nextStageName, "a.txt");
  ASSERT_TRUE(ReadStageFile(&record, record.nextStageName));
  EXPECT_STREQ(CurrentStageName, "a.txt");
}

TEST_F(StageTest, StageFileFailures) {
  StageRecord record;
  ClearStageRecord(&record);
  EXPECT_FALSE(ReadStageFile(&record, "missing.txt"));
  EXPECT_STREQ(CurrentStageName, "missing.txt");

  // A background in neither folder fails and leaves the fields after it unread.
  WriteWholeFile("stages/nobg.txt", StageText(1, "X", {}, "nowhere.bmp", "music", "next.txt"));
  EXPECT_FALSE(ReadStageFile(&record, "nobg.txt"));
  EXPECT_EQ(record.backgroundImage, -1);
  EXPECT_STREQ(record.musicName, "");

  // A short file: missing fields are empty and their numbers 0.
  WriteWholeFile("stages/short.txt", "5,SHORT,1,2\n");
  EXPECT_FALSE(ReadStageFile(&record, "short.txt"));  // no background
  EXPECT_EQ(record.stageNumber, 5);
  EXPECT_EQ(record.cells[1], 2);
  EXPECT_EQ(record.cells[2], 0);
}

TEST_F(StageTest, StartAndEndFiles) {
  StageRecord record;
  ClearStageRecord(&record);
  EXPECT_FALSE(ReadStartFile(&record));
  WriteWholeFile("stages/start.txt", "#title\ntitle.png\n\n1-1.txt\n");
  WriteWholeFile("stages/end.txt", "ending.png,#music\nending.pttune\n");
  ASSERT_TRUE(ReadStartFile(&record));
  EXPECT_STREQ(TitleImageName, "title.png");
  EXPECT_STREQ(record.nextStageName, "1-1.txt");
  ASSERT_TRUE(ReadEndFile(&record));
  EXPECT_STREQ(EndImageName, "ending.png");
  EXPECT_STREQ(record.musicName, "ending.pttune");
}

TEST_F(StageTest, MapCellsBecomeTasksInReadingOrder) {
  // Codes and the layer each lands in; masters stand 12 pixels right of their cell.
  const int codes[] = {0, 1, 2, 3, 4, 49, 56, -1, 50, 55, 52};
  for (int i = 0; i < 11; ++i) CreateStageObjects(codes[i], CellX(i % 9), CellY(i / 9));
  EXPECT_EQ(NormalBlockCount, 3);
  EXPECT_EQ(EnemyBlockCount, 4);
  ASSERT_EQ(TaskPool_Count(kLayerBlock), 7);
  const int blockCodes[] = {1, 2, 3, 4, 49, 56, -1};
  for (int i = 0; i < 7; ++i) {
    Character* t = TaskPool_Get(kLayerBlock, i);
    EXPECT_EQ(t->kind, blockCodes[i]) << i;
    EXPECT_EQ(t->x, CellX((i + 1) % 9));
    EXPECT_EQ(t->y, CellY((i + 1) / 9));
  }
  EXPECT_NE(dynamic_cast<NormalBlockTask*>(TaskPool_Get(kLayerBlock, 2)), nullptr);
  EXPECT_NE(dynamic_cast<EnemyBlockTask*>(TaskPool_Get(kLayerBlock, 3)), nullptr);
  ASSERT_EQ(TaskPool_Count(kLayerEnemy), 3);
  Character* chanoyu = TaskPool_Get(kLayerEnemy, 0);
  EXPECT_NE(dynamic_cast<ChanoyuMasterTask*>(chanoyu), nullptr);
  // Made at (cell x + 12, cell y), the tea master stands 24 left of that and 4 lower.
  EXPECT_EQ(chanoyu->x, CellX(8) + 12 - 24);
  EXPECT_EQ(chanoyu->y, CellY(0) + 4);
  EXPECT_NE(dynamic_cast<DokuroMasterTask*>(TaskPool_Get(kLayerEnemy, 1)), nullptr);
  EXPECT_NE(dynamic_cast<OrigamiMasterTask*>(TaskPool_Get(kLayerEnemy, 2)), nullptr);
}

}  // namespace
