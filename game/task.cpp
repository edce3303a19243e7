#include "game/task.h"

#include <cmath>
#include <unordered_map>

#include "game/gfx.h"
#include "game/play_state.h"

namespace {

struct Pool {
  Character* slots[kLayerCount][kLayerCapacity];
  int32_t counts[kLayerCount];
};

Pool pool{};

// Live tasks by address, with their serial numbers, for TaskRef.
std::unordered_map<const Character*, uint64_t>& LiveTasks() {
  static std::unordered_map<const Character*, uint64_t> live;
  return live;
}

uint64_t nextSerial = 1;

bool ValidLayer(int layer) { return layer >= 0 && layer < kLayerCount; }

}  // namespace

Character::Character(int kind, int x, int y) : kind(kind), x(x), y(y), serial_(nextSerial++) {
  LiveTasks()[this] = serial_;
}

Character::~Character() { LiveTasks().erase(this); }

void Character::Update() {}

void Character::Draw() {
  // Positions are truncated toward zero; one outside the int range draws at 0.
  auto toInt = [](double v) -> int {
    if (!(v > -2147483648.0 && v < 2147483648.0)) return 0;
    return static_cast<int>(v);
  };
  GfxDrawRectPartGraph(toInt(x), toInt(y), srcX, srcY, width, height, image, 1, flip != 0);
}

bool Character::Join(int newLayer) { return TaskPool_Append(this, newLayer); }

bool TaskIsAlive(const Character* task, uint64_t serial) {
  auto& live = LiveTasks();
  auto it = live.find(task);
  return it != live.end() && it->second == serial;
}

int TaskPool_Count(int layer) { return ValidLayer(layer) ? pool.counts[layer] : 0; }

Character* TaskPool_Get(int layer, int slot) {
  if (!ValidLayer(layer) || slot < 0 || slot >= pool.counts[layer]) return nullptr;
  return pool.slots[layer][slot];
}

bool TaskPool_Append(Character* task, int layer) {
  if (task == nullptr || !ValidLayer(layer)) return false;
  int32_t& count = pool.counts[layer];
  if (count >= kLayerCapacity) return false;
  pool.slots[layer][count] = task;
  task->slot = count;
  task->layer = static_cast<int8_t>(layer);
  ++count;
  return true;
}

bool TaskPool_FillHole(Character* lastTask, int hole) {
  if (lastTask == nullptr || !ValidLayer(lastTask->layer)) return false;
  Character** row = pool.slots[lastTask->layer];
  if (hole < 0 || hole >= lastTask->slot || row[hole] != nullptr) return false;
  row[hole] = lastTask;
  row[lastTask->slot] = nullptr;
  lastTask->slot = hole;
  return true;
}

bool TaskPool_SetLayer(Character* task, int newLayer) {
  if (task == nullptr || !ValidLayer(task->layer) || !ValidLayer(newLayer)) return false;
  // Refuse before leaving the old layer, so a full target never drops the task.
  if (pool.counts[newLayer] >= kLayerCapacity && newLayer != task->layer) return false;
  int old = task->layer;
  pool.slots[old][task->slot] = nullptr;
  int32_t& count = pool.counts[old];
  --count;
  Character* last = pool.slots[old][count];
  if (last != nullptr && last != task) TaskPool_FillHole(last, task->slot);
  task->layer = -1;
  task->slot = -1;
  return TaskPool_Append(task, newLayer);
}

void TaskPool_RemoveDead() {
  for (int layer = 0; layer < kLayerCount; ++layer) {
    Character** row = pool.slots[layer];
    int32_t& count = pool.counts[layer];
    for (int i = 0; i < count;) {
      Character* task = row[i];
      if (task == nullptr || !task->finished) {
        ++i;
        continue;
      }
      // The task leaves the pool before its destructor runs, so a destructor that makes
      // new tasks finds consistent layers. The moved-in task is examined next.
      --count;
      row[i] = row[count];
      row[count] = nullptr;
      if (row[i] != nullptr) row[i]->slot = i;
      task->layer = -1;
      task->slot = -1;
      delete task;
    }
  }
}

void TaskPool_DeleteAll() {
  // Destructors may end or even make other tasks; repeat until every layer is empty.
  for (int pass = 0; pass < 8; ++pass) {
    bool any = false;
    for (int layer = 0; layer < kLayerCount; ++layer) {
      Character** row = pool.slots[layer];
      for (int i = 0; i < pool.counts[layer]; ++i) {
        Character* task = row[i];
        row[i] = nullptr;
        if (task == nullptr) continue;
        task->layer = -1;
        task->slot = -1;
        delete task;
        any = true;
      }
      pool.counts[layer] = 0;
    }
    if (!any) break;
  }
  TaskPool_Clear();
}

