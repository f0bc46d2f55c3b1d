#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QQuickWindow>
#include <QThread>
#include <QTranslator>
#include <QWebEngineProfile>
#include <QtWebEngineCore/qtwebenginecoreglobal.h>
#include <map>
#include <mutex>
#include <thread>
#include <unistd.h>

#include "engine/engine.h"
#include "engine/engine_flags.h"
#include "engine/qt/browser_qt.h"
#include "engine/qt/engine_log_qt.h"
#include "engine/qt/profiles_qt.h"

namespace engine {

namespace {

// Engine state of the browser process; touched on the UI thread only,
// except |g_app| which PostTask reads from any thread.
struct EngineState {
  int argc = 0;
  std::vector<char*> argv;
  Settings settings;
  std::unique_ptr<QtProfiles> profiles;
  std::map<int, std::shared_ptr<QtBrowser>> live_browsers;
  int next_browser_id = 1;
};

EngineState* g_state = nullptr;
std::mutex g_app_mutex;
QApplication* g_app = nullptr;
std::thread::id g_ui_thread;

std::string ProcessType(int argc, char** argv) {
  auto command_line = CommandLine::CreateFromArgv(argc, argv);
  return command_line->GetSwitchValue("type");
}

std::string HelperPath() {
  return QDir(QLibraryInfo::path(QLibraryInfo::LibraryExecutablesPath))
      .filePath(QStringLiteral("QtWebEngineProcess"))
      .toStdString();
}

int ChromiumLogLevel(LogSeverity severity) {
  switch (severity) {
    case LOGSEVERITY_VERBOSE:
    case LOGSEVERITY_INFO:
      return 0;
    case LOGSEVERITY_WARNING:
      return 1;
    case LOGSEVERITY_ERROR:
      return 2;
    default:
      return 3;
  }
}

// The engine's own dialogs (prompt, file choosers, standard buttons) speak
// the engine's language; without a catalogue they stay in English.
void InstallTranslations(const std::string& locale) {
  const QLocale language(QString::fromStdString(locale).replace(QLatin1Char('-'), QLatin1Char('_')));
  const QString folder = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
  for (const QString& catalogue : {QStringLiteral("qtbase"), QStringLiteral("qtwebengine")}) {
    auto* translator = new QTranslator(g_app);
    if (translator->load(language, catalogue, QStringLiteral("_"), folder))
      g_app->installTranslator(translator);
    else
      delete translator;
  }
}

}  // namespace

void ReleaseBrowser(int id) {
  if (g_state) g_state->live_browsers.erase(id);
}

std::vector<std::string> SwitchesForSettings(const Settings& settings) {
  std::vector<std::string> switches;
  if (settings.no_sandbox) switches.push_back("--no-sandbox");
  if (!settings.locale.empty()) switches.push_back("--lang=" + settings.locale);
  if (!settings.log_file.empty()) {
    switches.push_back("--enable-logging");
    switches.push_back("--log-file=" + settings.log_file);
  }
  if (settings.log_severity != LOGSEVERITY_DEFAULT)
    switches.push_back("--log-level=" + std::to_string(ChromiumLogLevel(settings.log_severity)));
  if (settings.remote_debugging_port > 0)
    switches.push_back("--remote-debugging-port=" + std::to_string(settings.remote_debugging_port));
  return switches;
}


int ExecuteProcess(const MainArgs& args, App* app) {
  const std::string type = ProcessType(args.argc, args.argv);
  if (type.empty()) return -1;
  if (app) {
    auto command_line = CommandLine::CreateFromArgv(args.argc, args.argv);
    app->OnBeforeCommandLineProcessing(type, *command_line);
  }
  // Qt WebEngine starts its helpers from our executable; hand them over to
  // its real helper with the same arguments.
  const std::string helper = HelperPath();
  std::vector<char*> argv(args.argv, args.argv + args.argc);
  argv[0] = const_cast<char*>(helper.c_str());
  argv.push_back(nullptr);
  execv(helper.c_str(), argv.data());
  return 1;
}

std::string EngineVersion() {
  return std::string("Qt WebEngine ") + qWebEngineVersion() + " (Chromium " + qWebEngineChromiumVersion() +
         ", security patches " + qWebEngineChromiumSecurityPatchVersion() + ")";
}

bool Initialize(const MainArgs& args, const Settings& settings, App* app) {
  if (g_state) return false;
  auto command_line = CommandLine::GetGlobal();
  auto engine_command_line = command_line ? std::make_shared<CommandLine>(*command_line)
                                          : CommandLine::CreateFromArgv(args.argc, args.argv);
  if (app) app->OnBeforeCommandLineProcessing(std::string(), *engine_command_line);

  std::vector<std::string> switches = SwitchesForSettings(settings);
  for (const auto& [name, value] : engine_command_line->GetSwitches())
    switches.push_back(value.empty() ? "--" + name : "--" + name + "=" + value);
  const QByteArray user_flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
  qputenv("QTWEBENGINE_CHROMIUM_FLAGS", QByteArray::fromStdString(EngineFlags(
                                            user_flags.toStdString(), switches, settings.remote_debugging_shut)));
  // The engine builds the page's accessible tree only while an assistive
  // technology listens, and then only with this set: without it a screen
  // reader gets an empty document. A value the user set stands.
  if (qEnvironmentVariableIsEmpty("QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY"))
    qputenv("QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY", "1");
  if (settings.no_sandbox) qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
  // The page side of the product runs in this process, so the helpers are
  // the engine's own; going through this executable first cost every
  // helper the loading of all our libraries.
  qputenv("QTWEBENGINEPROCESS_PATH", QByteArray::fromStdString(HelperPath()));

  g_state = new EngineState;
  g_state->settings = settings;
  g_state->argc = args.argc;
  g_state->argv.assign(args.argv, args.argv + args.argc);
  g_state->argv.push_back(nullptr);
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  // Without GPU compositing the engine's frames are bitmaps: Qt Quick's
  // software renderer draws them without an OpenGL context, where the
  // default renderer would take every frame through a whole-window GL pass,
  // on machines without a GPU in software, at tens of milliseconds of CPU
  // a frame.
  const bool software = engine_command_line->HasSwitch("disable-gpu-compositing");
  if (software) QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
  // Then nothing but the off-screen window draws with OpenGL, yet the engine
  // makes a shared OpenGL context as the application starts, which loads
  // the whole GL stack (Mesa's with its LLVM): tens of milliseconds of every
  // start. Without the X11 GL integration that context fails at once.
  const bool without_gl = software && !settings.windowless_rendering_enabled &&
                          qEnvironmentVariableIsEmpty("QT_XCB_GL_INTEGRATION");
  if (without_gl) qputenv("QT_XCB_GL_INTEGRATION", "none");
  if (!settings.log_file.empty()) SendQtMessagesTo(settings.log_file);
  {
    std::lock_guard<std::mutex> lock(g_app_mutex);
    g_app = new QApplication(g_state->argc, g_state->argv.data());
  }
  // Programs we start keep their OpenGL.
  if (without_gl) qunsetenv("QT_XCB_GL_INTEGRATION");
  if (settings.late_switches) {
    for (std::string& late : settings.late_switches()) switches.push_back(std::move(late));
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", QByteArray::fromStdString(EngineFlags(
                                              user_flags.toStdString(), switches, settings.remote_debugging_shut)));
  }
  g_ui_thread = std::this_thread::get_id();
  if (!settings.locale.empty()) InstallTranslations(settings.locale);
  g_state->profiles = std::make_unique<QtProfiles>(settings.accept_language_list);
  // The engine has read its switches; programs we start get the user's.
  if (user_flags.isEmpty())
    qunsetenv("QTWEBENGINE_CHROMIUM_FLAGS");
  else
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", user_flags);
  if (app && app->GetBrowserProcessHandler()) app->GetBrowserProcessHandler()->OnContextInitialized();
  return true;
}

