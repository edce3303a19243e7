// Sound output start and end, sound handles and their play buffers, on the null device.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>

#include "engine/sound/sound_internal.h"
#include "media.h"
#include "platform/window/test_driver.h"

namespace {

class SoundHandles : public testing::Test {
 protected:
  void SetUp() override {
    log = "sound_" + std::to_string(getpid()) + "_" + testing::UnitTest::GetInstance()->current_test_info()->name() +
          "_log.txt";
    SetLogOutputFlag(1);
    SetLogFileName(log.c_str());
    Start(NullAudioConfig{});
  }
  void TearDown() override {
    TermSoundOutput();
    AudioNull_Install(nullptr);
    SetLogFileName(nullptr);
    std::remove(log.c_str());
  }
  void Start(const NullAudioConfig& config) {
    AudioNull_Install(&config);
    started = InitSoundOutput();
    device = AudioNull_Current();
  }
  bool Logged(const std::string& text) { return ReadFileText(log).find(text) != std::string::npos; }
  std::vector<int16_t> Mix(uint32_t frames) {
    AudioNull_ClearCapture(device);
    AudioNull_Advance(device, frames);
    return AudioNull_Capture(device);
  }
  SoundBuffer* Buffer(int handle, int i) { return &GetSoundHandleRecord(handle)->buffers[i]; }
  uint32_t Cursor(int handle, int i) {
    uint32_t c = 0;
    SoundBuffer_GetCurrentPosition(Buffer(handle, i), &c, nullptr);
    return c;
  }
  bool Playing(int handle, int i) {
    uint32_t status = 0;
    SoundBuffer_GetStatus(Buffer(handle, i), &status);
    return (status & DSBSTATUS_PLAYING) != 0;
  }
  std::string log;
  int started = -1;
  AudioDevice* device = nullptr;
};

std::vector<int16_t> Left(const std::vector<int16_t>& stereo) {
  std::vector<int16_t> l;
  for (size_t i = 0; i < stereo.size(); i += 2) l.push_back(stereo[i]);
  return l;
}

}  // namespace

TEST_F(SoundHandles, StartUpReportAndShutdown) {
  ASSERT_EQ(started, 0);
  EXPECT_TRUE(Logged("DirectSound の初期化を行います"));
  EXPECT_TRUE(Logged("モジュール名:"));
  EXPECT_TRUE(Logged(" プライマリ １６bit = OK  ８bit = OK "));
  EXPECT_TRUE(Logged("DirectSound の初期化は正常に終了しました"));
  EXPECT_EQ(InitSoundOutput(), -1);
  const WAVEFORMATEX& p = SoundSystem.primaryFormat;
  EXPECT_EQ(p.nChannels, 2);
  EXPECT_EQ(p.wBitsPerSample, 16);
  EXPECT_EQ(p.nSamplesPerSec, 44100u);
  EXPECT_EQ(AudioNull_BufferCount(device), 2);  // the primary and the silent buffer
  ASSERT_EQ(TermSoundOutput(), 0);
  EXPECT_TRUE(Logged("DirectSound の終了処理は正常に終了しました"));
  EXPECT_EQ(TermSoundOutput(), -1);
  EXPECT_EQ(AudioNull_Current(), nullptr);

  // A device without stereo or 16-bit output, and with a low top rate.
  NullAudioConfig poor;
  poor.capsFlags = DSCAPS_PRIMARYMONO | DSCAPS_PRIMARY8BIT | DSCAPS_SECONDARYMONO | DSCAPS_SECONDARY8BIT;
  poor.maxSecondaryRate = 22050;
  Start(poor);
  ASSERT_EQ(started, 0);
  EXPECT_EQ(p.nChannels, 1);
  EXPECT_EQ(p.wBitsPerSample, 8);
  EXPECT_EQ(p.nSamplesPerSec, 22050u);
  EXPECT_EQ(p.nAvgBytesPerSec, 22050u);
  EXPECT_TRUE(Logged(" セカンダリ MONO = OK  STEREO = NO "));
  TermSoundOutput();

  // No device list: reported, start-up goes on.
  NullAudioConfig noList;
  noList.failEnumerate = true;
  Start(noList);
  EXPECT_EQ(started, 0);
  EXPECT_TRUE(Logged("DSOUND.DLL のロードに失敗しました"));
  TermSoundOutput();

  // No device: start-up fails and sounds cannot be made; the program runs silent.
  NullAudioConfig broken;
  broken.failInitialize = true;
  Start(broken);
  EXPECT_EQ(started, -1);
  EXPECT_TRUE(Logged("初期化に失敗しました"));
  ScratchFile wav("a.wav", PcmWave(1, 8000, 16, Bytes(1600)));
  EXPECT_EQ(LoadSoundMem(wav.path.c_str()), -1);
  EXPECT_EQ(PauseSoundMemAll(1), -1);
  EXPECT_EQ(TermSoundOutput(), -1);
  NullAudioConfig none;
  none.failCreate = true;
  Start(none);
  EXPECT_EQ(started, -1);
  EXPECT_TRUE(Logged("DirectSoundインターフェースの作成に失敗しました"));
}

