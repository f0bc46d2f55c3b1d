// The company's certificate authorities on their way into the engine's own
// store: which files are read, what in them is a certificate, and the store
// kept in step with them (by the real certutil, in a database of the test's).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "platform/engine_trust_store.h"
#include "test_support.h"

namespace {

const char kFirstAuthority[] = R"PEM(-----BEGIN CERTIFICATE-----
MIIBjzCCATWgAwIBAgIUOAl6w7GasdmkGHPfClWyh7IoweAwCgYIKoZIzj0EAwIw
HDEaMBgGA1UEAwwRVW5pdCBUZXN0IFJvb3QgQ0EwIBcNMjYxMjA5MTQ1NTMxWhgP
MjEyNjExMTUxNDU1MzFaMBwxGjAYBgNVBAMMEVVuaXQgVGVzdCBSb290IENBMFkw
EwYHKoZIzj0CAQYIKoZIzj0DAQcDQgAEn+XhdKCT5buRrSvRWvRSz+8eypSlkMXq
6vb7ctAEb2nT487WoBgflJmgxCvu+kr0VODBi3563l676kknvHgl46NTMFEwHQYD
VR0OBBYEFAKoTLwsSQgw/O0jVgDEjFn+hh8gMB8GA1UdIwQYMBaAFAKoTLwsSQgw
/O0jVgDEjFn+hh8gMA8GA1UdEwEB/wQFMAMBAf8wCgYIKoZIzj0EAwIDSAAwRQIh
AIT7w2okrZmLpyNmgbrqUo6rCsD7xV8tgEz8d4N1lu3VAiA6I6nvt+5ikjL5Ro8E
jiwroU5/o4iW7hXwpFXV/OChJQ==
-----END CERTIFICATE-----
)PEM";
const char kSecondAuthority[] = R"PEM(-----BEGIN CERTIFICATE-----
MIIBkjCCATmgAwIBAgIULYRSB9+TYXdSjG8s8F9wGihn2D8wCgYIKoZIzj0EAwIw
HjEcMBoGA1UEAwwTVW5pdCBUZXN0IFNlY29uZCBDQTAgFw0yNjEyMDkxNDU1MzFa
GA8yMTI2MTExNTE0NTUzMVowHjEcMBoGA1UEAwwTVW5pdCBUZXN0IFNlY29uZCBD
QTBZMBMGByqGSM49AgEGCCqGSM49AwEHA0IABF/E2dB7sIQJ021EXjp9kqyG+w1K
8iDoRVoDwXtStl5cWt0yjAHGB/Fbo/OYI8hzddj8lgKBJs3e1lqQN2r/RwSjUzBR
MB0GA1UdDgQWBBSZu2en5cWehdGJBcXuChB5ZcoQ2DAfBgNVHSMEGDAWgBSZu2en
5cWehdGJBcXuChB5ZcoQ2DAPBgNVHRMBAf8EBTADAQH/MAoGCCqGSM49BAMCA0cA
MEQCIBwpPcpLVZbHEC5uWPusTvw2dymi823ffd/9sxRsWClBAiBEm6qb+5aCve8m
AilXr5HnuwDbrWf18uebgcr8ArrXMg==
-----END CERTIFICATE-----
)PEM";

class TrustStore : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/veltro-trust-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
  }
  void TearDown() override { ASSERT_EQ(system(("rm -rf '" + folder_ + "'").c_str()), 0); }
  std::string Write(const std::string& name, const std::string& text) {
    const std::string path = folder_ + "/" + name;
    mkdir(path.substr(0, path.rfind('/')).c_str(), 0755);
    std::ofstream(path) << text;
    return path;
  }
  std::string folder_;
};

