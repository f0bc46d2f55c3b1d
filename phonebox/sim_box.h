#ifndef PHONEBOX_SIM_BOX_H_
#define PHONEBOX_SIM_BOX_H_

#include <mutex>
#include <set>
#include <string>
#include <thread>

#include "phonebox/box.h"

namespace phonebox {

// A phone box that exists only in software, driven by command lines on a
// control socket (the phonebox-sim tool): plug, unplug, ring NUMBER,
// device-error, channels N, no-callerid CHANNEL, callerid CHANNEL,
// fail-open CODE|off, status. It starts plugged with one caller-ID
// channel. Commands are taken from processes of this user only.
class SimBox : public Box {
 public:
  SimBox(EventSink& sink, std::string control_path);
  ~SimBox() override;  // stops and joins the control thread

  int Open() override;
  void Close() override;
  int Channels() override;
  int Capabilities(int channel) override;
  int LastError() override;

  // One command line; the reply line. The control thread runs each line
  // it receives through this.
  std::string Command(const std::string& line);
  bool listening() const { return listen_fd_ >= 0; }

 private:
  void Listen();
  void Serve();
  void Answer(int connection);

  EventSink& sink_;
  const std::string control_path_;
  std::mutex mutex_;
  bool plugged_ = true;
  bool open_ = false;
  int channels_ = 1;
  std::set<int> without_caller_id_;
  bool fail_open_ = false;
  int fail_open_code_ = 0;
  int last_error_ = 0;
  int listen_fd_ = -1;
  int stop_pipe_[2] = {-1, -1};
  std::thread thread_;
};

}  // namespace phonebox

#endif  // PHONEBOX_SIM_BOX_H_
