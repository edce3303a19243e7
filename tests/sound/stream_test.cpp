// Stream sounds on the null device: the ring, its refill, end and loop, sources, play and stop,
// the sound thread against the pump, focus loss and shutdown.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "engine/sound/sound_internal.h"
#include "media.h"
#include "platform/window/test_driver.h"

namespace {

constexpr uint32_t kRate = 44100;
constexpr uint32_t kAvg = kRate * 4;                 // 16-bit stereo
constexpr uint32_t kFullLead = kAvg * 192 / 256;     // 3/4 second, a whole number of frames here
constexpr uint32_t kEighth = kAvg / 8 / 4 * 4;       // 1/8 second cut to a whole frame
constexpr uint32_t kStep = 441;                      // 10 ms of the test clock between passes

class StreamSounds : public testing::Test {
 protected:
  void SetUp() override {
    log = "stream_" + std::to_string(getpid()) + "_" +
          testing::UnitTest::GetInstance()->current_test_info()->name() + "_log.txt";
    SetLogOutputFlag(1);
    SetLogFileName(log.c_str());
    blocksBefore = GetAllocMemoryCount(nullptr);
    Start(1);
  }
  void TearDown() override {
    TermSoundOutput();
    AudioNull_Install(nullptr);
    SetLogicalProcessorCount(0);
    SetLogFileName(nullptr);
    std::remove(log.c_str());
    EXPECT_EQ(GetAllocMemoryCount(nullptr), blocksBefore);  // no engine block left behind
  }
  // processors 1: the test's passes refill; more: the sound thread does.
  void Start(int processors) {
    SetLogicalProcessorCount(processors);
    NullAudioConfig config;
    AudioNull_Install(&config);
    ASSERT_EQ(InitSoundOutput(), 0);
    device = AudioNull_Current();
  }
  bool Logged(const std::string& text) { return ReadFileText(log).find(text) != std::string::npos; }
  int Load(const std::string& path, int dataType) {
    SoundLoadSettings settings;
    GetSoundLoadSettings(&settings);
    settings.dataType = dataType;
    return LoadSoundMemBase(&settings, path.c_str(), 1, -1, 0, 0);
  }
  SoundHandleRecord* Rec(int h) { return GetSoundHandleRecord(h); }
  Bytes Ring(int h) {
    SoundHandleRecord* s = Rec(h);
    void *p1, *p2;
    uint32_t n1, n2;
    EXPECT_EQ(SoundBuffer_Lock(&s->buffers[0], 0, s->streamRingSize, &p1, &n1, &p2, &n2), 0);
    Bytes out(static_cast<uint8_t*>(p1), static_cast<uint8_t*>(p1) + n1);
    SoundBuffer_Unlock(&s->buffers[0], p1, 0, p2, 0);
    return out;
  }
  // Plays frames of the test clock in steps, a refill pass after each, and returns what was heard.
  std::vector<int16_t> Run(uint32_t frames, bool threaded = false) {
    AudioNull_ClearCapture(device);
    for (uint32_t done = 0; done < frames; done += kStep) {
      AudioNull_Advance(device, std::min(kStep, frames - done));
      if (threaded) {
        // Two passes begun after the advance: at least one whole pass saw the new cursor.
        const uint64_t passes = GetSoundThreadPassCount();
        while (GetSoundThreadPassCount() < passes + 2) {
          WakeSoundThread();
          std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
      } else {
        ProcessStreamSoundMemAll();
      }
    }
    return AudioNull_Capture(device);
  }
  std::string log;
  int blocksBefore = 0;
  AudioDevice* device = nullptr;
};

std::vector<int16_t> Slice(const std::vector<int16_t>& v, size_t from, size_t count) {
  from = std::min(from, v.size());
  return std::vector<int16_t>(v.begin() + static_cast<ptrdiff_t>(from),
                              v.begin() + static_cast<ptrdiff_t>(std::min(v.size(), from + count)));
}

bool AllZero(const std::vector<int16_t>& v) {
  return std::all_of(v.begin(), v.end(), [](int16_t x) { return x == 0; });
}

std::vector<int16_t> Repeat(const std::vector<int16_t>& v, int times) {
  std::vector<int16_t> out;
  for (int i = 0; i < times; ++i) out.insert(out.end(), v.begin(), v.end());
  return out;
}

}  // namespace

TEST_F(StreamSounds, FirstFillAndRefillAmounts) {
  const std::vector<int16_t> pcm = TestSignal(2, kRate * 3, kRate);
  ScratchFile file("three.wav", PcmWave(2, kRate, 16, ToBytes(pcm)));
  const int h = Load(file.path, 2);
  ASSERT_GE(h, 0);
  SoundHandleRecord* s = Rec(h);
  ASSERT_EQ(s->streamFlag, 1);
  EXPECT_EQ(s->streamRingSize, kAvg);
  EXPECT_EQ(GetSoundTotalSample(h), static_cast<int>(kRate * 3));
  // The first fill: exactly 3/4 second from offset 0, the rest of the ring still silent.
  EXPECT_EQ(s->streamWritten, kFullLead);
  EXPECT_EQ(s->streamWritePosition, static_cast<int>(kFullLead));
  const Bytes ring = Ring(h);
  const Bytes data = ToBytes(pcm);
  EXPECT_TRUE(std::equal(ring.begin(), ring.begin() + kFullLead, data.begin()));
  EXPECT_TRUE(std::all_of(ring.begin() + kFullLead, ring.end(), [](uint8_t b) { return b == 0; }));
  // Not playing: a pass writes nothing more.
  EXPECT_EQ(ProcessStreamSoundMem(h, 0), 0);
  EXPECT_EQ(s->streamWritten, kFullLead);

  ASSERT_EQ(PlaySoundMem(h, PlayType::Background, 1), 0);
  EXPECT_EQ(s->streamWritten, kFullLead);  // play did not fill again
  EXPECT_EQ(ProcessStreamSoundMem(h, 0), 0);
  EXPECT_EQ(s->streamWritten, kFullLead + kEighth);  // 3/4 second ahead: 1/8 more
  EXPECT_EQ(ProcessStreamSoundMem(h, 0), -1);       // more than 3/4 second ahead: nothing
  EXPECT_EQ(s->streamWritten, kFullLead + kEighth);
  // Below 0.375 second ahead the ring is topped up to it.
  AudioNull_Advance(device, kRate * 6 / 10);
  EXPECT_EQ(ProcessStreamSoundMem(h, 0), 0);
  const uint64_t played = uint64_t{kRate} * 6 / 10 * 4;
  // The lead is counted in whole 1/512 seconds, so the top-up may pass 0.375 second by one of them.
  EXPECT_GE(s->streamWritten - played, kAvg * 192 / 512 - 4);
  EXPECT_LE(s->streamWritten - played, kAvg * 193 / 512);
}

TEST_F(StreamSounds, RefillsAcrossWrapsPlayTheWholeDecode) {
  // Ogg Vorbis from a private copy, Ogg Vorbis from the open file, and 8-bit mono WAVE.
  const std::vector<int16_t> signal = TestSignal(2, kRate * 4 + 1234, kRate);
  const Bytes ogg = EncodeOggVorbis(signal, 2, kRate);
  const std::vector<int16_t> decoded = DecodeOggVorbisDirect(ogg);
  ScratchFile oggFile("long.ogg", ogg);
  for (int dataType : {2, 3}) {
    const int h = Load(oggFile.path, dataType);
    ASSERT_GE(h, 0);
    ASSERT_EQ(PlaySoundMem(h, PlayType::Background, 1), 0);
    const uint32_t frames = static_cast<uint32_t>(decoded.size() / 2);
    std::vector<int16_t> heard = Run(frames + kRate / 2);
    EXPECT_EQ(Slice(heard, 0, decoded.size()), decoded) << "data type " << dataType;
    EXPECT_TRUE(AllZero(Slice(heard, decoded.size(), heard.size()))) << "silence after the end";
    EXPECT_EQ(IsSoundMemPlaying(h), 0);  // stopped itself once the cursor passed the end
    // Ready to play again from the start.
    ASSERT_EQ(PlaySoundMem(h, PlayType::Background, 0), 0);
    heard = Run(kRate);
    EXPECT_EQ(Slice(heard, 0, kRate * 2), Slice(decoded, 0, kRate * 2));
    DeleteSoundMem(h);
  }

  Bytes bytes8(kRate * 2 + 77);
  for (size_t i = 0; i < bytes8.size(); ++i) bytes8[i] = static_cast<uint8_t>((i * 7) ^ (i >> 5));
  ScratchFile wav8("eight.wav", PcmWave(1, kRate, 8, bytes8));
  const int h8 = Load(wav8.path, 2);
  ASSERT_GE(h8, 0);
  ASSERT_EQ(PlaySoundMem(h8, PlayType::Background, 1), 0);
  const std::vector<int16_t> heard = Run(static_cast<uint32_t>(bytes8.size()) + kRate / 2);
  for (size_t i = 0; i < bytes8.size(); ++i) {
    const int16_t want = static_cast<int16_t>((bytes8[i] - 128) * 256);
    ASSERT_EQ(heard[2 * i], want) << i;
  }
  // 8-bit silence is 128: nothing is heard after the end.
  EXPECT_TRUE(AllZero(Slice(heard, bytes8.size() * 2, heard.size())));
  EXPECT_EQ(IsSoundMemPlaying(h8), 0);
}

TEST_F(StreamSounds, LongSoundsStreamAndShortOnesDoNot) {
  ScratchFile longest("long.wav", PcmWave(1, 100, 8, Bytes(18000, 128)));
  ScratchFile longer("longer.wav", PcmWave(1, 100, 8, Bytes(18100, 128)));
  const int a = LoadSoundMem(longest.path.c_str(), 3, -1);
  const int b = LoadSoundMem(longer.path.c_str(), 3, -1);
  ASSERT_GE(a, 0);
  ASSERT_GE(b, 0);
  EXPECT_EQ(Rec(a)->streamFlag, 0);
  EXPECT_EQ(Rec(b)->streamFlag, 1);
  EXPECT_EQ(Rec(b)->streamSources[0].kind, 2);
  EXPECT_EQ(GetSoundTotalTime(b), 181000);
  EXPECT_EQ(AudioNull_BufferCount(device), 2 + 3 + 1);
}

TEST_F(StreamSounds, LoopingStreamLoopsOnceAtATime) {
  const std::vector<int16_t> pcm = TestSignal(2, kRate * 3 / 10, kRate);  // 0.3 second
  ScratchFile file("short.wav", PcmWave(2, kRate, 16, ToBytes(pcm)));
  const int h = Load(file.path, 2);
  ASSERT_GE(h, 0);
  SoundHandleRecord* s = Rec(h);
  ASSERT_EQ(PlaySoundMem(h, PlayType::Loop, 1), 0);
  // The first fill ran before the play type was loop: a non-looping end was written, so play
  // started over from a fresh fill that loops once and then waits for the cursor.
  const uint64_t len = pcm.size() * 2;
  EXPECT_EQ(s->streamWritten, 2 * len);
  EXPECT_EQ(s->streamLoop, 1);
  EXPECT_EQ(s->streamLoopWritePosition, len);
  ProcessStreamSoundMem(h, 0);
  EXPECT_EQ(s->streamWritten, 2 * len);  // no second loop before the cursor passes the first

  std::vector<int16_t> heard = Run(kRate / 10);
  EXPECT_EQ(GetSoundCurrentTime(h), 100);
  heard = Run(kRate * 3 / 10);
  EXPECT_EQ(GetSoundCurrentTime(h), 100);  // went round the loop: 0.4 second in is 0.1 second in
  heard = Run(kRate * 3);
  EXPECT_EQ(IsSoundMemPlaying(h), 1);
  EXPECT_EQ(heard, Slice(Repeat(pcm, 15), kRate * 4 / 10 * 2, kRate * 3 * 2));
  // From the start again: the sound over and over.
  StopSoundMem(h);
  ASSERT_EQ(PlaySoundMem(h, PlayType::Loop, 1), 0);
  heard = Run(kRate * 2);
  EXPECT_EQ(heard, Slice(Repeat(pcm, 8), 0, kRate * 2 * 2));
}

TEST_F(StreamSounds, SourcesPlayInOrderAndMismatchesAreRefused) {
  const std::vector<int16_t> a = TestSignal(2, kRate / 2, kRate, 1);
  const std::vector<int16_t> b = TestSignal(2, kRate / 3, kRate, 2);
  const std::vector<int16_t> c = TestSignal(2, kRate / 4, kRate, 3);
  ScratchFile fa("a.wav", PcmWave(2, kRate, 16, ToBytes(a)));
  const Bytes wb = PcmWave(2, kRate, 16, ToBytes(b));
  const Bytes wc = PcmWave(2, kRate, 16, ToBytes(c));
  const Bytes mono = PcmWave(1, kRate, 16, ToBytes(TestSignal(1, 1000, kRate)));
  SoundLoadSettings settings;
  GetSoundLoadSettings(&settings);
  const int h = Load(fa.path, 2);
  ASSERT_GE(h, 0);
  EXPECT_EQ(AddStreamSoundMemImage(&settings, mono.data(), static_cast<uint32_t>(mono.size()), 0, h, 2, -1, 0), -1);
  EXPECT_TRUE(Logged("フォーマットの違う音声データは同時に使うことは出来ません"));
  // The same from an open file: only the source's own state goes, the file is closed once.
  ScratchFile fm("mono.wav", mono);
  EXPECT_EQ(AddStreamSoundFile(&settings, fm.path.c_str(), 0, h, 3, -1, 0), -1);
  EXPECT_TRUE(Logged("右記のＷＡＶファイルのセットアップに失敗しました：" + fm.path));
  EXPECT_EQ(AddStreamSoundMemImage(&settings, wb.data(), static_cast<uint32_t>(wb.size()), 0, h, 2, -1, 0), 0);
  EXPECT_EQ(AddStreamSoundMemImage(&settings, wc.data(), static_cast<uint32_t>(wc.size()), 0, h, 3, -1, 0), 0);
  EXPECT_EQ(AddStreamSoundMemImage(&settings, wc.data(), static_cast<uint32_t>(wc.size()), 0, h, 2, -1, 0), -1);
  EXPECT_TRUE(Logged("ストリーム風サウンドの制御データ領域がいっぱいです"));
  EXPECT_EQ(GetSoundTotalSample(h), static_cast<int>((a.size() + b.size() + c.size()) / 2));

  ASSERT_EQ(PlaySoundMem(h, PlayType::Background, 1), 0);
  EXPECT_EQ(AddStreamSoundMemImage(&settings, wc.data(), static_cast<uint32_t>(wc.size()), 0, h, 2, -1, 0), -1);
  EXPECT_TRUE(Logged("既に再生中のストリームサウンドデータにデータを追加しようとしました"));
  std::vector<int16_t> all = a;
  all.insert(all.end(), b.begin(), b.end());
  all.insert(all.end(), c.begin(), c.end());
  const std::vector<int16_t> heard = Run(static_cast<uint32_t>(all.size() / 2) + kRate / 2);
  EXPECT_EQ(Slice(heard, 0, all.size()), all);
  EXPECT_EQ(IsSoundMemPlaying(h), 0);

  // A sound held whole in play buffers takes no source, and the program goes on.
  ScratchFile small("small.wav", mono);
  const int normal = LoadSoundMem(small.path.c_str(), 2, -1);
  ASSERT_GE(normal, 0);
  EXPECT_EQ(AddStreamSoundMemImage(&settings, mono.data(), static_cast<uint32_t>(mono.size()), 0, normal, 2, -1, 0),
            -1);
  EXPECT_TRUE(Logged("ストリーム風サウンドではないサウンドデータが渡されました in AddSreamSound"));
  EXPECT_EQ(PlaySoundMem(normal, PlayType::Background, 1), 0);
}

TEST_F(StreamSounds, PlayStopResumeAndRestart) {
  const std::vector<int16_t> pcm = TestSignal(2, kRate * 3, kRate);
  ScratchFile file("three.wav", PcmWave(2, kRate, 16, ToBytes(pcm)));
  const int h = Load(file.path, 2);
  ASSERT_GE(h, 0);
  ASSERT_EQ(PlaySoundMem(h, PlayType::Background, 1), 0);
  EXPECT_EQ(PlaySoundMem(h, PlayType::Background, 0), -1);  // already playing
  std::vector<int16_t> heard = Run(kRate);
  EXPECT_EQ(GetSoundCurrentTime(h), 1000);
  ASSERT_EQ(StopSoundMem(h), 0);
  EXPECT_EQ(IsSoundMemPlaying(h), 0);
  EXPECT_TRUE(AllZero(Run(kRate / 2)));
  EXPECT_EQ(GetSoundCurrentTime(h), 1000);
  // Play without from-the-start goes on where it stopped.
  ASSERT_EQ(PlaySoundMem(h, PlayType::Background, 0), 0);
  heard = Run(kRate / 2);
  EXPECT_EQ(heard, Slice(pcm, kRate * 2, kRate));
  EXPECT_EQ(GetSoundCurrentTime(h), 1500);
  // From the start: the first second again.
  ASSERT_EQ(PlaySoundMem(h, PlayType::Background, 1), 0);
  EXPECT_EQ(GetSoundCurrentTime(h), 0);
  heard = Run(kRate / 2);
  EXPECT_EQ(heard, Slice(pcm, 0, kRate));
  // The position never passes the end, and the total is the sound's.
  heard = Run(kRate * 3);
  EXPECT_EQ(GetSoundTotalTime(h), 3000);
  EXPECT_EQ(IsSoundMemPlaying(h), 0);
}

TEST_F(StreamSounds, StalledRefillStillEndsAndStillPlaysOn) {
  // Half a second: its end is written by the first fill. The clock then runs 2.3 seconds with no
  // pass, so the ring cursor has gone round twice and stands before the end point again.
  const std::vector<int16_t> shortPcm = TestSignal(2, kRate / 2, kRate);
  ScratchFile shortFile("half.wav", PcmWave(2, kRate, 16, ToBytes(shortPcm)));
  const int h = Load(shortFile.path, 2);
  ASSERT_GE(h, 0);
  ASSERT_EQ(PlaySoundMem(h, PlayType::Background, 1), 0);
  AudioNull_Advance(device, kRate * 23 / 10);
  ProcessStreamSoundMemAll();
  EXPECT_EQ(IsSoundMemPlaying(h), 0);

  // A long sound whose refill stalls past the ring picks up where the decode was, late but whole.
  const std::vector<int16_t> pcm = TestSignal(2, kRate * 4, kRate);
  ScratchFile file("four.wav", PcmWave(2, kRate, 16, ToBytes(pcm)));
  const int g = Load(file.path, 2);
  ASSERT_EQ(PlaySoundMem(g, PlayType::Background, 1), 0);
  AudioNull_Advance(device, kRate * 2);
  ProcessStreamSoundMemAll();
  EXPECT_EQ(IsSoundMemPlaying(g), 1);
  EXPECT_LE(GetSoundCurrentTime(g), 900);  // the stale lap is not counted as sound played
  const std::vector<int16_t> heard = Run(kRate * 5);
  EXPECT_EQ(IsSoundMemPlaying(g), 0);
  // Everything from where the decode stood to the end was heard, in order.
  const std::vector<int16_t> tail = Slice(pcm, pcm.size() - kRate, kRate * 2);
  EXPECT_NE(std::search(heard.begin(), heard.end(), tail.begin(), tail.end()), heard.end());
}

TEST_F(StreamSounds, DataType3KeepsItsFileOpenUntilDeleted) {
  static int opened = 0;
  static FileAccessTable counting;
  counting = *GetFileAccessTable();
  static const FileAccessTable* plain = GetFileAccessTable();
  counting.Open = [](const char* path, int a, int b, int c) {
    StreamHandle h = plain->Open(path, a, b, c);
    if (h) ++opened;
    return h;
  };
  counting.Close = [](StreamHandle h) {
    --opened;
    return plain->Close(h);
  };
  SetFileAccessTable(&counting);
  const std::vector<int16_t> signal = TestSignal(2, kRate * 2, kRate);
  const Bytes ogg = EncodeOggVorbis(signal, 2, kRate);
  ScratchFile file("movie.ogg", ogg);
  const int copy = Load(file.path, 2);
  EXPECT_EQ(opened, 0);  // a private copy: the file is closed at once
  const int h = Load(file.path, 3);
  ASSERT_GE(h, 0);
  EXPECT_EQ(opened, 1);
  ASSERT_EQ(PlaySoundMem(h, PlayType::Background, 1), 0);
  const std::vector<int16_t> heard = Run(kRate * 3);
  EXPECT_EQ(Slice(heard, 0, signal.size()), DecodeOggVorbisDirect(ogg));
  EXPECT_EQ(opened, 1);
  EXPECT_EQ(DeleteSoundMem(h), 0);
  EXPECT_EQ(opened, 0);
  DeleteSoundMem(copy);
  SetFileAccessTable(nullptr);
}

TEST_F(StreamSounds, ThreadAndPumpGiveTheSameBytes) {
  const std::vector<int16_t> signal = TestSignal(2, kRate * 3, kRate);
  const Bytes ogg = EncodeOggVorbis(signal, 2, kRate);
  ScratchFile file("both.ogg", ogg);
  int h = Load(file.path, 2);
  ASSERT_EQ(PlaySoundMem(h, PlayType::Loop, 1), 0);
  const std::vector<int16_t> pumped = Run(kRate * 4);
  TermSoundOutput();

  Start(4);
  ASSERT_TRUE(SoundSystem.soundThread.joinable());
  h = Load(file.path, 2);
  ASSERT_EQ(PlaySoundMem(h, PlayType::Loop, 1), 0);
  const std::vector<int16_t> threaded = Run(kRate * 4, true);
  EXPECT_EQ(threaded, pumped);
  EXPECT_EQ(IsSoundMemPlaying(h), 1);
}

TEST_F(StreamSounds, FocusLossPausesAndResumes) {
  const std::vector<int16_t> pcm = TestSignal(2, kRate * 3, kRate);
  ScratchFile file("three.wav", PcmWave(2, kRate, 16, ToBytes(pcm)));
  const int h = Load(file.path, 2);
  const int stopped = Load(file.path, 2);
  ASSERT_EQ(PlaySoundMem(h, PlayType::Background, 1), 0);
  Run(kRate / 2);
  ASSERT_EQ(PauseSoundMemAll(1), 0);
  ASSERT_EQ(PauseSoftSoundAll(1), 0);
  EXPECT_EQ(IsSoundMemPlaying(h), 0);
  EXPECT_TRUE(AllZero(Run(kRate)));
  ASSERT_EQ(PauseSoundMemAll(0), 0);
  ASSERT_EQ(PauseSoftSoundAll(0), 0);
  EXPECT_EQ(IsSoundMemPlaying(h), 1);
  EXPECT_EQ(IsSoundMemPlaying(stopped), 0);
  EXPECT_EQ(Run(kRate / 2), Slice(pcm, kRate, kRate));
  // A stream stopped while focus was away stays stopped when it returns.
  PauseSoundMemAll(1);
  StopSoundMem(h);
  PauseSoundMemAll(0);
  EXPECT_EQ(IsSoundMemPlaying(h), 0);
}

TEST_F(StreamSounds, ShutdownWithStreamsPlayingEndsTheThread) {
  TermSoundOutput();
  Start(2);
  ASSERT_TRUE(SoundSystem.soundThread.joinable());
  const Bytes ogg = EncodeOggVorbis(TestSignal(2, kRate, kRate), 2, kRate);
  ScratchFile file("end.ogg", ogg);
  for (int dataType : {2, 3}) {
    const int h = Load(file.path, dataType);
    ASSERT_GE(h, 0);
    ASSERT_EQ(PlaySoundMem(h, PlayType::Loop, 1), 0);
  }
  AudioNull_Advance(device, kRate / 3);
  ASSERT_EQ(TermSoundOutput(), 0);
  EXPECT_FALSE(SoundSystem.soundThread.joinable());
  EXPECT_EQ(SoundSystem.threadEnd.load(), 2);
  // TearDown checks that no engine block is left.
}

TEST_F(StreamSounds, FailedStartUpReleasesWhatItMade) {
  TermSoundOutput();
  const int blocks = GetAllocMemoryCount(nullptr);
  NullAudioConfig broken;
  broken.failInitialize = true;
  AudioNull_Install(&broken);
  EXPECT_EQ(InitSoundOutput(), -1);
  EXPECT_EQ(GetAllocMemoryCount(nullptr), blocks);
  EXPECT_FALSE(SoundSystem.soundThread.joinable());
  EXPECT_EQ(ProcessStreamSoundMemAll(), -1);
  Start(1);
}

// The whole engine on one processor: the message pump refills the stream, and the window's focus
// pauses and resumes it.
TEST(StreamEngine, PumpRefillsAndFocusPauses) {
  SetLogicalProcessorCount(1);
  NullAudioConfig config;
  AudioNull_Install(&config);
  SetLogOutputFlag(0);
  TestDriver_Reset();
  ASSERT_EQ(LibInit(), 0);
  AudioDevice* device = AudioNull_Current();
  const std::vector<int16_t> pcm = TestSignal(2, kRate * 3, kRate);
  ScratchFile file("engine.wav", PcmWave(2, kRate, 16, ToBytes(pcm)));
  SoundLoadSettings settings;
  GetSoundLoadSettings(&settings);
  settings.dataType = 2;
  const int h = LoadSoundMemBase(&settings, file.path.c_str(), 1, -1, 0, 0);
  ASSERT_GE(h, 0);
  ASSERT_EQ(PlaySoundMem(h, PlayType::Background, 1), 0);
  AudioNull_ClearCapture(device);
  for (int i = 0; i < 100; ++i) {
    AudioNull_Advance(device, kStep);
    PumpMessages();
  }
  EXPECT_EQ(GetSoundCurrentTime(h), 1000);
  TestDriver_Focus(0);
  PumpMessages();
  EXPECT_EQ(IsSoundMemPlaying(h), 0);
  AudioNull_Advance(device, kRate);
  EXPECT_EQ(GetSoundCurrentTime(h), 1000);
  TestDriver_Focus(1);
  PumpMessages();
  EXPECT_EQ(IsSoundMemPlaying(h), 1);
  for (int i = 0; i < 100; ++i) {
    AudioNull_Advance(device, kStep);
    PumpMessages();
  }
  const std::vector<int16_t> heard = AudioNull_Capture(device);
  std::vector<int16_t> expected = Slice(pcm, 0, kRate * 2);
  expected.resize(kRate * 4, 0);  // the second of lost focus
  const std::vector<int16_t> rest = Slice(pcm, kRate * 2, kRate * 2);
  expected.insert(expected.end(), rest.begin(), rest.end());
  EXPECT_EQ(heard, expected);
  LibEnd();
  AudioNull_Install(nullptr);
  SetLogicalProcessorCount(0);
  SetLogOutputFlag(1);
}
