#include <gtest/gtest.h>

#include <algorithm>

#include <map>

#include "platform/display_server.h"
#include "browser/loading_dialog.h"
#include "browser/util_win.h"

using namespace browser;
using namespace engine;

namespace {

// Keys held down (0x8000) and lock keys toggled (0x1).
KeyStateReader Keys(std::map<int, uint16_t> state) {
  return [state](int key) -> uint16_t {
    auto it = state.find(key);
    return it == state.end() ? 0 : it->second;
  };
}

constexpr intptr_t kExtended = 1 << 24;

TEST(KeyboardModifiers, KeyPadLeftRightAndLocks) {
  const auto none = Keys({});
  // Keypad Enter is extended, main Enter is not.
  EXPECT_EQ(GetCefKeyboardModifiers(13, kExtended, none), EVENTFLAG_IS_KEY_PAD);
  EXPECT_EQ(GetCefKeyboardModifiers(13, 0, none), 0u);
  // Arrow block (extended) versus keypad arrows.
  EXPECT_EQ(GetCefKeyboardModifiers(37, kExtended, none), 0u);
  EXPECT_EQ(GetCefKeyboardModifiers(37, 0, none), EVENTFLAG_IS_KEY_PAD);
  EXPECT_EQ(GetCefKeyboardModifiers(46, 0, none), EVENTFLAG_IS_KEY_PAD);
  EXPECT_EQ(GetCefKeyboardModifiers(96, 0, none), EVENTFLAG_IS_KEY_PAD);
  EXPECT_EQ(GetCefKeyboardModifiers(108, 0, none), 0u);  // VK_SEPARATOR
  EXPECT_EQ(GetCefKeyboardModifiers(111, 0, none), EVENTFLAG_IS_KEY_PAD);
  // Right Shift alone.
  EXPECT_EQ(GetCefKeyboardModifiers(16, 0, Keys({{16, 0x8000}, {161, 0x8000}})),
            EVENTFLAG_SHIFT_DOWN | EVENTFLAG_IS_RIGHT);
  EXPECT_EQ(GetCefKeyboardModifiers(17, 0, Keys({{17, 0x8000}, {162, 0x8000}})),
            EVENTFLAG_CONTROL_DOWN | EVENTFLAG_IS_LEFT);
  EXPECT_EQ(GetCefKeyboardModifiers(91, 0, none), EVENTFLAG_IS_LEFT);
  EXPECT_EQ(GetCefKeyboardModifiers(92, 0, none), EVENTFLAG_IS_RIGHT);
  EXPECT_EQ(GetCefKeyboardModifiers(65, 0, Keys({{144, 1}, {20, 1}, {18, 0x8000}})),
            EVENTFLAG_NUM_LOCK_ON | EVENTFLAG_CAPS_LOCK_ON | EVENTFLAG_ALT_DOWN);
}

TEST(MouseModifiers, ButtonsAndKeys) {
  EXPECT_EQ(GetCefMouseModifiers(0x1 | 0x4 | 0x8, Keys({})),
            EVENTFLAG_LEFT_MOUSE_BUTTON | EVENTFLAG_SHIFT_DOWN | EVENTFLAG_CONTROL_DOWN);
  EXPECT_EQ(GetCefMouseModifiers(0x2 | 0x10, Keys({{18, 0x8000}, {20, 1}})),
            EVENTFLAG_RIGHT_MOUSE_BUTTON | EVENTFLAG_MIDDLE_MOUSE_BUTTON | EVENTFLAG_ALT_DOWN |
                EVENTFLAG_CAPS_LOCK_ON);
}

TEST(ScaleConversion, FloorsInSinglePrecision) {
  EXPECT_EQ(LogicalToDevice(72, 1.25f), 90);
  EXPECT_EQ(LogicalToDevice(14, 1.25f), 17);
  EXPECT_EQ(DeviceToLogical(17, 1.25f), 13);
  EXPECT_EQ(LogicalToDevice(platform::Rect{1, 2, 72, 24}, 1.5f), (platform::Rect{1, 3, 108, 36}));
}

TEST(LoadingDialogPlacement, CentredAtAThird) {
  EXPECT_EQ(LoadingDialog::PlaceOver({0, 0, 1000, 700}, 300, 120), (platform::Rect{350, 193, 300, 120}));
  EXPECT_EQ(LoadingDialog::PlaceOver({10, 20, 1000, 700}, 300, 120), (platform::Rect{360, 213, 300, 120}));
  // A dialog larger than the frame still gets a defined place.
  EXPECT_EQ(LoadingDialog::PlaceOver({0, 0, 100, 100}, 301, 121), (platform::Rect{-100, -7, 301, 121}));
}

}  // namespace

// Wayland sessions run through Xwayland when they have it; the user's own
// choice stands; without any display the client says so.
TEST(DisplayServer, ChoiceFromTheEnvironment) {
  const auto choose = [](const char* qpa, const char* wayland, const char* x11) {
    const platform::DisplayChoice choice = platform::ChooseDisplayServer(qpa, wayland, x11);
    return std::string(choice.usable ? "" : "unusable ") + choice.qt_platform;
  };
  EXPECT_EQ(choose(nullptr, "wayland-0", ":0"), "xcb");
  EXPECT_EQ(choose("", "wayland-0", ":1"), "xcb");
  EXPECT_EQ(choose(nullptr, "wayland-0", nullptr), "wayland");
  EXPECT_EQ(choose(nullptr, "wayland-0", ""), "wayland");
  EXPECT_EQ(choose(nullptr, nullptr, ":0"), "");
  EXPECT_EQ(choose("wayland", "wayland-0", ":0"), "");  // the user's
  EXPECT_EQ(choose("offscreen", nullptr, nullptr), "");
  EXPECT_EQ(choose(nullptr, nullptr, nullptr), "unusable ");
  EXPECT_EQ(choose(nullptr, "", ""), "unusable ");
  EXPECT_NE(platform::ChooseDisplayServer(nullptr, nullptr, nullptr).note.find("DISPLAY"), std::string::npos);

  // A platform Qt has no plug-in for is found out before Qt would abort.
  const auto only = [](std::vector<std::string> files) {
    return [files](const std::string& file) { return std::find(files.begin(), files.end(), file) != files.end(); };
  };
  EXPECT_TRUE(platform::HasPlatformPlugin("wayland", only({"libqwayland-generic.so"})));
  EXPECT_TRUE(platform::HasPlatformPlugin("xcb:no-grab", only({"libqxcb.so"})));
  EXPECT_TRUE(platform::HasPlatformPlugin("wayland;xcb", only({"libqxcb.so"})));
  EXPECT_FALSE(platform::HasPlatformPlugin("wayland", only({"libqxcb.so"})));
  EXPECT_FALSE(platform::HasPlatformPlugin("", only({"libq.so"})));
  EXPECT_NE(platform::MissingPluginNote("wayland").find("qt6-wayland"), std::string::npos);
  EXPECT_NE(platform::MissingPluginNote("wayland").find("QT_QPA_PLATFORM=xcb"), std::string::npos);
}
