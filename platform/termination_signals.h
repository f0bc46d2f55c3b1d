#ifndef PLATFORM_TERMINATION_SIGNALS_H_
#define PLATFORM_TERMINATION_SIGNALS_H_

#include <functional>

namespace platform {

// SIGTERM, SIGINT and SIGHUP (kill, Ctrl+C, logout) no longer end the
// process on the spot: each one runs |on_signal| on the UI thread, with the
// number of such signals so far (1 for the first).
void HandleTerminationSignals(std::function<void(int count)> on_signal);
// Once the UI loop has ended nothing would act on them: they end the
// process at once again, and the handler given is dropped.
void StopHandlingTerminationSignals();

}  // namespace platform

#endif  // PLATFORM_TERMINATION_SIGNALS_H_
