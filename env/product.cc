#include "env/product.h"

#include <mutex>

#include "build_config.h"

namespace env {

namespace {
std::mutex g_mutex;
std::string g_start_url_override;
}  // namespace

std::string MainWindowTitle() { return std::string(PRODUCT_NAME) + " (版本" + PRODUCT_VERSION + ")"; }

std::string PopupWindowTitle() { return PRODUCT_NAME; }

std::string MainWindowClassName() { return VELTRO_MAIN_WINDOW_CLASS; }

std::string StartUrl() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!g_start_url_override.empty()) return g_start_url_override;
  return std::string("https://") + VELTRO_SERVICE_HOST + "/client";
}

void SetStartUrlOverride(const std::string& url) {
  std::lock_guard<std::mutex> lock(g_mutex);
  g_start_url_override = url;
}

}  // namespace env
