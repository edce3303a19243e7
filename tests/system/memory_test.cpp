#include <cstring>

#include "engine/system/system.h"
#include "common/scratch.h"

TEST(Memory, BlocksAreTrackedUntilFreed) {
  int before = GetAllocMemoryCount(nullptr);
  auto a = static_cast<unsigned char*>(TK_MALLOC(100));
  auto b = static_cast<unsigned char*>(TK_CALLOC(33));
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(a) % 16, 0u);
  for (int i = 0; i < 33; ++i) EXPECT_EQ(b[i], 0) << i;
  size_t bytes = 0;
  EXPECT_EQ(GetAllocMemoryCount(&bytes), before + 2);
  std::memset(a, 0x5A, 100);
  a = static_cast<unsigned char*>(TK_REALLOC(a, 300));
  ASSERT_NE(a, nullptr);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(a[i], 0x5A) << i;
  a = static_cast<unsigned char*>(TK_REALLOC(a, 10));
  for (int i = 0; i < 10; ++i) ASSERT_EQ(a[i], 0x5A) << i;
  EXPECT_EQ(GetAllocMemoryCount(nullptr), before + 2);
  EXPECT_EQ(CheckAllocMemory(), 0);
  MemFree(a);
  MemFree(b);
  MemFree(nullptr);
  EXPECT_EQ(GetAllocMemoryCount(nullptr), before);
  EXPECT_EQ(TK_MALLOC(SIZE_MAX - 8), nullptr);
}

TEST(Memory, FillCopyCompare) {
  unsigned char x[8], y[8];
  MemFill(x, 0x11, sizeof x);
  MemCopy(y, x, sizeof y);
  EXPECT_EQ(MemCompare(x, y, 8), 0);
  y[7] = 0x12;
  EXPECT_EQ(MemCompare(x, y, 8), 1);
  EXPECT_EQ(MemCompare(y, x, 8), 1);  // 1 whichever is greater
  EXPECT_EQ(MemCompare(x, y, 7), 0);
}

TEST(Memory, LiveBlockDumpNamesEveryBlock) {
  std::string log = ScratchName("log.txt");
  SetLogFileName(log.c_str());
  SetLogOutputFlag(1);
  void* kept = MemAlloc(48, "engine/draw/font.cpp", 321);
  void* other = MemAlloc(7, "sound.cpp", 12);
  int count = DumpAllocMemory();
  EXPECT_GE(count, 2);
  std::string text = ReadWholeFile(log);
  EXPECT_NE(text.find("engine/draw/font.cpp(321)"), std::string::npos) << text;
  EXPECT_NE(text.find("48 bytes"), std::string::npos) << text;
  EXPECT_NE(text.find("sound.cpp(12)"), std::string::npos) << text;
  // Oldest block first.
  EXPECT_LT(text.find("font.cpp(321)"), text.find("sound.cpp(12)"));
  MemFree(kept);
  MemFree(other);
  SetLogFileName(nullptr);
  std::remove(log.c_str());
}

TEST(MemoryDeathTest, BrokenGuardEndsTheProcess) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  auto overrun = [] {
    SetLogOutputFlag(0);
    auto p = static_cast<unsigned char*>(MemAlloc(16, "overrun.cpp", 7));
    unsigned char* volatile q = p;
    q[16] = 0;  // one past the end: into the guard, still inside the real allocation
    MemFree(p);
  };
  EXPECT_EXIT(overrun(), ::testing::ExitedWithCode(255), "Memory guard broken \\(free\\).*overrun.cpp\\(7\\)");
  auto underrun = [] {
    SetLogOutputFlag(0);
    auto p = static_cast<unsigned char*>(MemAlloc(16, "underrun.cpp", 9));
    unsigned char* volatile q = p;
    q[-1] = 0;
    CheckAllocMemory();
  };
  EXPECT_EXIT(underrun(), ::testing::ExitedWithCode(255), "Memory guard broken \\(check\\)");
}
