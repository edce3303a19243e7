// Soft-sound players and music handles: the entries on empty sets, and on records made by hand
// the way later operations will make them.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "engine/sound/sound_internal.h"
#include "media.h"
#include "platform/mci/mci.h"

namespace {

class SoftAndMusic : public testing::Test {
 protected:
  void SetUp() override {
    blocksBefore = GetAllocMemoryCount(nullptr);
    SetLogicalProcessorCount(1);
    NullAudioConfig config;
    AudioNull_Install(&config);
    ASSERT_EQ(InitSoundOutput(), 0);
    device = AudioNull_Current();
    Mci_ClearCommandLog();
    Music = MusicState{};
  }
  void TearDown() override {
    TermSoundOutput();
    AudioNull_Install(nullptr);
    SetLogicalProcessorCount(0);
    Music = MusicState{};
    EXPECT_EQ(GetAllocMemoryCount(nullptr), blocksBefore);
  }
  // A player with a playing one-second buffer, linked as later operations would link it.
  SoftSoundHandleRecord* MakePlayer(int* handle) {
    *handle = AddHandle(&SoundSystem.softSoundHandles, -1);
    auto* p = reinterpret_cast<SoftSoundHandleRecord*>(GetHandleRecord(&SoundSystem.softSoundHandles, *handle));
    p->isPlayer = 1;
    p->active = 1;
    WAVEFORMATEX f{WAVE_FORMAT_PCM, 2, 44100, 176400, 4, 16, 0};
    DSBUFFERDESC desc{36, DSBCAPS_GLOBALFOCUS, 176400, &f};
    EXPECT_EQ(SoundBuffer_Create(&p->buffer, &desc), 0);
    RingBufWrite(&p->ring, "pending", 7);
    ListAddNode(&SoundSystem.softSoundPlayerList.head, &p->playerNode, *handle, p);
    return p;
  }
  bool Playing(SoundBuffer* b) {
    uint32_t status = 0;
    SoundBuffer_GetStatus(b, &status);
    return status & DSBSTATUS_PLAYING;
  }
  int blocksBefore = 0;
  AudioDevice* device = nullptr;
};

}  // namespace

TEST_F(SoftAndMusic, EntriesOnEmptySets) {
  EXPECT_EQ(PauseSoftSoundAll(1), 0);
  EXPECT_EQ(PauseSoftSoundAll(0), 0);
  EXPECT_EQ(ProcessSoftSoundPlayerAll(), 0);
  EXPECT_EQ(ProcessSoftSoundPlayer(nullptr), -1);
  EXPECT_EQ(UpdateMusicPlayState(), 0);
  EXPECT_EQ(ProcessMidiNotify(), 0);
  EXPECT_TRUE(Mci_CommandLog().empty());  // nothing plays, so nothing is sent
  EXPECT_EQ(CheckMusicMem(0x14000000), -1);
  EXPECT_EQ(StopMusicMem(-1), -1);
  EXPECT_EQ(TerminateMusic(), 0);
  EXPECT_EQ(AudioNull_BufferCount(device), 2);

  TermSoundOutput();
  EXPECT_EQ(PauseSoftSoundAll(1), -1);
  EXPECT_EQ(ProcessSoftSoundPlayerAll(), -1);
  EXPECT_EQ(UpdateMusicPlayState(), -1);
  EXPECT_EQ(TerminateMusic(), 0);
  AudioNull_Install(nullptr);
  NullAudioConfig config;
  AudioNull_Install(&config);
  ASSERT_EQ(InitSoundOutput(), 0);
}

TEST_F(SoftAndMusic, PlayersPauseResumeAndGoFirstAtShutdown) {
  int a, b;
  SoftSoundHandleRecord* playing = MakePlayer(&a);
  SoftSoundHandleRecord* idle = MakePlayer(&b);
  SoundBuffer_Play(&playing->buffer, 1);
  const int plain = AddHandle(&SoundSystem.softSoundHandles, -1);
  auto* p = reinterpret_cast<SoftSoundHandleRecord*>(GetHandleRecord(&SoundSystem.softSoundHandles, plain));
  p->pcm = TK_MALLOC(64);
  EXPECT_EQ(IsSoftSoundPlayer(&playing->header), 1);
  EXPECT_EQ(IsNotSoftSoundPlayer(&p->header), 1);

  ASSERT_EQ(PauseSoftSoundAll(1), 0);
  EXPECT_FALSE(Playing(&playing->buffer));
  EXPECT_EQ(playing->pauseMark, 1);
  EXPECT_EQ(playing->wasPlaying, 1);
  EXPECT_EQ(idle->wasPlaying, 0);
  ASSERT_EQ(PauseSoftSoundAll(1), 0);  // a second pause changes nothing
  EXPECT_EQ(playing->wasPlaying, 1);
  ASSERT_EQ(PauseSoftSoundAll(0), 0);
  EXPECT_TRUE(Playing(&playing->buffer));
  EXPECT_EQ(playing->buffer.loop, 1);
  EXPECT_FALSE(Playing(&idle->buffer));
  EXPECT_EQ(playing->pauseMark, 0);
  EXPECT_EQ(ProcessSoftSoundPlayerAll(), 0);

  EXPECT_EQ(SubHandle(&SoundSystem.softSoundHandles, b), 0);  // unlinks it and releases its buffer
  EXPECT_EQ(AudioNull_BufferCount(device), 3);
  EXPECT_EQ(PauseSoftSoundAll(1), 0);
  // Shutdown deletes the rest, players first; TearDown finds no block left.
}

