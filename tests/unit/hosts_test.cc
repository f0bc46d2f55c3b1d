// The hosts file: what a pin changes, and how a change survives signals,
// limits, links and mounts.
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

TEST(HostsFile, KeepDropAndMarkRules) {
  const std::string ours = std::string("45.76.100.6 gone.example ") + kPinMarker + "\n";
  const std::string text =
      "127.0.0.1 localhost\n"
      "\n"
      "# old pin for crm.example\n"
      "45.76.100.9 crm.example\n"
      "45.76.100.8 www.crm.example\n"
      "45.76.100.7 other.example\n" +
      ours + "\n\n";
  const HostsLines lines = SplitHostsLines(text, {"crm.example"});
  // Only lines that give the domain itself an address are the domain's:
  // a comment or a name under it is not.
  EXPECT_EQ(lines.kept, (std::vector<std::string>{"127.0.0.1 localhost\n", "\n", "# old pin for crm.example\n",
                                                  "45.76.100.8 www.crm.example\n", "45.76.100.7 other.example\n"}));
  // The user's lines are kept aside; our stale line is simply gone.
  EXPECT_EQ(lines.taken_out, (std::vector<std::string>{"45.76.100.9 crm.example\n"}));
  // A pin of "e.or" once took out a line that merely contained the text.
  const std::string box = "127.0.1.1 box.corp.example.org box\n";
  EXPECT_EQ(SplitHostsLines(box, {"e.or"}).kept, (std::vector<std::string>{box}));
  // Any name of the line counts, in any case, before a comment.
  EXPECT_EQ(SplitHostsLines("45.76.100.1\tBOX.Example.ORG  box # x.example\n", {"box.example.org", "x.example"}).taken_out,
            (std::vector<std::string>{"45.76.100.1\tBOX.Example.ORG  box # x.example\n"}));
  EXPECT_TRUE(SplitHostsLines("45.76.100.1 box # x.example\n", {"x.example"}).taken_out.empty());
  // The address is no name.
  EXPECT_TRUE(SplitHostsLines("x.example y.example\n", {"x.example"}).taken_out.empty());
  // A last line without a line end is kept with one.
  EXPECT_EQ(SplitHostsLines("a\nb", {}).kept, (std::vector<std::string>{"a\n", "b\n"}));
  EXPECT_TRUE(SplitHostsLines("", {"x"}).kept.empty());

  // Only our exact lines are ours; every other byte stays.
  EXPECT_EQ(PinnedHostsLine("45.76.100.6", "gone.example"), ours);
  EXPECT_EQ(WithoutPinnedLines("a\n" + ours + "# " + std::string(kPinMarker) + "\nb"),
            "a\n# " + std::string(kPinMarker) + "\nb");
  EXPECT_FALSE(IsPinnedHostsLine(std::string("6.6.6.6 bank.example x ") + kPinMarker + "\n"));
  EXPECT_EQ(PinnedHostsLine("45.76.113.2\n6.6.6.6 bank.example\n#", "a.example"), "");
  EXPECT_EQ(PinnedHostsLine("45.76.113.2", "corp"), "");
}

