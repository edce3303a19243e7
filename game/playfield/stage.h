// Stage files: "start.txt", "end.txt" and the stage files under StageDirectory.
#pragma once

#include <cstdint>

#include "game/play_state.h"

constexpr int kMapColumns = 9;
constexpr int kMapRows = 9;
constexpr int kMapCells = kMapColumns * kMapRows;
constexpr int kStageExtraValues = 9;

struct StageRecord {
  int32_t stageNumber = 0;
  int32_t cells[kMapCells] = {};  // row-major, row 0 first
  int32_t extra[kStageExtraValues] = {};  // kept, never used
  char backgroundName[kNameSize] = "";
  int32_t backgroundImage = 0;  // -1 when loading failed; 0 before the first load
  char musicName[kNameSize] = "";
  char nextStageName[kNameSize] = "";  // NextStageName for the main loop's record
  char title[kNameSize] = "";
};

// The record the main loop owns, and its next stage name, which the title, the stage
// select and the scene requests read and write.
extern StageRecord MainStageRecord;
extern char (&NextStageName)[kNameSize];

// Cell positions in screen pixels: blocks are 24 x 12.
inline int CellX(int column) { return 12 + 24 * column; }
inline int CellY(int row) { return 8 + 12 * row; }

void ClearStageRecord(StageRecord* record);

// Reads one field (up to a comma, CR, LF or the end of the file) into a 64-byte buffer,
// keeping at most 63 characters. Returns false when the file had already ended.
bool ReadStageField(int file, char* buffer);
// Reads fields until one is neither empty nor a comment ("#..."), or the file ends
// (then the buffer is empty).
void ReadStageFieldSkipping(int file, char* buffer);
// Decimal conversion of a field: leading blanks and a sign accepted, anything else 0,
// values beyond 32 bits clamped.
int32_t StageFieldToInt(const char* text);

bool ReadStartFile(StageRecord* record);
bool ReadEndFile(StageRecord* record);
// Reads StageDirectory + name; the record's background image is loaded from
// StageDirectory, else from "./common/". False when the file or the background fails.
bool ReadStageFile(StageRecord* record, const char* name);

// Creates the task of a cell code at a cell position and counts it.
void CreateStageObjects(int code, int x, int y);
