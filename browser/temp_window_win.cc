#include "browser/temp_window_win.h"

#include <QWidget>

namespace browser {

namespace {
TempWindow* g_temp_window = nullptr;
}  // namespace

TempWindow::TempWindow() : window_(std::make_unique<QWidget>(nullptr, Qt::Window)) {
  window_->setObjectName(QStringLiteral("Client_TempWindow"));
  window_->setGeometry(0, 0, 1, 1);
  g_temp_window = this;
}

TempWindow::~TempWindow() { g_temp_window = nullptr; }

QWidget* TempWindow::GetWindowHandle() { return g_temp_window ? g_temp_window->window_.get() : nullptr; }

}  // namespace browser
