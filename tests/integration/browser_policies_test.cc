// The product's browser policies in the real engine: root windows made by
// the registry, pages from local servers.
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

namespace {

TEST_F(BrowserPolicies, LoadingDialogCyclesUntilThePageHasLoaded) {
  // The dialog is up when the window is; the end of the first load, here
  // of the failure page, closes it.
  auto window = registry()->CreateRootWindow(false, false, {0, 0, 800, 600},
                                             "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/");
  QPointer<browser::LoadingDialog> dialog = window->loading_dialog();
  ASSERT_TRUE(dialog);
  EXPECT_TRUE(dialog->isVisible());
  // Owned by the frame, so it stays above it.
  EXPECT_EQ(dialog->windowHandle()->transientParent(), window->GetHandle()->windowHandle());
  EXPECT_NE(dialog->findChild<QLabel*>()->text().indexOf(QStringLiteral("加载中，请稍候...")), -1);
  EXPECT_TRUE(WaitFor([&] { return dialog.isNull(); }, 20000));
  // Its bar moves on by itself every 100 ms.
  browser::LoadingDialog standalone(nullptr);
  const int start = standalone.progress();
  EXPECT_TRUE(WaitFor([&] { return standalone.progress() >= start + 4; }, 2000));
}

TEST_F(BrowserPolicies, LoadingDialogWaitsWhereTheMaximisedFrameWillBe) {
  // A server that takes the connection and never answers keeps the page
  // loading, and the dialog up, for as long as the test needs.
  SilentServer silent;
  ASSERT_NE(silent.port(), 0);
  auto window = registry()->CreateRootWindow(false, false, {0, 0, 800, 600},
                                             "http://127.0.0.1:" + std::to_string(silent.port()) + "/");
  QPointer<browser::LoadingDialog> dialog = window->loading_dialog();
  ASSERT_TRUE(dialog);
  const QPoint first = dialog->pos();
  QWidget* frame = window->GetHandle();
  const QRect work = frame->screen()->availableGeometry();
  // Moving it once the window manager has maximised the frame would
  // repaint the whole frame.
  EXPECT_TRUE(WaitFor([&] { return frame->frameGeometry().size() == work.size(); }, 5000));
  ASSERT_TRUE(dialog);
  EXPECT_EQ(dialog->pos(), first);
  EXPECT_EQ(first, QPoint(work.x() + (work.width() - dialog->width()) / 2,
                          work.y() + (work.height() - dialog->height()) / 3));
  // The view, kept without a size until then, fills the frame.
  ASSERT_TRUE(WaitFor([&] { return window->GetBrowser() != nullptr; }, 5000));
  const QWidget* view = window->GetBrowser()->GetHost()->GetWindowHandle();
  EXPECT_TRUE(WaitFor([&] { return view->geometry() == frame->rect(); }, 5000));
}

TEST_F(BrowserPolicies, HeadersGoWhereverTheyCauseNoPreflight) {
  RecordingServer site, other;
  other.RefusePreflights();
  other.Serve("/cross", "ok", "text/plain");
  other.Serve("/img.png", "", "image/png");
  other.Serve("/script.js", "window.crossScript = true;", "text/javascript");
  other.Serve("/tab", "<html><body>other site</body></html>");
  site.Serve("/img.png", "", "image/png");
  site.Serve("/xhr", "ok", "text/plain");
  site.Serve("/popup", "<html><body>popup</body></html>");
  site.Serve("/client",
             "<html><body><img src='/img.png'><img src='" + other.Url("/img.png", "localhost") + "'>"
             "<script src='" + other.Url("/script.js", "localhost") + "'></script>"
             "<a id='blank' target='_blank' href='" + other.Url("/tab", "localhost") + "'>blank</a><script>"
             "fetch('/xhr').then(() => fetch('" + other.Url("/cross", "localhost") + "'))"
             ".then(r => r.text()).then(t => { document.body.append('fetched ' + t + ' ' + window.crossScript); })"
             ".catch(e => document.body.append('failed ' + e));"
             "window.open('/popup', 'win_10_10_300_200');"
             "document.getElementById('blank').click();"
             "</script></body></html>");
  auto window = Open(site.Url("/client"));
  // The cross-origin fetch works against a server that refuses preflights.
  EXPECT_NE(TextOnceItHas(window, "fetched").find("fetched ok true"), std::string::npos);
  ASSERT_TRUE(WaitFor([&] { return site.Hits("/popup") == 1 && other.Hits("/tab") == 1; }));
  EXPECT_EQ(other.Hits("/cross", "OPTIONS") + site.Hits("/xhr", "OPTIONS"), 0);
  const auto has_headers = [](const RecordingServer::Seen& seen) {
    auto header = seen.headers.find("My-Header");
    auto version = seen.headers.find("My-Version");
    return header != seen.headers.end() && header->second == "crm" && version != seen.headers.end() &&
           version->second == "2.6.1";
  };
  // Navigations (the popups' first requests too), same-origin requests and
  // cross-origin images and scripts carry them; the cross-origin fetch not.
  for (const auto* server : {&site, &other}) {
    for (const auto& seen : server->seen()) {
      if (seen.path == "/favicon.ico") continue;
      EXPECT_EQ(has_headers(seen), seen.path != "/cross") << seen.method << " " << seen.path;
    }
  }
  EXPECT_EQ(site.Hits("/client"), 1);
  EXPECT_EQ(site.Hits("/img.png") + site.Hits("/xhr") + other.Hits("/img.png") + other.Hits("/script.js"), 4);
  EXPECT_EQ(other.Hits("/cross"), 1);
}

TEST_F(BrowserPolicies, UnreachableStartPageShowsTheChineseFailurePage) {
  const int port = ClosedPort();
  auto window = Open("http://127.0.0.1:" + std::to_string(port) + "/client");
  const std::string text = TextOnceItHas(window, "加载失败了");
  EXPECT_NE(text.find("加载失败了"), std::string::npos) << text;
  EXPECT_NE(text.find("请检查网络，重启客户端"), std::string::npos) << text;
  // The service comes back: a reload (F5, a new channel) tries the
  // address that failed. It once reloaded the failure page itself.
  httplib::Server service;
  service.Get("/client", [](const httplib::Request&, httplib::Response& response) {
    response.set_content("<html><body>the service is back</body></html>", "text/html");
  });
  ASSERT_TRUE(service.bind_to_port("127.0.0.1", port));
  std::thread serving([&] { service.listen_after_bind(); });
  window->GetBrowser()->Reload();
  EXPECT_NE(TextOnceItHas(window, "the service is back").find("the service is back"), std::string::npos);
  service.stop();
  serving.join();
}

TEST_F(BrowserPolicies, UnreachableFrameShowsTheShortPageInsideTheFrameOnly) {
  // The program log lives in log/ beside the executable.
  const QString log_dir = QCoreApplication::applicationDirPath() + "/log";
  QDir().mkpath(log_dir);
  const QString log = log_dir + "/软件日志" + QDate::currentDate().toString("yyyyMMdd") + ".txt";
  QFile::remove(log);
  RecordingServer site;
  const std::string frame_url = "http://127.0.0.1:" + std::to_string(ClosedPort()) + "/frame";
  site.Serve("/client", "<html><body>outer page<iframe src='" + frame_url + "'></iframe></body></html>");
  auto window = Open(site.Url("/client"));
  auto logged = [&] { return ReadUtf16Log(log); };
  EXPECT_TRUE(WaitFor([&] { return logged().contains("load error code:-102"); })) << logged().toStdString();
  // The page's text takes in its frames': the outer page stays, the frame
  // holds the short page (no site or contact lines).
  const std::string text = TextOnceItHas(window, "按F5刷新");
  EXPECT_EQ(text.rfind("outer page", 0), 0u) << text;
  EXPECT_NE(text.find("请检查网络，重启客户端或者按F5刷新"), std::string::npos) << text;
  EXPECT_EQ(text.find("官网"), std::string::npos) << text;
  QDir(log_dir).removeRecursively();
}

TEST_F(BrowserPolicies, UnknownSchemesGoToTheSystemOrNowhere) {
  QTemporaryDir bin;
  const QString record = bin.filePath("opened");
  ASSERT_TRUE(WriteRecordingProgram(bin.path(), "xdg-open", record));
  const QByteArray saved_path = qgetenv("PATH");
  qputenv("PATH", bin.path().toUtf8() + ":" + saved_path);

  RecordingServer site;
  site.Serve("/client", "<html><body>stays here</body></html>");
  auto window = Open(site.Url("/client"));
  TextOnceItHas(window, "stays here");
  // Links the page itself follows.
  window->GetBrowser()->GetMainFrame()->ExecuteJavaScript(u"location.href = 'tencent://message/?uin=1';", "", 0);
  WaitFor([] { return false; }, 500);
  window->GetBrowser()->GetMainFrame()->ExecuteJavaScript(u"location.href = 'spotify:track:42';", "", 0);
  EXPECT_TRUE(WaitFor([&] { return QFile::exists(record); }, 10000));
  WaitFor([] { return false; }, 1000);
  QFile opened(record);
  ASSERT_TRUE(opened.open(QIODevice::ReadOnly));
  // Only spotify: went to the system, and neither showed a failure page.
  EXPECT_EQ(opened.readAll().trimmed(), QByteArray("spotify:track:42"));
  const std::string text = FrameText(window->GetBrowser());
  EXPECT_NE(text.find("stays here"), std::string::npos) << text;
  EXPECT_EQ(text.find("加载失败了"), std::string::npos) << text;
  qputenv("PATH", saved_path);
}

TEST_F(BrowserPolicies, PopupsTakeTheirGeometryFromTheTargetName) {
  RecordingServer site;
  site.Serve("/popup", "<html><body>popup</body></html>");
  site.Serve("/client", "<html><body>main<script>window.open('/popup', 'no_100_80_640_480');</script></body></html>");
  auto main_window = Open(site.Url("/client"));
  ASSERT_TRUE(WaitFor([&] { return registry()->window_count() == 2; }));
  std::shared_ptr<browser::RootWindow> popup = Popup();
  ASSERT_TRUE(popup);
  ASSERT_TRUE(WaitFor([&] { return popup->GetHandle() && popup->GetHandle()->isVisible(); }));
  QWidget* frame = popup->GetHandle();
  EXPECT_EQ(frame->size(), QSize(640, 480));
  EXPECT_EQ(frame->pos(), QPoint(100, 80));
  EXPECT_TRUE(frame->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(frame->parentWidget(), main_window->GetHandle());
  EXPECT_EQ(frame->windowTitle(), QStringLiteral("VeltroCRM客户管理系统"));
  TextOnceItHas(popup, "popup");
}

TEST_F(BrowserPolicies, PopupWithAnUnmatchedNameGetsTheDefaultGeometry) {
  RecordingServer site;
  site.Serve("/popup", "<html><body>popup</body></html>");
  site.Serve("/client", "<html><body><script>window.open('/popup', 'x_1_2_3');</script></body></html>");
  Open(site.Url("/client"));
  ASSERT_TRUE(WaitFor([&] { return registry()->window_count() == 2; }));
  std::shared_ptr<browser::RootWindow> popup = Popup();
  ASSERT_TRUE(popup);
  ASSERT_TRUE(WaitFor([&] { return popup->GetHandle() && popup->GetHandle()->isVisible(); }));
  const platform::Rect expected = browser::PlacePopup("", platform::WorkArea()).bounds;
  EXPECT_EQ(popup->GetHandle()->size(), QSize(expected.width, expected.height));
  EXPECT_FALSE(popup->GetHandle()->windowFlags() & Qt::FramelessWindowHint);
}

TEST_F(BrowserPolicies, ScriptDialogsAreNativeBoxesAndConfirmFollowsTheAnswer) {
  RecordingServer site;
  site.Serve("/client",
             "<html><body><script>alert('注意');"
             "document.body.append('ok:' + confirm('q1') + ';');"
             "</script></body></html>");
  answer = platform::IDOK;
  auto window = Open(site.Url("/client"));
  EXPECT_NE(TextOnceItHas(window, "ok:true;").find("ok:true;"), std::string::npos);
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "注意");
  EXPECT_EQ(boxes[0].caption, "提示");
  EXPECT_EQ(boxes[1].text, "q1");

  answer = platform::IDCANCEL;
  window->GetBrowser()->Reload();
  EXPECT_NE(TextOnceItHas(window, "ok:false;").find("ok:false;"), std::string::npos);
}

TEST_F(BrowserPolicies, KeysReloadAndAskBeforeClearingTheCache) {
  QTemporaryDir data;
  qputenv("XDG_DATA_HOME", data.path().toUtf8());
  RecordingServer site;
  site.Serve("/client", "<html><body>keys</body></html>");
  auto window = Open(site.Url("/client"));
  TextOnceItHas(window, "keys");
  ASSERT_TRUE(WaitFor([&] { return window->GetBrowser()->GetHost()->GetWindowHandle()->focusProxy() != nullptr; }));
  SendKey(window, Qt::Key_F5, Qt::NoModifier);
  EXPECT_TRUE(WaitFor([&] { return site.Hits("/client") == 2; }));
  // Ctrl+R is the page's own key: nothing reloads.
  TextOnceItHas(window, "keys");
  SendKey(window, Qt::Key_R, Qt::ControlModifier);
  EXPECT_FALSE(WaitFor([&] { return site.Hits("/client") > 2; }, 1000));
  answer = platform::IDCANCEL;
  SendKey(window, Qt::Key_Delete, Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
  EXPECT_TRUE(boxes.empty());
  SendKey(window, Qt::Key_Delete, Qt::ControlModifier | Qt::ShiftModifier);
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, "确定删除缓存吗？");
  qunsetenv("XDG_DATA_HOME");
}

TEST_F(BrowserPolicies, DeveloperToolsOpenInAWindowOfTheirOwn) {
  RecordingServer site;
  site.Serve("/client", "<html><body>inspect me</body></html>");
  auto window = Open(site.Url("/client"));
  TextOnceItHas(window, "inspect me");
  ASSERT_TRUE(WaitFor([&] { return window->GetBrowser()->GetHost()->GetWindowHandle()->focusProxy() != nullptr; }));
  SendKey(window, Qt::Key_F12, Qt::NoModifier);
  SendKey(window, Qt::Key_F12, Qt::ControlModifier | Qt::ShiftModifier | Qt::AltModifier);
  QCoreApplication::processEvents();
  EXPECT_EQ(registry()->window_count(), 1u);
  SendKey(window, Qt::Key_F12, Qt::ControlModifier | Qt::ShiftModifier);
  ASSERT_TRUE(WaitFor([&] { return registry()->window_count() == 2; }));
  std::shared_ptr<browser::RootWindow> tools = Popup();
  ASSERT_TRUE(tools);
  EXPECT_TRUE(WaitFor([&] { return tools->GetHandle() && tools->GetHandle()->isVisible(); }));
  // Asked for no size, it gets a usable part of the work area.
  const platform::Rect expected = browser::PlacePopup("", platform::WorkArea()).bounds;
  EXPECT_EQ(tools->GetHandle()->size(), QSize(expected.width, expected.height));
}

TEST_F(BrowserPolicies, TargetedLinksOpenPopupsOwnedByTheMainWindow) {
  RecordingServer site;
  site.Serve("/target", "<html><body>target page</body></html>");
  site.Serve("/client", "<html><body><a id='l' target='_blank' href='/target'>link</a>"
                        "<script>document.getElementById('l').click();</script></body></html>");
  auto window = Open(site.Url("/client"));
  ASSERT_TRUE(WaitFor([&] { return registry()->window_count() == 2; }));
  std::shared_ptr<browser::RootWindow> popup = Popup();
  ASSERT_TRUE(popup);
  ASSERT_TRUE(WaitFor([&] { return popup->GetHandle() && popup->GetHandle()->isVisible(); }));
  TextOnceItHas(popup, "target page");
  QWidget* frame = popup->GetHandle();
  EXPECT_EQ(frame->windowTitle(), QStringLiteral("VeltroCRM客户管理系统"));
  EXPECT_EQ(frame->parentWidget(), window->GetHandle());
  EXPECT_EQ(frame->findChild<QLineEdit*>(), nullptr);
  const platform::Rect expected = browser::PlacePopup("", platform::WorkArea()).bounds;
  EXPECT_EQ(frame->size(), QSize(expected.width, expected.height));
  // Full screen re-creates the main window's native window; the popup stays
  // owned by the new one.
  ASSERT_TRUE(env::SetFullScreen(1));
  ASSERT_TRUE(WaitFor([&] { return window->GetHandle()->isFullScreen(); }, 5000));
  EXPECT_EQ(frame->windowHandle()->transientParent(), window->GetHandle()->windowHandle());
  ASSERT_TRUE(env::SetFullScreen(0));
  ASSERT_TRUE(WaitFor([&] { return !window->GetHandle()->isFullScreen(); }, 5000));
  EXPECT_EQ(frame->windowHandle()->transientParent(), window->GetHandle()->windowHandle());
  // The popup goes with its owner.
  window->Close(true);
  EXPECT_TRUE(WaitFor([&] { return registry()->window_count() == 0; }, 10000));
}

TEST_F(BrowserPolicies, NewTabLinksOpenAWindowWithControls) {
  RecordingServer site;
  site.Serve("/target", "<html><body>target page</body></html>");
  // A modified click is a new tab even on a link that names a target; the
  // user's own click, as a script's without one opens no window.
  site.Serve("/client", "<html><body style='margin:0'><a id='l' target='_blank' href='/target' "
                        "style='display:block;height:300px'>link</a></body></html>");
  auto window = Open(site.Url("/client"));
  TextOnceItHas(window, "link");
  // On a Chinese desktop the controls speak Chinese.
  ScopedEnvironment chinese({{"LANG", "zh_CN.UTF-8"}, {"LC_ALL", nullptr}, {"LC_MESSAGES", nullptr}});
  QWidget* view = window->GetBrowser()->GetHost()->GetWindowHandle();
  QWidget* target = view->focusProxy() ? view->focusProxy() : view;
  ASSERT_TRUE(WaitFor([&] {
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
      QMouseEvent click(type, QPointF(20, 20), target->mapToGlobal(QPointF(20, 20)), Qt::LeftButton,
                        type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::ControlModifier);
      QCoreApplication::sendEvent(target, &click);
    }
    return WaitFor([&] { return registry()->window_count() == 2; }, 500);
  }));
  std::shared_ptr<browser::RootWindow> tab;
  for (auto& w : registry()->RootWindowsForTesting())
    if (w != window) tab = w;
  ASSERT_TRUE(tab);
  EXPECT_FALSE(tab->is_popup());
  ASSERT_TRUE(WaitFor([&] { return tab->GetBrowser() != nullptr; }));
  TextOnceItHas(tab, "target page");
  // Only the main window carries the title the single-instance lookup uses.
  EXPECT_EQ(tab->GetHandle()->windowTitle(), QStringLiteral("VeltroCRM客户管理系统"));
  EXPECT_EQ(tab->GetHandle()->parentWidget(), nullptr);
  EXPECT_NE(tab->GetHandle()->findChild<QLineEdit*>(), nullptr);
  QStringList texts;
  for (QAction* menu : tab->GetHandle()->findChild<QMenuBar*>()->actions()) texts << menu->text();
  for (QPushButton* button : tab->GetHandle()->findChildren<QPushButton*>()) texts << button->text();
  EXPECT_EQ(texts.join(QLatin1Char(' ')), QStringLiteral("文件(&F) 帮助(&H) 后退 前进 刷新 停止"));
  // The current page stays where it was.
  EXPECT_EQ(window->GetBrowser()->GetMainFrame()->GetURL(), site.Url("/client"));
}

