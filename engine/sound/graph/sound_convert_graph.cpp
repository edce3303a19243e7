// MP3 (or whatever the media framework decodes) through a filter graph: the whole file served
// from memory by the memory reader, the PCM caught by the sample grabber into one growing buffer.
#include <algorithm>
#include <cstring>
#include <string>

#include "engine/sound/graph/async_reader.h"
#include "engine/sound/graph/sample_grabber.h"
#include "engine/sound/sound_convert_internal.h"
#include "engine/sound/sound_internal.h"

namespace {

constexpr uint32_t kPcmStep = 0x100000;  // the PCM buffer's size is a whole number of MiB
constexpr uint32_t kCompletionWaitMs = 100;

// One pump pass; off the main thread (an asynchronous load) only the close is looked at.
int PumpOnce() {
  if (!IsMainThread()) return IsWindowClosed() ? -1 : 0;
  return ProcessWindowMessages();
}

// Everything the operation makes, released in one place: the graph (its threads joined) before
// the reader, the stream and the file image it reads from.
struct GraphConversion {
  SoundConvertRecord* r;
  uint8_t* image = nullptr;
  Tamrak_CMemStream* stream = nullptr;
  Tamrak_CMemReader* reader = nullptr;
  ComPtr<IBaseFilter> readerFilter;
  ComPtr<IBaseFilter> nullRenderer;
  ComPtr<IGraphBuilder> graph;
  ComPtr<IBaseFilter> grabberFilter;
  ComPtr<ISampleGrabberControl> grabber;
  ComPtr<IMediaEvent> event;
  ComPtr<IMediaFilter> mediaFilter;
  ComPtr<IMediaControl> control;

  explicit GraphConversion(SoundConvertRecord* record) : r(record) {}
  ~GraphConversion() {
    if (control) control->Stop();
    event.Reset();
    mediaFilter.Reset();
    control.Reset();
    graph.Reset();
    nullRenderer.Reset();
    grabber.Reset();
    grabberFilter.Reset();
    readerFilter.Reset();
    DeleteMemReaderObject(reader);
    DeleteMemStreamObject(stream);
    MemFree(image);
  }

  int Fail(const char* message) {
    if (message) LogPrintf("%s", message);
    if (control) control->Stop();  // the callback writes to the PCM buffer until the graph stops
    MemFree(r->pcm);
    r->pcm = nullptr;
    r->pcmCapacity = r->pcmSize = r->pcmOffset = 0;
    return -1;
  }
};

ComPtr<IPin> FirstPin(IBaseFilter* filter, PinDirection want) {
  PinList pins;
  if (!filter || FAILED(filter->EnumPins(&pins))) return nullptr;
  for (auto& pin : pins) {
    PinDirection dir;
    if (SUCCEEDED(pin->QueryDirection(&dir)) && dir == want) return pin;
  }
  return nullptr;
}

// Puts the null renderer where the renderer the graph chose was.
bool SwapRenderer(IGraphBuilder* graph, IBaseFilter* nullRenderer) {
  FilterList filters;
  if (FAILED(graph->EnumFilters(&filters))) return false;
  ComPtr<IPin> feeder;
  for (auto& filter : filters) {
    ComPtr<IPin> in = FirstPin(filter.Get(), PinDirection::Input);
    ComPtr<IPin> out = FirstPin(filter.Get(), PinDirection::Output);
    if (!in || out || FAILED(in->ConnectedTo(feeder.Put()))) continue;
    graph->Disconnect(feeder.Get());
    graph->Disconnect(in.Get());
    break;
  }
  ComPtr<IPin> nullIn = FirstPin(nullRenderer, PinDirection::Input);
  return feeder && nullIn && SUCCEEDED(graph->ConnectDirect(feeder.Get(), nullIn.Get(), nullptr));
}

// The cause beside the abort: the filter that stopped the graph and why, from its event.
void LogAbortCause(IMediaEvent* event) {
  int32_t code = 0;
  intptr_t param1 = 0, param2 = 0;
  while (SUCCEEDED(event->GetEvent(&code, &param1, &param2, 0))) {
    if (code != EC_ERRORABORT) continue;
    std::string name = "?";
    FilterInfo info;
    if (param2 && SUCCEEDED(reinterpret_cast<IBaseFilter*>(param2)->QueryFilterInfo(&info))) {
      name.clear();
      for (char16_t ch : info.name) name += ch < 0x80 ? char(ch) : '?';
    }
    const HRESULT hr = HRESULT(param1);
    const char* why = hr == VFW_E_INVALIDMEDIATYPE  ? "途中で音声フォーマットが変わりました"
                      : hr == VFW_E_BUFFER_OVERFLOW ? "ファイルの大きさに比べて音が長すぎます"
                      : hr == E_OUTOFMEMORY         ? "メモリが足りません"
                                                    : "復号できないデータです";
    LogPrintf("\t%s: %s( 0x%08X )", name.c_str(), why, uint32_t(hr));
    return;
  }
}

}  // namespace

