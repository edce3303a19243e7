// Writes the test movies into a folder: moviegen <folder>.
// One movie of a chosen size: moviegen <file.ogv> <width>x<height> <frames> [vorbis]
#include <cstdio>
#include <cstring>
#include <string>

#include "moviegen.h"

namespace {

bool Write(const std::string& path, const std::vector<uint8_t>& data) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
  return std::fclose(f) == 0 && ok && !data.empty();
}

}  // namespace

int main(int argc, char** argv) {
  TestMovieSpec one;
  if ((argc == 4 || argc == 5) && std::sscanf(argv[2], "%dx%d", &one.width, &one.height) == 2 &&
      std::sscanf(argv[3], "%d", &one.frames) == 1) {
    one.vorbis = argc == 5 && std::strcmp(argv[4], "vorbis") == 0;
    if (one.width < 1 || one.height < 1 || one.frames < 1 || !Write(argv[1], MakeTestMovie(one))) {
      std::fprintf(stderr, "moviegen: cannot write %s\n", argv[1]);
      return 1;
    }
    return 0;
  }
  if (argc != 2) {
    std::fprintf(stderr, "usage: moviegen <folder>\n       moviegen <file.ogv> <width>x<height> <frames> [vorbis]\n");
    return 2;
  }
  const std::string dir = std::string(argv[1]) + "/";
  TestMovieSpec base;
  TestMovieSpec many = base;
  many.paging = MoviePaging::Many;
  TestMovieSpec small = base;
  small.paging = MoviePaging::Small;
  TestMovieSpec sound = many;
  sound.vorbis = true;
  TestMovieSpec full = base;
  full.chroma444 = true;
  full.frames = 24;
  TestMovieSpec slow = base;  // one frame every 30 s: 40 minutes
  slow.frames = 80;
  slow.fpsNumerator = 1;
  slow.fpsDenominator = 30;
  TestMovieSpec headers = base;
  headers.headersOnly = true;
  const bool ok = Write(dir + "count100.ogv", MakeTestMovie(base)) &&
                  Write(dir + "count100_many.ogv", MakeTestMovie(many)) &&
                  Write(dir + "count100_small.ogv", MakeTestMovie(small)) &&
                  Write(dir + "count100_vorbis.ogv", MakeTestMovie(sound)) &&
                  Write(dir + "count24_444.ogv", MakeTestMovie(full)) &&
                  Write(dir + "count80_slow.ogv", MakeTestMovie(slow)) &&
                  Write(dir + "headers_only.ogv", MakeTestMovie(headers)) &&
                  Write(dir + "tone.ogg", MakeTestVorbis(1.0));
  if (!ok) {
    std::fprintf(stderr, "moviegen: cannot write the movies into %s\n", argv[1]);
    return 1;
  }
  return 0;
}
