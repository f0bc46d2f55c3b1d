#include "renderer/service_frames.h"

#include "engine/v8_value.h"
#include "env/logs.h"
#include "env/product.h"
#include "env/service_origin.h"

namespace renderer {

namespace {

constexpr char kOneWayChannel[] = "about:console";

bool Refused(const std::string& name, const std::string& origin) {
  env::WriteProgramLog("bridge call refused: " + name + " from a frame of " +
                       (origin.empty() ? std::string("an opaque origin") : env::PrintableForLog(origin)));
  return false;
}

}  // namespace

bool CallerIsService(const std::string& name) {
  const std::string origin = engine::CurrentCallerOrigin();
  return env::IsServicePage(origin, env::StartUrl()) || Refused(name, origin);
}

bool CallerMayStopCapture(const std::string& name) {
  const std::string origin = engine::CurrentCallerOrigin();
  // The service's own leave handler may stop it, where only the one-way
  // channel runs: that channel names the origin its frame registered.
  if (env::IsServicePage(origin, env::StartUrl())) return true;
  if (origin == kOneWayChannel && env::IsServicePage(engine::CurrentOneWayCallerOrigin(), env::StartUrl())) return true;
  return Refused(name, origin);
}

}  // namespace renderer
