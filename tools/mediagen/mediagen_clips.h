// Clips for keeping picture and sound together: one per container and codec pair, each a
// numbered test picture with the test tone, as FFmpeg's own encoders and muxers write them.
#pragma once

#include <string>
#include <vector>

#include "mediagen.h"

struct SyncClip {
  const char* name;  // file name in the test media folder
  TestClipSpec shape;
};

const std::vector<SyncClip>& SyncClips();
// Writes every clip into the folder (ending in '/'); false when one fails.
bool WriteSyncClips(const std::string& dir);
