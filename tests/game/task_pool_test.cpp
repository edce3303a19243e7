// The task pool: removal, layer moves, update and draw passes, the collision pairs.
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "game/play_state.h"
#include "game/task.h"

namespace {

std::vector<std::string> events;

// A task that records its updates and draws, and can run an action in its update.
class Probe : public Character {
 public:
  Probe(int layer, std::string name) : Character(-1, 0, 0), name(std::move(name)) { Join(layer); }
  ~Probe() override {
    events.push_back("~" + name);
    // Ends its companion the safe way, even when the companion is gone already.
    if (Probe* c = companion.get()) c->finished = 1;
  }
  void Update() override {
    events.push_back("U" + name);
    if (onUpdate) onUpdate();
  }
  void Draw() override { events.push_back("D" + name); }

  std::string name;
  std::function<void()> onUpdate;
  TaskRef<Probe> companion;
};

class TaskPoolTest : public ::testing::Test {
 protected:
  void SetUp() override {
    TaskPool_DeleteAll();
    events.clear();
    ResetPlayState();
  }
  void TearDown() override { TaskPool_DeleteAll(); }

  static std::vector<std::string> Names(int layer) {
    std::vector<std::string> names;
    for (int i = 0; i < TaskPool_Count(layer); ++i) {
      auto* p = static_cast<Probe*>(TaskPool_Get(layer, i));
      EXPECT_EQ(p->slot, i);
      EXPECT_EQ(p->layer, layer);
      names.push_back(p->name);
    }
    return names;
  }
};

using Texts = std::vector<std::string>;

TEST_F(TaskPoolTest, RemoveDeadFillsHolesFromTheEnd) {
  // The first of three: the last moves into its slot.
  Probe* a = CreateTask<Probe>(5, "a");
  CreateTask<Probe>(5, "b");
  CreateTask<Probe>(5, "c");
  a->finished = 1;
  TaskPool_RemoveDead();
  EXPECT_EQ(Names(5), (Texts{"c", "b"}));
  EXPECT_EQ(events, (Texts{"~a"}));

  // Two finished neighbours at the end of a layer go in one pass.
  TaskPool_DeleteAll();
  events.clear();
  CreateTask<Probe>(6, "p");
  Probe* q = CreateTask<Probe>(6, "q");
  Probe* r = CreateTask<Probe>(6, "r");
  q->finished = r->finished = 1;
  TaskPool_RemoveDead();
  EXPECT_EQ(Names(6), (Texts{"p"}));

  // A finished task moved into a hole is examined too.
  TaskPool_DeleteAll();
  Probe* x = CreateTask<Probe>(7, "x");
  CreateTask<Probe>(7, "y");
  Probe* z = CreateTask<Probe>(7, "z");
  x->finished = z->finished = 1;
  TaskPool_RemoveDead();
  EXPECT_EQ(Names(7), (Texts{"y"}));
}

TEST_F(TaskPoolTest, DestructorsEndCompanionsWithoutTouchingFreedTasks) {
  // Owner and companion both finish in the same frame; the companion goes first.
  Probe* owner = CreateTask<Probe>(6, "owner");
  Probe* shield = CreateTask<Probe>(5, "shield");
  owner->companion.reset(shield);
  owner->finished = shield->finished = 1;
  TaskPool_RemoveDead();  // layer 5 first: the shield is freed before the owner's destructor
  EXPECT_EQ(TaskPool_Count(5) + TaskPool_Count(6), 0);

  // An owner ending its live companion: one in a later layer goes in the same pass,
  // one in an earlier layer at the next removal.
  owner = CreateTask<Probe>(1, "owner");
  TaskRef<Probe> blade = CreateTask<Probe>(4, "blade");
  owner->companion = blade;
  owner->finished = 1;
  TaskPool_RemoveDead();
  EXPECT_FALSE(blade);
  Probe* paddle = CreateTask<Probe>(2, "paddle");
  TaskRef<Probe> base = CreateTask<Probe>(0, "base");
  paddle->companion = base;
  paddle->finished = 1;
  TaskPool_RemoveDead();
  ASSERT_TRUE(base);
  EXPECT_EQ(base->finished, 1);
  TaskPool_RemoveDead();
  EXPECT_FALSE(base);

  // Deleting everything in any order is safe as well.
  Probe* late = CreateTask<Probe>(10, "late");
  Probe* early = CreateTask<Probe>(2, "early");
  late->companion.reset(early);
  early->companion.reset(late);
  TaskPool_DeleteAll();
  for (int layer = 0; layer < kLayerCount; ++layer) EXPECT_EQ(TaskPool_Count(layer), 0);
}

TEST_F(TaskPoolTest, SetLayerMovesAndKeepsLayersPacked) {
  Probe* a = CreateTask<Probe>(5, "a");
  CreateTask<Probe>(5, "b");
  CreateTask<Probe>(5, "c");
  CreateTask<Probe>(6, "e");
  ASSERT_TRUE(TaskPool_SetLayer(a, 6));
  EXPECT_EQ(Names(5), (Texts{"c", "b"}));
  EXPECT_EQ(Names(6), (Texts{"e", "a"}));

  // The last task of a layer moving leaves no hole to fill.
  Probe* b = static_cast<Probe*>(TaskPool_Get(5, 1));
  ASSERT_TRUE(TaskPool_SetLayer(b, 7));
  EXPECT_EQ(Names(5), (Texts{"c"}));
  EXPECT_EQ(Names(7), (Texts{"b"}));

  // FillHole only moves a task down into an empty slot.
  Probe* c = static_cast<Probe*>(TaskPool_Get(5, 0));
  EXPECT_FALSE(TaskPool_FillHole(c, 0));
  EXPECT_FALSE(TaskPool_FillHole(c, 3));
}

TEST_F(TaskPoolTest, FullLayersRefuseNewTasks) {
  for (int i = 0; i < kLayerCapacity; ++i) ASSERT_NE(CreateTask<Probe>(8, "b"), nullptr);
  EXPECT_EQ(CreateTask<Probe>(8, "over"), nullptr);
  EXPECT_EQ(TaskPool_Count(8), kLayerCapacity);
  EXPECT_EQ(events, (Texts{"~over"}));

  // A move into the full layer is refused and the task stays where it was.
  Probe* m = CreateTask<Probe>(6, "m");
  EXPECT_FALSE(TaskPool_SetLayer(m, 8));
  EXPECT_EQ(m->layer, 6);
  EXPECT_EQ(TaskPool_Get(6, 0), m);
}

TEST_F(TaskPoolTest, UpdatePassReachesTasksAppendedToLaterLayers) {
  Probe* ball = CreateTask<Probe>(3, "ball");
  Probe* block = CreateTask<Probe>(5, "block");
  ball->onUpdate = [] { CreateTask<Probe>(8, "shot"); };
  block->onUpdate = [] { CreateTask<Probe>(2, "paddle"); };
  TaskPool_UpdateAll();
  EXPECT_EQ(events, (Texts{"Uball", "Ublock", "Ushot"}));

  events.clear();
  ball->onUpdate = nullptr;
  block->onUpdate = nullptr;
  TaskPool_UpdateAll();
  EXPECT_EQ(events, (Texts{"Upaddle", "Uball", "Ublock", "Ushot"}));
}

TEST_F(TaskPoolTest, DrawOrderFollowsLayersAndHealth) {
  for (int layer = 0; layer < kLayerCount; ++layer) CreateTask<Probe>(layer, std::to_string(layer));
  CreateTask<Probe>(5, "hidden")->visible = 0;
  Health = 1;
  TaskPool_DrawAll();
  EXPECT_EQ(events, (Texts{"D5", "D6", "D7", "D1", "D9", "D2", "D4", "D10", "D3", "D8"}));
  events.clear();
  Health = 0;
  TaskPool_DrawAll();
  EXPECT_EQ(events, (Texts{"D5", "D6", "D7", "D1", "D9", "D2", "D4", "D10", "D8", "D3"}));
}

// Contacts scripted by task name: (first, second) -> result.
std::map<std::pair<std::string, std::string>, int> contacts;

int ScriptedTest(const Character& a, const Character& b) {
  auto it = contacts.find({static_cast<const Probe&>(a).name, static_cast<const Probe&>(b).name});
  return it == contacts.end() ? 0 : it->second;
}

TEST_F(TaskPoolTest, CollisionPairsWriteHitCodes) {
  contacts.clear();
  Probe* ball = CreateTask<Probe>(3, "ball");
  Probe* k1 = CreateTask<Probe>(5, "k1");
  Probe* k2 = CreateTask<Probe>(5, "k2");
  Probe* k3 = CreateTask<Probe>(5, "k3");
  Probe* player = CreateTask<Probe>(1, "player");
  Probe* paddle = CreateTask<Probe>(2, "paddle");

  // Blocks report faces; a face already answered stops the walk (k3 is never reached).
  contacts[{"k1", "ball"}] = 2;
  contacts[{"k2", "ball"}] = 2;
  contacts[{"k3", "ball"}] = 8;
  contacts[{"ball", "paddle"}] = 1;
  TaskPool_CheckCollisionsWith(ScriptedTest);
  EXPECT_EQ(ball->hitMask, 2);
  EXPECT_EQ(k1->hitCode, 3);
  EXPECT_EQ(k2->hitCode, 0);
  EXPECT_EQ(k3->hitCode, 0);
  EXPECT_EQ(ball->hitCode, 2);  // the paddle's pair comes after the blocks
  EXPECT_EQ(player->hitCode, 0);

  // Enemies and boss parts: the first enemy wins; boss parts only when no enemy touched.
  contacts.clear();
  ball->hitCode = 0;
  Probe* enemy = CreateTask<Probe>(6, "enemy");
  Probe* part = CreateTask<Probe>(7, "part");
  contacts[{"enemy", "player"}] = 1;
  contacts[{"part", "player"}] = 1;
  TaskPool_CheckCollisionsWith(ScriptedTest);
  EXPECT_EQ(player->hitCode, 6);
  player->hitCode = 0;
  contacts.erase({"enemy", "player"});
  TaskPool_CheckCollisionsWith(ScriptedTest);
  EXPECT_EQ(player->hitCode, 7);
  player->hitCode = 0;
  PlayerInvincibleTime = 3;
  TaskPool_CheckCollisionsWith(ScriptedTest);
  EXPECT_EQ(player->hitCode, 0);
  PlayerInvincibleTime = 0;

  // Bullets: spent on the shield pose without hurting; otherwise they hit the player once.
  contacts.clear();
  Probe* bullet = CreateTask<Probe>(8, "bullet");
  Probe* bullet2 = CreateTask<Probe>(8, "bullet2");
  contacts[{"bullet", "player"}] = 1;
  contacts[{"bullet2", "player"}] = 1;
  contacts[{"enemy", "player"}] = 1;
  PlayerPose = 128;
  TaskPool_CheckCollisionsWith(ScriptedTest);
  EXPECT_EQ(player->hitCode, 0);
  EXPECT_EQ(bullet->hitCode, 1);
  EXPECT_EQ(bullet2->hitCode, 1);
  PlayerPose = 0;
  bullet->hitCode = bullet2->hitCode = 0;
  contacts.erase({"enemy", "player"});
  TaskPool_CheckCollisionsWith(ScriptedTest);
  EXPECT_EQ(player->hitCode, 8);
  EXPECT_EQ(bullet->hitCode, 1);
  EXPECT_EQ(bullet2->hitCode, 0);  // the player was hit already this frame

  // The shield stops bullets; items are taken.
  contacts.clear();
  player->hitCode = bullet->hitCode = 0;
  Probe* shield = CreateTask<Probe>(9, "shield");
  Probe* item = CreateTask<Probe>(10, "item");
  contacts[{"shield", "bullet"}] = 1;
  contacts[{"item", "player"}] = 1;
  TaskPool_CheckCollisionsWith(ScriptedTest);
  EXPECT_EQ(bullet->hitCode, 9);
  EXPECT_EQ(item->hitCode, 1);
  (void)shield;

  // Attacks hand their power's low byte to enemies; only power 1 breaks blocks.
  contacts.clear();
  Probe* slash = CreateTask<Probe>(4, "slash");
  slash->attackPower = 0x105;
  contacts[{"slash", "enemy"}] = 1;
  contacts[{"slash", "k2"}] = 1;
  k2->hitCode = 0;
  TaskPool_CheckCollisionsWith(ScriptedTest);
  EXPECT_EQ(enemy->hitCode, 5);
  EXPECT_EQ(slash->hitCode, 6);
  EXPECT_EQ(k2->hitCode, 0);
  slash->attackPower = 1;
  TaskPool_CheckCollisionsWith(ScriptedTest);
  EXPECT_EQ(k2->hitCode, 4);
  EXPECT_EQ(slash->hitCode, 5);
  // The ball against an attack.
  contacts[{"ball", "slash"}] = 1;
  ball->hitCode = 0;
  ball->hitMask = 0;
  TaskPool_CheckCollisionsWith(ScriptedTest);
  EXPECT_EQ(ball->hitCode, 4);
  (void)part;
  (void)paddle;
}

}  // namespace
