// Streams over files and memory images, the file-access table and the FileRead_ family.
// The archive format has no description here, so the file layer reads plain files.
#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "engine/system/system.h"
#include "engine/system/system_internal.h"

namespace {

// ---- plain files

struct FileStream {
  std::FILE* file;
  int64_t size;
  int64_t position;
};

FileStream* AsFile(StreamHandle h) { return reinterpret_cast<FileStream*>(h); }

StreamHandle PlainOpen(const char* path, int, int, int) {
  if (!path || !*path) return 0;
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return 0;
  struct stat info {};
  if (fstat(fileno(f), &info) != 0 || S_ISDIR(info.st_mode)) {
    std::fclose(f);
    return 0;
  }
  auto fs = static_cast<FileStream*>(TK_MALLOC(sizeof(FileStream)));
  if (!fs) {
    std::fclose(f);
    return 0;
  }
  fs->file = f;
  fs->size = static_cast<int64_t>(info.st_size);
  fs->position = 0;
  return reinterpret_cast<StreamHandle>(fs);
}

int PlainClose(StreamHandle h) {
  if (!h) return -1;
  std::fclose(AsFile(h)->file);
  MemFree(AsFile(h));
  return 0;
}

int64_t PlainTell(StreamHandle h) { return h ? AsFile(h)->position : -1; }

// Seeking outside the data fails and leaves the position where it was.
int SeekTarget(int64_t position, int64_t size, int64_t offset, int origin, int64_t* target) {
  int64_t base;
  switch (origin) {
    case 0: base = 0; break;
    case 1: base = position; break;
    case 2: base = size; break;
    default: return -1;
  }
  if ((offset > 0 && base > INT64_MAX - offset) || (offset < 0 && base < INT64_MIN - offset)) return -1;
  int64_t t = base + offset;
  if (t < 0 || t > size) return -1;
  *target = t;
  return 0;
}

int PlainSeek(StreamHandle h, int64_t offset, int origin) {
  if (!h) return -1;
  FileStream* fs = AsFile(h);
  int64_t target;
  if (SeekTarget(fs->position, fs->size, offset, origin, &target) != 0) return -1;
  if (fseeko(fs->file, static_cast<off_t>(target), SEEK_SET) != 0) return -1;
  fs->position = target;
  return 0;
}

size_t PlainRead(void* buffer, size_t size, size_t count, StreamHandle h) {
  if (!h || !buffer || size == 0 || count == 0) return 0;
  FileStream* fs = AsFile(h);
  size_t n = std::fread(buffer, size, count, fs->file);
  // fread may consume a part of an element it does not count: keep the position true.
  off_t at = ftello(fs->file);
  fs->position = at >= 0 ? static_cast<int64_t>(at) : fs->position;
  return n;
}

int PlainEof(StreamHandle h) { return !h || AsFile(h)->position >= AsFile(h)->size ? 1 : 0; }

int PlainIdleCheck(StreamHandle) { return 1; }  // reads are synchronous: always idle

int PlainSetDir(const char* path) { return path && chdir(path) == 0 ? 0 : -1; }

int PlainGetDir(char* buffer, size_t bufferSize) {
  if (!buffer || bufferSize == 0) return -1;
  return getcwd(buffer, bufferSize) ? 0 : -1;
}

struct FindState {
  DIR* dir;
  std::string folder;
  std::string pattern;
};

int FindNextEntry(FindState* find, FileFindData* out) {
  while (dirent* entry = readdir(find->dir)) {
    if (fnmatch(find->pattern.c_str(), entry->d_name, 0) != 0) continue;
    if (std::strlen(entry->d_name) >= sizeof out->name) continue;  // cannot be named in full
    std::string full = find->folder + entry->d_name;
    struct stat info {};
    if (stat(full.c_str(), &info) != 0) continue;
    std::strcpy(out->name, entry->d_name);
    out->size = static_cast<int64_t>(info.st_size);
    out->isDirectory = S_ISDIR(info.st_mode) ? 1 : 0;
    return 0;
  }
  return -1;
}

uintptr_t PlainFindFirst(const char* pattern, FileFindData* out) {
  if (!pattern || !out) return 0;
  std::string p = pattern;
  size_t slash = p.find_last_of('/');
  std::string folder = slash == std::string::npos ? "" : p.substr(0, slash + 1);
  DIR* dir = opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return 0;
  auto find = new FindState{dir, folder, slash == std::string::npos ? p : p.substr(slash + 1)};
  if (FindNextEntry(find, out) != 0) {
    closedir(dir);
    delete find;
    return 0;
  }
  return reinterpret_cast<uintptr_t>(find);
}

int PlainFindNext(uintptr_t find, FileFindData* out) {
  if (!find || !out) return -1;
  return FindNextEntry(reinterpret_cast<FindState*>(find), out);
}

int PlainFindClose(uintptr_t find) {
  if (!find) return -1;
  auto f = reinterpret_cast<FindState*>(find);
  closedir(f->dir);
  delete f;
  return 0;
}

const FileAccessTable kPlainTable = {
    PlainOpen, PlainClose, PlainTell, PlainSeek, PlainRead, PlainEof,
    PlainIdleCheck, PlainSetDir, PlainGetDir, PlainFindFirst, PlainFindNext, PlainFindClose,
};

const FileAccessTable* currentTable = &kPlainTable;

int64_t FileStreamTell(StreamHandle h) { return currentTable->Tell(h); }
int FileStreamSeek(StreamHandle h, int64_t offset, int origin) { return currentTable->Seek(h, offset, origin); }
size_t FileStreamRead(void* buffer, size_t size, size_t count, StreamHandle h) {
  return currentTable->Read(buffer, size, count, h);
}
int FileStreamEof(StreamHandle h) { return currentTable->Eof(h); }
int FileStreamIdle(StreamHandle h) { return currentTable->IdleCheck(h); }
int FileStreamClose(StreamHandle h) { return currentTable->Close(h); }

const StreamFunctions kFileStreamFunctions = {
    FileStreamTell, FileStreamSeek, FileStreamRead, FileStreamEof, FileStreamIdle, FileStreamClose,
};

// ---- memory images

struct MemStream {
  const unsigned char* data;
  size_t size;
  size_t position;
};

MemStream* AsMem(StreamHandle h) { return reinterpret_cast<MemStream*>(h); }

int64_t MemTell(StreamHandle h) { return h ? static_cast<int64_t>(AsMem(h)->position) : -1; }

int MemSeek(StreamHandle h, int64_t offset, int origin) {
  if (!h) return -1;
  MemStream* m = AsMem(h);
  int64_t target;
  if (m->size > static_cast<size_t>(INT64_MAX)) return -1;
  if (SeekTarget(static_cast<int64_t>(m->position), static_cast<int64_t>(m->size), offset, origin, &target) != 0) {
    return -1;
  }
  m->position = static_cast<size_t>(target);
  return 0;
}

size_t MemRead(void* buffer, size_t size, size_t count, StreamHandle h) {
  if (!h || !buffer || size == 0 || count == 0) return 0;
  MemStream* m = AsMem(h);
  size_t left = m->size - m->position;
  size_t whole = left / size;  // only whole elements are read
  if (whole > count) whole = count;
  if (whole == 0) return 0;  // an empty image may have no address at all
  std::memcpy(buffer, m->data + m->position, whole * size);
  m->position += whole * size;
  return whole;
}

int MemEof(StreamHandle h) { return !h || AsMem(h)->position >= AsMem(h)->size ? 1 : 0; }
int MemIdle(StreamHandle) { return 1; }

const StreamFunctions kMemStreamFunctions = {MemTell, MemSeek, MemRead, MemEof, MemIdle, MemStreamClose};

// ---- file handles

struct FileHandleRecord {
  HandleHeader header;
  StreamHandle stream;
};

HandleManager fileHandles{};
std::recursive_mutex fileHandlesLock;

int DeleteFileHandle(HandleHeader* h) {
  auto record = reinterpret_cast<FileHandleRecord*>(h);
  if (record->stream) FileAccessClose(record->stream);
  record->stream = 0;
  return 0;
}

StreamHandle StreamOf(int fileHandle) {
  std::lock_guard<std::recursive_mutex> guard(fileHandlesLock);
  auto record = reinterpret_cast<FileHandleRecord*>(GetHandleRecord(&fileHandles, fileHandle));
  return record ? record->stream : 0;
}

}  // namespace