TEST_F(SoundHandles, EveryKindOfFilePlaysAsDecoded) {
  ASSERT_EQ(started, 0);
  const std::vector<int16_t> signal = TestSignal(2, 4410, 44100);
  std::vector<int16_t> ima;
  const Bytes imaData = EncodeImaAdpcm(signal, 2, 1024, &ima);
  const Bytes ogg = EncodeOggVorbis(signal, 2, 44100);
  const Bytes mp3 = EncodeMp3(signal, 2, 44100, 128);
  struct Case {
    const char* name;
    Bytes file;
    std::vector<int16_t> expected;
  } cases[] = {
      {"pcm.wav", PcmWave(2, 44100, 16, ToBytes(signal)), signal},
      {"ima.wav",
       RiffWave({Chunk("fmt ", FmtBody(0x11, 2, 44100, 44100 * 1024 / ImaAdpcmSamplesPerBlock(1024, 2), 1024, 4,
                                       false, Bytes{static_cast<uint8_t>(ImaAdpcmSamplesPerBlock(1024, 2) & 0xFF),
                                                    static_cast<uint8_t>(ImaAdpcmSamplesPerBlock(1024, 2) >> 8)})),
                 Chunk("data", imaData)}),
       ima},
      {"se.ogg", ogg, DecodeOggVorbisDirect(ogg)},
      {"se.mp3", mp3, DecodeMp3Direct(mp3, 2, 44100)},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.name);
    ScratchFile file(k.name, k.file);
    const int h = LoadSoundMem(file.path.c_str(), 3, -1);
    ASSERT_GE(h, 0);
    const uint32_t frames = static_cast<uint32_t>(k.expected.size() / 2);
    EXPECT_EQ(GetSoundTotalSample(h), static_cast<int>(frames));
    EXPECT_EQ(GetSoundTotalTime(h), static_cast<int>(frames * 1000ull / 44100));
    ASSERT_EQ(PlaySoundMem(h, PlayType::Background, 1), 0);
    EXPECT_EQ(IsSoundMemPlaying(h), 1);
    std::vector<int16_t> heard = Mix(frames + 10);
    heard.resize(k.expected.size());
    EXPECT_EQ(heard, k.expected);
    EXPECT_EQ(IsSoundMemPlaying(h), 0);
    EXPECT_EQ(DeleteSoundMem(h), 0);
  }
  EXPECT_EQ(AudioNull_BufferCount(device), 2);
}

TEST_F(SoundHandles, PlaysTakeTheBuffersInTurn) {
  ASSERT_EQ(started, 0);
  std::vector<int16_t> tone = TestSignal(1, 44100, 44100);
  for (int16_t& s : tone) s = static_cast<int16_t>(s / 4);  // three at once must not clip
  ScratchFile file("tone.wav", PcmWave(1, 44100, 16, ToBytes(tone)));
  const int h = LoadSoundMem(file.path.c_str(), 3, -1);
  ASSERT_GE(h, 0);
  for (int i = 0; i < 3; ++i) {
    PlaySoundMem(h, PlayType::Background, 1);
    Mix(100);
  }
  // Buffers 1, 2 and 0 overlap, 100 frames apart.
  EXPECT_EQ(Cursor(h, 1), 600u);
  EXPECT_EQ(Cursor(h, 2), 400u);
  EXPECT_EQ(Cursor(h, 0), 200u);
  std::vector<int16_t> heard = Left(Mix(50));
  for (int t = 0; t < 50; ++t) EXPECT_EQ(heard[t], tone[300 + t] + tone[200 + t] + tone[100 + t]) << t;
  // Every buffer busy and not from the start: nothing new plays.
  EXPECT_EQ(PlaySoundMem(h, PlayType::Background, 0), 0);
  EXPECT_EQ(Cursor(h, 1), 700u);
  // The refused play still moved the turn on: the next play restarts buffer 2.
  PlaySoundMem(h, PlayType::Background, 1);
  EXPECT_EQ(Cursor(h, 2), 0u);
  EXPECT_EQ(Cursor(h, 1), 700u);
  EXPECT_EQ(StopSoundMem(h), 0);
  EXPECT_EQ(IsSoundMemPlaying(h), 0);
  EXPECT_EQ(Cursor(h, 1), 700u);

  // Looping plays past the end.
  PlaySoundMem(h, PlayType::Loop, 1);
  Mix(44100 + 20);
  EXPECT_EQ(IsSoundMemPlaying(h), 1);
  EXPECT_EQ(GetSoundCurrentTime(h), 0);  // 20 frames in: below a millisecond
  Mix(441);
  EXPECT_EQ(GetSoundCurrentTime(h), 10);
}

