// Pin connections: type agreement, allocator agreement, pass-through, intelligent connect.
#include "test_filters.h"

using namespace mtest;

namespace {

MediaType Video(const GUID& sub) { return MakeVideoMediaType(sub, 4, 2, 32); }

// Adds the filters to a new graph under names f0, f1, ...
template <class... F>
ComPtr<IGraphBuilder> GraphWith(F*... filters) {
  auto graph = NewGraph();
  int n = 0;
  for (IBaseFilter* f : {static_cast<IBaseFilter*>(filters)...}) {
    std::u16string name = u"f";
    name += char16_t(u'0' + n++);
    EXPECT_EQ(graph->AddFilter(f, name.c_str()), S_OK);
  }
  return graph;
}

FilterRegistration Registration(const CLSID& id, const char16_t* name, uint32_t merit, std::function<IBaseFilter*()> make,
                                std::function<bool(const MediaType&)> takes) {
  FilterRegistration r;
  r.clsid = id;
  r.name = name;
  r.merit = merit;
  r.create = [make](IUnknown*, IUnknown** out) {
    *out = static_cast<IUnknown*>(make());
    (*out)->AddRef();
    return S_OK;
  };
  r.takesType = std::move(takes);
  return r;
}

std::vector<std::u16string> Names(IGraphBuilder* graph) {
  FilterList filters;
  graph->EnumFilters(&filters);
  std::vector<std::u16string> names;
  for (auto& f : filters) {
    FilterInfo info;
    f->QueryFilterInfo(&info);
    names.push_back(info.name);
  }
  return names;
}

bool Connected(IPin* pin) {
  ComPtr<IPin> other;
  return SUCCEEDED(pin->ConnectedTo(other.Put()));
}

// Removes test registrations however a test ends.
struct Registered {
  std::vector<CLSID> ids;
  ~Registered() {
    for (auto& id : ids) UnregisterMediaFilter(id);
  }
  void Add(const FilterRegistration& r) {
    RegisterMediaFilter(r);
    ids.push_back(r.clsid);
  }
};

}  // namespace

TEST_F(MediaTest, OnlySOkAcceptsATypeAndARefusedTypeTriesTheNext) {
  auto src = Make(new PushSource({Video(MEDIASUBTYPE_YUY2), Video(MEDIASUBTYPE_RGB24), Video(MEDIASUBTYPE_RGB32)}, {}));
  auto sink = Make(new RecordingSink);
  sink->accept = [](const MediaType& mt) {
    if (mt.subtype == MEDIASUBTYPE_YUY2) return E_FAIL;
    if (mt.subtype == MEDIASUBTYPE_RGB24) return S_FALSE;  // a "no" that is not an error
    return S_OK;
  };
  auto graph = GraphWith(src.Get(), sink.Get());
  auto out = PinOf(src.Get(), 0), in = PinOf(sink.Get(), 0);

  // A type given in full is the only one tried.
  MediaType rgb24 = Video(MEDIASUBTYPE_RGB24);
  EXPECT_TRUE(FAILED(graph->ConnectDirect(out.Get(), in.Get(), &rgb24)));
  EXPECT_FALSE(Connected(out.Get()) || Connected(in.Get()));

  sink->checked.clear();
  ASSERT_EQ(graph->ConnectDirect(out.Get(), in.Get(), nullptr), S_OK);
  EXPECT_EQ(sink->checked, (std::vector<GUID>{MEDIASUBTYPE_YUY2, MEDIASUBTYPE_RGB24, MEDIASUBTYPE_RGB32}));
  MediaType mt;
  ASSERT_EQ(out->ConnectionMediaType(&mt), S_OK);
  EXPECT_EQ(mt.subtype, MEDIASUBTYPE_RGB32);
  EXPECT_EQ(sink->setType.subtype, MEDIASUBTYPE_RGB32);
  ASSERT_EQ(in->ConnectionMediaType(&mt), S_OK);
  EXPECT_EQ(mt.subtype, MEDIASUBTYPE_RGB32);
  EXPECT_EQ(out->Connect(in.Get(), nullptr), VFW_E_ALREADY_CONNECTED);

  // Both sides disconnect on their own.
  EXPECT_EQ(graph->Disconnect(out.Get()), S_OK);
  EXPECT_EQ(graph->Disconnect(in.Get()), S_OK);
  EXPECT_EQ(graph->Disconnect(in.Get()), S_FALSE);

  // Nothing acceptable: no connection on either side.
  sink->accept = [](const MediaType&) { return S_FALSE; };
  EXPECT_EQ(graph->ConnectDirect(out.Get(), in.Get(), nullptr), VFW_E_NO_ACCEPTABLE_TYPES);
  EXPECT_FALSE(Connected(out.Get()) || Connected(in.Get()));
  // Pins of one direction never connect.
  EXPECT_EQ(in->Connect(out.Get(), nullptr), E_UNEXPECTED);
}

