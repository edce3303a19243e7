// Sound handles: loading a file into play buffers, play, stop, volume, position and deletion.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "engine/sound/sound_internal.h"

namespace {

constexpr uint32_t kMaxNormalSoundSeconds = 180;  // longer sounds stream

// Parameters of an asynchronous load, packed after the request record.
struct AsyncLoadParams {
  SoundLoadSettings settings;
  int handle;
  int bufferNum;
  int unionHandle;
  // the path follows, zero-terminated
};

int LoadSoundMemFromImage(const SoundLoadSettings* settingsIn, int handle, const void* image, uint32_t size,
                          int bufferNum, int fromLoadingThread) {
  if (!SoundSystem.device || bufferNum > kMaxSoundBuffers) return -1;
  SoundLoadSettings settings = *settingsIn;
  SoundHandleRecord* sound = GetSoundHandleRecord(handle, fromLoadingThread != 0);
  if (!sound) return -1;

  WAVEFORMATEX format{};
  void* pcm = nullptr;
  uint32_t pcmBytes = 0;
  if (settings.dataType == 0) {
    const StreamFunctions* functions = GetMemStreamFunctions();
    StreamHandle stream = MemStreamOpen(image, size);
    if (!stream) return -1;
    SoundConvertRecord convert;
    if (SetupSoundConvert(&settings, functions, stream, &convert) != 0) {
      LogPrint("音声ファイルのＰＣＭへの変換に失敗しました");
      MemStreamClose(stream);
      return -1;
    }
    if (ConvertSoundToPCM(&convert, &format, &pcm, &pcmBytes) != 0) {
      LogPrint("音声ファイルを格納するメモリ領域の確保に失敗しました");
      TerminateSoundConvert(&convert);
      MemStreamClose(stream);
      return -1;
    }
    TerminateSoundConvert(&convert);
    MemStreamClose(stream);
    if (pcmBytes < format.nBlockAlign || pcmBytes == 0) {
      LogPrint("音声ファイルのＰＣＭへの変換に失敗しました");
      MemFree(pcm);
      return -1;
    }
    // Neither play buffers nor a stream could play it.
    if (!AudioFormatPlayable(format) || format.nAvgBytesPerSec == 0) {
      LogPrintf("再生できない音声フォーマットです( タグ %u  %u bit  %u ch  %u Hz )",
                static_cast<unsigned>(format.wFormatTag), static_cast<unsigned>(format.wBitsPerSample),
                static_cast<unsigned>(format.nChannels), static_cast<unsigned>(format.nSamplesPerSec));
      MemFree(pcm);
      return -1;
    }
    // A whole number of samples: a trailing partial sample is not played.
    pcmBytes -= pcmBytes % format.nBlockAlign;

    if (pcmBytes / format.nAvgBytesPerSec <= kMaxNormalSoundSeconds &&
        CreateSoundHandleBuffers(handle, &format, pcmBytes, 0, bufferNum, fromLoadingThread) == 0) {
      sound->pcmRefCount = static_cast<int*>(TK_MALLOC(sizeof(int)));
      if (!sound->pcmRefCount) {
        LogPrint("サウンドデータの参照数を保存するメモリ領域の確保に失敗しました");
        MemFree(pcm);
        return -1;
      }
      sound->frequency = static_cast<int>(format.nSamplesPerSec);
      sound->format = format;
      sound->pcm = pcm;
      sound->pcmBytes = pcmBytes;
      *sound->pcmRefCount = 1;
      for (int i = 0; i < sound->bufferCount; ++i) {
        if (sound->dataTransferred[i] == 1) continue;
        void *p1, *p2;
        uint32_t n1, n2;
        if (SoundBuffer_Lock(&sound->buffers[i], 0, pcmBytes, &p1, &n1, &p2, &n2) != 0) {
          LogPrint("サウンドデータの転送に失敗しました_1");
          return -1;
        }
        std::memcpy(p1, pcm, n1);
        if (p2) std::memcpy(p2, static_cast<const uint8_t*>(pcm) + n1, n2);
        if (SoundBuffer_Unlock(&sound->buffers[i], p1, n1, p2, n2) != 0) {
          LogPrint("サウンドデータの転送に失敗しました_2");
          return -1;
        }
        // The other play buffers share this one's sample memory.
        for (int j = 0; j < sound->bufferCount; ++j) sound->dataTransferred[j] = 1;
      }
      return 0;
    }
    MemFree(pcm);
    settings.dataType = 2;
  }
  if (AddStreamSoundMemImage(&settings, image, size, 0, handle, 2, -1, fromLoadingThread) != 0) return -1;
  SetupStreamSoundPlay(handle, fromLoadingThread);
  return 0;
}

// The whole file through the engine's file layer.
int LoadFileToMem(const char* path, void** image, uint32_t* size) {
  StreamHandle file = FileAccessOpen(path, 0, 1, 0);
  if (!file) {
    LogPrintf("右記のファイルのオープンに失敗しました：%s", path);
    return -1;
  }
  FileAccessSeek(file, 0, 2);
  const int64_t length = FileAccessTell(file);
  FileAccessSeek(file, 0, 0);
  void* data = length >= 0 && length <= 0xFFFFFFFFll ? TK_MALLOC(std::max<size_t>(static_cast<size_t>(length), 1))
                                                      : nullptr;
  if (!data) {
    LogPrintf("右記のファイルのロードに必要なメモリの確保に失敗しました：%s", path);
    FileAccessClose(file);
    return -1;
  }
  const size_t got = FileAccessRead(data, 1, static_cast<size_t>(length), file);
  FileAccessClose(file);
  *image = data;
  *size = static_cast<uint32_t>(got);
  return 0;
}

int LoadSoundMemBody(const SoundLoadSettings* settings, int handle, const char* path, int bufferNum,
                     int unionHandle, int fromLoadingThread) {
  if (!SoundSystem.device) return -1;
  if (settings->dataType != 0) {
    if (AddStreamSoundFile(settings, path, 0, handle, settings->dataType, unionHandle, fromLoadingThread) != 0)
      return -1;
    SetupStreamSoundPlay(handle, fromLoadingThread);
    return 0;
  }
  void* image = nullptr;
  uint32_t size = 0;
  if (LoadFileToMem(path, &image, &size) != 0) {
    LogPrintf("右記の音声ファイルのロードに失敗しました_1：%s", path);
    return -1;
  }
  const int result = LoadSoundMemFromImage(settings, handle, image, size, std::min(bufferNum, kMaxSoundBuffers),
                                           fromLoadingThread);
  if (result != 0) LogPrintf("右記の音声ファイルのロードに失敗しました_2：%s", path);
  MemFree(image);
  return result;
}

void LoadSoundMemAsyncRoutine(AsyncLoadRequest* request) {
  AsyncLoadParams p;
  std::memcpy(&p, request->params, sizeof(p));
  const char* path = reinterpret_cast<const char*>(request->params + sizeof(p));
  const int result = LoadSoundMemBody(&p.settings, p.handle, path, p.bufferNum, p.unionHandle, 1);
  DecHandleAsyncLoadCount(&SoundSystem.soundHandles, p.handle);
  if (result != 0) SubHandle(&SoundSystem.soundHandles, p.handle);
}

// The play buffer for the next play: the one after the last, stopped and positioned. Its index, -1, or
// -2 when it is busy and the play must not restart it.
int SetupNextPlayBuffer(SoundHandleRecord* sound, int topPositionFlag) {
  uint32_t previousCursor = 0;
  if (sound->buffers[sound->nextBuffer].valid)
    SoundBuffer_GetCurrentPosition(&sound->buffers[sound->nextBuffer], &previousCursor, nullptr);
  int next = sound->nextBuffer + 1;
  if (next >= sound->bufferCount) next = 0;
  sound->nextBuffer = next;
  SoundBuffer* b = &sound->buffers[next];
  if (!b->valid) return -1;
  uint32_t status = 0;
  if (SoundBuffer_GetStatus(b, &status) != 0) return -1;
  if (status & DSBSTATUS_PLAYING) {
    if (topPositionFlag == 0) return -2;
    SoundBuffer_Stop(b);
  }
  SoundBuffer_SetCurrentPosition(b, topPositionFlag == 1 ? 0 : previousCursor);
  SoundBuffer_SetVolume(b, sound->volume);
  SoundBuffer_SetPan(b, sound->pan);
  SoundBuffer_SetFrequency(b, static_cast<uint32_t>(sound->frequency));
  return next;
}

}  // namespace

