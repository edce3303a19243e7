// Tamrak engine: sound and movies, public operations.
#pragma once

// Engine start-up and shutdown, the message pump and focus changes call these.
int InitSoundOutput();   // -1 when no output device can be had; the engine runs silent
int TermSoundOutput();
int PauseSoundMemAll(int pause);
int PauseSoftSoundAll(int pause);
int ProcessStreamSoundMemAll();
int ProcessSoftSoundPlayerAll();
int UpdateMusicPlayState();
int TerminateMusic();
int InitMovieManage();
int TerminateMovieManage();
int PauseMovieAll();
int ResumeMovieAll();
int InitializeYUVToRGBTable();

// Sound handles.
int LoadSoundMem(const char* path, int bufferNum = 3, int unionHandle = -1);
int PlaySoundMem(int handle, int playType, int topPositionFlag = 1);
int StopSoundMem(int handle);
int CheckSoundMem(int handle);  // 1 playing, 0 not, -1 bad handle
int SetVolumeSoundMem(int volume, int handle);  // volume 0..255
int DeleteSoundMem(int handle);
int InitSoundMem();  // deletes every sound handle

enum : int {
  DX_PLAYTYPE_NORMAL = 0,  // waits until the sound ends
  DX_PLAYTYPE_BACK = 1,
  DX_PLAYTYPE_LOOP = 3,
};
