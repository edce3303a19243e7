// The video decoder running behind its clock: pictures well past their end are dropped, one in
// two at most, so pictures that fall behind still show.
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "moviegen.h"
#include "platform/media/ffmpeg/ffmpeg_filters.h"
#include "tests/media/test_filters.h"

namespace mtest {
namespace {

std::string ClipBytes(const char* name) {
  const char* dir = std::getenv("TAMRAK_BINARY_DIR");
  std::ifstream in(std::string(dir ? dir : ".") + "/testmedia/movie/" + name, std::ios::binary);
  std::stringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

}  // namespace

TEST_F(MediaTest, LatePicturesAreDroppedOneInTwoAtMost) {
  const std::string bytes = ClipBytes("count50_silent.mkv");
  ComPtr<IBaseFilter> source;
  ASSERT_EQ(CreateMemoryMediaSource(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), source.Put()), S_OK);
  auto sink = Make(new RecordingSink);
  sink->accept = [](const MediaType& t) { return t.subtype == MEDIASUBTYPE_RGB32 ? S_OK : S_FALSE; };
  auto clock = Make(new ManualClock);
  auto graph = NewGraph();
  ASSERT_EQ(graph->AddFilter(source.Get(), u"Source"), S_OK);
  ASSERT_EQ(graph->AddFilter(sink.Get(), u"Sink"), S_OK);
  PinList pins;
  source->EnumPins(&pins);
  ASSERT_EQ(pins.size(), 1u);
  ASSERT_EQ(graph->Render(pins[0].Get()), S_OK);
  ASSERT_EQ(graph.As<IMediaFilter>()->SetSyncSource(clock.Get()), S_OK);
  ASSERT_EQ(graph.As<IMediaControl>()->Pause(), S_OK);
  ASSERT_TRUE(Eventually([&] { return sink->Count() == 1; }));
  // Ten seconds on at once: every picture from then on is late.
  ASSERT_EQ(graph.As<IMediaControl>()->Run(), S_OK);
  clock->Advance(10 * UNITS);
  int32_t code = 0;
  ASSERT_EQ(graph.As<IMediaEvent>()->WaitForCompletion(10000, &code), S_OK);
  ASSERT_EQ(graph.As<IMediaControl>()->Stop(), S_OK);
  std::vector<int> numbers;
  for (auto& s : sink->Samples()) {
    ASSERT_EQ(s.data.size(), 128u * 64 * 4);
    numbers.push_back(ReadTestMovieNumber(s.data.data(), 128 * 4));
  }
  // The picture shown while pausing, perhaps one or two on their way before the clock moved, and
  // every other one after.
  ASSERT_GE(numbers.size(), 25u);
  ASSERT_LE(numbers.size(), 27u);
  EXPECT_EQ(numbers.front(), 0);
  int skips = 0;
  for (size_t i = 1; i < numbers.size(); ++i) {
    const int step = numbers[i] - numbers[i - 1];
    EXPECT_TRUE(step == 1 || step == 2) << i;
    skips += step == 2;
  }
  EXPECT_GE(skips, 22);
}

}  // namespace mtest