SoundHandleRecord* GetSoundHandleRecord(int handle, bool acceptLoading) {
  if (!SoundSystem.up || !SoundSystem.device || handle < 0) return nullptr;
  if ((static_cast<uint32_t>(handle) & HANDLE_TYPE_MASK) != SoundSystem.soundHandles.typeBits) return nullptr;
  HandleHeader* h = GetHandleRecord(&SoundSystem.soundHandles, handle);
  if (!h || (!acceptLoading && h->asyncLoadCount.load() != 0)) return nullptr;
  return reinterpret_cast<SoundHandleRecord*>(h);
}

int SamplesToMilliseconds(int64_t samples, uint32_t samplesPerSecond) {
  if (samplesPerSecond == 0) return 0;
  return static_cast<int>(std::min<int64_t>(samples * 1000 / samplesPerSecond, INT32_MAX));
}

int GetSoundLoadSettings(SoundLoadSettings* out) {
  if (!out) return -1;
  *out = SoundSystem.loadSettings;
  return 0;
}

int LoadSoundMem(const char* path, int bufferNum, int unionHandle) {
  SoundLoadSettings settings = SoundSystem.loadSettings;
  return LoadSoundMemBase(&settings, path, bufferNum, unionHandle, GetAsyncLoadFlag(), 0);
}

