// "key.txt": one key name a line, each kept short and terminated.
#include <cstring>

#include "fuzz_common.h"
#include "game/screens/option_screen.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::EnterScratchFolder();
  // The file layer's handle table is made on first use and kept.
  fuzz::WriteWholeFile("key.txt", nullptr, 0);
  static KeyNameTable names;
  LoadKeyNames("key.txt", names);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LiveBlocks blocks;
  fuzz::WriteWholeFile("key.txt", data, size);
  static KeyNameTable names;
  FUZZ_CHECK(LoadKeyNames("key.txt", names));
  for (const auto& name : names) FUZZ_CHECK(std::strlen(name) < kKeyNameSize);
  return 0;
}
