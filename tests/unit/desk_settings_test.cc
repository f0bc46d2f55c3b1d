// The administrator's policy file and sign-in credentials.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <ostream>
#include <string>
#include <type_traits>
#include <utility>

#include "app/desk_policy.h"
#include "app/support_bundle.h"
#include "env/sign_in.h"
#include "platform/secret.h"
#include "platform/sign_in_dialog.h"
#include "test_support.h"

namespace {

// A password cannot reach a text by accident: it streams nowhere, adds to
// no string and turns into none.
template <typename T, typename = void>
struct Streamable : std::false_type {};
template <typename T>
struct Streamable<T, std::void_t<decltype(std::declval<std::ostream&>() << std::declval<const T&>())>>
    : std::true_type {};
template <typename T, typename = void>
struct AddsToText : std::false_type {};
template <typename T>
struct AddsToText<T, std::void_t<decltype(std::string() + std::declval<const T&>())>> : std::true_type {};
static_assert(!Streamable<platform::Secret>::value);
static_assert(!AddsToText<platform::Secret>::value);
static_assert(!std::is_convertible_v<platform::Secret, std::string>);
static_assert(!std::is_convertible_v<platform::Secret, const char*>);
static_assert(Streamable<std::string>::value && AddsToText<std::string>::value);  // the checks can fail

TEST(Secret, KeepsItsTextForRevealOnlyAndLeavesNoneWhenMoved) {
  platform::Secret secret("s3cret");
  EXPECT_EQ(secret.Reveal(), "s3cret");
  platform::Secret copy = secret;
  EXPECT_EQ(copy, secret);
  platform::Secret moved = std::move(secret);
  EXPECT_EQ(moved.Reveal(), "s3cret");
  EXPECT_TRUE(secret.empty());  // NOLINT: what a move leaves is checked
  copy = platform::Secret("other");
  EXPECT_NE(copy, moved);
}

std::shared_ptr<engine::CommandLine> Parse(std::vector<const char*> args) {
  args.insert(args.begin(), "veltrocrm");
  return engine::CommandLine::CreateFromArgv(static_cast<int>(args.size()), args.data());
}

class DeskPolicyFile : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/veltro-policy-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder = pattern;
    chmod(folder.c_str(), 0755);
    path = folder + "/policy.ini";
  }
  void TearDown() override {
    unlink(path.c_str());
    rmdir(folder.c_str());
  }
  void Write(const std::string& text, mode_t mode = 0644) {
    std::ofstream(path) << text;
    chmod(path.c_str(), mode);
  }
  std::string folder;
  std::string path;
};

TEST_F(DeskPolicyFile, ReadsThePolicySectionOfARootOnlyFile) {
  if (geteuid() != 0) GTEST_SKIP() << "root owns a policy file";
  std::string problem;
  EXPECT_FALSE(app::ReadDeskPolicy(path, problem).has_value());
  EXPECT_EQ(problem, "") << "no file is no policy, and no problem";
  Write("; shipped commented out\n;StartUrl=https://x.example/\n[Other]\nStartUrl=https://other.example/\n"
        "[Policy]\r\n StartUrl = https://crm.example/client \r\nOffScreen=1\nbroken line\nProxyServer=\n");
  const auto policy = app::ReadDeskPolicy(path, problem);
  ASSERT_TRUE(policy.has_value()) << problem;
  EXPECT_EQ(*policy, (app::DeskPolicy{{"StartUrl", "https://crm.example/client"}, {"OffScreen", "1"}}));
}

// Administrators write names and values in any case; a line the policy
// cannot mean is a note, never taken silently nor dropped without a word.
TEST_F(DeskPolicyFile, ReadsStrictlyAndSaysWhatItLeftOut) {
  if (geteuid() != 0) GTEST_SKIP() << "root owns a policy file";
  Write("[policy]\nremotedebugging=Off\nOFFSCREEN=yes\nPhoneBox=usb\nPhoneBox=Modem:/dev/ttyUSB0\nProxyServer=DIRECT\n"
        "StartUrl=javascript:alert(1)\nChannelService=evil.example/path?x\nColour=blue\nno equals\n[Extra]\nStartUrl=x\n"
        "[POLICY]\nRemoteDebugging=please no\nSipServer=pbx.example:5060\nSipExtension=1001@evil\nsipuser=agent.1\n");
  std::string problem;
  std::vector<std::string> notes;
  const auto policy = app::ReadDeskPolicy(path, problem, &notes);
  ASSERT_TRUE(policy.has_value()) << problem;
  EXPECT_EQ(*policy, (app::DeskPolicy{{"RemoteDebugging", "off"},
                                      {"OffScreen", "1"},
                                      {"PhoneBox", "modem:/dev/ttyUSB0"},
                                      {"ProxyServer", "direct"},
                                      {"SipServer", "pbx.example:5060"},
                                      {"SipUser", "agent.1"}}));
  // Case alone is no note.
  EXPECT_EQ(notes, (std::vector<std::string>{
                       "line 3: OffScreen=yes taken as 1",
                       "line 4: PhoneBox cannot be \"usb\"; ignored",
                       "line 7: StartUrl cannot be \"javascript:alert(1)\"; ignored",
                       "line 8: ChannelService cannot be \"evil.example/path?x\"; ignored",
                       "line 9: no setting is called Colour",
                       "line 10: not a setting (no \"=\")",
                       "line 11: a section other than [Policy]; its lines are ignored",
                       "line 14: RemoteDebugging=please no taken as off",
                       "line 16: SipExtension cannot be \"1001@evil\"; ignored",
                   }));
}

