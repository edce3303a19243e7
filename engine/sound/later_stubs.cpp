// Services of sound and movies that are not built yet: they report no work done.
#include "engine/sound/sound.h"

int InitSoundOutput() { return -1; }
int TermSoundOutput() { return 0; }
int PauseSoundMemAll(int) { return 0; }
int PauseSoftSoundAll(int) { return 0; }
int ProcessStreamSoundMemAll() { return 0; }
int ProcessSoftSoundPlayerAll() { return 0; }
int UpdateMusicPlayState() { return 0; }
int TerminateMusic() { return 0; }
int InitMovieManage() { return 0; }
int TerminateMovieManage() { return 0; }
int PauseMovieAll() { return 0; }
int ResumeMovieAll() { return 0; }
int InitializeYUVToRGBTable() { return 0; }