TEST_F(BrowserPolicies, MessageBoxesShowPlainTextWithChineseButtons) {
  platform::SetMessageBoxAnswererForTesting(nullptr);
  QString shown;
  Qt::TextFormat format = Qt::AutoText;
  QStringList buttons;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    shown = box->text();
    format = box->textFormat();
    for (QAbstractButton* button : box->buttons()) buttons << button->text();
    box->reject();
  });
  poll.start(50);
  platform::ShowMessageBox(nullptr, "<h1>x</h1><img src=y>", "提示", platform::MB_OKCANCEL);
  EXPECT_EQ(shown, QStringLiteral("<h1>x</h1><img src=y>"));
  EXPECT_EQ(format, Qt::PlainText);
  EXPECT_TRUE(buttons.contains(QStringLiteral("取消"))) << buttons.join(',').toStdString();
  // Qt's own standard buttons come from its Chinese catalogue.
  QDialogButtonBox standard(QDialogButtonBox::Cancel);
  EXPECT_EQ(standard.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("取消"));
}

TEST_F(BrowserPolicies, PromptIsTheEnginesDialogInChinese) {
  RecordingServer site;
  site.Serve("/client", "<html><body><script>setTimeout(() => "
                        "document.body.append('answer:' + prompt('<b>名字</b>?', 'x')), 100);</script></body></html>");
  QString title, label;
  Qt::TextFormat format = Qt::AutoText;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    auto* dialog = qobject_cast<QInputDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    title = dialog->windowTitle();
    label = dialog->findChild<QLabel*>()->text();
    format = dialog->findChild<QLabel*>()->textFormat();
    dialog->setTextValue(QStringLiteral("张三"));
    dialog->accept();
  });
  poll.start(50);
  auto window = Open(site.Url("/client"));
  EXPECT_NE(TextOnceItHas(window, "answer:").find("answer:张三"), std::string::npos);
  EXPECT_TRUE(title.startsWith(QStringLiteral("Javascript提示 - "))) << title.toStdString();
  // The page's text is shown as text.
  EXPECT_EQ(label, QStringLiteral("<b>名字</b>?"));
  EXPECT_EQ(format, Qt::PlainText);
}