int LoadSoundMemBase(const SoundLoadSettings* settings, const char* path, int bufferNum, int unionHandle,
                     int asyncFlag, int fromLoadingThread) {
  if (!SoundSystem.device || !settings || !path) return -1;
  // A sound with no play buffer could never play.
  if (bufferNum <= 0) {
    LogPrintf("再生用バッファの数が不正です( %d )：%s", bufferNum, path);
    return -1;
  }
  const int handle = AddHandle(&SoundSystem.soundHandles, -1);
  if (handle == -1) return -1;
  if (asyncFlag && !fromLoadingThread) {
    const size_t pathBytes = std::strlen(path) + 1;
    AsyncLoadRequest* request = AllocAsyncLoadRequest(sizeof(AsyncLoadParams) + pathBytes);
    if (!request) {
      SubHandle(&SoundSystem.soundHandles, handle);
      return -1;
    }
    AsyncLoadParams p{*settings, handle, bufferNum, unionHandle};
    std::memcpy(request->params, &p, sizeof(p));
    std::memcpy(request->params + sizeof(p), path, pathBytes);
    request->routine = LoadSoundMemAsyncRoutine;
    // Raised before the request is queued, so a quick loading thread cannot lower it first.
    IncHandleAsyncLoadCount(&SoundSystem.soundHandles, handle, 0);
    if (AddAsyncLoadRequest(request, "LoadSoundMemBase") < 0) {
      MemFree(request);
      DecHandleAsyncLoadCount(&SoundSystem.soundHandles, handle);
      SubHandle(&SoundSystem.soundHandles, handle);
      return -1;
    }
    return handle;
  }
  if (LoadSoundMemBody(settings, handle, path, bufferNum, unionHandle, fromLoadingThread) != 0) {
    SubHandle(&SoundSystem.soundHandles, handle);
    return -1;
  }
  return handle;
}

int PlaySoundMem(int handle, int playType, int topPositionFlag) {
  if (!SoundSystem.device) return -1;
  WaitWhileInactive();
  SoundHandleRecord* sound = GetSoundHandleRecord(handle);
  if (!sound) return -1;
  if (sound->streamFlag) return PlayStreamSoundMem(handle, playType, topPositionFlag);
  const int index = SetupNextPlayBuffer(sound, topPositionFlag);
  if (index == -2) return 0;
  if (index < 0) return -1;
  if (SoundBuffer_Play(&sound->buffers[index], playType == PlayType::Loop) != 0) return -1;
  if (playType == PlayType::Wait) WaitSoundEnd(handle);
  return 0;
}

