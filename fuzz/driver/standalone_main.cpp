// Runs a fuzz target once over every file named on the command line (folders are read whole,
// in name order), for builds without libFuzzer: the regression run of the corpora.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);

namespace {

constexpr unsigned kSecondsPerInput = 20;  // far above what any input may take, sanitizers included

void Collect(const std::string& path, std::vector<std::string>* files) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) {
    std::fprintf(stderr, "cannot read %s\n", path.c_str());
    std::exit(2);
  }
  if (!S_ISDIR(info.st_mode)) {
    files->push_back(path);
    return;
  }
  std::vector<std::string> names;
  if (DIR* dir = opendir(path.c_str())) {
    while (dirent* e = readdir(dir))
      if (e->d_name[0] != '.') names.push_back(e->d_name);
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  for (const std::string& n : names) Collect(path + "/" + n, files);
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) Collect(argv[i], &files);
  // Paths are absolute or relative to where we started; the target may change folder.
  std::vector<std::vector<uint8_t>> inputs;
  for (const std::string& f : files) {
    std::ifstream in(f, std::ios::binary);
    inputs.emplace_back((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
  if (LLVMFuzzerInitialize) LLVMFuzzerInitialize(&argc, &argv);
  for (size_t i = 0; i < files.size(); ++i) {
    std::fprintf(stderr, "%s (%zu bytes)\n", files[i].c_str(), inputs[i].size());
    alarm(kSecondsPerInput);  // a hang is a finding too
    LLVMFuzzerTestOneInput(inputs[i].data(), inputs[i].size());
    alarm(0);
  }
  std::fprintf(stderr, "%zu inputs run\n", files.size());
  return files.empty() ? 1 : 0;
}
