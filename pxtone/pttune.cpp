#include "pxtone/pttune.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace pttune {
namespace {

constexpr int32_t kMaxSteps = 1 << 22;       // the longest voice, in steps
constexpr size_t kMaxTuneItems = 1 << 20;     // notes and rests of the whole tune, repeats expanded
constexpr size_t kMaxVoices = 64;
constexpr int kMaxSoundingNotes = 64;         // notes sounding at once, releases included

struct Item {
  double frequency;  // 0 rest
  int32_t steps;
};

bool ParseInt(const std::string& s, long lo, long hi, long* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  long v = std::strtol(s.c_str(), &end, 10);
  if (*end != '\0' || v < lo || v > hi) return false;
  *out = v;
  return true;
}

bool ParseDouble(const std::string& s, double lo, double hi, double* out) {
  if (s.empty()) return false;
  char* end = nullptr;
  double v = std::strtod(s.c_str(), &end);
  if (*end != '\0' || !(v >= lo && v <= hi)) return false;
  *out = v;
  return true;
}

bool ParseWave(const std::string& s, Wave* out) {
  static const struct { const char* name; Wave wave; } kWaves[] = {
      {"square", Wave::Square}, {"pulse", Wave::Pulse}, {"triangle", Wave::Triangle},
      {"saw", Wave::Saw},       {"noise", Wave::Noise},
  };
  for (const auto& w : kWaves) {
    if (s == w.name) {
      *out = w.wave;
      return true;
    }
  }
  return false;
}

// "C#4", "Bb2:3", ".", ".:8"
bool ParseNote(const std::string& token, Item* out) {
  std::string body = token;
  long steps = 1;
  size_t colon = token.find(':');
  if (colon != std::string::npos) {
    body = token.substr(0, colon);
    if (!ParseInt(token.substr(colon + 1), 1, 4096, &steps)) return false;
  }
  out->steps = static_cast<int32_t>(steps);
  if (body == ".") {
    out->frequency = 0;
    return true;
  }
  if (body.size() < 2) return false;
  static const int kSemitone[7] = {9, 11, 0, 2, 4, 5, 7};  // A B C D E F G
  char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(body[0])));
  if (letter < 'A' || letter > 'G') return false;
  int semitone = kSemitone[letter - 'A'];
  size_t i = 1;
  if (body[i] == '#') {
    ++semitone;
    ++i;
  } else if (body[i] == 'b') {
    --semitone;
    ++i;
  }
  long octave = 0;
  if (!ParseInt(body.substr(i), 0, 8, &octave)) return false;
  int midi = 12 * (static_cast<int>(octave) + 1) + semitone;
  out->frequency = 440.0 * std::pow(2.0, (midi - 69) / 12.0);
  return true;
}

// Expands one line of tokens, repeats included, into at most `budget` items.
bool ExpandTokens(const std::vector<std::string>& tokens, size_t budget, std::vector<Item>* out, std::string* why) {
  std::vector<size_t> groupStart;
  for (const std::string& t : tokens) {
    if (t == "[") {
      groupStart.push_back(out->size());
      continue;
    }
    if (t[0] == ']') {
      if (groupStart.empty()) {
        *why = "']' without '['";
        return false;
      }
      long times = 1;
      if (t.size() > 1 && (t[1] != 'x' || !ParseInt(t.substr(2), 1, 1024, &times))) {
        *why = "bad repeat '" + t + "'";
        return false;
      }
      size_t start = groupStart.back();
      groupStart.pop_back();
      std::vector<Item> group(out->begin() + static_cast<long>(start), out->end());
      if (group.size() * static_cast<size_t>(times - 1) > budget - out->size()) {
        *why = "tune too long";
        return false;
      }
      for (long k = 1; k < times; ++k) out->insert(out->end(), group.begin(), group.end());
      continue;
    }
    Item item;
    if (!ParseNote(t, &item)) {
      *why = "bad note '" + t + "'";
      return false;
    }
    if (out->size() >= budget) {
      *why = "tune too long";
      return false;
    }
    out->push_back(item);
  }
  if (!groupStart.empty()) {
    *why = "'[' without ']'";
    return false;
  }
  return true;
}

