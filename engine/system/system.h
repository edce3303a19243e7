// Tamrak engine: the system layer's public operations.
// Flat API: -1 is failure, 0 or a handle is success.
#pragma once

#include <atomic>
#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>

// ---------------------------------------------------------------- rectangles

// Right and bottom are exclusive.
struct RECT {
  int left, top, right, bottom;
};

int ClipRect(RECT* r, const RECT* clip);

// ---------------------------------------------------------------- memory

void* MemAlloc(size_t size, const char* file, int line);
void* MemCalloc(size_t size, const char* file, int line);
void* MemRealloc(void* block, size_t size, const char* file, int line);
void MemFree(void* block);
void MemFill(void* dst, int value, size_t count);
void MemCopy(void* dst, const void* src, size_t count);
int MemCompare(const void* a, const void* b, size_t count);  // 0 equal, 1 otherwise
// Logs every live block (source, line, number, size); returns their count. LibEnd calls it.
int DumpAllocMemory();
// Live blocks and their bytes (bytes may be null).
int GetAllocMemoryCount(size_t* bytes);
// Checks the guards of every live block; a corrupted one logs the block and ends the process.
int CheckAllocMemory();

#define TK_MALLOC(size) MemAlloc((size), __FILE__, __LINE__)
#define TK_CALLOC(size) MemCalloc((size), __FILE__, __LINE__)
#define TK_REALLOC(block, size) MemRealloc((block), (size), __FILE__, __LINE__)

// ---------------------------------------------------------------- log

// The log: "Log.txt" in the working folder, recreated by the first write of the process
// (or after a change of name). Each line: milliseconds since the log was opened, ':',
// one tab per indent level, the text, CR LF.
int SetLogOutputFlag(int flag);
int GetLogOutputFlag();
int SetLogFileName(const char* name);  // another file (tests); null restores "Log.txt"
int SetDatedLogFileFlag(int flag);     // 1: "Log" + y_m_d_h_m_s + ".txt"
const char* GetLogFileName();          // the file now written (or to be written)
int LogPrint(const char* text);
int LogPrintf(const char* format, ...);
int LogIndentAdd();
int LogIndentSub();
[[noreturn]] void FatalExit(const char* message);

// ---------------------------------------------------------------- handles

using HandleValue = int32_t;

// The type number in a handle's bits 26 to 30.
namespace HandleType {
enum : int {
  Graph = 1,
  SoftImage = 2,
  Sound = 3,
  SoftSound = 4,
  Music = 5,
  Movie = 6,
  Mask = 7,
  Font = 8,
  KeyInput = 9,
  Light = 11,
  Shader = 12,
  ModelBase = 13,
  Model = 14,
  VertexBuffer = 15,
  IndexBuffer = 16,
  File = 17,
};
}  // namespace HandleType

constexpr uint32_t HANDLE_ERROR_MASK = 0x80000000u;
constexpr uint32_t HANDLE_TYPE_MASK = 0x7C000000u;
constexpr int HANDLE_TYPE_SHIFT = 26;
constexpr uint32_t HANDLE_CHECK_MASK = 0x03FF0000u;
constexpr int HANDLE_CHECK_SHIFT = 16;
constexpr uint32_t HANDLE_INDEX_MASK = 0x0000FFFFu;

// At the start of every handle's record.
struct HandleHeader {
  int checkNumber;
  HandleValue handle;
  int recordSize;
  std::atomic<int> asyncLoadCount;  // raised by loading threads; not 0 while a load is pending
  int asyncRequestNumber;
  HandleHeader* prev;
  HandleHeader* next;
};

struct HandleManagerImpl;

struct HandleManager {
  int initialized;
  uint32_t typeBits;  // type << HANDLE_TYPE_SHIFT
  int recordSize;
  int maxCount;
  int count;
  HandleHeader** table;
  HandleHeader* first;  // live records, in creation order
  int (*initCallback)(HandleHeader* record);
  int (*deleteCallback)(HandleHeader* record);  // 1 keeps the record
  const char* name;
  HandleManagerImpl* impl;  // lock and bookkeeping
};

