#include "game/settings.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include "engine/system/system.h"
#include "game/play_state.h"

const char* const kSettingFileName = "setting.dat";
SettingRecord Settings;
int32_t Buttons = 0;
int32_t PrevButtons = 0;

namespace {

enum class FieldKind { kByte, kInt };

// One field of the file: its width, where it lives, and whether a read value may stand.
struct Field {
  FieldKind kind;
  void* (*where)(SettingRecord& s, int32_t& continueStage);
  bool (*valid)(int32_t v);
};

bool QualityValue(int32_t v) { return v >= 0 && v <= 3; }
bool FlagValue(int32_t v) { return v == 0 || v == 1; }
bool ScreenSizeValue(int32_t v) { return v >= 0 && v <= 3; }
bool FrameSkipValue(int32_t v) { return v >= 1 && v <= 60 && 60 % v == 0; }
bool KeyValue(int32_t v) { return v >= 0 && v <= 255; }
bool AssignedKey(int32_t v) { return v >= 1 && v <= 255 && !IsReservedKey(v); }  // not the empty 0
// A single pad button bit (16 and up) that fits the mask.
bool PadValue(int32_t v) { return v >= 16 && (v & (v - 1)) == 0; }
bool StageValue(int32_t v) { return v >= 0 && v <= kLastStageNumber; }
bool ScoreValue(int32_t v) { return v >= 0; }

#define FIELD(kind, member, check) \
  Field { kind, [](SettingRecord& s, int32_t&) -> void* { return &s.member; }, check }

const Field kFields[] = {
    FIELD(FieldKind::kByte, bgmQuality, QualityValue),
    FIELD(FieldKind::kByte, soundEffect, FlagValue),
    FIELD(FieldKind::kInt, screenSize, ScreenSizeValue),
    FIELD(FieldKind::kInt, frameSkip, FrameSkipValue),
    FIELD(FieldKind::kInt, padAttack, PadValue),
    FIELD(FieldKind::kInt, padJump, PadValue),
    FIELD(FieldKind::kInt, padDash, PadValue),
    FIELD(FieldKind::kInt, padStart, PadValue),
    FIELD(FieldKind::kInt, keyLeft, KeyValue),
    FIELD(FieldKind::kInt, keyRight, KeyValue),
    FIELD(FieldKind::kInt, keyUp, KeyValue),
    FIELD(FieldKind::kInt, keyDown, KeyValue),
    FIELD(FieldKind::kInt, keyAttack, KeyValue),
    FIELD(FieldKind::kInt, keyJump, KeyValue),
    FIELD(FieldKind::kInt, keyDash, KeyValue),
    FIELD(FieldKind::kInt, keyStart, KeyValue),
    Field{FieldKind::kInt, [](SettingRecord&, int32_t& c) -> void* { return &c; }, StageValue},
    FIELD(FieldKind::kInt, normalHiScore, ScoreValue),
    FIELD(FieldKind::kInt, padShield, PadValue),
    FIELD(FieldKind::kInt, keyShield, KeyValue),
    FIELD(FieldKind::kInt, difficulty, FlagValue),
    FIELD(FieldKind::kInt, easyHiScore, ScoreValue),
};
#undef FIELD

int FieldWidth(const Field& f) { return f.kind == FieldKind::kByte ? 1 : 4; }

int32_t SettingRecord::* const kPadFields[] = {&SettingRecord::padAttack, &SettingRecord::padJump,
                                                &SettingRecord::padDash, &SettingRecord::padShield,
                                                &SettingRecord::padStart};
int32_t SettingRecord::* const kKeyFields[] = {
    &SettingRecord::keyLeft,   &SettingRecord::keyRight, &SettingRecord::keyUp,
    &SettingRecord::keyDown,   &SettingRecord::keyAttack, &SettingRecord::keyJump,
    &SettingRecord::keyDash,   &SettingRecord::keyShield, &SettingRecord::keyStart};
// The assignments as last read or saved whole: a set read that is not whole does not replace them.
SettingRecord LastSound;

// Every field valid and no two alike: each action has a button of its own.
template <size_t N>
bool Sound(const SettingRecord& s, int32_t SettingRecord::* const (&fields)[N], bool (*valid)(int32_t)) {
  for (size_t i = 0; i < N; ++i) {
    if (!valid(s.*fields[i])) return false;
    for (size_t j = 0; j < i; ++j)
      if (s.*fields[j] == s.*fields[i]) return false;
  }
  return true;
}

// Remembers an assignment that gives every action its own button; false for one that does not.
template <size_t N>
bool RememberSound(const SettingRecord& s, int32_t SettingRecord::* const (&fields)[N], bool (*valid)(int32_t)) {
  if (!Sound(s, fields, valid)) return false;
  for (auto f : fields) LastSound.*f = s.*f;
  return true;
}

// Keeps a sound assignment, else takes back the last one.
template <size_t N>
void KeepSound(SettingRecord* s, int32_t SettingRecord::* const (&fields)[N], bool (*valid)(int32_t)) {
  if (!RememberSound(*s, fields, valid))
    for (auto f : fields) s->*f = LastSound.*f;
}

// Pushes the file's bytes and then its folder entry to the disk, so a power cut leaves the old
// file or the new one, never an empty one.
bool SyncFolderOf(const char* path) {
  std::string folder = path;
  const size_t slash = folder.rfind('/');
  folder = slash == std::string::npos ? "." : folder.substr(0, slash + 1);
  const int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return false;
  const bool ok = fsync(fd) == 0;
  close(fd);
  return ok;
}

}  // namespace