TEST(HostsFile, APinTakesOutOnlyItsOwnName) {
  TempDir dir;
  const HostsFiles files = FilesIn(dir);
  const std::string marker = std::string(" ") + kPinMarker + "\n";
  const std::string original = "127.0.0.1 localhost crm.example\n10.1.1.1\tfiles.corp  CRM.Example # desk\n";
  WriteFile(files.hosts, original);
  LocalHostsEditor editor(files);
  ASSERT_TRUE(editor.Pin({{"45.76.113.2", "crm.example"}}));
  // The line's other names still resolve while the pin stands.
  EXPECT_EQ(ReadFile(files.hosts),
            "127.0.0.1 localhost\n10.1.1.1\tfiles.corp # desk\n45.76.113.2 crm.example" + marker);
  ASSERT_TRUE(editor.Unpin(std::chrono::seconds(1)));
  EXPECT_EQ(ReadFile(files.hosts), original);

  // Someone else's edit during the run: the lines still become whole where
  // they stand, and a line the user changed meanwhile gets its name back
  // at the end.
  ASSERT_TRUE(editor.Pin({{"45.76.113.2", "crm.example"}}));
  WriteFile(files.hosts, "# added\n" + ReadFile(files.hosts));
  ASSERT_TRUE(editor.Unpin(std::chrono::seconds(1)));
  EXPECT_EQ(ReadFile(files.hosts), "# added\n" + original);
  ASSERT_TRUE(editor.Pin({{"45.76.113.2", "crm.example"}}));
  WriteFile(files.hosts, "127.0.0.1 localhost me\n10.1.1.1\tfiles.corp # desk\n");
  ASSERT_TRUE(editor.Unpin(std::chrono::seconds(1)));
  EXPECT_EQ(ReadFile(files.hosts), "127.0.0.1 localhost me\n10.1.1.1\tfiles.corp  CRM.Example # desk\n"
                                   "127.0.0.1 localhost crm.example\n");
}

TEST(HostsFile, ALinkIsWrittenThroughAndNothingIsCutShort) {
  TempDir dir;
  const HostsFiles files = FilesIn(dir);
  const std::string real = (dir.path() / "hosts.real").string();
  WriteFile(real, "127.0.0.1 localhost\n");
  std::filesystem::create_symlink(real, files.hosts);
  LocalHostsEditor editor(files);
  ASSERT_TRUE(editor.Pin({{"45.76.113.2", "a.example"}}));
  EXPECT_TRUE(std::filesystem::is_symlink(files.hosts));
  EXPECT_NE(ReadFile(real).find("45.76.113.2 a.example"), std::string::npos);
  ASSERT_TRUE(editor.Unpin(std::chrono::seconds(1)));
  EXPECT_TRUE(std::filesystem::is_symlink(files.hosts));
  EXPECT_EQ(ReadFile(real), "127.0.0.1 localhost\n");

  // A link into a folder others may write is not followed.
  const std::filesystem::path open_folder = dir.path() / "open";
  std::filesystem::create_directory(open_folder);
  chmod(open_folder.c_str(), 0777);
  WriteFile((open_folder / "hosts").string(), "x\n");
  std::filesystem::remove(files.hosts);
  std::filesystem::create_symlink(open_folder / "hosts", files.hosts);
  EXPECT_FALSE(WriteHostsFile(files.hosts, "y\n"));
  EXPECT_EQ(ReadFile((open_folder / "hosts").string()), "x\n");

  // A file size limit (the caller's, ignored signal and all) once made the
  // copy fail and the file be rewritten in place, and emptied: now the file
  // stays as it was.
  std::filesystem::remove(files.hosts);
  const std::string before = "127.0.0.1\tlocalhost\n127.0.1.1\tdesk\n";
  WriteFile(files.hosts, before);
  const pid_t child = fork();
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{10, 10};
    setrlimit(RLIMIT_FSIZE, &limit);
    _exit(WriteHostsFile(files.hosts, before + "45.76.113.2 a.example\n") ? 1 : 0);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_EQ(ReadFile(files.hosts), before);
}

