#include "engine/qt/page_bridge.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <vector>

#include "engine/net_errors.h"
#include "engine/process_message.h"
#include "engine/qt/bootstrap_script.h"
#include "engine/qt/browser_qt.h"
#include "engine/qt/error_sub_frame_qt.h"
#include "engine/v8_value.h"

namespace engine {

namespace {

// Characters of unfinished long calls one browser keeps at most.
constexpr qsizetype kMaxCallPartsLength = 64 * 1024 * 1024;

struct Extension {
  QString name;
  QString code;
  std::shared_ptr<V8Handler> handler;
};

// UI thread only: registered at start-up, read when pages are made.
std::vector<Extension>& Extensions() {
  static std::vector<Extension> extensions;
  return extensions;
}

std::shared_ptr<RenderProcessHandler>& PageSideHandler() {
  static std::shared_ptr<RenderProcessHandler> handler;
  return handler;
}

V8Value Decode(const QJsonValue& value, int depth = 0) {
  const QJsonObject object = value.toObject();
  const QString type = object.value(QStringLiteral("t")).toString();
  const QJsonValue v = object.value(QStringLiteral("v"));
  if (type == QLatin1String("n")) return V8Value::CreateNull();
  if (type == QLatin1String("b")) return V8Value::CreateBool(v.toBool());
  if (type == QLatin1String("i")) return V8Value::CreateInt(v.toInt());
  if (type == QLatin1String("d")) return V8Value::CreateDouble(v.toDouble());
  if (type == QLatin1String("s")) return V8Value::CreateString(v.toString().toStdU16String());
  if (type == QLatin1String("a") && depth < 8) {
    std::vector<V8Value> items;
    for (const QJsonValue& item : v.toArray()) items.push_back(Decode(item, depth + 1));
    return V8Value::CreateArray(std::move(items));
  }
  if (type == QLatin1String("o")) return V8Value::CreateObject();
  return V8Value::CreateUndefined();
}

QJsonValue Encode(const V8Value& value) {
  QJsonObject object;
  switch (value.type()) {
    case V8Value::Type::kUndefined: return QJsonValue::Undefined;
    case V8Value::Type::kNull: object["t"] = "n"; break;
    case V8Value::Type::kBool: object["t"] = "b"; object["v"] = value.GetBoolValue(); break;
    case V8Value::Type::kInt: object["t"] = "i"; object["v"] = value.GetIntValue(); break;
    case V8Value::Type::kDouble: object["t"] = "d"; object["v"] = value.GetDoubleValue(); break;
    case V8Value::Type::kString:
      object["t"] = "s";
      object["v"] = QString::fromStdU16String(value.GetStringValue());
      break;
    case V8Value::Type::kArray: {
      QJsonArray items;
      for (const V8Value& item : value.GetArrayValues()) items.append(Encode(item));
      object["t"] = "a";
      object["v"] = items;
      break;
    }
    case V8Value::Type::kObject: return QJsonValue::Undefined;
  }
  return object;
}

QString NativeCall(const QUrl& origin, const QUrl& one_way_origin, const QString& argument) {
  const QJsonObject call = QJsonDocument::fromJson(argument.toUtf8()).object();
  const QString extension_name = call.value(QStringLiteral("e")).toString();
  const std::string name = call.value(QStringLiteral("n")).toString().toStdString();
  QJsonObject reply;
  for (const Extension& extension : Extensions()) {
    if (extension.name != extension_name) continue;
    V8ValueList arguments;
    for (const QJsonValue& value : call.value(QStringLiteral("a")).toArray()) arguments.push_back(Decode(value));
    V8Value retval = V8Value::CreateUndefined();
    std::u16string exception;
    // "about:console" names the one-way channel whole.
    const QUrl::FormattingOptions form =
        origin.scheme() == QLatin1String("about") ? QUrl::None : QUrl::RemovePath | QUrl::StripTrailingSlash;
    ScopedCallerOrigin caller(origin.toString(form).toStdString(),
                              one_way_origin.toString(QUrl::RemovePath | QUrl::StripTrailingSlash).toStdString());
    extension.handler->Execute(name, arguments, retval, exception);
    if (!exception.empty())
      reply["x"] = QString::fromStdU16String(exception);
    else if (!retval.IsUndefined())
      reply["r"] = Encode(retval);
    break;
  }
  return QString::fromUtf8(QJsonDocument(reply).toJson(QJsonDocument::Compact));
}

// Answers one query of one frame: through the main frame, which hands the
// reply on to the frames of the origin that asked.
class PageQueryCallback : public Client::QueryCallback {
 public:
  PageQueryCallback(std::weak_ptr<QtBrowser> browser, QString frame, int64_t id, QString origin)
      : browser_(std::move(browser)), frame_(std::move(frame)), id_(id), origin_(std::move(origin)) {}
  void Success(const std::string& response) override { Reply(true, 0, response); }
  void Failure(int code, const std::string& message) override { Reply(false, code, message); }

