// Movie handles: open, the frame clock, play, pause, focus changes, frame callbacks and close.
#include "engine/sound/movie/movie.h"

#include <cmath>
#include <cstdio>

#include "engine/sound/movie/movie_media.h"
#include "engine/sound/movie/theora_decode.h"
#include "platform/media/media.h"
#include "platform/media/picture_memory.h"

namespace {

constexpr int kFrameStock = 10;

struct MovieSystemState {
  HandleManager movies;
};

MovieSystemState MovieSystem;

// Runs under the movie handle lock (platform/media/media_base.h), which no graph thread takes: the
// graph may stop and join its threads here.
int DeleteMovieHandle(HandleHeader* header) {
  auto* m = reinterpret_cast<MovieHandleRecord*>(header);
  const bool mediaGraph = !m->theoraFlag;  // its open went to the media framework
  if (m->theoraFlag) {
    if (m->decoder) TheoraDecode_Close(m->decoder);
    if (m->fileStream) FileAccessClose(m->fileStream);
    if (m->soundHandle != -1) DeleteSoundMem(m->soundHandle);
    m->decoder = nullptr;
    m->fileStream = 0;
    m->soundHandle = -1;
    m->theoraFlag = 0;
  }
  // The graph and its threads go before the file they read and the pixels they fill.
  ReleaseMovieGraph(m);
  if (mediaGraph) EndMoviePictures();
  if (m->temporaryFileFlag) {
    std::remove(m->temporaryPath);
    m->temporaryFileFlag = 0;
  }
  if (!m->frameBaseBorrowed && m->frameBase.Pixels) ReleaseBaseImage(&m->frameBase);
  m->frameImage = nullptr;
  return 0;
}

bool Loops(int playType) { return (playType & 2) != 0; }

// The frame shown t microseconds after frame 0; 64-bit, so long movies keep their place.
int64_t FrameAt(int64_t t, double fps) {
  const double w = double(t) * fps / 1000000.0;
  if (!(w > 0.0)) return 0;
  if (w >= 9.0e18) return INT64_MAX;
  return int64_t(w);
}

void UpdateTheoraClock(MovieHandleRecord* m) {
  TheoraMovieInfo info;
  TheoraDecode_GetInfo(m->decoder, &info);
  const int64_t total = info.totalFrames;
  const bool withSound = m->soundHandle != -1;
  const bool loops = Loops(m->playType);
  bool stop = false;
  int64_t t, w;
  if (withSound) {
    // The position first: a sound that ends between the two reads then shows its end next time.
    const int ms = GetSoundCurrentTime(m->soundHandle);
    const bool playing = IsSoundMemPlaying(m->soundHandle) == 1;
    // A paused or stopped sound keeps its place; one that has played to its end is wound back to
    // its start. That end, and only that, holds a movie that does not loop on its last frame.
    const bool ended = !playing && ms == 0 && m->soundTime > 0;
    if (playing) m->soundTime = ms;
    t = int64_t(ms) * 1000;
    w = FrameAt(t, info.frameRate);
    if (w >= total) w = total - 1;
    if (ended && !loops) {
      w = total - 1;
      stop = true;
    }
  } else {
    t = GetMicrosecondCount() - m->startTime;
    w = FrameAt(t, info.frameRate);
    if (w >= total) w = loops ? w % total : total - 1;
  }
  const int64_t current = TheoraDecode_GetCurrentFrame(m->decoder);
  if (w == current) {
    if (w == total - 1 && !loops && !withSound) stop = true;
  } else {
    TheoraDecode_AdvanceFrame(m->decoder, w > current ? w - current : total - current + w);
    m->lastFrameTime = (withSound ? t : GetMicrosecondCount()) / 1000;
  }
  if (stop) {
    m->playState = 0;
    m->pausedFlag = 1;
  }
}

}  // namespace

int InitMovieManage() {
  if (MovieSystem.movies.initialized) return -1;
  return InitHandleManager(&MovieSystem.movies, HandleType::Movie, sizeof(MovieHandleRecord), MOVIE_MAX_COUNT,
                           nullptr, DeleteMovieHandle, "ムービー");
}

int TerminateMovieManage() {
  if (!MovieSystem.movies.initialized) return -1;
  TermHandleManager(&MovieSystem.movies);
  return 0;
}

void EndMoviesForExit() {
  TerminateMovieManage();
  StopMediaGraphs();
}

int CheckMovieManagerInit() { return MovieSystem.movies.initialized ? 0 : -1; }

MovieHandleRecord* GetMovieHandleRecord(int handle) {
  HandleHeader* h = GetHandleRecord(&MovieSystem.movies, handle);
  if (!h || h->asyncLoadCount.load() != 0) return nullptr;
  return reinterpret_cast<MovieHandleRecord*>(h);
}