TEST_F(MediaTest, TheReceivingPinsTypesComeFirstAndPatternsAreSkipped) {
  auto src = Make(new PushSource({TypeA(), TypeB()}, {}));
  auto sink = Make(new PickySink);
  sink->takes = {TypeA(), TypeB()};
  sink->offers = {MediaType(MEDIATYPE_Video, GUID_NULL), TypeB()};
  auto graph = GraphWith(src.Get(), sink.Get());
  ASSERT_EQ(graph->ConnectDirect(PinOf(src.Get(), 0).Get(), PinOf(sink.Get(), 0).Get(), nullptr), S_OK);
  MediaType mt;
  PinOf(sink.Get(), 0)->ConnectionMediaType(&mt);
  EXPECT_EQ(mt, TypeB());
  // A pattern given to Connect narrows the candidates.
  graph->Disconnect(PinOf(src.Get(), 0).Get());
  graph->Disconnect(PinOf(sink.Get(), 0).Get());
  MediaType pattern(MEDIATYPE_Video, kSubA, GUID_NULL);
  ASSERT_EQ(graph->ConnectDirect(PinOf(src.Get(), 0).Get(), PinOf(sink.Get(), 0).Get(), &pattern), S_OK);
  PinOf(sink.Get(), 0)->ConnectionMediaType(&mt);
  EXPECT_EQ(mt, TypeA());
}

TEST_F(MediaTest, OutputTakesTheInputsAllocatorOrMakesItsOwn) {
  auto src = Make(new PushSource({TypeA()}, Seconds(3)));
  auto sink = Make(new PickySink);
  sink->takes = {TypeA()};
  auto graph = GraphWith(src.Get(), sink.Get());
  graph.As<IMediaFilter>()->SetSyncSource(nullptr);
  ASSERT_EQ(graph->ConnectDirect(PinOf(src.Get(), 0).Get(), PinOf(sink.Get(), 0).Get(), nullptr), S_OK);
  // The sink's allocator, sized by its requirements.
  IMemAllocator* alloc = src->OutPin().Allocator();
  ComPtr<IMemAllocator> sinkAlloc;
  ComPtr<IMemInputPin> mem = PinOf(sink.Get(), 0).As<IMemInputPin>();
  ASSERT_EQ(mem->GetAllocator(sinkAlloc.Put()), S_OK);
  EXPECT_EQ(alloc, sinkAlloc.Get());
  AllocatorProperties props;
  alloc->GetProperties(&props);
  EXPECT_EQ(props.cBuffers, 3);
  EXPECT_EQ(props.cbAlign, 16);
  EXPECT_GE(props.cbBuffer, 1000);
  sinkAlloc.Reset();

  auto control = graph.As<IMediaControl>();
  control->Run();
  EXPECT_TRUE(Eventually([&] {
    std::lock_guard<std::mutex> lock(sink->m);
    return sink->pointers.size() == 3;
  }));
  control->Stop();
  for (uint8_t* p : sink->pointers) EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % 16, 0u);

  // An input without an allocator of its own gets the output's.
  graph->Disconnect(PinOf(src.Get(), 0).Get());
  graph->Disconnect(PinOf(sink.Get(), 0).Get());
  sink->noAllocator = true;
  ASSERT_EQ(graph->ConnectDirect(PinOf(src.Get(), 0).Get(), PinOf(sink.Get(), 0).Get(), nullptr), S_OK);
  ASSERT_NE(src->OutPin().Allocator(), nullptr);
  src->OutPin().Allocator()->GetProperties(&props);
  EXPECT_EQ(props.cBuffers, 3);
}

