// The music library's mix, for tests: pulled directly instead of through the sound output.
#pragma once

#include <cstdint>

// The next frames (16-bit stereo, interleaved) at the library's own rate, as the sound
// output would get them before resampling. Only while no output is mixing the music.
void pxtone_Mix(int16_t* stereo, int frames);
int pxtone_SampleRate();
bool pxtone_TunePlaying();
// Samples of the current tune made so far (at the library's rate).
int64_t pxtone_TunePosition();
