#include "browser/window_registry.h"

namespace browser {

namespace {

WindowRegistry* g_registry = nullptr;

}  // namespace

WindowRegistry* WindowRegistry::Get() { return g_registry; }

WindowRegistry::WindowRegistry() { g_registry = this; }

WindowRegistry::~WindowRegistry() {
  if (g_registry == this) g_registry = nullptr;
}

}  // namespace browser