void WaitSoundEnd(int handle) {
  for (;;) {
    if (IsSoundMemPlaying(handle) != 1) break;
    AudioDevice_Wait(SoundSystem.device, 1);
    if (ProcessWindowMessages() != 0) break;
  }
}

int StopSoundMem(int handle) {
  SoundHandleRecord* sound = GetSoundHandleRecord(handle);
  if (!sound) return -1;
  if (sound->streamFlag) return StopStreamSoundMem(handle);
  for (int i = 0; i < sound->bufferCount; ++i) {
    sound->pauseMark[i] = 0;
    sound->wasPlaying[i] = 0;
    uint32_t status = 0;
    if (SoundBuffer_GetStatus(&sound->buffers[i], &status) != 0) return -1;
    if (status & DSBSTATUS_PLAYING) SoundBuffer_Stop(&sound->buffers[i]);
  }
  return 0;
}

int IsSoundMemPlaying(int handle) {
  SoundHandleRecord* sound = GetSoundHandleRecord(handle);
  if (!sound) return -1;
  if (sound->streamFlag) return IsStreamSoundPlaying(handle);
  for (int i = 0; i < sound->bufferCount; ++i) {
    uint32_t status = 0;
    if (SoundBuffer_GetStatus(&sound->buffers[i], &status) == 0 && (status & DSBSTATUS_PLAYING)) return 1;
  }
  return 0;
}

int IsSoundMemPlaying(int handle) { return IsSoundMemPlaying(handle); }

int SetVolumeSoundMem(int volume, int handle) {
  SoundHandleRecord* sound = GetSoundHandleRecord(handle);
  if (!sound) return -1;
  if (volume > 255) volume = 255;
  int level;
  if (volume <= 0) {
    level = DSBVOLUME_MIN;
  } else {
    // Truncated toward zero; 1 gives -2406, 128 gives -299, 255 gives 0.
    level = std::max<int>(DSBVOLUME_MIN, static_cast<int>(std::log10(volume / 255.0) * 10.0 * 100.0));
  }
  for (int i = 0; i < sound->bufferCount; ++i) SoundBuffer_SetVolume(&sound->buffers[i], level);
  sound->volume = level;
  return 0;
}

int GetSoundCurrentTime(int handle) {
  SoundHandleRecord* sound = GetSoundHandleRecord(handle);
  if (!sound) return -1;
  if (sound->streamFlag) return GetStreamSoundCurrentTime(handle);
  uint32_t cursor = 0;
  SoundBuffer* b = &sound->buffers[sound->nextBuffer];
  if (b->valid) SoundBuffer_GetCurrentPosition(b, &cursor, nullptr);
  const uint32_t align = sound->format.nBlockAlign ? sound->format.nBlockAlign : 1;
  return SamplesToMilliseconds(cursor / align, sound->format.nSamplesPerSec);
}

int GetSoundTotalSample(int handle) {
  SoundHandleRecord* sound = GetSoundHandleRecord(handle);
  if (!sound) return -1;
  if (sound->streamFlag) return static_cast<int>(sound->streamTotalSamples);
  const uint32_t align = sound->format.nBlockAlign ? sound->format.nBlockAlign : 1;
  return static_cast<int>(sound->pcmBytes / align);
}

int GetSoundTotalTime(int handle) {
  SoundHandleRecord* sound = GetSoundHandleRecord(handle);
  if (!sound) return -1;
  return SamplesToMilliseconds(GetSoundTotalSample(handle), sound->format.nSamplesPerSec);
}

int DeleteSoundMem(int handle) {
  if (!SoundSystem.up) return -1;
  return SubHandle(&SoundSystem.soundHandles, handle);
}

int InitSoundMem() {
  if (!SoundSystem.up) return -1;
  return DeleteAllHandles(&SoundSystem.soundHandles, nullptr);
}
