#ifndef TELEPHONY_PAGE_CALLS_H_
#define TELEPHONY_PAGE_CALLS_H_

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

namespace telephony {

// What a screen reader says of a call: its number, or only that a call
// came when the phone withheld it.
std::string SpokenCallNotice(const std::string& number);

// The calls on their way to the main window's page, from the ring's
// announcement to the page's phoneCall. A call runs only in a document of
// the service that has its phoneCall and is not being replaced; until then
// it is held and tried again, oldest first. A document never runs a call
// twice.
class PageCalls {
 public:
  using Clock = std::chrono::steady_clock;

  struct Page {
    // The service's origin as location.origin reads it.
    std::function<std::string()> service_origin;
    // Whether the main frame shows a page of the service now.
    std::function<bool()> shows_service;
    // Runs |script| in the main frame; |done| learns whether it took the calls.
    std::function<void(const std::u16string& script, std::function<void(bool)> done)> run;
    // Asks for one Retry() a little later.
    std::function<void()> retry_later;
    std::function<void(const std::string&)> log;
    // A call came for the page, with its number: for the user to notice
    // at once, whatever the page does with it.
    std::function<void(const std::string& number)> call_came;
  };

  // Held calls waiting for a document of the service that is not ready
  // yet: a reload's worth at any call rate a phone line can bring.
  static constexpr size_t kMaxHeld = 256;
  // An answer not back by then is taken for a document that went.
  static constexpr std::chrono::seconds kAnswerWait{2};

  explicit PageCalls(Page page, std::function<Clock::time_point()> now = Clock::now);
  PageCalls(const PageCalls&) = delete;
  PageCalls& operator=(const PageCalls&) = delete;

  // The main window read |announcement| (CallAnnouncement) of |source|'s
  // ring: its call goes to the page, with a ring's worth kept while the
  // page is down.
  void Ring(int source, uintptr_t announcement);
  // |call| is a script that hands one number to the page's phoneCall. While
  // the page is down or shows another site, the latest |kept_elsewhere|
  // wait.
  void Add(std::u16string call, size_t kept_elsewhere);
  // The renderer ended, or its page is back.
  void SetPageUp(bool up);
  // A main-frame load began or ended.
  void SetLoading(bool loading);
  // Sends the held calls if a page can take them now.
  void Retry();
  size_t waiting() const { return calls_.size(); }

 private:
  struct Call {
    std::u16string script;
    uint64_t serial;
    uint64_t batch;  // the send it is in; 0 while held
    Clock::time_point sent;
  };

  bool CanSend() const;
  void Send(bool held_ones);
  void Answered(uint64_t batch, bool taken);
  void Hold();
  void AskForRetry();
  std::u16string Script(const std::u16string& origin, uint64_t batch, bool held_ones) const;
  // Empty when it cannot go into a script as it is.
  std::u16string ServiceOrigin() const;

  Page page_;
  std::function<Clock::time_point()> now_;
  std::deque<Call> calls_;
  size_t kept_elsewhere_ = 0;
  uint64_t next_serial_ = 0;
  uint64_t next_batch_ = 0;
  bool page_up_ = true;
  bool loading_ = false;
  bool holding_ = false;  // later calls wait behind held ones
  bool retry_asked_ = false;
  // The page's answers find this object only while it lives.
  std::shared_ptr<PageCalls*> alive_ = std::make_shared<PageCalls*>(this);
};

}  // namespace telephony

#endif  // TELEPHONY_PAGE_CALLS_H_
