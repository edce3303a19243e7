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

// The clips' common shape: four seconds of 320 x 240 pictures at 30 a second, a key picture a
// second, at a rate and quality that keep the files small.
TestClipSpec SmallTestClip(const char* container, const char* video, const char* audio, int audioRate = 48000);

const std::vector<SyncClip>& SyncClips();
// Writes every clip into the folder (ending in '/'); false when one fails.
bool WriteSyncClips(const std::string& dir);
