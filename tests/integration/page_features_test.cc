// What a page of the service expects of a desktop client, in the real
// engine: printing, file upload, notifications, the full-screen API,
// storage quota and drags.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QDragEnterEvent>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMimeData>
#include <QMouseEvent>
#include <QPrintDialog>
#include <QPrinter>
#include <QProcess>
#include <QScreen>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>
#include <QWindow>

#include "app/app_context.h"
#include "browser/window_registry.h"
#include "browser/browser_event_handler.h"
#include "browser/root_window_win.h"
#include "env/product.h"
#include "client_harness.h"

namespace {

class PageFeatures : public ::testing::Test {
 protected:
  void TearDown() override {
    app::AppContext::Get()->Registry()->CloseAllWindows(true);
    WaitFor([] { return app::AppContext::Get()->Registry()->window_count() == 0; }, 10000);
    env::SetStartUrlOverride("");
    engine::SetNotificationPresenter(nullptr);
  }

  void Open(const std::string& html) {
    site.Serve("/page", "<html><head><meta charset='utf-8'></head><body style='margin:0'>" + html +
                            "<pre id='out'></pre><script>function say(t) { document.getElementById('out')"
                            ".textContent += t + '\\n'; }</script></body></html>");
    window = app::AppContext::Get()->Registry()->CreateRootWindow(false, false, {0, 0, 800, 600}, site.Url("/page"));
    ASSERT_TRUE(WaitFor([&] { return window->GetBrowser() != nullptr; }));
    ASSERT_TRUE(WaitFor([&] { return Text().find("") != std::string::npos && window->GetBrowser()->GetMainFrame()->GetURL() == site.Url("/page"); }));
    WaitFor([] { return false; }, 500);
  }
  std::string Text() { return FrameText(window->GetBrowser()); }
  void Run(const std::string& script) {
    window->GetBrowser()->GetMainFrame()->ExecuteJavaScript(QString::fromStdString(script).toStdU16String(), "", 0);
  }
  bool Says(const std::string& line, int timeout_ms = 10000) {
    return WaitFor([&] { return Text().find(line) != std::string::npos; }, timeout_ms);
  }
  // A real click (a user gesture for the page) at |x|, |y| of the view.
  void Click(int x, int y) {
    QWidget* view = window->GetBrowser()->GetHost()->GetWindowHandle();
    QWidget* target = view->focusProxy() ? view->focusProxy() : view;
    const QPointF at(x, y);
    QMouseEvent press(QEvent::MouseButtonPress, at, target->mapToGlobal(at), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QMouseEvent release(QEvent::MouseButtonRelease, at, target->mapToGlobal(at), Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(target, &press);
    QCoreApplication::sendEvent(target, &release);
  }
  // Acts on the first visible top-level widget of type T once it is up,
  // from inside the dialog's own event loop; the screenshot goes where the
  // system tests keep theirs.
  template <typename T>
  void WhenUp(const QString& shot, std::function<void(T*)> act) {
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, timer, [timer, shot, act] {
      for (QWidget* widget : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<T*>(widget);
        if (!dialog || !dialog->isVisible()) continue;
        timer->stop();
        timer->deleteLater();
        QTimer::singleShot(800, dialog, [dialog, shot, act] {
          const QImage image = dialog->screen()->grabWindow(dialog->winId()).toImage();
          QDir().mkpath(QStringLiteral("window-shots"));
          image.save(QStringLiteral("window-shots/") + shot + QStringLiteral(".png"));
          QSet<QRgb> colours;
          long black = 0;
          for (int y = 0; y < image.height(); y += 2)
            for (int x = 0; x < image.width(); x += 2) {
              colours.insert(image.pixel(x, y) & 0xF0F0F0);
              black += qGray(image.pixel(x, y)) < 16;
            }
          EXPECT_GE(colours.size(), 8) << shot.toStdString();
          EXPECT_LT(black * 4, image.width() * image.height() / 5) << shot.toStdString();
          act(dialog);
        });
        return;
      }
    });
    timer->start(100);
  }

  RecordingServer site;
  std::shared_ptr<browser::RootWindow> window;
};

TEST_F(PageFeatures, PrintOpensTheDialogAndPrints) {
  Open("<h1>报价单 Quote 4711</h1><p>Total 1,234.00</p>");
  QTemporaryDir out;
  const QString pdf = out.filePath("quote.pdf");
  QString title;
  WhenUp<QPrintDialog>("print-dialog", [&](QPrintDialog* dialog) {
    title = dialog->windowTitle();
    dialog->printer()->setOutputFormat(QPrinter::PdfFormat);
    dialog->printer()->setOutputFileName(pdf);
    dialog->done(QDialog::Accepted);
  });
  Run("window.print(); say('print returned');");
  ASSERT_TRUE(WaitFor([&] { return QFileInfo(pdf).size() > 0; }, 30000));
  EXPECT_EQ(title, QStringLiteral("打印"));
  EXPECT_TRUE(Says("print returned"));
  QProcess text;
  text.start(QStringLiteral("pdftotext"), {pdf, QStringLiteral("-")});
  ASSERT_TRUE(text.waitForFinished(10000));
  const QString printed = QString::fromUtf8(text.readAllStandardOutput());
  EXPECT_TRUE(printed.contains(QStringLiteral("Quote 4711"))) << printed.toStdString();
  EXPECT_TRUE(printed.contains(QStringLiteral("1,234.00"))) << printed.toStdString();
}

TEST_F(PageFeatures, FileChooserSendsTheChosenFiles) {
  QTemporaryDir files;
  for (const char* name : {"a.txt", "b.txt"}) {
    QFile file(files.filePath(QString::fromLatin1(name)));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray("content of ") + name);
  }
  Open("<form id='form' method='post' enctype='multipart/form-data' action='/upload'>"
       "<input type='file' id='files' name='files' multiple style='position:absolute;left:0;top:0;width:300px;height:60px'>"
       "</form>");
  QString title;
  WhenUp<QFileDialog>("file-chooser", [&](QFileDialog* dialog) {
    title = dialog->windowTitle();
    // As a user types it: both names, quoted, in the file-name field.
    dialog->setDirectory(files.path());
    auto* names = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
    ASSERT_NE(names, nullptr);
    names->setText(QStringLiteral("\"a.txt\" \"b.txt\""));
    QMetaObject::invokeMethod(dialog, "accept");
  });
  Click(40, 30);
  ASSERT_TRUE(WaitFor([&] { return !title.isEmpty(); }));
  EXPECT_TRUE(title.contains(QChar(0x6253)) || title.contains(QChar(0x6587))) << title.toStdString();  // 打开 / 文件
  Run("say('chosen ' + document.getElementById('files').files.length);");
  EXPECT_TRUE(Says("chosen 2")) << Text();
  Run("document.getElementById('form').submit();");
  EXPECT_TRUE(WaitFor([&] { return !site.Posted("/upload").empty(); }));
  const std::string body = site.Posted("/upload");
  EXPECT_NE(body.find("filename=\"a.txt\""), std::string::npos) << body;
  EXPECT_NE(body.find("content of b.txt"), std::string::npos) << body;
}

TEST_F(PageFeatures, NotificationsForTheServiceOnly) {
  std::vector<engine::Notification> shown;
  engine::SetNotificationPresenter([&](const engine::Notification& n) { shown.push_back(n); });
  env::SetStartUrlOverride(site.Url("/page"));
  Open("");
  Run("Notification.requestPermission().then((p) => { say('permission ' + p);"
      " if (p === 'granted') new Notification('来电', { body: '13800138000' }); });");
  ASSERT_TRUE(Says("permission granted"));
  ASSERT_TRUE(WaitFor([&] { return !shown.empty(); }));
  EXPECT_EQ(shown[0].title, u"来电");
  EXPECT_EQ(shown[0].message, u"13800138000");
  // Any other origin is told no, at once.
  env::SetStartUrlOverride("https://crm.example.com/client");
  window->GetBrowser()->GetMainFrame()->LoadURL(site.Url("/page", "localhost"));
  ASSERT_TRUE(WaitFor([&] { return window->GetBrowser()->GetMainFrame()->GetURL() == site.Url("/page", "localhost"); }));
  WaitFor([] { return false; }, 500);
  Run("Notification.requestPermission().then((p) => say('permission ' + p));");
  EXPECT_TRUE(Says("permission denied"));
  // Without a notification service (the test's session bus starts none) a
  // notification is logged, not lost.
  const QString log = QCoreApplication::applicationDirPath() + "/log/软件日志" +
                      QDate::currentDate().toString("yyyyMMdd") + ".txt";
  QDir().mkpath(QCoreApplication::applicationDirPath() + "/log");
  browser::PresentNotification({"https://x", u"来电", u"13900139000\nforged line"});
  EXPECT_TRUE(WaitFor([&] { return ReadUtf16Log(log).contains(QStringLiteral("notification: 来电: 13900139000 forged line")); }));
}

// The bundled demo page offers every feature and lists each call with its
// answer: a newcomer sees the bridge answer there.
TEST_F(PageFeatures, TheDemoPageShowsWhatEachCallAnswers) {
  const auto demo_file = [](const char* name) {
    QFile file(QStringLiteral(VELTRO_DEMO_ROOT "/client/") + QString::fromLatin1(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
  };
  const std::string page = demo_file("index.html");
  ASSERT_FALSE(page.empty());
  site.Serve("/client/", page);
  site.Serve("/client/popup.html", demo_file("popup.html"));
  env::SetStartUrlOverride(site.Url("/client/"));
  window = app::AppContext::Get()->Registry()->CreateRootWindow(false, false, {0, 0, 1200, 900}, site.Url("/client/"));
  ASSERT_TRUE(WaitFor([&] { return window->GetBrowser() != nullptr; }));
  ASSERT_TRUE(Says("演示页面已加载"));
  Run("document.getElementById('text').value = 'demo 13800138000'; document.getElementById('copy').click();");
  EXPECT_TRUE(Says("app.copyText(...)  →  true"));
  EXPECT_TRUE(WaitFor([] { return QGuiApplication::clipboard()->text() == QStringLiteral("demo 13800138000"); }));
  Run("document.getElementById('screens').click();");
  EXPECT_TRUE(Says("app.getScreenCount()  →  1"));
  EXPECT_TRUE(Says("app.isMultiScreen()  →  false"));
  Run("document.getElementById('keyboard').click();");
  EXPECT_TRUE(Says("app.hasKeyboard()  →  "));
  const size_t windows = app::AppContext::Get()->Registry()->window_count();
  Run("document.getElementById('popup-borderless').click();");
  EXPECT_TRUE(Says("window.open('popup.html', 'no_100_80_640_480')  →  true"));
  EXPECT_TRUE(WaitFor([&] { return app::AppContext::Get()->Registry()->window_count() == windows + 1; }));
  // Calls go to the main window alone: a popup holds none.
  int with_calls = 0;
  for (const auto& w : app::AppContext::Get()->Registry()->RootWindowsForTesting()) {
    if (w->is_popup()) {
      EXPECT_EQ(w->calls(), nullptr);
    }
    with_calls += w->calls() != nullptr;
  }
  EXPECT_EQ(with_calls, 1);
  // Every feature a newcomer should try has its control.
  for (const char* control : {"landline-on", "mobile-on", "popup-framed", "popup-plain", "fullscreen", "print",
                              "alert", "confirm", "prompt", "notify", "outside", "dualview", "report.csv",
                              "VeltroCRM-demo-upgrade.deb", "target=\"_blank\""})
    EXPECT_NE(page.find(control), std::string::npos) << control;
}

TEST_F(PageFeatures, FullScreenApiAndQuota) {
  Open("<div id='box' style='width:400px;height:200px;background:#36c' "
       "onclick=\"this.requestFullscreen().then(() => say('entered'), (e) => say('refused ' + e.message))\"></div>");
  // The client's full-screen handling: a restored frame is maximised, and
  // put back when the page leaves. The view takes input a moment after the
  // page has loaded: click until the page has seen a click.
  QWidget* frame = window->GetBrowser()->GetHost()->GetWindowHandle()->window();
  frame->showNormal();
  ASSERT_TRUE(WaitFor([&] { return !frame->isMaximized(); }));
  for (int i = 0; i < 10 && !Says("entered", 1000) && Text().find("refused") == std::string::npos; ++i) Click(100, 100);
  ASSERT_TRUE(Says("entered")) << Text();
  EXPECT_TRUE(WaitFor([&] { return frame->isMaximized(); }));
  Run("document.exitFullscreen().then(() => say('left'));");
  EXPECT_TRUE(Says("left"));
  EXPECT_TRUE(WaitFor([&] { return !frame->isMaximized(); }));
  // A maximised frame stays maximised, in and out.
  frame->showMaximized();
  ASSERT_TRUE(WaitFor([&] { return frame->isMaximized(); }));
  Run("say('again');");
  for (int i = 0; i < 10 && !Says("entered\nleft\nagain\nentered", 1000); ++i) Click(100, 100);
  EXPECT_TRUE(Says("entered\nleft\nagain\nentered")) << Text();
  WaitFor([] { return false; }, 500);
  EXPECT_TRUE(frame->isMaximized());
  Run("document.exitFullscreen().then(() => say('left again'));");
  EXPECT_TRUE(Says("left again"));
  WaitFor([] { return false; }, 500);
  EXPECT_TRUE(frame->isMaximized());

  // The engine answers storage requests itself (it never asks the client,
  // whose limit is 20 MiB): the page is answered either way.
  Run("navigator.webkitPersistentStorage.requestQuota(31457280, (g) => say('granted ' + g), (e) => say('quota error'));");
  EXPECT_TRUE(WaitFor([&] { return Text().find("granted ") != std::string::npos || Text().find("quota error") != std::string::npos; }));
}

TEST_F(PageFeatures, TextDragsPassLinkDragsDoNot) {
  Open("<textarea style='width:300px;height:100px'></textarea>");
  QWidget* view = window->GetBrowser()->GetHost()->GetWindowHandle();
  auto drag = [&](QMimeData* data) {
    QDragEnterEvent enter(QPoint(50, 50), Qt::CopyAction | Qt::LinkAction | Qt::MoveAction, data, Qt::LeftButton,
                          Qt::NoModifier);
    enter.setAccepted(true);
    QCoreApplication::sendEvent(view, &enter);
    return enter.isAccepted();
  };
  QMimeData text, link;
  text.setText(QStringLiteral("selected words"));
  link.setUrls({QUrl(QStringLiteral("https://example.org/page"))});
  link.setText(QStringLiteral("https://example.org/page"));
  EXPECT_FALSE(drag(&link));
  EXPECT_TRUE(drag(&text));
}

}  // namespace
