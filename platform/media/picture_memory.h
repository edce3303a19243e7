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

// A movie is about to open. Until the matching EndMoviePictures, the C library maps every block
// of 1 MB and more that any thread takes on its own, and a thread's pool gives back a free end
// of more than 2 MB: FFmpeg's threads take big blocks besides the pictures (the motion of each
// picture, packets), and the pools would keep them after the movie.
void BeginMoviePictures();
// A movie's graph is gone: every spare picture block is unmapped and the pools' free pages go
// back. After the last movie the C library keeps big blocks in its pools again, as its own
// adjustment would at its highest.
void EndMoviePictures();
