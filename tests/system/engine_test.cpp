#include <gmock/gmock.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <chrono>
#include <thread>
#include <vector>

#include "engine/system/system.h"
#include "engine/system/test_hooks.h"
#include "platform/window/test_driver.h"
#include "platform/window/window.h"
#include "common/scratch.h"

namespace {

// Starts the engine headless with a log of the test's own; ends it afterwards.
class Engine : public ::testing::Test {
 protected:
  std::string log = ScratchName("log.txt");
  void SetUp() override {
    TestDriver_Reset();
    SetLogOutputFlag(1);
    SetLogFileName(log.c_str());
    ASSERT_EQ(LibInit(), 0);
  }
  void TearDown() override {
    LibEnd();
    TestDriver_Reset();
    SetLogFileName(nullptr);
    std::remove(log.c_str());
  }
};

struct Counter {
  int passes = 0;
  std::vector<int> activations;
  int regainAfter = -1;  // scripts focus back after this many passes
};

void CountPass(void* user) {
  auto c = static_cast<Counter*>(user);
  if (++c->passes == c->regainAfter) TestDriver_Focus(1);
}

void CountActivation(int active, void* user) { static_cast<Counter*>(user)->activations.push_back(active); }

}  // namespace

TEST_F(Engine, StartsAndEndsInOrderWithAWindow) {
  EXPECT_EQ(IsLibInitialized(), 1);
  EXPECT_EQ(LibInit(), 0);  // already started
  EXPECT_NE(GetMainWindow(), nullptr);
  EXPECT_EQ(IsWindowActive(), 1);
  EXPECT_EQ(PumpMessages(), 0);
  LibEnd();
  EXPECT_EQ(IsLibInitialized(), 0);
  EXPECT_EQ(GetMainWindow(), nullptr);
  EXPECT_EQ(PumpMessages(), -1);
  std::string text = ReadWholeFile(log);
  EXPECT_LT(text.find("Tamrak start-up"), text.find("Tamrak started"));
  EXPECT_LT(text.find("Tamrak started"), text.find("Tamrak shutdown"));
  ASSERT_EQ(LibInit(), 0);  // starts again after an end
}

TEST(EngineSettings, WindowFollowsScreenSizeRateAndMode) {
  TestDriver_Reset();
  SetLogOutputFlag(0);
  EXPECT_EQ(SetWindowTitleText("Kestrune"), 0);
  EXPECT_EQ(SetMainWindowClientSize(320, 240), 0);
  EXPECT_EQ(SetWindowSizeRate(2.0, -1.0), 0);  // y below 0 takes x
  EXPECT_EQ(ChangeWindowMode(1), 0);
  int w = 0, h = 0;
  GetMainWindowClientSize(&w, &h);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  ASSERT_EQ(LibInit(), 0);
  EXPECT_EQ(ChangeWindowMode(1), 0);
  // The graphics layer sets the screen size from its screen mode; the window follows.
  EXPECT_EQ(SetMainWindowClientSize(320, 240), 0);
  PlatformWindow_GetClientSize(&w, &h);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  SetWindowSizeRate(1.5, 3.0);
  PlatformWindow_GetClientSize(&w, &h);
  EXPECT_EQ(w, 480);
  EXPECT_EQ(h, 720);
  SetWindowSizeRate(std::nan(""), 0.0);
  PlatformWindow_GetClientSize(&w, &h);
  EXPECT_EQ(w, 320);
  EXPECT_EQ(h, 240);
  EXPECT_EQ(SetMainWindowClientSize(0, 240), -1);
  EXPECT_EQ(ChangeWindowMode(0), 0);
  EXPECT_EQ(PlatformWindow_IsFullScreen(), 1);
  EXPECT_EQ(ChangeWindowMode(1), 0);
  EXPECT_EQ(PlatformWindow_IsFullScreen(), 0);
  LibEnd();
  SetLogOutputFlag(1);
}

