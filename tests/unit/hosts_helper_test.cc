// The hosts file's root helper: it trusts nothing of its caller, pins
// only the service's domains, and no other user holds it up.
#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <fcntl.h>
#include <signal.h>
#include <sched.h>
#include <sys/file.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <chrono>
#include <cstring>
#include <future>
#include <thread>
#include <vector>

#include "channel/channel_list.h"
#include "channel/channel_selector.h"
#include "channel/curl_library.h"
#include "channel/host_names.h"
#include "channel/hosts_file.h"
#include "channel/hosts_text.h"
#include "channel/hosts_pinning.h"
#include "channel/pinger.h"
#include "engine/encoding.h"
#include "env/logs.h"
#include "platform/process.h"
#include "test_support.h"
#include "hosts_files.h"

using namespace channel;

namespace {

TEST(HostsHelper, TrustsNothingOfItsCaller) {
  // As a caller may leave it: a tiny file size limit, signals ignored or
  // blocked, a standard error that is a full pipe nobody reads.
  int errors[2];
  ASSERT_EQ(pipe(errors), 0);
  fcntl(errors[1], F_SETFL, O_NONBLOCK);
  const std::string block(4096, 'x');
  while (write(errors[1], block.data(), block.size()) > 0) {
  }
  fcntl(errors[1], F_SETFL, 0);
  const pid_t child = fork();
  if (child == 0) {
    close(errors[0]);
    dup2(errors[1], STDERR_FILENO);
    signal(SIGTERM, SIG_IGN);
    signal(SIGXFSZ, SIG_IGN);
    signal(SIGCHLD, SIG_IGN);
    // Only the soft limit: a hard one needs a right root lacks in some
    // containers to be lifted.
    rlimit limit{};
    getrlimit(RLIMIT_FSIZE, &limit);
    limit.rlim_cur = 0;
    setrlimit(RLIMIT_FSIZE, &limit);
    const platform::CallerState caller = platform::TakeOverFromCaller();
    const int kept = caller.errors;
    env::SendProgramLogToStream(kept);
    for (int i = 0; i < 50; ++i) env::WriteProgramLog("a line nobody reads");
    rlimit size{}, core{};
    getrlimit(RLIMIT_FSIZE, &size);
    getrlimit(RLIMIT_CORE, &core);
    struct sigaction term {}, interrupt {}, child_signal {};
    sigaction(SIGTERM, nullptr, &term);
    sigaction(SIGINT, nullptr, &interrupt);
    sigaction(SIGCHLD, nullptr, &child_signal);
    struct stat err {};
    const bool fine = caller.limits_lifted && size.rlim_cur == RLIM_INFINITY && core.rlim_max == 0 && term.sa_handler == SIG_DFL &&
                      interrupt.sa_handler == SIG_IGN && child_signal.sa_handler == SIG_DFL && kept > STDERR_FILENO &&
                      fstat(STDERR_FILENO, &err) == 0 && S_ISCHR(err.st_mode);
    _exit(fine ? 0 : 1);
  }
  close(errors[1]);
  int status = 0;
  const auto start = std::chrono::steady_clock::now();
  ASSERT_EQ(waitpid(child, &status, 0), child);
  close(errors[0]);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  // One wait for the full stream, then no more.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
}

TEST(HostsHelper, RefusesEverythingButItsOwnCommands) {
  TempDir dir;
  const HostsFiles files = FilesIn(dir);
  const std::string& path = files.hosts;
  const std::string original = "127.0.0.1 localhost\n10.9.9.9 a.example\n";
  WriteFile(path, original);
  std::vector<std::string> too_many{"pin"};
  for (int i = 0; i < 1025; ++i) too_many.insert(too_many.end(), {"45.76.113.2", "h" + std::to_string(i) + ".example"});
  const std::vector<std::vector<std::string>> refused{
      {}, {"pin"}, {"pin", "45.76.113.2"}, {"pin", "45.76.113.2", "a.example", "45.76.113.3"},
      {"pin", "127.0.0.02", "a.example"}, {"pin", "45.76.113.2", "localhost"}, {"pin", "45.76.113.2", "corp"},
      {"pin", "45.76.113.2", "a.example\n6.6.6.6 bank.example"}, {"pin", "45.76.113.2 b.example", "a.example"},
      // One bad pair spoils the whole command.
      {"pin", "45.76.113.2", "a.example", "6.6.6.6", "-x"}, {"unpin", "/etc/passwd"}, {"allow-call-port", "1"},
      {"PIN", "45.76.113.2", "a.example"}, {"--help"}, too_many};
  for (const auto& arguments : refused) {
    EXPECT_EQ(RunHostsHelper(files, arguments), 2) << ::testing::PrintToString(arguments);
    EXPECT_EQ(ReadFile(path), original);
  }
  EXPECT_FALSE(HostsFileNeedsCleaning(path));

  // Two pins in one run, then unpin: the user's line for a.example is back.
  const std::string marker = std::string(" ") + kPinMarker + "\n";
  EXPECT_EQ(RunHostsHelper(files, {"pin", "45.76.113.2", "a.example"}), 0);
  EXPECT_EQ(RunHostsHelper(files, {"pin", "45.76.113.3", "a.example", "45.76.113.4", "b.example"}), 0);
  EXPECT_EQ(ReadFile(path), "127.0.0.1 localhost\n45.76.113.3 a.example" + marker + "45.76.113.4 b.example" + marker);
  EXPECT_TRUE(HostsFileNeedsCleaning(path));
  EXPECT_EQ(RunHostsHelper(files, {"unpin"}), 0);
  EXPECT_EQ(ReadFile(path), original);
  EXPECT_FALSE(HostsFileNeedsCleaning(path));
  // A line of ours alone, without a restore point, also needs cleaning.
  WriteFile(path, original + "45.76.113.9 old.example" + marker);
  EXPECT_TRUE(HostsFileNeedsCleaning(path));
}

TEST(HostsHelper, PinsOnlyTheServicesDomains) {
  TempDir dir;
  HostsFiles files = FilesIn(dir);
  const std::string original = "127.0.0.1 localhost\n";
  WriteFile(files.hosts, original);
  // Once any user of the session could point any domain anywhere.
  for (const auto& arguments : std::vector<std::vector<std::string>>{
           {"pin", "6.6.6.6", "www.google.com"}, {"pin", "45.76.113.2", "evilservice.test"},
           {"pin", "45.76.113.2", "service.test.evil.com"}, {"pin", "45.76.113.2", "a.example", "6.6.6.6", "www.paypal.com"}}) {
    EXPECT_EQ(RunHostsHelper(files, arguments), 2) << ::testing::PrintToString(arguments);
    EXPECT_EQ(ReadFile(files.hosts), original);
  }
  // The suffix itself, names under it, in any case.
  EXPECT_EQ(RunHostsHelper(files, {"pin", "45.76.113.2", "service.test", "45.76.113.3", "WWW.Service.Test"}), 0);
  EXPECT_EQ(RunHostsHelper(files, {"unpin"}), 0);
  EXPECT_EQ(ReadFile(files.hosts), original);

  // A list anyone but root and its owner could have written, a link, or
  // none at all: nothing may be pinned.
  chmod(files.pinnable_domains.c_str(), 0666);
  EXPECT_EQ(RunHostsHelper(files, {"pin", "45.76.113.2", "a.example"}), 2);
  chmod(files.pinnable_domains.c_str(), 0644);
  const std::string link = (dir.path() / "link").string();
  std::filesystem::create_symlink(files.pinnable_domains, link);
  EXPECT_EQ(RunHostsHelper({files.hosts, link, files.lock}, {"pin", "45.76.113.2", "a.example"}), 2);
  EXPECT_EQ(RunHostsHelper({files.hosts, files.pinnable_domains + ".missing", files.lock}, {"pin", "45.76.113.2", "a.example"}), 2);
  EXPECT_EQ(ReadFile(files.hosts), original);

  // The client asks for nothing the helper would refuse, and a channel
  // list naming a foreign domain gets only the service's pinned.
  const std::string calls = (dir.path() / "calls").string();
  const std::string helper = (dir.path() / "helper").string();
  WriteFile(helper, "#!/bin/sh\necho \"$*\" >> '" + calls + "'\n");
  chmod(helper.c_str(), 0700);
  EXPECT_FALSE(HelperHostsEditor(helper, files).Pin({{"6.6.6.6", "www.paypal.com"}}));
  EXPECT_EQ(ReadFile(calls), "");
  ChannelSelector selector(std::make_shared<LocalHostsEditor>(files), "127.0.0.1:9", nullptr);
  selector.AddPinnedLine("www.paypal.com", "6.6.6.6");
  selector.AddPinnedLine("crm.service.test", "45.76.113.2");
  EXPECT_EQ(selector.pinned_hosts(), (std::vector<PinnedHost>{{"45.76.113.2", "crm.service.test"}}));
}

TEST(HostsHelper, AnotherUserCannotHoldAChangeUp) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as a second user";
  TempDir dir;
  const HostsFiles files = FilesIn(dir);
  WriteFile(files.hosts, "127.0.0.1 localhost\n");
  chmod(dir.str().c_str(), 0755);
  ASSERT_EQ(RunHostsHelper(files, {"unpin"}), 0);  // makes the lock file
  struct stat lock_status;
  ASSERT_EQ(stat(files.lock.c_str(), &lock_status), 0);
  EXPECT_EQ(lock_status.st_mode & 0777, 0600u);

