#include "app/termination_close.h"

#include <QThread>

#include "env/logs.h"
#include "platform/message_box.h"

namespace app {

namespace {
constexpr int kStepMs = 20;
}  // namespace

TerminationClose::TerminationClose(browser::WindowRegistry* registry) : registry_(registry) {
  timer_.setInterval(kStepMs);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Step(); });
}

void TerminationClose::OnSignal(int count) {
  env::WriteProgramLog("termination signal");
  if (count == 1) {
    since_first_.start();
    // Nothing more is asked of the user from here.
    platform::SetMessageBoxesClosed(true);
  }
  force_ = force_ || count > 1;
  timer_.start();
  Step();
}

void TerminationClose::Step() {
  platform::RejectOpenDialogs();
  // The signal may come inside a dialog's loop: wait until it has unwound.
  if (QThread::currentThread()->loopLevel() > 1) return;
  if (force_ || since_first_.elapsed() >= kGraceMs) {
    timer_.stop();
    registry_->CloseAllWindows(true);
    return;
  }
  if (asked_) return;
  asked_ = true;
  registry_->CloseAllWindows(false);
}

}  // namespace app