int InitHandleManager(HandleManager* manager, int handleType, int recordSize, int maxCount,
                      int (*initCallback)(HandleHeader*), int (*deleteCallback)(HandleHeader*),
                      const char* name);
int TermHandleManager(HandleManager* manager);
HandleValue AddHandle(HandleManager* manager, HandleValue wanted);
// Waits for the handle's pending load, then deletes it (the delete callback may keep it).
int SubHandle(HandleManager* manager, HandleValue handle);
int DeleteAllHandles(HandleManager* manager, int (*filter)(HandleHeader*));
// The record of a valid handle, or null (a pending load still counts as valid here).
HandleHeader* GetHandleRecord(HandleManager* manager, HandleValue handle);
int IncHandleAsyncLoadCount(HandleManager* manager, HandleValue handle, int requestNumber);
int DecHandleAsyncLoadCount(HandleManager* manager, HandleValue handle);
// The set's own lock (re-entrant); sound uses it as its sound lock.
void LockHandleManager(HandleManager* manager);
void UnlockHandleManager(HandleManager* manager);

// ---------------------------------------------------------------- API lock

void EnterApiLock();
void LeaveApiLock();

// ---------------------------------------------------------------- asynchronous loading

constexpr int ASYNC_LOAD_THREAD_COUNT = 32;

struct AsyncLoadRequest {
  void (*routine)(AsyncLoadRequest* request);
  size_t paramSize;
  int number;
  unsigned char* params;  // paramSize bytes, after the record
};

// A request with paramSize parameter bytes, from the engine allocator; null (logged) on failure.
AsyncLoadRequest* AllocAsyncLoadRequest(size_t paramSize);
// Queues the request; a loading thread runs its routine and then frees it. The request
// number (0 or more), or -1 (the engine is not started; the request stays the caller's).
int AddAsyncLoadRequest(AsyncLoadRequest* request, const char* name);
int SetAsyncLoadFlag(int flag);
int GetAsyncLoadFlag();
int GetAsyncLoadRequestCount();  // requests queued or running

struct MainThreadRequest {
  int (*routine)(void* argument);
  void* argument;
};
// From a loading thread: run on the main thread by the message pump, returns its result.
// From the main thread: runs at once.
int RequestMainThreadCall(MainThreadRequest* request);
int ProcessAsyncMainThreadRequests();  // the pump's share: runs the queued calls; their count
int IsMainThread();  // 1 on the thread that started the engine

// ---------------------------------------------------------------- streams and files

using StreamHandle = uintptr_t;

struct StreamFunctions {
  int64_t (*Tell)(StreamHandle h);
  int (*Seek)(StreamHandle h, int64_t offset, int origin);  // origin 0 start, 1 current, 2 end
  size_t (*Read)(void* buffer, size_t size, size_t count, StreamHandle h);
  int (*Eof)(StreamHandle h);
  int (*IdleCheck)(StreamHandle h);
  int (*Close)(StreamHandle h);
};

const StreamFunctions* GetFileStreamFunctions();
const StreamFunctions* GetMemStreamFunctions();
StreamHandle MemStreamOpen(const void* data, size_t size);
int MemStreamClose(StreamHandle h);
StreamHandle FileStreamOpen(const char* path);  // 0 on failure

struct FileFindData {
  char name[260];
  int64_t size;
  int isDirectory;
};

struct FileAccessTable {
  StreamHandle (*Open)(const char* path, int useCacheFlag, int blockReadFlag, int useAsyncReadFlag);
  int (*Close)(StreamHandle h);
  int64_t (*Tell)(StreamHandle h);
  int (*Seek)(StreamHandle h, int64_t offset, int origin);
  size_t (*Read)(void* buffer, size_t size, size_t count, StreamHandle h);
  int (*Eof)(StreamHandle h);
  int (*IdleCheck)(StreamHandle h);
  int (*SetDir)(const char* path);
  int (*GetDir)(char* buffer, size_t bufferSize);
  uintptr_t (*FindFirst)(const char* pattern, FileFindData* out);
  int (*FindNext)(uintptr_t find, FileFindData* out);
  int (*FindClose)(uintptr_t find);
};