  // A second user locks everything it can open there, as the attack did
  // with the hosts file's folder, and stays.
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t other = fork();
  ASSERT_GE(other, 0);
  if (other == 0) {
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(1);
    const int folder = open(dir.str().c_str(), O_RDONLY | O_DIRECTORY);
    const bool folder_locked = folder >= 0 && flock(folder, LOCK_EX) == 0;
    const bool lock_opened = open(files.lock.c_str(), O_RDONLY) >= 0;
    const char report = folder_locked && !lock_opened ? 'y' : 'n';
    if (write(ready[1], &report, 1) != 1) _exit(1);
    pause();
    _exit(0);
  }
  close(ready[1]);
  char report = 0;
  ASSERT_EQ(read(ready[0], &report, 1), 1);
  close(ready[0]);
  EXPECT_EQ(report, 'y') << "the other user could open the lock, or not lock the folder";
  const auto start = std::chrono::steady_clock::now();
  auto pinned = std::async(std::launch::async, [&] {
    return RunHostsHelper(files, {"pin", "45.76.113.2", "a.example"}) == 0 && RunHostsHelper(files, {"unpin"}) == 0;
  });
  const bool ended = pinned.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
  kill(other, SIGKILL);
  waitpid(other, nullptr, 0);
  EXPECT_TRUE(ended) << "the helper waited for the other user";
  EXPECT_TRUE(pinned.get());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));

  // A lock file someone else owns is no lock at all: the change is refused.
  ASSERT_EQ(chown(files.lock.c_str(), 65534, 65534), 0);
  EXPECT_EQ(RunHostsHelper(files, {"pin", "45.76.113.2", "a.example"}), 1);
  EXPECT_EQ(ReadFile(files.hosts), "127.0.0.1 localhost\n");
}

