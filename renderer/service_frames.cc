#include "renderer/service_frames.h"

#include "engine/v8_value.h"
#include "env/logs.h"
#include "env/product.h"
#include "env/service_origin.h"

namespace renderer {

bool CallerIsService(const std::string& name) {
  const std::string origin = engine::CurrentCallerOrigin();
  if (env::IsServicePage(origin, env::StartUrl())) return true;
  env::WriteProgramLog("bridge call refused: " + name + " from a frame of " +
                       (origin.empty() ? std::string("an opaque origin") : env::PrintableForLog(origin)));
  return false;
}

}  // namespace renderer