const StreamFunctions* GetFileStreamFunctions() { return &kFileStreamFunctions; }
const StreamFunctions* GetMemStreamFunctions() { return &kMemStreamFunctions; }

const FileAccessTable* GetMemFileAccessTable() {
  static const FileAccessTable table = [] {
    FileAccessTable t{};
    t.Close = kMemStreamFunctions.Close;
    t.Tell = kMemStreamFunctions.Tell;
    t.Seek = kMemStreamFunctions.Seek;
    t.Read = kMemStreamFunctions.Read;
    t.Eof = kMemStreamFunctions.Eof;
    t.IdleCheck = kMemStreamFunctions.IdleCheck;
    return t;
  }();
  return &table;
}

StreamHandle MemStreamOpen(const void* data, size_t size) {
  if (!data && size) return 0;
  auto m = static_cast<MemStream*>(TK_MALLOC(sizeof(MemStream)));
  if (!m) return 0;
  m->data = static_cast<const unsigned char*>(data);
  m->size = size;
  m->position = 0;
  return reinterpret_cast<StreamHandle>(m);
}

int MemStreamClose(StreamHandle h) {
  if (!h) return -1;
  MemFree(AsMem(h));
  return 0;
}

StreamHandle FileStreamOpen(const char* path) { return FileAccessOpen(path, 0, 1, 0); }

