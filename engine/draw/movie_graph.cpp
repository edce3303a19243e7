// Graphs that show a movie: the movie's frame callback refreshes the graph's pixels.
#include "engine/d3d9/graphics.h"
#include "engine/draw/baseimage.h"
#include "engine/sound/movie/movie.h"
#include "engine/sound/movie/theora_decode.h"

namespace {

void ShowFrame(const BaseImage* frame, GraphHandleRecord* rec) {
  if (frame && frame->Pixels && frame->Width == rec->Width && frame->Height == rec->Height)
    ConvertBaseImageToMemImg(frame, &rec->SoftImage);
}

void RefreshMovieGraph(MovieHandleRecord* movie, intptr_t graph) {
  GraphHandleRecord* rec = GetGraphRecord(int(graph));
  if (!rec) return;
  // A Theora frame is converted only when it changed since the last one shown.
  if (movie->theoraFlag && TheoraDecode_ConvertFrame(movie->decoder, 1, 0, 0) == 0) return;
  ShowFrame(movie->frameImage, rec);
}

}  // namespace

int LoadMovieGraph(const char* path) {
  int param[1] = {0};
  GetMovieGraphLoadParam(&param[0]);
  int width = 0, height = 0;
  const int movie = OpenMovie(param, path, &width, &height, 0, 0);
  if (movie == -1) return -1;
  MovieHandleRecord* m = GetMovieHandleRecord(movie);
  const int graph = MakeGraphHandle(m->halfWidthFlag ? width / 2 : width, height, 0);
  if (graph == -1) {
    CloseMovie(movie);
    return -1;
  }
  GraphHandleRecord* rec = GetGraphRecord(graph);
  rec->MovieHandle = movie;
  ShowFrame(m->frameImage, rec);
  SetMovieFrameCallback(movie, RefreshMovieGraph, graph);
  return graph;
}
