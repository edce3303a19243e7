// The music library's output, for tests: with the null output chosen before pxtone_Ready
// no audio device is opened, and the test pulls the mix itself.
#pragma once

#include <cstdint>

void pxtone_UseNullOutput(bool useNull);
// Mixes the next frames (16-bit stereo, interleaved) exactly as the audio callback does.
void pxtone_Mix(int16_t* stereo, int frames);
int pxtone_SampleRate();
bool pxtone_TunePlaying();
