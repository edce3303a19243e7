// File and memory streams over the same bytes, driven by those bytes: both must agree.
#include <cstring>
#include <vector>

#include "fuzz_common.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  fuzz::EnterScratchFolder();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::LiveBlocks blocks;
  fuzz::WriteWholeFile("stream.bin", data, size);
  const StreamFunctions* mf = GetMemStreamFunctions();
  const StreamFunctions* ff = GetFileStreamFunctions();
  StreamHandle mem = MemStreamOpen(size ? data : nullptr, size);
  StreamHandle file = FileStreamOpen("stream.bin");
  FUZZ_CHECK(mem != 0 && file != 0);
  std::vector<uint8_t> a(256), b(256);
  // Each byte is an operation; the bytes after it are its arguments.
  for (size_t i = 0; i + 1 < size && i < 4096; i += 2) {
    const uint8_t op = data[i], arg = data[i + 1];
    switch (op % 5) {
      case 0: {
        const size_t ga = mf->Read(a.data(), 1, arg, mem), gb = ff->Read(b.data(), 1, arg, file);
        FUZZ_CHECK(ga == gb && ga <= arg && std::memcmp(a.data(), b.data(), ga) == 0);
        break;
      }
      case 1: {
        const int64_t offset = int64_t(int8_t(arg)) * (op >> 4 ? 1 : 97);
        const int origin = (op >> 3) % 3;
        FUZZ_CHECK(mf->Seek(mem, offset, origin) == ff->Seek(file, offset, origin));
        break;
      }
      case 2: {
        // Whole elements only from memory: never more than asked, never past the end.
        const size_t elem = size_t(arg % 16) + 1;
        const int64_t before = mf->Tell(mem);
        const size_t got = mf->Read(a.data(), elem, 256 / elem, mem);
        FUZZ_CHECK(got <= 256 / elem && before + int64_t(got * elem) == mf->Tell(mem));
        FUZZ_CHECK(mf->Tell(mem) <= int64_t(size));
        FUZZ_CHECK(ff->Seek(file, mf->Tell(mem), 0) == 0);
        break;
      }
      case 3:
        FUZZ_CHECK(mf->Tell(mem) == ff->Tell(file));
        break;
      default:
        FUZZ_CHECK(mf->Eof(mem) == ff->Eof(file));
        break;
    }
    FUZZ_CHECK(mf->Tell(mem) >= 0 && mf->Tell(mem) <= int64_t(size));
  }
  FUZZ_CHECK(MemStreamClose(mem) == 0);
  FUZZ_CHECK(ff->Close(file) == 0);
  return 0;
}
