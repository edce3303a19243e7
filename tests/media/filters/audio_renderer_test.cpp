// The default PCM renderer: intelligent connect picks it, and its sound reaches the sound output.
#include "platform/audio/audio.h"
#include "tests/media/test_filters.h"

using namespace mtest;

namespace {

WAVEFORMATEX Mono16(uint32_t rate) {
  WAVEFORMATEX wf{WAVE_FORMAT_PCM, 1, rate, rate * 2, 2, 16, 0};
  return wf;
}

// Pieces of 32 samples (what the test source's buffers hold) of a mono 16-bit ramp: sample k
// of the whole stream is k * 7.
std::vector<Scripted> Ramp(int pieces, uint32_t rate) {
  std::vector<Scripted> script;
  const int n = 32;
  for (int i = 0; i < pieces; ++i) {
    Scripted s{REFERENCE_TIME(i) * n * UNITS / rate, REFERENCE_TIME(i + 1) * n * UNITS / rate,
               std::vector<uint8_t>(size_t(n) * 2)};
    for (int k = 0; k < n; ++k) {
      const int16_t v = int16_t((i * n + k) * 7);
      std::memcpy(&s.data[size_t(k) * 2], &v, 2);
    }
    script.push_back(std::move(s));
  }
  return script;
}

class AudioOut : public MediaTest {
 protected:
  void SetUp() override {
    NullAudioConfig config;
    config.rate = 8000;
    config.channels = 1;
    AudioNull_Install(&config);
    device = AudioDevice_Create();
    ASSERT_EQ(AudioDevice_Initialize(device), 0);
    SetMediaAudioDevice(device);
  }
  void TearDown() override {
    SetMediaAudioDevice(nullptr);
    AudioDevice_Release(device);
    AudioNull_Install(nullptr);
    MediaTest::TearDown();
  }
  AudioDevice* device = nullptr;
};

}  // namespace

TEST_F(AudioOut, PcmIsRenderedThroughTheSoundOutput) {
  const uint32_t rate = 8000;
  auto src = Make(new PushSource({MakePcmMediaType(Mono16(rate))}, Ramp(125, rate)));
  auto graph = NewGraph();
  graph->AddFilter(src.Get(), u"Source");
  ASSERT_EQ(graph->Render(PinOf(src.Get(), 0).Get()), S_OK);
  FilterList filters;
  graph->EnumFilters(&filters);
  ASSERT_EQ(filters.size(), 2u);
  CLSID id;
  filters[1]->GetClassID(&id);
  EXPECT_EQ(id, CLSID_AudioRenderer);

  auto audio = graph.As<IBasicAudio>();
  EXPECT_EQ(audio->SetVolume(-20000), E_INVALIDARG);
  EXPECT_EQ(audio->SetVolume(0), S_OK);
  auto control = graph.As<IMediaControl>();
  auto events = graph.As<IMediaEvent>();
  ASSERT_EQ(control->Run(), S_OK);
  EXPECT_EQ(AudioNull_BufferCount(device), 1);
  // Half a second of sound fits the ring: written whole, then played in 10 ms steps.
  ASSERT_TRUE(Eventually([&] { return src->delivered == 125; }));
  for (int step = 0; step < 60; ++step) AudioNull_Advance(device, rate / 100);
  int32_t code = 0;
  ASSERT_EQ(events->WaitForCompletion(10000, &code), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
  std::vector<int16_t> heard = AudioNull_Capture(device);
  // The ramp comes out whole and in order once it starts; silence around it.
  size_t first = 0;
  while (first < heard.size() && heard[first] == 0) ++first;
  ASSERT_LT(first, heard.size());
  ASSERT_GE(heard.size() - first, size_t(3999));
  for (size_t k = 1; k < 4000; ++k) ASSERT_EQ(heard[first + k - 1], int16_t(k * 7)) << k;
  ASSERT_EQ(control->Stop(), S_OK);
  EXPECT_EQ(AudioNull_BufferCount(device), 0);
}

TEST_F(AudioOut, DeviceGoingAwayTakesTheBuffersAndStopJoins) {
  const uint32_t rate = 8000;
  auto src = Make(new PushSource({MakePcmMediaType(Mono16(rate))}, Ramp(1000, rate)));  // 4 s: more than the ring
  auto graph = NewGraph();
  graph->AddFilter(src.Get(), u"Source");
  ASSERT_EQ(graph->Render(PinOf(src.Get(), 0).Get()), S_OK);
  auto control = graph.As<IMediaControl>();
  ASSERT_EQ(control->Run(), S_OK);
  // Nothing plays: the stream waits for room in the ring.
  ASSERT_TRUE(Eventually([&] { return src->pushed >= 250; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_LT(src->pushed, 260);
  EXPECT_EQ(AudioNull_BufferCount(device), 1);
  SetMediaAudioDevice(nullptr);
  EXPECT_EQ(AudioNull_BufferCount(device), 0);
  // Without a device the rest is dropped as it comes.
  ASSERT_TRUE(Eventually([&] { return src->pushed == 1000; }));
  ASSERT_EQ(control->Stop(), S_OK);
  EXPECT_EQ(MediaLiveThreads(), 0);
  SetMediaAudioDevice(device);
}

TEST_F(AudioOut, OnlyPlayablePcmIsTaken) {
  ComPtr<IBaseFilter> renderer;
  ASSERT_EQ(CreateMediaObject(CLSID_AudioRenderer, nullptr, IID_IBaseFilter, renderer.PutVoid()), S_OK);
  PinList pins;
  renderer->EnumPins(&pins);
  ASSERT_EQ(pins.size(), 1u);
  WAVEFORMATEX wf = Mono16(22050);
  EXPECT_EQ(pins[0]->QueryAccept(MakePcmMediaType(wf)), S_OK);
  WAVEFORMATEX six = wf;
  six.nChannels = 6;
  six.nBlockAlign = 12;
  EXPECT_NE(pins[0]->QueryAccept(MakePcmMediaType(six)), S_OK);
  WAVEFORMATEX badAlign = wf;
  badAlign.nBlockAlign = 3;
  EXPECT_NE(pins[0]->QueryAccept(MakePcmMediaType(badAlign)), S_OK);
  EXPECT_NE(pins[0]->QueryAccept(MediaType(MEDIATYPE_Audio, MEDIASUBTYPE_MP3)), S_OK);
  EXPECT_NE(pins[0]->QueryAccept(TypeA()), S_OK);
}