TEST_F(MediaTest, TransformsPassSamplesOnUnchanged) {
  auto src = Make(new PushSource({TypeA()}, Seconds(5, 40)));
  auto copy = Make(new CopyTransform(TypeA(), TypeB()));
  auto inplace = Make(new InPlacePass);
  auto sink = Make(new RecordingSink);
  auto graph = GraphWith(src.Get(), copy.Get(), inplace.Get(), sink.Get());
  graph.As<IMediaFilter>()->SetSyncSource(nullptr);
  // The output of a transform has nothing to offer before its input is connected.
  EXPECT_TRUE(FAILED(graph->ConnectDirect(PinOf(copy.Get(), 1).Get(), PinOf(inplace.Get(), 0).Get(), nullptr)));
  ASSERT_EQ(graph->ConnectDirect(PinOf(src.Get(), 0).Get(), PinOf(copy.Get(), 0).Get(), nullptr), S_OK);
  ASSERT_EQ(graph->ConnectDirect(PinOf(copy.Get(), 1).Get(), PinOf(inplace.Get(), 0).Get(), nullptr), S_OK);
  ASSERT_EQ(graph->ConnectDirect(PinOf(inplace.Get(), 1).Get(), PinOf(sink.Get(), 0).Get(), nullptr), S_OK);
  EXPECT_EQ(sink->setType, TypeB());

  // The copy has an allocator on each side; the in-place filter shares one through.
  EXPECT_NE(copy->InputPin()->Allocator(), copy->OutputPin()->Allocator());
  EXPECT_EQ(inplace->InputPin()->Allocator(), inplace->OutputPin()->Allocator());
  EXPECT_EQ(copy->OutputPin()->Allocator(), inplace->OutputPin()->Allocator());
  EXPECT_FALSE(inplace->UsingDifferentAllocators());

  auto control = graph.As<IMediaControl>();
  auto events = graph.As<IMediaEvent>();
  ASSERT_EQ(control->Run(), S_OK);
  int32_t code = 0;
  ASSERT_EQ(events->WaitForCompletion(5000, &code), S_OK);
  EXPECT_EQ(code, EC_COMPLETE);
  control->Stop();
  auto got = sink->Samples();
  auto want = Seconds(5, 40);
  ASSERT_EQ(got.size(), want.size());
  for (size_t i = 0; i < got.size(); ++i) {
    EXPECT_EQ(got[i].data, want[i].data);
    EXPECT_EQ(got[i].start, want[i].start);
    EXPECT_EQ(got[i].stop, want[i].stop);
  }
  EXPECT_EQ(copy->transformed, 5);
  EXPECT_EQ(inplace->seen, 5);
  EXPECT_EQ(copy->starts, 1);
  EXPECT_EQ(copy->stops, 1);

  // An in-place result other than S_OK keeps the sample back.
  sink->got.clear();
  inplace->result = S_FALSE;
  ASSERT_EQ(control->Run(), S_OK);
  ASSERT_EQ(events->WaitForCompletion(5000, &code), S_OK);
  control->Stop();
  EXPECT_EQ(sink->Count(), 0u);
  EXPECT_EQ(inplace->seen, 10);
}

