#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "app/client_main.h"
#include "env/paths.h"
#include "env/firewall.h"
#include "env/system_integration.h"
#include "platform/ini_profile.h"
#include "platform/runtime_folder.h"
#include "test_support.h"

namespace fs = std::filesystem;
using platform::GetPrivateProfileInt;
using platform::GetPrivateProfileString;
using platform::WritePrivateProfileString;

namespace {

TEST(IniProfile, ReadsWithWindowsSemantics) {
  TempDir dir;
  const std::string ini = (dir.path() / "a.ini").string();
  WriteFile(ini, "; comment\r\n[other]\r\nclearCache=9\r\n[CACHE]\r\n  ClearCache = 5abc \r\nneg=-3\r\nword=abc\r\n");
  EXPECT_EQ(GetPrivateProfileInt("Cache", "clearCache", 0, ini), 5);
  EXPECT_EQ(GetPrivateProfileInt("cache", "neg", 0, ini), -3);
  EXPECT_EQ(GetPrivateProfileInt("Cache", "word", 7, ini), 0);
  EXPECT_EQ(GetPrivateProfileInt("Cache", "absent", 7, ini), 7);
  EXPECT_EQ(GetPrivateProfileInt("Nope", "clearCache", 7, ini), 7);
  EXPECT_EQ(GetPrivateProfileInt("Cache", "clearCache", 4, (dir.path() / "missing.ini").string()), 4);
  // A FIFO in its place would block the reader for ever: it counts as missing.
  const std::string fifo = (dir.path() / "fifo.ini").string();
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(GetPrivateProfileInt("Cache", "clearCache", 4, fifo), 4);
}

TEST(IniProfile, WritesKeepEverythingElse) {
  TempDir dir;
  const std::string ini = (dir.path() / "a.ini").string();
  // The first write creates the file.
  ASSERT_TRUE(WritePrivateProfileString("addFirewall", "isAdd", "1", ini));
  EXPECT_EQ(GetPrivateProfileInt("addFirewall", "isAdd", 0, ini), 1);

  WriteFile(ini, "[A]\r\nx=1\r\n\r\n[Cache]\r\nclearCache=1\r\nkeep=me\r\n\r\n[B]\r\ny=2\r\n");
  ASSERT_TRUE(WritePrivateProfileString("cache", "CLEARCACHE", "0", ini));
  ASSERT_TRUE(WritePrivateProfileString("Cache", "newKey", "v", ini));
  ASSERT_TRUE(WritePrivateProfileString("C", "z", "3", ini));
  EXPECT_EQ(ReadFile(ini), "[A]\r\nx=1\r\n\r\n[Cache]\r\nclearCache=0\r\nkeep=me\r\nnewKey=v\r\n\r\n[B]\r\ny=2\r\n[C]\r\nz=3\r\n");
  EXPECT_EQ(GetPrivateProfileString("B", "y", "", ini), "2");
}

TEST(IniProfile, UnwritableFolderReportsFailure) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes everywhere";
  TempDir dir;
  chmod(dir.str().c_str(), 0500);
  EXPECT_FALSE(WritePrivateProfileString("a", "b", "c", (dir.path() / "x.ini").string()));
  chmod(dir.str().c_str(), 0700);
}

class UserFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("HOME", home_.str().c_str(), 1);
    setenv("XDG_DATA_HOME", (home_.path() / "data").c_str(), 1);
  }
  TempDir home_;
};

TEST_F(UserFolders, PathsAreBuiltFromTheDataHome) {
  EXPECT_EQ(env::GetUserDataDirectory(), home_.str() + "/data/morvanecrm/");
  EXPECT_EQ(env::GetConfigFilePath(), home_.str() + "/data/morvanecrmconfig/config.ini");
  EXPECT_TRUE(fs::is_directory(home_.path() / "data/morvanecrmconfig"));
  EXPECT_EQ(env::GetModuleDirectory().back(), '/');
  unsetenv("XDG_DATA_HOME");
  EXPECT_EQ(env::GetUserDataDirectory(), home_.str() + "/.local/share/morvanecrm/");
  // A fresh account has no ~/.local yet: every level is made.
  EXPECT_EQ(env::GetConfigFilePath(), home_.str() + "/.local/share/morvanecrmconfig/config.ini");
  EXPECT_TRUE(fs::is_directory(home_.path() / ".local/share/morvanecrmconfig"));
  unsetenv("HOME");
  EXPECT_EQ(env::GetUserDataDirectory(), "");
  EXPECT_EQ(env::GetConfigFilePath(), "config.ini");
}

TEST_F(UserFolders, ClearingEmptiesBottomUpAndNeverFollowsLinks) {
  const fs::path data = home_.path() / "data/morvanecrm";
  fs::create_directories(data / "Cache/nested/deeper");
  WriteFile(data / "Cookies", "c");
  WriteFile(data / "Cache/nested/deeper/f", "f");
  // Outside the folder, reachable only through links inside it.
  const fs::path outside = home_.path() / "precious";
  fs::create_directories(outside);
  WriteFile(outside / "keep.txt", "keep");
  fs::create_directory_symlink(outside, data / "link-to-dir");
  fs::create_symlink(outside / "keep.txt", data / "link-to-file");

  env::ClearUserDataDirectory();
  EXPECT_TRUE(fs::is_directory(data));
  EXPECT_TRUE(fs::is_empty(data));
  EXPECT_EQ(ReadFile(outside / "keep.txt"), "keep");
}

