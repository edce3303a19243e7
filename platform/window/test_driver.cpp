#include "platform/window/test_driver.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "platform/lifelong.h"
#include "platform/window/window.h"

namespace {

constexpr int kPadCount = 4;

struct ScriptAction {
  long pump;
  int kind;  // 0 key, 1 pad, 2 focus, 3 close
  int a, b;
};

struct DriverState {
  std::mutex lock;
  unsigned char keys[256] = {};
  int pads[kPadCount] = {};
  std::deque<int> events;
  // Read without the lock first, so the real clock costs no lock at all.
  std::atomic<bool> manualClock{false};
  int64_t now = 0;
  int64_t stepPerRead = 0;
  std::vector<ScriptAction> script;
  size_t scriptNext = 0;
  long pumpCount = 0;
};

DriverState& State() { return Lifelong<DriverState>(); }

bool ParseNumber(const std::string& word, long* out) {
  if (word.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(word.c_str(), &end, 0);
  if (errno != 0 || *end != '\0') return false;
  *out = v;
  return true;
}

bool ParseLine(const std::string& text, ScriptAction* action, bool* empty) {
  std::string line = text.substr(0, text.find('#'));
  std::istringstream in(line);
  std::vector<std::string> words;
  for (std::string w; in >> w;) words.push_back(w);
  *empty = words.empty();
  if (words.empty()) return true;
  long pump, a = 0, b = 0;
  if (words.size() < 2 || !ParseNumber(words[0], &pump) || pump < 0) return false;
  const std::string& verb = words[1];
  size_t args = words.size() - 2;
  if (args >= 1 && !ParseNumber(words[2], &a)) return false;
  if (args >= 2 && !ParseNumber(words[3], &b)) return false;
  action->pump = pump;
  if (verb == "key" && args == 2 && a >= 0 && a < 256 && (b == 0 || b == 1)) {
    action->kind = 0;
  } else if (verb == "pad" && args == 2 && a >= 1 && a <= kPadCount && b >= 0 && b <= 0x7FFFFFFF) {
    action->kind = 1;
  } else if (verb == "focus" && args == 1 && (a == 0 || a == 1)) {
    action->kind = 2;
  } else if (verb == "close" && args == 0) {
    action->kind = 3;
  } else {
    return false;
  }
  action->a = static_cast<int>(a);
  action->b = static_cast<int>(b);
  return true;
}

}  // namespace

void TestDriver_Reset() {
  DriverState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  std::memset(s.keys, 0, sizeof s.keys);
  std::fill(std::begin(s.pads), std::end(s.pads), 0);
  s.events.clear();
  s.manualClock = false;
  s.now = s.stepPerRead = 0;
  s.script.clear();
  s.scriptNext = 0;
  s.pumpCount = 0;
}

void TestDriver_KeyDown(int keyCode) {
  if (keyCode < 0 || keyCode > 255) return;
  std::lock_guard<std::mutex> guard(State().lock);
  State().keys[keyCode] = 1;
}

void TestDriver_KeyUp(int keyCode) {
  if (keyCode < 0 || keyCode > 255) return;
  std::lock_guard<std::mutex> guard(State().lock);
  State().keys[keyCode] = 0;
}

void TestDriver_SetPad(int pad, int bits) {
  if (pad < 1 || pad > kPadCount) return;
  std::lock_guard<std::mutex> guard(State().lock);
  State().pads[pad - 1] = bits;
}

void TestDriver_Focus(int active) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().events.push_back(active ? PLATFORM_EVENT_FOCUS_GAINED : PLATFORM_EVENT_FOCUS_LOST);
}

void TestDriver_Close() {
  std::lock_guard<std::mutex> guard(State().lock);
  State().events.push_back(PLATFORM_EVENT_CLOSE);
}

void TestDriver_SetManualClock(int64_t startMicroseconds, int64_t stepPerRead) {
  std::lock_guard<std::mutex> guard(State().lock);
  State().manualClock = true;
  State().now = startMicroseconds;
  State().stepPerRead = stepPerRead < 0 ? 0 : stepPerRead;
}

void TestDriver_AdvanceClock(int64_t microseconds) {
  std::lock_guard<std::mutex> guard(State().lock);
  if (microseconds > 0 && State().now <= INT64_MAX - microseconds) State().now += microseconds;
}