TEST_F(SoftAndMusic, MidiNotifyPlaysAgainOrCloses) {
  const int h = AddHandle(&SoundSystem.musicHandles, -1);
  ASSERT_GE(h, 0);
  auto* m = reinterpret_cast<MusicHandleRecord*>(GetHandleRecord(&SoundSystem.musicHandles, h));
  EXPECT_EQ(m->volume, 255);
  MCI_OPEN_PARMS open{};
  ASSERT_EQ(mciSendCommandA(0, MCI_OPEN, 0, reinterpret_cast<uintptr_t>(&open)), 0u);
  Music.mciDevice = open.wDeviceID;
  Music.current = h;
  Mci_ClearCommandLog();

  // Looping: each notification plays it again from the start.
  Music.mciLoop = 1;
  EXPECT_EQ(ProcessMidiNotify(), 0);
  EXPECT_EQ(Music.mciPlaying, 1);
  EXPECT_EQ(CheckMusicMem(h), 1);
  std::vector<MciCommandRecord> log = Mci_CommandLog();
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].message, MCI_PLAY);
  EXPECT_EQ(log[0].flags, MCI_NOTIFY | MCI_FROM);
  EXPECT_EQ(log[0].from, 0u);
  EXPECT_EQ(log[0].result, 0u);

  // Stop: the device is closed, the temporary file goes, the handle's flags clear.
  char path[260];
  std::FILE* tmp = CreateTemporaryFile(path, sizeof path);
  ASSERT_NE(tmp, nullptr);
  std::fclose(tmp);
  std::strcpy(Music.midiTempPath, path);
  Music.midiTempWritten = 1;
  m->playing = m->started = 1;
  EXPECT_EQ(StopMusicMem(h), 0);
  EXPECT_EQ(Music.mciLoop, 0);
  EXPECT_EQ(Music.mciPlaying, 0);
  EXPECT_EQ(CheckMusicMem(h), 0);
  EXPECT_EQ(Mci_OpenDeviceCount(), 0);
  EXPECT_EQ(Mci_CommandLog().back().message, MCI_CLOSE);
  EXPECT_EQ(access(path, F_OK), -1);
  EXPECT_EQ(Music.midiTempWritten, 0);
  EXPECT_EQ(m->playing, 0);
  EXPECT_EQ(m->started, 0);
  // Nothing plays: a notification sends nothing more.
  const size_t sent = Mci_CommandLog().size();
  ProcessMidiNotify();
  EXPECT_EQ(Mci_CommandLog().size(), sent);

  // The end of music deletes the current music handle from its set.
  m->midiImage = TK_MALLOC(32);
  EXPECT_EQ(TerminateMusic(), 0);
  EXPECT_EQ(Music.current, 0);
  EXPECT_EQ(GetHandleRecord(&SoundSystem.musicHandles, h), nullptr);
}

TEST_F(SoftAndMusic, SoundHandleAsBackgroundMusic) {
  ScratchFile file("bgm.wav", PcmWave(2, 44100, 16, ToBytes(TestSignal(2, 44100, 44100))));
  const int sound = LoadSoundMem(file.path.c_str(), 1, -1);
  ASSERT_GE(sound, 0);
  PlaySoundMem(sound, PlayType::Loop, 1);
  Music.current = sound;
  Music.currentIsSound = 1;
  EXPECT_EQ(CheckMusicMem(-1), 1);
  EXPECT_EQ(StopMusicMem(-1), 0);
  EXPECT_EQ(Music.current, 0);
  EXPECT_EQ(IsSoundMemPlaying(sound), -1);  // deleted

  const int again = LoadSoundMem(file.path.c_str(), 1, -1);
  Music.current = again;
  Music.currentIsSound = 1;
  EXPECT_EQ(TerminateMusic(), 0);
  EXPECT_EQ(IsSoundMemPlaying(again), -1);
  EXPECT_EQ(Music.current, 0);
}
