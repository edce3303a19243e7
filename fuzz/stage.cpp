// Stage files, "start.txt" and "end.txt": the same bytes through the three readers.
#include <sys/stat.h>

#include <cstring>

#include "engine/draw/draw.h"
#include "fuzz_common.h"
#include "game/playfield/stage.h"

namespace {

void CheckName(const char* name) { FUZZ_CHECK(std::memchr(name, '\0', kNameSize) != nullptr); }

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::EnterScratchFolder();
  mkdir("stages", 0700);
  mkdir("common", 0700);
  fuzz::StartEngine();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (const char* name : {"stages/start.txt", "stages/end.txt", "stages/stage.txt"})
    fuzz::WriteWholeFile(name, data, size);
  StageRecord record;
  ClearStageRecord(&record);
  FUZZ_CHECK(ReadStartFile(&record));
  FUZZ_CHECK(ReadEndFile(&record));
  ReadStageFile(&record, "stage.txt");
  for (const char* name : {record.backgroundName, record.musicName, record.nextStageName, record.title})
    CheckName(name);
  if (record.backgroundImage > 0) DeleteGraph(record.backgroundImage);
  return 0;
}