TEST_F(Engine, ScriptedInputReachesKeysAndPad) {
  EXPECT_EQ(IsKeyDown(KeyCode::Escape), 0);
  TestDriver_KeyDown(KeyCode::Escape);
  TestDriver_KeyDown(KeyCode::F12);
  EXPECT_EQ(IsKeyDown(KeyCode::Escape), 1);
  EXPECT_EQ(IsKeyDown(0x58), 1);
  EXPECT_EQ(IsKeyDown(KeyCode::F2), 0);
  EXPECT_EQ(IsKeyDown(-1), 0);
  EXPECT_EQ(IsKeyDown(256), 0);
  char all[256];
  EXPECT_EQ(GetAllKeyStates(all), 0);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(all[i], (i == 1 || i == 0x58) ? 1 : 0) << i;
  TestDriver_KeyUp(KeyCode::Escape);
  EXPECT_EQ(IsKeyDown(KeyCode::Escape), 0);

  TestDriver_SetPad(1, PadBit::Left | PadBit::Button1 | PadBit::Button6);
  EXPECT_EQ(GetPadInputState(1), 2 | 16 | 512);
  EXPECT_EQ(GetPadInputState(2), 0);
  EXPECT_EQ(GetPadInputState(0), 0);
  EXPECT_EQ(GetPadInputState(99), 0);
}

TEST_F(Engine, CloseEventEndsThePump) {
  Counter c;
  AddMessagePassHook(CountPass, &c);
  AddMessagePassHook(CountPass, &c);  // once only
  EXPECT_EQ(PumpMessages(), 0);
  TestDriver_Close();
  EXPECT_EQ(PumpMessages(), -1);
  EXPECT_EQ(IsWindowClosed(), 1);
  EXPECT_EQ(PumpMessages(), -1);  // and stays ended
  EXPECT_EQ(c.passes, 3);
  EXPECT_EQ(RemoveMessagePassHook(CountPass, &c), 0);
  EXPECT_EQ(RemoveMessagePassHook(CountPass, &c), -1);
}

TEST_F(Engine, OnePassDispatchesAtMostFiveEvents) {
  Counter c;
  AddActivationHook(CountActivation, &c);
  for (int i = 0; i < 3; ++i) {
    TestDriver_Focus(1);
    TestDriver_Focus(1);
  }
  TestDriver_Close();
  EXPECT_EQ(ProcessWindowMessages(), 0);  // six focus events: the close waits
  EXPECT_EQ(ProcessWindowMessages(), -1);
  EXPECT_TRUE(c.activations.empty());  // already active: nothing changed
  RemoveActivationHook(CountActivation, &c);
}

TEST_F(Engine, InactiveWindowHoldsTheProgram) {
  Counter c;
  AddMessagePassHook(CountPass, &c);
  AddActivationHook(CountActivation, &c);
  TestDriver_KeyDown(KeyCode::Z);
  TestDriver_Focus(0);
  EXPECT_EQ(PumpMessages(), 0);
  EXPECT_EQ(IsWindowActive(), 0);
  EXPECT_EQ(c.activations, std::vector<int>{0});
  c.regainAfter = c.passes + 20;
  // Reading a key waits, pumping, until the window is active again.
  EXPECT_EQ(IsKeyDown(KeyCode::Z), 1);
  EXPECT_EQ(IsWindowActive(), 1);
  EXPECT_EQ(c.passes, c.regainAfter + 1);  // the pass after the hook dispatches the event
  EXPECT_EQ(c.activations, (std::vector<int>{0, 1}));

  // A close while waiting ends the wait.
  TestDriver_Focus(0);
  PumpMessages();
  TestDriver_Close();
  EXPECT_EQ(WaitWhileInactive(), 0);
  EXPECT_EQ(IsWindowClosed(), 1);

  RemoveMessagePassHook(CountPass, &c);
  RemoveActivationHook(CountActivation, &c);
}

TEST_F(Engine, RunningInTheBackgroundDoesNotWait) {
  SetRunInBackgroundFlag(1);
  TestDriver_Focus(0);
  PumpMessages();
  EXPECT_EQ(IsWindowActive(), 0);
  EXPECT_EQ(WaitWhileInactive(), 0);  // returns at once
  SetRunInBackgroundFlag(0);
}

