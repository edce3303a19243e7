// Tamrak engine: the system layer's public operations.
// Flat API: -1 is failure, 0 or a handle is success.
#pragma once

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
int DumpAllocMemory();

#define TK_MALLOC(size) MemAlloc((size), __FILE__, __LINE__)
#define TK_CALLOC(size) MemCalloc((size), __FILE__, __LINE__)
#define TK_REALLOC(block, size) MemRealloc((block), (size), __FILE__, __LINE__)

// ---------------------------------------------------------------- log

int SetLogOutputFlag(int flag);
int LogPrint(const char* text);
int LogPrintf(const char* format, ...);
int LogIndentAdd();
int LogIndentSub();
[[noreturn]] void FatalExit(const char* message);

// ---------------------------------------------------------------- handles

using HandleValue = int32_t;

enum HandleTypeNumber {
  HANDLETYPE_GRAPH = 1,
  HANDLETYPE_SOFTIMAGE = 2,
  HANDLETYPE_SOUND = 3,
  HANDLETYPE_SOFTSOUND = 4,
  HANDLETYPE_MUSIC = 5,
  HANDLETYPE_MOVIE = 6,
  HANDLETYPE_MASK = 7,
  HANDLETYPE_FONT = 8,
  HANDLETYPE_KEYINPUT = 9,
  HANDLETYPE_LIGHT = 11,
  HANDLETYPE_SHADER = 12,
  HANDLETYPE_MODEL_BASE = 13,
  HANDLETYPE_MODEL = 14,
  HANDLETYPE_VERTEX_BUFFER = 15,
  HANDLETYPE_INDEX_BUFFER = 16,
  HANDLETYPE_FILE = 17,
};

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
  volatile int asyncLoadCount;
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
int SubHandle(HandleManager* manager, HandleValue handle);
int DeleteAllHandles(HandleManager* manager, int (*filter)(HandleHeader*));
// The record of a valid handle, or null.
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

struct AsyncLoadRequest {
  void (*routine)(AsyncLoadRequest* request);
  size_t paramSize;
  int number;
  unsigned char* params;  // paramSize bytes, after the record
};

AsyncLoadRequest* AllocAsyncLoadRequest(size_t paramSize);
int AddAsyncLoadRequest(AsyncLoadRequest* request, const char* name);
int SetAsyncLoadFlag(int flag);
int GetAsyncLoadFlag();
int GetASyncLoadNum();  // requests queued or running

struct MainThreadRequest {
  int (*routine)(void* argument);
  void* argument;
};
// From a loading thread: run on the main thread by the message pump, returns its result.
// From the main thread: runs at once.
int RequestMainThreadCall(MainThreadRequest* request);
int ProcessAsyncMainThreadRequests();

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

struct FileFindData;

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
StreamHandle FileAccessOpen(const char* path, int useCacheFlag, int blockReadFlag, int useAsyncReadFlag);
int FileAccessClose(StreamHandle h);
int64_t FileAccessTell(StreamHandle h);
int FileAccessSeek(StreamHandle h, int64_t offset, int origin);
size_t FileAccessRead(void* buffer, size_t size, size_t count, StreamHandle h);
int FileAccessEof(StreamHandle h);

// File reading by handle (0 means failure for open).
int FileRead_openDefault(const char* path, int async);
int FileRead_open(const char* path, int async);
int64_t FileRead_size(const char* path);
int FileRead_read(void* buffer, int size, int fileHandle);
int FileRead_seek(int fileHandle, int64_t offset, int origin);
int64_t FileRead_tell(int fileHandle);
int FileRead_getc(int fileHandle);
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
int RingBufReSize(RingBuf* ring, size_t addSize);
int RingBufDataAdd(RingBuf* ring, const void* data, size_t length);
int RingBufDataGet(RingBuf* ring, void* buffer, size_t length, int peek);
size_t RingBufGetDataLength(const RingBuf* ring);
int RingBufTerminate(RingBuf* ring);

// ---------------------------------------------------------------- time

int64_t GetMicrosecondCount(int flag = 0);
int GetNowCount(int flag = 0);  // milliseconds
void SleepMilliseconds(int ms);

struct LocalDateTime {
  int Year, Mon, Day, Hour, Min, Sec;
};
int GetLocalDateTime(LocalDateTime* out);

// ---------------------------------------------------------------- math and random numbers

int DoubleToInt(double value);  // truncated; NaN or out of range gives INT32_MIN
int FloatToInt(float value);
void SinCosF(float angle, float* sinOut, float* cosOut);
int SRand(int seed);
int GetRand(int max);
int GetRandRange(int max);  // 0..max inclusive

// 1 when the processor has MMX; the software rasteriser picks its packed loops by it.
extern int UseMMXFlag;
inline int& ProcessorHasMMX = UseMMXFlag;
int GetLogicalProcessorCount();

// ---------------------------------------------------------------- input

int IsKeyDown(int keyCode);
int GetAllKeyStates(char* table256);
int GetPadInputState(int pad);

// Engine key codes (the classic PC scan-code numbering).
enum : int {
  KEY_INPUT_ESCAPE = 0x01, KEY_INPUT_1 = 0x02, KEY_INPUT_0 = 0x0B,
  KEY_INPUT_RETURN = 0x1C, KEY_INPUT_A = 0x1E, KEY_INPUT_Z = 0x2C, KEY_INPUT_X = 0x2D,
  KEY_INPUT_C = 0x2E, KEY_INPUT_SPACE = 0x39, KEY_INPUT_F1 = 0x3B, KEY_INPUT_F2 = 0x3C,
  KEY_INPUT_F12 = 0x58, KEY_INPUT_UP = 0xC8, KEY_INPUT_LEFT = 0xCB, KEY_INPUT_RIGHT = 0xCD,
  KEY_INPUT_DOWN = 0xD0,
};

enum : int {
  PAD_INPUT_DOWN = 1, PAD_INPUT_LEFT = 2, PAD_INPUT_RIGHT = 4, PAD_INPUT_UP = 8,
  PAD_INPUT_1 = 16, PAD_INPUT_2 = 32, PAD_INPUT_3 = 64, PAD_INPUT_4 = 128,
  PAD_INPUT_5 = 256, PAD_INPUT_6 = 512,
};

// ---------------------------------------------------------------- window

using WindowHandle = void*;

int SetWindowTitleText(const char* text);
int ChangeWindowMode(int windowFlag);  // 1 window, 0 full screen
int SetWindowSizeRate(double xRate, double yRate);
WindowHandle GetMainWindow();
int GetWindowActiveFlag();
int SetAlwaysRunFlag(int flag);
int ClearScreenLog();
int SetScreenLogFontSize(int size);
int MessageBoxText(const char* text, const char* caption);

// ---------------------------------------------------------------- start-up, shutdown, pump

int LibInit();
int LibEnd();
int IsLibInitialized();
int PumpMessages();           // 0, or -1 once the window is gone
int ProcessWindowMessages();  // one pass: at most five events, then the per-pass services
int WaitWhileInactive();
