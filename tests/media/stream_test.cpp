// Running graphs: state changes and their threads, events, clock, positions, volume, pull mode.
#include "test_filters.h"

using namespace mtest;

namespace {

struct Chain {
  ComPtr<PushSource> src;
  ComPtr<RecordingSink> sink;
  ComPtr<IGraphBuilder> graph;
  ComPtr<IMediaControl> control;
  ComPtr<IMediaEvent> events;
  ComPtr<IMediaSeeking> seeking;

  explicit Chain(std::vector<Scripted> script, IReferenceClock* clock = nullptr, bool unclocked = false)
      : src(new PushSource({TypeA()}, std::move(script))), sink(new RecordingSink), graph(NewGraph()) {
    graph->AddFilter(src.Get(), u"Source");
    graph->AddFilter(sink.Get(), u"Sink");
    EXPECT_EQ(graph->Render(PinOf(src.Get(), 0).Get()), S_OK);
    if (clock || unclocked) {
      EXPECT_EQ(graph.As<IMediaFilter>()->SetSyncSource(clock), S_OK);
    }
    control = graph.As<IMediaControl>();
    events = graph.As<IMediaEvent>();
    seeking = graph.As<IMediaSeeking>();
  }
  int64_t Position() {
    int64_t p = -1;
    EXPECT_EQ(seeking->GetCurrentPosition(&p), S_OK);
    return p;
  }
};

// A source, an in-place pass and a sink, connected in a new graph.
ComPtr<IGraphBuilder> ThroughPass(PushSource* src, InPlacePass* pass, RecordingSink* sink) {
  auto graph = NewGraph();
  graph->AddFilter(src, u"Source");
  graph->AddFilter(pass, u"Pass");
  graph->AddFilter(sink, u"Sink");
  EXPECT_EQ(graph->ConnectDirect(PinOf(src, 0).Get(), PinOf(pass, 0).Get(), nullptr), S_OK);
  EXPECT_EQ(graph->ConnectDirect(PinOf(pass, 1).Get(), PinOf(sink, 0).Get(), nullptr), S_OK);
  return graph;
}

}  // namespace

TEST_F(MediaTest, StopJoinsEveryStreamingThread) {
  // Samples a minute apart on the real clock: the stream blocks in the renderer.
  std::vector<Scripted> script = Seconds(3);
  for (auto& s : script) s.start *= 60, s.stop *= 60;
  Chain c(script);
  EXPECT_EQ(MediaLiveThreads(), 0);
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(c.control->Pause(), S_OK);
    EXPECT_EQ(MediaLiveThreads(), 1);
    // Paused, the first sample is shown at once and the next one waits.
    ASSERT_TRUE(Eventually([&] { return c.sink->Count() == 1; }));
    ASSERT_EQ(c.control->Run(), S_OK);
    ASSERT_TRUE(Eventually([&] { return c.src->pushed == 2 * (round + 1); }));
    FilterState state;
    c.control->GetState(0, &state);
    EXPECT_EQ(state, FilterState::Running);
    ASSERT_EQ(c.control->Stop(), S_OK);
    EXPECT_EQ(MediaLiveThreads(), 0);
    EXPECT_EQ(c.sink->Count(), 1u);
    c.sink->got.clear();
  }
  // Pause straight from stop, then stop: the thread blocked in the paused renderer ends too.
  ASSERT_EQ(c.control->Pause(), S_OK);
  ASSERT_TRUE(Eventually([&] { return c.src->pushed == 8; }));
  ASSERT_EQ(c.control->Stop(), S_OK);
  EXPECT_EQ(MediaLiveThreads(), 0);
}

