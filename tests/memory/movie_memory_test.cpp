// What big movies leave in the process: resident memory, and how the C library's pools treat the
// main thread's big blocks afterwards. Built without sanitizers, which replace the allocator.
#include <gtest/gtest.h>
#include <malloc.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/process_status.h"
#include "mediagen.h"
#include "sound/movie/framework_movies.h"

namespace {

constexpr double kMb = 1 << 20;

// Anonymous resident memory, in bytes: the libraries' code that the first movie reads in is not
// the pools'.
double Resident() { return ProcessStatusBytes("RssAnon"); }

// Resident memory that 40 blocks of 1 MB leave once filled and freed, in bytes.
double FreedBlocksKept() {
  const double before = Resident();
  std::vector<char*> blocks(40);
  for (char*& b : blocks) {
    b = static_cast<char*>(std::malloc(1 << 20));
    if (b) std::memset(b, 1, 1 << 20);
    asm volatile("" : : "r"(b) : "memory");  // the blocks are taken and filled for real
  }
  for (char* b : blocks) std::free(b);
  return Resident() - before;
}

using MovieMemory = movietest::FrameworkMovies;

TEST_F(MovieMemory, TenBigMoviesLeaveTheProcessAsBefore) {
  const double blocksBefore = FreedBlocksKept();
  const std::string clip = ScratchName("2160p.mp4");
  TestClipSpec shape;  // the memory benchmark's 2160p H.264 and AAC, five pictures long
  shape.videoCodec = "libx264";
  shape.audioCodec = "aac";
  shape.width = 3840;
  shape.height = 2160;
  shape.frames = 5;
  ASSERT_TRUE(WriteTestClip(clip, shape));
  malloc_trim(0);  // what the encoder freed is not the movies'

  const double before = Resident();
  for (int i = 0; i < 10; ++i) {
    const int movie = Open(clip);
    ASSERT_NE(movie, -1);
    PlayMovie(movie, PlayType::Background);
    PlayFor(movie, 5000, [&] { return GetMovieHandleRecord(movie)->pausedFlag != 0; });
    CloseMovie(movie);
  }
  const double after = Resident(), blocksAfter = FreedBlocksKept();
  EXPECT_LT(after - before, 16 * kMb) << "anonymous resident " << before / kMb << " MB before, " << after / kMb;
  EXPECT_LT(blocksAfter - blocksBefore, 6 * kMb)
      << "40 x 1 MB leave " << blocksBefore / kMb << " MB before the movies, " << blocksAfter / kMb << " after";
  std::remove(clip.c_str());
}

}  // namespace
