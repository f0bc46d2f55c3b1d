#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>

#include "platform/display_server.h"
#include "browser/loading_dialog.h"
#include "browser/util_win.h"

using namespace browser;

namespace {

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

// A Wayland display is there only while its compositor listens.
TEST(DisplayServer, AWaylandDisplayAnswersOnlyWhileListened) {
  char pattern[] = "/tmp/veltro-wayland-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const std::string folder = pattern;
  EXPECT_FALSE(platform::WaylandDisplayAnswers("wayland-9", folder)) << "no socket";

  const int server = socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const std::string path = folder + "/wayland-9";
  std::copy(path.begin(), path.end(), address.sun_path);
  ASSERT_EQ(bind(server, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  EXPECT_FALSE(platform::WaylandDisplayAnswers("wayland-9", folder)) << "bound but not listening";
  ASSERT_EQ(listen(server, 4), 0);
  EXPECT_TRUE(platform::WaylandDisplayAnswers("wayland-9", folder));
  EXPECT_TRUE(platform::WaylandDisplayAnswers(path, "/elsewhere")) << "an absolute path";
  close(server);
  EXPECT_FALSE(platform::WaylandDisplayAnswers("wayland-9", folder)) << "a compositor that has gone";
  EXPECT_FALSE(platform::WaylandDisplayAnswers(std::string(200, 'x'), folder)) << "a name too long for a socket";
  unlink(path.c_str());
  rmdir(folder.c_str());
}
