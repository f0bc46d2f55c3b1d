#include "telephony/page_calls.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>

#include "env/utf.h"
#include "telephony/call_ring.h"

namespace telephony {

namespace {

// Origins come from our own URL parser; anything else in one would have
// to be escaped before it goes into a script, so it is not used at all.
bool PlainOrigin(const std::string& origin) {
  return std::all_of(origin.begin(), origin.end(), [](char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == ':' || c == '/' || c == '[' || c == ']' ||
           c == '-';
  });
}

std::u16string Ascii(const std::string& text) { return std::u16string(text.begin(), text.end()); }

}  // namespace

std::u16string EscapeForScriptString(const std::string& bytes) {
  std::u16string out;
  for (char16_t unit : env::Utf8ToUtf16(bytes)) {
    if (unit == u'"' || unit == u'\\') {
      out += u'\\';
      out += unit;
    } else if (unit < 0x20 || unit == 0x7F || unit == 0x2028 || unit == 0x2029) {
      char text[8];
      snprintf(text, sizeof(text), "\\u%04X", static_cast<unsigned>(unit));
      for (char* c = text; *c; ++c) out += static_cast<char16_t>(*c);
    } else {
      out += unit;
    }
  }
  return out;
}

std::u16string PhoneCallScript(const std::string& number) {
  return u"phoneCall(\"" + EscapeForScriptString(number) + u"\");";
}

std::string SpokenCallNotice(const std::string& number) { return number.empty() ? "来电" : "来电 " + number; }

PageCalls::PageCalls(CallPage& page, std::function<Clock::time_point()> now) : page_(page), now_(std::move(now)) {}

void PageCalls::Ring(int source, uintptr_t announcement) {
  const std::optional<std::string> number = TakeCallForPage(source, announcement);
  if (!number) return;
  Add(PhoneCallScript(*number), kCallSlots);
  page_.CallCame(*number);
}

void PageCalls::Add(std::u16string call, size_t kept_elsewhere) {
  kept_elsewhere_ = kept_elsewhere;
  calls_.push_back({std::move(call), ++next_serial_, now_()});
  if (!holding_ && CanSend()) {
    Send(false);
    return;
  }
  Hold();
}

void PageCalls::SetPageUp(bool up) {
  page_up_ = up;
  if (up) Retry();
}

void PageCalls::SetLoading(bool loading) {
  loading_ = loading;
  newest_document_.clear();
  if (!loading) Retry();
}

void PageCalls::SetNewestDocument(const std::string& id) {
  constexpr size_t kLongestId = 64;
  if (id.empty() || id.size() > kLongestId ||
      !std::all_of(id.begin(), id.end(), [](char c) { return std::isalnum(static_cast<unsigned char>(c)); }))
    return;
  newest_document_ = id;
  if (loading_) Retry();
}

void PageCalls::Retry() {
  retry_asked_ = false;
  const Clock::time_point now = now_();
  bool answer_awaited = false, answer_lost = false;
  for (Call& call : calls_) {
    if (call.batch == 0) continue;
    if (now - call.sent < kAnswerWait) {
      answer_awaited = true;
      continue;
    }
    call.batch = 0;
    answer_lost = true;
  }
  if (answer_lost) {
    // The document went without answering: the calls go again.
    page_.Log("calls without an answer from the page: held");
    holding_ = true;
  }
  DropStale();
  if (calls_.empty()) {
    holding_ = false;
    return;
  }
  // Held calls go after the ones on their way, never past them.
  if (answer_awaited) {
    AskForRetry();
    return;
  }
  if (!holding_) return;
  if (!CanSend()) {
    Hold();
    return;
  }
  Send(true);
}

bool PageCalls::CanSend() const {
  return page_up_ && (!loading_ || !newest_document_.empty()) && page_.ShowsService() && !ServiceOrigin().empty();
}

void PageCalls::DropStale() {
  const Clock::time_point now = now_();
  const auto stale = [&](const Call& c) { return c.batch == 0 && now - c.came > kMaxAge; };
  const size_t before = calls_.size();
  calls_.erase(std::remove_if(calls_.begin(), calls_.end(), stale), calls_.end());
  if (calls_.size() < before)
    page_.Log("calls no longer ringing, not given to the page: " + std::to_string(before - calls_.size()));
}

std::u16string PageCalls::ServiceOrigin() const {
  const std::string origin = page_.ServiceOrigin();
  return PlainOrigin(origin) ? Ascii(origin) : std::u16string();
}

void PageCalls::Send(bool held_ones) {
  const uint64_t batch = ++next_batch_;
  const Clock::time_point now = now_();
  for (Call& call : calls_) {
    if (call.batch != 0) continue;
    call.batch = batch;
    call.sent = now;
  }
  std::weak_ptr<PageCalls*> alive = alive_;
  page_.Run(Script(ServiceOrigin(), batch, held_ones), [alive, batch](bool taken) {
    if (auto self = alive.lock()) (*self)->Answered(batch, taken);
  });
  // An answer that never comes is noticed.
  AskForRetry();
}

void PageCalls::Answered(uint64_t batch, bool taken) {
  size_t count = 0;
  if (taken) {
    for (auto it = calls_.begin(); it != calls_.end();) {
      if (it->batch != batch) {
        ++it;
        continue;
      }
      it = calls_.erase(it);
      ++count;
    }
    if (count == 0) return;
    if (holding_) {
      page_.Log("held calls delivered: " + std::to_string(count));
      holding_ = !calls_.empty();
      // Calls that came meanwhile go next.
      if (holding_) Retry();
    }
    return;
  }
  for (Call& call : calls_) {
    if (call.batch != batch) continue;
    call.batch = 0;
    ++count;
  }
  // Nothing when the calls were sent again since.
  if (count > 0) Hold();
}

void PageCalls::Hold() {
  if (!holding_) {
    holding_ = true;
    page_.Log(!page_up_                    ? "calls held: the page is down"
              : !page_.ShowsService()      ? "calls held: the main window shows another site"
              : loading_ && newest_document_.empty() ? "calls held: the page is loading"
                                            : "calls held: the page has no phoneCall yet");
  }
  DropStale();
  // Elsewhere only a ring's worth wait, as the ring itself keeps.
  const size_t limit = page_up_ && page_.ShowsService() ? kMaxHeld : kept_elsewhere_;
  size_t held = static_cast<size_t>(std::count_if(calls_.begin(), calls_.end(), [](const Call& c) { return c.batch == 0; }));
  size_t dropped = 0;
  for (auto it = calls_.begin(); it != calls_.end() && held > limit;) {
    if (it->batch != 0) {
      ++it;
      continue;
    }
    it = calls_.erase(it);
    --held;
    ++dropped;
  }
  if (dropped > 0) page_.Log("calls lost while the page could not take them: " + std::to_string(dropped));
  AskForRetry();
}

void PageCalls::AskForRetry() {
  if (retry_asked_) return;
  retry_asked_ = true;
  page_.RetryLater();
}

// One script for the batch: it runs the calls only in a document of the
// service that has its phoneCall and, during a load, only in the one the
// load made. A document that refused a call refuses
// the calls after it until the held ones come again, so they keep their
// order; it remembers the calls it ran, so a call sent again after a lost
// answer does not ring twice.
std::u16string PageCalls::Script(const std::u16string& origin, uint64_t batch, bool held_ones) const {
  std::u16string script = u"(function (w) {\n  if (location.origin !== \"" + origin +
                          u"\" || typeof phoneCall !== 'function'";
  if (loading_) script += u" || w.__veltroDocument !== \"" + Ascii(newest_document_) + u"\"";
  if (!held_ones) script += u" || w.__veltroCallsHeld__ === true";
  script += u") {\n    w.__veltroCallsHeld__ = true;\n    return false;\n  }\n";
  script += u"  w.__veltroCallsHeld__ = false;\n  var ran = w.__veltroCallsRan__ || (w.__veltroCallsRan__ = {});\n";
  for (const Call& call : calls_) {
    if (call.batch != batch) continue;
    const std::u16string serial = Ascii(std::to_string(call.serial));
    script += u"  if (!ran[" + serial + u"]) {\n    ran[" + serial + u"] = true;\n    try { " + call.script +
              u" } catch (e) { setTimeout(function () { throw e; }); }\n  }\n";
  }
  return script + u"  return true;\n})(window)";
}

}  // namespace telephony