HRESULT MP3GrabberCallback(IMediaSample* sample, REFERENCE_TIME*, REFERENCE_TIME*, bool, void* user) {
  auto* r = static_cast<SoundConvertRecord*>(user);
  if (!r->pcm) return S_OK;
  uint8_t* data = nullptr;
  sample->GetPointer(&data);
  const int32_t length = sample->GetActualDataLength();
  if (!data || length <= 0) return S_OK;
  const uint64_t need = uint64_t(r->pcmSize) + uint32_t(length);
  if (need > MaxPcmFromSource(r->dataSize)) return VFW_E_BUFFER_OVERFLOW;
  if (need > r->pcmCapacity) {
    // Half as much again each time: a long sound is copied a bounded number of times.
    const uint64_t want = std::max(need, uint64_t(r->pcmCapacity) * 3 / 2);
    const uint64_t capacity = (want + kPcmStep - 1) / kPcmStep * kPcmStep;
    // The sizes are 32-bit: a sound that outgrows them fails as an allocation would.
    uint8_t* grown = capacity <= 0xFFFFFFFFu ? static_cast<uint8_t*>(TK_REALLOC(r->pcm, size_t(capacity))) : nullptr;
    if (!grown) {
      MemFree(r->pcm);
      r->pcm = nullptr;
      return S_OK;
    }
    r->pcm = grown;
    r->pcmCapacity = uint32_t(capacity);
  }
  std::memcpy(r->pcm + r->pcmSize, data, size_t(length));
  r->pcmSize += uint32_t(length);
  return S_OK;
}