TEST_F(UserFolders, ClearCacheFlagIsConsumedOnlyForOne) {
  const fs::path data = home_.path() / "data/morvanecrm";
  const std::string config = env::GetConfigFilePath();
  fs::create_directories(data);
  WriteFile(data / "marker", "x");

  WritePrivateProfileString("Cache", "clearCache", "2", config);
  app::ConsumeClearCacheFlag();
  EXPECT_TRUE(fs::exists(data / "marker"));
  EXPECT_EQ(GetPrivateProfileString("Cache", "clearCache", "", config), "2");

  WritePrivateProfileString("Cache", "clearCache", "1", config);
  app::ConsumeClearCacheFlag();
  EXPECT_FALSE(fs::exists(data / "marker"));
  EXPECT_EQ(GetPrivateProfileString("Cache", "clearCache", "", config), "0");
}

TEST(Firewall, FirewalldGetsTheRuleNowAndForLater) {
  TempDir bin;
  WriteFile(bin.path() / "firewall-cmd", "#!/bin/sh\n");
  fs::permissions(bin.path() / "firewall-cmd", fs::perms::owner_all);
  const std::string saved = getenv("PATH") ? getenv("PATH") : "";
  setenv("PATH", bin.str().c_str(), 1);
  const auto commands = env::FirewallCommands();
  setenv("PATH", saved.c_str(), 1);
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(commands[0], (std::vector<std::string>{"firewall-cmd", "--add-port=53526/udp"}));
  EXPECT_EQ(commands[1], (std::vector<std::string>{"firewall-cmd", "--permanent", "--add-port=53526/udp"}));
}

TEST(FullScreen, ModeTransitions) {
  bool changed = false;
  EXPECT_TRUE(env::FullScreenTarget(1, false, changed));
  EXPECT_TRUE(changed);
  EXPECT_TRUE(env::FullScreenTarget(1, true, changed));
  EXPECT_FALSE(changed);
  EXPECT_FALSE(env::FullScreenTarget(2, true, changed));
  EXPECT_TRUE(changed);
  EXPECT_TRUE(env::FullScreenTarget(2, false, changed));
  EXPECT_TRUE(changed);
  EXPECT_FALSE(env::FullScreenTarget(0, false, changed));
  EXPECT_FALSE(changed);
  EXPECT_TRUE(env::FullScreenTarget(3, true, changed));
  EXPECT_FALSE(changed);
}

TEST(FullScreen, StateIsRecordedWithoutAWindow) {
  env::SetFullScreen(0);
  env::SetFullScreen(1);
  EXPECT_TRUE(env::IsFullScreen());
  env::SetFullScreen(7);
  EXPECT_TRUE(env::IsFullScreen());
  env::SetFullScreen(2);
  EXPECT_FALSE(env::IsFullScreen());
}

}  // namespace

namespace {

// Sets or (with nullptr) unsets an environment variable for one scope.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, had_ = true;
    value ? setenv(name, value, 1) : unsetenv(name);
  }
  ~ScopedVariable() { had_ ? setenv(name_, old_.c_str(), 1) : unsetenv(name_); }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

TEST(RuntimeFolder, NeverOneAnotherUserMade) {
  TempDir dir;
  const std::string temp = dir.str() + "/tmp", home = dir.str() + "/home";
  std::filesystem::create_directories(temp);
  std::filesystem::create_directories(home);
  ScopedVariable runtime("XDG_RUNTIME_DIR", nullptr);
  ScopedVariable tmpdir("TMPDIR", temp.c_str());
  ScopedVariable home_variable("HOME", home.c_str());
  ScopedVariable cache("XDG_CACHE_HOME", nullptr);
  const std::string ours = temp + "/veltrocrm-" + std::to_string(getuid());
  // Made private; one of ours left open to others is closed again.
  EXPECT_EQ(platform::RuntimeFolder(), ours);
  chmod(ours.c_str(), 0777);
  EXPECT_EQ(platform::RuntimeFolder(), ours);
  struct stat status;
  ASSERT_EQ(stat(ours.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0700u);
  if (geteuid() != 0) GTEST_SKIP() << "needs root to play the other user";
  // Another user made the name first (once it broke single instance): the
  // user's cache folder serves instead, made private.
  ASSERT_EQ(chown(ours.c_str(), 65534, 65534), 0);
  const std::string fallback = home + "/.cache/veltrocrm-runtime";
  EXPECT_EQ(platform::RuntimeFolder(), fallback);
  ASSERT_EQ(stat(fallback.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0700u);
  // A link of theirs pointing at a folder of ours is no folder of ours.
  std::filesystem::remove(ours);
  std::filesystem::create_directory_symlink(fallback, ours);
  EXPECT_EQ(platform::RuntimeFolder(), fallback);
}

}  // namespace
