// Writes the small seed files of the fuzz corpora with the project's own writers: the image
// writer, the WAVE image writer, the settings writer and the test media encoders.
//   fuzz_seeds <corpus folder>
#include <cstdio>
#include <string>

#include "engine/draw/baseimage.h"
#include "engine/sound/sound_convert.h"
#include "game/settings.h"
#include "media.h"
#include "tests/draw/bmp_bytes.h"

namespace {

std::string root;

void Put(const std::string& where, const void* data, size_t size) {
  const std::string path = root + "/" + where;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0) {
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    std::exit(1);
  }
}
void Put(const std::string& where, const Bytes& b) { Put(where, b.data(), b.size()); }

Bytes Adpcm(int tag, int channels, int blockAlign, int frames) {
  const std::vector<int16_t> pcm = TestSignal(channels, frames, 8000, 7);
  std::vector<int16_t> decoded;
  int spb;
  Bytes data, extra;
  if (tag == 2) {
    spb = MsAdpcmSamplesPerBlock(blockAlign, channels);
    data = EncodeMsAdpcm(pcm, channels, blockAlign, &decoded);
    extra = MsAdpcmExtra(spb);
  } else {
    spb = ImaAdpcmSamplesPerBlock(blockAlign, channels);
    data = EncodeImaAdpcm(pcm, channels, blockAlign, &decoded);
    PutLE(extra, uint32_t(spb), 2);
  }
  return RiffWave({Chunk("fmt ", FmtBody(tag, channels, 8000, 8000 * blockAlign / spb, blockAlign, 4, false, extra)),
                   Chunk("data", data)});
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds <corpus folder>\n");
    return 2;
  }
  root = argv[1];

  // Images: a 5 x 4 gradient as BMP, JPEG and PNG.
  BaseImage image;
  if (MakeBaseImageXRGB8(5, 4, &image) != 0) return 1;
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) {
      auto* p = static_cast<uint8_t*>(image.Pixels) + y * image.Pitch + x * 4;
      p[0] = uint8_t(x * 60), p[1] = uint8_t(y * 80), p[2] = uint8_t(200 - x * 40), p[3] = 255;
    }
  const char* kinds[3] = {"seed.bmp", "seed.jpg", "seed.png"};
  for (int t = 0; t < 3; ++t)
    if (SaveBaseImageToFile((root + "/image/" + kinds[t]).c_str(), &image, t, 80, 0, 9) != 0) return 1;
  ReleaseBaseImage(&image);

  // Run-length coded BMPs: runs, odd absolute runs, deltas, end of line and of bitmap; and codes
  // that run past the right edge and the last row.
  const std::vector<std::vector<uint8_t>> indices = {
      {1, 1, 1, 2, 3, 4, 0, 0, 5}, {0, 0, 0, 0, 6, 7, 6, 0, 0}, {0, 0, 0, 3, 3, 3, 3, 9, 8}};
  for (int bits : {8, 4}) {
    drawtest::BmpLayout rle;
    rle.width = 9, rle.height = 3, rle.bits = uint16_t(bits), rle.compression = bits == 8 ? 1 : 2;
    for (uint32_t i = 0; i < 10; ++i) rle.palette.push_back(i * 0x1A2B3Cu & 0xFFFFFF);
    rle.pixels = drawtest::RleCodes(indices, bits);
    const std::string file = drawtest::BmpBytes(rle);
    Put(bits == 8 ? "image/rle8.bmp" : "image/rle4.bmp", file.data(), file.size());
  }
  drawtest::BmpLayout edges;
  edges.width = 4, edges.height = -3, edges.bits = 8, edges.compression = 1, edges.palette = {0xFF, 0xFF00};
  edges.pixels = {6, 1, 0, 0, 0, 5, 1, 0, 1, 0, 1, 0, 0, 2, 200, 9, 1, 1};
  const std::string edgeFile = drawtest::BmpBytes(edges);
  Put("image/rle8-edges.bmp", edgeFile.data(), edgeFile.size());
  // 8192 x 8192 declared by an end of bitmap after 16 or 256 colours: 120 and 1,080 bytes.
  for (const int colours : {16, 256}) {
    drawtest::BmpLayout endOnly;
    endOnly.width = 8192, endOnly.height = 8192, endOnly.bits = 8, endOnly.compression = 1;
    endOnly.palette.assign(size_t(colours), 0);
    for (int i = 0; i < colours; ++i) endOnly.palette[size_t(i)] = i ? 0xFF8040u : 0x2040F0u;
    endOnly.pixels = {0, 1};
    const std::string file = drawtest::BmpBytes(endOnly);
    Put("image/rle8-8192-end-only-" + std::to_string(colours) + ".bmp", file.data(), file.size());
  }

  // Plain WAVE: 16-bit mono and 8-bit stereo.
  Put("sound_wave/mono16.wav", PcmWave(1, 11025, 16, ToBytes(TestSignal(1, 120, 11025))));
  Bytes eight;
  for (int16_t s : TestSignal(2, 100, 8000)) eight.push_back(uint8_t((s >> 8) + 128));
  Put("sound_wave/stereo8.wav", PcmWave(2, 8000, 8, eight));

  // Stream sounds: the short ones above, and sounds long enough to be refilled, looped and wound
  // back while they play.
  Put("sound_stream/mono16.wav", PcmWave(1, 11025, 16, ToBytes(TestSignal(1, 120, 11025))));
  Put("sound_stream/stereo8.wav", PcmWave(2, 8000, 8, eight));
  Bytes longEight;
  for (int16_t s : TestSignal(1, 3600, 8000, 3)) longEight.push_back(uint8_t((s >> 8) + 128));
  Put("sound_stream/long8.wav", PcmWave(1, 8000, 8, longEight));
  Put("sound_stream/long.ogg", EncodeOggVorbis(TestSignal(1, 4400, 8000, 4), 1, 8000, 3));

  // Compression manager: MS and IMA ADPCM, A-law and mu-law, MPEG audio in WAVE.
  Put("sound_acm/ms-adpcm.wav", Adpcm(2, 1, 64, 300));
  Put("sound_stream/ms-adpcm.wav", Adpcm(2, 1, 64, 300));
  Put("sound_acm/ima-adpcm-stereo.wav", Adpcm(0x11, 2, 72, 200));
  Bytes law;
  for (int16_t s : TestSignal(1, 200, 8000)) law.push_back(uint8_t(s >> 8));
  Put("sound_acm/alaw.wav", RiffWave({Chunk("fmt ", FmtBody(6, 1, 8000, 8000, 1, 8, false)), Chunk("data", law)}));
  Put("sound_acm/mulaw.wav", RiffWave({Chunk("fmt ", FmtBody(7, 1, 8000, 8000, 1, 8, false)), Chunk("data", law)}));
  const Bytes mp3 = EncodeMp3(TestSignal(1, 1600, 16000), 1, 16000, 32);
  Bytes layer3;  // id, padding flags, block size, frames per block, codec delay
  PutLE(layer3, 1, 2), PutLE(layer3, 2, 4), PutLE(layer3, 144, 2), PutLE(layer3, 1, 2), PutLE(layer3, 1393, 2);
  Put("sound_acm/mpeg-layer3.wav",
      RiffWave({Chunk("fmt ", FmtBody(0x55, 1, 16000, 4000, 1, 0, false, layer3)), Chunk("data", mp3)}));

  // Ogg Vorbis: one short link, a chain of two, and 5.1.
  const Bytes ogg1 = EncodeOggVorbis(TestSignal(1, 300, 8000, 1), 1, 8000, 1);
  const Bytes ogg2 = EncodeOggVorbis(TestSignal(2, 200, 11025, 2), 2, 11025, 2);
  Put("sound_ogg/mono.ogg", ogg1);
  Put("sound_stream/mono.ogg", ogg1);
  Bytes chain = ogg1;
  chain.insert(chain.end(), ogg2.begin(), ogg2.end());
  Put("sound_ogg/chain.ogg", chain);
  Put("sound_ogg/surround.ogg", EncodeOggVorbis(TestSignal(6, 300, 8000, 3), 6, 8000, 4));  // mixed down

  // Raw MP3, bare and with an ID3v2 tag; its first frames for the frame walk.
  Put("sound_mp3/mono.mp3", mp3);
  Bytes tagged = {'I', 'D', '3', 3, 0, 0, 0, 0, 0, 4, 'T', 'E', 'S', 'T'};
  tagged.insert(tagged.end(), mp3.begin(), mp3.end());
  Put("sound_mp3/id3.mp3", tagged);
  Put("mp3_frames/frames.bin", mp3.data(), mp3.size() < 600 ? mp3.size() : 600);
  Put("mp3_graph/mono.mp3", mp3);
  Put("mp3_graph/id3.mp3", tagged);
  Put("mp3_graph/stereo.mp3", EncodeMp3(TestSignal(2, 2205, 22050, 5), 2, 22050, 32));
  Put("mp3_graph/text.txt", "not a sound file at all\n", 24);

  // Settings: the defaults, and a changed record; a file cut short.
  uint8_t setting[kSettingFileSize];
  EncodeSetting(SettingRecord{}, 0, setting);
  Put("settings/default.dat", setting, sizeof setting);
  SettingRecord changed;
  changed.screenSize = 3, changed.frameSkip = 30, changed.padAttack = 128, changed.keyShield = 42;
  changed.normalHiScore = 123456;
  EncodeSetting(changed, 17, setting);
  Put("settings/changed.dat", setting, sizeof setting);
  Put("settings/short.dat", setting, 11);
  return 0;
}