TEST_F(SoundHandles, VolumeMapsToHundredthsOfADecibel) {
  ASSERT_EQ(started, 0);
  const std::vector<int16_t> tone = TestSignal(1, 4410, 44100);
  ScratchFile file("tone.wav", PcmWave(1, 44100, 16, ToBytes(tone)));
  const int h = LoadSoundMem(file.path.c_str(), 3, -1);
  ASSERT_GE(h, 0);
  const struct {
    int volume, level;
  } cases[] = {{0, -10000}, {-5, -10000}, {1, -2406}, {128, -299}, {254, -1}, {255, 0}, {300, 0}};
  for (const auto& k : cases) {
    SCOPED_TRACE(k.volume);
    ASSERT_EQ(SetVolumeSoundMem(k.volume, h), 0);
    EXPECT_EQ(GetSoundHandleRecord(h)->volume, k.level);
    for (int i = 0; i < 3; ++i) {
      int v = 1;
      AudioBuffer_GetVolume(Buffer(h, i)->buffer, &v);
      EXPECT_EQ(v, k.level);
    }
  }
  SetVolumeSoundMem(128, h);
  PlaySoundMem(h, PlayType::Background, 1);
  std::vector<int16_t> heard = Left(Mix(1000));
  const double gain = std::pow(10.0, -299 / 2000.0);
  for (int t = 0; t < 1000; t += 7) EXPECT_NEAR(heard[t], tone[t] * gain, 1.0) << t;
  EXPECT_EQ(SetVolumeSoundMem(100, h + 1), -1);
}

TEST_F(SoundHandles, PauseAllAndResume) {
  ASSERT_EQ(started, 0);
  ScratchFile file("tone.wav", PcmWave(1, 44100, 16, ToBytes(TestSignal(1, 44100, 44100))));
  const int looping = LoadSoundMem(file.path.c_str(), 2, -1);
  const int idle = LoadSoundMem(file.path.c_str(), 2, -1);
  const int stopped = LoadSoundMem(file.path.c_str(), 2, -1);
  ASSERT_GE(stopped, 0);
  PlaySoundMem(looping, PlayType::Loop, 1);
  PlaySoundMem(stopped, PlayType::Background, 1);
  Mix(300);
  ASSERT_EQ(PauseSoundMemAll(1), 0);
  EXPECT_EQ(IsSoundMemPlaying(looping), 0);
  EXPECT_EQ(IsSoundMemPlaying(stopped), 0);
  Mix(500);
  EXPECT_EQ(Cursor(looping, 1), 600u);
  EXPECT_EQ(PauseSoundMemAll(1), 0);  // a second pause changes nothing
  StopSoundMem(stopped);              // a stop while paused clears the marks
  ASSERT_EQ(PauseSoundMemAll(0), 0);
  EXPECT_EQ(IsSoundMemPlaying(looping), 1);
  EXPECT_EQ(IsSoundMemPlaying(idle), 0);
  EXPECT_EQ(IsSoundMemPlaying(stopped), 0);
  uint32_t status = 0;
  SoundBuffer_GetStatus(Buffer(looping, 1), &status);
  EXPECT_TRUE(status & DSBSTATUS_LOOPING);  // resumed with its own loop flag
  Mix(100);
  EXPECT_EQ(Cursor(looping, 1), 800u);
}