TEST_F(DeskPolicyFile, IgnoresWhatOthersThanRootMayChange) {
  if (geteuid() != 0) GTEST_SKIP() << "root owns a policy file";
  std::string problem;
  Write("[Policy]\nStartUrl=https://evil.example/\n", 0666);
  EXPECT_FALSE(app::ReadDeskPolicy(path, problem).has_value());
  EXPECT_EQ(problem, "others than root may write it");
  Write("[Policy]\nStartUrl=https://evil.example/\n", 0644);
  ASSERT_EQ(chown(path.c_str(), 1000, 1000), 0);
  EXPECT_FALSE(app::ReadDeskPolicy(path, problem).has_value());
  EXPECT_EQ(problem, "others than root may write it");
  ASSERT_EQ(chown(path.c_str(), 0, 0), 0);
  chmod(folder.c_str(), 0777);
  EXPECT_FALSE(app::ReadDeskPolicy(path, problem).has_value());
  EXPECT_EQ(problem, "others than root may write its folder");
  chmod(folder.c_str(), 0755);
  Write(std::string(70 * 1024, ';'));
  EXPECT_FALSE(app::ReadDeskPolicy(path, problem).has_value());
  EXPECT_NE(problem.find("larger than"), std::string::npos);
  unlink(path.c_str());
  ASSERT_EQ(mkfifo(path.c_str(), 0644), 0);
  EXPECT_FALSE(app::ReadDeskPolicy(path, problem).has_value()) << "a pipe must not hang the start";
  EXPECT_EQ(problem, "not a plain file");
}

// A file that cannot be trusted keeps the locks shut instead of opening
// them; under any policy the user's engine switches pass from a short list.
TEST_F(DeskPolicyFile, AFileNotTrustedFailsClosed) {
  if (geteuid() != 0) GTEST_SKIP() << "root owns a policy file";
  Write("[Policy]\nRemoteDebugging=off\n", 0666);
  auto command_line = Parse({"--start-url=https://mine.example/", "--remote-debugging-port=9222",
                             "--proxy-server=user.example:8080"});
  std::vector<std::string> lines;
  bool in_force = false;
  app::ApplyPolicyFile(path, *command_line, lines, in_force);
  EXPECT_TRUE(in_force);
  EXPECT_TRUE(app::DebuggingLockedByPolicy());
  EXPECT_FALSE(command_line->HasSwitch("remote-debugging-port"));
  EXPECT_FALSE(command_line->HasSwitch("proxy-server"));
  EXPECT_NE(command_line->GetSwitchValue("start-url"), "https://mine.example/");
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_NE(lines[0].find("ignored: others than root may write it"), std::string::npos) << lines[0];

  unlink(path.c_str());
  command_line = Parse({"--remote-debugging-port=9222"});
  lines.clear();
  app::ApplyPolicyFile(path, *command_line, lines, in_force);
  EXPECT_FALSE(in_force) << "no file, no policy";
  EXPECT_FALSE(app::DebuggingLockedByPolicy());
  EXPECT_TRUE(command_line->HasSwitch("remote-debugging-port"));
}

TEST(DeskPolicy, TheUsersEngineSwitchesPassFromAShortList) {
  std::vector<std::string> dropped;
  EXPECT_EQ(app::AllowedUserEngineFlags("-remote-debugging-port=9224 --force-dark-mode --REMOTE-DEBUGGING-PORT=1 "
                                        "\"--force-device-scale-factor=1.5\" stray --disable-web-security -v=1",
                                        dropped),
            "--force-dark-mode --force-device-scale-factor=1.5 -v=1");
  EXPECT_EQ(dropped, (std::vector<std::string>{"remote-debugging-port", "REMOTE-DEBUGGING-PORT",
                                               "a word that is no switch", "disable-web-security"}));
}

