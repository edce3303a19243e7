#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/window/test_driver.h"
#include "platform/window/window.h"

namespace {

// RGB565 to 8-bit channels: each field widened by repeating its top bits.
uint32_t Expected565(uint16_t p) {
  int r5 = p >> 11, g6 = (p >> 5) & 63, b5 = p & 31;
  int r = r5 * 8 + r5 / 4, g = g6 * 4 + g6 / 16, b = b5 * 8 + b5 / 4;
  return static_cast<uint32_t>(r * 65536 + g * 256 + b);
}

void PresentBoth() {
  // 16 bits: 3 x 2 pixels in rows of 4 words (the pitch is wider than the row).
  const uint16_t words[8] = {0xF800, 0x07E0, 0x001F, 0xDEAD, 0xFFFF, 0x0000, 0x8410, 0xBEEF};
  ASSERT_EQ(PlatformWindow_Present(words, 3, 2, 8, 16), 0);
  std::vector<uint32_t> frame(6);
  int w = 0, h = 0;
  ASSERT_EQ(PlatformWindow_GetLastFrame(frame.data(), frame.size(), &w, &h), 6);
  EXPECT_EQ(w, 3);
  EXPECT_EQ(h, 2);
  const int used[6] = {0, 1, 2, 4, 5, 6};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(frame[i], Expected565(words[used[i]])) << i;
  EXPECT_EQ(frame[0], 0xFF0000u);
  EXPECT_EQ(frame[3], 0xFFFFFFu);

  // 32 bits: bytes B, G, R, X.
  const unsigned char bytes[2 * 4] = {0x10, 0x20, 0x30, 0x99, 0xFF, 0x00, 0x80, 0x00};
  ASSERT_EQ(PlatformWindow_Present(bytes, 2, 1, 8, 32), 0);
  ASSERT_EQ(PlatformWindow_GetLastFrame(frame.data(), frame.size(), &w, &h), 2);
  EXPECT_EQ(frame[0], 0x302010u);
  EXPECT_EQ(frame[1], 0x8000FFu);
  // Too small a buffer gets nothing copied, only the size.
  uint32_t one = 0x12345678;
  EXPECT_EQ(PlatformWindow_GetLastFrame(&one, 1, &w, &h), 2);
  EXPECT_EQ(one, 0x12345678u);

  EXPECT_EQ(PlatformWindow_Present(nullptr, 2, 1, 8, 32), -1);
  EXPECT_EQ(PlatformWindow_Present(bytes, 2, 1, 7, 32), -1);   // pitch shorter than a row
  EXPECT_EQ(PlatformWindow_Present(bytes, 2, 1, 8, 24), -1);
  EXPECT_EQ(PlatformWindow_Present(bytes, 0, 1, 8, 32), -1);
  EXPECT_EQ(PlatformWindow_Present(bytes, 1 << 20, 1, 1 << 23, 32), -1);
}

}  // namespace

TEST(Present, FramesAreRecordedWithAndWithoutAWindow) {
  int before = PlatformWindow_GetPresentCount();
  PlatformWindow_KeepFrames(1);
  PresentBoth();  // no window yet
  ASSERT_EQ(PlatformWindow_Init(), 0);
  EXPECT_EQ(PlatformWindow_IsHeadless(), 1);
  ASSERT_GE(PlatformWindow_Create("test", 640, 480, 0), 0);
  EXPECT_NE(PlatformWindow_GetHandle(), nullptr);
  PresentBoth();  // through the renderer, scaled
  std::vector<uint16_t> big(320 * 240, 0x07E0);
  EXPECT_EQ(PlatformWindow_Present(big.data(), 320, 240, 640, 16), 0);
  EXPECT_EQ(PlatformWindow_GetPresentCount(), before + 5);
  int w, h;
  PlatformWindow_GetClientSize(&w, &h);
  EXPECT_EQ(w, 640);
  EXPECT_EQ(h, 480);
  PlatformWindow_Quit();
  EXPECT_EQ(PlatformWindow_GetHandle(), nullptr);
  // Frames are kept only while asked for.
  PlatformWindow_KeepFrames(0);
  EXPECT_EQ(PlatformWindow_Present(big.data(), 320, 240, 640, 16), 0);
  EXPECT_EQ(PlatformWindow_GetLastFrame(nullptr, 0, &w, &h), 0);
}

