// Platform layer: memory for pictures. Each block is a mapping of its own; a block given back is
// kept for the next picture of its size, so a playing movie and one graph after another reuse
// their pictures' pages, until a movie closes. Safe from any thread.
#pragma once

#include <cstddef>
#include <cstdint>

// A block of at least `bytes`, aligned to a page; null when none can be had.
uint8_t* TakePictureMemory(size_t bytes);
// Gives back a block of TakePictureMemory, with the size that was asked for.
void GivePictureMemory(uint8_t* block, size_t bytes);

// A movie is about to open. While any is open, the C library maps every block of 1 MB and more
// that any thread takes on its own, and a thread's pool gives back a free end of more than 2 MB:
// FFmpeg's threads take big blocks besides the pictures (the motion of each picture, packets),
// and a thread's pool gives its free end back only as it frees a block, never on a trim.
void BeginMoviePictures();
// A movie's graph is gone: every spare picture block is unmapped and the pools' free pages go
// back. After the last movie the C library's thresholds are its starting ones, as in a process
// that never opened a movie: blocks of 128 KB and more are mapped on their own and a pool gives
// back a free end of more than 128 KB. Its own adjustment of them stays off (setting one ends it
// for good); left on, it would rise to its highest (32 MB, 64 MB) at the first 2160p frame freed.
void EndMoviePictures();