// The most notes of the tune that sound at once, a note sounding until its release ends.
int MostNotesAtOnce(const Tune& tune) {
  std::vector<std::pair<double, int>> edges;  // time, +1 start or -1 end; ends sort first
  for (const Voice& v : tune.voices) {
    for (const Note& n : v.notes) {
      edges.push_back({n.startStep * tune.SecondsPerStep(), 1});
      edges.push_back({(n.startStep + n.lengthSteps) * tune.SecondsPerStep() + v.releaseMs / 1000.0, -1});
    }
  }
  std::sort(edges.begin(), edges.end());
  int now = 0, most = 0;
  for (const auto& e : edges) most = std::max(most, now += e.second);
  return most;
}

}  // namespace

bool Parse(const std::string& text, Tune* out, std::string* error) {
  Tune tune;
  std::istringstream in(text);
  std::string line;
  int lineNumber = 0;
  size_t tuneItems = 0;
  auto fail = [&](const std::string& why) {
    if (error) *error = "line " + std::to_string(lineNumber) + ": " + why;
    return false;
  };
  while (std::getline(in, line)) {
    ++lineNumber;
    // A comment starts at a '#' that begins a word; elsewhere '#' is a sharp.
    for (size_t i = 0; i < line.size(); ++i) {
      if (line[i] == '#' && (i == 0 || std::isspace(static_cast<unsigned char>(line[i - 1])))) {
        line.resize(i);
        break;
      }
    }
    std::istringstream words(line);
    std::vector<std::string> tokens;
    for (std::string w; words >> w;) tokens.push_back(w);
    if (tokens.empty()) continue;
    const std::string& head = tokens[0];
    if (head == "tempo") {
      if (tokens.size() != 2 || !ParseDouble(tokens[1], 20, 400, &tune.tempo)) return fail("bad tempo");
    } else if (head == "steps") {
      long steps = 0;
      if (tokens.size() != 2 || !ParseInt(tokens[1], 1, 16, &steps)) return fail("bad steps");
      tune.stepsPerBeat = static_cast<int>(steps);
    } else if (head == "voice") {
      Voice v;
      if (tokens.size() != 8) return fail("voice needs NAME WAVE VOL A D S R");
      v.name = tokens[1];
      if (!ParseWave(tokens[2], &v.wave)) return fail("bad wave '" + tokens[2] + "'");
      if (!ParseDouble(tokens[3], 0, 1, &v.volume) || !ParseDouble(tokens[4], 0, 10000, &v.attackMs) ||
          !ParseDouble(tokens[5], 0, 10000, &v.decayMs) || !ParseDouble(tokens[6], 0, 1, &v.sustain) ||
          !ParseDouble(tokens[7], 0, 10000, &v.releaseMs))
        return fail("bad voice numbers");
      for (const Voice& other : tune.voices)
        if (other.name == v.name) return fail("voice '" + v.name + "' defined twice");
      if (tune.voices.size() >= kMaxVoices) return fail("too many voices");
      tune.voices.push_back(v);
    } else if (head.size() > 1 && head.back() == ':') {
      std::string name = head.substr(0, head.size() - 1);
      Voice* voice = nullptr;
      for (Voice& v : tune.voices)
        if (v.name == name) voice = &v;
      if (!voice) return fail("unknown voice '" + name + "'");
      std::vector<Item> items;
      std::string why;
      if (!ExpandTokens(std::vector<std::string>(tokens.begin() + 1, tokens.end()), kMaxTuneItems - tuneItems,
                        &items, &why))
        return fail(why);
      tuneItems += items.size();
      for (const Item& item : items) {
        if (voice->lengthSteps > kMaxSteps - item.steps) return fail("tune too long");
        if (item.frequency > 0) voice->notes.push_back({voice->lengthSteps, item.steps, item.frequency});
        voice->lengthSteps += item.steps;
      }
    } else {
      return fail("unknown word '" + head + "'");
    }
  }
  for (const Voice& v : tune.voices)
    if (v.lengthSteps > tune.lengthSteps) tune.lengthSteps = v.lengthSteps;
  lineNumber = 0;
  if (tune.lengthSteps == 0) return fail("the tune has no notes");
  // Rendering costs a little for every note sounding.
  if (MostNotesAtOnce(tune) > kMaxSoundingNotes) return fail("too many notes at once");
  *out = std::move(tune);
  return true;
}

