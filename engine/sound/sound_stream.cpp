// Stream sounds: one second of play buffer used as a ring, decoded just ahead of the play cursor,
// and the sound thread that keeps the rings filled.
#include <algorithm>
#include <chrono>
#include <cstring>

#include "engine/sound/sound_internal.h"

namespace {

constexpr int kFirstFillPending = -800;
constexpr int kMaxStreamSources = 3;
constexpr int kSoundThreadPeriodMs = 30;
constexpr uint64_t kLeadUnits = 512;  // the lead is measured in 1/512 second
constexpr uint64_t kLowLead = 192;    // 0.375 second: below it the ring is topped up to it

struct SoundLock {
  SoundLock() { LockHandleManager(&SoundSystem.soundHandles); }
  ~SoundLock() { UnlockHandleManager(&SoundSystem.soundHandles); }
  SoundLock(const SoundLock&) = delete;
  SoundLock& operator=(const SoundLock&) = delete;
};

uint32_t BlockAlign(const SoundHandleRecord* s) { return s->format.nBlockAlign ? s->format.nBlockAlign : 1; }

uint32_t CutToBlock(uint64_t bytes, uint32_t align) { return static_cast<uint32_t>(bytes / align * align); }

// 3/4 second: more than this ahead of the cursor and a pass writes nothing.
uint32_t FullLeadBytes(const SoundHandleRecord* s) {
  return CutToBlock(uint64_t{s->format.nAvgBytesPerSec} * 192 / 256, BlockAlign(s));
}

uint32_t EighthSecondBytes(const SoundHandleRecord* s) {
  return CutToBlock(s->format.nAvgBytesPerSec / 8, BlockAlign(s));
}

bool BufferPlaying(SoundHandleRecord* s) {
  uint32_t status = 0;
  return SoundBuffer_GetStatus(&s->buffers[0], &status) == 0 && (status & DSBSTATUS_PLAYING);
}

// Ring bytes played since the stream was prepared. The consumed-frames count never wraps, so this stays
// right however long a refill is late.
uint64_t RingBytesPlayed(SoundHandleRecord* s) {
  uint64_t consumed = 0;
  if (SoundBuffer_GetConsumedFrames(&s->buffers[0], &consumed) != 0 || consumed < s->streamConsumedBase)
    return s->streamLastPlayed;
  return (consumed - s->streamConsumedBase) * BlockAlign(s);
}

// Back to the start of the first source, to be prepared again.
void RewindStream(SoundHandleRecord* s) {
  s->streamDecodedBytes = 0;
  s->streamPlayedBytes = 0;
  s->streamLoop = 0;
  s->streamLoopCounter = 0;
  s->streamCurrentSource = 0;
  s->streamPrepared = 0;
  s->streamEnd = 0;
}

// A locked stretch of the ring: two parts when it wraps.
struct RingRegion {
  uint8_t* part1;
  uint32_t bytes1;
  uint8_t* part2;
  uint32_t bytes2;
  uint32_t Size() const { return bytes1 + bytes2; }
};

// Decodes from the source into the region from byte `at` on, first part first. *ended is set when
// the source gave less than asked.
uint32_t DecodeIntoRegion(SoundConvertRecord* convert, const RingRegion& r, uint32_t at, bool* ended) {
  uint32_t done = 0;
  *ended = false;
  auto run = [&](uint8_t* dest, uint32_t want) {
    const int got = std::max(RunSoundConvert(convert, dest, want), 0);
    done += static_cast<uint32_t>(got);
    if (static_cast<uint32_t>(got) < want) *ended = true;
  };
  if (at < r.bytes1) run(r.part1 + at, r.bytes1 - at);
  if (!*ended && at + done < r.Size()) {
    const uint32_t from = at + done - r.bytes1;
    run(r.part2 + from, r.bytes2 - from);
  }
  return done;
}

// The current source gave out. Returns true when filling goes on (another source, or the loop back
// to the first), false when it stops for this pass.
bool StreamSourceEnd(SoundHandleRecord* s, const RingRegion& r, uint32_t* written) {
  const int current = s->streamCurrentSource;
  const bool last = current == s->streamSourceCount - 1;
  const bool repeatsDone = s->streamLoopCounter + 1 > s->streamSources[current].loopCount;
  // A loop is not written twice before the cursor has passed the previous one.
  if (repeatsDone && last && s->streamPlayType == PlayType::Loop && s->streamLoop) return false;
  ++s->streamLoopCounter;
  int next = current;
  if (repeatsDone) {
    s->streamLoopCounter = 0;
    next = current + 1;
    if (next >= s->streamSourceCount) {
      s->streamFinished = 1;
      if (s->streamPlayType != PlayType::Loop) {
        s->streamEnd = 1;
        s->streamEndWritePosition = s->streamWritten + *written;
        const uint32_t limit = std::min(r.Size(), *written + EighthSecondBytes(s));
        FillSilence(s, r.part1, std::min(r.bytes1, limit), r.part2, limit > r.bytes1 ? limit - r.bytes1 : 0,
                    *written);
        *written = limit;
        return false;
      }
      next = 0;
      s->streamLoopStartBytes = 0;
      s->streamLoop = 1;
      s->streamLoopWritePosition = s->streamWritten + *written;
    }
  }
  s->streamCurrentSource = next;
  s->streamDecodedBytes = 0;
  SeekSoundConvert(&s->streamSources[next].convert, 0);
  return true;
}

// One refill pass over a prepared stream; the caller holds the sound lock. 0, or -1 when nothing was due.
int ProcessStreamRecord(SoundHandleRecord* s) {
  if (!s->streamFlag || !s->streamPrepared || s->streamRingSize == 0) return -1;
  UpdateStreamPlayPosition(s);
  const uint64_t played = s->streamLastPlayed;
  const uint32_t avg = s->format.nAvgBytesPerSec;
  uint32_t want;
  bool silence = false;
  if (s->streamEnd) {
    if (played >= s->streamEndWritePosition) {
      SoundBuffer_Stop(&s->buffers[0]);
      RewindStream(s);
      return 0;
    }
    if (s->streamWritten - std::min(played, s->streamWritten) > FullLeadBytes(s)) return -1;
    want = EighthSecondBytes(s);
    silence = true;
  } else if (s->streamWritePosition == kFirstFillPending) {
    want = FullLeadBytes(s);
  } else if (BufferPlaying(s)) {
    if (played > s->streamWritten) {
      // The refill fell behind the cursor: what it passed over was stale ring data, not the sound.
      const uint64_t skipped = played - s->streamWritten;
      s->streamWritten = played;
      s->streamPlayedBytes -= std::min(skipped, s->streamPlayedBytes);
    }
    const uint64_t lead = s->streamWritten - played;
    if (lead > FullLeadBytes(s)) return -1;
    const uint64_t units = lead * kLeadUnits / avg;
    want = units < kLowLead ? CutToBlock((kLowLead - units) * avg / kLeadUnits, BlockAlign(s))
                            : EighthSecondBytes(s);
  } else {
    return 0;
  }
  if (want == 0) return -1;

  RingRegion r{};
  void *p1 = nullptr, *p2 = nullptr;
  const uint32_t at = static_cast<uint32_t>(s->streamWritten % s->streamRingSize);
  if (SoundBuffer_Lock(&s->buffers[0], at, want, &p1, &r.bytes1, &p2, &r.bytes2) != 0) return -1;
  r.part1 = static_cast<uint8_t*>(p1);
  r.part2 = static_cast<uint8_t*>(p2);
  uint32_t written = 0;
  if (silence) {
    FillSilence(s, p1, r.bytes1, p2, r.bytes2, 0);
    written = r.Size();
  } else {
    while (written < r.Size() && !s->streamEnd) {
      bool ended = false;
      const uint32_t got = DecodeIntoRegion(&s->streamSources[s->streamCurrentSource].convert, r, written, &ended);
      written += got;
      s->streamDecodedBytes += got;
      if (ended && !StreamSourceEnd(s, r, &written)) break;
    }
  }
  SoundBuffer_Unlock(&s->buffers[0], p1, std::min(written, r.bytes1), p2,
                     written > r.bytes1 ? written - r.bytes1 : 0);
  s->streamWritten += written;
  s->streamWritePosition = static_cast<int>(s->streamWritten % s->streamRingSize);
  return 0;
}

// Rewound ring, the decode where the current source stands, and the first fill.
void PrepareStream(SoundHandleRecord* s) {
  SoundBuffer_SetCurrentPosition(&s->buffers[0], 0);
  SeekSoundConvert(&s->streamSources[s->streamCurrentSource].convert,
                   static_cast<int64_t>(s->streamDecodedBytes / BlockAlign(s)));
  s->streamWritePosition = kFirstFillPending;
  s->streamLastPlayed = 0;
  s->streamWritten = 0;
  s->streamEnd = 0;
  uint64_t consumed = 0;
  SoundBuffer_GetConsumedFrames(&s->buffers[0], &consumed);
  s->streamConsumedBase = consumed;
  s->streamPrepared = 1;
  ProcessStreamRecord(s);
}

void CloseSource(StreamSoundSource* src, bool ownStream) {
  const StreamFunctions added = src->convert.stream;
  const StreamHandle addedHandle = src->convert.streamHandle;
  TerminateSoundConvert(&src->convert);
  if (ownStream && src->kind == 3 && added.Close) added.Close(addedHandle);
  if (src->memStream) MemStreamClose(src->memStream);
  MemFree(src->image);
  *src = StreamSoundSource{};
}

void RecountTotalSamples(SoundHandleRecord* s) {
  uint64_t total = 0;
  for (int i = 0; i < s->streamSourceCount; ++i) {
    const int64_t bytes = GetSoundConvertDestSize(&s->streamSources[i].convert);
    if (bytes > 0) total += static_cast<uint64_t>(bytes) / BlockAlign(s);
  }
  s->streamTotalSamples = static_cast<uint32_t>(std::min<uint64_t>(total, INT32_MAX));
}

}  // namespace