int OpenMovie(const int* paramBlock, const char* path, int* width, int* height, int mode, int fromLoadingThread) {
  if (!MovieSystem.movies.initialized || !path) return -1;
  const int handle = AddHandle(&MovieSystem.movies, -1);
  if (handle == -1) return -1;
  MovieHandleRecord* m = GetMovieHandleRecord(handle);
  m->soundHandle = -1;
  m->halfWidthFlag = paramBlock ? paramBlock[0] : 0;

  // The decoder gets the stream only when the file could be opened.
  if (StreamHandle stream = FileAccessOpen(path, 0, 1, 0)) {
    m->decoder = TheoraDecode_Open(GetFileAccessTable(), stream, kFrameStock, fromLoadingThread);
    if (m->decoder) {
      m->fileStream = stream;
    } else {
      FileAccessClose(stream);
    }
  }
  if (m->decoder) {
    SoundLoadSettings settings;
    GetSoundLoadSettings(&settings);
    settings.dataType = 3;
    settings.decoderMask = -5;  // Ogg Vorbis only, no media graph
    settings.vorbisLayer = 1;
    m->soundHandle = LoadSoundMemBase(&settings, path, 1, -1, 0, fromLoadingThread);
    TheoraMovieInfo info;
    TheoraDecode_GetInfo(m->decoder, &info);
    m->width = info.width;
    m->height = info.height;
    if (width) *width = info.width;
    if (height) *height = info.height;
    m->theoraFlag = 1;
    m->frameImage = TheoraDecode_GetBaseImage(m->decoder);
  } else {
    m->temporaryFileFlag = 0;
    BeginMoviePictures();
    if (OpenMovie_MediaGraph(m, path, width, height) != 0) {
      LogPrint("ムービーファイルオープン処理時にエラーが発生しました");
      SubHandle(&MovieSystem.movies, handle);
      return -1;
    }
    m->frameImage = &m->frameBase;
  }
  m->pausedFlag = 1;
  m->playType = PlayType::Background;
  m->playState = 0;
  return handle;
}

int SetMovieFrameCallback(int handle, MovieFrameCallback callback, intptr_t data) {
  MovieHandleRecord* m = GetMovieHandleRecord(handle);
  if (!m) return -1;
  m->callback = callback;
  m->callbackData = data;
  return 0;
}

int UpdateMovie(int handle, int) {
  MovieHandleRecord* m = GetMovieHandleRecord(handle);
  if (!m) return -1;
  if (m->theoraFlag) {
    if (!m->pausedFlag) UpdateTheoraClock(m);
    if (m->callback) {
      m->callback(m, m->callbackData);
      m->frameUpdated = 1;
    }
  } else {
    UpdateMovie_MediaGraph(m);
  }
  return 0;
}

int PlayMovie(int handle, int playType, int resumeOnly) {
  MovieHandleRecord* m = GetMovieHandleRecord(handle);
  if (!m) return -1;
  if (playType == -1) playType = m->playType;
  if (playType == 0) playType = PlayType::Background;
  if (!m->pausedFlag || (resumeOnly && m->playState != 1)) return 0;
  if (m->theoraFlag) {
    TheoraMovieInfo info;
    TheoraDecode_GetInfo(m->decoder, &info);
    // The clock resumes at the current frame: its start rounded up, since one microsecond short of
    // it reads as the frame before and the movie would go all the way round to reach it.
    const double shown = 1000000.0 / info.frameRate * double(TheoraDecode_GetCurrentFrame(m->decoder));
    m->startTime = GetMicrosecondCount() - int64_t(std::ceil(shown));
    if (m->soundHandle != -1) {
      PlaySoundMem(m->soundHandle, playType, 0);
      m->soundTime = GetSoundCurrentTime(m->soundHandle);
    }
  } else {
    PlayMovie_MediaGraph(m);
  }
  m->pausedFlag = 0;
  m->playType = playType;
  m->playState = 1;
  return 0;
}

int PauseMovie(int handle, int keepState) {
  MovieHandleRecord* m = GetMovieHandleRecord(handle);
  if (!m) return -1;
  if (m->pausedFlag) return 0;
  if (m->theoraFlag) {
    if (m->soundHandle != -1) StopSoundMem(m->soundHandle);
    UpdateMovie(handle);
  } else {
    PauseMovie_MediaGraph(m);
  }
  m->pausedFlag = 1;
  if (!keepState) m->playState = 0;
  return 0;
}

namespace {

// Every movie handle, lowest index first.
template <typename F>
int ForEachMovie(F&& f) {
  HandleManager* movies = &MovieSystem.movies;
  if (!movies->initialized) return -1;
  for (int i = 0; i < movies->maxCount; ++i) {
    HandleHeader* h = movies->table[i];
    if (h) f(h->handle);
  }
  return 0;
}

}  // namespace

int PauseMovieAll() {
  return ForEachMovie([](int handle) { PauseMovie(handle, 1); });
}

int ResumeMovieAll() {
  return ForEachMovie([](int handle) { PlayMovie(handle, -1, 1); });
}

int CloseMovie(int handle) { return SubHandle(&MovieSystem.movies, handle); }

int SetMovieSurfaceLost(int handle) {
  MovieHandleRecord* m = GetMovieHandleRecord(handle);
  if (!m) return -1;
  if (m->theoraFlag) TheoraDecode_SetSurfaceLost(m->decoder);
  return 0;
}

int GetMovieGraphLoadParam(int* param) {
  if (param) *param = 0;
  return 0;
}