TEST_F(TrustStore, CertificatesInFiles) {
  std::string problem;
  EXPECT_EQ(platform::CertificatesInFile(Write("two.pem", std::string(kFirstAuthority) + "text between\n" +
                                                              kSecondAuthority),
                                         problem)
                .size(),
            2u);
  EXPECT_EQ(problem, "");
  const struct {
    const char* name;
    std::string path;
    const char* problem;
  } refused[] = {
      {"missing", folder_ + "/none.pem", "cannot be read"},
      {"garbage", Write("garbage.pem", "-----BEGIN CERTIFICATE-----\nbm90IGEgY2VydA==\n-----END CERTIFICATE-----\n"),
       "holds no certificate"},
      {"cut short", Write("short.pem", std::string(kFirstAuthority).substr(0, 200)), "holds no certificate"},
      {"a device", "/dev/zero", "not a plain file"},
      {"a folder", folder_, "not a plain file"},
      {"huge", Write("huge.pem", std::string(1024 * 1024 + 1, 'x')), "larger than 1 MiB"},
  };
  for (const auto& c : refused) {
    EXPECT_TRUE(platform::CertificatesInFile(c.path, problem).empty()) << c.name;
    EXPECT_EQ(problem, c.problem) << c.name;
  }
  const std::string fifo = folder_ + "/fifo.pem";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_TRUE(platform::CertificatesInFile(fifo, problem).empty()) << "a FIFO is not waited on";
  EXPECT_EQ(problem, "not a plain file");
}

TEST_F(TrustStore, TheFilesUpdateCaCertificatesReads) {
  Write("a.crt", kFirstAuthority);
  Write("corp/b.crt", kSecondAuthority);
  Write("corp/deeper/c.crt", kSecondAuthority);
  Write("readme.txt", "not a certificate");
  Write(".hidden.crt", kFirstAuthority);
  EXPECT_EQ(platform::SystemAddedCertificateFiles(folder_),
            (std::vector<std::string>{folder_ + "/a.crt", folder_ + "/corp/b.crt"}));
  EXPECT_TRUE(platform::SystemAddedCertificateFiles(folder_ + "/none").empty());
}

TEST_F(TrustStore, TheEnginesStoreFollowsTheFiles) {
  if (access("/usr/bin/certutil", X_OK) != 0) GTEST_SKIP() << "no certutil (libnss3-tools)";
  const std::string database = folder_ + "/home/.pki/nssdb";
  mkdir((folder_ + "/home").c_str(), 0700);
  const std::string first = Write("first.crt", kFirstAuthority);
  const std::string second = Write("second.crt", kSecondAuthority);
  std::vector<std::string> lines;
  const auto log = [&lines](const std::string& line) { lines.push_back(line); };
  // The authorities of ours certutil lists as trusted for TLS servers.
  const auto trusted = [&database]() {
    int count = 0;
    FILE* listing = popen(("certutil -L -d sql:" + database).c_str(), "r");
    char line[512];
    while (listing && fgets(line, sizeof(line), listing))
      if (std::string(line).rfind("VeltroCRM ", 0) == 0 && std::string(line).find("C,,") != std::string::npos) ++count;
    if (listing) pclose(listing);
    return count;
  };

  platform::SyncEngineTrustStore({first, second}, database, log);
  EXPECT_EQ(trusted(), 2);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_NE(lines[0].find("the page trusts the authority of " + first), std::string::npos) << lines[0];

  lines.clear();
  platform::SyncEngineTrustStore({first, second}, database, log);
  EXPECT_TRUE(lines.empty()) << "nothing runs when nothing changed";

  platform::SyncEngineTrustStore({first}, database, log);
  EXPECT_EQ(trusted(), 1);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("no longer trusted, its file is gone"), std::string::npos) << lines[0];

  lines.clear();
  platform::SyncEngineTrustStore({folder_ + "/none.crt"}, database, log);
  EXPECT_EQ(trusted(), 0);
  EXPECT_NE(lines.at(0).find("not trusted: cannot be read"), std::string::npos) << lines[0];
}

}  // namespace
