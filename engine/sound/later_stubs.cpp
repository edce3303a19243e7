// Services of movies that are not built yet: they report no work done, and the media-framework
// decoder refuses to be made.
#include "engine/sound/sound_internal.h"

int InitMovieManage() { return 0; }
int TerminateMovieManage() { return 0; }
int PauseMovieAll() { return 0; }
int ResumeMovieAll() { return 0; }
int InitializeYUVToRGBTable() { return 0; }

int SetupSoundConvert_MP3Graph(SoundConvertRecord*) { return -1; }