const FileAccessTable* GetFileAccessTable();
// Streams of memory images (MemStreamOpen) behind the table's stream slots; the slots that take
// a path (open, folders, finding) are empty.
const FileAccessTable* GetMemFileAccessTable();
StreamHandle FileAccessOpen(const char* path, int useCacheFlag, int blockReadFlag, int useAsyncReadFlag);
int FileAccessClose(StreamHandle h);
int64_t FileAccessTell(StreamHandle h);
int FileAccessSeek(StreamHandle h, int64_t offset, int origin);
size_t FileAccessRead(void* buffer, size_t size, size_t count, StreamHandle h);
int FileAccessEof(StreamHandle h);
// The table under FileAccess*; null restores the plain-file table. 0.
int SetFileAccessTable(const FileAccessTable* table);

// File reading by handle (0 means failure for open). The handles are of type
// HandleType::File; LibEnd closes those still open.
int FileRead_openDefault(const char* path, int async);
int FileRead_open(const char* path, int async);
int64_t FileRead_size(const char* path);
int FileRead_read(void* buffer, int size, int fileHandle);  // bytes read, or -1
int FileRead_seek(int fileHandle, int64_t offset, int origin);
int64_t FileRead_tell(int fileHandle);
int FileRead_getc(int fileHandle);  // the next byte, or -1 at the end or on error
// One line without its line end (LF or CR LF), zero-terminated; its length, or -1 at the end.
// A line longer than bufferSize - 1 is returned in pieces: the rest comes with the next call.
int FileRead_gets(char* buffer, int bufferSize, int fileHandle);
int FileRead_eof(int fileHandle);
int FileRead_close(int fileHandle);

// A new empty file in the temporary folder, open for writing; null on failure.
// The path (at most pathSize bytes, 260 for callers that follow the classic limit) is written out.
std::FILE* CreateTemporaryFile(char* path, size_t pathSize);

// ---------------------------------------------------------------- lists and ring buffers

struct ListNode {
  ListNode* prev;
  ListNode* next;
  int handle;
  void* data;
};

struct HandleList {
  ListNode head;
  ListNode tail;
};

int ListInit(ListNode* head, ListNode* tail);
int ListAddNode(ListNode* head, ListNode* node, int handle, void* data);  // after head
int ListRemoveNode(ListNode* node);

struct RingBuf {
  unsigned char* data;
  size_t start;  // read position
  size_t end;    // write position
  size_t dataLength;
  size_t bufferSize;
};

int RingBufInitialize(RingBuf* ring);
int RingBufWrite(RingBuf* ring, const void* data, size_t length);
int RingBufRead(RingBuf* ring, void* buffer, size_t length, int peek);
size_t RingBufGetDataLength(const RingBuf* ring);
int RingBufTerminate(RingBuf* ring);

// ---------------------------------------------------------------- time

// Time follows the test driver's manual clock when it is on (platform/window/test_driver.h).
int64_t GetMicrosecondCount(int flag = 0);  // monotonic
void SleepMilliseconds(int ms);
// Sleeps until GetMicrosecondCount reaches `time` or shortly after; the manual clock moves to it.
void SleepUntilMicrosecondCount(int64_t time);

struct LocalDateTime {
  int Year, Month, Day, Hour, Minute, Second;
};
int GetLocalDateTime(LocalDateTime* out);

// ---------------------------------------------------------------- math and random numbers

int DoubleToInt(double value);  // truncated; NaN or out of range gives INT32_MIN
int FloatToInt(float value);
void SinCosF(float angle, float* sinOut, float* cosOut);
int SetRandSeed(int seed);
int GetRandRange(int max);  // 0..max inclusive

// 1 when the processor has MMX; the software rasteriser picks its packed loops by it.
extern int ProcessorHasMMX;
int GetLogicalProcessorCount();
// Overrides the detected count (0 restores it): with 1 the pump services streamed sounds.
int SetLogicalProcessorCount(int count);

// ---------------------------------------------------------------- input

int IsKeyDown(int keyCode);
int GetAllKeyStates(char* table256);
int GetPadInputState(int pad);  // pad 1..4

