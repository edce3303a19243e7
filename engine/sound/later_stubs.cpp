// Services of sound that are not built yet: they report no work done, and stream sounds,
// soft sounds, music and the media-framework decoder refuse to be made.
#include "engine/sound/sound_internal.h"

int PauseSoftSoundAll(int) { return 0; }
int ProcessStreamSoundMemAll() { return 0; }
int ProcessSoftSoundPlayerAll() { return 0; }
int UpdateMusicPlayState() { return 0; }
int TerminateMusic() { return 0; }

int AddStreamSoundMemImage(const SoundLoadSettings*, const void*, uint32_t, int, int, int, int, int) { return -1; }
int AddStreamSoundFile(const SoundLoadSettings*, const char*, int, int, int, int, int) { return -1; }
int SetupStreamSoundPlay(int, int) { return 0; }
int PlayStreamSoundMem(int, int, int) { return -1; }
int StopStreamSoundMem(int) { return -1; }
int IsStreamSoundPlaying(int) { return 0; }
int GetStreamSoundCurrentTime(int) { return -1; }
void DeleteStreamSoundHandle(SoundHandleRecord*) {}

const int SoftSoundRecordSize = static_cast<int>(sizeof(HandleHeader));
const int MusicRecordSize = static_cast<int>(sizeof(HandleHeader));
int DeleteSoftSoundHandle(HandleHeader*) { return 0; }
int InitMusicHandle(HandleHeader*) { return 0; }
int DeleteMusicHandle(HandleHeader*) { return 0; }

int SetupSoundConvert_MP3Graph(SoundConvertRecord*) { return -1; }
