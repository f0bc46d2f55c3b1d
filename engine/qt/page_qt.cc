// The page's side of a browser: its console, script dialogs, the page
// bridge's calls and navigation policy.
#include <QAuthenticator>
#include <QEventLoop>
#include <QInputDialog>
#include <QLabel>
#include <QPointer>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <map>

#include "engine/qt/bootstrap_script.h"
#include "engine/qt/page_host_qt.h"
#include "engine/qt/page_qt.h"
#include "engine/qt/page_bridge.h"

namespace engine {

namespace {

class QtJSDialogCallback : public JSDialogCallback {
 public:
  void Continue(bool success, const std::u16string& input) override {
    answered = true;
    this->success = success;
    this->input = input;
  }
  bool answered = false;
  bool success = false;
  std::u16string input;
};
class QtAuthCallback : public AuthCallback {
 public:
  void Continue(const std::string& user, const std::string& password) override {
    Finish(true, user, password);
  }
  void Cancel() override { Finish(false, {}, {}); }
  bool answered = false;
  bool accepted = false;
  std::string user;
  std::string password;
  QPointer<QEventLoop> loop;

 private:
  void Finish(bool ok, const std::string& name, const std::string& secret) {
    if (answered) return;
    answered = true;
    accepted = ok;
    user = name;
    password = secret;
    if (loop) loop->quit();
  }
};

// The places each profile got credentials for from the client. Chromium
// keeps what it was given and asks again only when it was refused.
using Supplied = std::map<QString, std::pair<std::string, std::string>>;
std::map<const QWebEngineProfile*, Supplied>& SuppliedPlaces() {
  static std::map<const QWebEngineProfile*, Supplied> places;
  return places;
}

}  // namespace

void QtPage::AnswerAuthentication(AuthChallenge challenge, QAuthenticator* authenticator) {
  auto browser = browser_.lock();
  const QString place = QString::fromStdString((challenge.is_proxy ? "proxy " : "site ") + challenge.host + " ") +
                        authenticator->realm();
  challenge.realm = authenticator->realm().toStdString();
  QWebEngineProfile* const owner = profile();
  auto& places = SuppliedPlaces();
  if (!places.count(owner))
    connect(owner, &QObject::destroyed, [owner] { SuppliedPlaces().erase(owner); });
  if (const auto it = places[owner].find(place); it != places[owner].end()) {
    challenge.retry = true;
    challenge.refused_user = it->second.first;
    challenge.refused_password = it->second.second;
  }
  auto callback = std::make_shared<QtAuthCallback>();
  QPointer<QtPage> self(this);
  const bool handled = browser && browser->client()->GetAuthCredentials(browser, challenge, callback);
  if (handled && !callback->answered && self) {
    QEventLoop loop;
    callback->loop = &loop;
    // The page going away ends the wait: its request is gone with it.
    connect(this, &QObject::destroyed, &loop, &QEventLoop::quit);
    loop.exec();
  }
  // Without credentials Qt's null authenticator cancels the request.
  if (!self || !callback->answered || !callback->accepted) {
    if (self) *authenticator = QAuthenticator();
    return;
  }
  authenticator->setUser(QString::fromStdString(callback->user));
  authenticator->setPassword(QString::fromStdString(callback->password));
  SuppliedPlaces()[owner][place] = {callback->user, callback->password};
}

QtPage::QtPage(QWebEngineProfile* profile, QObject* parent, std::weak_ptr<QtPageHost> browser)
    : QWebEnginePage(profile, parent), browser_(std::move(browser)) {
  // Element.requestFullscreen() reaches the client's full-screen handling.
  settings()->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, true);
  // Both in every frame before its own scripts; the error page's in a
  // world of its own, which the page's scripts cannot reach.
  const std::pair<QString, QWebEngineScript::ScriptWorldId> worlds[] = {
      {PageScripts(), QWebEngineScript::MainWorld}, {ErrorPageScripts(), QWebEngineScript::ApplicationWorld}};
  for (const auto& [source, world] : worlds) {
    QWebEngineScript script;
    script.setName(world == QWebEngineScript::MainWorld ? QStringLiteral("veltro-bootstrap")
                                                        : QStringLiteral("veltro-error-page"));
    script.setSourceCode(source);
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(world);
    script.setRunsOnSubFrames(true);
    scripts().insert(script);
  }
  // Unknown schemes reach acceptNavigationRequest, where the client
  // decides which of them the system opens.
  settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::AllowAllUnknownUrlSchemes);
  connect(this, &QWebEnginePage::authenticationRequired, this, [this](const QUrl& url, QAuthenticator* authenticator) {
    AuthChallenge challenge;
    challenge.host = url.host().toStdString() + ":" + std::to_string(url.port(url.scheme() == "https" ? 443 : 80));
    challenge.request_url = url.toString().toStdString();
    AnswerAuthentication(challenge, authenticator);
  });
  connect(this, &QWebEnginePage::proxyAuthenticationRequired, this,
          [this](const QUrl& url, QAuthenticator* authenticator, const QString& proxy_host) {
            AuthChallenge challenge;
            challenge.is_proxy = true;
            challenge.host = proxy_host.toStdString();
            challenge.request_url = url.toString().toStdString();
            AnswerAuthentication(challenge, authenticator);
          });
}

void QtPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel level, const QString& message, int line,
                                      const QString& source) {
  auto browser = browser_.lock();
  if (browser && message.startsWith(kBridgeMarker)) {
    // A bridge call where the prompt channel is blocked: it runs, its answer
    // goes nowhere. It names its frame by the secret token the frame
    // registered; any frame can write the marker, none another's token.
    static const QString kVia = QStringLiteral("via\n");
    QString call = message.mid(kBridgeMarker.size());
    QUrl one_way_origin;
    if (call.startsWith(kVia)) {
      const qsizetype token_end = call.indexOf(QLatin1Char('\n'), kVia.size());
      if (token_end < 0) return;
      one_way_origin = browser->OneWayOriginOf(call.mid(kVia.size(), token_end - kVia.size()));
      call = call.mid(token_end + 1);
    }
    browser->BridgeCall(QUrl(QStringLiteral("about:console")), call, one_way_origin);
    return;
  }
  // The engine's own report of a blocked bridge prompt: the call went the
  // console way already, and its arguments are nothing for the page log.
  if (message.contains(kBridgeMarker)) return;
  if (browser && browser->client()->OnConsoleMessage(browser, message.toStdU16String(), source.toStdString(), line))
    return;
  QWebEnginePage::javaScriptConsoleMessage(level, message, line, source);
}

void QtPage::javaScriptAlert(const QUrl& origin, const QString& message) {
  auto browser = browser_.lock();
  if (!browser) return;
  auto callback = std::make_shared<QtJSDialogCallback>();
  bool suppress = false;
  const bool handled = browser->client()->OnJSDialog(browser, origin.toString().toStdString(), JSDIALOGTYPE_ALERT,
                                                     message.toStdU16String(), std::u16string(), callback, suppress);
  if (!handled && !suppress) QWebEnginePage::javaScriptAlert(origin, message);
}

bool QtPage::javaScriptConfirm(const QUrl& origin, const QString& message) {
  auto browser = browser_.lock();
  if (!browser) return false;
  auto callback = std::make_shared<QtJSDialogCallback>();
  bool suppress = false;
  const bool handled = browser->client()->OnJSDialog(browser, origin.toString().toStdString(),
                                                     JSDIALOGTYPE_CONFIRM, message.toStdU16String(),
                                                     std::u16string(), callback, suppress);
  if (handled) return callback->answered && callback->success;
  if (suppress) return false;
  return QWebEnginePage::javaScriptConfirm(origin, message);
}

bool QtPage::javaScriptPrompt(const QUrl& origin, const QString& message, const QString& default_value,
                              QString* result) {
  auto browser = browser_.lock();
  if (!browser) return false;
  if (message.startsWith(kBridgeMarker)) {
    *result = browser->BridgeCall(origin, message.mid(kBridgeMarker.size()));
    return true;
  }
  auto callback = std::make_shared<QtJSDialogCallback>();
  bool suppress = false;
  const bool handled = browser->client()->OnJSDialog(browser, origin.toString().toStdString(), JSDIALOGTYPE_PROMPT,
                                                     message.toStdU16String(), default_value.toStdU16String(),
                                                     callback, suppress);
  if (handled) {
    *result = QString::fromStdU16String(callback->input);
    return callback->answered && callback->success;
  }
  if (suppress) return false;
  // Qt's own prompt has a title no catalogue translates; this is the same
  // dialog with the title Qt's catalogue has for it, and the page's text
  // shown as text.
  // On the heap: the view may go while the dialog is open, taking it along.
  QPointer<QInputDialog> dialog = new QInputDialog(browser->dialog_parent());
  dialog->setWindowTitle(
      QCoreApplication::translate("UIDelegatesManager", "Javascript Prompt - %1").arg(origin.toString()));
  dialog->setLabelText(message);
  if (auto* label = dialog->findChild<QLabel*>()) label->setTextFormat(Qt::PlainText);
  dialog->setTextValue(default_value);
  const bool accepted = dialog->exec() == QDialog::Accepted;
  if (!dialog) return false;
  *result = dialog->textValue();
  delete dialog.data();
  return accepted;
}

bool QtPage::acceptNavigationRequest(const QUrl& url, NavigationType type, bool is_main_frame) {
  static const QStringList kEngineSchemes = {"http", "https", "data", "file", "about", "blob", "chrome",
                                             "devtools", "qrc", "view-source", "ws", "wss", "filesystem"};
  auto browser = browser_.lock();
  if (browser && !kEngineSchemes.contains(url.scheme())) {
    // Qt asks here before it hands an unknown scheme to the system;
    // refused, the page stays where it is.
    bool allow = false;
    browser->client()->OnProtocolExecution(browser, url.toString().toStdString(), is_main_frame, allow);
    return allow;
  }
  const bool accepted = QWebEnginePage::acceptNavigationRequest(url, type, is_main_frame);
  if (browser && accepted && is_main_frame) browser->NoteMainFrameNavigation(url);
  return accepted;
}

}  // namespace engine
