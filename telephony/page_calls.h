#ifndef TELEPHONY_PAGE_CALLS_H_
#define TELEPHONY_PAGE_CALLS_H_

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>

namespace telephony {

// The script that hands |number| to the page: phoneCall("<number>"); with
// the number made safe for a string literal.
std::u16string PhoneCallScript(const std::string& number);
// The escaping used there (exposed for tests): bytes that are not valid
// UTF-8 become U+FFFD; quotes, backslashes, line breaks, U+2028/U+2029 and
// other control characters are escaped.
std::u16string EscapeForScriptString(const std::string& bytes);

// What a screen reader says of a call: its number, or only that a call
// came when the phone withheld it.
std::string SpokenCallNotice(const std::string& number);

// The page calls go to, as PageCalls sees it: the main window's.
class CallPage {
 public:
  virtual ~CallPage() = default;
  // The service's origin as location.origin reads it.
  virtual std::string ServiceOrigin() const = 0;
  // Whether the main frame shows a page of the service now.
  virtual bool ShowsService() const = 0;
  // Runs |script| in the main frame; |done| learns whether it took the calls.
  virtual void Run(const std::u16string& script, std::function<void(bool)> done) = 0;
  // Asks for one PageCalls::Retry() a little later.
  virtual void RetryLater() = 0;
  // A call came for the page, with its number: for the user to notice at
  // once, whatever the page does with it.
  virtual void CallCame(const std::string& number) = 0;
  virtual void Log(const std::string& line) = 0;
};

// The calls on their way to the main window's page, from the ring's
// announcement to the page's phoneCall. A call runs only in a document of
// the service that has its phoneCall and is not being replaced (during a
// load, only in the document the load made, still being parsed or waiting
// for a slow resource); until then it is held and tried again, oldest
// first, while it may still be ringing. A document never runs a call
// twice. A call whose answer was lost (its document or renderer went) goes
// again: the page that may have shown it is gone, and a missed call costs
// an agent more than a second look at one.
class PageCalls {
 public:
  using Clock = std::chrono::steady_clock;

  // Held calls waiting for a document of the service that is not ready
  // yet: a reload's worth at any call rate a phone line can bring.
  static constexpr size_t kMaxHeld = 256;
  // An answer not back by then is taken for a document that went.
  static constexpr std::chrono::seconds kAnswerWait{2};
  // A call centre's phone stops ringing well before this: a held call this
  // old is no longer one to answer.
  static constexpr std::chrono::seconds kMaxAge{45};

  // |page| outlives this object.
  explicit PageCalls(CallPage& page, std::function<Clock::time_point()> now = Clock::now);
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
  // The main frame made a document named |id| (letters and digits): during
  // a load, the one calls may go to.
  void SetNewestDocument(const std::string& id);
  // Sends the held calls if a page can take them now.
  void Retry();
  size_t waiting() const { return calls_.size(); }

 private:
  struct Call {
    std::u16string script;
    uint64_t serial;
    Clock::time_point came;
    uint64_t batch = 0;  // the send it is in; 0 while held
    Clock::time_point sent{};
  };

  bool CanSend() const;
  void DropStale();
  void Send(bool held_ones);
  void Answered(uint64_t batch, bool taken);
  void Hold();
  void AskForRetry();
  std::u16string Script(const std::u16string& origin, uint64_t batch, bool held_ones) const;
  // Empty when it cannot go into a script as it is.
  std::u16string ServiceOrigin() const;

  CallPage& page_;
  std::function<Clock::time_point()> now_;
  std::deque<Call> calls_;
  size_t kept_elsewhere_ = 0;
  uint64_t next_serial_ = 0;
  uint64_t next_batch_ = 0;
  bool page_up_ = true;
  bool loading_ = false;
  std::string newest_document_;  // during a load, once it made one
  bool holding_ = false;  // later calls wait behind held ones
  bool retry_asked_ = false;
  // The page's answers find this object only while it lives.
  std::shared_ptr<PageCalls*> alive_ = std::make_shared<PageCalls*>(this);
};

}  // namespace telephony

#endif  // TELEPHONY_PAGE_CALLS_H_
