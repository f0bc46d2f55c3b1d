#include "platform/proxy_script.h"

#include <arpa/inet.h>
#include <ifaddrs.h>
#include <netdb.h>
#include <sys/socket.h>

#include <QJSEngine>
#include <QObject>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace platform {

namespace {

// Name look-ups a script may make in one run: each can wait seconds on the
// resolver, and a script calling dnsResolve() in a loop must not.
constexpr int kMaxLookups = 4;

// What the scripts' helpers may not do in JavaScript alone.
class ScriptHost : public QObject {
  Q_OBJECT

 public:
  Q_INVOKABLE QString dnsResolve(const QString& host) {
    if (host.isEmpty() || host.size() > 253 || ++lookups_ > kMaxLookups) return QString();
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (getaddrinfo(host.toUtf8().constData(), nullptr, &hints, &found) != 0 || !found) return QString();
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(found->ai_addr)->sin_addr, text, sizeof(text));
    freeaddrinfo(found);
    return QString::fromLatin1(text);
  }

  Q_INVOKABLE QString myIpAddress() {
    QString address = QStringLiteral("127.0.0.1");
    ifaddrs* interfaces = nullptr;
    if (getifaddrs(&interfaces) != 0) return address;
    for (ifaddrs* entry = interfaces; entry; entry = entry->ifa_next) {
      if (!entry->ifa_addr || entry->ifa_addr->sa_family != AF_INET) continue;
      const in_addr ip = reinterpret_cast<sockaddr_in*>(entry->ifa_addr)->sin_addr;
      if ((ntohl(ip.s_addr) >> 24) == 127) continue;
      char text[INET_ADDRSTRLEN] = {};
      inet_ntop(AF_INET, &ip, text, sizeof(text));
      address = QString::fromLatin1(text);
      break;
    }
    freeifaddrs(interfaces);
    return address;
  }

 private:
  int lookups_ = 0;
};

// The helpers every browser gives a script, in their classic definitions.
const char kHelpers[] = R"JS(
function dnsResolve(host) { var ip = __host.dnsResolve(String(host)); return ip ? ip : null; }
function myIpAddress() { return __host.myIpAddress(); }
function isPlainHostName(host) { return String(host).indexOf('.') < 0; }
function dnsDomainIs(host, domain) {
  host = String(host); domain = String(domain);
  return host.length >= domain.length && host.substring(host.length - domain.length) == domain;
}
function localHostOrDomainIs(host, hostdom) { return host == hostdom || String(hostdom).lastIndexOf(host + '.', 0) == 0; }
function dnsDomainLevels(host) { return String(host).split('.').length - 1; }
function isResolvable(host) { return dnsResolve(host) !== null; }
function convert_addr(ip) {
  var b = String(ip).split('.');
  return ((b[0] << 24) | (b[1] << 16) | (b[2] << 8) | b[3]) >>> 0;
}
function isInNet(host, pattern, mask) {
  var ip = /^\d+\.\d+\.\d+\.\d+$/.test(host) ? host : dnsResolve(host);
  if (!ip) return false;
  return ((convert_addr(ip) & convert_addr(mask)) >>> 0) == ((convert_addr(pattern) & convert_addr(mask)) >>> 0);
}
function shExpMatch(text, pattern) {
  var expression = String(pattern).replace(/[.+^${}()|[\]\\]/g, '\\$&').replace(/\*/g, '.*').replace(/\?/g, '.');
  return new RegExp('^' + expression + '$').test(String(text));
}
function __now(args) { return args.length && args[args.length - 1] == 'GMT'; }
function weekdayRange(first, last) {
  var days = ['SUN', 'MON', 'TUE', 'WED', 'THU', 'FRI', 'SAT'];
  var now = new Date(), today = __now(arguments) ? now.getUTCDay() : now.getDay();
  var from = days.indexOf(first), to = days.indexOf(last);
  if (from < 0) return false;
  if (to < 0) return today == from;
  return from <= to ? (today >= from && today <= to) : (today >= from || today <= to);
}
function timeRange(first, last) {
  var now = new Date(), hour = __now(arguments) ? now.getUTCHours() : now.getHours();
  if (typeof last !== 'number') return hour == first;
  return first <= last ? (hour >= first && hour < last) : (hour >= first || hour < last);
}
function dateRange() { return false; }
)JS";

// Interrupts the engine once |limit| has passed, unless stopped before.
class RunLimit {
 public:
  RunLimit(QJSEngine& engine, std::chrono::milliseconds limit)
      : thread_([this, &engine, limit] {
          std::unique_lock<std::mutex> lock(mutex_);
          if (!done_changed_.wait_for(lock, limit, [this] { return done_; })) {
            expired_ = true;
            engine.setInterrupted(true);
          }
        }) {}
  ~RunLimit() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    done_changed_.notify_all();
    thread_.join();
  }
  bool Expired() {
    std::lock_guard<std::mutex> lock(mutex_);
    return expired_;
  }

 private:
  std::mutex mutex_;
  std::condition_variable done_changed_;
  bool done_ = false;
  bool expired_ = false;
  std::thread thread_;
};

}  // namespace

std::optional<std::string> RunProxyScript(const std::string& script, const std::string& url, const std::string& host,
                                          std::chrono::milliseconds limit, std::string& problem) {
  problem.clear();
  if (script.size() > kMaxProxyScriptBytes) {
    problem = "larger than " + std::to_string(kMaxProxyScriptBytes) + " bytes";
    return std::nullopt;
  }
  // Made before the engine, which goes first; the engine never owns it.
  ScriptHost script_host;
  QJSEngine::setObjectOwnership(&script_host, QJSEngine::CppOwnership);
  QJSEngine engine;
  engine.globalObject().setProperty(QStringLiteral("__host"), engine.newQObject(&script_host));
  QJSValue result;
  bool expired = false;
  {
    RunLimit run_limit(engine, limit);
    engine.evaluate(QString::fromLatin1(kHelpers));
    result = engine.evaluate(QString::fromUtf8(script.data(), static_cast<qsizetype>(script.size())));
    if (!result.isError()) {
      const QJSValue find = engine.globalObject().property(QStringLiteral("FindProxyForURL"));
      result = find.isCallable() ? find.call({QString::fromStdString(url), QString::fromStdString(host)})
                                 : QJSValue(QStringLiteral("no FindProxyForURL"));
      if (!find.isCallable()) problem = "no FindProxyForURL function";
    }
    expired = run_limit.Expired();
  }
  if (expired) {
    problem = "ran longer than " + std::to_string(limit.count()) + " ms";
  } else if (result.isError()) {
    problem = "failed: " + result.toString().left(200).toStdString();
  } else if (problem.empty() && !result.isString()) {
    problem = "gave no text";
  }
  if (!problem.empty()) return std::nullopt;
  return result.toString().left(4096).toStdString();
}

}  // namespace platform

#include "proxy_script.moc"
