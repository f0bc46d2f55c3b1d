#ifndef CHANNEL_CHANNEL_SELECTOR_H_
#define CHANNEL_CHANNEL_SELECTOR_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "channel/channel_list.h"
#include "channel/hosts_pinning.h"

namespace channel {

class ChannelSelector;

// Decides for one channel whether its domain needs a hosts line, and which
// of its addresses answers best.
class ChannelProbe {
 public:
  ChannelProbe(ChannelSelector& selector, std::string domain, std::vector<std::string> addresses);
  // The whole per-channel procedure; runs on the channel's own thread.
  void Run();
  // One address measured: the most replies win, then the smaller total.
  void Report(uint32_t total_rtt_ms, int replies, const std::string& address);
  std::string best_address() const;

 private:
  // True when the domain, as the system resolves it, answers within 4 s.
  bool DomainAnswers() const;

  ChannelSelector& selector_;
  const std::string domain_;
  const std::vector<std::string> addresses_;
  mutable std::mutex lock_;
  int best_total_ = 0;
  int best_replies_ = 0;
  std::string best_address_;
};

// The channel selection of one process: fetch, probe, pin, and take the
// pins out again at exit.
class ChannelSelector : public std::enable_shared_from_this<ChannelSelector> {
 public:
  ChannelSelector(std::shared_ptr<HostsEditor> hosts, std::string channel_service_host,
                  std::function<void()> channel_ready);
  ~ChannelSelector();  // waits for the selection, then removes the pins

  // Starts the selection thread, which keeps the selector alive while it
  // runs (the selector must be held by a shared_ptr).
  void Start();
  // Waits for the selection thread to end.
  void Join();
  // The run pins nothing from now on and gives up its waits soon; never
  // waits itself.
  void Stop();
  bool stopping() const { return stopping_; }
  // Waits at most |timeout| for the selection thread to end; true when it
  // has ended (or never started).
  bool WaitForRun(std::chrono::milliseconds timeout);
  // Lets a run that is still probing end on its own; it can no longer
  // write the hosts file once stopped.
  void Abandon();

  bool FetchChannelList();
  // Pins |domain| to |address|; refused (logged) unless both are valid.
  void AddPinnedLine(const std::string& domain, const std::string& address);
  // After a crashed run: puts the file back as that run found it; any
  // other pinned line of ours goes.
  void RemoveStaleLines();
  // Writes this run's lines, taking out every other line for their domains.
  void ApplyHostsLines();
  // Takes this run's lines out again and puts back the user's lines it
  // took out: the file is as it was before the run unless someone else
  // changed it meanwhile. Waits 1.5 s at most for a change under way.
  void RemovePinnedLines();
  // The whole run, as the selection thread does it.
  void RunSelection();

  const std::vector<Channel>& channels() const { return channels_; }
  std::vector<std::string> pinned_domains() const;
  std::vector<PinnedHost> pinned_hosts() const;

 private:
  const std::shared_ptr<HostsEditor> hosts_;
  const std::string channel_service_host_;
  const std::function<void()> channel_ready_;
  std::vector<Channel> channels_;
  mutable std::mutex lock_;  // pinned_domains_, pinned_hosts_
  std::vector<std::string> pinned_domains_;
  std::vector<PinnedHost> pinned_hosts_;
  std::timed_mutex file_lock_;  // one hosts-file change at a time; guards applied_
  bool applied_ = false;
  std::atomic<bool> stopping_{false};
  std::mutex run_lock_;  // run_ended_
  std::condition_variable run_ended_signal_;
  bool run_ended_ = false;
  std::thread thread_;
};

// Network start: the selection thread, which loads libcurl when it first
// needs it.
void StartNetwork(const std::string& channel_service_host);
// Once the main window has closed: no new pins.
void StopChannelSelection();
// At exit: stop the selection (waiting for it only briefly), remove the
// pins, clean libcurl up.
void StopNetwork();

}  // namespace channel

#endif  // CHANNEL_CHANNEL_SELECTOR_H_