const FileAccessTable* GetFileAccessTable() { return currentTable; }

int SetFileAccessTable(const FileAccessTable* table) {
  currentTable = table ? table : &kPlainTable;
  return 0;
}

StreamHandle FileAccessOpen(const char* path, int useCacheFlag, int blockReadFlag, int useAsyncReadFlag) {
  return currentTable->Open(path, useCacheFlag, blockReadFlag, useAsyncReadFlag);
}
int FileAccessClose(StreamHandle h) { return currentTable->Close(h); }
int64_t FileAccessTell(StreamHandle h) { return currentTable->Tell(h); }
int FileAccessSeek(StreamHandle h, int64_t offset, int origin) { return currentTable->Seek(h, offset, origin); }
size_t FileAccessRead(void* buffer, size_t size, size_t count, StreamHandle h) {
  return currentTable->Read(buffer, size, count, h);
}
int FileAccessEof(StreamHandle h) { return currentTable->Eof(h); }

int InitFileSystem() {
  std::lock_guard<std::recursive_mutex> guard(fileHandlesLock);
  if (fileHandles.initialized) return 0;
  return InitHandleManager(&fileHandles, HandleType::File, sizeof(FileHandleRecord), 8192, nullptr,
                           DeleteFileHandle, "ファイル");
}

int TermFileSystem() {
  std::lock_guard<std::recursive_mutex> guard(fileHandlesLock);
  if (!fileHandles.initialized) return 0;
  return TermHandleManager(&fileHandles);
}

int FileRead_open(const char* path, int async) {
  std::lock_guard<std::recursive_mutex> guard(fileHandlesLock);
  if (InitFileSystem() != 0) return 0;
  StreamHandle stream = FileAccessOpen(path, 0, 1, 0);
  if (!stream) return 0;
  HandleValue h = AddHandle(&fileHandles, -1);
  if (h == -1) {
    FileAccessClose(stream);
    return 0;
  }
  reinterpret_cast<FileHandleRecord*>(GetHandleRecord(&fileHandles, h))->stream = stream;
  return h;
}

