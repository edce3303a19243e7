#include <cstring>
#include <string>

#include "engine/system/system.h"
#include "common/scratch.h"

namespace {

// Both stream kinds must behave alike over the same bytes.
void CheckStream(const StreamFunctions* f, StreamHandle h, const std::string& data) {
  SCOPED_TRACE(f == GetMemStreamFunctions() ? "memory" : "file");
  const int64_t size = static_cast<int64_t>(data.size());
  EXPECT_EQ(f->Tell(h), 0);
  EXPECT_EQ(f->Eof(h), 0);
  char buf[16] = {};
  EXPECT_EQ(f->Read(buf, 4, 2, h), 2u);
  EXPECT_EQ(std::string(buf, 8), data.substr(0, 8));
  EXPECT_EQ(f->Tell(h), 8);

  EXPECT_EQ(f->Seek(h, -3, 2), 0);
  EXPECT_EQ(f->Tell(h), size - 3);
  EXPECT_EQ(f->Seek(h, 1, 1), 0);
  EXPECT_EQ(f->Tell(h), size - 2);
  // Outside the data: refused, and the position stays.
  EXPECT_EQ(f->Seek(h, -1, 0), -1);
  EXPECT_EQ(f->Seek(h, 3, 1), -1);
  EXPECT_EQ(f->Seek(h, 1, 2), -1);
  EXPECT_EQ(f->Seek(h, INT64_MAX, 1), -1);
  EXPECT_EQ(f->Seek(h, INT64_MIN, 1), -1);
  EXPECT_EQ(f->Seek(h, 0, 7), -1);
  EXPECT_EQ(f->Tell(h), size - 2);

  EXPECT_EQ(f->Seek(h, size, 0), 0);  // the very end is inside
  EXPECT_EQ(f->Eof(h), 1);
  EXPECT_EQ(f->Read(buf, 1, 4, h), 0u);
  EXPECT_EQ(f->Seek(h, 0, 0), 0);
  EXPECT_EQ(f->Eof(h), 0);
  EXPECT_EQ(f->IdleCheck(h), 1);
  EXPECT_EQ(f->Seek(h, size - 5, 0), 0);
  char tail[8] = {};
  EXPECT_EQ(f->Read(tail, 1, 8, h), 5u);  // bounded by what is left
  EXPECT_EQ(std::string(tail, 5), data.substr(data.size() - 5));
  EXPECT_EQ(f->Eof(h), 1);
}

std::string Sample() {
  std::string data;
  for (int i = 0; i < 27; ++i) data += static_cast<char>('a' + i % 26);
  return data;
}

}  // namespace

TEST(Streams, FileAndMemoryStreamsReadSeekAndRefuseOutside) {
  std::string data = Sample();
  std::string path = ScratchName("data.bin");
  WriteWholeFile(path, data);

  StreamHandle file = FileStreamOpen(path.c_str());
  ASSERT_NE(file, 0u);
  CheckStream(GetFileStreamFunctions(), file, data);
  EXPECT_EQ(GetFileStreamFunctions()->Close(file), 0);

  StreamHandle mem = MemStreamOpen(data.data(), data.size());
  ASSERT_NE(mem, 0u);
  CheckStream(GetMemStreamFunctions(), mem, data);
  // A memory stream reads only whole elements.
  GetMemStreamFunctions()->Seek(mem, 20, 0);
  char buf[16];
  EXPECT_EQ(GetMemStreamFunctions()->Read(buf, 4, 3, mem), 1u);
  EXPECT_EQ(GetMemStreamFunctions()->Tell(mem), 24);
  EXPECT_EQ(GetMemStreamFunctions()->Read(buf, SIZE_MAX, 2, mem), 0u);
  EXPECT_EQ(MemStreamClose(mem), 0);

  // An empty image may have no address: reads give nothing and touch nothing (under UBSan a
  // copy from null would stop the test).
  StreamHandle empty = MemStreamOpen(nullptr, 0);
  ASSERT_NE(empty, 0u);
  EXPECT_EQ(GetMemStreamFunctions()->Read(buf, 1, sizeof buf, empty), 0u);
  EXPECT_EQ(GetMemStreamFunctions()->Seek(empty, 0, 2), 0);
  EXPECT_EQ(GetMemStreamFunctions()->Tell(empty), 0);
  EXPECT_EQ(GetMemStreamFunctions()->Eof(empty), 1);
  EXPECT_EQ(MemStreamClose(empty), 0);
  EXPECT_EQ(MemStreamOpen(nullptr, 1), 0u);

  EXPECT_EQ(FileStreamOpen("no such file"), 0u);
  EXPECT_EQ(FileStreamOpen("."), 0u);  // a folder is not a file
  std::remove(path.c_str());
}

