#include "game/playfield/stage.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "engine/draw/draw.h"
#include "engine/system/system.h"
#include "game/playfield/blocks_items.h"
#include "game/masters/dokuro_master.h"
#include "game/masters/ikebana_master.h"
#include "game/masters/origami_master.h"
#include "game/masters/shodo_master.h"
#include "game/playfield/stage_scenes.h"
#include "game/masters/tea_master.h"
#include "game/task.h"

StageRecord MainStageRecord;
char (&NextStageName)[kNameSize] = MainStageRecord.nextStageName;

namespace {

std::string InStageDirectory(const char* name) { return std::string(StageDirectory) + name; }

int OpenInStageDirectory(const char* name) { return FileRead_openDefault(InStageDirectory(name).c_str(), 0); }

}  // namespace

void ClearStageRecord(StageRecord* record) {
  record->stageNumber = 0;
  for (int32_t& c : record->cells) c = 0;
  for (int32_t& v : record->extra) v = 0;
  record->backgroundName[0] = '\0';
  record->backgroundImage = 0;
  record->musicName[0] = '\0';
  record->nextStageName[0] = '\0';
}

bool ReadStageField(int file, char* buffer) {
  size_t length = 0;
  bool any = false;
  for (;;) {
    int c = FileRead_getc(file);
    if (c < 0) break;
    any = true;
    if (c == ',' || c == '\r' || c == '\n') break;
    if (length < kNameSize - 1) buffer[length++] = static_cast<char>(c);
  }
  buffer[length] = '\0';
  return any;
}

void ReadStageFieldSkipping(int file, char* buffer) {
  while (ReadStageField(file, buffer)) {
    if (buffer[0] != '\0' && buffer[0] != '#') return;
  }
  buffer[0] = '\0';
}

int32_t StageFieldToInt(const char* text) {
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(text, &end, 10);
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

bool ReadStartFile(StageRecord* record) {
  int file = OpenInStageDirectory("start.txt");
  if (file == 0) return false;
  char field[kNameSize];
  ReadStageFieldSkipping(file, field);
  CopyName(TitleImageName, field);
  ReadStageFieldSkipping(file, field);
  CopyName(record->nextStageName, field);
  FileRead_close(file);
  return true;
}

bool ReadEndFile(StageRecord* record) {
  int file = OpenInStageDirectory("end.txt");
  if (file == 0) return false;
  char field[kNameSize];
  ReadStageFieldSkipping(file, field);
  CopyName(EndImageName, field);
  ReadStageFieldSkipping(file, field);
  CopyName(record->musicName, field);
  FileRead_close(file);
  return true;
}

bool ReadStageFile(StageRecord* record, const char* name) {
  // The name may be NextStageName itself: copy it before anything changes.
  char stageName[kNameSize];
  CopyName(stageName, name);
  CopyName(CurrentStageName, stageName);
  int file = OpenInStageDirectory(stageName);
  if (file == 0) return false;

  char field[kNameSize];
  ReadStageField(file, field);
  record->stageNumber = StageFieldToInt(field);
  ReadStageFieldSkipping(file, field);
  CopyName(record->title, field);
  for (int32_t& cell : record->cells) {
    ReadStageFieldSkipping(file, field);
    cell = StageFieldToInt(field);
  }
  for (int32_t& v : record->extra) {
    ReadStageFieldSkipping(file, field);
    v = StageFieldToInt(field);
  }
  ReadStageFieldSkipping(file, field);
  CopyName(record->backgroundName, field);

  if (record->backgroundImage != 0) DeleteGraph(record->backgroundImage);
  record->backgroundImage = LoadGraph(InStageDirectory(record->backgroundName).c_str());
  if (record->backgroundImage == -1) {
    record->backgroundImage = LoadGraph((std::string("./common/") + record->backgroundName).c_str());
  }
  if (record->backgroundImage == -1) {
    FileRead_close(file);
    return false;
  }

  ReadStageFieldSkipping(file, field);
  CopyName(record->musicName, field);
  ReadStageFieldSkipping(file, field);
  CopyName(record->nextStageName, field);
  FileRead_close(file);
  return true;
}

void CreateStageObjects(int code, int x, int y) {
  switch (code) {
    case 0:
      return;
    case 1:
    case 2:
    case 3:
      if (CreateTask<NormalBlockTask>(code, x, y)) ++NormalBlockCount;
      return;
    case 50:
    case 51:
      CreateTask<ChanoyuMasterTask>(code, x + 12, y);
      return;
    case 52:
      CreateTask<OrigamiMasterTask>(code, x + 12, y);
      return;
    case 53:
      CreateTask<IkebanaMasterTask>(code, x + 12, y);
      return;
    case 54:
      CreateTask<ShodoMasterTask>(code, x + 12, y);
      return;
    case 55:
      CreateTask<DokuroMasterTask>(code, x + 12, y);
      return;
    default:
      // Every other code, negative or above 55 included, is an enemy block.
      if (CreateTask<EnemyBlockTask>(code, x, y)) ++EnemyBlockCount;
      return;
  }
}
