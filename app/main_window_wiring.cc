#include "app/main_window_wiring.h"

#include <QString>
#include <algorithm>

#include "app/desk_policy.h"
#include "browser/message_handlers.h"
#include "browser/downloads.h"
#include "browser/root_window_win.h"
#include "browser/window_registry.h"
#include "env/external_links.h"
#include "env/utf.h"
#include "env/window_messages.h"
#include "telephony/landline_capture.h"
#include "telephony/mobile_call_listener.h"
#include "telephony/sip_dialog_watch.h"
#include "upgrade/install_upgrade.h"
#include "upgrade/upgrade_progress_dialog.h"

namespace app {

namespace {

using browser::RootWindow;
using platform::WindowMessage;

void WireCallCapture() {
  browser::RegisterMessageHandler(MSG_MOBILE_CAPTURE_ON, [](RootWindow&, const WindowMessage&) -> intptr_t {
    return telephony::OnMobileCaptureOn() ? 1 : 0;
  });
  browser::RegisterMessageHandler(MSG_MOBILE_CAPTURE_OFF, [](RootWindow&, const WindowMessage&) -> intptr_t {
    telephony::OnMobileCaptureOff();
    return 0;
  });
  browser::RegisterMessageHandler(MSG_LANDLINE_OPEN, [](RootWindow&, const WindowMessage&) -> intptr_t {
    telephony::OnSipCaptureOn();
    if (!telephony::SipCaptureConfigured() || PhoneBoxSetUp()) telephony::OnLandlineOpen();
    return 0;
  });
  browser::RegisterMessageHandler(MSG_LANDLINE_CLOSE, [](RootWindow&, const WindowMessage&) -> intptr_t {
    telephony::OnSipCaptureOff();
    telephony::OnLandlineClose();
    return 0;
  });
  browser::RegisterMessageHandler(MSG_LANDLINE_DEVICE_CHANGE, [](RootWindow&, const WindowMessage& message) -> intptr_t {
    telephony::OnLandlineDeviceChange(message.wparam);
    return 0;
  });
}

void WireExternalLinks() {
  browser::RegisterMessageHandler(WM_COPYDATA, [](RootWindow&, const WindowMessage& message) -> intptr_t {
    if (message.wparam != env::kOpenUrlCopyDataMarker || message.copy_data_id != env::kOpenUrlCopyDataId) return 0;
    return env::OpenUrlExternally(QString::fromStdU16String(message.copy_data).toStdString());
  });
}

void WireUpgrade() {
  browser::RegisterCommandHandler(CMD_UPGRADE_PROGRESS, [](RootWindow& window, intptr_t lparam) {
    if (lparam <= 0) return;
    upgrade::ShowUpgradeProgress(static_cast<int>(std::min<intptr_t>(lparam, 100)), window.GetHandle(),
                                 [] { browser::UpgradeDownloads::Get().CancelUnderWay(); });
  });
  browser::RegisterCommandHandler(CMD_UPGRADE_DOWNLOADED, [](RootWindow& window, intptr_t) {
    if (!window.GetBrowser()) return;
    // The whole client closes for the installer, whichever window (a popup
    // of the service, say) brought it.
    upgrade::InstallUpgrade(env::Utf8ToUtf16(browser::UpgradeDownloads::Get().path()), [] {
      if (auto* registry = browser::WindowRegistry::Get()) registry->CloseAllWindows(false);
    });
  });
}

}  // namespace

void WireMainWindowMessages() {
  WireCallCapture();
  WireExternalLinks();
  WireUpgrade();
}

}  // namespace app
