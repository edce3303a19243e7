// Engine start-up and shutdown, in their fixed order, and the fatal exit.
#include <atomic>
#include <cstdio>
#include <cstdlib>

#include "engine/d3d9/graphics.h"
#include "engine/sound/sound.h"
#include "engine/system/system.h"
#include "engine/system/system_internal.h"
#include "platform/window/test_driver.h"
#include "platform/window/window.h"

namespace {

bool initialized = false;
std::atomic<bool> fatalExiting{false};

void OutputSystemInfo() {
  LogPrint("System report\n");
  LogIndentAdd();
  DetectProcessorFeatures();
  LogPrintf("Logical processors: %d", GetLogicalProcessorCount());
  if (ProcessorHasMMX) LogPrint("ＭＭＸ命令を使用します\n");
  LogIndentSub();
}

// What start-up has begun, so a failed start-up ends only that.
struct Started {
  bool window, input, sound, media, graphics, models;
};
Started started{};

// Ends what start-up began, in the engine's shutdown order.
void EndSystem() {
  if (started.models) TermModelManage();
  if (started.graphics) TerminateGraphicsSystem();
  if (started.media) {
    TermSoftImageManage();
    TerminateMovieManage();
  }
  if (started.input) TermInputSystem();
  if (started.sound) {
    TerminateMusic();
    TermSoundOutput();
  }
  StopAsyncLoadThreads();
  TermFileSystem();
  if (started.window) EndWindow();
  started = Started{};
  initialized = false;
  DumpAllocMemory();
  LogCloseFile();
}

// An exit() with the engine up (Xlib calls it when the display goes away) runs this before the
// static destructors: the engine's threads end, so that none is left joinable or running on
// state being destroyed. The exiting thread may hold the API lock, which none of them takes.
// Nothing more is shut down and nothing is saved: the process is ending.
void EndThreadsAtExit() {
  EndAsyncLoadThreadsForExit();  // first: a load may be opening a movie
  if (IsMainThread()) EndMoviesForExit();  // the movies are the main thread's
  EndSoundThread();
}

int FailStartUp(const char* what) {
  LogPrint(what);
  LogIndentSub();
  EndSystem();
  LeaveApiLock();
  return -1;
}

}  // namespace

int IsLibInitialized() { return initialized ? 1 : 0; }

int LibInit() {
  EnterApiLock();
  if (initialized) {
    LeaveApiLock();
    return 0;
  }
  // Registered once, before anything starts; what it and the threads use is made before main or
  // is lifelong (platform/lifelong.h).
  static const int exitStep = std::atexit(EndThreadsAtExit);
  if (exitStep != 0) LogPrint("The exit step cannot be registered\n");
  SetMainThread();
  LogPrint("Tamrak start-up\n");
  LogIndentAdd();
  InitializeYUVToRGBTable();
  InitFileSystem();
  OutputSystemInfo();
  if (const char* script = std::getenv("TAMRAK_INPUT_SCRIPT")) {
    if (TestDriver_LoadScriptFile(script) != 0) LogPrintf("Input script %s cannot be read", script);
  }
  SeedRandomFromClock();
  if (InitWindow() != 0) return FailStartUp("Window cannot be made\n");
  started.window = true;
  if (StartAsyncLoadThreads() != 0) return FailStartUp("Loading threads cannot be started\n");
  initialized = true;
  if (InitInputSystem() != 0) return FailStartUp("Input cannot be started\n");
  started.input = true;
  started.sound = true;  // its failure only silences the program
  if (InitSoundOutput() != 0) LogPrint("No sound output: the program runs silent\n");
  started.media = true;
  InitSoftImageManage();
  InitMovieManage();
  if (InitGraphicsSystem() == -1) return FailStartUp("Graphics cannot be started\n");
  started.graphics = true;
  InitModelManage();
  started.models = true;
  LogIndentSub();
  LogPrint("Tamrak started\n");
  LeaveApiLock();
  return 0;
}

int LibEnd() {
  EnterApiLock();
  if (!initialized) {
    LeaveApiLock();
    return 0;
  }
  LogPrint("Tamrak shutdown\n");
  EndSystem();
  LeaveApiLock();
  return 0;
}

int PumpMessages() {
  if (!initialized) return -1;
  EnterApiLock();
  TestDriver_ScriptStep();
  int result = ProcessWindowMessages();
  LeaveApiLock();
  return result;
}

void FatalExit(const char* message) {
  if (!message) message = "";
  std::fprintf(stderr, "%s\n", message);
  LogPrintf("%s", message);
  // Once only, and never from a loading thread, which the shutdown joins.
  if (!fatalExiting.exchange(true) && IsMainThread()) LibEnd();
  std::exit(-1);
}
