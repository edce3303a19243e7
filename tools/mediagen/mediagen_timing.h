// Clips whose timing players get wrong: pictures stored out of order whose packets carry no
// presentation time (B-frames in AVI and in an MPEG program stream), and files a demultiplexer
// cannot seek back in (an FLV without an index, a WebM cut short).
#pragma once

#include <string>
#include <vector>

#include "mediagen.h"

struct TimingClip {
  const char* name;  // file name in the test media folder
  TestClipSpec shape;
  bool cutInHalf;  // only the first half of the file's bytes is kept
};

const std::vector<TimingClip>& TimingClips();
// Writes every clip into the folder (ending in '/'); false when one fails.
bool WriteTimingClips(const std::string& dir);
