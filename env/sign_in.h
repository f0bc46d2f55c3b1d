#ifndef ENV_SIGN_IN_H_
#define ENV_SIGN_IN_H_

#include <chrono>
#include <optional>
#include <string>

#include "platform/secret.h"

namespace env {

struct Credentials {
  std::string user;
  platform::Secret password;
  bool operator==(const Credentials& other) const { return user == other.user && password == other.password; }
};

// Where credentials are asked for: a proxy (by host name, whatever its
// port) or a site (host:port), and the realm it names.
struct SignInPlace {
  bool proxy = false;
  std::string host;
  std::string realm;
  std::string Key() const;
};

// The credentials for |place| this session or the keyring knows, unless
// they are |refused|; else the user's answer from the sign-in dialog, kept
// for the session and, when the user ticks it, in the keyring. Nothing
// when the user declines. Refused credentials are forgotten, keyring's
// included. Any thread; passwords never reach a log.
//
// A place the user declined is not asked again for a few seconds: the
// channel list and the page's other requests would otherwise bring the
// dialog back the moment it closed. AskSignInAgain ends that at once.
std::optional<Credentials> CredentialsFor(const SignInPlace& place, const std::optional<Credentials>& refused,
                                          std::chrono::steady_clock::time_point now = std::chrono::steady_clock::now());
// Credentials that came with a proxy's address (a switch or the policy):
// used for that proxy, whatever its realm, before anyone is asked.
void GiveProxyCredentials(const std::string& proxy_host, const Credentials& credentials);
// The user pressed F5 or sees the failure page, whose retry is theirs: a
// declined sign-in is asked again.
void AskSignInAgain();
// Tests start from an empty session.
void ForgetSessionCredentialsForTesting();

}  // namespace env

#endif  // ENV_SIGN_IN_H_
