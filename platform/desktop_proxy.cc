#include "platform/desktop_proxy.h"

#include <fcntl.h>
#include <gio/gio.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace platform {

namespace {

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n\"'");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t\r\n\"'") - first + 1);
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::stringstream stream(text);
  for (std::string part; std::getline(stream, part, separator);)
    if (!(part = Trimmed(part)).empty()) parts.push_back(part);
  return parts;
}

// A proxy as the engine names it: "host:port" for HTTP, else "scheme://host:port".
// A user name and password in it go: the sign-in dialog asks for them, and
// the list is written to the program log.
std::string EngineServer(std::string value, const std::string& default_scheme) {
  value = Trimmed(value);
  std::string scheme = default_scheme;
  if (const size_t end = value.find("://"); end != std::string::npos) {
    scheme = value.substr(0, end);
    value = value.substr(end + 3);
  }
  value = value.substr(0, value.find('/'));
  if (const size_t at = value.rfind('@'); at != std::string::npos) value = value.substr(at + 1);
  if (value.empty()) return std::string();
  if (scheme == "socks") scheme = "socks4";
  return scheme == "http" ? value : scheme + "://" + value;
}

std::string EngineServer(const std::string& host, int port, const std::string& scheme) {
  if (host.empty() || port <= 0 || port > 65535) return std::string();
  return EngineServer(host + ":" + std::to_string(port), scheme);
}

// "corp.example" in no_proxy means the name and every name under it.
std::vector<std::string> BypassRules(const std::vector<std::string>& entries) {
  std::vector<std::string> rules;
  for (std::string entry : entries) {
    if (entry.rfind("*.", 0) == 0) entry = entry.substr(2);
    else if (entry[0] == '.') entry = entry.substr(1);
    else if (entry.find_first_not_of("0123456789.:/[]") == std::string::npos || entry == "<local>") {
      rules.push_back(entry);
      continue;
    }
    if (entry.empty()) continue;
    rules.push_back(entry);
    rules.push_back("*." + entry);
  }
  return rules;
}

void AddServer(std::string& list, const std::string& scheme, const std::string& server) {
  if (server.empty()) return;
  list += (list.empty() ? "" : ";") + scheme + "=" + server;
}

std::string Environment(const EnvironmentLookup& environment, const char* lower, const char* upper) {
  const std::string value = environment(lower);
  return value.empty() ? environment(upper) : value;
}

std::string TakeString(gchar* text) {
  std::string value = text ? text : "";
  g_free(text);
  return value;
}

std::pair<std::string, int> GnomeServer(GSettings* proxy, const char* child_name) {
  GSettings* child = g_settings_get_child(proxy, child_name);
  if (!child) return {};
  std::pair<std::string, int> server{TakeString(g_settings_get_string(child, "host")),
                                     g_settings_get_int(child, "port")};
  g_object_unref(child);
  return server;
}

GnomeProxySettings ReadGnomeSettings() {
  GnomeProxySettings settings;
  GSettingsSchemaSource* source = g_settings_schema_source_get_default();
  // g_settings_new() aborts on a schema that is not installed.
  GSettingsSchema* schema = source ? g_settings_schema_source_lookup(source, "org.gnome.system.proxy", TRUE) : nullptr;
  if (!schema) return settings;
  g_settings_schema_unref(schema);
  GSettings* proxy = g_settings_new("org.gnome.system.proxy");
  settings.mode = TakeString(g_settings_get_string(proxy, "mode"));
  settings.autoconfig_url = TakeString(g_settings_get_string(proxy, "autoconfig-url"));
  gchar** hosts = g_settings_get_strv(proxy, "ignore-hosts");
  for (gchar** host = hosts; host && *host; ++host) settings.ignore_hosts.emplace_back(*host);
  g_strfreev(hosts);
  for (const char* scheme : {"http", "https", "socks"}) settings.servers[scheme] = GnomeServer(proxy, scheme);
  g_object_unref(proxy);
  return settings;
}

