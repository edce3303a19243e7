// Clips whose timing players get wrong: pictures stored out of order whose packets carry no
// presentation time (B-frames in AVI and in an MPEG program stream), and files a demultiplexer
// cannot seek back in (an FLV without an index, a WebM cut short, an MP4 whose first picture is
// not listed as a key picture).
#pragma once

#include <string>
#include <vector>

#include "mediagen.h"

// What happens to a clip after it is written.
enum class ClipDamage {
  None,
  CutInHalf,         // only the first half of its bytes is kept
  FirstKeyUnlisted,  // MP4: the first picture drops out of the key pictures' table
};

struct TimingClip {
  const char* name;  // file name in the test media folder
  TestClipSpec shape;
  ClipDamage damage;
};

const std::vector<TimingClip>& TimingClips();
// Writes every clip into the folder (ending in '/'); false when one fails.
bool WriteTimingClips(const std::string& dir);
