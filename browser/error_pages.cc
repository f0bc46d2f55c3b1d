#include "browser/error_pages.h"

#include <cstdio>

#include "build_config.h"
#include "engine/encoding.h"
#include "engine/net_errors.h"
#include "env/product.h"
#include "env/utf.h"

namespace browser {

namespace {


constexpr char kPageHead[] =
    "<html><head><title>加载失败. . .</title></head><body style='padding:50px;'>"
    "<h2>加载失败了<(︶︿︶)_... </h2>"
    "<p>1.&nbsp;网络不稳定</p>";

struct NamedBit {
  uint32_t bit;
  const char* name;
};

constexpr NamedBit kStatusNames[] = {
    {0x1, "CERT_STATUS_COMMON_NAME_INVALID"},
    {0x2, "CERT_STATUS_DATE_INVALID"},
    {0x4, "CERT_STATUS_AUTHORITY_INVALID"},
    {0x10, "CERT_STATUS_NO_REVOCATION_MECHANISM"},
    {0x20, "CERT_STATUS_UNABLE_TO_CHECK_REVOCATION"},
    {0x40, "CERT_STATUS_REVOKED"},
    {0x80, "CERT_STATUS_INVALID"},
    {0x100, "CERT_STATUS_WEAK_SIGNATURE_ALGORITHM"},
    {0x400, "CERT_STATUS_NON_UNIQUE_NAME"},
    {0x800, "CERT_STATUS_WEAK_KEY"},
    {0x2000, "CERT_STATUS_PINNED_KEY_MISSING"},
    {0x4000, "CERT_STATUS_NAME_CONSTRAINT_VIOLATION"},
    {0x8000, "CERT_STATUS_VALIDITY_TOO_LONG"},
    {0x10000, "CERT_STATUS_IS_EV"},
    {0x20000, "CERT_STATUS_REV_CHECKING_ENABLED"},
    {0x80000, "CERT_STATUS_SHA1_SIGNATURE_PRESENT"},
    {0x100000, "CERT_STATUS_CT_COMPLIANCE_FAILED"},
};

const std::string kCellStyle = "<td style=\"max-width:800px;overflow:scroll;\">";

}  // namespace

std::u16string FullLoadFailurePage(const std::string& start_url) {
  std::string page = kPageHead;
  page += "<p>2.&nbsp;请检查网络，重启客户端</p>";
  // Appended piece by piece: GCC 12 to 14 warn falsely (-Warray-bounds)
  // about chains of temporary strings.
  page += "<p>3.&nbsp;";
  page += env::PRODUCT_NAME;
  page += "官网:&nbsp;" VELTRO_OFFICIAL_SITE "</p>";
  page += "<p>4.&nbsp;联系电话:&nbsp;" VELTRO_SUPPORT_PHONE "</p>";
  page += "<p>5.&nbsp;客服&nbsp;Q&nbsp;Q:&nbsp;" VELTRO_SUPPORT_QQ "</p>";
  page += "<input type='button' style='padding:7px 20px;cursor:pointer;' value='刷新重试' "
          "onclick='window.location.href=\"";
  page += start_url;
  page += "\"'/></body></html>";
  return env::Utf8ToUtf16(page);
}

std::u16string ShortLoadFailurePage() {
  std::string page = kPageHead;
  page += "<p>2.&nbsp;请检查网络，重启客户端或者按F5刷新</p></body></html>";
  return env::Utf8ToUtf16(page);
}

std::string CertStatusToString(uint32_t status) {
  std::string text;
  for (const NamedBit& entry : kStatusNames)
    if (status & entry.bit) text += std::string(entry.name) + "<br/>";
  return text.empty() ? "&nbsp;" : text;
}

std::string ErrorCodeName(int code) {
  const char* name = engine::NetErrorName(code);
  return name ? name : "UNKNOWN";
}

std::string TimeText(int year, int month, int day, int hour, int minute, int second, bool unset) {
  if (unset) return "Unspecified";
  static constexpr const char* kMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                            "July",    "August",   "September", "October", "November", "December"};
  const char* month_name = month >= 1 && month <= 12 ? kMonths[month - 1] : "Invalid";
  char text[96];
  snprintf(text, sizeof(text), "%s %d, %d %02d:%02d:%02d", month_name, day, year, hour, minute, second);
  return text;
}

std::string TimeText(time_t time) {
  std::tm t{};
  gmtime_r(&time, &t);
  return TimeText(t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour, t.tm_min, t.tm_sec, time == 0);
}

std::string Base64Text(const std::optional<std::string>& value) {
  return value ? engine::Base64Encode(*value) : "&nbsp;";
}

std::string HtmlEscape(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&#39;"; break;
      default: out += c;
    }
  }
  return out;
}

std::string CertificateTable(const CertificateDetails& d) {
  std::string table = "X.509 Certificate Information:<table border=1><tr><th>Field</th><th>Value</th></tr>";
  table += "<tr><td>Subject</td><td>" + (d.subject ? HtmlEscape(*d.subject) : "&nbsp;");
  table += "</td></tr><tr><td>Issuer</td><td>" + (d.issuer ? HtmlEscape(*d.issuer) : "&nbsp;");
  table += "</td></tr><tr><td>Serial #*</td><td>" + Base64Text(d.serial_number);
  table += "</td></tr><tr><td>Status</td><td>" + CertStatusToString(d.cert_status);
  table += "</td></tr><tr><td>Valid Start</td><td>" + TimeText(d.valid_start);
  table += "</td></tr><tr><td>Valid Expiry</td><td>" + TimeText(d.valid_expiry);
  table += "</td></tr>";
  std::vector<std::string> der{d.der}, pem{d.pem};
  der.insert(der.end(), d.issuer_chain_der.begin(), d.issuer_chain_der.end());
  pem.insert(pem.end(), d.issuer_chain_pem.begin(), d.issuer_chain_pem.end());
  for (size_t i = 0; i < der.size(); ++i) {
    table += "<tr><td>DER Encoded*</td>" + kCellStyle + engine::Base64Encode(der[i]) + "</td></tr>";
    table += "<tr><td>PEM Encoded*</td>" + kCellStyle +
             (i < pem.size() ? engine::Base64Encode(pem[i]) : std::string("&nbsp;")) + "</td></tr>";
  }
  table += "</table> * Displayed value is base64 encoded.";
  return table;
}

std::string EngineErrorPage(const std::string& failed_url, int error_code, const std::string& other_info) {
  std::string page = "<html><head><title>Page failed to load</title></head><body bgcolor=\"white\">"
                     "<h3>Page failed to load.</h3>URL: <a href=\"" + failed_url + "\">" + failed_url +
                     "</a><br/>Error: " + ErrorCodeName(error_code) + " (" + std::to_string(error_code) + ")";
  if (!other_info.empty()) page += "<br/>" + other_info;
  return page + "</body></html>";
}

std::string MakeDataUri(const std::string& data, const std::string& mime_type) {
  return "data:" + mime_type + ";base64," + engine::URIEncode(engine::Base64Encode(data), false);
}

}  // namespace browser
