#ifndef PHONEBOX_MODEM_BOX_H_
#define PHONEBOX_MODEM_BOX_H_

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "phonebox/box.h"

namespace phonebox {

// A serial caller-ID modem (a USB modem on /dev/ttyACM* or /dev/ttyUSB*):
// one channel. Opening initialises it for caller ID (AT+VCID=1, else
// AT#CID=1); each "NMBR = ..." line is a caller-ID event, "RING" a ring,
// and the port going away (unplugged) the unplug event. The ports are
// asked on a thread of their own: Open waits a moment for the answer, and
// when a port keeps quiet, it fails for now and a later Open takes what
// that search found.
class ModemBox : public Box {
 public:
  // |device| empty: the first modem that answers.
  ModemBox(EventSink& sink, std::string device);
  ~ModemBox() override;  // closes, joining the reader; a search under way is let go

  int Open() override;
  void Close() override;
  int Channels() override;
  int Capabilities(int channel) override;
  int LastError() override;

  // The caller-ID text of a modem line, or false when it carries none.
  static bool CallerIdOfLine(const std::string& line, std::string& number);

 private:
  struct Search;
  // The answer of the modem on |device|, opened; -1 with |error| set.
  static int OpenDevice(const std::string& device, int& error, bool& caller_id);
  void StartSearchLocked();
  void Read(int fd, int stop);
  void CloseLocked();

  EventSink& sink_;
  const std::string device_;
  std::mutex mutex_;
  int fd_ = -1;
  int stop_pipe_[2] = {-1, -1};
  bool caller_id_ = false;
  std::atomic<bool> gone_{false};  // set by the reader
  int last_error_ = 0;
  std::thread reader_;
  std::shared_ptr<Search> search_;  // under way or found, not yet taken
};

// The serial devices that are modems by what the kernel says of them
// (under |sys_root|, normally /sys), in name order. Other serial ports are
// never sent a command: a modem behind a plain USB serial adapter is named
// with "modem:DEVICE".
std::vector<std::string> CandidateModemDevices(const std::string& sys_root, const std::string& dev_root);
// Whether the tty |name| (ttyACM0) is a modem by its USB class or driver.
bool IsModemTty(const std::string& sys_root, const std::string& name);
// Whether a process of ours other than this one has |device| open (those of
// other users cannot be seen, and cannot be opened by us either).
bool IsTtyOpenElsewhere(const std::string& proc_root, const std::string& device);

}  // namespace phonebox

#endif  // PHONEBOX_MODEM_BOX_H_
