// Tamrak engine: movie handles. A movie plays into an image that a graph shows; Ogg Theora files
// play through the engine's own decoder, anything else through the media framework.
// This folder holds the movie handles, the Theora decoder and the movie renderer; it calls the
// sound, system and drawing parts of the engine, libtheora and platform/media.
#pragma once

#include <cstdint>

#include "engine/draw/baseimage.h"
#include "engine/sound/sound.h"
#include "engine/system/system.h"

struct TheoraDecodeRecord;
struct MovieHandleRecord;

using MovieFrameCallback = void (*)(MovieHandleRecord* movie, intptr_t data);

constexpr int MOVIE_MAX_COUNT = 100;

struct MovieHandleRecord {
  HandleHeader header;
  int playType;  // a type with the bit of value 2 set loops
  int theoraFlag;
  TheoraDecodeRecord* decoder;
  int64_t startTime;  // microseconds: when frame 0 would have been shown (movies without sound)
  StreamHandle fileStream;
  int soundHandle;  // -1 without a sound track
  int soundTime;    // ms: the sound's play position at the last update that found it playing

  // Media framework (opaque here): graph builder, media control, media seeking, basic audio, the
  // movie renderer and two interfaces released on a failed open.
  void* graphBuilder;
  void* mediaControl;
  void* mediaSeeking;
  void* basicAudio;
  void* renderer;
  void* extraInterface[2];
  int64_t duration;  // 100-nanosecond units
  int temporaryFileFlag;
  char16_t widePath[260];
  char temporaryPath[260];  // the temporary copy, deleted with the handle
  int64_t lastFrameTime;  // milliseconds
  int64_t stopPosition;   // 100-nanosecond units
  int width, height;
  int halfWidthFlag;

  int playState;    // 1 while playing, kept through a pause that is to be resumed
  int pausedFlag;   // 1 while paused or stopped
  int frameUpdated;
  BaseImage frameBase;  // media framework: the renderer's frame
  int frameBaseBorrowed;
  BaseImage* frameImage;  // what shows the movie
  MovieFrameCallback callback;
  intptr_t callbackData;
};

int CheckMovieManagerInit();
// paramBlock: its first word is the half-width flag. Handle or -1.
int OpenMovie(const int* paramBlock, const char* path, int* width, int* height, int mode, int fromLoadingThread);
MovieHandleRecord* GetMovieHandleRecord(int handle);
int SetMovieFrameCallback(int handle, MovieFrameCallback callback, intptr_t data);
int UpdateMovie(int handle, int unused = 0);
int PlayMovie(int handle, int playType = -1, int resumeOnly = 0);
int PauseMovie(int handle, int keepState = 0);
int CloseMovie(int handle);
int SetMovieSurfaceLost(int handle);
int GetMovieGraphLoadParam(int* param);

// The media-framework open: 0, or -1 after logging the step that failed.
int OpenMovie_MediaGraph(MovieHandleRecord* movie, const char* path, int* width, int* height);
// Copies a file read through the engine's file layer to a new temporary file, for players that take
// only plain paths. 0 with its path, or -1 with nothing left behind.
int CopyMovieToTemporaryFile(const char* path, char* temporaryPath, size_t temporaryPathSize);
