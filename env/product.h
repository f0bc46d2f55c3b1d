#ifndef ENV_PRODUCT_H_
#define ENV_PRODUCT_H_

#include <string>

namespace env {

inline constexpr char PRODUCT_NAME[] = "VeltroCRM客户管理系统";
inline constexpr char PRODUCT_VERSION[] = "2.6.1";
inline constexpr char kFirewallRuleName[] = "VeltroCRM";

// "VeltroCRM客户管理系统 (版本2.6.1)": the main window's title, which never changes.
std::string MainWindowTitle();
// The product name alone: the title of popup windows.
std::string PopupWindowTitle();
// The class name every root window registers under.
std::string MainWindowClassName();

// START_URL: https://<service host>/client, unless replaced for staging
// and tests by the "start-url" switch.
std::string StartUrl();
void SetStartUrlOverride(const std::string& url);

}  // namespace env

#endif  // ENV_PRODUCT_H_