int FileRead_openDefault(const char* path, int async) { return FileRead_open(path, async); }

int FileRead_close(int fileHandle) {
  std::lock_guard<std::recursive_mutex> guard(fileHandlesLock);
  return SubHandle(&fileHandles, fileHandle);
}

int64_t FileRead_size(const char* path) {
  StreamHandle stream = FileAccessOpen(path, 0, 1, 0);
  if (!stream) return -1;
  int64_t size = -1;
  if (FileAccessSeek(stream, 0, 2) == 0) size = FileAccessTell(stream);
  FileAccessClose(stream);
  return size;
}

int FileRead_read(void* buffer, int size, int fileHandle) {
  StreamHandle stream = StreamOf(fileHandle);
  if (!stream || !buffer || size < 0) return -1;
  return static_cast<int>(FileAccessRead(buffer, 1, static_cast<size_t>(size), stream));
}

int FileRead_seek(int fileHandle, int64_t offset, int origin) {
  StreamHandle stream = StreamOf(fileHandle);
  return stream ? FileAccessSeek(stream, offset, origin) : -1;
}

int64_t FileRead_tell(int fileHandle) {
  StreamHandle stream = StreamOf(fileHandle);
  return stream ? FileAccessTell(stream) : -1;
}

int FileRead_getc(int fileHandle) {
  StreamHandle stream = StreamOf(fileHandle);
  unsigned char c;
  if (!stream || FileAccessRead(&c, 1, 1, stream) != 1) return -1;
  return c;
}

int FileRead_gets(char* buffer, int bufferSize, int fileHandle) {
  StreamHandle stream = StreamOf(fileHandle);
  if (!stream || !buffer || bufferSize < 1) return -1;
  if (FileAccessEof(stream)) {
    buffer[0] = '\0';
    return -1;
  }
  int length = 0;
  bool ended = false;
  unsigned char c;
  while (length < bufferSize - 1 && FileAccessRead(&c, 1, 1, stream) == 1) {
    if (c == '\n') {
      ended = true;
      break;
    }
    if (c == '\r') {
      unsigned char next;
      int64_t at = FileAccessTell(stream);
      if (FileAccessRead(&next, 1, 1, stream) == 1 && next == '\n') {
        ended = true;
        break;
      }
      FileAccessSeek(stream, at, 0);  // a lone CR is data
    }
    buffer[length++] = static_cast<char>(c);
  }
  if (!ended && length == bufferSize - 1) {
    // Full: a line end right here still belongs to this line.
    int64_t at = FileAccessTell(stream);
    unsigned char next[2];
    size_t got = FileAccessRead(next, 1, 2, stream);
    if (got >= 1 && next[0] == '\n') {
      FileAccessSeek(stream, at + 1, 0);
    } else if (!(got == 2 && next[0] == '\r' && next[1] == '\n')) {
      FileAccessSeek(stream, at, 0);
    }
  }
  buffer[length] = '\0';
  return length;
}

int FileRead_eof(int fileHandle) {
  StreamHandle stream = StreamOf(fileHandle);
  return !stream || FileAccessEof(stream) ? 1 : 0;
}

std::FILE* CreateTemporaryFile(char* path, size_t pathSize) {
  if (!path || pathSize == 0) return nullptr;
  const char* folder = std::getenv("TMPDIR");
  if (!folder || !*folder) folder = "/tmp";
  std::string name = std::string(folder) + "/tmpXXXXXX";
  if (name.size() + 1 > pathSize) return nullptr;
  std::string buffer = name;
  int fd = mkstemp(&buffer[0]);
  if (fd < 0) return nullptr;
  std::FILE* f = fdopen(fd, "wb");
  if (!f) {
    close(fd);
    unlink(buffer.c_str());
    return nullptr;
  }
  std::memcpy(path, buffer.c_str(), buffer.size() + 1);
  return f;
}