 private:
  void Reply(bool ok, int code, const std::string& text) {
    auto browser = browser_.lock();
    if (!browser || !browser->page()) return;
    const QJsonArray values{frame_, QString::fromStdString(text), origin_};
    const QString quoted = QString::fromUtf8(QJsonDocument(values).toJson(QJsonDocument::Compact));
    browser->page()->runJavaScript(QStringLiteral("(function (v) { window.__veltroQueryReply__(v[0], %1, %2, %3, v[1], "
                                                  "v[2]); })(%4);")
                                       .arg(id_)
                                       .arg(ok ? "true" : "false")
                                       .arg(code)
                                       .arg(quoted));
  }
  std::weak_ptr<QtBrowser> browser_;
  QString frame_;
  int64_t id_;
  QString origin_;
};

// `native function NAME();` becomes a function that calls the stub, with
// the handler's one-way answer for NAME.
QString BindNativeFunctions(const QString& extension_name, const QString& code, const V8Handler& handler) {
  static const QRegularExpression declaration(QStringLiteral("native\\s+function\\s+([A-Za-z_$][\\w$]*)\\s*\\(\\s*\\)\\s*;"));
  QString bound;
  qsizetype done = 0;
  for (auto match = declaration.globalMatch(code); match.hasNext();) {
    const QRegularExpressionMatch found = match.next();
    const QString name = found.captured(1);
    const std::string one_way = handler.OneWayAnswer(name.toStdString());
    bound += code.mid(done, found.capturedStart() - done);
    bound += QStringLiteral("function %2() { return __veltroNative__('%1', '%2', arguments, %3); }")
                 .arg(extension_name, name, one_way.empty() ? QStringLiteral("undefined") : QString::fromStdString(one_way));
    done = found.capturedEnd();
  }
  return bound + code.mid(done);
}

}  // namespace

bool RegisterExtension(const std::string& extension_name, const std::string& javascript_code,
                       std::shared_ptr<V8Handler> handler) {
  if (!handler) return false;
  const QString name = QString::fromStdString(extension_name);
  for (const Extension& extension : Extensions())
    if (extension.name == name) return false;
  Extensions().push_back({name, BindNativeFunctions(name, QString::fromStdString(javascript_code), *handler), handler});
  return true;
}

void SetRenderProcessHandler(std::shared_ptr<RenderProcessHandler> handler) {
  PageSideHandler() = std::move(handler);
  if (PageSideHandler()) PageSideHandler()->OnWebKitInitialized();
}

void SendProcessMessageToBrowser(std::shared_ptr<Browser> browser, const ProcessMessage& message) {
  auto* qt_browser = dynamic_cast<QtBrowser*>(browser.get());
  if (!qt_browser) return;
  PostTask([browser, message, client = qt_browser->client_ref()] {
    client->OnProcessMessageReceived(browser, PID_RENDERER, message);
  });
}

namespace {

// Known to the error-page script and to nothing in any page.
const QString& ErrorPageToken() {
  static const QString token = [] {
    QString text;
    for (int i = 0; i < 4; ++i) text += QString::number(QRandomGenerator::system()->generate64(), 36);
    return text;
  }();
  return token;
}

}  // namespace

QString ErrorPageScripts() { return ErrorPageScript(ErrorPageToken()); }

QString PageScripts() {
  QString scripts = BootstrapScript();
  for (const Extension& extension : Extensions()) scripts += QLatin1Char('\n') + extension.code;
  return scripts;
}

void BridgeCallParts::Append(const QString& id, const QString& part) {
  if (length_ + part.size() > kMaxCallPartsLength) {
    parts_.clear();
    length_ = 0;
  }
  parts_[id] += part;
  length_ += part.size();
}

QString BridgeCallParts::Take(const QString& id) {
  auto it = parts_.find(id);
  if (it == parts_.end()) return QString();
  QString whole = std::move(it->second);
  parts_.erase(it);
  length_ -= whole.size();
  return whole;
}

void OneWayOrigins::Register(const QString& token, const QUrl& origin) {
  // Far more frames than a page has.
  constexpr size_t kMostTokens = 512;
  if (token.size() < 16 || origins_.count(token)) return;
  if (order_.size() >= kMostTokens) {
    origins_.erase(order_.front());
    order_.pop_front();
  }
  origins_[token] = origin;
  order_.push_back(token);
}

QUrl OneWayOrigins::OriginOf(const QString& token) const {
  const auto found = origins_.find(token);
  return found == origins_.end() ? QUrl() : found->second;
}

QString HandleBridgeCall(const std::shared_ptr<QtBrowser>& browser, const QUrl& origin, const QString& call,
                         const QUrl& one_way_origin) {
  const qsizetype newline = call.indexOf(QLatin1Char('\n'));
  if (newline < 0) return QString();
  const QString command = call.left(newline);
  const QString argument = call.mid(newline + 1);
  if (command == QLatin1String("part")) {
    const qsizetype id_end = argument.indexOf(QLatin1Char('\n'));
    if (id_end > 0) browser->call_parts().Append(argument.left(id_end), argument.mid(id_end + 1));
    return QString();
  }
  if (command == QLatin1String("end")) {
    const QString whole = browser->call_parts().Take(argument);
    // A whole call is one of the ordinary ones, never parts again.
    if (whole.startsWith(QLatin1String("part\n")) || whole.startsWith(QLatin1String("end\n"))) return QString();
    return whole.isEmpty() ? QString() : HandleBridgeCall(browser, origin, whole, one_way_origin);
  }
  if (command == QLatin1String("native")) return NativeCall(origin, one_way_origin, argument);
  if (command == QLatin1String("one-way")) {
    // Only the answered channel names the frame's origin.
    if (origin.scheme() != QLatin1String("about") && !origin.isEmpty()) browser->one_way_origins().Register(argument, origin);
    return QString();
  }
  if (command == QLatin1String("popup-name")) {
    browser->popup_names().Push(argument, origin);
  } else if (command == QLatin1String("start-move")) {
    browser->StartWindowMove();
  } else if (command == QLatin1String("uncaught-exception")) {
    if (PageSideHandler()) PageSideHandler()->OnUncaughtException(browser, argument.toStdU16String());
  } else if (command == QLatin1String("focus-node")) {
    if (PageSideHandler())
      PageSideHandler()->OnFocusedNodeChanged(browser, argument != QLatin1String("none"), argument == QLatin1String("1"));
  } else if (command == QLatin1String("main-document")) {
    SendProcessMessageToBrowser(browser, {"ClientRenderer.MainDocumentCreated", {}, {argument.toStdString()}});
  } else if (command == QLatin1String("query")) {
    const QJsonObject query = QJsonDocument::fromJson(argument.toUtf8()).object();
    const int64_t local_id = query.value(QStringLiteral("id")).toInteger();
    browser->client()->OnQuery(browser, browser->NextQueryId(), query.value(QStringLiteral("request")).toString().toStdString(),
                               query.value(QStringLiteral("persistent")).toBool(),
                               std::make_shared<PageQueryCallback>(browser, query.value(QStringLiteral("frame")).toString(),
                                                                   local_id, origin.toString()));
  } else if (command == QLatin1String("frame-load-error")) {
    // Only the engine's own error pages may ask this: an opaque origin is
    // not enough (any sandboxed frame has one), the error-page token is.
    const QStringList parts = argument.split(QLatin1Char('\n'));
    if (parts.size() != 3 || parts[0] != ErrorPageToken() ||
        !(origin.isEmpty() || origin.scheme() == QLatin1String("chrome-error")))
      return QString();
    auto frame = std::make_shared<QtErrorSubFrame>(parts[2].toStdString());
    browser->client()->OnLoadError(browser, frame, NetErrorFromName(parts[1].toStdString()), std::string(),
                                   parts[2].toStdString());
    return frame->reply();
  }
  return QString();
}

}  // namespace engine