TEST_F(Engine, ManualClock) {
  TestDriver_SetManualClock(1000000, 0);
  EXPECT_EQ(GetMicrosecondCount(), 1000000);
  TestDriver_AdvanceClock(16666);
  EXPECT_EQ(GetMicrosecondCount(), 1016666);
  auto before = std::chrono::steady_clock::now();
  SleepMilliseconds(5000);  // taken by the manual clock at once
  EXPECT_LT(std::chrono::steady_clock::now() - before, std::chrono::seconds(2));
  EXPECT_EQ(GetMicrosecondCount(), 6016666);
  TestDriver_SetManualClock(0, 10);
  EXPECT_EQ(GetMicrosecondCount(), 0);
  EXPECT_EQ(GetMicrosecondCount(), 10);
  TestDriver_ReleaseClock();
  int64_t a = GetMicrosecondCount();
  EXPECT_GT(a, 1000);
  EXPECT_GE(GetMicrosecondCount(), a);
  LocalDateTime t{};
  EXPECT_EQ(GetLocalDateTime(&t), 0);
  EXPECT_GE(t.Year, 2020);
  EXPECT_TRUE(t.Month >= 1 && t.Month <= 12);
}

TEST_F(Engine, ScriptDrivesPumpsByNumber) {
  int bad = 0;
  EXPECT_EQ(TestDriver_LoadScript("1 key 1 2\n", &bad), -1);
  EXPECT_EQ(bad, 1);
  EXPECT_EQ(TestDriver_LoadScript("# start\n2 key 0x2C 1\n3 pad 1 0x14\n\n4 key 44 0\n5 close\n", &bad), 0);
  EXPECT_EQ(PumpMessages(), 0);
  EXPECT_EQ(IsKeyDown(KeyCode::Z), 0);
  EXPECT_EQ(PumpMessages(), 0);
  EXPECT_EQ(IsKeyDown(KeyCode::Z), 1);
  EXPECT_EQ(PumpMessages(), 0);
  EXPECT_EQ(GetPadInputState(1), 0x14);
  EXPECT_EQ(PumpMessages(), 0);
  EXPECT_EQ(IsKeyDown(KeyCode::Z), 0);
  EXPECT_EQ(PumpMessages(), -1);
}

// ---- loading threads

namespace {

struct LoadJob {
  HandleManager* set;
  HandleValue handle;
  std::thread::id ranOn;
  std::thread::id callbackOn;
  int callbackResult;
  std::atomic<bool> done;
};

int OnMainThread(void* argument) {
  static_cast<LoadJob*>(argument)->callbackOn = std::this_thread::get_id();
  return 77;
}

void LoadRoutine(AsyncLoadRequest* request) {
  LoadJob* job;
  std::memcpy(&job, request->params, sizeof job);
  job->ranOn = std::this_thread::get_id();
  MainThreadRequest call{OnMainThread, job};
  job->callbackResult = RequestMainThreadCall(&call);
  if (job->set) DecHandleAsyncLoadCount(job->set, job->handle);
  job->done = true;
}

}  // namespace

