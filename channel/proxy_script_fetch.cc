#include "channel/proxy_script_fetch.h"

#include <fstream>
#include <map>
#include <mutex>

#include "channel/curl_library.h"
#include "channel/proxy_rule.h"
#include "engine/encoding.h"
#include "env/logs.h"
#include "platform/proxy_script.h"

namespace channel {

namespace {

constexpr std::chrono::milliseconds kRunLimit{2000};

// A data: address longer than this would not pass through an environment
// variable into the engine's helpers (one string of the environment may
// not exceed 128 KiB).
constexpr size_t kMaxInlineScriptBytes = 48 * 1024;

std::mutex g_mutex;  // g_scripts
// Each script fetched this run; nullopt for one that failed its check.
std::map<std::string, std::optional<std::string>> g_scripts;

size_t AppendScript(char* data, size_t size, size_t count, void* target) {
  auto* text = static_cast<std::string*>(target);
  // Returning less than was given ends the transfer.
  if (text->size() + size * count > platform::kMaxProxyScriptBytes) return 0;
  text->append(data, size * count);
  return size * count;
}

std::optional<std::string> FetchOverHttp(const std::string& script_url, std::string& problem) {
  const CurlLibrary* library = Curl();
  CURL* curl = library ? library->easy_init() : nullptr;
  if (!curl) {
    problem = "no HTTP library";
    return std::nullopt;
  }
  std::string text;
  library->easy_setopt(curl, CURLOPT_URL, script_url.c_str());
  library->easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
  library->easy_setopt(curl, CURLOPT_PROXY, "");
  library->easy_setopt(curl, CURLOPT_TIMEOUT, 5L);
  library->easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  library->easy_setopt(curl, CURLOPT_MAXREDIRS, 3L);
  library->easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  library->easy_setopt(curl, CURLOPT_WRITEFUNCTION, AppendScript);
  library->easy_setopt(curl, CURLOPT_WRITEDATA, &text);
  const CURLcode result = library->easy_perform(curl);
  long status = 0;
  library->easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  library->easy_cleanup(curl);
  if (result == CURLE_WRITE_ERROR) problem = "larger than " + std::to_string(platform::kMaxProxyScriptBytes) + " bytes";
  else if (result != CURLE_OK) problem = "fetch failed, libcurl error " + std::to_string(static_cast<int>(result));
  else if (status != 200) problem = "the server answered " + std::to_string(status);
  if (!problem.empty()) return std::nullopt;
  return text;
}

std::optional<std::string> ReadFile(const std::string& path, std::string& problem) {
  std::ifstream file(path, std::ios::binary);
  if (!file) {
    problem = "cannot be read";
    return std::nullopt;
  }
  std::string text(platform::kMaxProxyScriptBytes + 1, '\0');
  file.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<size_t>(file.gcount()));
  if (text.size() > platform::kMaxProxyScriptBytes) {
    problem = "larger than " + std::to_string(platform::kMaxProxyScriptBytes) + " bytes";
    return std::nullopt;
  }
  return text;
}

std::optional<std::string> Script(const std::string& script_url, std::string& problem) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (const auto found = g_scripts.find(script_url); found != g_scripts.end()) {
      if (!found->second) problem = "failed its check at start";
      return found->second;
    }
  }
  std::optional<std::string> text;
  if (script_url.rfind("http://", 0) == 0 || script_url.rfind("https://", 0) == 0)
    text = FetchOverHttp(script_url, problem);
  else if (script_url.rfind("file://", 0) == 0)
    text = ReadFile(script_url.substr(7), problem);
  else
    problem = "not an http, https or file address";
  if (text) {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_scripts[script_url] = *text;
  }
  return text;
}

std::string HostOf(const std::string& url) {
  const size_t start = url.find("://") == std::string::npos ? 0 : url.find("://") + 3;
  std::string host = url.substr(start, url.find_first_of("/?#", start) - start);
  if (const size_t at = host.rfind('@'); at != std::string::npos) host = host.substr(at + 1);
  if (!host.empty() && host[0] == '[') return host.substr(1, host.find(']') - 1);
  return host.substr(0, host.find(':'));
}

}  // namespace

std::optional<std::string> ProxyScriptAnswer(const std::string& script_url, const std::string& url) {
  const std::string shown = env::PrintableForLog(ProxyListForLog(script_url));
  std::string problem;
  const std::optional<std::string> script = Script(script_url, problem);
  if (!script) {
    env::WriteProgramLog("proxy script " + shown + ": " + problem + "; going direct");
    return std::nullopt;
  }
  // Only the address's scheme, host and path reach the script, as in the engine.
  const std::string bare_url = url.substr(0, url.find_first_of("?#"));
  const std::optional<std::string> answer = platform::RunProxyScript(*script, bare_url, HostOf(url), kRunLimit, problem);
  if (!answer) {
    env::WriteProgramLog("proxy script " + shown + " " + problem + "; going direct");
    return std::nullopt;
  }
  if (!ProxyFromScriptAnswer(*answer)) {
    env::WriteProgramLog("proxy script " + shown + " answered nothing usable (" +
                         env::PrintableForLog(answer->substr(0, 200)) + "); going direct");
    return std::nullopt;
  }
  return answer;
}

std::string ProxyScriptForEngine(const std::string& script_url, const std::string& probe_url) {
  const std::optional<std::string> answer = ProxyScriptAnswer(script_url, probe_url);
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!answer) {
    g_scripts[script_url] = std::nullopt;
    return "data:application/x-ns-proxy-autoconfig;base64," +
           engine::Base64Encode("function FindProxyForURL(url, host) { return \"DIRECT\"; }");
  }
  const std::string& script = *g_scripts[script_url];
  if (script.size() > kMaxInlineScriptBytes) return script_url;
  return "data:application/x-ns-proxy-autoconfig;base64," + engine::Base64Encode(script);
}

}  // namespace channel