TEST_F(MediaTest, RenderTriesTheGraphsFiltersBeforeRegisteredOnes) {
  Registered reg;
  std::atomic<int> madeHigh{0}, madeLow{0};
  reg.Add(Registration(kSinkId, u"Registered Sink", MERIT_NORMAL, [&] { ++madeHigh; return new RecordingSink; },
                       [](const MediaType& mt) { return mt.majortype == MEDIATYPE_Video; }));
  reg.Add(Registration(kPickyId, u"Unlikely Sink", MERIT_UNLIKELY, [&] { ++madeLow; return new RecordingSink; },
                       [](const MediaType& mt) { return mt.majortype == MEDIATYPE_Video; }));

  {  // A sink already in the graph takes the stream; nothing registered is made.
    auto src = Make(new PushSource({TypeA()}, {}));
    auto sink = Make(new RecordingSink);
    auto graph = GraphWith(src.Get(), sink.Get());
    ASSERT_EQ(graph->Render(PinOf(src.Get(), 0).Get()), S_OK);
    EXPECT_TRUE(Connected(PinOf(sink.Get(), 0).Get()));
    EXPECT_EQ(madeHigh + madeLow, 0);
    EXPECT_EQ(graph->Render(PinOf(src.Get(), 0).Get()), VFW_E_ALREADY_CONNECTED);
  }
  {  // A filter of the graph in between is used too, then the sink after it.
    auto src = Make(new PushSource({TypeA()}, {}));
    auto pass = Make(new InPlacePass);
    auto sink = Make(new RecordingSink);
    auto graph = GraphWith(src.Get(), sink.Get(), pass.Get());
    sink->accept = [](const MediaType&) { return E_FAIL; };  // not straight from the source
    ASSERT_EQ(graph->Render(PinOf(src.Get(), 0).Get()), S_OK);
    EXPECT_TRUE(Connected(PinOf(pass.Get(), 0).Get()));
    // The sink refused, so a registered one came after the pass-through.
    EXPECT_EQ(madeHigh, 1);
    EXPECT_EQ(Names(graph.Get()), (std::vector<std::u16string>{u"f0", u"f1", u"f2", u"Registered Sink"}));
  }
  {  // Nothing in the graph: the highest merit first.
    madeHigh = 0;
    auto src = Make(new PushSource({TypeA()}, {}));
    auto graph = GraphWith(src.Get());
    ASSERT_EQ(graph->Render(PinOf(src.Get(), 0).Get()), S_OK);
    EXPECT_EQ(Names(graph.Get()), (std::vector<std::u16string>{u"f0", u"Registered Sink"}));
    EXPECT_EQ(madeHigh, 1);
    EXPECT_EQ(madeLow, 0);
  }
}

TEST_F(MediaTest, AFailedRenderLeavesTheGraphAsItWas) {
  Registered reg;
  std::atomic<int> made{0};
  // A converter that takes the stream but whose output nothing renders.
  reg.Add(Registration(kCopyId, u"Dead End", MERIT_NORMAL, [&] { ++made; return new CopyTransform(TypeA(), TypeB()); },
                       [](const MediaType& mt) { return mt.subtype == kSubA; }));
  auto src = Make(new PushSource({TypeA()}, {}));
  auto pass = Make(new InPlacePass);
  auto sink = Make(new RecordingSink);
  sink->accept = [](const MediaType& mt) { return mt.subtype == kSubA ? E_FAIL : S_FALSE; };
  auto graph = GraphWith(src.Get(), pass.Get(), sink.Get());
  EXPECT_EQ(graph->Render(PinOf(src.Get(), 0).Get()), VFW_E_CANNOT_RENDER);
  EXPECT_GE(made, 1);
  EXPECT_EQ(Names(graph.Get()), (std::vector<std::u16string>{u"f0", u"f1", u"f2"}));
  for (BaseFilter* f : std::initializer_list<BaseFilter*>{src.Get(), pass.Get(), sink.Get()})
    for (int i = 0; i < f->GetPinCount(); ++i) EXPECT_FALSE(f->GetPin(i)->IsConnected());
}

TEST_F(MediaTest, ConnectInsertsAConverter) {
  Registered reg;
  reg.Add(Registration(kCopyId, u"A to B", MERIT_NORMAL, [] { return new CopyTransform(TypeA(), TypeB()); },
                       [](const MediaType& mt) { return mt.subtype == kSubA; }));
  auto src = Make(new PushSource({TypeA()}, {}));
  auto sink = Make(new RecordingSink);
  sink->accept = [](const MediaType& mt) { return mt.subtype == kSubB ? S_OK : S_FALSE; };
  auto graph = GraphWith(src.Get(), sink.Get());
  ASSERT_EQ(graph->Connect(PinOf(src.Get(), 0).Get(), PinOf(sink.Get(), 0).Get()), S_OK);
  EXPECT_EQ(Names(graph.Get()), (std::vector<std::u16string>{u"f0", u"f1", u"A to B"}));
  EXPECT_EQ(sink->setType, TypeB());
  // Without the converter there is no way.
  UnregisterMediaFilter(kCopyId);
  auto src2 = Make(new PushSource({TypeA()}, {}));
  auto sink2 = Make(new RecordingSink);
  sink2->accept = sink->accept;
  graph->AddFilter(src2.Get(), u"src2");
  graph->AddFilter(sink2.Get(), u"sink2");
  EXPECT_EQ(graph->Connect(PinOf(src2.Get(), 0).Get(), PinOf(sink2.Get(), 0).Get()), VFW_E_CANNOT_CONNECT);
}