TEST_F(Engine, LoadRequestRunsOnALoadingThreadAndCallsTheMainThread) {
  LoadJob job{};
  AsyncLoadRequest* request = AllocAsyncLoadRequest(sizeof(LoadJob*));
  ASSERT_NE(request, nullptr);
  LoadJob* p = &job;
  std::memcpy(request->params, &p, sizeof p);
  request->routine = LoadRoutine;
  int number = AddAsyncLoadRequest(request, "test");
  EXPECT_GE(number, 0);
  for (int i = 0; i < 5000 && !job.done; ++i) {
    PumpMessages();  // serves the call
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ASSERT_TRUE(job.done);
  EXPECT_NE(job.ranOn, std::this_thread::get_id());
  EXPECT_EQ(job.callbackOn, std::this_thread::get_id());
  EXPECT_EQ(job.callbackResult, 77);
  for (int i = 0; i < 1000 && GetAsyncLoadRequestCount() != 0; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  EXPECT_EQ(GetAsyncLoadRequestCount(), 0);

  // From the main thread the call runs at once.
  LoadJob direct{};
  MainThreadRequest call{OnMainThread, &direct};
  EXPECT_EQ(RequestMainThreadCall(&call), 77);
  EXPECT_EQ(direct.callbackOn, std::this_thread::get_id());
}

TEST_F(Engine, DeletingAHandleWaitsForItsLoad) {
  HandleManager set{};
  ASSERT_EQ(InitHandleManager(&set, HandleType::Graph, sizeof(HandleHeader), 4, nullptr, nullptr, "g"), 0);
  HandleValue h = AddHandle(&set, -1);
  LoadJob job{};
  job.set = &set;
  job.handle = h;
  AsyncLoadRequest* request = AllocAsyncLoadRequest(sizeof(LoadJob*));
  LoadJob* p = &job;
  std::memcpy(request->params, &p, sizeof p);
  request->routine = LoadRoutine;
  ASSERT_EQ(IncHandleAsyncLoadCount(&set, h, 0), 0);
  ASSERT_GE(AddAsyncLoadRequest(request, "load"), 0);
  // Its main-thread call is served while SubHandle waits.
  EXPECT_EQ(SubHandle(&set, h), 0);
  EXPECT_TRUE(job.done);
  EXPECT_EQ(job.callbackResult, 77);
  EXPECT_EQ(GetHandleRecord(&set, h), nullptr);
  TermHandleManager(&set);
}

TEST(EngineAsync, RequestsNeedAStartedEngine) {
  SetLogOutputFlag(0);
  AsyncLoadRequest* request = AllocAsyncLoadRequest(0);
  ASSERT_NE(request, nullptr);
  EXPECT_EQ(AddAsyncLoadRequest(request, "early"), -1);
  MemFree(request);
  SetLogOutputFlag(1);
}

TEST(ApiLock, ReentrantAndHandedOverInArrivalOrder) {
  EnterApiLock();
  EnterApiLock();  // the owner enters again
  std::vector<int> order;
  std::mutex orderLock;
  std::vector<std::thread> waiters;
  for (int i = 0; i < 4; ++i) {
    waiters.emplace_back([&, i] {
      EnterApiLock();
      {
        std::lock_guard<std::mutex> g(orderLock);
        order.push_back(i);
      }
      LeaveApiLock();
    });
    // Let each waiter take its place in the line before the next comes.
    while (GetApiLockWaiterCount() != i + 1) std::this_thread::yield();
  }
  LeaveApiLock();
  {
    std::lock_guard<std::mutex> g(orderLock);
    EXPECT_TRUE(order.empty());  // still held once
  }
  LeaveApiLock();
  for (std::thread& t : waiters) t.join();
  EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3}));
}

TEST(EngineFatal, FatalExitEndsTheEngineAndTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto fatal = [] {
    SetLogOutputFlag(0);
    if (LibInit() == 0) FatalExit("致命的なエラー");
  };
  EXPECT_EXIT(fatal(), ::testing::ExitedWithCode(255), "致命的なエラー");
}

namespace {

std::atomic<int> exitLoadsAsking{0}, exitLoadsRefused{0};

// Its call ends the process from inside the pump, as Xlib does when the display goes away.
void AskTheMainThreadToExit(AsyncLoadRequest*) {
  ++exitLoadsAsking;
  MainThreadRequest call{[](void*) -> int { std::exit(1); }, nullptr};
  if (RequestMainThreadCall(&call) == -1) ++exitLoadsRefused;
}

}  // namespace

// exit() on the main thread with the engine up: the status it was given, no abort. Every loading
// thread waits for the main thread, one more load is queued, and the main thread's pump exits
// while it serves one of the calls: the calls all fail, even the one being served, the loads end
// before the static destructors run (seen by a step registered before the engine's, so run after
// it) and the queued one never runs.
TEST(EngineExit, ExitInThePumpWithLoadsWaitingEndsWithItsStatus) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto exitWithLoadsWaiting = [] {
    alarm(60);  // a hang at exit fails the test instead of stalling the suite
    std::atexit([] {
      if (exitLoadsAsking != ASYNC_LOAD_THREAD_COUNT || exitLoadsRefused != ASYNC_LOAD_THREAD_COUNT) {
        std::fputs("loads still running at exit\n", stderr);
        std::_Exit(3);
      }
    });
    SetLogOutputFlag(0);
    if (LibInit() != 0) return;
    for (int i = 0; i <= ASYNC_LOAD_THREAD_COUNT; ++i) {
      AsyncLoadRequest* request = AllocAsyncLoadRequest(0);
      request->routine = AskTheMainThreadToExit;
      AddAsyncLoadRequest(request, "load");
    }
    while (exitLoadsAsking != ASYNC_LOAD_THREAD_COUNT) std::this_thread::yield();
    for (;;) PumpMessages();
  };
  EXPECT_EXIT(exitWithLoadsWaiting(), ::testing::ExitedWithCode(1),
              ::testing::Not(::testing::HasSubstr("terminate called")));
}
