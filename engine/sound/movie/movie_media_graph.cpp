// Movies through the media framework: the graph that renders the file into the movie renderer, the
// temporary copy of files only the engine's file layer can read, and the frame, play, pause and
// close of such a movie.
#include <algorithm>
#include <cstdio>
#include <string>

#include "engine/sound/movie/movie.h"
#include "engine/sound/movie/movie_media.h"
#include "engine/sound/movie/movie_renderer.h"

namespace {

constexpr int64_t kDurationWhenUnknown = 166666;  // a sixtieth of a second, in 100 ns units
constexpr size_t kWidePathUnits = 260;
// How long an open waits for the first picture: a 2160p picture comes within about 0.2 s on a
// loaded machine; a stream that gives none costs no more than this.
constexpr uint32_t kFirstPictureWaitMs = 500;

IGraphBuilder* GraphOf(MovieHandleRecord* m) { return static_cast<IGraphBuilder*>(m->graphBuilder); }
IMediaControl* ControlOf(MovieHandleRecord* m) { return static_cast<IMediaControl*>(m->mediaControl); }
IMediaSeeking* SeekingOf(MovieHandleRecord* m) { return static_cast<IMediaSeeking*>(m->mediaSeeking); }
// The record keeps the renderer as its filter interface.
MovieRenderer* RendererOf(MovieHandleRecord* m) {
  return static_cast<MovieRenderer*>(static_cast<IBaseFilter*>(m->renderer));
}

template <class T>
void ReleaseField(void*& field) {
  if (field) static_cast<T*>(field)->Release();
  field = nullptr;
}

// UTF-8 to UTF-16 into the record's wide path; false when it does not fit or is not UTF-8.
bool ToWidePath(const char* path, char16_t* out) {
  std::u16string wide;
  const auto* s = reinterpret_cast<const unsigned char*>(path);
  while (*s) {
    uint32_t c = *s++;
    int more = c < 0x80 ? 0 : (c & 0xE0) == 0xC0 ? 1 : (c & 0xF0) == 0xE0 ? 2 : (c & 0xF8) == 0xF0 ? 3 : -1;
    if (more < 0) return false;
    if (more) c &= 0x3F >> more;
    for (; more > 0; --more, ++s) {
      if ((*s & 0xC0) != 0x80) return false;
      c = c << 6 | (*s & 0x3F);
    }
    if (c >= 0x10000) {
      wide += char16_t(0xD800 + ((c - 0x10000) >> 10));
      wide += char16_t(0xDC00 + ((c - 0x10000) & 0x3FF));
    } else {
      wide += char16_t(c);
    }
  }
  if (wide.size() >= kWidePathUnits) return false;
  std::copy(wide.begin(), wide.end(), out);
  out[wide.size()] = 0;
  return true;
}

// A file whose pictures do not reach the movie renderer (sound alone) is no movie.
HRESULT RenderPath(MovieHandleRecord* m, const char* path) {
  if (!ToWidePath(path, m->widePath)) return E_INVALIDARG;
  HRESULT hr = GraphOf(m)->RenderFile(m->widePath, nullptr);
  if (SUCCEEDED(hr) && !RendererOf(m)->InputPin()->IsConnected()) {
    // Leave the graph as it was: only the renderer in it.
    FilterList filters;
    GraphOf(m)->EnumFilters(&filters);
    for (auto& f : filters)
      if (f.Get() != static_cast<IBaseFilter*>(RendererOf(m))) GraphOf(m)->RemoveFilter(f.Get());
    hr = VFW_E_CANNOT_RENDER;
  }
  return hr;
}

}  // namespace

void ReleaseMovieGraph(MovieHandleRecord* m) {
  // Every streaming thread ends before the graph or anything it renders into goes.
  if (IMediaControl* control = ControlOf(m)) control->Stop();
  ReleaseField<IUnknown>(m->extraInterface[0]);
  ReleaseField<IUnknown>(m->extraInterface[1]);
  ReleaseField<IBasicAudio>(m->basicAudio);
  ReleaseField<IMediaSeeking>(m->mediaSeeking);
  ReleaseField<IMediaControl>(m->mediaControl);
  ReleaseField<IGraphBuilder>(m->graphBuilder);
  ReleaseField<IBaseFilter>(m->renderer);
  if (m->frameBaseBorrowed) {
    m->frameBase = BaseImage{};
    m->frameBaseBorrowed = 0;
  }
}

