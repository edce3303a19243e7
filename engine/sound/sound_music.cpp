// Music handles: MIDI played through the media control interface, or a sound handle as the
// background music. Nothing in this system makes a music handle or opens a MIDI device, so these
// entries mostly find nothing to do; they keep their behaviour for when something does.
#include <cstdio>

#include "engine/sound/sound_internal.h"
#include "platform/mci/mci.h"

MusicState Music;

namespace {

constexpr int kStopPumpPasses = 5;

MusicHandleRecord* GetMusicRecord(int handle) {
  if (!SoundSystem.up || handle < 0) return nullptr;
  return reinterpret_cast<MusicHandleRecord*>(GetHandleRecord(&SoundSystem.musicHandles, handle));
}

}  // namespace

int InitMusicHandle(HandleHeader* record) {
  reinterpret_cast<MusicHandleRecord*>(record)->volume = 255;
  return 0;
}

int UpdateMusicPlayState() {
  if (!SoundSystem.device || !SoundSystem.musicHandles.initialized) return -1;
  // MIDI goes through the media control interface alone, whose notification keeps the play state:
  // the walk finds nothing to change.
  return 0;
}

int ProcessMidiNotify() {
  if (Music.mciLoop) {
    MCI_PLAY_PARMS play{reinterpret_cast<uintptr_t>(GetMainWindow()), 0, 0};
    mciSendCommandA(Music.mciDevice, MCI_PLAY, MCI_NOTIFY | MCI_FROM, reinterpret_cast<uintptr_t>(&play));
    Music.mciPlaying = 1;
  } else if (Music.mciPlaying) {
    mciSendCommandA(Music.mciDevice, MCI_CLOSE, 0, 0);
    Music.mciPlaying = 0;
  }
  return 0;
}

int CheckMusicMem(int handle) {
  if (Music.current != 0 && Music.currentIsSound) return IsSoundMemPlaying(Music.current);
  if (!GetMusicRecord(handle)) return -1;
  return Music.mciPlaying ? 1 : 0;
}

int StopMusicMem(int handle) {
  if (Music.current != 0 && Music.currentIsSound) {
    StopSoundMem(Music.current);
    DeleteSoundMem(Music.current);
    Music.current = 0;
    return 0;
  }
  MusicHandleRecord* music = GetMusicRecord(handle);
  if (!music) return -1;
  Music.mciLoop = 0;
  ProcessMidiNotify();
  for (int i = 0; i < kStopPumpPasses; ++i) ProcessWindowMessages();
  DeleteMidiTempFile();
  music->playing = 0;
  music->started = 0;
  return 0;
}

int TerminateMusic() {
  if (Music.current != 0) {
    if (Music.currentIsSound) {
      StopSoundMem(Music.current);
      DeleteSoundMem(Music.current);
    } else {
      StopMusicMem(Music.current);
      SubHandle(&SoundSystem.musicHandles, Music.current);
    }
    Music.current = 0;
  }
  return 0;
}

int DeleteMusicHandle(HandleHeader* record) {
  auto* music = reinterpret_cast<MusicHandleRecord*>(record);
  if (CheckMusicMem(record->handle) == 1) StopMusicMem(record->handle);
  music->segment = nullptr;  // no segment is ever made here
  MemFree(music->midiImage);
  music->midiImage = nullptr;
  music->midiSize = 0;
  return 0;
}

void DeleteMidiTempFile() {
  if (!Music.midiTempWritten) return;
  std::remove(Music.midiTempPath);
  Music.midiTempWritten = 0;
}
