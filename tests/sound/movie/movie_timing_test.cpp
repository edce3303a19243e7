// Movies whose timing players get wrong: the first draw of a movie graph.
#include <gtest/gtest.h>

#include <string>

#include "framework_movies.h"
#include "moviegen.h"

using movietest::FrameworkMovies;
using movietest::MoviePath;

TEST_F(FrameworkMovies, AMovieGraphsFirstDrawShowsItsFirstPicture) {
  for (const char* name : {"sync_h264_aac.mp4", "sync_h264_aac.ts", "sync_vp8_vorbis.ogg"}) {
    SCOPED_TRACE(name);
    const std::string path = MoviePath(name);
    const MEMIMG* screen = GetScreenMemImg();
    for (int load = 0; load < 20; ++load) {
      const int g = LoadGraph(path.c_str());
      ASSERT_NE(g, -1);
      ClearScreen();
      DrawGraph(0, 0, g, 0);
      EXPECT_EQ(ReadTestMovieNumber(screen->UseImage, screen->Base->Pitch), 0) << "load " << load;
      EXPECT_EQ(DeleteGraph(g), 0);
    }
  }
}
