// Shared by the decoders of the sound conversion.
#pragma once

#include <cstdint>

#include "engine/sound/sound_convert.h"

// Largest decoded block a conversion will allocate (one second of 8 x 32-bit channels at 192 kHz is 6 MiB).
constexpr uint32_t kMaxConvertBlockBytes = 32u << 20;

// The most PCM a whole conversion may make from a source of this many bytes: a few hundred
// bytes that claim a rate of 1 Hz must not become minutes of sound. Real codecs stay far below
// 4096 bytes of PCM a source byte (silent FLAC makes about 900).
inline uint64_t MaxPcmFromSource(uint64_t sourceBytes) { return sourceBytes * 4096 + (32u << 20); }

int64_t ConvertStreamLength(SoundConvertRecord* r);
bool ConvertReadAt(SoundConvertRecord* r, int64_t position, void* buffer, uint32_t bytes);

// Opens the main and spare streams over r->acmSrcFormat to r->outFormat; 0 or -1 (nothing left open).
int OpenAcmStreams(SoundConvertRecord* r);

int SetupMP3Convert(SoundConvertRecord* r);
// Samples of the MPEG audio frames in data[start, end), walked from the first frame sync; the walk
// ends at the first frame that does not parse or fit, or with resync looks for the next sync.
// *first and *stop bracket the frames walked; head gets the first frame.
int64_t WalkMP3Frames(const uint8_t* data, uint32_t start, uint32_t end, bool resync, uint32_t* first,
                      uint32_t* stop, MP3FrameInfo* head);

int SetupOggConvert(SoundConvertRecord* r);
int DecodeOggBlock(SoundConvertRecord* r);  // bytes in the block, 0 at the end
int SeekOggConvert(SoundConvertRecord* r, int64_t sample);
int64_t OggConvertDestSize(SoundConvertRecord* r);
void CloseOggConvert(SoundConvertRecord* r);

struct IMediaSample;
// The graph conversion's sample grabber callback: appends the sample's data to the record's PCM.
int32_t MP3GrabberCallback(IMediaSample* sample, int64_t* start, int64_t* stop, bool typeChanged, void* record);
