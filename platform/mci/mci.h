// Platform layer: the media control interface's command entry, a stand-in with no MIDI output.
// It keeps the devices opened through it and takes play and close for them; no sound is made
// and no notification is ever sent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

using MCIDEVICEID = uint32_t;
using MCIERROR = uint32_t;

enum : uint32_t {
  MCI_OPEN = 0x0803,
  MCI_CLOSE = 0x0804,
  MCI_PLAY = 0x0806,
};

enum : uintptr_t {
  MCI_NOTIFY = 0x00000001,
  MCI_WAIT = 0x00000002,
  MCI_FROM = 0x00000004,
  MCI_TO = 0x00000008,
  MCI_OPEN_TYPE = 0x00002000,
  MCI_OPEN_ELEMENT = 0x00000200,
};

enum : MCIERROR {
  MCIERR_INVALID_DEVICE_ID = 257,
  MCIERR_UNRECOGNIZED_COMMAND = 261,
  MCIERR_MISSING_PARAMETER = 273,
};

struct MCI_OPEN_PARMS {
  uintptr_t dwCallback;
  MCIDEVICEID wDeviceID;  // out
  const char* lpstrDeviceType;
  const char* lpstrElementName;
  const char* lpstrAlias;
};

struct MCI_PLAY_PARMS {
  uintptr_t dwCallback;  // the window to notify
  uint32_t dwFrom;
  uint32_t dwTo;
};

struct MCI_GENERIC_PARMS {
  uintptr_t dwCallback;
};

// 0, or an MCIERR_ code. param points at the command's parameter record (may be 0 for close).
MCIERROR mciSendCommandA(MCIDEVICEID device, uint32_t message, uintptr_t flags, uintptr_t param);

// What the stand-in was sent (tests).
struct MciCommandRecord {
  MCIDEVICEID device;
  uint32_t message;
  uintptr_t flags;
  uint32_t from;
  uintptr_t callback;  // the window a notifying play names
  MCIERROR result;
};
std::vector<MciCommandRecord> Mci_CommandLog();
void Mci_ClearCommandLog();
int Mci_OpenDeviceCount();