int SetupSoundConvert_MP3Graph(SoundConvertRecord* r) {
  if (!r) return -1;
  r->pcm = nullptr;
  r->pcmCapacity = r->pcmSize = r->pcmOffset = 0;
  GraphConversion c(r);

  // 1: the whole source in memory.
  const int64_t size = ConvertStreamLength(r);
  if (size <= 0 || uint64_t(size) > 0xFFFFFFFFu) return c.Fail(nullptr);
  r->dataSize = uint32_t(size);  // the callback's measure of what the source may become
  c.image = static_cast<uint8_t*>(TK_MALLOC(size_t(size)));
  if (!c.image) return c.Fail(nullptr);
  if (r->stream.Read(c.image, 1, size_t(size), r->streamHandle) != size_t(size)) return c.Fail(nullptr);

  // 2, 3: the memory stream and the reader over it.
  c.stream = CreateMemStreamObject(c.image, uint32_t(uint64_t(size)), uint32_t(uint64_t(size) >> 32),
                                   Tamrak_CMemStream::kUnlimited);
  if (!c.stream) return c.Fail("MP3変換用 Tamrak_CMemStream の作成に失敗しました");
  const MediaType streamType(MEDIATYPE_Stream, MEDIASUBTYPE_MPEG1Audio);
  HRESULT hr = S_OK;
  c.reader = new (std::nothrow) Tamrak_CMemReader(c.stream, &streamType, &hr);
  if (!c.reader || FAILED(hr)) return c.Fail("MP3変換用 Tamrak_CMemReader の作成に失敗しました");
  c.readerFilter = static_cast<IBaseFilter*>(c.reader);

  // 4 to 6: the null renderer, the graph and the grabber.
  if (FAILED(CreateMediaObject(CLSID_NullRenderer, nullptr, IID_IBaseFilter, c.nullRenderer.PutVoid())))
    return c.Fail("MP3変換用 NullRender の作成に失敗しました");
  if (FAILED(CreateMediaObject(CLSID_FilterGraph, nullptr, IID_IGraphBuilder, c.graph.PutVoid())))
    return c.Fail("MP3変換用 IGraphBuilder の作成に失敗しました");
  Tamrak_CSampleGrabber* grabber = CreateSampleGrabberFilter(nullptr, &hr);
  if (!grabber || FAILED(hr)) return c.Fail("MP3変換用 Tamrak_CSampleGrabber の作成に失敗しました");
  c.grabberFilter = static_cast<IBaseFilter*>(grabber);
  c.grabber = static_cast<ISampleGrabberControl*>(grabber);

  // 7 to 9: only PCM gets into the grabber, so the graph puts a decoder before it.
  const MediaType pcm(MEDIATYPE_Audio, MEDIASUBTYPE_PCM, GUID_NULL);
  if (FAILED(c.grabber->SetAcceptedMediaType(&pcm)))
    return c.Fail("サンプルグラバフィルタのメディアタイプの設定に失敗しました");
  if (FAILED(c.graph->AddFilter(c.grabberFilter.Get(), u"SampleGrabber")))
    return c.Fail("サンプルグラバフィルタのグラフへの追加に失敗しました");
  if (FAILED(c.graph->AddFilter(c.readerFilter.Get(), u"MemFile")))
    return c.Fail("メモリファイルフィルタのグラフへの追加に失敗しました");
  ComPtr<IPin> readerOut(static_cast<IPin*>(c.reader->GetPin(0)));
  if (FAILED(c.graph->Render(readerOut.Get()))) return c.Fail("グラフの構築に失敗しました");

  // 10, 11: nothing is to be heard.
  if (FAILED(c.graph->AddFilter(c.nullRenderer.Get(), u"File Renderer")))
    return c.Fail("ヌルレンダラーフィルタのグラフへの追加に失敗しました");
  if (!SwapRenderer(c.graph.Get(), c.nullRenderer.Get()))
    return c.Fail("既存レンダラーをNullレンダラーと交換する処理が失敗しました");

  // 12, 13: the format the grabber gets.
  MediaType connected;
  if (FAILED(c.grabber->GetConnectedMediaType(&connected)))
    return c.Fail("音声が含まれていないか、オーディオフォーマットの取得に失敗しました。");
  WAVEFORMATEX wf{};
  if (connected.formattype != FORMAT_WaveFormatEx || !connected.GetWaveFormat(&wf))
    return c.Fail("サポート外のストリームフォーマットです。");
  if (wf.wFormatTag != WAVE_FORMAT_PCM || wf.nChannels == 0 || wf.nBlockAlign == 0)
    return c.Fail("サポート外のオーディオフォーマットです。");
  WAVEFORMATEX& out = r->outFormat;
  out = WAVEFORMATEX{};
  out.wFormatTag = wf.wFormatTag;
  out.nChannels = wf.nChannels;
  out.nSamplesPerSec = wf.nSamplesPerSec;
  out.nBlockAlign = wf.nBlockAlign;
  out.nAvgBytesPerSec = uint32_t(wf.nBlockAlign) * wf.nSamplesPerSec;
  out.wBitsPerSample = uint16_t(wf.nBlockAlign * 8 / wf.nChannels);
  out.cbSize = 0;
  if (!AudioFormatPlayable(out)) return c.Fail("サポート外のオーディオフォーマットです。");

  // 14, 15: the callback and its first buffer.
  if (FAILED(c.grabber->SetCallback(MP3GrabberCallback, r))) return c.Fail("コールバック関数を設定できません");
  r->pcm = static_cast<uint8_t*>(TK_MALLOC(kPcmStep));
  if (!r->pcm) return c.Fail("PCMデータを格納するメモリ領域の確保に失敗しました");
  r->pcmCapacity = kPcmStep;
  r->pcmSize = 0;

  // 16: run without a clock, as fast as it goes.
  c.mediaFilter = c.graph.As<IMediaFilter>();
  if (!c.mediaFilter) return c.Fail("IMediaFilter の取得に失敗しました");
  c.mediaFilter->SetSyncSource(nullptr);
  c.control = c.graph.As<IMediaControl>();
  if (!c.control) return c.Fail("IMediaControl の取得に失敗しました");
  c.event = c.graph.As<IMediaEvent>();
  if (!c.event) return c.Fail("IMediaEvent の取得に失敗しました");
  if (FAILED(c.control->Run())) return c.Fail("MP3変換の途中でエラーが発生しました");

  // 17: until the end, or the program's.
  for (;;) {
    if (PumpOnce() != 0) return c.Fail("MP3変換の途中でソフトが終了しました");
    int32_t code = 0;
    c.event->WaitForCompletion(kCompletionWaitMs, &code);
    if (code == EC_COMPLETE) break;
    if (code == EC_ERRORABORT || code == EC_USERABORT) {
      c.Fail("MP3変換の途中でエラーが発生しました");
      LogAbortCause(c.event.Get());
      return -1;
    }
  }
  c.control->Stop();

  // 18, 19.
  if (!r->pcm) return c.Fail("PCMデータを格納するメモリ領域の再確保に失敗しました");
  r->kind = SOUNDCONV_KIND_MEMORY;
  r->pcmOffset = 0;
  r->blockSize = out.nAvgBytesPerSec;
  return 0;
}
