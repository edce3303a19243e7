// Stand-in music library: plays ".pttune" text scores in the background. It has no device
// of its own: it mixes into the sound output the engine opened (platform/audio), as the
// music and the engine share one sound device. Nothing here blocks; a missing file or no
// sound output is silence. The score format is described in pxtone/pttune.h.
#pragma once

#include <cstdint>

// window: ignored. channels (1 or 2), sample rate, bits (16), buffer seconds, the last
// three are accepted and ignored. Joins the sound output; returns 1.
int pxtone_Ready(void* window, int channels, int sampleRate, int bits, float bufferSeconds,
                 int directSound, void* callback);
// Changes the rate the music is made at; the current tune carries on from the same moment.
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
