// Services of sound that are not built yet: the media-framework decoder refuses to be made.
#include "engine/sound/sound_internal.h"

int SetupSoundConvert_MP3Graph(SoundConvertRecord*) { return -1; }
