#include "app/main_window_wiring.h"

#include <QAccessible>
#include <QString>
#include <algorithm>

#include "browser/message_handlers.h"
#include "browser/root_window_win.h"
#include "browser/window_registry.h"
#include "env/external_links.h"
#include "env/logs.h"
#include "env/window_messages.h"
#include "platform/screen_reader.h"
#include "telephony/call_tables.h"
#include "telephony/landline_capture.h"
#include "telephony/mobile_call_listener.h"
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
    telephony::OnLandlineOpen();
    return 0;
  });
  browser::RegisterMessageHandler(MSG_LANDLINE_CLOSE, [](RootWindow&, const WindowMessage&) -> intptr_t {
    telephony::OnLandlineClose();
    return 0;
  });
  browser::RegisterMessageHandler(MSG_LANDLINE_DEVICE_CHANGE, [](RootWindow&, const WindowMessage& message) -> intptr_t {
    telephony::OnLandlineDeviceChange(message.wparam);
    return 0;
  });
  // While the page is down a ring's worth of the latest calls wait for it;
  // older ones the ring has overwritten in any case.
  browser::RegisterMessageHandler(MSG_INCOMING_CALL, [](RootWindow& window, const WindowMessage& message) -> intptr_t {
    const auto number = telephony::TakeCallForPage(static_cast<int>(message.lparam), message.wparam);
    if (!number) return 0;
    window.QueuePageCall(telephony::PhoneCallScript(*number), telephony::kCallSlots);
    // Heard at once by someone who does not see the screen, whatever the
    // page does with it.
    static bool told_unsupported = false;
    if (!platform::AnnounceToScreenReader(window.GetHandle(), "来电 " + *number) && !told_unsupported &&
        QAccessible::isActive()) {
      told_unsupported = true;
      env::WriteProgramLog("calls are not announced to the screen reader: this Qt cannot announce");
    }
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
    if (lparam > 0) upgrade::ShowUpgradeProgress(static_cast<int>(std::min<intptr_t>(lparam, 100)), window.GetHandle());
  });
  browser::RegisterCommandHandler(CMD_UPGRADE_DOWNLOADED, [](RootWindow& window, intptr_t) {
    if (!window.GetBrowser()) return;
    // The whole client closes for the installer, whichever window (a popup
    // of the service, say) brought it.
    upgrade::InstallUpgrade(window.UpgradePath(), [] {
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