TEST_F(BrowserPolicies, NoContextMenu) {
  RecordingServer site;
  site.Serve("/client", "<html><body><a href='/x'>link</a> text</body></html>");
  auto window = Open(site.Url("/client"));
  TextOnceItHas(window, "text");
  QWidget* view = window->GetBrowser()->GetHost()->GetWindowHandle();
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(10, 10), view->mapToGlobal(QPoint(10, 10)));
  QCoreApplication::sendEvent(view, &event);
  QCoreApplication::processEvents();
  EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
}

// openssl s_server on 127.0.0.1 with a fresh self-signed certificate.
class SelfSignedServer {
 public:
  SelfSignedServer() : port_(ClosedPort()) {
    const QString key = dir_.filePath("key.pem"), cert = dir_.filePath("cert.pem");
    QProcess make_cert;
    make_cert.setStandardErrorFile(QProcess::nullDevice());
    make_cert.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj",
                                "/CN=veltro-test-<b>", "-keyout", key, "-out", cert});
    if (!make_cert.waitForFinished(30000) || make_cert.exitCode() != 0) return;
    server_.start("openssl", {"s_server", "-accept", QString::number(port_), "-cert", cert, "-key", key, "-www",
                              "-quiet"});
    if (!server_.waitForStarted()) return;
    started_ = WaitFor([this] {
      const int fd = socket(AF_INET, SOCK_STREAM, 0);
      sockaddr_in address{};
      address.sin_family = AF_INET;
      address.sin_port = htons(static_cast<uint16_t>(port_));
      address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
      const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
      close(fd);
      return ok;
    }, 5000);
  }
  ~SelfSignedServer() {
    server_.kill();
    server_.waitForFinished();
  }
  bool started() const { return started_; }
  std::string Url(const std::string& path) const { return "https://127.0.0.1:" + std::to_string(port_) + path; }

 private:
  QTemporaryDir dir_;
  QProcess server_;
  int port_;
  bool started_ = false;
};

