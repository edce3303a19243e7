// ".pttune": the music library's text score, and the synthesiser that renders it.
//
//   # a comment runs to the end of the line (a '#' inside a word is a sharp)
//   tempo 132                 beats per minute (20..400)
//   steps 4                   steps per beat (1..16); a step is the unit of every length
//   voice NAME WAVE VOL A D S R
//                             WAVE: square, pulse (25% duty), triangle, saw, noise
//                             VOL 0..1; attack, decay, release in milliseconds; sustain 0..1
//   NAME: tokens...           appends to the voice; a voice may take many such lines
//
// Tokens, each one step long unless it carries ":N" (N steps):
//   C4 F#3 Bb2 ...            a note (octave 0..8; A4 is 440 Hz); for noise the pitch sets the colour
//   .                         a rest
//   [ ... ]xN                 the group, N times (groups nest)
//
// The tune lasts as long as its longest voice; a looping tune starts over from step 0.
// Limits: 64 voices, 2^20 notes and rests (repeats expanded), 64 notes sounding at once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pttune {

enum class Wave { Square, Pulse, Triangle, Saw, Noise };

struct Note {
  int32_t startStep;
  int32_t lengthSteps;
  double frequency;  // 0 for a rest (rests are not stored)
};

struct Voice {
  std::string name;
  Wave wave = Wave::Square;
  double volume = 0.5;
  double attackMs = 5, decayMs = 60, sustain = 0.6, releaseMs = 40;
  std::vector<Note> notes;  // in order of start
  int32_t lengthSteps = 0;
};

struct Tune {
  double tempo = 120;
  int stepsPerBeat = 4;
  std::vector<Voice> voices;
  int32_t lengthSteps = 0;

  double SecondsPerStep() const { return 60.0 / (tempo * stepsPerBeat); }
};

// Parses a score; on failure returns false and writes "line N: reason" to error.
bool Parse(const std::string& text, Tune* out, std::string* error);
bool LoadFile(const char* path, Tune* out, std::string* error);

// Renders a tune into 16-bit mono samples at a given rate, from any position.
class Renderer {
 public:
  void Start(const Tune* tune, int sampleRate, bool loop, int64_t startSample = 0);
  void Stop();
  // Adds nothing and returns false once a non-looping tune has ended (or none is set).
  bool Render(float* out, int frames);
  bool playing() const { return tune_ != nullptr; }
  int64_t position() const { return position_; }
  int sampleRate() const { return rate_; }

 private:
  float VoiceSample(size_t voice, int64_t sample);

  const Tune* tune_ = nullptr;
  int rate_ = 44100;
  bool loop_ = true;
  int64_t position_ = 0;
  int64_t lengthSamples_ = 0;
  struct Cursor {
    size_t next = 0;               // first note not yet started
    std::vector<size_t> sounding;  // started notes still in their release, in start order
  };
  std::vector<Cursor> cursor_;  // per voice
  uint32_t noise_ = 0x12345678u;
};

}  // namespace pttune