void TestDriver_ReleaseClock() {
  std::lock_guard<std::mutex> guard(State().lock);
  State().manualClock = false;
}

int TestDriver_IsClockManual() {
  std::lock_guard<std::mutex> guard(State().lock);
  return State().manualClock ? 1 : 0;
}

int TestDriver_LoadScript(const char* text, int* badLine) {
  if (badLine) *badLine = 0;
  if (!text) return -1;
  std::vector<ScriptAction> actions;
  std::istringstream in(text);
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    ScriptAction action{};
    bool empty = false;
    if (!ParseLine(line, &action, &empty)) {
      if (badLine) *badLine = number;
      return -1;
    }
    if (!empty) actions.push_back(action);
  }
  std::stable_sort(actions.begin(), actions.end(),
                   [](const ScriptAction& x, const ScriptAction& y) { return x.pump < y.pump; });
  std::lock_guard<std::mutex> guard(State().lock);
  State().script = std::move(actions);
  State().scriptNext = 0;
  State().pumpCount = 0;
  return 0;
}

int TestDriver_LoadScriptFile(const char* path) {
  if (!path) return -1;
  std::ifstream file(path, std::ios::binary);
  if (!file) return -1;
  std::stringstream text;
  text << file.rdbuf();
  int badLine = 0;
  if (TestDriver_LoadScript(text.str().c_str(), &badLine) != 0) {
    std::fprintf(stderr, "%s:%d: bad script line\n", path, badLine);
    return -1;
  }
  return 0;
}

void TestDriver_ScriptStep() {
  DriverState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  if (s.script.empty()) return;
  ++s.pumpCount;
  while (s.scriptNext < s.script.size() && s.script[s.scriptNext].pump <= s.pumpCount) {
    const ScriptAction& act = s.script[s.scriptNext++];
    switch (act.kind) {
      case 0: s.keys[act.a] = static_cast<unsigned char>(act.b); break;
      case 1: s.pads[act.a - 1] = act.b; break;
      case 2: s.events.push_back(act.a ? PLATFORM_EVENT_FOCUS_GAINED : PLATFORM_EVENT_FOCUS_LOST); break;
      case 3: s.events.push_back(PLATFORM_EVENT_CLOSE); break;
    }
  }
}

void TestDriver_AddScriptedKeys(unsigned char keys[256]) {
  DriverState& s = State();
  std::lock_guard<std::mutex> guard(s.lock);
  for (int code = 0; code < 256; ++code) keys[code] |= s.keys[code];
}

int TestDriver_ScriptedPad(int pad) {
  if (pad < 1 || pad > kPadCount) return 0;
  std::lock_guard<std::mutex> guard(State().lock);
  return State().pads[pad - 1];
}

int TestDriver_PopEvent(PlatformEvent* out) {
  std::lock_guard<std::mutex> guard(State().lock);
  if (State().events.empty()) return 0;
  out->type = State().events.front();
  State().events.pop_front();
  return 1;
}

int TestDriver_ClockRead(int64_t* now) {
  DriverState& s = State();
  if (!s.manualClock.load(std::memory_order_acquire)) return 0;
  std::lock_guard<std::mutex> guard(s.lock);
  if (!s.manualClock) return 0;
  *now = s.now;
  if (s.now <= INT64_MAX - s.stepPerRead) s.now += s.stepPerRead;
  return 1;
}

int TestDriver_ClockSleep(int milliseconds) {
  DriverState& s = State();
  if (!s.manualClock.load(std::memory_order_acquire)) return 0;
  std::lock_guard<std::mutex> guard(s.lock);
  if (!s.manualClock) return 0;
  int64_t us = static_cast<int64_t>(milliseconds) * 1000;
  if (us > 0 && s.now <= INT64_MAX - us) s.now += us;
  return 1;
}

int TestDriver_ClockSleepUntil(int64_t time) {
  DriverState& s = State();
  if (!s.manualClock.load(std::memory_order_acquire)) return 0;
  std::lock_guard<std::mutex> guard(s.lock);
  if (!s.manualClock) return 0;
  if (time > s.now) s.now = time;
  return 1;
}