TEST_F(SoundHandles, BufferCountsHandlesAndFailures) {
  ASSERT_EQ(started, 0);
  ScratchFile file("tone.wav", PcmWave(1, 8000, 16, ToBytes(TestSignal(1, 800, 8000))));
  EXPECT_EQ(LoadSoundMem(file.path.c_str(), 0, -1), -1);
  EXPECT_TRUE(Logged("再生用バッファの数が不正です( 0 )"));
  EXPECT_EQ(LoadSoundMem(file.path.c_str(), -3, -1), -1);
  const int one = LoadSoundMem(file.path.c_str(), 1, -1);
  const int many = LoadSoundMem(file.path.c_str(), 12, -1);
  ASSERT_GE(many, 0);
  EXPECT_EQ(GetSoundHandleRecord(one)->bufferCount, 1);
  EXPECT_EQ(GetSoundHandleRecord(many)->bufferCount, 10);
  EXPECT_EQ(PlaySoundMem(one, PlayType::Background, 1), 0);
  EXPECT_EQ(PlaySoundMem(one, PlayType::Background, 0), 0);  // busy: nothing new
  EXPECT_EQ(AudioNull_BufferCount(device), 2 + 1 + 10);
  EXPECT_EQ(DeleteSoundMem(many), 0);
  EXPECT_EQ(AudioNull_BufferCount(device), 3);
  for (int bad : {many, -1, 0, one ^ 0x7C000000}) {
    EXPECT_EQ(PlaySoundMem(bad, PlayType::Background, 1), -1);
    EXPECT_EQ(StopSoundMem(bad), -1);
    EXPECT_EQ(IsSoundMemPlaying(bad), -1);
    EXPECT_EQ(GetSoundCurrentTime(bad), -1);
    EXPECT_EQ(DeleteSoundMem(bad), -1);
  }
  EXPECT_EQ(InitSoundMem(), 0);
  EXPECT_EQ(IsSoundMemPlaying(one), -1);

  // 180 seconds is still a sound held whole.
  ScratchFile longest("long.wav", PcmWave(1, 100, 8, Bytes(18000, 128)));
  const int h = LoadSoundMem(longest.path.c_str(), 3, -1);
  ASSERT_GE(h, 0);
  EXPECT_EQ(GetSoundHandleRecord(h)->streamFlag, 0);

  const std::string missing = "no_such_" + std::to_string(getpid()) + ".wav";
  EXPECT_EQ(LoadSoundMem(missing.c_str()), -1);
  EXPECT_TRUE(Logged("右記のファイルのオープンに失敗しました：" + missing));
  EXPECT_TRUE(Logged("右記の音声ファイルのロードに失敗しました_1：" + missing));
  ScratchFile junk("junk.wav", Bytes(64, 'x'));
  EXPECT_EQ(LoadSoundMem(junk.path.c_str()), -1);
  EXPECT_TRUE(Logged("音声ファイルのＰＣＭへの変換に失敗しました"));
  EXPECT_TRUE(Logged("右記の音声ファイルのロードに失敗しました_2：" + junk.path));
  // 24-bit samples: refused, and the program goes on.
  ScratchFile deep("deep.wav", PcmWave(1, 8000, 24, Bytes(2400, 3)));
  EXPECT_EQ(LoadSoundMem(deep.path.c_str()), -1);
  EXPECT_TRUE(Logged("再生できない音声フォーマットです"));
  EXPECT_EQ(AudioNull_BufferCount(device), 2 + 3);
}

// The whole engine, started headless: the normal play type waits, focus changes pause and resume,
// and an asynchronous load becomes usable.
TEST(SoundEngine, NormalPlayFocusAndAsyncLoad) {
  NullAudioConfig config;
  AudioNull_Install(&config);
  SetLogOutputFlag(0);
  TestDriver_Reset();
  ASSERT_EQ(LibInit(), 0);
  AudioDevice* device = AudioNull_Current();
  ASSERT_NE(device, nullptr);
  ScratchFile file("tone.wav", PcmWave(1, 44100, 16, ToBytes(TestSignal(1, 4410, 44100))));
  const int h = LoadSoundMem(file.path.c_str(), 3, -1);
  ASSERT_GE(h, 0);
  AudioNull_ClearCapture(device);
  ASSERT_EQ(PlaySoundMem(h, PlayType::Wait, 1), 0);
  EXPECT_EQ(IsSoundMemPlaying(h), 0);
  const size_t heard = AudioNull_Capture(device).size() / 2;
  EXPECT_GE(heard, 4410u);
  EXPECT_LT(heard, 4410u + 100);

  PlaySoundMem(h, PlayType::Loop, 1);
  TestDriver_Focus(0);
  PumpMessages();
  EXPECT_EQ(IsSoundMemPlaying(h), 0);
  TestDriver_Focus(1);
  PumpMessages();
  EXPECT_EQ(IsSoundMemPlaying(h), 1);

  SetAsyncLoadFlag(1);
  const int later = LoadSoundMem(file.path.c_str(), 3, -1);
  SetAsyncLoadFlag(0);
  ASSERT_GE(later, 0);
  for (int i = 0; i < 5000 && GetAsyncLoadRequestCount() > 0; ++i) {
    PumpMessages();
    usleep(1000);
  }
  EXPECT_EQ(GetAsyncLoadRequestCount(), 0);
  EXPECT_EQ(PlaySoundMem(later, PlayType::Background, 1), 0);
  LibEnd();
  AudioNull_Install(nullptr);
  SetLogOutputFlag(1);
}