int AddSreamSound(const SoundLoadSettings* settings, const StreamFunctions* functions, StreamHandle stream,
                  int loopCount, int handle, int sourceKind, int* canCloseStream, int unionHandle,
                  int fromLoadingThread) {
  if (canCloseStream) *canCloseStream = 0;
  if (!SoundSystem.device || !settings || !functions) return -1;
  SoundHandleRecord* s = GetSoundHandleRecord(handle, fromLoadingThread != 0);
  if (!s) return -1;
  {
    SoundLock lock;
    // A sound held whole in play buffers cannot take a source either, sources or not.
    if (!s->streamFlag && (s->streamSourceCount > 0 || s->bufferCount > 0)) {
      LogPrint("ストリーム風サウンドではないサウンドデータが渡されました in AddSreamSound\n");
      return -1;
    }
    if (s->streamSourceCount > 0 && BufferPlaying(s)) {
      LogPrint("既に再生中のストリームサウンドデータにデータを追加しようとしました\n");
      return -1;
    }
    if (s->streamSourceCount >= kMaxStreamSources) {
      LogPrint("ストリーム風サウンドの制御データ領域がいっぱいです\n");
      return -1;
    }
  }

  // Reading and opening the source can take a while: the sound lock is not held, so other streams
  // refill. The conversion is made in its slot, since the decoder keeps the record's address.
  StreamSoundSource& src = s->streamSources[s->streamSourceCount];
  src = StreamSoundSource{};
  src.kind = sourceKind == 3 ? 3 : 2;
  src.loopCount = static_cast<uint8_t>(std::clamp(loopCount, 0, 255));
  functions->Seek(stream, 0, 0);
  if (src.kind == 2) {
    if (ReadStreamToMem(functions, stream, &src.image, &src.imageSize) != 0) {
      LogPrint("音声データの読み込みに失敗しました");
      return -1;
    }
    src.memFunctions = GetMemStreamFunctions();
    src.memStream = MemStreamOpen(src.image, src.imageSize);
    if (!src.memStream || SetupSoundConvert(settings, src.memFunctions, src.memStream, &src.convert) != 0) {
      CloseSource(&src, false);
      LogPrint("音声データのオープンに失敗しました");
      return -1;
    }
  } else if (SetupSoundConvert(settings, functions, stream, &src.convert) != 0) {
    src = StreamSoundSource{};
    LogPrint("音声データのオープンに失敗しました");
    return -1;
  }
  WAVEFORMATEX format{};
  GetSoundConvertFormat(&src.convert, &format);

  SoundLock lock;
  // Only the source's own copy goes; a file the caller passed stays the caller's to close.
  auto refuse = [&](const char* message) {
    if (message) LogPrint(message);
    CloseSource(&src, false);
    return -1;
  };
  if (s->streamSourceCount > 0) {
    if (!SameWaveFormat(format, s->format)) return refuse("フォーマットの違う音声データは同時に使うことは出来ません");
  } else {
    if (CreateSoundHandleBuffers(handle, &format, 0, 1, 1, fromLoadingThread) != 0) return refuse(nullptr);
    s->format = format;
    s->frequency = static_cast<int>(format.nSamplesPerSec);
    s->streamWritePosition = kFirstFillPending;
  }
  s->streamOwnStream[s->streamSourceCount++] = 0;
  RecountTotalSamples(s);
  // A first fill that already ran into the end of the old last source wrote silence where the new
  // source belongs: fill again from the start.
  if (s->streamPrepared && (s->streamFinished || s->streamPlayedBytes == 0)) {
    RewindStream(s);
    s->streamFinished = 0;
    PrepareStream(s);
  }
  if (canCloseStream) *canCloseStream = src.kind == 2 ? 1 : 0;
  return 0;
}