TEST(DeskPolicy, WinsOverSwitchesAndSaysWhereEachSettingCameFrom) {
  ScopedEnvironment phonebox({{"VELTROCRM_PHONEBOX", "modem"}});
  auto command_line = Parse({"--start-url=https://mine.example/", "--remote-debugging-port=9222",
                             "--proxy-server=user.example:8080", "--off-screen-rendering-enabled"});
  const app::DeskPolicy policy{{"StartUrl", "https://crm.example/client"}, {"PhoneBox", "sim"},
                               {"OffScreen", "0"},  {"ProxyServer", "direct"},
                               {"RemoteDebugging", "off"}, {"CaCertificates", " /etc/corp/a.pem ;; /etc/corp/b.pem"},
                               {"SipServer", "pbx.example:5080"}, {"SipExtension", "1001"},
                               {"SipUser", "agent1"}};
  command_line->AppendSwitchWithValue("sip-server", "mine.example");
  const auto settings = app::ApplyDeskPolicy(policy, "/etc/p.ini", *command_line);
  EXPECT_EQ(command_line->GetSwitchValue("sip-server"), "pbx.example:5080");
  EXPECT_EQ(command_line->GetSwitchValue("sip-user"), "agent1");
  EXPECT_EQ(command_line->GetSwitchValue("start-url"), "https://crm.example/client");
  EXPECT_FALSE(command_line->HasSwitch("remote-debugging-port"));
  EXPECT_FALSE(command_line->HasSwitch("proxy-server"));
  EXPECT_TRUE(command_line->HasSwitch("no-proxy-server"));
  EXPECT_FALSE(command_line->HasSwitch("off-screen-rendering-enabled"));
  EXPECT_STREQ(std::getenv("VELTROCRM_PHONEBOX"), "sim");
  EXPECT_TRUE(app::DebuggingLockedByPolicy());
  EXPECT_EQ(app::PolicyCertificateFiles(), (std::vector<std::string>{"/etc/corp/a.pem", "/etc/corp/b.pem"}));
  for (const auto& setting : settings)
    if (setting.name != "channel-service") {
      EXPECT_EQ(setting.origin, "policy /etc/p.ini") << setting.name;
    }

  // Without a policy, the switches stand and say so.
  auto own = Parse({"--proxy-server=user.example:8080", "--channel-service=c.example"});
  const auto plain = app::ApplyDeskPolicy({}, "/etc/p.ini", *own);
  EXPECT_FALSE(app::DebuggingLockedByPolicy());
  EXPECT_TRUE(app::PolicyCertificateFiles().empty());
  EXPECT_EQ(own->GetSwitchValue("proxy-server"), "user.example:8080");
  for (const auto& setting : plain) {
    if (setting.name == "proxy" || setting.name == "channel-service") {
      EXPECT_EQ(setting.origin, "command line");
    }
    if (setting.name == "start-url") {
      EXPECT_EQ(setting.origin, "built in");
    }
    if (setting.name == "phone box") {
      EXPECT_EQ(setting.origin, "environment VELTROCRM_PHONEBOX");
    }
  }
}

TEST(SignIn, AsksOnceForAPlaceAndAgainOnlyWhenTheKnownOnesAreRefused) {
  env::ForgetSessionCredentialsForTesting();
  std::vector<platform::SignInRequest> asked;
  std::optional<platform::SignInAnswer> answer = platform::SignInAnswer{"alice", "one", false};
  platform::SetSignInAnswererForTesting([&](const platform::SignInRequest& request) {
    asked.push_back(request);
    return answer;
  });
  const env::SignInPlace proxy{true, "proxy.example", "Company"};
  auto first = env::CredentialsFor(proxy, std::nullopt);
  ASSERT_TRUE(first.has_value());
  EXPECT_EQ(first->password, "one");
  EXPECT_EQ(env::CredentialsFor(proxy, std::nullopt), first) << "known ones are not asked for";
  // Refused ones that are no longer the known ones: someone signed in since.
  EXPECT_EQ(env::CredentialsFor(proxy, env::Credentials{"alice", "older"}), first);
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_FALSE(asked[0].refused);
  answer = platform::SignInAnswer{"alice", "two", false};
  EXPECT_EQ(env::CredentialsFor(proxy, first)->password, "two");
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_TRUE(asked[1].refused);
  // Another realm or a site is another place.
  answer = std::nullopt;
  EXPECT_FALSE(env::CredentialsFor({true, "proxy.example", "Other"}, std::nullopt).has_value());
  EXPECT_FALSE(env::CredentialsFor({false, "proxy.example:80", "Company"}, std::nullopt).has_value());
  EXPECT_EQ(asked.size(), 4u);
  EXPECT_EQ(env::CredentialsFor(proxy, std::nullopt)->password, "two");
  platform::SetSignInAnswererForTesting(nullptr);
  env::ForgetSessionCredentialsForTesting();
}