// The window shows the frame one to one, doubled where it is twice the frame's size, and
// scaled with the aspect kept (bars beside) at any other size.
TEST(Present, TheWindowShowsTheFrameAtItsSize) {
  ASSERT_EQ(PlatformWindow_Init(), 0);
  ASSERT_GE(PlatformWindow_Create("test", 640, 480, 0), 0);
  std::vector<uint16_t> frame(322 * 240);
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x) frame[size_t(y) * 322 + x] = uint16_t((x * 7 + y * 13) * 0x0421 + (x ^ y));
  auto show = [&](int* w, int* h) {
    EXPECT_EQ(PlatformWindow_Present(frame.data(), 320, 240, 644, 16), 0);  // rows of 322 words
    std::vector<uint32_t> shown(size_t(1024) * 1024);
    shown.resize(size_t(std::max(PlatformWindow_ReadShown(shown.data(), shown.size(), w, h), 0)));
    return shown;
  };
  int w = 0, h = 0;
  std::vector<uint32_t> shown = show(&w, &h);
  ASSERT_EQ(w, 640);
  ASSERT_EQ(h, 480);
  for (int y = 0; y < 480; ++y)
    for (int x = 0; x < 640; ++x)
      ASSERT_EQ(shown[size_t(y) * 640 + x], Expected565(frame[size_t(y / 2) * 322 + x / 2])) << x << "," << y;

  ASSERT_EQ(PlatformWindow_SetClientSize(320, 240), 0);
  PlatformEvent e;
  while (PlatformWindow_PollEvent(&e)) {
  }
  shown = show(&w, &h);
  ASSERT_EQ(w, 320);
  ASSERT_EQ(h, 240);
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 320; ++x)
      ASSERT_EQ(shown[size_t(y) * 320 + x], Expected565(frame[size_t(y) * 322 + x])) << x << "," << y;

  ASSERT_EQ(PlatformWindow_SetClientSize(400, 240), 0);
  while (PlatformWindow_PollEvent(&e)) {
  }
  shown = show(&w, &h);
  ASSERT_EQ(w, 400);
  ASSERT_EQ(h, 240);
  for (int y = 0; y < 240; ++y)
    for (int x = 0; x < 400; ++x) {
      const bool bar = x < 40 || x >= 360;  // beside the frame
      ASSERT_EQ(shown[size_t(y) * 400 + x], bar ? 0u : Expected565(frame[size_t(y) * 322 + x - 40])) << x << "," << y;
    }
  PlatformWindow_Quit();
}

// Setting or clearing one environment variable for the life of the object.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (had_) {
      setenv(name_, old_.c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  bool had_;
  std::string old_;
};

TEST(Display, NoneFoundIsAnErrorUnlessRunningUnseenWasAskedFor) {
  {
    ScopedEnv display("DISPLAY", nullptr), wayland("WAYLAND_DISPLAY", nullptr), driver("SDL_VIDEODRIVER", nullptr);
    EXPECT_EQ(PlatformWindow_Init(), -1);
    EXPECT_EQ(std::string(PlatformWindow_LastError()).rfind("No display: ", 0), 0u) << PlatformWindow_LastError();
    EXPECT_EQ(PlatformWindow_Create("test", 320, 240, 0), -1);
    EXPECT_EQ(PlatformWindow_GetHandle(), nullptr);
  }
  {
    ScopedEnv display("DISPLAY", nullptr), wayland("WAYLAND_DISPLAY", nullptr), driver("SDL_VIDEODRIVER", "dummy");
    ASSERT_EQ(PlatformWindow_Init(), 0);
    EXPECT_EQ(PlatformWindow_IsHeadless(), 1);
    PlatformWindow_Quit();
  }
}

// A display server gone while the program writes to it: the write fails, and Xlib then reports
// the lost display and exits with its status, instead of SIGPIPE ending the process.
TEST(Display, AWriteToAServerThatWentAwayFailsWithoutEndingTheProcess) {
  ASSERT_EQ(PlatformWindow_Init(), 0);
  int ends[2];
  ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, ends), 0);
  close(ends[1]);
  EXPECT_EQ(write(ends[0], "x", 1), -1);
  EXPECT_EQ(errno, EPIPE);
  close(ends[0]);
  PlatformWindow_Quit();
}

TEST(Events, DriverEventsComeFirstAndInOrder) {
  TestDriver_Reset();
  TestDriver_Focus(0);
  TestDriver_Close();
  PlatformEvent e{};
  ASSERT_EQ(PlatformWindow_PollEvent(&e), 1);
  EXPECT_EQ(e.type, PLATFORM_EVENT_FOCUS_LOST);
  ASSERT_EQ(PlatformWindow_PollEvent(&e), 1);
  EXPECT_EQ(e.type, PLATFORM_EVENT_CLOSE);
  EXPECT_EQ(PlatformWindow_PollEvent(&e), 0);  // no video started: nothing more
}

TEST(MessageBox, GoesToStandardErrorWithoutADisplay) {
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(PlatformWindow_MessageBox("body text", "Caption"), 0);
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("Caption: body text"), std::string::npos);
}
