// Sound internals shared by the sound output, the sound handles and the stream, soft-sound and music code.
#pragma once

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <cstdint>
#include <thread>

#include "engine/sound/sound.h"
#include "engine/sound/sound_convert.h"
#include "engine/system/system.h"
#include "platform/audio/audio.h"

constexpr int kMaxSoundBuffers = 10;

// One play buffer of a sound.
struct SoundBuffer {
  int valid;
  AudioBuffer* buffer;
  int loop;  // the loop argument of the last play, used again on resume
  WAVEFORMATEX format;
};

int SoundBuffer_Create(SoundBuffer* buffer, const DSBUFFERDESC* desc);
int SoundBuffer_Duplicate(SoundBuffer* buffer, SoundBuffer* source);
int SoundBuffer_Release(SoundBuffer* buffer);
int SoundBuffer_Play(SoundBuffer* buffer, int loop);
int SoundBuffer_Stop(SoundBuffer* buffer);
int SoundBuffer_GetStatus(SoundBuffer* buffer, uint32_t* status);
int SoundBuffer_SetVolume(SoundBuffer* buffer, int volume);
int SoundBuffer_SetPan(SoundBuffer* buffer, int pan);
int SoundBuffer_SetFrequency(SoundBuffer* buffer, uint32_t frequency);
int SoundBuffer_GetCurrentPosition(SoundBuffer* buffer, uint32_t* playCursor, uint32_t* writeCursor);
int SoundBuffer_SetCurrentPosition(SoundBuffer* buffer, uint32_t position);
int SoundBuffer_GetConsumedFrames(SoundBuffer* buffer, uint64_t* frames);
int SoundBuffer_Lock(SoundBuffer* buffer, uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1,
                     void** part2, uint32_t* bytes2);
int SoundBuffer_Unlock(SoundBuffer* buffer, void* part1, uint32_t bytes1, void* part2, uint32_t bytes2);

// One source of a stream sound.
struct StreamSoundSource {
  uint8_t loopCount;
  int kind;  // 2 a private copy of the file image, 3 the open file
  void* image;
  uint32_t imageSize;
  const StreamFunctions* memFunctions;
  StreamHandle memStream;
  SoundConvertRecord convert;
};

struct SoundHandleRecord {
  HandleHeader header;
  int pauseMark[kMaxSoundBuffers];
  int wasPlaying[kMaxSoundBuffers];
  SoundBuffer buffers[kMaxSoundBuffers];
  WAVEFORMATEX format;
  int streamFlag;

  // Stream sound state. Ring offsets are bytes in the one-second ring; the 64-bit counts are bytes
  // of the ring's stream since it was last prepared, so no comparison of them ever misses a wrap.
  int streamPlayType;
  int streamWritePosition;  // ring offset of the next write; -800 before the first fill
  StreamSoundSource streamSources[3];
  uint8_t streamOwnStream[3];
  int streamSourceCount;
  int streamCurrentSource;
  int streamLoopCounter;
  uint64_t streamDecodedBytes;  // of the current source
  uint32_t streamTotalSamples;
  uint64_t streamPlayedBytes;   // the play position in the sound
  uint64_t streamLastPlayed;    // ring bytes played at the last reading
  uint64_t streamConsumedBase;  // the play buffer's consumed frames when the stream was prepared
  uint64_t streamWritten;       // ring bytes written
  uint8_t streamPrepared;
  uint8_t streamEnd;
  uint8_t streamLoop;
  uint8_t streamFinished;
  uint64_t streamLoopStartBytes;
  uint64_t streamEndWritePosition;   // streamWritten where the silence after the end began
  uint64_t streamLoopWritePosition;  // streamWritten where the loop back to the first source began
  uint32_t streamRingSize;
  ListNode streamNode;

  uint32_t pcmBytes;
  void* pcm;
  int* pcmRefCount;
  int dataTransferred[kMaxSoundBuffers];
  int bufferCount;
  int nextBuffer;  // the buffer of the last play
  int volume;      // hundredths of a decibel
  int pan;
  int frequency;
};