int OpenMovie_MediaGraph(MovieHandleRecord* movie, const char* path, int* width, int* height) {
  MovieHandleRecord* m = movie;
  m->playState = 0;
  m->frameUpdated = 0;
  std::string message;
  auto fail = [&](const std::string& text) {
    ReleaseMovieGraph(m);
    LogPrint(text.c_str());
    return -1;
  };

  if (FAILED(CreateMediaObject(CLSID_FilterGraph, nullptr, IID_IGraphBuilder, &m->graphBuilder)))
    return fail("CLSID_FilterGraph の作成に失敗しました\n");
  HRESULT hr = S_OK;
  MovieRenderer* renderer = CreateMovieRenderer(nullptr, &hr);
  if (!renderer) return fail("Could not add renderer filter to graph!\n");
  renderer->AddRef();
  m->renderer = static_cast<IBaseFilter*>(renderer);
  if (FAILED(GraphOf(m)->AddFilter(renderer, u"MovieRenderer"))) return fail("Could not add renderer filter to graph!\n");
  IGraphBuilder* graph = GraphOf(m);
  if (FAILED(graph->QueryInterface(IID_IBasicAudio, &m->basicAudio)))
    return fail("BasicAudio インターフェースの取得に失敗しました\n");
  if (FAILED(graph->QueryInterface(IID_IMediaControl, &m->mediaControl)))
    return fail("IID_IMediaControlインターフェイスの取得に失敗しました\n");
  if (FAILED(graph->QueryInterface(IID_IMediaSeeking, &m->mediaSeeking)))
    return fail("IID_IMediaSeekingインターフェイスの取得に失敗しました\n");

  if (FAILED(RenderPath(m, path))) {
    message = std::string("ファイル:") + path + " が開けませんでした\n";
    // Files inside the engine's archives play from a copy in the temporary folder.
    if (m->temporaryFileFlag || CopyMovieToTemporaryFile(path, m->temporaryPath, sizeof m->temporaryPath) != 0)
      return fail(message);
    m->temporaryFileFlag = 1;
    if (FAILED(RenderPath(m, m->temporaryPath))) {
      std::remove(m->temporaryPath);
      m->temporaryFileFlag = 0;
      return fail(message);
    }
  }

  int64_t duration = 0;
  SeekingOf(m)->GetDuration(&duration);
  m->duration = duration == 0 ? kDurationWhenUnknown : duration;
  SeekingOf(m)->GetStopPosition(&m->stopPosition);
  // Paused, the renderer takes the first picture and holds it, so the movie shows it before it
  // plays, and its play starts the clock with the picture ready rather than still decoding.
  ControlOf(m)->Pause();
  FilterState state;
  ControlOf(m)->GetState(kFirstPictureWaitMs, &state);
  if (width) *width = renderer->width;
  if (height) *height = renderer->height;
  return 0;
}

void UpdateMovie_MediaGraph(MovieHandleRecord* m) {
  MovieRenderer* r = RendererOf(m);
  if (r && r->TakeFrame()) {
    if (m->callback) {
      BaseImage& frame = m->frameBase;
      frame.Width = r->width;
      frame.Height = r->height;
      frame.Pitch = r->pitch;
      frame.Pixels = r->frameBuffer;
      frame.PixelsBorrowed = 1;
      m->frameBaseBorrowed = 1;
      if (r->colorType == MOVIE_COLOR_RGB24)
        MakeColorDataFull(&frame.Color);
      else
        MakeColorDataXRGB8(&frame.Color);
      m->frameImage = &frame;
      m->callback(m, m->callbackData);
    }
  }
  IMediaSeeking* seeking = SeekingOf(m);
  IMediaControl* control = ControlOf(m);
  if (!seeking || !control) return;
  // The end is where every stream the graph renders has played out, not the length the file
  // states: that may be missing, an estimate, or cover time the streams do not fill.
  ComPtr<IMediaEvent> events;
  if (FAILED(GraphOf(m)->QueryInterface(IID_IMediaEvent, events.PutVoid()))) return;
  int32_t code = 0;
  intptr_t param1 = 0, param2 = 0;
  while (SUCCEEDED(events->GetEvent(&code, &param1, &param2, 0))) events->FreeEventParams(code, param1, param2);
  if (FAILED(events->WaitForCompletion(0, &code))) return;
  if (m->playType & 2) {  // a looping type
    int64_t start = 0;
    seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning);
    control->Run();
  } else {
    m->playState = 0;
    m->pausedFlag = 1;
  }
}

void PlayMovie_MediaGraph(MovieHandleRecord* m) {
  if (IMediaControl* control = ControlOf(m)) control->Run();
}

void PauseMovie_MediaGraph(MovieHandleRecord* m) {
  if (IMediaControl* control = ControlOf(m)) control->Pause();
}

int CopyMovieToTemporaryFile(const char* path, char* temporaryPath, size_t temporaryPathSize) {
  constexpr size_t kChunk = 0x100000;
  StreamHandle file = FileAccessOpen(path, 0, 1, 0);
  if (!file) return -1;
  int64_t size = -1;
  if (FileAccessSeek(file, 0, 2) == 0) size = FileAccessTell(file);
  void* buffer = size >= 0 && FileAccessSeek(file, 0, 0) == 0 ? TK_MALLOC(kChunk) : nullptr;
  std::FILE* out = buffer ? CreateTemporaryFile(temporaryPath, temporaryPathSize) : nullptr;
  if (!out) {
    MemFree(buffer);
    FileAccessClose(file);
    return -1;
  }
  // A short read or write leaves a copy that would play as another movie: the attempt fails.
  bool whole = true;
  for (int64_t left = size; left > 0 && whole;) {
    const size_t chunk = size_t(std::min<int64_t>(left, int64_t(kChunk)));
    whole = FileAccessRead(buffer, 1, chunk, file) == chunk && std::fwrite(buffer, 1, chunk, out) == chunk;
    left -= int64_t(chunk);
  }
  if (std::fclose(out) != 0) whole = false;
  MemFree(buffer);
  FileAccessClose(file);
  if (!whole) {
    std::remove(temporaryPath);
    return -1;
  }
  return 0;
}