void EncodeSetting(const SettingRecord& s, int32_t continueStage, uint8_t out[kSettingFileSize]) {
  SettingRecord copy = s;
  int32_t stage = continueStage;
  int offset = 0;
  for (const Field& f : kFields) {
    void* p = f.where(copy, stage);
    if (f.kind == FieldKind::kByte) {
      out[offset] = *static_cast<uint8_t*>(p);
    } else {
      uint32_t v = static_cast<uint32_t>(*static_cast<int32_t*>(p));
      for (int i = 0; i < 4; ++i) out[offset + i] = static_cast<uint8_t>(v >> (8 * i));
    }
    offset += FieldWidth(f);
  }
}

void DecodeSetting(const uint8_t* data, int size, SettingRecord* s, int32_t* continueStage) {
  SettingRecord defaults;
  int32_t defaultStage = 0;
  int offset = 0;
  for (const Field& f : kFields) {
    int width = FieldWidth(f);
    if (offset + width > size) break;
    int32_t v;
    if (f.kind == FieldKind::kByte) {
      v = data[offset];
    } else {
      uint32_t u = 0;
      for (int i = 0; i < 4; ++i) u |= static_cast<uint32_t>(data[offset + i]) << (8 * i);
      std::memcpy(&v, &u, sizeof v);
    }
    void* dst = f.where(*s, *continueStage);
    const void* def = f.where(defaults, defaultStage);
    if (f.kind == FieldKind::kByte) {
      *static_cast<uint8_t*>(dst) = f.valid(v) ? static_cast<uint8_t>(v) : *static_cast<const uint8_t*>(def);
    } else {
      *static_cast<int32_t*>(dst) = f.valid(v) ? v : *static_cast<const int32_t*>(def);
    }
    offset += width;
  }
}

void ReadSetting() {
  std::FILE* file = std::fopen(kSettingFileName, "rb");
  if (file == nullptr) return;
  uint8_t data[kSettingFileSize];
  size_t size = std::fread(data, 1, sizeof data, file);
  std::fclose(file);
  DecodeSetting(data, static_cast<int>(size), &Settings, &ContinueStage);
  // A sound assignment read becomes the one to fall back on; an unsound one is not written back.
  RememberSound(Settings, kPadFields, PadValue);
  RememberSound(Settings, kKeyFields, AssignedKey);
}

bool WriteSetting() {
  KeepSound(&Settings, kPadFields, PadValue);
  KeepSound(&Settings, kKeyFields, AssignedKey);
  uint8_t data[kSettingFileSize];
  EncodeSetting(Settings, ContinueStage, data);
  std::string temp = std::string(kSettingFileName) + ".tmp";
  int error = 0;  // the errno of the first step that failed
  auto check = [&error](bool ok) {
    if (!ok && error == 0) error = errno != 0 ? errno : EIO;
  };
  errno = 0;
  std::FILE* file = std::fopen(temp.c_str(), "wb");
  check(file != nullptr);
  if (file != nullptr) {
    check(std::fwrite(data, 1, sizeof data, file) == sizeof data);
    check(std::fflush(file) == 0);
    check(fsync(fileno(file)) == 0);
    check(std::fclose(file) == 0);
    if (error == 0) check(std::rename(temp.c_str(), kSettingFileName) == 0);
    if (error != 0) std::remove(temp.c_str());
  }
  if (error != 0) {
    ReportUnsaved("the settings and hi-scores", kSettingFileName, error);
    return false;
  }
  SyncFolderOf(kSettingFileName);  // the rename is done; a failed folder sync loses nothing now
  return true;
}

void ReportUnsaved(const char* what, const char* file, int error) {
  std::error_code ec;
  const std::filesystem::path full = std::filesystem::absolute(file, ec);
  const std::string line = std::string("Kestrune: could not save ") + what + " in " + (ec ? file : full.c_str()) +
                           ": " + std::strerror(error);
  std::fprintf(stderr, "%s\n", line.c_str());
  LogPrintf("%s", line.c_str());
}

bool IsReservedKey(int code) { return code == KeyCode::Escape || code == KeyCode::F2 || code == KeyCode::F12; }

void PollInput() {
  PrevButtons = Buttons;
  if (InputEnabled == 0) {
    Buttons = 0;
    return;
  }
  Buttons = GetPadInputState(1);
  char keys[256] = {};
  GetAllKeyStates(keys);
  const SettingRecord& s = Settings;
  const struct {
    int32_t key;
    int32_t bit;
  } map[] = {
      {s.keyDown, kButtonDown},     {s.keyLeft, kButtonLeft},   {s.keyRight, kButtonRight},
      {s.keyUp, kButtonUp},         {s.keyAttack, s.padAttack}, {s.keyJump, s.padJump},
      {s.keyDash, s.padDash},       {s.keyStart, s.padStart},   {s.keyShield, s.padShield},
  };
  for (const auto& m : map) {
    if (m.key >= 0 && m.key < 256 && keys[m.key] != 0) Buttons |= m.bit;
  }
}