TEST(Streams, FileAccessTableHasItsTwelveSlots) {
  const FileAccessTable* t = GetFileAccessTable();
  ASSERT_NE(t, nullptr);
  std::string path = ScratchName("find.txt");
  WriteWholeFile(path, "12345");
  StreamHandle h = FileAccessOpen(path.c_str(), 0, 1, 0);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(FileAccessSeek(h, 2, 0), 0);
  EXPECT_EQ(FileAccessTell(h), 2);
  char c[4] = {};
  EXPECT_EQ(FileAccessRead(c, 1, 3, h), 3u);
  EXPECT_STREQ(c, "345");
  EXPECT_EQ(FileAccessEof(h), 1);
  EXPECT_EQ(FileAccessClose(h), 0);

  FileFindData found{};
  uintptr_t find = t->FindFirst(path.c_str(), &found);
  ASSERT_NE(find, 0u);
  EXPECT_EQ(std::string(found.name), path);
  EXPECT_EQ(found.size, 5);
  EXPECT_EQ(found.isDirectory, 0);
  EXPECT_EQ(t->FindNext(find, &found), -1);
  EXPECT_EQ(t->FindClose(find), 0);
  char dir[512];
  EXPECT_EQ(t->GetDir(dir, sizeof dir), 0);
  EXPECT_EQ(t->GetDir(dir, 1), -1);
  std::remove(path.c_str());
}

TEST(Streams, MemoryImagesBehindTheFileAccessTable) {
  const FileAccessTable* t = GetMemFileAccessTable();
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(t->Open, nullptr);  // a memory image has no path
  EXPECT_EQ(t->FindFirst, nullptr);
  const char image[] = "abcdef";
  StreamHandle h = MemStreamOpen(image, 6);
  ASSERT_NE(h, 0u);
  EXPECT_EQ(t->Seek(h, 4, 0), 0);
  EXPECT_EQ(t->Tell(h), 4);
  char c[4] = {};
  EXPECT_EQ(t->Read(c, 1, 3, h), 2u);
  EXPECT_STREQ(c, "ef");
  EXPECT_NE(t->Eof(h), 0);
  EXPECT_EQ(t->Close(h), 0);
}

TEST(Streams, FileReadFamily) {
  std::string path = ScratchName("lines.txt");
  std::string longLine(40, 'L');
  WriteWholeFile(path, "one\r\ntwo\n\n" + longLine + "\r\nx\ry\nabcd\nlast");
  int fh = FileRead_openDefault(path.c_str(), 0);
  ASSERT_NE(fh, 0);
  EXPECT_EQ((static_cast<uint32_t>(fh) & HANDLE_TYPE_MASK) >> HANDLE_TYPE_SHIFT, 17u);
  EXPECT_EQ(FileRead_size(path.c_str()), 65);

  char buf[16];
  std::memset(buf, '#', sizeof buf);
  EXPECT_EQ(FileRead_gets(buf, 16, fh), 3);
  EXPECT_STREQ(buf, "one");
  EXPECT_EQ(FileRead_gets(buf, 16, fh), 3);
  EXPECT_STREQ(buf, "two");
  EXPECT_EQ(FileRead_gets(buf, 16, fh), 0);
  EXPECT_STREQ(buf, "");
  // A long line comes in pieces that never pass the buffer.
  std::string pieces;
  char small[16];
  std::memset(small, '#', sizeof small);
  int n;
  while ((n = FileRead_gets(small, 11, fh)) == 10) {
    EXPECT_EQ(small[10], '\0');
    EXPECT_EQ(small[11], '#');
    pieces += small;
  }
  EXPECT_EQ(pieces, longLine);  // the last piece took the line end with it
  EXPECT_EQ(n, 3);
  EXPECT_EQ(std::string(small), "x\ry");  // a lone CR is part of the line
  // A line that exactly fills the buffer takes its line end with it.
  EXPECT_EQ(FileRead_gets(buf, 5, fh), 4);
  EXPECT_STREQ(buf, "abcd");
  EXPECT_EQ(FileRead_eof(fh), 0);
  EXPECT_EQ(FileRead_getc(fh), 'l');
  EXPECT_EQ(FileRead_gets(buf, 16, fh), 3);
  EXPECT_STREQ(buf, "ast");
  EXPECT_EQ(FileRead_eof(fh), 1);
  EXPECT_EQ(FileRead_gets(buf, 16, fh), -1);
  EXPECT_EQ(FileRead_getc(fh), -1);

  EXPECT_EQ(FileRead_seek(fh, 5, 0), 0);
  EXPECT_EQ(FileRead_tell(fh), 5);
  EXPECT_EQ(FileRead_seek(fh, 66, 0), -1);
  EXPECT_EQ(FileRead_tell(fh), 5);
  char three[3];
  EXPECT_EQ(FileRead_read(three, 3, fh), 3);
  EXPECT_EQ(std::string(three, 3), "two");
  EXPECT_EQ(FileRead_read(three, -1, fh), -1);

  EXPECT_EQ(FileRead_close(fh), 0);
  EXPECT_EQ(FileRead_close(fh), -1);
  EXPECT_EQ(FileRead_getc(fh), -1);
  EXPECT_EQ(FileRead_gets(buf, 16, fh), -1);
  EXPECT_EQ(FileRead_eof(fh), 1);
  EXPECT_EQ(FileRead_open("missing.txt", 0), 0);
  EXPECT_EQ(FileRead_size("missing.txt"), -1);
  std::remove(path.c_str());
}

TEST(Streams, TemporaryFile) {
  char path[260];
  std::FILE* f = CreateTemporaryFile(path, sizeof path);
  ASSERT_NE(f, nullptr);
  std::string name = path;
  EXPECT_NE(name.find("/tmp"), std::string::npos);
  EXPECT_EQ(std::fputs("hello", f) >= 0, true);
  std::fclose(f);
  EXPECT_EQ(ReadWholeFile(name), "hello");
  std::remove(name.c_str());
  char tiny[4];
  EXPECT_EQ(CreateTemporaryFile(tiny, sizeof tiny), nullptr);
}