TEST_F(MediaTest, RenderFileGoesThroughARegisteredSource) {
  Registered reg;
  FilterRegistration source;
  source.clsid = kSourceId;
  source.name = u"Test Source";
  source.merit = MERIT_NORMAL;
  source.create = [](IUnknown*, IUnknown** out) {
    *out = static_cast<IUnknown*>(static_cast<IBaseFilter*>(new PushSource({TypeA()}, Seconds(2))));
    (*out)->AddRef();
    return S_OK;
  };
  source.takesFile = [](const std::u16string& path) {
    return path.size() > 4 && path.compare(path.size() - 4, 4, u".tst") == 0;
  };
  reg.Add(source);
  auto sink = Make(new RecordingSink);
  auto graph = GraphWith(sink.Get());
  EXPECT_EQ(graph->RenderFile(u"clip.xyz", nullptr), VFW_E_UNKNOWN_FILE_TYPE);
  ASSERT_EQ(graph->RenderFile(u"clip.tst", nullptr), S_OK);
  EXPECT_EQ(Names(graph.Get()), (std::vector<std::u16string>{u"f0", u"clip.tst"}));
  ComPtr<IBaseFilter> found;
  ASSERT_EQ(graph->FindFilterByName(u"clip.tst", found.Put()), S_OK);
  std::u16string file;
  found.As<IFileSourceFilter>()->GetCurFile(&file, nullptr);
  EXPECT_EQ(file, u"clip.tst");
  int64_t duration = 0;
  graph.As<IMediaSeeking>()->GetDuration(&duration);
  EXPECT_EQ(duration, 2 * UNITS);

  // A file whose stream nothing takes leaves no source behind.
  auto graph2 = NewGraph();
  sink->accept = [](const MediaType&) { return S_FALSE; };
  EXPECT_EQ(graph2->RenderFile(u"other.tst", nullptr), VFW_E_CANNOT_RENDER);
  EXPECT_TRUE(Names(graph2.Get()).empty());
}

TEST_F(MediaTest, GraphNamesFindsAndRemovesFilters) {
  auto a = Make(new RecordingSink), b = Make(new RecordingSink);
  auto src = Make(new PushSource({TypeA()}, {}));
  auto graph = NewGraph();
  EXPECT_EQ(graph->AddFilter(a.Get(), u"Sink"), S_OK);
  EXPECT_EQ(graph->AddFilter(b.Get(), u"Sink"), VFW_S_DUPLICATE_NAME);
  EXPECT_EQ(graph->AddFilter(a.Get(), u"Again"), E_INVALIDARG);
  EXPECT_EQ(graph->AddFilter(src.Get(), nullptr), S_OK);
  EXPECT_EQ(Names(graph.Get()), (std::vector<std::u16string>{u"Sink", u"Sink 0001", u"Filter"}));
  FilterInfo info;
  b->QueryFilterInfo(&info);
  EXPECT_EQ(info.name, u"Sink 0001");
  EXPECT_EQ(info.graph.Get(), graph.As<IFilterGraph>().Get());
  ComPtr<IBaseFilter> f;
  EXPECT_EQ(graph->FindFilterByName(u"Nope", f.Put()), VFW_E_NOT_FOUND);

  ASSERT_EQ(graph->ConnectDirect(PinOf(src.Get(), 0).Get(), PinOf(a.Get(), 0).Get(), nullptr), S_OK);
  ASSERT_EQ(graph->RemoveFilter(a.Get()), S_OK);
  EXPECT_FALSE(src->OutPin().IsConnected());
  a->QueryFilterInfo(&info);
  EXPECT_FALSE(info.graph);
  EXPECT_EQ(graph->RemoveFilter(a.Get()), VFW_E_NOT_FOUND);
  // A filter outside the graph is not connected through it.
  EXPECT_EQ(graph->ConnectDirect(PinOf(src.Get(), 0).Get(), PinOf(a.Get(), 0).Get(), nullptr), VFW_E_NOT_FOUND);
}
