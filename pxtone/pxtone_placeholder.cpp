// placeholder until the music library lands
#include "pxtone/pxtone.h"
int pxtone_Ready(void*, int, int, int, float, int, void*) { return 1; }
int pxtone_Reset(void*, int, int, int, float, int, void*) { return 1; }
int pxtone_Release() { return 1; }
int pxtone_Tune_Load(void*, const char*, const char*) { return 1; }
int pxtone_Tune_Release() { return 1; }
int pxtone_Tune_Start(int, int) { return 1; }
int pxtone_Tune_Stop() { return 0; }
int pxtone_Tune_Fadeout(int) { return 1; }
void pxtone_Tune_SetLoop(int) {}
void pxtone_Tune_SetVolume(float) {}
