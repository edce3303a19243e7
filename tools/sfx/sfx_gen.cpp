// Synthesises the game's 31 sound effects and writes them as Ogg Vorbis files.
//   sfx_gen OUTPUT_FOLDER
// Output is the same bytes on every run: fixed stream serials, no clock, no random seed.
//
// Levels: every effect is brought to an RMS of -23 dBFS over the whole file, a little
// above the tunes (-25 dBFS), unless that would lift its peak past -6 dBFS; the peak is
// measured on the decoded file, since lossy coding raises it.
#include <vorbis/vorbisfile.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "oggenc.h"

namespace {

constexpr int kRate = 22050;
constexpr double kPi = 3.14159265358979323846;
constexpr double kTargetRms = 0.0708;  // -23 dBFS
constexpr int kPeakLimit = 16384;       // -6 dBFS in 16-bit samples, after decoding
constexpr double kPeakAim = 0.47;       // before coding, leaving room for the codec's overshoot

enum class Wave { Sine, Square, Triangle, Saw, Noise };

// One voice of an effect: a tone or noise whose pitch glides exponentially from f0 to f1.
struct Layer {
  Wave wave;
  double start, length;  // seconds
  double f0, f1;         // Hz (noise: how often the noise takes a new value)
  double volume;
  double attack = 0.003;  // seconds
  double decay = 1.0;     // 1 = linear fade to the end; above 1 dies away faster
  double vibrato = 0;     // depth as a fraction of the pitch, at 12 Hz
};

struct Effect {
  const char* name;
  std::vector<Layer> layers;
};

uint32_t Hash(uint64_t x) {
  x ^= x >> 33;
  x *= 0xff51afd7ed558ccdull;
  x ^= x >> 33;
  x *= 0xc4ceb9fe1a85ec53ull;
  x ^= x >> 33;
  return static_cast<uint32_t>(x);
}

std::vector<float> Render(const Effect& e, unsigned seed) {
  double total = 0;
  for (const Layer& l : e.layers) total = std::max(total, l.start + l.length);
  std::vector<float> out(static_cast<size_t>(total * kRate) + 1, 0.0f);
  unsigned layerIndex = 0;
  for (const Layer& l : e.layers) {
    double phase = 0;
    size_t first = static_cast<size_t>(l.start * kRate);
    size_t count = static_cast<size_t>(l.length * kRate);
    for (size_t i = 0; i < count && first + i < out.size(); ++i) {
      double t = static_cast<double>(i) / kRate;
      double u = t / l.length;
      double f = l.f0 * std::pow(l.f1 / l.f0, u);
      if (l.vibrato > 0) f *= 1.0 + l.vibrato * std::sin(2 * kPi * 12 * t);
      phase += f / kRate;
      double p = phase - std::floor(phase);
      double s;
      switch (l.wave) {
        case Wave::Sine: s = std::sin(2 * kPi * p); break;
        case Wave::Square: s = p < 0.5 ? 0.7 : -0.7; break;
        case Wave::Triangle: s = 4 * std::fabs(p - 0.5) - 1; break;
        case Wave::Saw: s = (2 * p - 1) * 0.7; break;
        case Wave::Noise:
        default:
          s = (Hash((static_cast<uint64_t>(phase) << 8) ^ (seed * 131u + layerIndex)) & 0xFFFF) / 32767.5 - 1;
          break;
      }
      double env = t < l.attack ? t / l.attack : std::pow(1.0 - u, l.decay);
      out[first + i] += static_cast<float>(s * env * l.volume);
    }
    ++layerIndex;
  }
  return out;
}

double Rms(const std::vector<float>& pcm) {
  double sum = 0;
  for (float s : pcm) sum += static_cast<double>(s) * s;
  return pcm.empty() ? 0 : std::sqrt(sum / static_cast<double>(pcm.size()));
}

double Peak(const std::vector<float>& pcm) {
  double peak = 0;
  for (float s : pcm) peak = std::max(peak, std::fabs(static_cast<double>(s)));
  return peak;
}

using Bytes = std::vector<uint8_t>;

// Reads the encoded bytes back as the game's decoder does (16-bit); the largest magnitude, or -1.
struct MemoryFile {
  const Bytes* bytes;
  size_t at;
};

size_t ReadMemory(void* to, size_t size, size_t count, void* source) {
  auto* m = static_cast<MemoryFile*>(source);
  size_t n = std::min(size * count, m->bytes->size() - m->at);
  std::memcpy(to, m->bytes->data() + m->at, n);
  m->at += n;
  return size ? n / size : 0;
}

int DecodedPeak(const Bytes& ogg) {
  MemoryFile m{&ogg, 0};
  OggVorbis_File vf;
  if (ov_open_callbacks(&m, &vf, nullptr, 0, {ReadMemory, nullptr, nullptr, nullptr}) != 0) return -1;
  int16_t buf[2048];
  int section = 0, peak = 0;
  long n;
  while ((n = ov_read(&vf, reinterpret_cast<char*>(buf), sizeof buf, 0, 2, 1, &section)) > 0)
    for (long i = 0; i < n / 2; ++i) peak = std::max(peak, std::abs(static_cast<int>(buf[i])));
  ov_clear(&vf);
  return n < 0 ? -1 : peak;
}

// Scales the effect to its level and encodes it; false when the peak cannot be brought under the limit.
bool EncodeAtLevel(std::vector<float> pcm, int serial, Bytes* out) {
  double rms = Rms(pcm), peak = Peak(pcm);
  if (rms <= 0) return false;
  double gain = std::min(kTargetRms / rms, kPeakAim / peak);
  for (int attempt = 0; attempt < 8; ++attempt) {
    std::vector<float> scaled(pcm.size());
    for (size_t i = 0; i < pcm.size(); ++i) scaled[i] = static_cast<float>(pcm[i] * gain);
    *out = EncodeOggVorbis(scaled, 1, kRate, 0.4f, serial, "Kestrune sound effect");
    if (out->empty()) return false;
    int decoded = DecodedPeak(*out);
    if (decoded < 0) return false;
    if (decoded <= kPeakLimit) return true;
    gain *= 0.98 * kPeakLimit / decoded;
  }
  return false;
}

bool WriteFile(const std::string& path, const Bytes& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

using W = Wave;

// Notes of an arpeggio, each `step` seconds, as layers.
std::vector<Layer> Arpeggio(Wave w, std::initializer_list<double> notes, double step, double volume) {
  std::vector<Layer> v;
  double t = 0;
  for (double f : notes) {
    v.push_back({w, t, step * 1.6, f, f, volume, 0.002, 2.0});
    t += step;
  }
  return v;
}

std::vector<Effect> Effects() {
  return {
      {"dash", {{W::Noise, 0, 0.18, 6000, 1500, 0.5, 0.01, 1.5}}},
      {"attack", {{W::Noise, 0, 0.12, 9000, 2500, 0.6, 0.004, 1.2}, {W::Saw, 0, 0.08, 900, 300, 0.2, 0.002, 2}}},
      {"decision", {{W::Square, 0, 0.07, 880, 880, 0.35}, {W::Square, 0.06, 0.12, 1320, 1320, 0.35, 0.002, 1.5}}},
      {"hit_break", {{W::Noise, 0, 0.16, 4000, 800, 0.7, 0.001, 2.5}, {W::Square, 0, 0.12, 320, 90, 0.35, 0.001, 1.5}}},
      {"hit_crack", {{W::Noise, 0, 0.07, 3000, 1200, 0.6, 0.001, 3}, {W::Triangle, 0, 0.06, 500, 250, 0.4}}},
      {"hit_char", {{W::Square, 0, 0.09, 600, 220, 0.4, 0.001, 1.5}}},
      {"hit_paddle", {{W::Triangle, 0, 0.06, 740, 700, 0.7, 0.001, 2}}},
      {"hit_wall", {{W::Square, 0, 0.025, 1200, 1100, 0.3, 0.001, 1}}},
      {"damage", {{W::Saw, 0, 0.3, 420, 90, 0.5, 0.002, 1}, {W::Noise, 0, 0.15, 2000, 500, 0.3, 0.001, 2}}},
      {"hit_enemy", {{W::Square, 0, 0.1, 320, 140, 0.4, 0.001, 1.5}, {W::Noise, 0, 0.06, 5000, 2000, 0.35, 0.001, 2}}},
      {"defeat", {{W::Noise, 0, 0.45, 3000, 300, 0.55, 0.002, 1.5}, {W::Square, 0, 0.3, 220, 55, 0.3, 0.002, 1}}},
      {"makimono", Arpeggio(W::Square, {523.25, 659.26, 783.99, 1046.5, 1318.5}, 0.07, 0.3)},
      {"money", {{W::Square, 0, 0.06, 987.77, 987.77, 0.3}, {W::Square, 0.05, 0.22, 1318.5, 1318.5, 0.3, 0.002, 2}}},
      {"money2", Arpeggio(W::Triangle, {1046.5, 1318.5, 1568.0, 2093.0, 1568.0, 2093.0}, 0.05, 0.5)},
      {"onigiri", {{W::Triangle, 0, 0.22, 523.25, 1046.5, 0.6, 0.005, 1}}},
      {"unpack", {{W::Noise, 0, 0.14, 2500, 600, 0.5, 0.001, 2}, {W::Square, 0, 0.12, 160, 120, 0.35}}},
      {"dash2", {{W::Saw, 0, 0.25, 200, 1400, 0.35, 0.005, 0.8}, {W::Noise, 0, 0.25, 8000, 3000, 0.3, 0.01, 1}}},
      {"fire", {{W::Noise, 0, 0.5, 1800, 400, 0.6, 0.01, 1.2}, {W::Noise, 0.05, 0.35, 200, 80, 0.3, 0.005, 1}}},
      {"lifebar", {{W::Square, 0, 0.02, 1600, 1600, 0.25, 0.001, 1}}},
      {"getout", {{W::Triangle, 0, 0.16, 300, 650, 0.6, 0.003, 1}}},
      {"hit_boss", {{W::Square, 0, 0.2, 160, 70, 0.45, 0.001, 1.2}, {W::Noise, 0, 0.12, 3000, 800, 0.4, 0.001, 2}}},
      {"vanish", {{W::Triangle, 0, 0.6, 1400, 180, 0.5, 0.01, 1, 0.03}}},
      {"bullet", {{W::Square, 0, 0.08, 950, 420, 0.3, 0.001, 1.2}}},
      {"stream", {{W::Noise, 0, 0.6, 12000, 9000, 0.25, 0.08, 0.7}}},
      {"throw", {{W::Noise, 0, 0.14, 7000, 2200, 0.45, 0.02, 1}}},
      {"rolling", {{W::Square, 0, 0.3, 180, 260, 0.3, 0.005, 1, 0.2}}},
      {"crash", {{W::Noise, 0, 0.35, 1500, 200, 0.7, 0.001, 2}, {W::Square, 0, 0.2, 90, 50, 0.4, 0.001, 1.5}}},
      {"ink", {{W::Triangle, 0, 0.12, 260, 120, 0.6, 0.002, 1.5}, {W::Noise, 0, 0.05, 1500, 800, 0.3, 0.001, 2}}},
      {"thunder", {{W::Noise, 0, 0.8, 700, 120, 0.8, 0.002, 1.3}, {W::Noise, 0, 0.12, 9000, 5000, 0.5, 0.001, 2}}},
      {"skull", {{W::Square, 0, 0.2, 150, 300, 0.3, 0.005, 0.5, 0.05}, {W::Square, 0.2, 0.25, 300, 140, 0.3, 0.002, 1, 0.05}}},
      {"1up", Arpeggio(W::Square, {523.25, 659.26, 783.99, 1046.5, 1318.5, 1568.0}, 0.06, 0.3)},
  };
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: sfx_gen OUTPUT_FOLDER\n");
    return 2;
  }
  int serial = 1;
  for (const Effect& e : Effects()) {
    std::string path = std::string(argv[1]) + "/" + e.name + ".ogg";
    Bytes ogg;
    if (!EncodeAtLevel(Render(e, static_cast<unsigned>(serial)), serial, &ogg)) {
      std::fprintf(stderr, "sfx_gen: cannot encode %s within the peak limit\n", e.name);
      return 1;
    }
    if (!WriteFile(path, ogg)) {
      std::fprintf(stderr, "sfx_gen: cannot write %s\n", path.c_str());
      return 1;
    }
    ++serial;
  }
  return 0;
}
