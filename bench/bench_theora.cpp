// Theora movies: frames decoded by the engine's decoder and converted to the 32-bit image, beside
// the same frames through libtheora alone and the conversion alone. Items are frames; the process
// is held to one core, so the decoding thread and the converting main thread share it.
#include <benchmark/benchmark.h>
#include <sched.h>

#include <vector>

#include "engine/sound/movie/theora_decode.h"
#include "moviegen.h"
#include "one_core.h"

namespace {

constexpr int kFrames = 64;

const std::vector<uint8_t>& Movie(int width) {
  static std::vector<uint8_t> movies[2];
  std::vector<uint8_t>& m = movies[width == 320 ? 0 : 1];
  if (m.empty()) {
    TestMovieSpec shape;
    shape.width = width;
    shape.height = width * 3 / 4;
    shape.frames = kFrames;
    shape.paging = MoviePaging::Many;
    m = MakeTestMovie(shape);
  }
  return m;
}

void BM_TheoraDecodeAndConvert(benchmark::State& state) {
  InitializeYUVToRGBTable();
  const std::vector<uint8_t>& movie = Movie(int(state.range(0)));
  OneCore core;
  StreamHandle stream = MemStreamOpen(movie.data(), movie.size());
  TheoraDecodeRecord* r = TheoraDecode_Open(GetMemFileAccessTable(), stream, 10, 0);
  if (!r) {
    state.SkipWithError("the movie does not open");
    return;
  }
  for (auto _ : state) {
    TheoraDecode_AdvanceFrame(r, 1);
    if (TheoraDecode_ConvertFrame(r, 1, 0, 0) != 1) state.SkipWithError("no frame");
  }
  TheoraDecode_Close(r);
  MemStreamClose(stream);
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * state.range(0) * (state.range(0) * 3 / 4) * 4);
}

// The frame packets of a movie, in order.
std::vector<std::vector<uint8_t>> FramePackets(const std::vector<uint8_t>& movie, std::vector<ogg_packet>* headers,
                                               std::vector<std::vector<uint8_t>>* headerBytes) {
  ogg_sync_state sync;
  ogg_sync_init(&sync);
  char* buffer = ogg_sync_buffer(&sync, long(movie.size()));
  std::copy(movie.begin(), movie.end(), buffer);
  ogg_sync_wrote(&sync, long(movie.size()));
  ogg_stream_state os;
  bool started = false;
  ogg_page page;
  ogg_packet op;
  std::vector<std::vector<uint8_t>> frames;
  while (ogg_sync_pageout(&sync, &page) == 1) {
    if (!started) ogg_stream_init(&os, ogg_page_serialno(&page));
    started = true;
    ogg_stream_pagein(&os, &page);
    while (ogg_stream_packetout(&os, &op) == 1) {
      std::vector<uint8_t> bytes(op.packet, op.packet + op.bytes);
      if (theora_packet_iskeyframe(&op) < 0) {
        headerBytes->push_back(bytes);
        ogg_packet h = op;
        headers->push_back(h);
      } else {
        frames.push_back(bytes);
      }
    }
  }
  if (started) ogg_stream_clear(&os);
  ogg_sync_clear(&sync);
  return frames;
}

void BM_TheoraLibraryAlone(benchmark::State& state) {
  std::vector<ogg_packet> headers;
  std::vector<std::vector<uint8_t>> headerBytes;
  auto frames = FramePackets(Movie(int(state.range(0))), &headers, &headerBytes);
  theora_info info;
  theora_comment comment;
  theora_info_init(&info);
  theora_comment_init(&comment);
  for (size_t i = 0; i < headers.size(); ++i) {
    headers[i].packet = headerBytes[i].data();
    theora_decode_header(&info, &comment, &headers[i]);
  }
  theora_state td;
  theora_decode_init(&td, &info);
  size_t next = 0;
  int64_t number = 0;
  for (auto _ : state) {
    ogg_packet op{};
    op.packet = frames[next].data();
    op.bytes = long(frames[next].size());
    op.packetno = number++;
    theora_decode_packetin(&td, &op);
    yuv_buffer yuv;
    theora_decode_YUVout(&td, &yuv);
    benchmark::DoNotOptimize(yuv.y);
    next = (next + 1) % frames.size();
  }
  theora_clear(&td);
  theora_comment_clear(&comment);
  theora_info_clear(&info);
  state.SetItemsProcessed(state.iterations());
}

void BM_TheoraConvertOnly(benchmark::State& state) {
  InitializeYUVToRGBTable();
  const int w = int(state.range(0)), h = w * 3 / 4;
  std::vector<uint8_t> y(size_t(w) * h, 120), u(size_t(w / 2) * (h / 2), 90), v(u.size(), 170);
  for (size_t i = 0; i < y.size(); ++i) y[i] = uint8_t(i * 7);
  const TheoraPlanes planes{y.data(), u.data(), v.data(), w, h, w, w / 2, h / 2, w / 2};
  BaseImage image;
  MakeBaseImageXRGB8(w, h, &image);
  for (auto _ : state) {
    TheoraDecode_PlanesToImage(planes, &image);
    benchmark::ClobberMemory();
  }
  ReleaseBaseImage(&image);
  state.SetItemsProcessed(state.iterations());
  state.SetBytesProcessed(state.iterations() * w * h * 4);
}

}  // namespace

BENCHMARK(BM_TheoraDecodeAndConvert)->Arg(320)->Arg(640)->UseRealTime();
BENCHMARK(BM_TheoraLibraryAlone)->Arg(320)->Arg(640);
BENCHMARK(BM_TheoraConvertOnly)->Arg(320)->Arg(640);