struct SoundSystemState {
  int up;
  AudioDevice* device;
  AudioBuffer* primary;
  AudioBuffer* silent;
  WAVEFORMATEX primaryFormat;
  HandleManager soundHandles;
  HandleManager softSoundHandles;
  HandleManager musicHandles;
  SoundLoadSettings loadSettings;
  HandleList streamSoundList;
  HandleList softSoundPlayerList;
  std::thread soundThread;
  std::atomic<int> threadEnd;  // 0 running, 1 asked to end, 2 ended
  std::mutex threadWakeMutex;  // with threadWake, lets the end request cut the thread's sleep short
  std::condition_variable threadWake;
  std::atomic<uint64_t> threadPasses;
  std::atomic<bool> threadKick;  // a pass is wanted now

  // A process that started the sound output on its own (tests, benchmarks) and ends without
  // ending it still ends the thread first; with the engine started, its exit step has done so.
  ~SoundSystemState() { EndSoundThread(); }
};

extern SoundSystemState SoundSystem;

// The record of a usable sound handle, or null. A handle still being loaded is refused unless acceptLoading.
SoundHandleRecord* GetSoundHandleRecord(int handle, bool acceptLoading = false);
int CreateSoundHandleBuffers(int handle, const WAVEFORMATEX* format, uint32_t pcmBytes, int streamFlag,
                             int bufferNum, int fromLoadingThread);
// Writes silence over what the caller has not yet written of a locked region; written counts bytes done.
int FillSilence(const SoundHandleRecord* sound, void* part1, uint32_t bytes1, void* part2, uint32_t bytes2,
                uint32_t written);
// Waits while the sound plays, for the normal play type.
void WaitSoundEnd(int handle);
int SamplesToMilliseconds(int64_t samples, uint32_t samplesPerSecond);

// Stream sounds.
int AddSreamSound(const SoundLoadSettings* settings, const StreamFunctions* functions, StreamHandle stream,
                  int loopCount, int handle, int sourceKind, int* canCloseStream, int unionHandle,
                  int fromLoadingThread);
int AddStreamSoundMemImage(const SoundLoadSettings* settings, const void* image, uint32_t size, int loopCount,
                           int handle, int sourceKind, int unionHandle, int fromLoadingThread);
int AddStreamSoundFile(const SoundLoadSettings* settings, const char* path, int loopCount, int handle,
                       int sourceKind, int unionHandle, int fromLoadingThread);
int SetupStreamSoundPlay(int handle, int fromLoadingThread);
int ProcessStreamSoundMem(int handle, int fromLoadingThread);
int UpdateStreamPlayPosition(SoundHandleRecord* sound);
int PlayStreamSoundMem(int handle, int playType, int topPositionFlag);
int StopStreamSoundMem(int handle);
int IsStreamSoundPlaying(int handle);
int GetStreamSoundCurrentTime(int handle);
void DeleteStreamSoundHandle(SoundHandleRecord* sound);
// The sound thread's body; InitSoundOutput starts it on machines with more than one logical processor.
void SoundThread();
// Passes the sound thread has finished (tests wait on it).
uint64_t GetSoundThreadPassCount();
// Cuts the sound thread's sleep short: it makes a pass now (tests).
void WakeSoundThread();

// Soft sounds.
struct SoftSoundHandleRecord {
  HandleHeader header;
  int isPlayer;
  void* pcm;  // a plain soft sound's samples (owned)
  // A player: pending PCM, its play buffer and the refill state.
  RingBuf ring;
  int pauseMark;
  int wasPlaying;
  SoundBuffer buffer;
  uint32_t bufferSize;
  uint32_t writePosition;
  int active;
  ListNode playerNode;
};
int DeleteSoftSoundHandle(HandleHeader* record);
int IsSoftSoundPlayer(HandleHeader* record);
int IsNotSoftSoundPlayer(HandleHeader* record);
int ProcessSoftSoundPlayer(SoftSoundHandleRecord* player);

// Music.
struct MusicHandleRecord {
  HandleHeader header;
  int playing;
  int started;
  int volume;  // 0..255
  void* midiImage;
  uint32_t midiSize;
  void* segment;
};
struct MusicState {
  int current;          // the background music's handle, 0 for none
  int currentIsSound;   // 1: a sound handle, 0: a music handle
  uint32_t mciDevice;
  int mciLoop;
  int mciPlaying;
  char midiTempPath[260];
  int midiTempWritten;
};
extern MusicState Music;
int InitMusicHandle(HandleHeader* record);
int DeleteMusicHandle(HandleHeader* record);
int ProcessMidiNotify();
int CheckMusicMem(int handle);
int StopMusicMem(int handle);
// Removes the temporary MIDI file when one was written.
void DeleteMidiTempFile();
