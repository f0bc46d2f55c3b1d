// Sign-in to the service in the real engine: Basic and Digest, a wrong
// password asked again, a declined one without a storm of retries.
#include <gtest/gtest.h>

#include <QApplication>
#include <QContextMenuEvent>
#include <QCryptographicHash>
#include <QDialogButtonBox>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPointer>
#include <QLineEdit>
#include <QMenuBar>
#include <QProcess>
#include <QScreen>
#include <QTemporaryDir>
#include <QWidget>
#include <QWindow>

#include "app/app_context.h"
#include "browser/window_registry.h"
#include "browser/popup_geometry.h"
#include "browser/root_window_win.h"
#include "env/product.h"
#include "env/sign_in.h"
#include "env/system_integration.h"
#include "platform/message_box.h"
#include "platform/sign_in_dialog.h"
#include "browser_policies_fixture.h"
#include "tests/unit/test_support.h"


// The service's pages behind HTTP sign-in get the dialog; a wrong password
// is asked again; another origin's frame asking for one gets nothing.
TEST_F(BrowserPolicies, ServiceSignInIsAskedAgainWhenRefusedAndStrangersAreNotAsked) {
  env::ForgetSessionCredentialsForTesting();
  std::vector<platform::SignInRequest> asked;
  platform::SetSignInAnswererForTesting([&](const platform::SignInRequest& request) {
    asked.push_back(request);
    return platform::SignInAnswer{"alice", asked.size() == 1 ? "wrong" : "s3cret", false};
  });
  const auto guarded = [](const std::string& realm, const std::string& body) {
    return [realm, body](const httplib::Request& request, httplib::Response& response) {
      if (request.get_header_value("Authorization") == "Basic YWxpY2U6czNjcmV0") {
        response.set_content(body, "text/html");
        return;
      }
      response.status = 401;
      response.set_header("WWW-Authenticate", "Basic realm=\"" + realm + "\"");
      response.set_content("sign in first", "text/plain");
    };
  };
  httplib::Server stranger;
  stranger.Get("/frame", guarded("Stranger", "<html><body>stranger's frame</body></html>"));
  const int stranger_port = stranger.bind_to_any_port("127.0.0.1");
  std::thread stranger_serving([&] { stranger.listen_after_bind(); });
  httplib::Server service;
  service.Get("/client", guarded("Staff area", "<html><body>signed in<iframe src='http://127.0.0.1:" +
                                                   std::to_string(stranger_port) + "/frame'></iframe></body></html>"));
  const int port = service.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { service.listen_after_bind(); });
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/client";
  env::SetStartUrlOverride(url);

  auto window = Open(url);
  const std::string text = TextOnceItHas(window, "signed in");
  EXPECT_EQ(text.rfind("signed in", 0), 0u) << text;
  EXPECT_EQ(text.find("stranger's frame"), std::string::npos) << text;
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_FALSE(asked[0].proxy);
  EXPECT_EQ(asked[0].host, "127.0.0.1:" + std::to_string(port));
  EXPECT_EQ(asked[0].realm, "Staff area");
  EXPECT_FALSE(asked[0].refused);
  EXPECT_TRUE(asked[1].refused);
  // Signed in, a reload asks nothing more.
  window->GetBrowser()->Reload();
  TextOnceItHas(window, "signed in");
  WaitFor([] { return false; }, 500);
  EXPECT_EQ(asked.size(), 2u);

  platform::SetSignInAnswererForTesting(nullptr);
  env::SetStartUrlOverride("");
  service.stop();
  stranger.stop();
  serving.join();
  stranger_serving.join();
}

// Declined, the sign-in is not asked in a loop: the server sees a request
// or two, the page shows what the server answered.
TEST_F(BrowserPolicies, DeclinedSignInEndsWithoutARetryStorm) {
  env::ForgetSessionCredentialsForTesting();
  int asked = 0;
  platform::SetSignInAnswererForTesting([&](const platform::SignInRequest&) {
    ++asked;
    return std::nullopt;
  });
  std::atomic<int> requests{0};
  httplib::Server service;
  service.Get("/client", [&](const httplib::Request&, httplib::Response& response) {
    ++requests;
    response.status = 401;
    response.set_header("WWW-Authenticate", "Basic realm=\"Staff area\"");
    response.set_content("<html><body>sign in first</body></html>", "text/html");
  });
  const int port = service.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { service.listen_after_bind(); });
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/client";
  env::SetStartUrlOverride(url);
  auto window = Open(url);
  const std::string text = TextOnceItHas(window, "sign in first");
  EXPECT_NE(text.find("sign in first"), std::string::npos) << text;
  WaitFor([] { return false; }, 1000);
  EXPECT_EQ(asked, 1);
  EXPECT_LE(requests.load(), 2);
  platform::SetSignInAnswererForTesting(nullptr);
  env::SetStartUrlOverride("");
  service.stop();
  serving.join();
}

namespace {

// The value of |name|="..." or name=... in a Digest header.
std::string DigestField(const std::string& header, const std::string& name) {
  const size_t at = header.find(name + "=");
  if (at == std::string::npos) return std::string();
  size_t start = at + name.size() + 1;
  const bool quoted = header[start] == '"';
  if (quoted) ++start;
  return header.substr(start, header.find(quoted ? "\"" : ",", start) - start);
}

std::string Md5(const std::string& text) {
  return QCryptographicHash::hash(QByteArray::fromStdString(text), QCryptographicHash::Md5).toHex().toStdString();
}

}  // namespace

// Digest sign-in gets the same dialog; the engine answers the challenge.
TEST_F(BrowserPolicies, ServiceDigestSignInWorks) {
  env::ForgetSessionCredentialsForTesting();
  std::vector<platform::SignInRequest> asked;
  platform::SetSignInAnswererForTesting([&](const platform::SignInRequest& request) {
    asked.push_back(request);
    return platform::SignInAnswer{"alice", "s3cret", false};
  });
  httplib::Server service;
  service.Get("/client", [](const httplib::Request& request, httplib::Response& response) {
    const std::string given = request.get_header_value("Authorization");
    if (given.rfind("Digest ", 0) == 0) {
      const std::string ha1 = Md5(DigestField(given, "username") + ":Digest area:s3cret");
      const std::string ha2 = Md5("GET:" + DigestField(given, "uri"));
      const std::string expected = Md5(ha1 + ":n0nce:" + DigestField(given, "nc") + ":" +
                                       DigestField(given, "cnonce") + ":auth:" + ha2);
      if (DigestField(given, "response") == expected) {
        response.set_content("<html><body>digest signed in</body></html>", "text/html");
        return;
      }
    }
    response.status = 401;
    response.set_header("WWW-Authenticate", "Digest realm=\"Digest area\", nonce=\"n0nce\", qop=\"auth\"");
    response.set_content("sign in first", "text/plain");
  });
  const int port = service.bind_to_any_port("127.0.0.1");
  std::thread serving([&] { service.listen_after_bind(); });
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + "/client";
  env::SetStartUrlOverride(url);
  auto window = Open(url);
  const std::string text = TextOnceItHas(window, "digest signed in");
  EXPECT_EQ(text.rfind("digest signed in", 0), 0u) << text;
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].realm, "Digest area");
  platform::SetSignInAnswererForTesting(nullptr);
  env::SetStartUrlOverride("");
  service.stop();
  serving.join();
}
