#include "channel/channel_list.h"

#include <json/json.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <memory>
#include <sstream>

#include "channel/curl_library.h"
#include "channel/host_names.h"
#include "channel/proxy_rule.h"
#include "channel/proxy_script_fetch.h"
#include "env/logs.h"
#include "env/sign_in.h"

namespace channel {

namespace {

// Sign-ins tried with the proxy for one fetch: a wrong password is asked
// again, a while.
constexpr int kMaxProxySignIns = 3;
constexpr size_t kMostRealmBytes = 256;

// The scheme the proxy asked for last: Basic credentials go out with the
// first request of the next fetch.
std::atomic<unsigned long> g_proxy_auth{CURLAUTH_BASIC};

struct Transfer {
  std::string body;
  long status = 0;
  unsigned long proxy_auth = 0;
  std::string proxy_realm;
};

size_t AppendBody(char* data, size_t size, size_t count, void* target) {
  auto* body = static_cast<std::string*>(target);
  // Returning less than was given ends the transfer.
  if (body->size() + size * count > kMaxChannelAnswerBytes) return 0;
  body->append(data, size * count);
  return size * count;
}

bool ParseJson(const std::string& text, Json::Value& root) {
  Json::CharReaderBuilder builder;
  const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  // Deep nesting past the reader's stack limit throws.
  try {
    return reader->parse(text.data(), text.data() + text.size(), &root, &errors);
  } catch (const std::exception&) {
    return false;
  }
}

std::string TrimBlanks(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

int CheckCancel(void* cancel, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  // Non-zero ends the transfer.
  return cancel && static_cast<const std::atomic<bool>*>(cancel)->load() ? 1 : 0;
}


// Scans the proxy's challenges for its scheme and realm.
size_t NoteHeader(char* data, size_t size, size_t count, void* target) {
  auto* transfer = static_cast<Transfer*>(target);
  const std::string line(data, size * count);
  static const std::string kChallenge = "proxy-authenticate:";
  if (line.size() > kChallenge.size() &&
      std::equal(kChallenge.begin(), kChallenge.end(), line.begin(),
                 [](char a, char b) { return a == std::tolower(static_cast<unsigned char>(b)); })) {
    const std::string value = line.substr(kChallenge.size());
    const bool digest = value.find("Digest") != std::string::npos;
    // Basic goes with the first request; Digest needs its challenge.
    if (transfer->proxy_auth == 0 || digest) transfer->proxy_auth = digest ? CURLAUTH_DIGEST : CURLAUTH_BASIC;
    const size_t realm = value.find("realm=\"");
    if (realm != std::string::npos && transfer->proxy_realm.empty()) {
      const size_t start = realm + 7;
      // The proxy's words, kept as short as a realm is.
      transfer->proxy_realm = value.substr(start, std::min(value.find('"', start) - start, kMostRealmBytes));
    }
  }
  return size * count;
}

Transfer Fetch(const std::string& url, const std::string& proxy, const std::optional<env::Credentials>& credentials,
               const std::atomic<bool>* cancel) {
  Transfer transfer;
  const CurlLibrary* library = Curl();
  if (!library) return transfer;
  CURL* curl = library->easy_init();
  if (!curl) {
    env::WriteProgramLog("request 1 session create fail");
    return transfer;
  }
  library->easy_reset(curl);
  library->easy_setopt(curl, CURLOPT_URL, url.c_str());
  library->easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  library->easy_setopt(curl, CURLOPT_TIMEOUT, 5L);
  // "" keeps libcurl from its own reading of the environment: one rule
  // for the engine and this fetch.
  library->easy_setopt(curl, CURLOPT_PROXY, proxy.c_str());
  // Nor from no_proxy: the rule has already decided, the policy's included.
  library->easy_setopt(curl, CURLOPT_NOPROXY, "");
  library->easy_setopt(curl, CURLOPT_HEADERFUNCTION, NoteHeader);
  library->easy_setopt(curl, CURLOPT_HEADERDATA, &transfer);
  if (credentials) {
    library->easy_setopt(curl, CURLOPT_PROXYAUTH, g_proxy_auth.load());
    library->easy_setopt(curl, CURLOPT_PROXYUSERNAME, credentials->user.c_str());
    library->easy_setopt(curl, CURLOPT_PROXYPASSWORD, credentials->password.Reveal().c_str());
  }
  library->easy_setopt(curl, CURLOPT_WRITEFUNCTION, AppendBody);
  library->easy_setopt(curl, CURLOPT_WRITEDATA, &transfer.body);
  library->easy_setopt(curl, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(kMaxChannelAnswerBytes));
  library->easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  library->easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, CheckCancel);
  library->easy_setopt(curl, CURLOPT_XFERINFODATA, const_cast<std::atomic<bool>*>(cancel));
  const CURLcode result = library->easy_perform(curl);
  long status = 0;
  long connect_status = 0;
  library->easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  library->easy_getinfo(curl, CURLINFO_HTTP_CONNECTCODE, &connect_status);
  transfer.status = connect_status == 407 ? 407 : status;
  if (transfer.proxy_auth != 0) g_proxy_auth = transfer.proxy_auth;
  if (transfer.status == 407) {
    transfer.body.clear();
    env::WriteProgramLog("channel list: the proxy asks for a sign-in");
  } else if (result == CURLE_WRITE_ERROR || result == CURLE_FILESIZE_EXCEEDED) {
    transfer.body.clear();
    env::WriteProgramLog("channel answer larger than " + std::to_string(kMaxChannelAnswerBytes) + " bytes, ignored");
  } else if (result != CURLE_OK) {
    transfer.body.clear();
    env::WriteProgramLog("request fail 1 error code:" + std::to_string(static_cast<int>(result)));
  }
  library->easy_cleanup(curl);
  return transfer;
}
}  // namespace

std::string HttpGet(const std::string& url, const std::atomic<bool>* cancel) {
  const std::string proxy = ProxyFor(CurrentProxyRule(), url, [](const std::string& address) {
    return ProxyScriptAnswer(CurrentProxyRule().script_url, address);
  });
  std::optional<env::Credentials> credentials;
  for (int attempt = 0; attempt <= kMaxProxySignIns; ++attempt) {
    const Transfer transfer = Fetch(url, proxy, credentials, cancel);
    if (transfer.status != 407 || proxy.empty()) return transfer.body;
    if (attempt == kMaxProxySignIns) break;
    // The proxy wants credentials: the ones known, or the user's.
    const env::SignInPlace place{true, ProxyHostOf(proxy), transfer.proxy_realm};
    credentials = env::CredentialsFor(place, credentials);
    if (!credentials) return std::string();
  }
  env::WriteProgramLog("channel list: the proxy refused every sign-in");
  return std::string();
}

std::string ChannelListUrl(const std::string& host) {
  return "http://" + host + "/home/index/getAllChannelByAppId?app=8";
}

bool DecodeChannelBase64(const std::string& text, std::string& bytes) {
  bytes.clear();
  // Trailing "=" and blanks end the text.
  size_t end = text.size();
  while (end > 0 && (text[end - 1] == '=' || text[end - 1] == ' ')) --end;
  unsigned buffer = 0;
  int bits = 0;
  for (size_t i = 0; i < end; ++i) {
    const char c = text[i];
    if (c == ' ' || c == '\t' || c == '\n' || c == '\r') continue;
    const int value = Base64Value(c);
    if (value < 0) {
      bytes.clear();
      return false;
    }
    buffer = (buffer << 6) | static_cast<unsigned>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      bytes.push_back(static_cast<char>((buffer >> bits) & 0xFF));
    }
  }
  return true;
}