TEST(SignIn, ADeclinedPlaceIsNotAskedAgainAtOnce) {
  using std::chrono::seconds;
  env::ForgetSessionCredentialsForTesting();
  int asked = 0;
  std::optional<platform::SignInAnswer> answer;
  platform::SetSignInAnswererForTesting([&](const platform::SignInRequest&) {
    ++asked;
    return answer;
  });
  const env::SignInPlace proxy{true, "proxy.example", "Company"};
  const auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(env::CredentialsFor(proxy, std::nullopt, t0).has_value());
  // The page's icon and scripts, right behind the declined page.
  EXPECT_FALSE(env::CredentialsFor(proxy, std::nullopt, t0 + seconds(1)).has_value());
  EXPECT_FALSE(env::CredentialsFor(proxy, env::Credentials{"alice", "old"}, t0 + seconds(2)).has_value());
  EXPECT_EQ(asked, 1);
  EXPECT_FALSE(env::CredentialsFor({true, "proxy.example", "Other"}, std::nullopt, t0 + seconds(1)).has_value());
  EXPECT_EQ(asked, 2) << "another place is asked";
  answer = platform::SignInAnswer{"alice", "one", false};
  EXPECT_TRUE(env::CredentialsFor(proxy, std::nullopt, t0 + seconds(4)).has_value());
  EXPECT_EQ(asked, 3) << "a while later the user is asked again";
  // Declined, then F5 at once: asked again.
  env::ForgetSessionCredentialsForTesting();
  answer = std::nullopt;
  EXPECT_FALSE(env::CredentialsFor(proxy, std::nullopt, t0).has_value());
  env::AskSignInAgain();
  answer = platform::SignInAnswer{"alice", "one", false};
  EXPECT_TRUE(env::CredentialsFor(proxy, std::nullopt, t0 + seconds(1)).has_value());
  EXPECT_EQ(asked, 5);
  platform::SetSignInAnswererForTesting(nullptr);
  env::ForgetSessionCredentialsForTesting();
}

// A site naming a new realm for every request gets three dialogs a minute,
// not one after another; F5 asks again.
TEST(SignIn, ThreeRealmsOfOneSiteAMinuteAtMost) {
  using std::chrono::seconds;
  env::ForgetSessionCredentialsForTesting();
  int asked = 0;
  platform::SetSignInAnswererForTesting([&](const platform::SignInRequest&) {
    ++asked;
    return std::optional<platform::SignInAnswer>(platform::SignInAnswer{"alice", "one", false});
  });
  const auto t0 = std::chrono::steady_clock::now();
  for (int realm = 0; realm < 30; ++realm)
    env::CredentialsFor({false, "crm.example:443", "realm " + std::to_string(realm)}, std::nullopt, t0 + seconds(realm));
  EXPECT_EQ(asked, 3);
  EXPECT_TRUE(env::CredentialsFor({false, "crm.example:443", "realm 1"}, std::nullopt, t0 + seconds(31)).has_value())
      << "a realm answered already is known";
  EXPECT_TRUE(env::CredentialsFor({false, "other.example:443", "realm 9"}, std::nullopt, t0 + seconds(31)).has_value());
  EXPECT_EQ(asked, 4) << "another site is asked";
  EXPECT_TRUE(env::CredentialsFor({false, "crm.example:443", "realm 40"}, std::nullopt, t0 + seconds(90)).has_value());
  EXPECT_EQ(asked, 5) << "a minute later, a new realm is asked";
  env::AskSignInAgain();
  EXPECT_TRUE(env::CredentialsFor({false, "crm.example:443", "realm 41"}, std::nullopt, t0 + seconds(91)).has_value());
  EXPECT_EQ(asked, 6);
  platform::SetSignInAnswererForTesting(nullptr);
  env::ForgetSessionCredentialsForTesting();
}

// The support bundle's logs carry no caller's number whole.
TEST(SupportBundle, CallersNumbersAreMasked) {
  EXPECT_EQ(app::MaskCallerNumbers("phoneCall(\"13912345678\") 2026-12-09 15:47:12 port 53526\n"),
            "phoneCall(\"139****5678\") 2026-12-09 15:47:12 port 53526\n");
  EXPECT_EQ(app::MaskCallerNumbers("来电 01088886666, 1234567 and 123456"), "来电 010****6666, 1234567 and 123456");
  EXPECT_EQ(app::MaskCallerNumbers("tel:+8613800138000"), "tel:+861******8000");
}

}  // namespace