TEST(HostsHelper, TheClientStartsItWithTheHostsAsArguments) {
  TempDir dir;
  const HostsFiles files = FilesIn(dir);
  const std::string& path = files.hosts;
  const std::string calls = (dir.path() / "calls").string();
  const std::string helper = (dir.path() / "helper").string();
  // Records its arguments; fails when asked to pin b.example.
  WriteFile(helper, "#!/bin/sh\necho \"$*\" >> '" + calls +
                        "'\necho 'a line' >&2\ncase \"$*\" in *b.example*) exit 3;; esac\n");
  chmod(helper.c_str(), 0700);
  WriteFile(path, "127.0.0.1 localhost\n");
  HelperHostsEditor editor(helper, files);
  EXPECT_TRUE(editor.Pin({{"45.76.113.2", "a.example"}, {"45.76.113.3", "c.example"}}));
  EXPECT_FALSE(editor.Pin({{"45.76.113.2", "b.example"}}));
  // A clean file needs no helper, so no password prompt at every start.
  EXPECT_TRUE(editor.Unpin(std::chrono::seconds(10)));
  EXPECT_EQ(ReadFile(calls), "pin 45.76.113.2 a.example 45.76.113.3 c.example\npin 45.76.113.2 b.example\n");
  WriteFile(path, std::string("45.76.113.2 a.example ") + kPinMarker + "\n");
  EXPECT_TRUE(editor.Unpin(std::chrono::seconds(10)));
  EXPECT_EQ(ReadFile(calls), "pin 45.76.113.2 a.example 45.76.113.3 c.example\npin 45.76.113.2 b.example\nunpin\n");
  EXPECT_FALSE(HelperHostsEditor((dir.path() / "missing").string(), files).Unpin(std::chrono::seconds(10)));
  // The exit waits for a helper that does not end no longer than it says.
  const std::string stuck = (dir.path() / "stuck").string();
  WriteFile(stuck, "#!/bin/sh\nexec sleep 30\n");
  chmod(stuck.c_str(), 0700);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(HelperHostsEditor(stuck, files).Unpin(std::chrono::milliseconds(300)));
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
}