void Unscramble(std::string& bytes) {
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(bytes[i] ^ kScrambleKey[i % 32]);
}

void ParseChannelDocument(const std::string& document, std::vector<Channel>& channels,
                          std::vector<std::string>& pinned_domains) {
  channels.clear();
  Json::Value root;
  if (!ParseJson(document, root)) {
    env::WriteProgramLog("json data parse exception 11");
    return;
  }
  // Anything but an array names no channels.
  if (!root.isArray()) return;
  const std::vector<std::string> service_ranges = BuildServiceRanges();
  for (const Json::Value& element : root) {
    if (!element.isObject()) continue;
    const Json::Value& domain_value = element["domain"];
    if (!domain_value.isString()) continue;
    const std::string domain = TrimBlanks(domain_value.asString());
    if (domain.empty()) continue;
    const Json::Value& ip_value = element["ip"];
    const std::string ip = ip_value.isString() ? TrimBlanks(ip_value.asString()) : std::string();
    // What the hosts file gets is built from these two: both must be what
    // they claim to be, or the line could say anything.
    if (!IsPinnableDomain(domain)) {
      env::WriteProgramLog("channel domain ignored: " + env::PrintableForLog(domain));
      continue;
    }
    bool address_ok = IsDottedIPv4(ip);
    if (!ip.empty() && !address_ok) env::WriteProgramLog("channel address ignored: " + env::PrintableForLog(ip));
    // The list comes over plain HTTP: an answer that points the service at
    // this machine or the local network is nobody's channel.
    if (address_ok && !IsServiceAddress(ip, service_ranges)) {
      env::WriteProgramLog("channel address refused: not a service's: " + ip);
      address_ok = false;
    }
    auto known = std::find_if(channels.begin(), channels.end(), [&](const Channel& c) { return c.domain == domain; });
    if (known != channels.end()) {
      if (address_ok) known->addresses.push_back(ip);
      continue;
    }
    if (std::find(pinned_domains.begin(), pinned_domains.end(), domain) == pinned_domains.end())
      pinned_domains.push_back(domain);
    if (address_ok) channels.push_back(Channel{domain, {ip}});
  }
}

bool ParseChannelResponse(const std::string& body, std::vector<Channel>& channels,
                          std::vector<std::string>& pinned_domains) {
  if (body.empty()) {
    env::WriteProgramLog("respone is null 1");
    return false;
  }
  Json::Value envelope;
  if (!ParseJson(body, envelope) || !envelope.isObject()) {
    env::WriteProgramLog("json data parse exception 1");
    return false;
  }
  const Json::Value& code = envelope["code"];
  if (code.isNull()) {
    env::WriteProgramLog("code is null 1");
    return false;
  }
  if (!code.isNumeric() || code.asDouble() != 100) {
    env::WriteProgramLog("request exception 1");
    return false;
  }
  const Json::Value& data = envelope["data"];
  if (data.isNull()) {
    env::WriteProgramLog("data is null 1");
    return false;
  }
  if (!data.isString() || data.asString().empty()) return false;
  std::string document;
  if (!DecodeChannelBase64(data.asString(), document)) env::WriteProgramLog("server encode fail");
  Unscramble(document);
  ParseChannelDocument(document, channels, pinned_domains);
  return !channels.empty();
}

}  // namespace channel