bool LoadFile(const char* path, Tune* out, std::string* error) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    if (error) *error = std::string("cannot open ") + path;
    return false;
  }
  std::ostringstream text;
  text << file.rdbuf();
  return Parse(text.str(), out, error);
}

void Renderer::Start(const Tune* tune, int sampleRate, bool loop, int64_t startSample) {
  tune_ = tune;
  rate_ = sampleRate;
  loop_ = loop;
  lengthSamples_ = static_cast<int64_t>(std::ceil(tune->lengthSteps * tune->SecondsPerStep() * sampleRate));
  if (lengthSamples_ < 1) lengthSamples_ = 1;
  position_ = startSample >= 0 && startSample < lengthSamples_ ? startSample : 0;
  cursor_.assign(tune->voices.size(), Cursor{});
}

void Renderer::Stop() { tune_ = nullptr; }

namespace {

double Envelope(const Voice& v, double t) {
  double a = v.attackMs / 1000.0, d = v.decayMs / 1000.0;
  if (t < a) return t / a;
  if (t < a + d) return 1.0 - (1.0 - v.sustain) * (t - a) / d;
  return v.sustain;
}

uint32_t Hash(uint64_t x) {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdull;
  x ^= x >> 33;
  return static_cast<uint32_t>(x);
}

}  // namespace

float Renderer::VoiceSample(size_t index, int64_t sample) {
  const Voice& v = tune_->voices[index];
  const double sps = tune_->SecondsPerStep();
  const double t = static_cast<double>(sample) / rate_;
  const double release = v.releaseMs / 1000.0;
  Cursor& cur = cursor_[index];
  while (cur.next < v.notes.size() && v.notes[cur.next].startStep * sps <= t) cur.sounding.push_back(cur.next++);
  // A note whose release has ended stays silent: it leaves the list, which keeps start order.
  auto ended = [&](size_t i) {
    const Note& n = v.notes[i];
    const double held = n.lengthSteps * sps, el = t - n.startStep * sps;
    return el >= held && el - held >= release;
  };
  cur.sounding.erase(std::remove_if(cur.sounding.begin(), cur.sounding.end(), ended), cur.sounding.end());
  double sum = 0;
  for (size_t i : cur.sounding) {
    const Note& n = v.notes[i];
    double held = n.lengthSteps * sps;
    double el = t - n.startStep * sps;
    double env;
    if (el < held) {
      env = Envelope(v, el);
    } else {
      double rel = el - held;
      if (rel >= release) continue;
      env = Envelope(v, held) * (1.0 - rel / release);
    }
    double cycles = el * n.frequency;
    double phase = cycles - std::floor(cycles);
    double osc;
    switch (v.wave) {
      case Wave::Square: osc = phase < 0.5 ? 1.0 : -1.0; break;
      case Wave::Pulse: osc = phase < 0.25 ? 1.0 : -1.0; break;
      case Wave::Triangle: osc = 4.0 * std::fabs(phase - 0.5) - 1.0; break;
      case Wave::Saw: osc = 2.0 * phase - 1.0; break;
      case Wave::Noise:
      default: {
        // Sample-and-hold noise whose rate follows the pitch: a higher note is a brighter hiss.
        uint64_t step = static_cast<uint64_t>(cycles * 8.0);
        osc = (Hash(step * 2654435761u + index) & 0xFFFF) / 32767.5 - 1.0;
        break;
      }
    }
    sum += osc * env * v.volume;
  }
  return static_cast<float>(sum);
}

bool Renderer::Render(float* out, int frames) {
  for (int i = 0; i < frames; ++i) {
    if (!tune_) return false;
    if (position_ >= lengthSamples_) {
      if (!loop_) {
        tune_ = nullptr;
        return false;
      }
      position_ = 0;
      cursor_.assign(cursor_.size(), Cursor{});
    }
    float s = 0;
    for (size_t v = 0; v < tune_->voices.size(); ++v) s += VoiceSample(v, position_);
    out[i] += s;
    ++position_;
  }
  return tune_ != nullptr;
}

}  // namespace pttune