int AddStreamSoundMemImage(const SoundLoadSettings* settings, const void* image, uint32_t size, int loopCount,
                           int handle, int sourceKind, int unionHandle, int fromLoadingThread) {
  StreamHandle stream = MemStreamOpen(image, size);
  if (!stream) {
    LogPrint("ＷＡＶファイルのストリームイメージハンドルの作成に失敗しました \n");
    return -1;
  }
  int canClose = 0;
  // The image is the caller's: the source always takes its own copy.
  if (AddSreamSound(settings, GetMemStreamFunctions(), stream, loopCount, handle, 2, &canClose, unionHandle,
                    fromLoadingThread) != 0) {
    LogPrint("ＷＡＶファイルのストリームイメージのセットアップに失敗しました \n");
    MemStreamClose(stream);
    return -1;
  }
  MemStreamClose(stream);
  return 0;
}

int AddStreamSoundFile(const SoundLoadSettings* settings, const char* path, int loopCount, int handle,
                       int sourceKind, int unionHandle, int fromLoadingThread) {
  if (!path) return -1;
  StreamHandle file = FileAccessOpen(path, 0, 1, 0);
  if (!file) {
    LogPrintf("右記のＷＡＶファイルのロードに失敗しました：%s \n", path);
    return -1;
  }
  int canClose = 0;
  if (AddSreamSound(settings, GetFileStreamFunctions(), file, loopCount, handle, sourceKind, &canClose,
                    unionHandle, fromLoadingThread) != 0) {
    FileAccessClose(file);
    LogPrintf("右記のＷＡＶファイルのセットアップに失敗しました：%s \n", path);
    return -1;
  }
  if (canClose) FileAccessClose(file);
  SoundLock lock;
  SoundHandleRecord* s = GetSoundHandleRecord(handle, fromLoadingThread != 0);
  if (s && s->streamSourceCount > 0) s->streamOwnStream[s->streamSourceCount - 1] = 1;
  return 0;
}