TEST_F(MediaTest, StopEndsAThreadWaitingForABuffer) {
  Chain c(Seconds(50), nullptr, true);
  // Every buffer is out before the stream starts, so its thread waits in GetBuffer.
  ComPtr<IMemAllocator> alloc = c.src->OutPin().Allocator();
  AllocatorProperties props;
  alloc->GetProperties(&props);
  ASSERT_EQ(alloc->Commit(), S_OK);
  std::vector<ComPtr<IMediaSample>> held(props.cBuffers);
  for (auto& s : held) ASSERT_EQ(alloc->GetBuffer(s.Put(), nullptr, nullptr, 0), S_OK);
  ASSERT_EQ(c.control->Run(), S_OK);
  EXPECT_EQ(MediaLiveThreads(), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  EXPECT_EQ(c.src->pushed, 0);
  ASSERT_EQ(c.control->Stop(), S_OK);
  EXPECT_EQ(MediaLiveThreads(), 0);
  EXPECT_EQ(c.sink->Count(), 0u);
}

TEST_F(MediaTest, StopWaitsForASampleInsideATransformThatNeedsNoFilterLock) {
  auto src = Make(new PushSource({TypeA()}, Seconds(4)));
  auto pass = Make(new InPlacePass);
  auto sink = Make(new RecordingSink);
  auto graph = ThroughPass(src.Get(), pass.Get(), sink.Get());
  graph.As<IMediaFilter>()->SetSyncSource(nullptr);
  Gate gate;
  pass->hold = &gate;
  auto control = graph.As<IMediaControl>();
  ASSERT_EQ(control->Run(), S_OK);
  ASSERT_TRUE(gate.Reached());
  {
    // Stopped, the filter holds its lock while it waits for the sample to leave; the rest of
    // the sample's way must not ask for that lock.
    Call stop([&] { control->Stop(); });
    ASSERT_TRUE(Eventually([&] { return pass->IsStopped(); }));
    EXPECT_FALSE(stop.Returned(0));
    gate.Open();
    EXPECT_TRUE(stop.Returned());
  }
  EXPECT_EQ(MediaLiveThreads(), 0);
  EXPECT_EQ(pass->seen, 1);
  EXPECT_EQ(sink->Count(), 0u);  // the renderer stopped first
}

TEST_F(MediaTest, APauseIsCompleteOnceTheRendererHoldsItsFirstSample) {
  // The first sample held on its way, then inside the renderer's rendering of it.
  for (bool inRenderer : {false, true}) {
    SCOPED_TRACE(inRenderer ? "held while rendered" : "held upstream");
    auto src = Make(new PushSource({TypeA()}, Seconds(4)));
    auto pass = Make(new InPlacePass);
    auto sink = Make(new RecordingSink);
    auto graph = ThroughPass(src.Get(), pass.Get(), sink.Get());
    Gate gate;
    (inRenderer ? sink->hold : pass->hold) = &gate;
    auto control = graph.As<IMediaControl>();
    ASSERT_EQ(control->Pause(), S_OK);
    ASSERT_TRUE(gate.Reached());
    FilterState state;
    EXPECT_EQ(control->GetState(0, &state), VFW_S_STATE_INTERMEDIATE);
    EXPECT_EQ(state, FilterState::Paused);
    {
      Call wait([&] { EXPECT_EQ(control->GetState(10000, &state), S_OK); });
      EXPECT_FALSE(wait.Returned(0));
      gate.Open();
      EXPECT_TRUE(wait.Returned());
    }
    EXPECT_EQ(sink->Count(), 1u);
    control->Stop();
    EXPECT_EQ(MediaLiveThreads(), 0);
  }
}

TEST_F(MediaTest, CompletionComesOnceEveryRendererHasEnded) {
  Chain c(Seconds(4), nullptr, true);
  // A second source and sink in the same graph end later.
  auto src2 = Make(new PushSource({TypeA()}, Seconds(20)));
  auto sink2 = Make(new RecordingSink);
  c.graph->AddFilter(src2.Get(), u"Source 2");
  c.graph->AddFilter(sink2.Get(), u"Sink 2");
  ASSERT_EQ(c.graph->ConnectDirect(PinOf(src2.Get(), 0).Get(), PinOf(sink2.Get(), 0).Get(), nullptr), S_OK);

  int32_t code = -1;
  EXPECT_EQ(c.events->WaitForCompletion(10, &code), E_ABORT);
  EXPECT_EQ(code, 0);
  ASSERT_EQ(c.control->Run(), S_OK);
  ASSERT_EQ(c.events->WaitForCompletion(5000, &code), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
  EXPECT_EQ(c.sink->Count(), 4u);
  EXPECT_EQ(sink2->Count(), 20u);
  int32_t ev;
  intptr_t p1, p2;
  ASSERT_EQ(c.events->GetEvent(&ev, &p1, &p2, 0), S_OK);
  EXPECT_EQ(ev, EC_COMPLETE);
  EXPECT_EQ(c.events->GetEvent(&ev, &p1, &p2, 0), E_ABORT);  // one for the graph
  c.control->Stop();

  // Ordered, with the times they were given.
  auto got = sink2->Samples();
  for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i].start, int64_t(i) * UNITS);
}