// The settings as NUL-separated fields (no GSettings string holds a NUL):
// mode, script, then host and port of each server, then the hosts to bypass.
std::string Serialised(const GnomeProxySettings& settings) {
  std::string text = settings.mode + '\0' + settings.autoconfig_url + '\0';
  for (const char* scheme : {"http", "https", "socks"}) {
    const auto found = settings.servers.find(scheme);
    const std::pair<std::string, int> server = found == settings.servers.end() ? std::pair<std::string, int>{} : found->second;
    text += server.first + '\0' + std::to_string(server.second) + '\0';
  }
  for (const std::string& host : settings.ignore_hosts) text += host + '\0';
  return text;
}

GnomeProxySettings Deserialised(const std::string& text) {
  std::vector<std::string> fields;
  for (size_t start = 0, end; (end = text.find('\0', start)) != std::string::npos; start = end + 1)
    fields.push_back(text.substr(start, end - start));
  GnomeProxySettings settings;
  if (fields.size() < 8) return settings;
  settings.mode = fields[0];
  settings.autoconfig_url = fields[1];
  size_t field = 2;
  for (const char* scheme : {"http", "https", "socks"}) {
    settings.servers[scheme] = {fields[field], std::atoi(fields[field + 1].c_str())};
    field += 2;
  }
  settings.ignore_hosts.assign(fields.begin() + static_cast<std::ptrdiff_t>(field), fields.end());
  return settings;
}

// GNOME's settings, read in a short-lived child. GSettings' dconf backend
// leaves threads behind that read the environment whenever they connect or
// log, while the engine's set-up goes on changing it: that crashed the
// client at start.
GnomeProxySettings ReadGnomeSettingsApart() {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return {};
  const pid_t child = fork();
  if (child < 0) {
    close(fds[0]);
    close(fds[1]);
    return {};
  }
  if (child == 0) {
    close(fds[0]);
    const std::string text = Serialised(ReadGnomeSettings());
    for (size_t written = 0; written < text.size();) {
      const ssize_t n = write(fds[1], text.data() + written, text.size() - written);
      if (n <= 0) _exit(1);
      written += static_cast<size_t>(n);
    }
    _exit(0);
  }
  close(fds[1]);
  // A few settings; a reader that hangs or floods is given up.
  constexpr size_t kMost = 256 * 1024;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  std::string text;
  bool complete = false;
  while (text.size() < kMost) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd readable{fds[0], POLLIN, 0};
    if (left.count() <= 0 || poll(&readable, 1, static_cast<int>(left.count())) <= 0) break;
    char buffer[4096];
    const ssize_t n = read(fds[0], buffer, sizeof(buffer));
    if (n <= 0) {
      complete = n == 0;
      break;
    }
    text.append(buffer, static_cast<size_t>(n));
  }
  close(fds[0]);
  if (!complete) kill(child, SIGKILL);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!complete || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return {};
  return Deserialised(text);
}

bool DesktopNamed(const std::vector<std::string>& names) {
  const char* current = std::getenv("XDG_CURRENT_DESKTOP");
  for (const std::string& desktop : Split(current ? current : "", ':'))
    for (const std::string& name : names)
      if (desktop == name) return true;
  return false;
}

std::string KdeConfigText() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  const std::string folder = config && *config ? config : home && *home ? std::string(home) + "/.config" : "";
  if (folder.empty()) return std::string();
  std::ifstream file(folder + "/kioslaverc");
  std::string text;
  // A settings file is small; more is not read.
  text.resize(256 * 1024);
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(file.gcount()));
  return text;
}

}  // namespace

