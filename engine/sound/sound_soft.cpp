// Soft sounds: PCM in the program's own memory, and players that feed a play buffer from it.
// Nothing in this system makes one, so the entries below walk an empty set; they keep their
// checks and their pause bookkeeping for when something does.
#include "engine/sound/sound_internal.h"

namespace {

struct SoftSoundLock {
  SoftSoundLock() { LockHandleManager(&SoundSystem.softSoundHandles); }
  ~SoftSoundLock() { UnlockHandleManager(&SoundSystem.softSoundHandles); }
  SoftSoundLock(const SoftSoundLock&) = delete;
  SoftSoundLock& operator=(const SoftSoundLock&) = delete;
};

template <typename Visit>
void ForEachPlayer(Visit visit) {
  HandleList& list = SoundSystem.softSoundPlayerList;
  for (ListNode* n = list.head.next; n && n != &list.tail;) {
    ListNode* next = n->next;
    visit(static_cast<SoftSoundHandleRecord*>(n->data));
    n = next;
  }
}

}  // namespace

int PauseSoftSoundAll(int pause) {
  if (!SoundSystem.up || !SoundSystem.device) return -1;
  SoftSoundLock lock;
  ForEachPlayer([pause](SoftSoundHandleRecord* p) {
    if (pause) {
      if (!p->buffer.valid || p->pauseMark) return;
      uint32_t status = 0;
      if (SoundBuffer_GetStatus(&p->buffer, &status) != 0) {
        p->pauseMark = 0;
        return;
      }
      p->pauseMark = 1;
      p->wasPlaying = (status & DSBSTATUS_PLAYING) ? 1 : 0;
      if (p->wasPlaying) SoundBuffer_Stop(&p->buffer);
    } else {
      if (p->active && !p->buffer.valid) return;
      if (p->active && p->pauseMark && p->wasPlaying) SoundBuffer_Play(&p->buffer, p->buffer.loop);
      p->pauseMark = 0;
    }
  });
  return 0;
}

int ProcessSoftSoundPlayerAll() {
  if (!SoundSystem.up || !SoundSystem.device) return -1;
  SoftSoundLock lock;
  ForEachPlayer([](SoftSoundHandleRecord* p) {
    if (p->active) ProcessSoftSoundPlayer(p);
  });
  return 0;
}

// Feeding a player's buffer from its pending PCM comes with the operations that fill it.
int ProcessSoftSoundPlayer(SoftSoundHandleRecord* player) {
  if (!SoundSystem.up || !player) return -1;
  return 0;
}

int DeleteSoftSoundHandle(HandleHeader* record) {
  auto* s = reinterpret_cast<SoftSoundHandleRecord*>(record);
  if (s->isPlayer) {
    SoftSoundLock lock;
    RingBufTerminate(&s->ring);
    if (s->buffer.valid) SoundBuffer_Release(&s->buffer);
    if (s->playerNode.prev) ListRemoveNode(&s->playerNode);
  } else {
    MemFree(s->pcm);
    s->pcm = nullptr;
  }
  return 0;
}

int IsSoftSoundPlayer(HandleHeader* record) {
  return reinterpret_cast<SoftSoundHandleRecord*>(record)->isPlayer != 0 ? 1 : 0;
}

int IsNotSoftSoundPlayer(HandleHeader* record) { return IsSoftSoundPlayer(record) ? 0 : 1; }