// Runs |test| in a child with its own mount namespace; false when it
// failed, skipped (exit 77) when mounts are not allowed here.
int InMountNamespace(const std::function<bool()>& test) {
  const pid_t child = fork();
  if (child == 0) {
    if (unshare(CLONE_NEWNS) != 0 || mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) _exit(77);
    _exit(test() ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(HostsFile, AMountPointIsRewrittenInPlaceAndPutBackWhenThatFails) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root for a mount namespace";
  TempDir dir;
  const std::string path = (dir.path() / "hosts").string();
  const std::string source = (dir.path() / "source").string();
  const std::string before = "127.0.0.1 localhost\n127.0.1.1 desk\n";
  int result = InMountNamespace([&] {
    WriteFile(path, "");
    WriteFile(source, before);
    if (mount(source.c_str(), path.c_str(), nullptr, MS_BIND, nullptr) != 0) _exit(77);
    // Shorter, then longer: what the file holds is exactly the new text,
    // and no journal is left.
    const bool shorter = WriteHostsFile(path, "127.0.0.1 localhost\n") && ReadFile(source) == "127.0.0.1 localhost\n";
    const bool longer = WriteHostsFile(path, before + "45.76.113.2 a.example\n") &&
                        ReadFile(source) == before + "45.76.113.2 a.example\n";
    return shorter && longer && !std::filesystem::exists(dir.path() / kJournalFileName);
  });
  if (result == 77) GTEST_SKIP() << "mounts not allowed here";
  EXPECT_EQ(result, 0);

  // The mounted file lies on a full file system: the longer text does not
  // fit, and the old one is back before the change ends.
  result = InMountNamespace([&] {
    const std::string small = (dir.path() / "small").string();
    std::filesystem::create_directory(small);
    if (mount("tmpfs", small.c_str(), "tmpfs", 0, "size=4k") != 0) _exit(77);
    WriteFile(small + "/hosts", before);
    WriteFile(path, "");
    if (mount((small + "/hosts").c_str(), path.c_str(), nullptr, MS_BIND, nullptr) != 0) _exit(77);
    return !WriteHostsFile(path, before + std::string(8000, '#') + "\n") && ReadFile(path) == before &&
           !std::filesystem::exists(dir.path() / kJournalFileName);
  });
  if (result == 77) GTEST_SKIP() << "mounts not allowed here";
  EXPECT_EQ(result, 0);
}

TEST(HostsFile, ReplacedWholeWithModeKept) {
  TempDir dir;
  const std::string path = (dir.path() / "hosts").string();
  WriteFile(path, "127.0.0.1 localhost\n");
  chmod(path.c_str(), 0640);
  ASSERT_TRUE(WriteHostsFile(path, "127.0.0.1 localhost\n10.0.0.1 a.example\n"));
  EXPECT_EQ(ReadFile(path), "127.0.0.1 localhost\n10.0.0.1 a.example\n");
  struct stat status;
  ASSERT_EQ(stat(path.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0640u);
  // Nothing else is left in the folder.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()), {}), 1);
  EXPECT_FALSE(WriteHostsFile((dir.path() / "missing").string(), "x\n"));
}

TEST(HostsFile, AnInterruptedRewriteIsFinishedFromItsJournal) {
  TempDir dir;
  const std::string path = (dir.path() / "hosts").string();
  WriteFile(path, "127.0.0.1 loc");  // cut short by a crash
  WriteFile((dir.path() / ".veltrocrm-hosts-journal").string(), "127.0.0.1 localhost\n10.0.0.1 a.example\n");
  WriteFile((dir.path() / ".veltrocrm-hosts-Ab12Cd").string(), "half a temporary file");
  WriteFile((dir.path() / "other").string(), "not ours");
  EXPECT_TRUE(RecoverHostsFile(path));
  EXPECT_EQ(ReadFile(path), "127.0.0.1 localhost\n10.0.0.1 a.example\n");
  std::vector<std::string> left;
  for (const auto& entry : std::filesystem::directory_iterator(dir.path())) left.push_back(entry.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"hosts", "other"}));
  // Nothing to finish: the file stays as it is.
  EXPECT_FALSE(RecoverHostsFile(path));
  EXPECT_EQ(ReadFile(path), "127.0.0.1 localhost\n10.0.0.1 a.example\n");
  // A journal that is a link is not followed.
  std::filesystem::create_symlink(dir.path() / "other", dir.path() / ".veltrocrm-hosts-journal");
  EXPECT_FALSE(RecoverHostsFile(path));
  EXPECT_EQ(ReadFile(path), "127.0.0.1 localhost\n10.0.0.1 a.example\n");
}

TEST(HostsFile, SelectorPinsAndPutsTheFileBack) {
  TempDir dir;
  const HostsFiles files = FilesIn(dir);
  const std::string& path = files.hosts;
  const std::string marker = std::string(" ") + kPinMarker + "\n";
  // The user's own line for a.example, no line end at the end, an empty
  // line at the end: all of it comes back byte for byte.
  const std::string original = "127.0.0.1 localhost\n# keep me\n10.9.9.9 a.example\n\nlast";
  WriteFile(path, original);
  int ready = 0;
  {
    ChannelSelector selector(std::make_shared<LocalHostsEditor>(files), "127.0.0.1:9", [&] { ++ready; });
    selector.AddPinnedLine("a.example", "45.76.113.2");
    selector.AddPinnedLine("b.example", "45.76.113.3");
    selector.AddPinnedLine("c.example", "45.76.113.4\n6.6.6.6 bank.example");  // refused
    selector.AddPinnedLine("corp", "45.76.113.5");                            // refused
    selector.ApplyHostsLines();
    EXPECT_EQ(ReadFile(path), "127.0.0.1 localhost\n# keep me\n\nlast\n45.76.113.2 a.example" + marker +
                                  "45.76.113.3 b.example" + marker);
  }
  EXPECT_EQ(ReadFile(path), original);
  EXPECT_EQ(ready, 0);

  // Someone else edits the file during the run: their edit stays, ours go,
  // the user's line comes back.
  {
    ChannelSelector selector(std::make_shared<LocalHostsEditor>(files), "127.0.0.1:9", nullptr);
    selector.AddPinnedLine("a.example", "45.76.113.2");
    selector.ApplyHostsLines();
    WriteFile(path, ReadFile(path) + "10.1.1.1 added.example\n");
  }
  EXPECT_EQ(ReadFile(path), "127.0.0.1 localhost\n# keep me\n\nlast\n10.1.1.1 added.example\n10.9.9.9 a.example\n");

  // A crashed run's lines are taken out at the next start, whatever their domain.
  WriteFile(path, "127.0.0.1 localhost\n45.76.113.9 old.example" + marker + "tail");
  ChannelSelector(std::make_shared<LocalHostsEditor>(files), "127.0.0.1:9", nullptr).RemoveStaleLines();
  EXPECT_EQ(ReadFile(path), "127.0.0.1 localhost\ntail");

  // A run that crashed after its rewrite left its restore point: the next
  // start puts the user's line back too.
  const std::string before = "127.0.0.1 localhost\n10.9.9.9 a.example\nend";
  const std::string during = "127.0.0.1 localhost\nend\n45.76.113.2 a.example" + marker;
  ASSERT_TRUE(SaveRestorePoint(path, before, during));
  WriteFile(path, during);
  ChannelSelector(std::make_shared<LocalHostsEditor>(files), "127.0.0.1:9", nullptr).RemoveStaleLines();
  EXPECT_EQ(ReadFile(path), before);
  std::string saved_original, saved_written;
  EXPECT_FALSE(LoadRestorePoint(path, saved_original, saved_written));
}

TEST(HostsFile, AStoppedRunPinsNothing) {
  TempDir dir;
  const HostsFiles files = FilesIn(dir);
  const std::string& path = files.hosts;
  WriteFile(path, "127.0.0.1 localhost\n");
  ChannelSelector selector(std::make_shared<LocalHostsEditor>(files), "127.0.0.1:9", nullptr);
  selector.AddPinnedLine("a.example", "45.76.113.2");
  selector.Stop();
  selector.ApplyHostsLines();
  EXPECT_EQ(ReadFile(path), "127.0.0.1 localhost\n");

  // A service that takes the connection and never answers: a stopped run
  // gives up instead of waiting out the 5 s time-out.
  SilentServer service;
  ASSERT_NE(service.port(), 0);
  ChannelSelector silent(std::make_shared<LocalHostsEditor>(files), "127.0.0.1:" + std::to_string(service.port()), nullptr);
  silent.Stop();
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(silent.FetchChannelList());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
}

}  // namespace
