// ".pttune" scores: parsed within bounds, and rendered briefly from the start and the middle.
#include <cmath>
#include <string>
#include <vector>

#include "fuzz_common.h"
#include "pxtone/pttune.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  pttune::Tune tune;
  std::string error;
  if (!pttune::Parse(std::string(reinterpret_cast<const char*>(data), size), &tune, &error)) {
    FUZZ_CHECK(error.compare(0, 5, "line ") == 0);
    return 0;
  }
  FUZZ_CHECK(!tune.voices.empty() && tune.voices.size() <= 64 && tune.lengthSteps > 0);
  size_t items = 0;
  for (const pttune::Voice& v : tune.voices) {
    items += v.notes.size();
    FUZZ_CHECK(v.lengthSteps <= tune.lengthSteps);
    for (const pttune::Note& n : v.notes)
      FUZZ_CHECK(n.startStep >= 0 && n.lengthSteps >= 1 && n.startStep + n.lengthSteps <= v.lengthSteps);
  }
  FUZZ_CHECK(items <= (size_t(1) << 20));
  std::vector<float> out(2205, 0.0f);
  pttune::Renderer renderer;
  renderer.Start(&tune, 22050, true);
  renderer.Render(out.data(), int(out.size()));
  renderer.Start(&tune, 22050, true, int64_t(tune.lengthSteps / 2 * tune.SecondsPerStep() * 22050));
  renderer.Render(out.data(), int(out.size()));
  // At most 64 notes of volume 1 or less sound together.
  for (float s : out) FUZZ_CHECK(std::isfinite(s) && std::fabs(s) <= 128.0f);
  return 0;
}