int SetupStreamSoundPlay(int handle, int fromLoadingThread) {
  SoundLock lock;
  SoundHandleRecord* s = GetSoundHandleRecord(handle, fromLoadingThread != 0);
  if (!s || !s->streamFlag || s->streamSourceCount == 0) return 0;
  if (!fromLoadingThread && BufferPlaying(s)) return 0;
  if (s->streamPrepared) return 0;
  PrepareStream(s);
  return 0;
}


int ProcessStreamSoundMem(int handle, int fromLoadingThread) {
  SoundLock lock;
  SoundHandleRecord* s = GetSoundHandleRecord(handle, fromLoadingThread != 0);
  if (!s) return -1;
  return ProcessStreamRecord(s);
}

int ProcessStreamSoundMemAll() {
  if (!SoundSystem.up || !SoundSystem.device) return -1;
  SoundLock lock;
  for (ListNode* n = SoundSystem.streamSoundList.head.next; n && n != &SoundSystem.streamSoundList.tail;
       n = n->next) {
    auto* s = static_cast<SoundHandleRecord*>(n->data);
    if (s->streamPrepared) ProcessStreamRecord(s);
  }
  return 0;
}

int UpdateStreamPlayPosition(SoundHandleRecord* s) {
  if (!s || !s->streamFlag || !s->streamPrepared) return 0;
  const uint64_t now = RingBytesPlayed(s);
  if (now == s->streamLastPlayed) return 0;
  if (s->streamLoop && now >= s->streamLoopWritePosition) {
    s->streamPlayedBytes = s->streamLoopStartBytes + (now - s->streamLoopWritePosition);
    s->streamLoop = 0;
  } else {
    s->streamPlayedBytes += now - s->streamLastPlayed;
  }
  s->streamLastPlayed = now;
  return 0;
}

