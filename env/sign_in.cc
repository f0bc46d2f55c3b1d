#include "env/sign_in.h"

#include <map>
#include <mutex>
#include <set>

#include "env/logs.h"
#include "platform/keyring.h"
#include "platform/sign_in_dialog.h"

namespace env {

namespace {

std::mutex g_mutex;  // the members below
std::map<std::string, Credentials> g_session;
// Given with a proxy's address, by proxy host.
std::map<std::string, Credentials> g_given;
// Places the keyring was asked for already: once a session is enough.
std::set<std::string> g_looked_up;
// When the user last declined each place.
std::map<std::string, std::chrono::steady_clock::time_point> g_declined;
constexpr std::chrono::seconds kDeclinedQuiet{3};
// Realms of one place asked for in a minute: a page that names a new realm
// for every request would bring one dialog after another.
constexpr size_t kMostRealmsAMinute = 3;
// By place without its realm: the realms asked for and when.
std::map<std::string, std::map<std::string, std::chrono::steady_clock::time_point>> g_realms_asked;

std::string Describe(const SignInPlace& place) {
  return (place.proxy ? "proxy " : "site ") + PrintableForLog(place.host);
}

// What this session knows for |place| without asking anyone.
std::optional<Credentials> KnownCredentials(const SignInPlace& place) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (const auto it = g_session.find(place.Key()); it != g_session.end()) return it->second;
  if (const auto it = g_given.find(place.host); place.proxy && it != g_given.end()) return it->second;
  return std::nullopt;
}

std::optional<Credentials> FromKeyring(const SignInPlace& place) {
  const std::string key = place.Key();
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (!g_looked_up.insert(key).second) return std::nullopt;
  }
  std::string problem;
  const auto entry = platform::LookUpInKeyring(key, problem);
  if (!problem.empty()) WriteProgramLog("keyring not read for " + Describe(place) + ": " + PrintableForLog(problem));
  if (!entry) return std::nullopt;
  return Credentials{entry->user, entry->password};
}

}  // namespace

std::string SignInPlace::Key() const { return (proxy ? "proxy " : "site ") + host + " " + realm; }

std::optional<Credentials> CredentialsFor(const SignInPlace& place, const std::optional<Credentials>& refused,
                                          std::chrono::steady_clock::time_point now) {
  const std::string key = place.Key();
  std::optional<Credentials> known = KnownCredentials(place);
  if (!known) {
    known = FromKeyring(place);
    if (known) {
      std::lock_guard<std::mutex> lock(g_mutex);
      g_session[key] = *known;
    }
  }
  if (known && !(refused && *refused == *known)) return known;
  if (known) {
    WriteProgramLog("sign-in refused by " + Describe(place) + " for user " + PrintableForLog(known->user));
    std::lock_guard<std::mutex> lock(g_mutex);
    g_session.erase(key);
    if (place.proxy) g_given.erase(place.host);
  }
  if (refused) platform::RemoveFromKeyring(key);
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    const auto declined = g_declined.find(key);
    if (declined != g_declined.end() && now - declined->second < kDeclinedQuiet) {
      WriteProgramLog("sign-in to " + Describe(place) + " not asked again: declined just now");
      return std::nullopt;
    }
    auto& realms = g_realms_asked[(place.proxy ? "proxy " : "site ") + place.host];
    for (auto it = realms.begin(); it != realms.end();)
      it = now - it->second >= std::chrono::minutes(1) ? realms.erase(it) : std::next(it);
    if (!realms.count(place.realm) && realms.size() >= kMostRealmsAMinute) {
      WriteProgramLog("sign-in to " + Describe(place) + " not asked: " + std::to_string(kMostRealmsAMinute) +
                      " other realms asked for within a minute");
      return std::nullopt;
    }
    realms[place.realm] = now;
  }
  WriteProgramLog("sign-in asked by " + Describe(place));
  const auto answer =
      platform::AskForSignIn(platform::SignInRequest{key, place.proxy, place.host, place.realm, refused.has_value()});
  if (!answer) {
    WriteProgramLog("sign-in to " + Describe(place) + " declined");
    std::lock_guard<std::mutex> lock(g_mutex);
    g_declined[key] = now;
    return std::nullopt;
  }
  const Credentials given{answer->user, answer->password};
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_session[key] = given;
  }
  if (answer->remember) {
    std::string problem;
    if (!platform::StoreInKeyring(key, {given.user, given.password}, problem))
      WriteProgramLog("password for " + Describe(place) + " kept for this session only: no keyring (" +
                      PrintableForLog(problem) + ")");
  }
  return given;
}

void GiveProxyCredentials(const std::string& proxy_host, const Credentials& credentials) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_given[proxy_host] = credentials;
}

void AskSignInAgain() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_declined.clear();
  g_realms_asked.clear();
}

void ForgetSessionCredentialsForTesting() {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_session.clear();
  g_given.clear();
  g_realms_asked.clear();
  g_looked_up.clear();
  g_declined.clear();
}

}  // namespace env
