// Sound internals shared by the sound output, the sound handles and the stream, soft-sound and music code.
#pragma once

#include <atomic>
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

  // Stream sound state.
  int streamPlayType;
  int streamWritePosition;  // -800 before the first fill
  int streamRefillLimit;
  StreamSoundSource streamSources[3];
  uint8_t streamOwnStream[3];
  int streamSourceCount;
  int streamCurrentSource;
  int streamLoopCounter;
  uint32_t streamDecodedBytes;
  uint32_t streamTotalSamples;
  uint32_t streamPlayedBytes;
  uint32_t streamLastPlayCursor;
  uint8_t streamPrepared;
  uint8_t streamEnd;
  uint8_t streamLoop;
  uint8_t streamFinished;
  uint32_t streamLoopStartBytes;
  uint32_t streamEndWritePosition;
  uint32_t streamEndPlayCursor;
  uint32_t streamLoopWritePosition;
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

  // A process that ends without shutting the engine down still ends the thread first.
  ~SoundSystemState() {
    if (soundThread.joinable()) {
      threadEnd.store(1);
      soundThread.join();
    }
  }
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

// Stream sounds, soft sounds and music (built elsewhere).
int AddStreamSoundMemImage(const SoundLoadSettings* settings, const void* image, uint32_t size, int loopCount,
                           int handle, int sourceKind, int unionHandle, int fromLoadingThread);
int AddStreamSoundFile(const SoundLoadSettings* settings, const char* path, int loopCount, int handle,
                       int sourceKind, int unionHandle, int fromLoadingThread);
int SetupStreamSoundPlay(int handle, int fromLoadingThread);
int PlayStreamSoundMem(int handle, int playType, int topPositionFlag);
int StopStreamSoundMem(int handle);
int IsStreamSoundPlaying(int handle);
int GetStreamSoundCurrentTime(int handle);
void DeleteStreamSoundHandle(SoundHandleRecord* sound);
extern const int SoftSoundRecordSize;
extern const int MusicRecordSize;
int DeleteSoftSoundHandle(HandleHeader* record);
int InitMusicHandle(HandleHeader* record);
int DeleteMusicHandle(HandleHeader* record);
