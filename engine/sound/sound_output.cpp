// Sound output: start and end of the device, play buffers, pause on deactivation, the sound thread.
#include <algorithm>
#include <system_error>
#include <cstring>

#include "engine/sound/sound_internal.h"
#include "platform/media/media.h"

SoundSystemState SoundSystem;

namespace {

constexpr uint32_t kPrimaryRateLimit = 44100;
constexpr uint32_t kSilentBufferBlocks = 100;

int InitSoundHandle(HandleHeader* record) {
  auto* s = reinterpret_cast<SoundHandleRecord*>(record);
  s->volume = 0;
  s->pan = 0;
  s->frequency = 0;
  s->streamSourceCount = 0;
  return 0;
}

int DeleteSoundHandle(HandleHeader* record) {
  auto* s = reinterpret_cast<SoundHandleRecord*>(record);
  if (s->streamFlag) {
    DeleteStreamSoundHandle(s);
    return 0;
  }
  if (s->buffers[0].valid) {
    for (int i = 0; i < kMaxSoundBuffers; ++i)
      if (s->buffers[i].valid) SoundBuffer_Stop(&s->buffers[i]);
  }
  for (int i = 0; i < kMaxSoundBuffers; ++i)
    if (s->buffers[i].valid) SoundBuffer_Release(&s->buffers[i]);
  if (s->pcmRefCount && --*s->pcmRefCount == 0) {
    MemFree(s->pcm);
    MemFree(s->pcmRefCount);
  }
  s->pcm = nullptr;
  s->pcmRefCount = nullptr;
  return 0;
}

void EndHandleSets() {
  TermHandleManager(&SoundSystem.soundHandles);
  TermHandleManager(&SoundSystem.softSoundHandles);
  TermHandleManager(&SoundSystem.musicHandles);
}

void ReleaseDevice() {
  SetMediaAudioDevice(nullptr);  // movie sound lets go of its buffers first
  AudioDevice_Release(SoundSystem.device);  // releases the buffers still made on it
  SoundSystem.device = nullptr;
  SoundSystem.primary = nullptr;
  SoundSystem.silent = nullptr;
}

bool SoundDeviceEnumCallback(const char* module, const char* description, void*) {
  LogPrintf("モジュール名:%15s  ドライバ記述:%s ", module, description);
  return true;
}

void ReportDevices() {
  DSCAPS caps{};
  AudioDevice_GetCaps(SoundSystem.device, &caps);
  LogIndentAdd();
  LogPrint("DirectSound デバイスを列挙します\n");
  if (AudioDevice_Enumerate(SoundDeviceEnumCallback, nullptr) != 0) {
    LogPrint("DSOUND.DLL のロードに失敗しました\n");
    LogIndentSub();
    return;
  }
  auto ok = [&](uint32_t flag) { return (caps.dwFlags & flag) ? "OK" : "NO"; };
  LogPrintf("最大サンプリングレート:%.2fKHz 最小サンプリングレート:%.2fKHz ",
            caps.dwMaxSecondarySampleRate / 1000.0, caps.dwMinSecondarySampleRate / 1000.0);
  LogPrintf("総サウンドメモリ領域:%.2fKB 空きサウンドメモリ領域:%.2fKB \n", caps.dwTotalHwMemBytes / 1024.0,
            caps.dwFreeHwMemBytes / 1024.0);
  LogPrint("利用可能サンプリング精度\n");
  LogPrintf(" プライマリ １６bit = %s  ８bit = %s ", ok(DSCAPS_PRIMARY16BIT), ok(DSCAPS_PRIMARY8BIT));
  LogPrintf(" セカンダリ １６bit = %s  ８bit = %s \n", ok(DSCAPS_SECONDARY16BIT), ok(DSCAPS_SECONDARY8BIT));
  LogPrint("利用可能チャンネル\n");
  LogPrintf(" プライマリ MONO = %s  STEREO = %s ", ok(DSCAPS_PRIMARYMONO), ok(DSCAPS_PRIMARYSTEREO));
  LogPrintf(" セカンダリ MONO = %s  STEREO = %s \n", ok(DSCAPS_SECONDARYMONO), ok(DSCAPS_SECONDARYSTEREO));
  LogIndentSub();
}

void MakeSilentBuffer() {
  WAVEFORMATEX f{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
  DSBUFFERDESC desc{36, DSBCAPS_GLOBALFOCUS | DSBCAPS_STATIC, kSilentBufferBlocks * f.nBlockAlign, &f};
  AudioBuffer* b = nullptr;
  if (AudioDevice_CreateBuffer(SoundSystem.device, &desc, &b) != 0) {
    LogPrint("無音バッファの作成に失敗しました");
    return;
  }
  void *p1, *p2;
  uint32_t n1, n2;
  if (AudioBuffer_Lock(b, 0, desc.dwBufferBytes, &p1, &n1, &p2, &n2) != 0) {
    LogPrint("無音バッファのロックに失敗しました");
    AudioBuffer_Release(b);
    return;
  }
  std::memset(p1, 0, n1);
  if (p2) std::memset(p2, 0, n2);
  AudioBuffer_Unlock(b, p1, n1, p2, n2);
  AudioBuffer_Play(b, DSBPLAY_LOOPING);
  SoundSystem.silent = b;
}

}  // namespace

int InitSoundOutput() {
  SoundSystemState& s = SoundSystem;
  if (s.up || s.device) return -1;
  InitHandleManager(&s.soundHandles, HandleType::Sound, sizeof(SoundHandleRecord), 32768, InitSoundHandle,
                    DeleteSoundHandle, "サウンド");
  InitHandleManager(&s.softSoundHandles, HandleType::SoftSound, sizeof(SoftSoundHandleRecord), 8192, nullptr,
                    DeleteSoftSoundHandle, "ソフトサウンド");
  InitHandleManager(&s.musicHandles, HandleType::Music, sizeof(MusicHandleRecord), 256, InitMusicHandle,
                    DeleteMusicHandle, "ミュージック");

  LogPrint("DirectSound の初期化を行います\n");
  LogPrint("DirectSound インターフェースの取得を行います....  ");
  s.device = AudioDevice_Create();
  if (!s.device) {
    LogPrint("DirectSoundインターフェースの作成に失敗しました\n");
    EndHandleSets();
    return -1;
  }
  LogPrint("成功\n");
  LogPrint("引き続きインターフェースの初期化処理...  ");
  if (int code = AudioDevice_Initialize(s.device); code != 0) {
    LogPrint("初期化に失敗しました\n");
    LogPrintf("エラーコード %x", static_cast<unsigned>(code));
    ReleaseDevice();
    EndHandleSets();
    return -1;
  }
  LogPrint("成功\n");

  DSBUFFERDESC primaryDesc{36, DSBCAPS_PRIMARYBUFFER, 0, nullptr};
  if (AudioDevice_CreateBuffer(s.device, &primaryDesc, &s.primary) != 0) {
    LogPrint("DirectSoundのプライマリサウンドバッファの作成に失敗しました\n");
    ReleaseDevice();
    EndHandleSets();
    return -1;
  }
  DSCAPS caps{};
  AudioDevice_GetCaps(s.device, &caps);
  WAVEFORMATEX& pf = s.primaryFormat;
  pf.wFormatTag = WAVE_FORMAT_PCM;
  pf.nChannels = (caps.dwFlags & DSCAPS_PRIMARYSTEREO) ? 2 : 1;
  pf.wBitsPerSample = (caps.dwFlags & DSCAPS_PRIMARY16BIT) ? 16 : 8;
  pf.nSamplesPerSec = std::min(caps.dwMaxSecondarySampleRate, kPrimaryRateLimit);
  pf.nBlockAlign = static_cast<uint16_t>(pf.wBitsPerSample / 8 * pf.nChannels);
  pf.nAvgBytesPerSec = pf.nBlockAlign * pf.nSamplesPerSec;
  pf.cbSize = 0;
  if (AudioBuffer_SetFormat(s.primary, &pf) != 0)
    LogPrint("DirectSoundのプライマリサウンドバッファのフォーマット設定に失敗しました\n");

  MakeSilentBuffer();

  s.loadSettings = SoundLoadSettings{0, 0, 2, 0};
  ListInit(&s.streamSoundList.head, &s.streamSoundList.tail);
  ListInit(&s.softSoundPlayerList.head, &s.softSoundPlayerList.tail);

  ReportDevices();

  s.up = 1;
  DeleteAllHandles(&s.soundHandles, nullptr);
  DeleteAllHandles(&s.softSoundHandles, IsSoftSoundPlayer);
  DeleteAllHandles(&s.softSoundHandles, IsNotSoftSoundPlayer);

  if (GetLogicalProcessorCount() > 1) {
    s.threadEnd.store(0);
    try {
      s.soundThread = std::thread(SoundThread);
    } catch (const std::system_error&) {
      // Without the thread nothing would refill the streams: start-up fails whole.
      LogPrint("サウンドスレッドの作成に失敗しました\n");
      s.up = 0;
      if (s.silent) AudioBuffer_Stop(s.silent);
      ReleaseDevice();
      EndHandleSets();
      return -1;
    }
  }
  SetMediaAudioDevice(s.device);  // movies' sound plays here too
  LogPrint("DirectSound の初期化は正常に終了しました\n");
  return 0;
}

int TermSoundOutput() {
  SoundSystemState& s = SoundSystem;
  if (!s.up || !s.device) return -1;
  EndSoundThread();  // before the locks it takes go with the handle sets
  DeleteAllHandles(&s.soundHandles, nullptr);
  DeleteAllHandles(&s.softSoundHandles, IsSoftSoundPlayer);
  DeleteAllHandles(&s.softSoundHandles, IsNotSoftSoundPlayer);
  DeleteAllHandles(&s.musicHandles, nullptr);
  DeleteMidiTempFile();
  EndHandleSets();
  if (s.primary) AudioBuffer_Release(s.primary);
  if (s.silent) {
    AudioBuffer_Stop(s.silent);
    AudioBuffer_Release(s.silent);
  }
  ReleaseDevice();
  LogPrint("DirectSound の終了処理は正常に終了しました\n");
  s.up = 0;
  return 0;
}

void EndSoundThread() {
  std::thread& thread = SoundSystem.soundThread;
  if (!thread.joinable()) return;
  if (thread.get_id() == std::this_thread::get_id()) {
    thread.detach();  // exit() was called on the sound thread itself
    return;
  }
  SoundSystem.threadEnd.store(1);
  SoundSystem.threadWake.notify_all();
  thread.join();
}

int PauseSoundMemAll(int pause) {
  SoundSystemState& s = SoundSystem;
  if (!s.up || !s.device) return -1;
  LockHandleManager(&s.soundHandles);
  for (HandleHeader* h = s.soundHandles.first; h; h = h->next) {
    auto* sound = reinterpret_cast<SoundHandleRecord*>(h);
    for (int i = 0; i < kMaxSoundBuffers; ++i) {
      SoundBuffer* b = &sound->buffers[i];
      if (!b->valid) continue;
      if (pause) {
        if (sound->pauseMark[i]) continue;
        uint32_t status = 0;
        if (SoundBuffer_GetStatus(b, &status) != 0) {
          sound->pauseMark[i] = 0;
          continue;
        }
        sound->pauseMark[i] = 1;
        sound->wasPlaying[i] = (status & DSBSTATUS_PLAYING) ? 1 : 0;
        if (sound->wasPlaying[i]) SoundBuffer_Stop(b);
      } else {
        if (sound->pauseMark[i] && sound->wasPlaying[i]) SoundBuffer_Play(b, b->loop);
        sound->pauseMark[i] = 0;
      }
    }
  }
  UnlockHandleManager(&s.soundHandles);
  return 0;
}

// ---------------------------------------------------------------- play buffers

int SoundBuffer_Create(SoundBuffer* b, const DSBUFFERDESC* desc) {
  if (!b || !desc || b->valid || !SoundSystem.device) return -1;
  AudioBuffer* made = nullptr;
  if (AudioDevice_CreateBuffer(SoundSystem.device, desc, &made) != 0) return -1;
  b->buffer = made;
  b->valid = 1;
  b->loop = 0;
  if (desc->lpwfxFormat) b->format = *desc->lpwfxFormat;
  return 0;
}

int SoundBuffer_Duplicate(SoundBuffer* b, SoundBuffer* source) {
  if (!b || !source || !source->valid || b->valid || !SoundSystem.device) return -1;
  AudioBuffer* made = nullptr;
  if (AudioDevice_DuplicateBuffer(SoundSystem.device, source->buffer, &made) != 0) return -1;
  b->buffer = made;
  b->valid = 1;
  b->loop = 0;
  b->format = source->format;
  return 0;
}

int SoundBuffer_Release(SoundBuffer* b) {
  if (!b || !b->valid) return -1;
  AudioBuffer_Release(b->buffer);
  b->buffer = nullptr;
  b->valid = 0;
  return 0;
}

int SoundBuffer_Play(SoundBuffer* b, int loop) {
  if (!b || !b->valid) return -1;
  b->loop = loop;
  return AudioBuffer_Play(b->buffer, loop ? static_cast<uint32_t>(DSBPLAY_LOOPING) : 0u);
}

int SoundBuffer_Stop(SoundBuffer* b) {
  if (!b || !b->valid) return -1;
  AudioBuffer_Stop(b->buffer);
  return 0;
}

int SoundBuffer_GetStatus(SoundBuffer* b, uint32_t* status) {
  if (!b || !b->valid) return -1;
  return AudioBuffer_GetStatus(b->buffer, status) == 0 ? 0 : -1;
}

int SoundBuffer_SetVolume(SoundBuffer* b, int volume) {
  if (!b || !b->valid) return -1;
  AudioBuffer_SetVolume(b->buffer, volume);
  return 0;
}

int SoundBuffer_SetPan(SoundBuffer* b, int pan) {
  if (!b || !b->valid) return -1;
  AudioBuffer_SetPan(b->buffer, pan);
  return 0;
}

int SoundBuffer_SetFrequency(SoundBuffer* b, uint32_t frequency) {
  if (!b || !b->valid) return -1;
  AudioBuffer_SetFrequency(b->buffer, frequency);
  return 0;
}

int SoundBuffer_GetCurrentPosition(SoundBuffer* b, uint32_t* playCursor, uint32_t* writeCursor) {
  if (!b || !b->valid) return -1;
  AudioBuffer_GetCurrentPosition(b->buffer, playCursor, writeCursor);
  return 0;
}

int SoundBuffer_GetConsumedFrames(SoundBuffer* b, uint64_t* frames) {
  if (!b || !b->valid) return -1;
  return AudioBuffer_GetConsumedFrames(b->buffer, frames) == 0 ? 0 : -1;
}

int SoundBuffer_SetCurrentPosition(SoundBuffer* b, uint32_t position) {
  if (!b || !b->valid) return -1;
  AudioBuffer_SetCurrentPosition(b->buffer, position);
  return 0;
}

int SoundBuffer_Lock(SoundBuffer* b, uint32_t offset, uint32_t bytes, void** part1, uint32_t* bytes1,
                     void** part2, uint32_t* bytes2) {
  if (!b || !b->valid) return -1;
  return AudioBuffer_Lock(b->buffer, offset, bytes, part1, bytes1, part2, bytes2) == 0 ? 0 : -1;
}

int SoundBuffer_Unlock(SoundBuffer* b, void* part1, uint32_t bytes1, void* part2, uint32_t bytes2) {
  if (!b || !b->valid) return -1;
  return AudioBuffer_Unlock(b->buffer, part1, bytes1, part2, bytes2) == 0 ? 0 : -1;
}

int FillSilence(const SoundHandleRecord* sound, void* part1, uint32_t bytes1, void* part2, uint32_t bytes2,
                uint32_t written) {
  const int value = sound->format.wBitsPerSample == 8 ? 128 : 0;  // 8-bit samples are unsigned
  if (written < bytes1) {
    std::memset(static_cast<uint8_t*>(part1) + written, value, bytes1 - written);
    written = bytes1;
  }
  if (part2 && written < bytes1 + bytes2) {
    const uint32_t done = written - bytes1;
    std::memset(static_cast<uint8_t*>(part2) + done, value, bytes2 - done);
  }
  return 0;
}

int CreateSoundHandleBuffers(int handle, const WAVEFORMATEX* format, uint32_t pcmBytes, int streamFlag,
                             int bufferNum, int fromLoadingThread) {
  if (!SoundSystem.device || !format) return -1;
  SoundHandleRecord* sound = GetSoundHandleRecord(handle, fromLoadingThread != 0);
  if (!sound) return -1;
  if (!streamFlag) {
    const int count = std::min(bufferNum, kMaxSoundBuffers);
    int made = 0;
    for (int i = 0; i < count; ++i) {
      if (i > 0) {
        if (SoundBuffer_Duplicate(&sound->buffers[i], &sound->buffers[0]) != 0) break;
      } else {
        const uint32_t flags = DSBCAPS_CTRLVOLUME | DSBCAPS_CTRLPAN | DSBCAPS_CTRLFREQUENCY | DSBCAPS_STATIC;
        DSBUFFERDESC desc{36, flags | DSBCAPS_GLOBALFOCUS, pcmBytes, format};
        if (SoundBuffer_Create(&sound->buffers[0], &desc) != 0) {
          desc.dwFlags = flags;
          if (SoundBuffer_Create(&sound->buffers[0], &desc) != 0) {
            LogPrint("DirectSoundBuffer の作成に失敗しました\n");
            return -1;
          }
        }
      }
      sound->dataTransferred[i] = 0;
      ++made;
    }
    sound->bufferCount = made;
  } else {
    const uint32_t align = format->nBlockAlign ? format->nBlockAlign : 1;
    const uint32_t ring = (format->nAvgBytesPerSec + align - 1) / align * align;
    const uint32_t flags = DSBCAPS_GETCURRENTPOSITION2 | DSBCAPS_GLOBALFOCUS | DSBCAPS_CTRLVOLUME |
                           DSBCAPS_CTRLPAN | DSBCAPS_CTRLFREQUENCY | DSBCAPS_STATIC;
    DSBUFFERDESC desc{36, flags, ring, format};
    // A format the mixer cannot play is refused here: a bad file must not end the program.
    if (SoundBuffer_Create(&sound->buffers[0], &desc) != 0) {
      LogPrint("ストリーム風サウンドバッファの作成に失敗しました");
      return -1;
    }
    // The ring starts silent: 8-bit silence is 128, not the zero a new buffer holds.
    void *p1, *p2;
    uint32_t n1, n2;
    if (SoundBuffer_Lock(&sound->buffers[0], 0, ring, &p1, &n1, &p2, &n2) == 0) {
      std::memset(p1, format->wBitsPerSample == 8 ? 128 : 0, n1);
      SoundBuffer_Unlock(&sound->buffers[0], p1, n1, p2, n2);
    }
    sound->streamRingSize = ring;
    sound->bufferCount = 1;
  }
  sound->streamFlag = streamFlag;
  if (streamFlag) ListAddNode(&SoundSystem.streamSoundList.head, &sound->streamNode, handle, sound);
  return 0;
}