int PlayStreamSoundMem(int handle, int playType, int topPositionFlag) {
  {
    SoundLock lock;
    SoundHandleRecord* s = GetSoundHandleRecord(handle);
    if (!s || !s->streamFlag || s->streamSourceCount == 0) return -1;
    if (BufferPlaying(s) && topPositionFlag == 0) return -1;
    StopStreamSoundMem(handle);
    const bool loopChanged = (playType == PlayType::Loop) != (s->streamPlayType == PlayType::Loop);
    if ((loopChanged && s->streamFinished) || (topPositionFlag == 1 && s->streamPlayedBytes != 0)) {
      RewindStream(s);
      s->streamFinished = 0;
    }
    s->streamPlayType = playType;
    SetupStreamSoundPlay(handle, 0);
    SoundBuffer_SetVolume(&s->buffers[0], s->volume);
    SoundBuffer_SetPan(&s->buffers[0], s->pan);
    SoundBuffer_SetFrequency(&s->buffers[0], static_cast<uint32_t>(s->frequency));
    // The ring always loops; the refill ends the sound.
    if (SoundBuffer_Play(&s->buffers[0], 1) != 0) return -1;
  }
  if (playType == PlayType::Wait) WaitSoundEnd(handle);
  return 0;
}

int StopStreamSoundMem(int handle) {
  SoundLock lock;
  SoundHandleRecord* s = GetSoundHandleRecord(handle);
  if (!s || !s->streamFlag) return -1;
  UpdateStreamPlayPosition(s);
  uint32_t status = 0;
  if (SoundBuffer_GetStatus(&s->buffers[0], &status) != 0) return -1;
  if (status & DSBSTATUS_PLAYING) SoundBuffer_Stop(&s->buffers[0]);
  // Also when a focus loss had stopped it: the return of focus must not start it again.
  s->pauseMark[0] = 0;
  s->wasPlaying[0] = 0;
  return 0;
}

int IsStreamSoundPlaying(int handle) {
  SoundHandleRecord* s = GetSoundHandleRecord(handle);
  if (!s) return -1;
  return BufferPlaying(s) ? 1 : 0;
}

int GetStreamSoundCurrentTime(int handle) {
  SoundLock lock;
  SoundHandleRecord* s = GetSoundHandleRecord(handle);
  if (!s || !s->streamFlag) return -1;
  UpdateStreamPlayPosition(s);
  const uint32_t rate = s->format.nSamplesPerSec;
  const int ms = SamplesToMilliseconds(static_cast<int64_t>(s->streamPlayedBytes / BlockAlign(s)), rate);
  return std::min(ms, SamplesToMilliseconds(s->streamTotalSamples, rate));
}

void DeleteStreamSoundHandle(SoundHandleRecord* s) {
  SoundLock lock;
  if (s->buffers[0].valid) SoundBuffer_Stop(&s->buffers[0]);
  if (s->streamNode.prev) ListRemoveNode(&s->streamNode);
  for (int i = 0; i < s->streamSourceCount; ++i) CloseSource(&s->streamSources[i], s->streamOwnStream[i] != 0);
  s->streamSourceCount = 0;
  for (int i = 0; i < kMaxSoundBuffers; ++i)
    if (s->buffers[i].valid) SoundBuffer_Release(&s->buffers[i]);
  s->streamPrepared = 0;
}

void SoundThread() {
  SoundSystemState& s = SoundSystem;
  if (s.threadEnd.load() == 1) {
    s.threadEnd.store(2);
    return;
  }
  for (;;) {
    ProcessStreamSoundMemAll();  // takes the sound lock itself
    LockHandleManager(&s.softSoundHandles);
    if (s.device) ProcessSoftSoundPlayerAll();
    UnlockHandleManager(&s.softSoundHandles);
    s.threadPasses.fetch_add(1);
    std::unique_lock<std::mutex> wait(s.threadWakeMutex);
    s.threadWake.wait_for(wait, std::chrono::milliseconds(kSoundThreadPeriodMs),
                          [&] { return s.threadEnd.load() != 0 || s.threadKick.exchange(false); });
    if (s.threadEnd.load() == 1) break;
  }
  s.threadEnd.store(2);
}

uint64_t GetSoundThreadPassCount() { return SoundSystem.threadPasses.load(); }

void WakeSoundThread() {
  {
    std::lock_guard<std::mutex> lock(SoundSystem.threadWakeMutex);
    SoundSystem.threadKick.store(true);
  }
  SoundSystem.threadWake.notify_all();
}
