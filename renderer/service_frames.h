#ifndef RENDERER_SERVICE_FRAMES_H_
#define RENDERER_SERVICE_FRAMES_H_

#include <string>

namespace renderer {

// Whether the frame making native call |name| may act outside the page:
// only frames of the service's own origin may. A refusal is logged with
// the frame's origin. Inside a V8Handler::Execute only.
bool CallerIsService(const std::string& name);

// Whether the frame making native call |name|, which switches capture off,
// may: a frame of the service, or a call of the one-way channel (unload
// handlers) from a frame that registered as the service's. A refusal is
// logged.
bool CallerMayStopCapture(const std::string& name);

}  // namespace renderer

#endif  // RENDERER_SERVICE_FRAMES_H_
