// Tamrak engine: sound and movies, public operations.
#pragma once

// Engine start-up and shutdown, the message pump and focus changes call these.
int InitSoundOutput();   // -1 when no output device can be had; the engine runs silent
int TermSoundOutput();
void EndSoundThread();  // for an exit() with the engine up; TermSoundOutput ends it too
int PauseSoundMemAll(int pause);
int PauseSoftSoundAll(int pause);
int ProcessStreamSoundMemAll();
int ProcessSoftSoundPlayerAll();
int UpdateMusicPlayState();
int ProcessMidiNotify();  // the main window's MCI notification
int TerminateMusic();
int InitMovieManage();
int TerminateMovieManage();
// For an exit() with the engine up, on the main thread once no loading thread runs: closes the
// movies and stops any other graph still playing (a sound's conversion), ending their threads.
void EndMoviesForExit();
int PauseMovieAll();
int ResumeMovieAll();
int InitializeYUVToRGBTable();

// Sound handles.

// The four load-setting words copied into every sound load.
struct SoundLoadSettings {
  // 0 the whole sound in play buffers; 2 a stream from a copy of the file; 3 a stream from the file
  int dataType;
  // A set bit skips a decoder: 1 WAVE, 2 compressed WAVE, 4 Ogg Vorbis, 8 MP3; 16 forbids the media graph.
  int decoderMask;
  int outputBytesPerSample;  // for decoders that choose it (Ogg Vorbis)
  int vorbisLayer;           // 1 for movie sound
};

int GetSoundLoadSettings(SoundLoadSettings* out);
// bufferNum: play buffers, 1 to 10 (more is cut to 10); unionHandle is accepted and has no effect.
int LoadSoundMem(const char* path, int bufferNum = 3, int unionHandle = -1);
int LoadSoundMemBase(const SoundLoadSettings* settings, const char* path, int bufferNum, int unionHandle,
                     int asyncFlag, int fromLoadingThread);
int PlaySoundMem(int handle, int playType, int topPositionFlag = 1);
int StopSoundMem(int handle);
int IsSoundMemPlaying(int handle);  // 1 playing, 0 not, -1 bad handle
int GetSoundCurrentTime(int handle);  // play position in milliseconds
int GetSoundTotalSample(int handle);
int GetSoundTotalTime(int handle);    // milliseconds
int SetVolumeSoundMem(int volume, int handle);  // volume 0..255
int DeleteSoundMem(int handle);

namespace PlayType {
enum : int {
  Wait = 0,        // until the sound ends
  Background = 1,  // any other value but 3 plays once in the background too
  Loop = 3,
};
}  // namespace PlayType
