// The media control interface stand-in: devices are numbers; play and close are answered, not heard.
#include "platform/mci/mci.h"

#include <algorithm>
#include <mutex>

namespace {

struct MciState {
  std::mutex mutex;
  std::vector<MCIDEVICEID> open;
  MCIDEVICEID nextId = 1;
  std::vector<MciCommandRecord> log;
};

MciState& State() {
  static MciState state;
  return state;
}

}  // namespace

MCIERROR mciSendCommandA(MCIDEVICEID device, uint32_t message, uintptr_t flags, uintptr_t param) {
  MciState& s = State();
  std::lock_guard<std::mutex> lock(s.mutex);
  uintptr_t window = 0;
  MCIERROR result = 0;
  uint32_t from = 0;
  {
    const bool known = std::find(s.open.begin(), s.open.end(), device) != s.open.end();
    switch (message) {
      case MCI_OPEN: {
        auto* p = reinterpret_cast<MCI_OPEN_PARMS*>(param);
        if (!p) {
          result = MCIERR_MISSING_PARAMETER;
          break;
        }
        p->wDeviceID = s.nextId++;
        s.open.push_back(p->wDeviceID);
        device = p->wDeviceID;
        break;
      }
      case MCI_PLAY: {
        auto* p = reinterpret_cast<MCI_PLAY_PARMS*>(param);
        if (!known) {
          result = MCIERR_INVALID_DEVICE_ID;
        } else if ((flags & (MCI_NOTIFY | MCI_FROM)) && !p) {
          result = MCIERR_MISSING_PARAMETER;
        } else {
          if (p && (flags & MCI_FROM)) from = p->dwFrom;
          if (flags & MCI_NOTIFY) window = p->dwCallback;
        }
        break;
      }
      case MCI_CLOSE:
        if (!known) {
          result = MCIERR_INVALID_DEVICE_ID;
        } else {
          s.open.erase(std::remove(s.open.begin(), s.open.end(), device), s.open.end());
        }
        break;
      default:
        result = MCIERR_UNRECOGNIZED_COMMAND;
        break;
    }
    s.log.push_back({device, message, flags, from, window, result});
  }
  return result;
}

std::vector<MciCommandRecord> Mci_CommandLog() {
  std::lock_guard<std::mutex> lock(State().mutex);
  return State().log;
}

void Mci_ClearCommandLog() {
  std::lock_guard<std::mutex> lock(State().mutex);
  State().log.clear();
}

int Mci_OpenDeviceCount() {
  std::lock_guard<std::mutex> lock(State().mutex);
  return static_cast<int>(State().open.size());
}
