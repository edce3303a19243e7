// Movie handles: the media-framework side of a movie (movie_media_graph.cpp), for movie.cpp.
#pragma once

#include "engine/sound/movie/movie.h"

// Stops the graph (joining its threads), then releases it, its interfaces and the renderer.
void ReleaseMovieGraph(MovieHandleRecord* movie);
// A new frame into the frame image and its callback; loops or stops at the stop position.
void UpdateMovie_MediaGraph(MovieHandleRecord* movie);
void PlayMovie_MediaGraph(MovieHandleRecord* movie);
void PauseMovie_MediaGraph(MovieHandleRecord* movie);
