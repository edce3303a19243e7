#include <vector>

#include "engine/system/system.h"
#include "common/scratch.h"

namespace {

struct Thing {
  HandleHeader head;
  int value;
  int initialised;
};

std::vector<int> deleted;
int keepValue = -1;

int InitThing(HandleHeader* h) {
  reinterpret_cast<Thing*>(h)->initialised = 1;
  return 0;
}

int DeleteThing(HandleHeader* h) {
  Thing* t = reinterpret_cast<Thing*>(h);
  deleted.push_back(t->value);
  return t->value == keepValue ? 1 : 0;
}

int OddOnly(HandleHeader* h) { return reinterpret_cast<Thing*>(h)->value % 2; }

struct Manager {
  HandleManager m{};
  explicit Manager(int max, const char* name = "テスト") {
    deleted.clear();
    keepValue = -1;
    EXPECT_EQ(InitHandleManager(&m, HandleType::Sound, sizeof(Thing), max, InitThing, DeleteThing, name), 0);
  }
  ~Manager() {
    if (m.initialized) TermHandleManager(&m);
  }
  Thing* Get(HandleValue h) { return reinterpret_cast<Thing*>(GetHandleRecord(&m, h)); }
};

}  // namespace

TEST(Handles, ValuesCarryTypeCheckNumberAndIndex) {
  Manager set(8);
  EXPECT_EQ(InitHandleManager(&set.m, HandleType::Sound, sizeof(Thing), 8, nullptr, nullptr, "x"), -1);
  HandleValue a = AddHandle(&set.m, -1);
  HandleValue b = AddHandle(&set.m, -1);
  ASSERT_GT(a, 0);
  ASSERT_GT(b, 0);
  EXPECT_EQ((static_cast<uint32_t>(a) & HANDLE_TYPE_MASK) >> HANDLE_TYPE_SHIFT, 3u);
  EXPECT_EQ(static_cast<uint32_t>(a) & HANDLE_INDEX_MASK, 0u);
  EXPECT_EQ(static_cast<uint32_t>(b) & HANDLE_INDEX_MASK, 1u);
  EXPECT_NE(a & HANDLE_CHECK_MASK, b & HANDLE_CHECK_MASK);
  Thing* t = set.Get(a);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->initialised, 1);
  EXPECT_EQ(t->value, 0);  // zero-filled before the init callback
  EXPECT_EQ(t->head.handle, a);
  EXPECT_EQ(t->head.checkNumber, static_cast<int>((static_cast<uint32_t>(a) & HANDLE_CHECK_MASK) >> HANDLE_CHECK_SHIFT));
  EXPECT_EQ(set.m.first, &t->head);  // creation order

  // Every part of the value is checked.
  EXPECT_EQ(set.Get(-1), nullptr);
  EXPECT_EQ(set.Get(static_cast<HandleValue>(a | 0x80000000u)), nullptr);
  EXPECT_EQ(set.Get(static_cast<HandleValue>((a & ~HANDLE_TYPE_MASK) | (HandleType::Graph << HANDLE_TYPE_SHIFT))), nullptr);
  EXPECT_EQ(set.Get(static_cast<HandleValue>(a ^ (1u << HANDLE_CHECK_SHIFT))), nullptr);
  EXPECT_EQ(set.Get(static_cast<HandleValue>((a & ~HANDLE_INDEX_MASK) | 7u)), nullptr);   // empty slot
  EXPECT_EQ(set.Get(static_cast<HandleValue>((a & ~HANDLE_INDEX_MASK) | 9u)), nullptr);   // past the table
}

TEST(Handles, DeletedSlotIsReusedWithAnotherCheckNumber) {
  Manager set(4);
  HandleValue a = AddHandle(&set.m, -1);
  set.Get(a)->value = 10;
  EXPECT_EQ(SubHandle(&set.m, a), 0);
  EXPECT_EQ(deleted, std::vector<int>{10});
  EXPECT_EQ(set.Get(a), nullptr);
  EXPECT_EQ(SubHandle(&set.m, a), -1);
  HandleValue again = AddHandle(&set.m, -1);
  EXPECT_EQ(again & HANDLE_INDEX_MASK, a & HANDLE_INDEX_MASK);
  EXPECT_NE(again, a);
  EXPECT_EQ(set.Get(a), nullptr);  // the old number stays dead
  EXPECT_NE(set.Get(again), nullptr);
  EXPECT_EQ(set.m.count, 1);

  // A wanted handle takes its own slot and check number, once.
  HandleValue wanted = static_cast<HandleValue>((HandleType::Sound << HANDLE_TYPE_SHIFT) | (77u << HANDLE_CHECK_SHIFT) | 3u);
  EXPECT_EQ(AddHandle(&set.m, wanted), wanted);
  EXPECT_EQ(AddHandle(&set.m, wanted), -1);
  EXPECT_EQ(AddHandle(&set.m, static_cast<HandleValue>((HandleType::Graph << HANDLE_TYPE_SHIFT) | 2u)), -1);
}

TEST(Handles, FullTableIsRefusedWithItsMessage) {
  std::string log = ScratchName("log.txt");
  SetLogOutputFlag(1);
  SetLogFileName(log.c_str());
  Manager set(3, "サウンド");
  for (int i = 0; i < 3; ++i) EXPECT_NE(AddHandle(&set.m, -1), -1);
  EXPECT_EQ(AddHandle(&set.m, -1), -1);
  std::string text = ReadWholeFile(log);
  EXPECT_NE(text.find("サウンドハンドルの数が限界数( 3 )に達していて新たなハンドルを作成できません\r\n"), std::string::npos)
      << text;
  SetLogFileName(nullptr);
  std::remove(log.c_str());
}

TEST(Handles, DeleteCallbackFilterAndTermination) {
  Manager set(8);
  std::vector<HandleValue> handles;
  for (int i = 1; i <= 5; ++i) {
    HandleValue h = AddHandle(&set.m, -1);
    set.Get(h)->value = i;
    handles.push_back(h);
  }
  keepValue = 3;  // the callback keeps this record
  EXPECT_EQ(DeleteAllHandles(&set.m, OddOnly), 0);
  EXPECT_EQ(deleted, (std::vector<int>{1, 3, 5}));
  EXPECT_EQ(set.Get(handles[0]), nullptr);
  EXPECT_NE(set.Get(handles[1]), nullptr);
  EXPECT_NE(set.Get(handles[2]), nullptr);  // kept
  EXPECT_EQ(set.m.count, 3);
  int blocks = GetAllocMemoryCount(nullptr);
  EXPECT_EQ(TermHandleManager(&set.m), 0);
  EXPECT_EQ(set.m.initialized, 0);
  EXPECT_EQ(set.Get(handles[1]), nullptr);
  EXPECT_EQ(AddHandle(&set.m, -1), -1);
  EXPECT_EQ(GetAllocMemoryCount(nullptr), blocks - 4);  // three records and the table
}

TEST(Handles, AsyncLoadCount) {
  Manager set(2);
  HandleValue h = AddHandle(&set.m, -1);
  EXPECT_EQ(IncHandleAsyncLoadCount(&set.m, h, 42), 0);
  EXPECT_EQ(set.Get(h)->head.asyncLoadCount.load(), 1);
  EXPECT_EQ(set.Get(h)->head.asyncRequestNumber, 42);
  EXPECT_EQ(DecHandleAsyncLoadCount(&set.m, h), 0);
  EXPECT_EQ(DecHandleAsyncLoadCount(&set.m, h), -1);  // never below 0
  EXPECT_EQ(IncHandleAsyncLoadCount(&set.m, h + 1, 0), -1);
}
