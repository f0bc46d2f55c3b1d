#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "browser/downloads.h"
#include "env/service_origin.h"
#include "env/window_messages.h"
#include "test_support.h"

using namespace browser;

namespace {

class Continued : public engine::BeforeDownloadCallback {
 public:
  void Continue(const std::string& download_path) override { path = download_path; }
  std::string path;
};

class Cancels : public engine::DownloadItemCallback {
 public:
  void Cancel() override { ++count; }
  int count = 0;
};

TEST(DownloadNames, KindFilterAndExtension) {
  const struct {
    const char* name;
    bool upgrade;
    const char* filter;
    const char* extension;
  } cases[] = {
      {"Setup.exe", true, "(*.exe)", ".exe"},
      {"tool.exe.zip", false, "(*.zip)", ".zip"},
      {"report.exe.html", false, "(*.html)", ".html"},
      {"run.exe.desktop", false, "(*.desktop)", ".desktop"},
      {"SETUP.EXE", false, "(*.EXE)", ".EXE"},
      {"veltrocrm_2.6.2_amd64.deb", true, "(*.deb)", ".deb"},
      {"notes.deb.txt", false, "(*.txt)", ".txt"},
      {"report.xlsx", false, "Microsft Excel 工作表(*.xls)", ".xlsx"},
      {"README", false, "(*README)", "README"},
      {"报表.pdf", false, "(*.pdf)", ".pdf"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsUpgradePackageName(c.name), c.upgrade) << c.name;
    EXPECT_EQ(SaveDialogFilter(c.name), c.filter) << c.name;
    EXPECT_EQ(DownloadExtension(c.name), c.extension) << c.name;
  }
  EXPECT_EQ(SafeDownloadName("../../etc/passwd"), ".._.._etc_passwd");
  EXPECT_EQ(SafeDownloadName(".."), "download");
  EXPECT_EQ(SafeDownloadName(""), "download");
  EXPECT_EQ(SafeDownloadName("a\nb.exe"), "a_b.exe");
}

TEST(DownloadNames, ServicePages) {
  const std::string start = "https://crm.example.com/client";
  EXPECT_TRUE(env::IsServicePage("https://crm.example.com/client/#/orders", start));
  EXPECT_TRUE(env::IsServicePage("https://CRM.example.com:443/other", start));
  EXPECT_FALSE(env::IsServicePage("http://crm.example.com/client", start));
  EXPECT_FALSE(env::IsServicePage("https://crm.example.com.evil.test/", start));
  EXPECT_FALSE(env::IsServicePage("https://crm.example.com:8443/", start));
  EXPECT_FALSE(env::IsServicePage("about:blank", start));
  EXPECT_FALSE(env::IsServicePage("", start));
  EXPECT_FALSE(env::IsServicePage("null", start));  // an opaque origin
  EXPECT_FALSE(env::IsServicePage("about:console", start));
  EXPECT_TRUE(env::IsServicePage("http://127.0.0.1:8080/x", "http://127.0.0.1:8080/index.html"));
}

// A download of |url| that the user asked for, straight from there.
engine::DownloadItem From(const std::string& url) {
  engine::DownloadItem item;
  item.url = url;
  item.url_chain = {url};
  return item;
}

TEST(DownloadNames, OnlyTheServicesOwnInstallerIsAnUpgrade) {
  const std::string start = "https://crm.example.com/client";
  const std::string installer = "https://crm.example.com/files/Setup.exe";
  EXPECT_TRUE(IsServiceUpgrade(From(installer), "Setup.exe", start));
  engine::DownloadItem item = From(installer);
  item.initiator = "https://crm.example.com";  // a link or a hidden frame of the service's page
  EXPECT_TRUE(IsServiceUpgrade(item, "Setup.exe", start));
  item.url_chain = {"https://crm.example.com/latest", installer};  // a redirect of its own
  EXPECT_TRUE(IsServiceUpgrade(item, "Setup.exe", start));
  engine::DownloadItem blob;  // built by the service's own script
  blob.url = "blob:https://crm.example.com/0b6c3c2e-1a43-4c5e-9d1e-3c9c2b5f7d10";
  EXPECT_TRUE(IsServiceUpgrade(blob, "Setup.exe", start));

  // Once a page of the service was enough, whoever served the file and
  // whichever frame asked for it.
  EXPECT_FALSE(IsServiceUpgrade(From("https://evil.example.org/evil.exe"), "evil.exe", start));
  EXPECT_FALSE(IsServiceUpgrade(From("https://crm.example.com.evil.test/evil.exe"), "evil.exe", start));
  item.initiator = "https://evil.example.org";  // a frame of another origin, in this window or one it opened
  EXPECT_FALSE(IsServiceUpgrade(item, "Setup.exe", start));
  item.initiator = "null";  // a sandboxed one
  EXPECT_FALSE(IsServiceUpgrade(item, "Setup.exe", start));
  item = From(installer);
  item.url_chain = {"https://evil.example.org/go", installer};  // another origin's redirect
  EXPECT_FALSE(IsServiceUpgrade(item, "Setup.exe", start));
  item.url_chain = {"", installer};  // a redirect from an address never seen
  EXPECT_FALSE(IsServiceUpgrade(item, "Setup.exe", start));
  item.url_chain.clear();  // never seen loading
  EXPECT_FALSE(IsServiceUpgrade(item, "Setup.exe", start));
  blob.url = "blob:https://evil.example.org/0b6c3c2e";
  EXPECT_FALSE(IsServiceUpgrade(blob, "Setup.exe", start));
  blob.url = "blob:null/0b6c3c2e";
  EXPECT_FALSE(IsServiceUpgrade(blob, "Setup.exe", start));
  EXPECT_FALSE(IsServiceUpgrade(From(installer), "report.exe.html", start));
  EXPECT_FALSE(IsServiceUpgrade(From(installer), "run.exe.desktop", start));
}

class Downloads : public ::testing::Test {
 protected:
  void SetUp() override {
    home_ = std::getenv("HOME") ? std::getenv("HOME") : "";
    setenv("HOME", folder.str().c_str(), 1);
  }
  void TearDown() override { setenv("HOME", home_.c_str(), 1); }