TEST(HostsHelper, AHelperWaitingOnItsPasswordDoesNotHoldTheExit) {
  TempDir dir;
  const HostsFiles files = FilesIn(dir);
  WriteFile(files.hosts, "127.0.0.1 localhost\n");
  // pkexec waiting for a password nobody types.
  const std::string started = (dir.path() / "started").string();
  const std::string helper = (dir.path() / "helper").string();
  WriteFile(helper, "#!/bin/sh\ntouch '" + started + "'\nexec sleep 4\n");
  chmod(helper.c_str(), 0700);
  ChannelSelector selector(std::make_shared<HelperHostsEditor>(helper, files), "127.0.0.1:9", nullptr);
  selector.AddPinnedLine("a.example", "45.76.113.2");
  std::thread run([&] { selector.ApplyHostsLines(); });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!std::filesystem::exists(started) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(std::filesystem::exists(started));
  // The exit: stop, then take the pins out, within its 2 s.
  const auto start = std::chrono::steady_clock::now();
  selector.Stop();
  selector.RemovePinnedLines();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  run.join();
}

TEST(RunCommand, StatusErrorsAndTimeOut) {
  std::string errors;
  EXPECT_EQ(platform::RunCommand({"/bin/sh", "-c", "echo out; echo oops >&2; exit 3"}, std::chrono::seconds(10), errors), 3);
  EXPECT_EQ(errors, "oops\n");
  EXPECT_EQ(platform::RunCommand({"/nonexistent/program"}, std::chrono::seconds(10), errors), 127);
  // No input: a command reading it sees its end at once.
  EXPECT_EQ(platform::RunCommand({"/bin/sh", "-c", "read x"}, std::chrono::seconds(10), errors), 1);
  // Much output is cut, not waited on.
  EXPECT_EQ(platform::RunCommand({"/bin/sh", "-c", "head -c 1000000 /dev/zero >&2"}, std::chrono::seconds(10), errors), 0);
  EXPECT_EQ(errors.size(), 64u * 1024);
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(platform::RunCommand({"/bin/sleep", "30"}, std::chrono::milliseconds(300), errors), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_EQ(platform::RunCommand({"/bin/sh", "-c", "kill -9 $$"}, std::chrono::seconds(10), errors), -1);
  // Only a program by absolute path, never one of the working folder's; in
  // "/" and with nothing of the caller's environment.
  TempDir dir;
  const std::string planted = dir.str() + "/resolvectl";
  std::ofstream(planted) << "#!/bin/sh\ntouch " << dir.str() << "/ran\n";
  chmod(planted.c_str(), 0755);
  char* previous = getcwd(nullptr, 0);
  ASSERT_EQ(chdir(dir.str().c_str()), 0);
  EXPECT_EQ(platform::RunCommand({"resolvectl", "flush-caches"}, std::chrono::seconds(10), errors), -1);
  EXPECT_EQ(platform::RunCommand({"./resolvectl"}, std::chrono::seconds(10), errors), -1);
  EXPECT_EQ(platform::RunCommand({"/bin/sh", "-c", "pwd >&2"}, std::chrono::seconds(10), errors), 0);
  EXPECT_EQ(errors, "/\n");
  ASSERT_EQ(chdir(previous), 0);
  free(previous);
  EXPECT_NE(access((dir.str() + "/ran").c_str(), F_OK), 0) << "the planted program ran";
  setenv("VELTRO_CALLER_CHOICE", "LD_PRELOAD=/tmp/x.so", 1);
  EXPECT_EQ(platform::RunCommand({"/bin/sh", "-c", "env | sort >&2"}, std::chrono::seconds(10), errors), 0);
  unsetenv("VELTRO_CALLER_CHOICE");
  EXPECT_EQ(errors.find("VELTRO_CALLER_CHOICE"), std::string::npos) << errors;
  EXPECT_NE(errors.find("PATH=/usr/sbin:/usr/bin:/sbin:/bin"), std::string::npos) << errors;
  // Root runs the program itself; anyone else goes through pkexec.
  const std::vector<std::string> as_root = platform::AsRoot({"/usr/lib/x/helper", "unpin"});
  if (geteuid() == 0) {
    EXPECT_EQ(as_root, (std::vector<std::string>{"/usr/lib/x/helper", "unpin"}));
  }
}

}  // namespace
