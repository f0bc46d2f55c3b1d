#include "channel/channel_selector.h"

#include <netdb.h>
#include <netinet/in.h>
#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>

#include "channel/curl_library.h"
#include "channel/hosts_text.h"
#include "channel/pinger.h"
#include "env/logs.h"
#include "env/paths.h"
#include "env/system_integration.h"
#include "env/window_messages.h"

namespace channel {

namespace {

constexpr auto kDomainWait = std::chrono::milliseconds(4000);
constexpr auto kStopCheckInterval = std::chrono::milliseconds(50);
// How long the exit waits for a stopped run before leaving it behind.
constexpr auto kStopWait = std::chrono::milliseconds(300);
// Cleaning up after an earlier run may need a password at the start; the
// exit has 2 s in all and takes what is left of them.
constexpr auto kStartCleaningWait = std::chrono::seconds(60);
constexpr auto kExitCleaningWait = std::chrono::milliseconds(1500);

// The outcome of a domain check, shared with its worker so that the worker
// may outlive the wait.
struct DomainCheck {
  std::mutex mutex;
  std::condition_variable done_signal;
  bool done = false;
  bool answered = false;
};

// The first IPv4 address the system resolver gives for |domain|.
bool ResolveFirst(const std::string& domain, std::string& address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* result = nullptr;
  if (getaddrinfo(domain.c_str(), nullptr, &hints, &result) != 0 || !result) return false;
  char text[INET_ADDRSTRLEN] = {};
  const auto* ipv4 = reinterpret_cast<const sockaddr_in*>(result->ai_addr);
  const bool ok = inet_ntop(AF_INET, &ipv4->sin_addr, text, sizeof(text)) != nullptr;
  freeaddrinfo(result);
  address = text;
  return ok;
}

}  // namespace

ChannelProbe::ChannelProbe(ChannelSelector& selector, std::string domain, std::vector<std::string> addresses)
    : selector_(selector), domain_(std::move(domain)), addresses_(std::move(addresses)) {}

bool ChannelProbe::DomainAnswers() const {
  auto check = std::make_shared<DomainCheck>();
  try {
    // Detached on purpose: a worker still measuring after the wait keeps
    // its own copy of the domain and its shared result, and is ignored.
    std::thread([check, domain = domain_] {
      std::string address;
      // A domain that does not resolve needs nothing.
      bool answered = !ResolveFirst(domain, address);
      if (!answered) answered = Pinger(address, 4, 200, 2000).Run();
      std::lock_guard<std::mutex> lock(check->mutex);
      check->answered = answered;
      check->done = true;
      check->done_signal.notify_all();
    }).detach();
  } catch (const std::system_error&) {
    return true;
  }
  // In short steps, so that a stopped run does not wait the whole time.
  const auto deadline = std::chrono::steady_clock::now() + kDomainWait;
  std::unique_lock<std::mutex> lock(check->mutex);
  while (!check->done && !selector_.stopping() && std::chrono::steady_clock::now() < deadline)
    check->done_signal.wait_for(lock, kStopCheckInterval);
  return check->done && check->answered;
}

void ChannelProbe::Run() {
  if (DomainAnswers() || addresses_.empty() || selector_.stopping()) return;
  std::vector<std::thread> threads;
  for (const std::string& address : addresses_) {
    try {
      threads.emplace_back([this, address] {
        Pinger pinger(address, 2, 200, 2000);
        if (pinger.Run()) Report(pinger.total_rtt_ms(), pinger.replies(), address);
      });
    } catch (const std::system_error&) {
      // Measure with the threads that did start.
    }
  }
  for (std::thread& thread : threads) thread.join();
  const std::string best = best_address();
  if (!best.empty()) selector_.AddPinnedLine(domain_, best);
}

void ChannelProbe::Report(uint32_t total_rtt_ms, int replies, const std::string& address) {
  std::lock_guard<std::mutex> lock(lock_);
  const int total = static_cast<int>(total_rtt_ms);
  if (replies <= 0) return;
  if (replies > best_replies_ || (replies == best_replies_ && total > 0 && total < best_total_)) {
    best_replies_ = replies;
    best_total_ = total;
    best_address_ = address;
  }
}

std::string ChannelProbe::best_address() const {
  std::lock_guard<std::mutex> lock(lock_);
  return best_address_;
}

ChannelSelector::ChannelSelector(std::shared_ptr<HostsEditor> hosts, std::string channel_service_host,
                                 std::function<void()> channel_ready)
    : hosts_(std::move(hosts)),
      channel_service_host_(std::move(channel_service_host)),
      channel_ready_(std::move(channel_ready)) {}

ChannelSelector::~ChannelSelector() {
  Join();
  RemovePinnedLines();
}

void ChannelSelector::Start() {
  thread_ = std::thread([self = shared_from_this()] {
    self->RunSelection();
    std::lock_guard<std::mutex> lock(self->run_lock_);
    self->run_ended_ = true;
    self->run_ended_signal_.notify_all();
  });
}

void ChannelSelector::Stop() {
  // No rewrite follows (each looks at the flag under the file lock); one
  // under way, which may wait on a password, is not waited for here.
  stopping_ = true;
}

bool ChannelSelector::WaitForRun(std::chrono::milliseconds timeout) {
  if (!thread_.joinable()) return true;
  std::unique_lock<std::mutex> lock(run_lock_);
  return run_ended_signal_.wait_for(lock, timeout, [this] { return run_ended_; });
}

void ChannelSelector::Abandon() {
  // Detached on purpose: a stopped run only finishes its last measurements
  // (at most a few seconds of ICMP), holds its own reference to the
  // selector and writes nothing; process exit ends it.
  if (thread_.joinable()) thread_.detach();
}

void ChannelSelector::Join() {
  if (thread_.joinable()) thread_.join();
}

bool ChannelSelector::FetchChannelList() {
  const std::string body = HttpGet(ChannelListUrl(channel_service_host_), &stopping_);
  std::vector<std::string> pinned;
  const bool ok = ParseChannelResponse(body, channels_, pinned);
  std::lock_guard<std::mutex> lock(lock_);
  pinned_domains_.insert(pinned_domains_.end(), pinned.begin(), pinned.end());
  return ok;
}

void ChannelSelector::AddPinnedLine(const std::string& domain, const std::string& address) {
  if (!hosts_->MayPin({{address, domain}})) return;
  std::lock_guard<std::mutex> lock(lock_);
  pinned_domains_.push_back(domain);
  pinned_hosts_.push_back({address, domain});
}

std::vector<std::string> ChannelSelector::pinned_domains() const {
  std::lock_guard<std::mutex> lock(lock_);
  return pinned_domains_;
}

std::vector<PinnedHost> ChannelSelector::pinned_hosts() const {
  std::lock_guard<std::mutex> lock(lock_);
  return pinned_hosts_;
}

void ChannelSelector::RemoveStaleLines() {
  std::lock_guard<std::timed_mutex> file_lock(file_lock_);
  hosts_->Unpin(kStartCleaningWait);
}

void ChannelSelector::ApplyHostsLines() {
  std::lock_guard<std::timed_mutex> file_lock(file_lock_);
  if (stopping_) return;
  // Marked first: whatever part of the change got through is undone at exit.
  applied_ = true;
  hosts_->Pin(pinned_hosts());
}

void ChannelSelector::RemovePinnedLines() {
  std::unique_lock<std::timed_mutex> file_lock(file_lock_, kExitCleaningWait);
  if (!file_lock.owns_lock()) {
    // A helper still waits on its password: the next start cleans up.
    env::WriteProgramLog("hosts file left for the next start: a change is still under way");
    return;
  }
  if (!applied_) return;
  if (hosts_->Unpin(kExitCleaningWait)) applied_ = false;
}

void ChannelSelector::RunSelection() {
  RemoveStaleLines();
  if (!FetchChannelList()) return;
  {
    std::lock_guard<std::mutex> lock(lock_);
    pinned_domains_.clear();
  }
  // Every channel at once: the run takes as long as the slowest channel.
  std::vector<std::thread> probes;
  for (const Channel& channel : channels_) {
    try {
      probes.emplace_back([this, channel] { ChannelProbe(*this, channel.domain, channel.addresses).Run(); });
    } catch (const std::system_error&) {
      // That channel goes unprobed this run.
    }
  }
  for (std::thread& probe : probes) probe.join();
  if (pinned_domains().empty() || stopping_) return;
  ApplyHostsLines();
  if (channel_ready_) channel_ready_();
}

namespace {
std::shared_ptr<ChannelSelector> g_selector;
}  // namespace

void StartNetwork(const std::string& channel_service_host) {
  auto hosts = std::make_shared<HelperHostsEditor>(env::HostsHelperPath(), SystemHostsFiles());
  g_selector = std::make_shared<ChannelSelector>(std::move(hosts), channel_service_host, [] {
    if (auto window = env::FindMainWindow()) window->Post({WM_COMMAND, CMD_CHANNEL_READY, 0});
  });
  g_selector->Start();
}

void StopChannelSelection() {
  if (g_selector) g_selector->Stop();
}

void StopNetwork() {
  if (!g_selector) return;
  g_selector->Stop();
  const bool ended = g_selector->WaitForRun(kStopWait);
  if (ended)
    g_selector->Join();
  else
    g_selector->Abandon();
  g_selector->RemovePinnedLines();
  g_selector.reset();
  // A run left behind may still be inside libcurl.
  if (ended) CleanUpCurl();
}

}  // namespace channel
