// Stand-in music library: plays ".pttune" text scores in the background on its own
// audio output. Nothing here blocks; a missing file or no audio device is silence.
// The score format is described in pxtone/pttune.h.
#pragma once

#include <cstdint>

// window: ignored. channels (1 or 2), sample rate, bits (16), buffer seconds, the last
// three are accepted and ignored. Opens the audio output; returns 1 on success.
int pxtone_Ready(void* window, int channels, int sampleRate, int bits, float bufferSeconds,
                 int directSound, void* callback);
// Reopens the output at a new rate; the current tune is kept and restarts.
int pxtone_Reset(void* window, int channels, int sampleRate, int bits, float bufferSeconds,
                 int directSound, void* callback);
int pxtone_Release();

// Loads a tune file (module and resource name are ignored); replaces the current one.
int pxtone_Tune_Load(void* module, const char* resourceType, const char* path);
int pxtone_Tune_Release();
// Starts the current tune from its start (startSample and fade-in milliseconds).
int pxtone_Tune_Start(int startSample, int fadeInMs);
// Stops; returns the sample position reached.
int pxtone_Tune_Stop();
int pxtone_Tune_Fadeout(int milliseconds);
void pxtone_Tune_SetLoop(int loop);
void pxtone_Tune_SetVolume(float volume);