void TaskPool_Clear() { pool = Pool{}; }

void TaskPool_UpdateAll() {
  for (int layer = 0; layer < kLayerCount; ++layer) {
    for (int i = 0; i < pool.counts[layer]; ++i) {
      Character* task = pool.slots[layer][i];
      if (task != nullptr) task->Update();
    }
  }
}

void TaskPool_DrawAll() {
  static const int kOrderAlive[] = {5, 6, 7, 1, 9, 2, 4, 10, 3, 8};
  static const int kOrderBeaten[] = {5, 6, 7, 1, 9, 2, 4, 10, 8, 3};
  const int* order = Health >= 1 ? kOrderAlive : kOrderBeaten;
  for (int k = 0; k < 10; ++k) {
    int layer = order[k];
    for (int i = 0; i < pool.counts[layer]; ++i) {
      Character* task = pool.slots[layer][i];
      if (task != nullptr && task->visible) task->Draw();
    }
  }
}

void TaskPool_CheckCollisions() { TaskPool_CheckCollisionsWith(CheckHitRect); }

void TaskPool_CheckCollisionsWith(HitTestFunction test) {
  // Balls against blocks, the player, the paddle and the player's attacks.
  for (int bi = 0; bi < pool.counts[kLayerBall]; ++bi) {
    Character* b = pool.slots[kLayerBall][bi];
    for (int ki = 0; ki < pool.counts[kLayerBlock]; ++ki) {
      Character* k = pool.slots[kLayerBlock][ki];
      int m = test(*k, *b);
      if (b->hitMask & m) break;
      b->hitMask |= m;
      if (m != 0) {
        b->hitCode = 5;
        k->hitCode = 3;
      }
    }
    const int others[] = {kLayerPlayer, kLayerPaddle, kLayerAttack};
    for (int layer : others) {
      for (int i = 0; i < pool.counts[layer]; ++i) {
        if (test(*b, *pool.slots[layer][i])) b->hitCode = static_cast<uint8_t>(layer);
      }
    }
  }

  // Enemy bullets against the shield.
  for (int ei = 0; ei < pool.counts[kLayerBullet]; ++ei) {
    Character* e = pool.slots[kLayerBullet][ei];
    for (int si = 0; si < pool.counts[kLayerShield]; ++si) {
      if (test(*pool.slots[kLayerShield][si], *e)) e->hitCode = 9;
    }
  }

  // The player against enemies, boss parts, bullets and items.
  for (int pi = 0; pi < pool.counts[kLayerPlayer]; ++pi) {
    Character* p = pool.slots[kLayerPlayer][pi];
    if (PlayerInvincibleTime == 0 && PlayerPose != 128) {
      for (int i = 0; i < pool.counts[kLayerEnemy]; ++i) {
        if (test(*pool.slots[kLayerEnemy][i], *p)) {
          p->hitCode = 6;
          break;
        }
      }
      if (p->hitCode == 0) {
        for (int i = 0; i < pool.counts[kLayerBossPart]; ++i) {
          if (test(*pool.slots[kLayerBossPart][i], *p)) {
            p->hitCode = 7;
            break;
          }
        }
      }
    }
    for (int i = 0; i < pool.counts[kLayerBullet]; ++i) {
      Character* e = pool.slots[kLayerBullet][i];
      if (!test(*e, *p) || e->hitCode != 0) continue;
      if (PlayerPose == 128) {
        e->hitCode = 1;
      } else if (p->hitCode == 0 && PlayerInvincibleTime == 0) {
        p->hitCode = 8;
        e->hitCode = 1;
      }
    }
    for (int i = 0; i < pool.counts[kLayerItem]; ++i) {
      Character* item = pool.slots[kLayerItem][i];
      if (test(*item, *p)) item->hitCode = 1;
    }
  }

  // The player's attacks against enemies and blocks.
  for (int ai = 0; ai < pool.counts[kLayerAttack]; ++ai) {
    Character* a = pool.slots[kLayerAttack][ai];
    for (int i = 0; i < pool.counts[kLayerEnemy]; ++i) {
      Character* n = pool.slots[kLayerEnemy][i];
      if (test(*a, *n)) {
        n->hitCode = static_cast<uint8_t>(static_cast<uint32_t>(a->attackPower) & 0xFFu);
        a->hitCode = 6;
      }
    }
    if (a->attackPower == 1) {
      for (int i = 0; i < pool.counts[kLayerBlock]; ++i) {
        Character* k = pool.slots[kLayerBlock][i];
        if (test(*a, *k)) {
          k->hitCode = 4;
          a->hitCode = 5;
        }
      }
    }
  }
}
