#ifndef PLATFORM_KEYRING_H_
#define PLATFORM_KEYRING_H_

#include <optional>
#include <string>

#include "platform/secret.h"

namespace platform {

struct KeyringEntry {
  std::string user;
  Secret password;
};

// Sign-in passwords in the desktop's keyring (the Secret Service), one per
// place. Without a keyring nothing is kept: Store returns false and
// Lookup finds nothing; |problem| says why.
bool StoreInKeyring(const std::string& place, const KeyringEntry& entry, std::string& problem);
std::optional<KeyringEntry> LookUpInKeyring(const std::string& place, std::string& problem);
void RemoveFromKeyring(const std::string& place);

}  // namespace platform

#endif  // PLATFORM_KEYRING_H_
