#include "app/ui_message_loop.h"

#include <atomic>

#include "engine/engine.h"

namespace app {

namespace {
std::atomic<UiMessageLoop*> g_loop{nullptr};
}  // namespace

UiMessageLoop::UiMessageLoop() { g_loop = this; }

UiMessageLoop::~UiMessageLoop() { g_loop = nullptr; }

UiMessageLoop* UiMessageLoop::Get() { return g_loop.load(); }

int UiMessageLoop::Run() {
  engine::RunMessageLoop();
  return 0;
}

void UiMessageLoop::Quit() { engine::QuitMessageLoop(); }

void UiMessageLoop::PostTask(std::function<void()> task) { engine::PostTask(std::move(task)); }

bool UiMessageLoop::RunsOnUiThread() const { return engine::CurrentlyOnUiThread(); }

}  // namespace app