DesktopProxy DesktopProxyFromEnvironment(const EnvironmentLookup& environment) {
  DesktopProxy proxy;
  proxy.source = "environment";
  if (const std::string script = environment("auto_proxy"); !script.empty()) {
    proxy.kind = DesktopProxy::Kind::kScript;
    proxy.script_url = Trimmed(script);
    return proxy;
  }
  const std::string all = Environment(environment, "all_proxy", "ALL_PROXY");
  AddServer(proxy.servers, "http", EngineServer(Environment(environment, "http_proxy", "HTTP_PROXY"), "http"));
  AddServer(proxy.servers, "https", EngineServer(Environment(environment, "https_proxy", "HTTPS_PROXY"), "http"));
  AddServer(proxy.servers, "socks", EngineServer(all, "http"));
  if (proxy.servers.empty()) return DesktopProxy{};
  const std::vector<std::string> no_proxy = Split(Environment(environment, "no_proxy", "NO_PROXY"), ',');
  for (const std::string& entry : no_proxy)
    if (entry == "*") return DesktopProxy{DesktopProxy::Kind::kNone, {}, {}, {}, "environment no_proxy=*"};
  proxy.kind = DesktopProxy::Kind::kServers;
  proxy.bypass = BypassRules(no_proxy);
  return proxy;
}

DesktopProxy DesktopProxyFromGnome(const GnomeProxySettings& settings) {
  DesktopProxy proxy;
  proxy.source = "GNOME settings";
  if (settings.mode == "auto" && !settings.autoconfig_url.empty()) {
    proxy.kind = DesktopProxy::Kind::kScript;
    proxy.script_url = settings.autoconfig_url;
    return proxy;
  }
  if (settings.mode != "manual") return proxy;
  const auto server = [&](const char* scheme, const char* engine_scheme) {
    const auto found = settings.servers.find(scheme);
    return found == settings.servers.end() ? std::string()
                                            : EngineServer(found->second.first, found->second.second, engine_scheme);
  };
  AddServer(proxy.servers, "http", server("http", "http"));
  AddServer(proxy.servers, "https", server("https", "http"));
  AddServer(proxy.servers, "socks", server("socks", "socks5"));
  if (!proxy.servers.empty()) proxy.kind = DesktopProxy::Kind::kServers;
  proxy.bypass = BypassRules(settings.ignore_hosts);
  return proxy;
}

DesktopProxy DesktopProxyFromKde(const std::string& kioslaverc_text) {
  std::map<std::string, std::string> keys;
  bool in_section = false;
  std::istringstream lines(kioslaverc_text);
  for (std::string line; std::getline(lines, line);) {
    line = Trimmed(line);
    if (!line.empty() && line[0] == '[') {
      in_section = line == "[Proxy Settings]";
      continue;
    }
    const size_t equals = line.find('=');
    if (in_section && equals != std::string::npos) keys[Trimmed(line.substr(0, equals))] = Trimmed(line.substr(equals + 1));
  }
  DesktopProxy proxy;
  proxy.source = "KDE settings";
  const std::string type = keys["ProxyType"];
  if (type == "2" && !keys["Proxy Config Script"].empty()) {
    proxy.kind = DesktopProxy::Kind::kScript;
    proxy.script_url = keys["Proxy Config Script"];
    return proxy;
  }
  if (type != "1") return proxy;
  // KDE writes "http://host port" as well as "http://host:port".
  const auto server = [&](const char* key, const char* scheme) {
    std::string value = keys[key];
    if (const size_t space = value.rfind(' '); space != std::string::npos) value[space] = ':';
    return EngineServer(value, scheme);
  };
  AddServer(proxy.servers, "http", server("httpProxy", "http"));
  AddServer(proxy.servers, "https", server("httpsProxy", "http"));
  AddServer(proxy.servers, "socks", server("socksProxy", "socks5"));
  if (!proxy.servers.empty()) proxy.kind = DesktopProxy::Kind::kServers;
  proxy.bypass = BypassRules(Split(keys["NoProxyFor"], ','));
  return proxy;
}

DesktopProxy ReadDesktopProxy() {
  DesktopProxy proxy = DesktopProxyFromEnvironment([](const char* name) {
    const char* value = std::getenv(name);
    return std::string(value ? value : "");
  });
  if (proxy.kind != DesktopProxy::Kind::kNone || !proxy.source.empty()) return proxy;
  if (DesktopNamed({"GNOME", "Unity", "X-Cinnamon", "Budgie", "Pantheon"})) return DesktopProxyFromGnome(ReadGnomeSettingsApart());
  if (DesktopNamed({"KDE"})) return DesktopProxyFromKde(KdeConfigText());
  return DesktopProxy{};
}

}  // namespace platform
