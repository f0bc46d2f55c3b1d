#ifndef TELEPHONY_SIP_DIALOG_WATCH_H_
#define TELEPHONY_SIP_DIALOG_WATCH_H_

#include <atomic>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <thread>

#include "telephony/call_ring.h"

namespace telephony {

// The agent's extension on the company's phone system, as set up.
struct SipAccount {
  std::string server;     // host or host:port
  std::string extension;  // whose calls are watched
  std::string user;       // who signs in (the extension when not set)
  std::string ServerUri() const { return "sip:" + server; }
};

// The account the three settings describe, or nothing with |problem|:
// names only of letters, digits and ".-_+", a host name or address with
// an optional port.
std::optional<SipAccount> MakeSipAccount(const std::string& server, const std::string& extension,
                                         const std::string& user, std::string& problem);

// How long to wait before subscribing again after a refusal, a timeout or
// an ended subscription: 1 s, doubled each time up to a minute.
class SipRetry {
 public:
  std::chrono::milliseconds Next();
  void Reset() { wait_ = std::chrono::milliseconds(0); }

 private:
  std::chrono::milliseconds wait_{0};
};

// The calls in the phone system's dialog-info, each announced once: a
// dialog still ringing in the next document is not a new call.
class SipRingingCalls {
 public:
  SipRingingCalls(SipCallTable& table, std::function<bool(uintptr_t)> announce,
                  std::chrono::milliseconds slot_wait = kSlotWait);
  // One NOTIFY body; returns how many calls it announced. At most a ring's
  // worth per body: an agent's phone never rings with more.
  size_t Take(const std::string& body, const std::function<bool()>& stopped);

 private:
  bool Seen(const std::string& id);

  std::function<bool(uintptr_t)> announce_;
  CallRing<SipCallTable> ring_;
  std::deque<std::string> seen_order_;
  std::set<std::string> seen_;
};

struct SipStack;

// Watches the extension's dialogs on its own thread (sofia-sip): a
// SUBSCRIBE to the "dialog" event package, renewed with back-off whenever
// the server refuses, drops or ends it, and signed in through the sign-in
// dialog and keyring when the server asks. Never registers, answers or
// rejects a call.
class SipDialogWatch {
 public:
  SipDialogWatch(SipAccount account, std::function<bool(uintptr_t)> announce);
  ~SipDialogWatch();  // Stop()

  // Starts the thread; false (logged) when it cannot.
  bool Start();
  // The page's landline capture: subscribe and deliver, or unsubscribe.
  // A sign-in the user declined is asked again only at the next Watch(true).
  void Watch(bool on);
  // Ends the subscription and joins the thread (a few seconds at most).
  void Stop();

 private:
  friend struct SipStack;
  void Run();

  const SipAccount account_;
  SipRingingCalls calls_;
  std::mutex mutex_;  // the three below
  bool wanted_ = false;
  bool stopping_ = false;
  uint64_t watches_ = 0;  // Watch(true) calls so far
  std::atomic<bool> delivering_{false};
  std::thread thread_;
};

// The process's SIP capture: set up once at start from the switches, then
// on the main window's landline messages.
void ConfigureSipCapture(const SipAccount& account);
bool SipCaptureConfigured();
void OnSipCaptureOn();
void OnSipCaptureOff();
// After the main loop: ends the subscription, joins the thread.
void ShutdownSipCapture();

}  // namespace telephony

#endif  // TELEPHONY_SIP_DIALOG_WATCH_H_
