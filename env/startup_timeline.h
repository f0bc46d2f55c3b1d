#ifndef ENV_STARTUP_TIMELINE_H_
#define ENV_STARTUP_TIMELINE_H_

namespace env {

// With VELTROCRM_STARTUP_TIMELINE set, writes "startup +N ms: |what|" to the
// program log, N counted from the moment the kernel started this process
// (library loading included; the first mark to 10 ms, the others to the
// millisecond after it); nothing otherwise. Each mark is written once.
void StartupMark(const char* what);

}  // namespace env

#endif  // ENV_STARTUP_TIMELINE_H_