TEST_F(MediaTest, AStreamErrorAbortsTheGraph) {
  Chain c(Seconds(10), nullptr, true);
  c.src->errorAt = 3;
  ASSERT_EQ(c.control->Run(), S_OK);
  int32_t code = 0;
  ASSERT_EQ(c.events->WaitForCompletion(5000, &code), S_OK);
  EXPECT_EQ(code, EC_ERRORABORT);
  int32_t ev;
  intptr_t p1, p2;
  ASSERT_EQ(c.events->GetEvent(&ev, &p1, &p2, 1000), S_OK);
  EXPECT_EQ(ev, EC_ERRORABORT);
  EXPECT_EQ(HRESULT(p1), E_FAIL);
  EXPECT_EQ(c.sink->Count(), 3u);
  c.control->Stop();
  // Stopped, the graph is no longer complete.
  EXPECT_EQ(c.events->WaitForCompletion(0, &code), E_ABORT);
}

TEST_F(MediaTest, SamplesWaitForTheirTimeOnTheClock) {
  auto clock = Make(new ManualClock);
  Chain c(Seconds(3), clock.Get());
  ASSERT_EQ(c.control->Run(), S_OK);
  ASSERT_TRUE(Eventually([&] { return c.sink->Count() == 1; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(60));
  EXPECT_EQ(c.sink->Count(), 1u);  // the next one is due a second later on the clock
  clock->Advance(UNITS);
  ASSERT_TRUE(Eventually([&] { return c.sink->Count() == 2; }));
  EXPECT_EQ(c.Position(), UNITS);
  // Paused, stream time holds still.
  ASSERT_EQ(c.control->Pause(), S_OK);
  clock->Advance(5 * UNITS);
  EXPECT_EQ(c.Position(), UNITS);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(c.sink->Count(), 2u);
  ASSERT_EQ(c.control->Run(), S_OK);
  clock->Advance(UNITS / 2);
  EXPECT_EQ(c.Position(), UNITS + UNITS / 2);
  clock->Advance(UNITS / 2);
  ASSERT_TRUE(Eventually([&] { return c.sink->Count() == 3; }));
  int32_t code;
  // The end comes once the last sample's time is over, not when it is shown.
  EXPECT_EQ(c.events->WaitForCompletion(20, &code), E_ABORT);
  clock->Advance(UNITS);
  ASSERT_EQ(c.events->WaitForCompletion(5000, &code), S_OK);
  clock->Advance(10 * UNITS);
  EXPECT_EQ(c.Position(), 3 * UNITS);  // never past the stop
  c.control->Stop();
}

TEST_F(MediaTest, SeekingMovesTheStreamAndThePosition) {
  auto clock = Make(new ManualClock);
  Chain c(Seconds(10), clock.Get());
  int64_t duration = 0, stop = 0;
  ASSERT_EQ(c.seeking->GetDuration(&duration), S_OK);
  EXPECT_EQ(duration, 10 * UNITS);
  ASSERT_EQ(c.seeking->GetStopPosition(&stop), S_OK);
  EXPECT_EQ(stop, 10 * UNITS);
  uint32_t caps = 0;
  c.seeking->GetCapabilities(&caps);
  EXPECT_TRUE(caps & AM_SEEKING_CanSeekAbsolute);

  // Stopped: the next run starts there, its samples stamped from the new segment's start.
  int64_t at = 3 * UNITS;
  ASSERT_EQ(c.seeking->SetPositions(&at, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
  EXPECT_EQ(c.Position(), 3 * UNITS);
  ASSERT_EQ(c.control->Run(), S_OK);
  ASSERT_TRUE(Eventually([&] { return c.sink->Count() == 1; }));
  auto got = c.sink->Samples();
  EXPECT_EQ(got[0].start, 0);
  EXPECT_EQ(got[0].data, Seconds(10)[3].data);
  EXPECT_EQ(PinOf(c.sink.Get(), 0).Get() ? c.sink->InputPin()->CurrentStartTime() : -1, 3 * UNITS);
  clock->Advance(UNITS);
  ASSERT_TRUE(Eventually([&] { return c.sink->Count() == 2; }));
  EXPECT_EQ(c.Position(), 4 * UNITS);

  // Running: flushed, restarted at the new place, still running.
  at = 8 * UNITS;
  ASSERT_EQ(c.seeking->SetPositions(&at, AM_SEEKING_AbsolutePositioning | AM_SEEKING_ReturnTime, nullptr, 0), S_OK);
  EXPECT_EQ(at, 8 * UNITS);
  EXPECT_GE(c.sink->flushes, 1);
  ASSERT_TRUE(Eventually([&] { return c.sink->Count() == 1; }));
  EXPECT_EQ(c.sink->Samples()[0].data, Seconds(10)[8].data);
  EXPECT_EQ(c.Position(), 8 * UNITS);
  FilterState state;
  c.control->GetState(0, &state);
  EXPECT_EQ(state, FilterState::Running);

  // The end, then back to the start, as a looping movie does.
  clock->Advance(2 * UNITS);
  int32_t code;
  ASSERT_EQ(c.events->WaitForCompletion(5000, &code), S_OK);
  EXPECT_EQ(c.Position(), 10 * UNITS);
  int64_t zero = 0;
  ASSERT_EQ(c.seeking->SetPositions(&zero, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
  ASSERT_EQ(c.control->Run(), S_OK);
  EXPECT_EQ(c.events->WaitForCompletion(0, &code), E_ABORT);
  EXPECT_EQ(c.Position(), 0);
  ASSERT_TRUE(Eventually([&] { return c.sink->Count() == 1; }));
  EXPECT_EQ(c.sink->Samples()[0].data, Seconds(10)[0].data);

  // A stop position ends the stream early; relative moves count from the current position.
  c.control->Stop();
  int64_t end = 2 * UNITS;
  ASSERT_EQ(c.seeking->SetPositions(nullptr, 0, &end, AM_SEEKING_AbsolutePositioning), S_OK);
  c.seeking->GetStopPosition(&stop);
  EXPECT_EQ(stop, 2 * UNITS);
  int64_t back = -UNITS;
  ASSERT_EQ(c.seeking->SetPositions(&back, AM_SEEKING_RelativePositioning, nullptr, 0), S_OK);
  EXPECT_EQ(c.Position(), 0);  // never before the start
  c.graph.As<IMediaFilter>()->SetSyncSource(nullptr);
  c.sink->got.clear();
  ASSERT_EQ(c.control->Run(), S_OK);
  ASSERT_EQ(c.events->WaitForCompletion(5000, &code), S_OK);
  EXPECT_EQ(c.sink->Count(), 2u);
  EXPECT_EQ(c.Position(), 2 * UNITS);
  c.control->Stop();

  // A graph with nothing to seek says so.
  auto empty = NewGraph();
  EXPECT_EQ(empty.As<IMediaSeeking>()->GetDuration(&duration), E_NOTIMPL);
  EXPECT_EQ(empty.As<IMediaSeeking>()->SetPositions(&zero, AM_SEEKING_AbsolutePositioning, nullptr, 0), E_NOTIMPL);
}

TEST_F(MediaTest, TheClockIsChosenOrRemoved) {
  Chain c(Seconds(2));
  ComPtr<IReferenceClock> clock;
  ASSERT_EQ(c.control->Pause(), S_OK);
  // The system clock by default, given to every filter.
  c.graph.As<IMediaFilter>()->GetSyncSource(clock.Put());
  ASSERT_TRUE(clock);
  EXPECT_EQ(c.sink->Clock(), clock.Get());
  EXPECT_EQ(c.graph.As<IMediaFilter>()->SetSyncSource(nullptr), VFW_E_NOT_STOPPED);
  c.control->Stop();
  c.sink->got.clear();  // the paused graph may have shown its first sample
  ASSERT_EQ(c.graph.As<IMediaFilter>()->SetSyncSource(nullptr), S_OK);
  EXPECT_EQ(c.sink->Clock(), nullptr);
  // Without a clock the samples a second apart go through at once.
  ASSERT_EQ(c.control->Run(), S_OK);
  int32_t code;
  ASSERT_EQ(c.events->WaitForCompletion(5000, &code), S_OK);
  EXPECT_EQ(c.sink->Count(), 2u);
  c.control->Stop();
  c.graph.As<IMediaFilter>()->GetSyncSource(clock.Put());
  EXPECT_FALSE(clock);
}

TEST_F(MediaTest, VolumeGoesToTheFilterThatHasOne) {
  Chain c(Seconds(1));
  auto audio = c.graph.As<IBasicAudio>();
  ASSERT_EQ(audio->SetVolume(-1234), S_OK);
  EXPECT_EQ(c.sink->volume, -1234);
  int32_t v = 0;
  ASSERT_EQ(audio->GetVolume(&v), S_OK);
  EXPECT_EQ(v, -1234);
  auto silent = NewGraph();
  EXPECT_EQ(silent.As<IBasicAudio>()->SetVolume(0), E_NOTIMPL);
}

TEST_F(MediaTest, PullModeReadsEveryByteOnItsOwnThread) {
  std::vector<uint8_t> bytes(1234);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = uint8_t(i * 7 + 3);
  auto reader = Make(new MemReader(bytes));
  auto sink = Make(new PullSink);
  auto graph = NewGraph();
  graph->AddFilter(reader.Get(), u"MemFile");
  graph->AddFilter(sink.Get(), u"Parser");
  ASSERT_EQ(graph->Render(PinOf(reader.Get(), 0).Get()), S_OK);
  ASSERT_TRUE(sink->puller.Reader());
  auto control = graph.As<IMediaControl>();
  ASSERT_EQ(control->Run(), S_OK);
  int32_t code;
  ASSERT_EQ(graph.As<IMediaEvent>()->WaitForCompletion(5000, &code), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
  control->Stop();
  EXPECT_EQ(sink->data, bytes);
  EXPECT_EQ(sink->pieces, 13);  // 100-byte pieces, the last one cut at the end
  uint8_t four[4];
  ASSERT_EQ(sink->puller.Reader()->SyncRead(1230, 4, four), S_OK);
  EXPECT_EQ(four[3], bytes[1233]);

  // Stopped in the middle, the pull thread is joined; a range reads only that range.
  sink->data.clear();
  sink->slow = true;
  sink->puller.Seek(200, 700);
  ASSERT_EQ(control->Run(), S_OK);
  ASSERT_TRUE(Eventually([&] {
    std::lock_guard<std::mutex> lock(sink->m);
    return !sink->data.empty();
  }));
  control->Stop();
  EXPECT_EQ(MediaLiveThreads(), 0);
  sink->slow = false;
  sink->data.clear();
  ASSERT_EQ(control->Run(), S_OK);
  ASSERT_EQ(graph.As<IMediaEvent>()->WaitForCompletion(5000, &code), S_OK);
  control->Stop();
  EXPECT_EQ(sink->data, std::vector<uint8_t>(bytes.begin() + 200, bytes.begin() + 700));
}
