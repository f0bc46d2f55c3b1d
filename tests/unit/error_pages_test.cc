#include <gtest/gtest.h>

#include "browser/error_pages.h"
#include "browser/popup_geometry.h"
#include "engine/encoding.h"
#include "env/utf.h"

using namespace browser;

namespace {


TEST(LoadFailurePages, FullAndShort) {
  const std::string full = env::Utf16ToUtf8(FullLoadFailurePage("https://crm.example/client"));
  EXPECT_EQ(full.rfind("<html><head><title>加载失败. . .</title></head><body style='padding:50px;'>"
                       "<h2>加载失败了<(︶︿︶)_... </h2><p>1.&nbsp;网络不稳定</p><p>2.&nbsp;请检查网络，重启客户端</p>"
                       "<p>3.&nbsp;VeltroCRM客户管理系统官网:&nbsp;",
                       0),
            0u);
  EXPECT_NE(full.find("<p>4.&nbsp;联系电话:&nbsp;"), std::string::npos);
  EXPECT_NE(full.find("<p>5.&nbsp;客服&nbsp;Q&nbsp;Q:&nbsp;"), std::string::npos);
  const std::string button =
      "<input type='button' style='padding:7px 20px;cursor:pointer;' value='刷新重试' "
      "onclick='window.location.href=\"https://crm.example/client\"'/></body></html>";
  EXPECT_EQ(full.substr(full.size() - button.size()), button);

  EXPECT_EQ(env::Utf16ToUtf8(ShortLoadFailurePage()),
            "<html><head><title>加载失败. . .</title></head><body style='padding:50px;'>"
            "<h2>加载失败了<(︶︿︶)_... </h2><p>1.&nbsp;网络不稳定</p>"
            "<p>2.&nbsp;请检查网络，重启客户端或者按F5刷新</p></body></html>");
}

TEST(PopupGeometry, TargetNames) {
  const platform::Rect work{0, 0, 1920, 1040};
  const PopupPlacement fallback{WS_OVERLAPPEDWINDOW_CLIPCHILDREN, {384, 208, 1152, 624}};
  struct Case {
    const char* name;
    PopupPlacement expected;
  } cases[] = {
      {"no_100_80_1024_700", {WS_POPUP_BORDERLESS, {100, 80, 1024, 700}}},
      {"NO_10_20_300_200", {WS_POPUP_BORDERLESS, {10, 20, 300, 200}}},  // "no" ignores case
      {"win_0_0_800_600", {WS_OVERLAPPEDWINDOW_CLIPCHILDREN, {0, 0, 800, 600}}},
      {"a_1_2_3_4_tail", {WS_OVERLAPPEDWINDOW_CLIPCHILDREN, {1, 2, 3, 4}}},  // text after the fifth "_" ignored
      {"x_ 7_-8_9px_abc", {WS_OVERLAPPEDWINDOW_CLIPCHILDREN, {7, -8, 9, 0}}},  // leading digits only
      {"x_10_20_300", fallback},                                              // three "_"
      {"a_1_2_3_4_5_6", fallback},                                            // six "_": never past five fields
      {"", fallback},
      {"plain", fallback},
  };
  for (const Case& c : cases) {
    const PopupPlacement p = PlacePopup(c.name, work);
    EXPECT_EQ(p.style, c.expected.style) << c.name;
    EXPECT_EQ(p.bounds, c.expected.bounds) << c.name;
  }
  // The work area's origin is not added to the default place.
  EXPECT_EQ(PlacePopup("", {50, 40, 1000, 500}).bounds, (platform::Rect{200, 100, 600, 300}));
}

TEST(CertificatePage, Formatters) {
  EXPECT_EQ(CertStatusToString(0x2), "CERT_STATUS_DATE_INVALID<br/>");
  EXPECT_EQ(CertStatusToString(0), "&nbsp;");
  EXPECT_EQ(CertStatusToString(0x8 | 0x200 | 0x1000 | 0x40000 | 0x200000), "&nbsp;");
  EXPECT_EQ(CertStatusToString(0x4 | 0x1), "CERT_STATUS_COMMON_NAME_INVALID<br/>CERT_STATUS_AUTHORITY_INVALID<br/>");
  EXPECT_EQ(ErrorCodeName(-202), "ERR_CERT_AUTHORITY_INVALID");
  EXPECT_EQ(ErrorCodeName(-213), "ERR_CERT_END");
  EXPECT_EQ(ErrorCodeName(-9999), "UNKNOWN");
  EXPECT_EQ(TimeText(2016, 3, 5, 8, 4, 9, false), "March 5, 2016 08:04:09");
  EXPECT_EQ(TimeText(2016, 13, 5, 8, 4, 9, false), "Invalid 5, 2016 08:04:09");
  EXPECT_EQ(TimeText(0), "Unspecified");
  EXPECT_EQ(TimeText(static_cast<time_t>(1457165049)), "March 5, 2016 08:04:09");
  EXPECT_EQ(Base64Text(std::nullopt), "&nbsp;");
  EXPECT_EQ(Base64Text(std::string()), "");
  EXPECT_EQ(Base64Text(std::string("\x01\x02\x03\x04", 4)), "AQIDBA==");
}

TEST(CertificatePage, TableAndPage) {
  CertificateDetails details;
  details.subject = "<b>evil</b> & co";
  details.cert_status = 0x4;
  details.der = "DER";
  details.pem = "PEM";
  const std::string table = CertificateTable(details);
  EXPECT_NE(table.find("<tr><td>Subject</td><td>&lt;b&gt;evil&lt;/b&gt; &amp; co</td></tr>"), std::string::npos);
  EXPECT_NE(table.find("<tr><td>Issuer</td><td>&nbsp;</td></tr>"), std::string::npos);
  EXPECT_NE(table.find("<tr><td>Valid Start</td><td>Unspecified</td></tr>"), std::string::npos);
  // A self-signed certificate: exactly one DER and one PEM row.
  const std::string der_row =
      "<tr><td>DER Encoded*</td><td style=\"max-width:800px;overflow:scroll;\">REVS</td></tr>"
      "<tr><td>PEM Encoded*</td><td style=\"max-width:800px;overflow:scroll;\">UEVN</td></tr>";
  EXPECT_NE(table.find(der_row), std::string::npos);
  EXPECT_EQ(table.find("DER Encoded*", table.find("DER Encoded*") + 1), std::string::npos);
  details.issuer_chain_der = {"A"};
  details.issuer_chain_pem = {"B"};
  const std::string chained = CertificateTable(details);
  EXPECT_NE(chained.find("DER Encoded*", chained.find("DER Encoded*") + 1), std::string::npos);
  const std::string tail = "</table> * Displayed value is base64 encoded.";
  EXPECT_EQ(chained.substr(chained.size() - tail.size()), tail);

  EXPECT_EQ(EngineErrorPage("https://x/", -9999, ""),
            "<html><head><title>Page failed to load</title></head><body bgcolor=\"white\"><h3>Page failed to load."
            "</h3>URL: <a href=\"https://x/\">https://x/</a><br/>Error: UNKNOWN (-9999)</body></html>");
  EXPECT_NE(EngineErrorPage("u", -202, "INFO").find(" (-202)<br/>INFO</body>"), std::string::npos);
  EXPECT_EQ(MakeDataUri("a b?", "text/html"), "data:text/html;base64,YSBiPw%3D%3D");
}

TEST(Encoding, Base64AndUri) {
  EXPECT_EQ(engine::Base64Encode(""), "");
  EXPECT_EQ(engine::Base64Encode("f"), "Zg==");
  EXPECT_EQ(engine::Base64Encode("fo"), "Zm8=");
  EXPECT_EQ(engine::Base64Encode("foo"), "Zm9v");
  EXPECT_EQ(engine::Base64Encode(std::string("\xff\xfe\x00", 3)), "//4A");
  EXPECT_EQ(engine::URIEncode("a b/+=~", false), "a%20b%2F%2B%3D~");
  EXPECT_EQ(engine::URIEncode("a b", true), "a+b");
}

}  // namespace
