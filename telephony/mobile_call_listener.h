#ifndef TELEPHONY_MOBILE_CALL_LISTENER_H_
#define TELEPHONY_MOBILE_CALL_LISTENER_H_

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "telephony/call_ring.h"

namespace telephony {

inline constexpr uint16_t kMobileCallPort = 53526;
inline constexpr size_t kDatagramBytes = 68;  // only this much of a datagram is read

// The number a datagram announces: after "tel:" and an optional "+86", up
// to a zero byte, the end of the datagram or 63 bytes. False when the
// datagram does not begin with "tel:".
bool ParseCallDatagram(const char* data, size_t length, std::string& number);


// Receives call datagrams on a UDP port on its own thread, stores each
// number in the next slot of |table| and hands its CallAnnouncement to
// |announce| while delivery is enabled; |announce| says whether the
// announcement went out.
class MobileCallListener {
 public:
  MobileCallListener(MobileCallTable& table, std::function<bool()> delivery_enabled,
                     std::function<bool(uintptr_t announcement)> announce,
                     std::chrono::milliseconds slot_wait = kSlotWait);
  ~MobileCallListener();  // stops and joins

  enum class StartResult { kStarted, kNoSocket, kPortTaken };
  // Binds 0.0.0.0:|port| (broadcasts allowed, not shared) and starts the
  // thread.
  StartResult Start(uint16_t port);
  void Stop();
  size_t next_slot() const { return ring_.next_slot(); }

  // One received datagram: what the thread does with it.
  void HandleDatagram(const char* data, size_t length);

 private:
  void Run();

  MobileCallTable& table_;
  std::function<bool()> delivery_enabled_;
  std::function<bool(uintptr_t)> announce_;
  CallRing<MobileCallTable> ring_;
  std::atomic<bool> stop_{false};
  int socket_ = -1;
  std::thread thread_;
};

// Names of the processes that hold UDP |port| (IPv4 or IPv6), from /proc.
std::vector<std::string> FindPortUsers(uint16_t port);
// Socket inodes bound to |port| in the text of /proc/net/udp or udp6.
std::vector<unsigned long> SocketInodesOnPort(const std::string& proc_net_udp, uint16_t port);

// The main window's side of mobile capture.
// Enables delivery and starts the listener once (again after a port
// conflict). True once the listener is bound; false when this start, or
// the one whose failure is still being reported, could not bind.
bool OnMobileCaptureOn();
void OnMobileCaptureOff();  // disable delivery; the listener keeps running
// At exit: stops and joins the listener thread.
void ShutdownMobileCapture();

}  // namespace telephony

#endif  // TELEPHONY_MOBILE_CALL_LISTENER_H_