void Shutdown() {
  if (!g_state) return;
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  g_state->live_browsers.clear();
  g_state->profiles.reset();
  {
    std::lock_guard<std::mutex> lock(g_app_mutex);
    delete g_app;
    g_app = nullptr;
  }
  delete g_state;
  g_state = nullptr;
}

void RunMessageLoop() {
  if (g_app) g_app->exec();
}

void QuitMessageLoop() {
  PostTask([] { QCoreApplication::quit(); });
}

void PostTask(std::function<void()> task) {
  std::lock_guard<std::mutex> lock(g_app_mutex);
  if (g_app) QMetaObject::invokeMethod(g_app, std::move(task), Qt::QueuedConnection);
}

bool CurrentlyOnUiThread() { return g_app && std::this_thread::get_id() == g_ui_thread; }

std::shared_ptr<QtBrowser> CreateQtBrowser(const WindowInfo& info, std::shared_ptr<Client> client,
                                           QWebEngineProfile* profile, const std::string& url) {
  if (!g_state || !client || !info.parent) return nullptr;
  auto browser = std::make_shared<QtBrowser>(g_state->next_browser_id++, client);
  g_state->live_browsers[browser->GetIdentifier()] = browser;
  browser->Create(info, profile, g_state->settings.background_color, url);
  PostTask([browser, client] { client->OnAfterCreated(browser); });
  return browser;
}

bool CreateBrowser(const WindowInfo& window_info, std::shared_ptr<Client> client, const std::string& url,
                   const BrowserSettings& settings, std::shared_ptr<RequestContext> request_context) {
  if (!g_state) return false;
  QWebEngineProfile* profile = g_state->profiles->ProfileOf(request_context.get());
  WindowInfo info = window_info;
  info.windowless_frame_rate = settings.windowless_frame_rate;
  return CreateQtBrowser(info, std::move(client), profile, url) != nullptr;
}

}  // namespace engine
