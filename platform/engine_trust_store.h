#ifndef PLATFORM_ENGINE_TRUST_STORE_H_
#define PLATFORM_ENGINE_TRUST_STORE_H_

#include <functional>
#include <string>
#include <vector>

namespace platform {

// The certificate files an administrator added the Debian way
// (/usr/local/share/ca-certificates, each "*.crt" there and one folder down,
// as update-ca-certificates reads them).
std::vector<std::string> SystemAddedCertificateFiles(const std::string& folder = "/usr/local/share/ca-certificates");

// The DER certificates of a PEM file, or none (with |problem| set) when it
// cannot be read, is larger than 1 MiB or holds no certificate.
std::vector<std::string> CertificatesInFile(const std::string& path, std::string& problem);

// The engine trusts only its built-in roots and the user's NSS database
// (|database|, ~/.pki/nssdb), not the system's store that curl reads: every
// certificate of |files| is made a trusted authority there, and those an
// earlier run put there whose file has gone are taken out again. Nothing
// runs when nothing changed since the last run. Each step is logged.
void SyncEngineTrustStore(const std::vector<std::string>& files, const std::string& database,
                          const std::function<void(const std::string&)>& log);
// ~/.pki/nssdb, where the engine opens its store.
std::string EngineTrustDatabase();

}  // namespace platform

#endif  // PLATFORM_ENGINE_TRUST_STORE_H_