  DownloadHandling Make() {
    return DownloadHandling(
        "https://crm.example.com/client",
        [this](const platform::SaveFileRequest& request) {
          asked.push_back(request);
          return answer;
        },
        [this](uint32_t command, intptr_t lparam) { posted.push_back({command, lparam}); }, upgrades);
  }
  static engine::DownloadItem Progress(int percent, int64_t received = 10, uint32_t id = 0) {
    engine::DownloadItem item;
    item.id = id;
    item.in_progress = true;
    item.received_bytes = received;
    item.percent_complete = percent;
    return item;
  }
  static engine::DownloadItem Complete(const std::string& path, uint32_t id = 0) {
    engine::DownloadItem item;
    item.id = id;
    item.complete = true;
    item.full_path = path;
    return item;
  }

  TempDir folder;
  std::string home_;
  UpgradeDownloads upgrades;
  std::vector<platform::SaveFileRequest> asked;
  std::string answer;
  std::vector<std::pair<uint32_t, intptr_t>> posted;
};

TEST_F(Downloads, TheServicesInstallerIsSavedWithoutAskingAndReported) {
  auto handling = Make();
  Continued target;
  handling.OnBeforeDownload(From("https://crm.example.com/client/x"), "Setup.exe", target);
  // The folder did not exist on this fresh account: it is made.
  EXPECT_EQ(target.path, folder.str() + "/Documents/Downloads/Setup.exe");
  EXPECT_TRUE(std::filesystem::is_directory(folder.path() / "Documents/Downloads"));
  EXPECT_TRUE(asked.empty());
  Cancels cancels;
  handling.OnDownloadUpdated(Progress(0, 0), cancels);  // nothing received yet
  handling.OnDownloadUpdated(Progress(37), cancels);
  handling.OnDownloadUpdated(Complete(target.path), cancels);
  EXPECT_EQ(posted, (std::vector<std::pair<uint32_t, intptr_t>>{{CMD_UPGRADE_PROGRESS, 37}, {CMD_UPGRADE_DOWNLOADED, 0}}));
  EXPECT_EQ(upgrades.path(), target.path);
  EXPECT_FALSE(upgrades.Has(0));
  EXPECT_EQ(cancels.count, 0);

  // A name that would leave the folder stays in it.
  Continued escaping;
  handling.OnBeforeDownload(From("https://crm.example.com/client/x"), "../../bin/x.exe", escaping);
  EXPECT_EQ(escaping.path, folder.str() + "/Documents/Downloads/.._.._bin_x.exe");
  // A file of the user's of that name stays: the installer takes a free one.
  std::ofstream(folder.str() + "/Documents/Downloads/Setup.exe") << "the user's own";
  std::ofstream(folder.str() + "/Documents/Downloads/Setup (1).exe") << "the user's own too";
  Continued beside;
  handling.OnBeforeDownload(From("https://crm.example.com/client/x"), "Setup.exe", beside);
  EXPECT_EQ(beside.path, folder.str() + "/Documents/Downloads/Setup (2).exe");
  Continued no_extension;
  std::ofstream(folder.str() + "/Documents/Downloads/.exe") << "a hidden file";
  handling.OnBeforeDownload(From("https://crm.example.com/client/x"), ".exe", no_extension);
  EXPECT_EQ(no_extension.path, folder.str() + "/Documents/Downloads/.exe (1)");
  // A name longer than a file name can be is refused.
  Continued too_long;
  handling.OnBeforeDownload(From("https://crm.example.com/client/x"), std::string(300, 'a') + ".exe", too_long);
  EXPECT_TRUE(too_long.path.empty());
}

TEST_F(Downloads, OtherPagesAndNamesGoThroughTheSaveDialog) {
  auto handling = Make();
  answer = "/chosen/place.bin";
  const struct {
    const char* page;
    const char* name;
    const char* filter;
    const char* suffix;
  } cases[] = {
      {"https://elsewhere.example.org/", "Setup.exe", "(*.exe)", "exe"},   // not the service
      {"http://crm.example.com/client", "Setup.exe", "(*.exe)", "exe"},    // not over https
      {"https://crm.example.com/client", "SETUP.EXE", "(*.EXE)", "EXE"},   // case matters
      {"https://crm.example.com/client", "report.exe.html", "(*.html)", "html"},
      {"https://crm.example.com/client", "report.xlsx", "Microsft Excel 工作表(*.xls)", "xlsx"},
      {"https://crm.example.com/client", "README", "(*README)", ""},       // nothing added
  };
  for (const auto& c : cases) {
    asked.clear();
    Continued target;
    handling.OnBeforeDownload(From(c.page), c.name, target);
    ASSERT_EQ(asked.size(), 1u) << c.name;
    EXPECT_EQ(asked[0].file_name, c.name);
    EXPECT_EQ(asked[0].filter, c.filter) << c.name;
    EXPECT_EQ(asked[0].default_suffix, c.suffix) << c.name;
    EXPECT_EQ(asked[0].folder, folder.str() + "/Desktop");
    EXPECT_EQ(target.path, "/chosen/place.bin");
    EXPECT_FALSE(upgrades.Has(0));
  }
  // Two ordinary downloads finishing in turn: two notices, no progress.
  Cancels cancels;
  handling.OnDownloadUpdated(Progress(50), cancels);
  handling.OnDownloadUpdated(Complete("/chosen/a"), cancels);
  handling.OnDownloadUpdated(Complete("/chosen/b"), cancels);
  EXPECT_EQ(posted, (std::vector<std::pair<uint32_t, intptr_t>>{{CMD_DOWNLOAD_FINISHED, 0}, {CMD_DOWNLOAD_FINISHED, 0}}));
  EXPECT_EQ(upgrades.path(), "");
}

TEST_F(Downloads, AnUpgradeIsItsOwnFileAndItsCancelItsOwn) {
  auto handling = Make();
  answer = "";  // the user cancels the dialog: not continued
  Continued refused;
  handling.OnBeforeDownload(From("https://crm.example.com/client/x"), "report.xlsx", refused);
  EXPECT_TRUE(refused.path.empty());

  // A file of the user's, saved through the dialog, then the service's slow
  // installer: the user's file finishing first is never taken for it.
  answer = "/chosen/report.sh";
  Continued saved, installer;
  engine::DownloadItem users = From("https://crm.example.com/files/report.sh");
  users.id = 3;
  handling.OnBeforeDownload(users, "report.sh", saved);
  engine::DownloadItem service = From("https://crm.example.com/files/setup.deb");
  service.id = 7;
  handling.OnBeforeDownload(service, "setup.deb", installer);
  EXPECT_TRUE(upgrades.Has(7));
  Cancels cancels;
  handling.OnDownloadUpdated(Progress(40, 10, 3), cancels);
  handling.OnDownloadUpdated(Progress(20, 10, 7), cancels);
  handling.OnDownloadUpdated(Complete("/chosen/report.sh", 3), cancels);
  EXPECT_TRUE(upgrades.Has(7));
  EXPECT_EQ(upgrades.path(), "");
  handling.OnDownloadUpdated(Complete(installer.path, 7), cancels);
  EXPECT_EQ(upgrades.path(), installer.path);
  EXPECT_EQ(posted, (std::vector<std::pair<uint32_t, intptr_t>>{
                        {CMD_UPGRADE_PROGRESS, 20}, {CMD_DOWNLOAD_FINISHED, 0}, {CMD_UPGRADE_DOWNLOADED, 0}}));
  EXPECT_EQ(cancels.count, 0);

  // The upgrade dialog's cancel stops the upgrade at its next report, not
  // the user's file that reports first, nor a download begun after it;
  // no more progress, never installed.
  posted.clear();
  users.id = 4;
  handling.OnBeforeDownload(users, "report.sh", saved);
  service.id = 8;
  handling.OnBeforeDownload(service, "setup.deb", installer);
  handling.OnDownloadUpdated(Progress(20, 10, 8), cancels);
  upgrades.CancelUnderWay();
  engine::DownloadItem later = From("https://crm.example.com/files/other.deb");
  later.id = 9;
  Continued later_target;
  handling.OnBeforeDownload(later, "other.deb", later_target);
  handling.OnDownloadUpdated(Progress(50, 10, 4), cancels);
  EXPECT_EQ(cancels.count, 0);
  handling.OnDownloadUpdated(Progress(30, 10, 8), cancels);
  EXPECT_EQ(cancels.count, 1);
  engine::DownloadItem cancelled = Progress(30, 10, 8);
  cancelled.in_progress = false;
  cancelled.canceled = true;
  handling.OnDownloadUpdated(cancelled, cancels);
  EXPECT_FALSE(upgrades.Has(8));
  // The later one goes on, and is the one started.
  handling.OnDownloadUpdated(Progress(60, 10, 9), cancels);
  handling.OnDownloadUpdated(Complete(later_target.path, 9), cancels);
  EXPECT_EQ(cancels.count, 1);
  EXPECT_EQ(upgrades.path(), later_target.path);
  EXPECT_EQ(posted, (std::vector<std::pair<uint32_t, intptr_t>>{
                        {CMD_UPGRADE_PROGRESS, 20}, {CMD_UPGRADE_PROGRESS, 60}, {CMD_UPGRADE_DOWNLOADED, 0}}));
}

// Cancelled, then its next report is its completion: it is not started,
// and the file started last stays the one to start.
TEST_F(Downloads, AnUpgradeCancelledAsItCompletesIsNeverStarted) {
  auto handling = Make();
  Continued installer;
  engine::DownloadItem service = From("https://crm.example.com/files/setup.deb");
  service.id = 11;
  handling.OnBeforeDownload(service, "setup.deb", installer);
  Cancels cancels;
  handling.OnDownloadUpdated(Progress(90, 10, 11), cancels);
  upgrades.CancelUnderWay();
  // Another download of the user's begins meanwhile: the cancel stays.
  answer = "/chosen/notes.txt";
  Continued saved;
  engine::DownloadItem users = From("https://crm.example.com/files/notes.txt");
  users.id = 12;
  handling.OnBeforeDownload(users, "notes.txt", saved);
  handling.OnDownloadUpdated(Complete(installer.path, 11), cancels);
  EXPECT_EQ(posted, (std::vector<std::pair<uint32_t, intptr_t>>{{CMD_UPGRADE_PROGRESS, 90}}));
  EXPECT_EQ(upgrades.path(), "");
  EXPECT_FALSE(upgrades.Has(11));
}

}  // namespace
