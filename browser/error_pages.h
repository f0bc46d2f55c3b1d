#ifndef BROWSER_ERROR_PAGES_H_
#define BROWSER_ERROR_PAGES_H_

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

namespace browser {

// The Chinese load-failure pages: the full one for a main frame (its
// button goes to |start_url|), the short one for any other frame.
std::u16string FullLoadFailurePage(const std::string& start_url);
std::u16string ShortLoadFailurePage();

// What the certificate page shows of a certificate and its issuer chain.
struct CertificateDetails {
  uint32_t cert_status = 0;
  std::optional<std::string> subject;  // display names; absent principals stay empty
  std::optional<std::string> issuer;
  std::optional<std::string> serial_number;  // raw bytes
  time_t valid_start = 0;                    // 0: unset
  time_t valid_expiry = 0;
  std::string der;  // the certificate's own encodings
  std::string pem;
  std::vector<std::string> issuer_chain_der;
  std::vector<std::string> issuer_chain_pem;
};

std::string CertStatusToString(uint32_t status);
std::string ErrorCodeName(int code);
// "March 5, 2016 08:04:09" in UTC; "Unspecified" for 0. Month 13 is "Invalid".
std::string TimeText(int year, int month, int day, int hour, int minute, int second, bool unset);
std::string TimeText(time_t time);
std::string Base64Text(const std::optional<std::string>& value);
// The table of the certificate and its chain. Text taken from the
// certificate is HTML-escaped.
std::string CertificateTable(const CertificateDetails& details);
// The English "Page failed to load" page.
std::string EngineErrorPage(const std::string& failed_url, int error_code, const std::string& other_info);
std::string MakeDataUri(const std::string& data, const std::string& mime_type);
std::string HtmlEscape(const std::string& text);

}  // namespace browser

#endif  // BROWSER_ERROR_PAGES_H_
