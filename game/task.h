// The task pool and the base class of every game object.
//
// A task joins its layer in its own constructor (Join) and ends itself by setting
// `finished`; the pool deletes it at the start of the next frame. Create tasks with
// CreateTask<T>(...): when the layer is full the task is refused, deleted again, and
// CreateTask returns null, so every creator must cope with a null result.
// Hold another task only through TaskRef: it turns null once that task is deleted.
#pragma once

#include <cstdint>
#include <utility>

constexpr int kLayerCount = 11;
constexpr int kLayerCapacity = 160;

// Pool layers by content.
enum TaskLayer : int {
  kLayerHidden = 0,     // updated, never drawn
  kLayerPlayer = 1,     // player, end roll, title
  kLayerPaddle = 2,
  kLayerBall = 3,       // balls, retry / GAME OVER scene
  kLayerAttack = 4,     // player attacks
  kLayerBlock = 5,      // blocks and boss objects among them
  kLayerEnemy = 6,      // enemies, masters, smoke
  kLayerBossPart = 7,   // boss parts and weapons, collision-only box
  kLayerBullet = 8,     // enemy bullets, READY and STAGE CLEAR
  kLayerShield = 9,     // shield, dash after-image
  kLayerItem = 10,
};

// Collision shapes.
enum HitShapeCode : uint8_t {
  kHitNone = 0,
  kHitBox = 1,
  kHitCircle = 2,
  kHitSegment = 3,
};

class Character {
 public:
  Character(int kind, int x, int y);
  virtual ~Character();
  Character(const Character&) = delete;
  Character& operator=(const Character&) = delete;

  // One frame of behaviour; the base does nothing.
  virtual void Update();
  // Draws the sprite rectangle of `image` at the position truncated toward zero.
  virtual void Draw();

  int8_t layer = -1;
  int32_t slot = -1;
  int32_t kind;
  uint8_t finished = 0;
  double x, y;
  int32_t width = 0, height = 0;
  int32_t hitX = 0, hitY = 0, hitW = 0, hitH = 0;
  int32_t srcX = 0, srcY = 0;
  uint8_t flip = 0;
  int32_t image = 0;
  int32_t life = 1;
  int32_t attackPower = 0;
  int32_t flashTimer = 0;
  int32_t score = 0;
  uint8_t hitShape = kHitBox;
  uint8_t hitCode = 0;
  uint8_t visible = 1;
  int32_t hitMask = 0;
  int32_t counter = 0;
  double work[4] = {0.0, 0.0, 0.0, 0.0};  // meaning per class (speeds, angles, a point)

  // Serial number of this task, unique for the whole run.
  uint64_t serial() const { return serial_; }

 protected:
  // Appends the task to a layer: the last step of every task constructor.
  // False (and the task stays out of the pool) when the layer is full.
  bool Join(int newLayer);

 private:
  uint64_t serial_;
};

// True when the task is still alive (constructed and not yet deleted).
bool TaskIsAlive(const Character* task, uint64_t serial);

// A reference to another task that becomes null once that task is deleted.
template <class T>
class TaskRef {
 public:
  TaskRef() = default;
  TaskRef(T* task) { reset(task); }  // NOLINT: implicit from a pointer
  void reset(T* task = nullptr) {
    task_ = task;
    serial_ = task ? task->serial() : 0;
  }
  T* get() const { return task_ && TaskIsAlive(task_, serial_) ? task_ : nullptr; }
  T* operator->() const { return get(); }
  explicit operator bool() const { return get() != nullptr; }

 private:
  T* task_ = nullptr;
  uint64_t serial_ = 0;
};

// Makes a task; null when its layer was full (the task is deleted again).
// A task that joins no layer by design (a screen owned by another task) is made with new.
template <class T, class... Args>
T* CreateTask(Args&&... args) {
  T* task = new T(std::forward<Args>(args)...);
  if (task->layer < 0) {
    delete task;
    return nullptr;
  }
  return task;
}

// Pool operations.
int TaskPool_Count(int layer);
Character* TaskPool_Get(int layer, int slot);
bool TaskPool_Append(Character* task, int layer);
bool TaskPool_SetLayer(Character* task, int newLayer);
bool TaskPool_FillHole(Character* lastTask, int hole);
void TaskPool_RemoveDead();
void TaskPool_DeleteAll();
void TaskPool_Clear();  // zeroes slots and counts without deleting
void TaskPool_UpdateAll();
void TaskPool_DrawAll();
// The contact test of two tasks: 0 none, else 1 or a face bit for a ball against a box.
using HitTestFunction = int (*)(const Character& a, const Character& b);
void TaskPool_CheckCollisions();
void TaskPool_CheckCollisionsWith(HitTestFunction test);

// The shape test the collision pass uses.
int CheckHitRect(const Character& a, const Character& b);
