// Platform layer: the media framework's built-in source, parser and decoders, over FFmpeg. The
// source opens a file (or bytes in memory), the parser a byte stream pulled from a reader; each
// gives one output pin per audio and video stream it can decode, and seeks; the decoders give
// video in the subtypes video renderers take (anything else as RGB32) and sound as 16-bit PCM of
// at most two channels.
// This folder holds those filters and their FFmpeg helpers; it calls FFmpeg and the framework's
// base classes in platform/media, nothing of the engine.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/media/media.h"

constexpr CLSID CLSID_MediaFileSource = MakeGuid("c41e7a20-5b3d-4f19-9e8a-2d6b0f4c7a31");
constexpr CLSID CLSID_MediaVideoDecoder = MakeGuid("c41e7a21-5b3d-4f19-9e8a-2d6b0f4c7a31");
constexpr CLSID CLSID_MediaAudioDecoder = MakeGuid("c41e7a22-5b3d-4f19-9e8a-2d6b0f4c7a31");
// Parses a byte stream pulled from an asynchronous reader (MEDIATYPE_Stream of any subtype).
constexpr CLSID CLSID_MediaParser = MakeGuid("c41e7a23-5b3d-4f19-9e8a-2d6b0f4c7a31");

// The format of a compressed stream between the source and a decoder (our own record).
constexpr GUID FORMAT_CodecParameters = MakeGuid("c41e7a2f-5b3d-4f19-9e8a-2d6b0f4c7a31");

// A source over bytes that stay alive and unchanged as long as the filter (fuzzing, tests).
// S_OK with the filter holding one reference, or the reason the bytes cannot be played.
HRESULT CreateMemoryMediaSource(const uint8_t* data, size_t size, IBaseFilter** filter);

// The source, the parser and the two decoders, for BuiltinFilters().
std::vector<FilterRegistration> FFmpegFilterRegistrations();
