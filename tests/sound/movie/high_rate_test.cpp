// Movie sound faster than the sound output: brought down to the output's rate, filtered, before
// the mixer, so that a tone the output cannot carry is not folded back into the audible band.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <complex>
#include <thread>
#include <vector>

#include "framework_movies.h"
#include "mediagen_high_rate.h"
#include "platform/media/test_hooks.h"

namespace {

// Amplitude of the frequency in n samples from first, through a Hann window.
double Amplitude(const std::vector<int16_t>& s, size_t first, size_t n, double hz, uint32_t rate) {
  std::complex<double> sum;
  double weights = 0;
  for (size_t i = 0; i < n; ++i) {
    const double w = 0.5 - 0.5 * std::cos(2 * M_PI * double(i) / double(n));
    sum += w * double(s[first + i]) * std::polar(1.0, -2 * M_PI * hz * double(i) / rate);
    weights += w;
  }
  return 2 * std::abs(sum) / weights;
}

class HighRateMovieSound : public movietest::EngineOnNullSound, public ::testing::WithParamInterface<uint32_t> {
 protected:
  HighRateMovieSound() {
    audio.rate = GetParam();
    audio.channels = 1;
  }
};

}  // namespace

TEST_P(HighRateMovieSound, AToneAboveTheOutputsNyquistFrequencyIsFilteredOutNotFoldedBack) {
  const uint32_t rate = GetParam();
  const int param[1] = {0};
  const int m = OpenMovie(param, movietest::MoviePath("tone30k_96k.mkv").c_str(), nullptr, nullptr, 0, 0);
  ASSERT_NE(m, -1);
  PlayMovie(m, PlayType::Background);
  for (int step = 0; step < 80; ++step) {  // 0.8 s
    // On by 10 ms once the renderer holds that much, or all there is: the sound never runs dry.
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (MediaAudioQueuedMs() >= 0 && MediaAudioQueuedMs() < 10 && std::chrono::steady_clock::now() < limit) {
      UpdateMovie(m);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    AudioNull_Advance(AudioNull_Current(), rate / 100);
  }
  CloseMovie(m);
  const std::vector<int16_t> s = AudioNull_Capture(AudioNull_Current());
  const size_t first = rate / 10, n = rate * 3 / 10;  // clear of the sound's start and end (0.6 s)
  ASSERT_LE(first + n, s.size());
  const double tone = kHighRateToneLevel * 32767;
  EXPECT_NEAR(Amplitude(s, first, n, kHighRateLowToneHz, rate) / tone, 1.0, 0.06);  // half a decibel
  // Folded back, the tone above would sound at the output's rate less its frequency.
  EXPECT_LE(Amplitude(s, first, n, rate - kHighRateHighToneHz, rate) / tone, 0.001);  // 60 dB down
}

INSTANTIATE_TEST_SUITE_P(Outputs, HighRateMovieSound, ::testing::Values(44100u, 48000u));
