#include "app/desk_policy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <sstream>

#include "build_config.h"
#include "engine/engine_flags.h"
#include "channel/proxy_rule.h"
#include "env/logs.h"
#include "env/paths.h"
#include "env/product.h"
#include "platform/ini_profile.h"

namespace app {

namespace {

// A policy file is a few lines.
constexpr off_t kMaxPolicyBytes = 64 * 1024;

std::atomic<bool> g_debugging_locked{false};
std::mutex g_certificates_mutex;  // g_certificate_files
std::vector<std::string> g_certificate_files;

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

bool OnlyRootMayWrite(const struct stat& status) { return status.st_uid == 0 && (status.st_mode & 022) == 0; }

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// A value as the policy means it, or nullopt for one it cannot mean.
using ValueCheck = std::optional<std::string> (*)(const std::string& value);

std::optional<std::string> AnAddress(const std::string& value) {
  const std::string lower = Lower(value);
  if (lower.rfind("http://", 0) != 0 && lower.rfind("https://", 0) != 0) return std::nullopt;
  return value;
}
std::optional<std::string> AHost(const std::string& value) {
  if (value.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-:[]") != std::string::npos)
    return std::nullopt;
  return value;
}
std::optional<std::string> ABox(const std::string& value) {
  const std::string lower = Lower(value);
  if (lower == "modem" || lower == "sim") return lower;
  if (lower.rfind("modem:/dev/", 0) == 0) return "modem:" + value.substr(6);
  return std::nullopt;
}
std::optional<std::string> AName(const std::string& value) {
  if (value.size() > 64 || value.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-_+") !=
                               std::string::npos)
    return std::nullopt;
  return value;
}
std::optional<std::string> OnOrOff(const std::string& value) {
  const std::string lower = Lower(value);
  if (lower == "1" || lower == "yes" || lower == "true" || lower == "on") return std::string("1");
  if (lower == "0" || lower == "no" || lower == "false" || lower == "off") return std::string("0");
  return std::nullopt;
}
std::optional<std::string> AProxy(const std::string& value) {
  const std::string lower = Lower(value);
  return lower == "direct" || lower == "desktop" ? lower : value;
}
// A lock fails closed: a value it does not know shuts the port all the same.
std::optional<std::string> ALock(const std::string&) { return std::string("off"); }
std::optional<std::string> Files(const std::string& value) { return value; }

const struct {
  const char* key;
  ValueCheck check;
} kKeys[] = {{"StartUrl", AnAddress}, {"ChannelService", AHost},  {"PhoneBox", ABox},        {"OffScreen", OnOrOff},
             {"ProxyServer", AProxy},  {"RemoteDebugging", ALock}, {"CaCertificates", Files},
             {"SipServer", AHost},     {"SipExtension", AName},    {"SipUser", AName}};

DeskPolicy ParsePolicy(const std::string& text, std::vector<std::string>& notes) {
  DeskPolicy policy;
  bool in_section = false;
  std::istringstream lines(text);
  int number = 0;
  for (std::string line; std::getline(lines, line);) {
    ++number;
    const std::string where = "line " + std::to_string(number) + ": ";
    line = Trimmed(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line[0] == '[') {
      in_section = Lower(line) == "[policy]";
      if (!in_section) notes.push_back(where + "a section other than [Policy]; its lines are ignored");
      continue;
    }
    if (!in_section) continue;
    const size_t equals = line.find('=');
    if (equals == std::string::npos) {
      notes.push_back(where + "not a setting (no \"=\")");
      continue;
    }
    const std::string key = Lower(Trimmed(line.substr(0, equals)));
    const std::string value = Trimmed(line.substr(equals + 1));
    const auto known = std::find_if(std::begin(kKeys), std::end(kKeys),
                                    [&key](const auto& entry) { return Lower(entry.key) == key; });
    if (known == std::end(kKeys)) {
      notes.push_back(where + "no setting is called " + env::PrintableForLog(Trimmed(line.substr(0, equals))));
      continue;
    }
    const std::optional<std::string> meant = value.empty() ? std::nullopt : known->check(value);
    if (!meant) {
      notes.push_back(where + known->key + " cannot be \"" + env::PrintableForLog(value) + "\"; ignored");
      continue;
    }
    if (Lower(*meant) != Lower(value))
      notes.push_back(where + known->key + "=" + env::PrintableForLog(value) + " taken as " + *meant);
    policy[known->key] = *meant;
  }
  return policy;
}

std::string PhoneBoxUserFile() {
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  const std::string folder = config && *config ? config : home && *home ? std::string(home) + "/.config" : "";
  return folder.empty() ? std::string() : folder + "/veltrocrm/phonebox.conf";
}

}  // namespace

bool PhoneBoxSetUp() {
  const char* box = std::getenv("VELTROCRM_PHONEBOX");
  const std::string file = PhoneBoxUserFile();
  return (box && *box) || (!file.empty() && access(file.c_str(), R_OK) == 0);
}

std::optional<DeskPolicy> ReadDeskPolicy(const std::string& path, std::string& problem,
                                         std::vector<std::string>* notes) {
  problem.clear();
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    if (errno != ENOENT) problem = "cannot be read";
    return std::nullopt;
  }
  struct stat file_status {};
  struct stat folder_status {};
  std::string text;
  if (fstat(fd, &file_status) != 0 || !S_ISREG(file_status.st_mode)) {
    problem = "not a plain file";
  } else if (!OnlyRootMayWrite(file_status)) {
    problem = "others than root may write it";
  } else if (stat(FolderOf(path).c_str(), &folder_status) != 0 || !OnlyRootMayWrite(folder_status)) {
    problem = "others than root may write its folder";
  } else if (file_status.st_size > kMaxPolicyBytes) {
    problem = "larger than " + std::to_string(kMaxPolicyBytes) + " bytes";
  } else {
    char buffer[4096];
    for (ssize_t got; (got = read(fd, buffer, sizeof(buffer))) > 0 && static_cast<off_t>(text.size()) <= kMaxPolicyBytes;)
      text.append(buffer, static_cast<size_t>(got));
  }
  close(fd);
  if (!problem.empty()) return std::nullopt;
  std::vector<std::string> own_notes;
  return ParsePolicy(text.substr(0, kMaxPolicyBytes), notes ? *notes : own_notes);
}

DeskPolicy LockedDownPolicy() {
  return {{"StartUrl", env::StartUrl()}, {"ProxyServer", "desktop"}, {"RemoteDebugging", "off"}};
}

std::string AllowedUserEngineFlags(const std::string& flags, std::vector<std::string>& dropped) {
  // Switches that change how the page is drawn, nothing else.
  static const char* const kAllowed[] = {"disable-gpu",       "disable-gpu-compositing", "disable-smooth-scrolling",
                                         "force-dark-mode",   "force-device-scale-factor", "ignore-gpu-blocklist",
                                         "use-gl",            "enable-logging",          "v"};
  std::vector<std::string> kept;
  for (const std::string& word : engine::SplitEngineFlags(flags)) {
    const std::string name = engine::EngineSwitchName(word);
    if (!name.empty() && std::find(std::begin(kAllowed), std::end(kAllowed), name) != std::end(kAllowed))
      kept.push_back(word);
    else
      dropped.push_back(name.empty() ? "a word that is no switch" : name);
  }
  return engine::JoinEngineFlags(kept);
}

std::vector<Setting> ApplyDeskPolicy(const DeskPolicy& policy, const std::string& policy_path,
                                     engine::CommandLine& command_line) {
  const std::string from_policy = "policy " + policy_path;
  const auto set = [&](const char* key) { return policy.count(key) ? &policy.at(key) : nullptr; };
  std::vector<Setting> settings;
  // A switch the policy sets: its value replaces the user's.
  const auto switch_setting = [&](const char* key, const char* name, const std::string& fallback) {
    if (const std::string* value = set(key)) {
      command_line.RemoveSwitch(name);
      command_line.AppendSwitchWithValue(name, *value);
      settings.push_back({name, *value, from_policy});
    } else if (command_line.HasSwitch(name)) {
      settings.push_back({name, command_line.GetSwitchValue(name), "command line"});
    } else {
      settings.push_back({name, fallback, "built in"});
    }
  };
  switch_setting("StartUrl", "start-url", env::StartUrl());
  switch_setting("ChannelService", "channel-service", VELTRO_CHANNEL_SERVICE_HOST);
  switch_setting("SipServer", "sip-server", "none");
  switch_setting("SipExtension", "sip-extension", "none");
  switch_setting("SipUser", "sip-user", "the extension");

  if (const std::string* box = set("PhoneBox")) {
    setenv("VELTROCRM_PHONEBOX", box->c_str(), 1);
    settings.push_back({"phone box", *box, from_policy});
  } else if (const char* value = std::getenv("VELTROCRM_PHONEBOX"); value && *value) {
    settings.push_back({"phone box", value, "environment VELTROCRM_PHONEBOX"});
  } else if (const std::string file = PhoneBoxUserFile(); !file.empty() && access(file.c_str(), R_OK) == 0) {
    settings.push_back({"phone box", "as the file says", "user file " + file});
  } else {
    settings.push_back({"phone box", "modem", "built in"});
  }

  if (const std::string* off_screen = set("OffScreen")) {
    command_line.RemoveSwitch("off-screen-rendering-enabled");
    if (*off_screen == "1") command_line.AppendSwitch("off-screen-rendering-enabled");
    settings.push_back({"off-screen rendering", *off_screen == "1" ? "on" : "off", from_policy});
  } else {
    const bool on = command_line.HasSwitch("off-screen-rendering-enabled");
    settings.push_back({"off-screen rendering", on ? "on" : "off", on ? "command line" : "built in"});
  }

  if (const std::string* proxy = set("ProxyServer")) {
    command_line.RemoveSwitch("proxy-server");
    command_line.RemoveSwitch("no-proxy-server");
    if (*proxy == "direct") command_line.AppendSwitch("no-proxy-server");
    else if (*proxy != "desktop") command_line.AppendSwitchWithValue("proxy-server", *proxy);
    settings.push_back({"proxy", channel::ProxyListForLog(*proxy), from_policy});
  } else if (command_line.HasSwitch("no-proxy-server")) {
    settings.push_back({"proxy", "direct", "command line"});
  } else if (command_line.HasSwitch("proxy-server")) {
    settings.push_back({"proxy", channel::ProxyListForLog(command_line.GetSwitchValue("proxy-server")), "command line"});
  } else {
    settings.push_back({"proxy", "desktop", "built in"});
  }

  {
    std::vector<std::string> files;
    std::istringstream list(set("CaCertificates") ? *set("CaCertificates") : std::string());
    for (std::string file; std::getline(list, file, ';');)
      if (!(file = Trimmed(file)).empty()) files.push_back(file);
    std::string shown;
    for (const std::string& file : files) shown += (shown.empty() ? "" : ";") + file;
    settings.push_back({"certificate files", shown.empty() ? "none" : shown, files.empty() ? "built in" : from_policy});
    std::lock_guard<std::mutex> lock(g_certificates_mutex);
    g_certificate_files = std::move(files);
  }

  const std::string* debugging = set("RemoteDebugging");
  g_debugging_locked = debugging && *debugging == "off";
  if (g_debugging_locked) {
    command_line.RemoveSwitch("remote-debugging-port");
    // The engine's own way in, from the environment.
    unsetenv("QTWEBENGINE_REMOTE_DEBUGGING");
    settings.push_back({"remote debugging", "off, locked", from_policy});
  } else if (command_line.HasSwitch("remote-debugging-port")) {
    settings.push_back({"remote debugging", command_line.GetSwitchValue("remote-debugging-port"), "command line"});
  } else if (const int port = platform::GetPrivateProfileInt("Debug", "port", 0, env::GetConfigFilePath()); port > 0) {
    settings.push_back({"remote debugging", std::to_string(port), "user file " + env::GetConfigFilePath()});
  } else {
    settings.push_back({"remote debugging", "off", "built in"});
  }
  return settings;
}

std::vector<Setting> ApplyPolicyFile(const std::string& path, engine::CommandLine& command_line,
                                     std::vector<std::string>& lines, bool& in_force) {
  std::string problem;
  std::vector<std::string> notes;
  const std::optional<DeskPolicy> policy = ReadDeskPolicy(path, problem, &notes);
  for (const std::string& note : notes) lines.push_back("policy " + path + ", " + note);
  in_force = policy.has_value() || !problem.empty();
  if (problem.empty()) return ApplyDeskPolicy(policy.value_or(DeskPolicy()), path, command_line);
  lines.push_back("policy " + path + " ignored: " + problem +
                  "; the start page, proxy and debugging port stay locked as built");
  return ApplyDeskPolicy(LockedDownPolicy(), path + " (locked: not trusted)", command_line);
}

bool DebuggingLockedByPolicy() { return g_debugging_locked; }

std::vector<std::string> PolicyCertificateFiles() {
  std::lock_guard<std::mutex> lock(g_certificates_mutex);
  return g_certificate_files;
}

}  // namespace app
