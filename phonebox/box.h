#ifndef PHONEBOX_BOX_H_
#define PHONEBOX_BOX_H_

#include <memory>
#include <string>

namespace phonebox {

// Where a box's events go: the handlers the client attached, called on
// the box's own thread.
class EventSink {
 public:
  virtual ~EventSink() = default;
  // To the handler of |channel|; a negative channel means the first one
  // with a handler (events of the whole box).
  virtual void Emit(int channel, int event, int a, int b, int c, const std::string& text) = 0;
};

// One kind of caller-ID hardware behind the library's operations. Every
// method may be called from any thread.
class Box {
 public:
  virtual ~Box() = default;
  virtual int Open() = 0;  // >= 1 open, <= 0 failed (LastError says why)
  virtual void Close() = 0;
  virtual int Channels() = 0;  // of the open box; <= 0 for none
  virtual int Capabilities(int channel) = 0;
  virtual void SetParam(int /*channel*/, int /*parameter*/, int /*value*/) {}
  virtual int LastError() = 0;
};

// The box this user configured: VELTROCRM_PHONEBOX, else the first
// "backend=" line of $XDG_CONFIG_HOME/veltrocrm/phonebox.conf, else the
// first real modem: the simulated box only when asked for. Values: "sim", "modem" (the first modem found) or
// "modem:DEVICE". Null, with |problem| set, for a value it does not know.
std::unique_ptr<Box> MakeConfiguredBox(EventSink& sink, std::string& problem);

}  // namespace phonebox

#endif  // PHONEBOX_BOX_H_
