// The engine log.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>
#include <vector>

#include "engine/system/system.h"
#include "platform/lifelong.h"
#include "platform/time/time.h"

namespace {

struct LogState {
  std::recursive_mutex lock;
  bool enabled = true;
  bool dateName = false;
  std::string name = "Log.txt";
  std::string openedName;
  std::FILE* file = nullptr;
  bool opened = false;  // recreated once; later writes append
  int64_t startMicroseconds = 0;
  int indent = 0;
  bool atLineStart = true;
  bool debugOutput = std::getenv("TAMRAK_DEBUG_OUTPUT") != nullptr;
};

LogState& State() { return Lifelong<LogState>(); }

std::string DateName() {
  PlatformDateTime t{};
  PlatformTime_LocalDateTime(&t);
  char name[64];
  std::snprintf(name, sizeof name, "Log%04d_%02d_%02d_%02d_%02d_%02d.txt", t.year, t.month, t.day,
                t.hour, t.minute, t.second);
  return name;
}

int64_t RealMicroseconds() {
  using namespace std::chrono;
  return duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count();
}

bool Open(LogState& s) {
  if (s.file) return true;
  if (s.opened) {
    s.file = std::fopen(s.openedName.c_str(), "ab");
    return s.file != nullptr;
  }
  s.openedName = s.dateName ? DateName() : s.name;
  s.file = std::fopen(s.openedName.c_str(), "wb");
  if (!s.file) return false;
  s.opened = true;
  s.startMicroseconds = RealMicroseconds();
  s.atLineStart = true;
  return true;
}

void Emit(LogState& s, const std::string& piece) {
  if (s.file) std::fwrite(piece.data(), 1, piece.size(), s.file);
  if (s.debugOutput) std::fwrite(piece.data(), 1, piece.size(), stderr);
}

void Write(const char* text) {
  LogState& s = State();
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  if (!s.enabled || !Open(s)) return;
  std::string out;
  for (const char* p = text; *p; ++p) {
    if (s.atLineStart) {
      // The log's own elapsed time: the manual test clock would make it jump.
      long long ms = (RealMicroseconds() - s.startMicroseconds) / 1000;
      out += std::to_string(ms);
      out += ':';
      out.append(static_cast<size_t>(s.indent), '\t');
      s.atLineStart = false;
    }
    if (*p == '\r' && p[1] == '\n') continue;  // CR LF and LF both end a line
    if (*p == '\n') {
      out += "\r\n";
      s.atLineStart = true;
      continue;
    }
    out += *p;
  }
  Emit(s, out);
  if (s.file) std::fflush(s.file);
}

void CloseFile(LogState& s) {
  if (s.file) std::fclose(s.file);
  s.file = nullptr;
}

}  // namespace

int SetLogOutputFlag(int flag) {
  LogState& s = State();
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  s.enabled = flag != 0;
  if (!s.enabled) CloseFile(s);
  return 0;
}

int GetLogOutputFlag() {
  std::lock_guard<std::recursive_mutex> guard(State().lock);
  return State().enabled ? 1 : 0;
}

int SetLogFileName(const char* name) {
  LogState& s = State();
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  CloseFile(s);
  s.name = name && *name ? name : "Log.txt";
  s.opened = false;
  s.indent = 0;
  return 0;
}

int SetDatedLogFileFlag(int flag) {
  LogState& s = State();
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  CloseFile(s);
  s.dateName = flag != 0;
  s.opened = false;
  return 0;
}

const char* GetLogFileName() {
  LogState& s = State();
  std::lock_guard<std::recursive_mutex> guard(s.lock);
  return s.opened ? s.openedName.c_str() : s.name.c_str();
}

int LogPrint(const char* text) {
  if (!text) return -1;
  Write(text);
  return 0;
}

int LogPrintf(const char* format, ...) {
  if (!format) return -1;
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  int length = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (length < 0) {
    va_end(again);
    return -1;
  }
  std::vector<char> text(static_cast<size_t>(length) + 2);
  std::vsnprintf(text.data(), text.size(), format, again);
  va_end(again);
  text[static_cast<size_t>(length)] = '\n';
  text[static_cast<size_t>(length) + 1] = '\0';
  Write(text.data());
  return 0;
}

int LogIndentAdd() {
  std::lock_guard<std::recursive_mutex> guard(State().lock);
  ++State().indent;
  return 0;
}

int LogIndentSub() {
  std::lock_guard<std::recursive_mutex> guard(State().lock);
  if (State().indent > 0) --State().indent;
  return 0;
}

// Closes the file at engine end; the next write appends to it.
void LogCloseFile() {
  std::lock_guard<std::recursive_mutex> guard(State().lock);
  CloseFile(State());
}