// Key codes: the scan codes 0..255 of a PC keyboard (IsKeyDown, GetAllKeyStates, "setting.dat").
namespace KeyCode {
enum : int {
  Escape = 0x01, Digit1 = 0x02, Digit2 = 0x03, Digit3 = 0x04, Digit4 = 0x05, Digit5 = 0x06,
  Digit6 = 0x07, Digit7 = 0x08, Digit8 = 0x09, Digit9 = 0x0A, Digit0 = 0x0B, Minus = 0x0C,
  Backspace = 0x0E, Tab = 0x0F, Q = 0x10, W = 0x11, E = 0x12, R = 0x13, T = 0x14, Y = 0x15,
  U = 0x16, I = 0x17, O = 0x18, P = 0x19, Enter = 0x1C, LeftControl = 0x1D, A = 0x1E, S = 0x1F,
  D = 0x20, F = 0x21, G = 0x22, H = 0x23, J = 0x24, K = 0x25, L = 0x26, LeftShift = 0x2A, Z = 0x2C,
  X = 0x2D, C = 0x2E, V = 0x2F, B = 0x30, N = 0x31, M = 0x32, RightShift = 0x36, LeftAlt = 0x38,
  Space = 0x39, F1 = 0x3B, F2 = 0x3C, F3 = 0x3D, F4 = 0x3E, F5 = 0x3F, F6 = 0x40, F7 = 0x41,
  F8 = 0x42, F9 = 0x43, F10 = 0x44, F11 = 0x57, F12 = 0x58, NumpadEnter = 0x9C,
  RightControl = 0x9D, RightAlt = 0xB8, Pause = 0xC5, Home = 0xC7, Up = 0xC8, PageUp = 0xC9,
  Left = 0xCB, Right = 0xCD, End = 0xCF, Down = 0xD0, PageDown = 0xD1, Insert = 0xD2,
  Delete = 0xD3,
};
}  // namespace KeyCode

// The bits of GetPadInputState: the four directions, then one bit a button.
namespace PadBit {
enum : int {
  Down = 1, Left = 2, Right = 4, Up = 8, Button1 = 16, Button2 = 32, Button3 = 64, Button4 = 128,
  Button5 = 256, Button6 = 512,
};
}  // namespace PadBit

// ---------------------------------------------------------------- window

using WindowHandle = void*;

// Setters called before LibInit only store their values; the window takes them when made.
int SetWindowTitleText(const char* text);
// 1 window, 0 full screen. 0, or -1 when full screen cannot be had (the window stays).
int ChangeWindowMode(int windowFlag);
// The window's client size is the screen size times these rates; a y rate of 0 or below
// takes the x rate (an x rate of 0 or below, or not a number, counts as 1).
int SetWindowSizeRate(double xRate, double yRate);
// The screen size that the window shows (640 x 480 until set); the graphics layer calls it
// from SetScreenMode. The window's client size follows at once when the window exists.
int SetMainWindowClientSize(int width, int height);
// The client size now asked of the window: screen size times the size rates.
int GetMainWindowClientSize(int* width, int* height);
WindowHandle GetMainWindow();  // the platform window, null before LibInit
int IsWindowActive();
int IsWindowClosed();  // 1 once the window is gone
// 1: the program keeps running (and sounds keep playing) while the window is inactive.
int SetRunInBackgroundFlag(int flag);
int ClearScreenLog();
int SetScreenLogFontSize(int size);
int ShowMessageBox(const char* text, const char* caption);

// ---------------------------------------------------------------- start-up, shutdown, pump

int LibInit();
int LibEnd();
int IsLibInitialized();
int PumpMessages();           // 0, or -1 once the window is gone
int ProcessWindowMessages();  // one pass: at most five events, then the per-pass services
int WaitWhileInactive();

// Hooks for later subsystems. A pass hook runs at the end of every message-pump pass; an
// activation hook runs when the window turns inactive (0) or active again (1). Registering
// the same function and argument twice keeps one entry. Both return 0, or -1.
int AddMessagePassHook(void (*hook)(void* user), void* user);
int RemoveMessagePassHook(void (*hook)(void* user), void* user);
int AddActivationHook(void (*hook)(int active, void* user), void* user);
int RemoveActivationHook(void (*hook)(int active, void* user), void* user);