TEST_F(BrowserPolicies, SelfSignedCertificateShowsThePageWithNoWayPast) {
  SelfSignedServer server;
  ASSERT_TRUE(server.started());
  auto window = Open(server.Url("/"));
  const std::string text = TextOnceItHas(window, "DER Encoded*");
  EXPECT_NE(text.find("Page failed to load."), std::string::npos) << text;
  EXPECT_NE(text.find("ERR_CERT_AUTHORITY_INVALID"), std::string::npos) << text;
  // The subject is shown as text: its markup was escaped.
  EXPECT_NE(text.find("veltro-test-<b>"), std::string::npos) << text;
  EXPECT_NE(text.find("PEM Encoded*"), std::string::npos) << text;
  EXPECT_EQ(window->GetBrowser()->GetMainFrame()->GetURL().rfind("data:text/html;base64,", 0), 0u);
}

TEST_F(BrowserPolicies, BadCertificatesOfImagesAndFramesLeaveThePage) {
  SelfSignedServer server;
  ASSERT_TRUE(server.started());
  RecordingServer site;
  site.Serve("/client", "<html><body>outer page<img src='" + server.Url("/a.png") +
                            "' onerror=\"document.body.append(' image refused')\">"
                            "<iframe src='" + server.Url("/frame") + "'></iframe></body></html>");
  auto window = Open(site.Url("/client"));
  const std::string text = TextOnceItHas(window, "image refused");
  EXPECT_EQ(text.rfind("outer page", 0), 0u) << text;
  WaitFor([] { return false; }, 1500);
  EXPECT_EQ(window->GetBrowser()->GetMainFrame()->GetURL(), site.Url("/client"));
  EXPECT_EQ(FrameText(window->GetBrowser()).find("Page failed to load"), std::string::npos);
}

}  // namespace
