#include "telephony/sip_dialog_watch.h"

#include <sofia-sip/msg_header.h>
#include <sofia-sip/nua.h>
#include <sofia-sip/nua_tag.h>
#include <sofia-sip/sip_status.h>
#include <sofia-sip/su_log.h>
#include <sofia-sip/su_tag_io.h>

#include <algorithm>
#include <cctype>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <system_error>
#include <utility>

#include "env/logs.h"
#include "env/sign_in.h"
#include "telephony/sip_dialog_info.h"

// The library's logs, each level of which may print whole messages.
extern "C" {
extern su_log_t nua_log[], nta_log[], nea_log[], tport_log[], sresolv_log[], iptsec_log[], soa_log[];
}

namespace telephony {

namespace {

void DropLog(void*, char const*, va_list) {}

constexpr size_t kLongestName = 64;
constexpr su_duration_t kStepMs = 50;  // how often the thread looks at what is wanted
constexpr size_t kIdsRemembered = 512;
constexpr size_t kLongestIdKept = 128;
constexpr std::chrono::seconds kShutdownWait{3};

bool NameCharacters(const std::string& text) {
  return !text.empty() && text.size() <= kLongestName && std::all_of(text.begin(), text.end(), [](unsigned char c) {
    return std::isalnum(c) || c == '.' || c == '-' || c == '_' || c == '+';
  });
}

bool HostAndPort(const std::string& text) {
  if (text.empty() || text.size() > 255) return false;
  std::string host = text;
  if (const size_t colon = text.rfind(':'); colon != std::string::npos && text.front() != '[') {
    const std::string port = text.substr(colon + 1);
    if (port.empty() || port.size() > 5 || !std::all_of(port.begin(), port.end(), ::isdigit) || std::stoi(port) == 0 ||
        std::stoi(port) > 65535)
      return false;
    host = text.substr(0, colon);
  }
  return !host.empty() && host.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789.-") ==
                              std::string::npos;
}

}  // namespace

std::optional<SipAccount> MakeSipAccount(const std::string& server, const std::string& extension,
                                         const std::string& user, std::string& problem) {
  if (!HostAndPort(server)) {
    problem = "the SIP server is no host name or address with a port";
    return std::nullopt;
  }
  if (!NameCharacters(extension)) {
    problem = "the SIP extension is not letters, digits and .-_+";
    return std::nullopt;
  }
  if (!user.empty() && !NameCharacters(user)) {
    problem = "the SIP user is not letters, digits and .-_+";
    return std::nullopt;
  }
  return SipAccount{server, extension, user.empty() ? extension : user};
}

std::chrono::milliseconds SipRetry::Next() {
  using std::chrono::milliseconds;
  wait_ = std::clamp(wait_ * 2, milliseconds(1000), milliseconds(60000));
  return wait_;
}

SipRingingCalls::SipRingingCalls(SipCallTable& table, std::function<bool(uintptr_t)> announce,
                                 std::chrono::milliseconds slot_wait)
    : announce_(std::move(announce)), ring_(table, slot_wait) {}

bool SipRingingCalls::Seen(const std::string& id) {
  const std::string key = id.substr(0, kLongestIdKept);
  if (!seen_.insert(key).second) return true;
  seen_order_.push_back(key);
  if (seen_order_.size() > kIdsRemembered) {
    seen_.erase(seen_order_.front());
    seen_order_.pop_front();
  }
  return false;
}

size_t SipRingingCalls::Take(const std::string& body, const std::function<bool()>& stopped) {
  std::string problem;
  const std::optional<DialogInfoReading> reading = ReadDialogInfo(body, problem);
  if (!reading) {
    env::WriteProgramLog("SIP dialog state refused: " + problem);
    return 0;
  }
  for (const std::string& note : reading->notes) env::WriteProgramLog("SIP " + note);
  size_t announced = 0, over = 0;
  for (const RingingDialog& dialog : reading->ringing) {
    if (Seen(dialog.id)) continue;
    if (announced == kCallSlots) {
      ++over;
      continue;
    }
    ring_.Announce(ring_.NextSlot(stopped), dialog.number, announce_);
    ++announced;
  }
  if (over > 0) env::WriteProgramLog("SIP calls ringing at once past " + std::to_string(kCallSlots) +
                                     ", not given to the page: " + std::to_string(over));
  return announced;
}

// The sofia-sip side, on the watch's thread only.
struct SipStack {
  explicit SipStack(SipDialogWatch& watch) : watch(watch) {}

  enum class State { kNone, kSubscribing, kActive, kEnding };

  static void OnEvent(nua_event_t event, int status, char const* phrase, nua_t*, nua_magic_t* magic,
                      nua_handle_t* nh, nua_hmagic_t*, sip_t const* sip, tagi_t tags[]) {
    static_cast<SipStack*>(magic)->Handle(event, status, phrase ? phrase : "", nh, sip, tags);
  }

  void Handle(nua_event_t event, int status, const std::string& phrase, nua_handle_t* nh, sip_t const* sip,
              tagi_t tags[]) {
    if (event == nua_r_shutdown) {
      shut_down = status >= 200;
      return;
    }
    if (!nh) return;
    if (nh != handle) {
      // Someone else's request: the agent's phone takes the calls.
      if (event == nua_i_invite) nua_respond(nh, SIP_403_FORBIDDEN, TAG_END());
      if (event < nua_r_set_params) nua_handle_destroy(nh);
      return;
    }
    switch (event) {
      case nua_r_subscribe:
        if (status < 200) return;
        if (status == 401 || status == 407) return SignIn(sip);
        if (status < 300) {
          if (state != State::kActive)
            env::WriteProgramLog("SIP dialogs of extension " + watch.account_.extension + " watched on " +
                                 env::PrintableForLog(watch.account_.server));
          state = State::kActive;
          retry.Reset();
          return;
        }
        return Drop("SIP subscription refused: " + std::to_string(status) + " " + env::PrintableForLog(phrase));
      case nua_i_notify: {
        int substate = nua_substate_active;
        tl_gets(tags, NUTAG_SUBSTATE_REF(substate), TAG_END());
        if (sip && sip->sip_payload && watch.delivering_) {
          if (!sip->sip_content_type || !sip->sip_content_type->c_type ||
              strcasecmp(sip->sip_content_type->c_type, "application/dialog-info+xml") != 0)
            env::WriteProgramLog("SIP NOTIFY with a body of another type: ignored");
          else
            watch.calls_.Take(std::string(sip->sip_payload->pl_data, sip->sip_payload->pl_len),
                              [this] { return Stopping(); });
        }
        if (substate == nua_substate_terminated && state != State::kEnding)
          Drop("SIP subscription ended by the server");
        return;
      }
      case nua_r_unsubscribe:
        if (status < 200) return;
        env::WriteProgramLog("SIP dialogs of extension " + watch.account_.extension + " no longer watched");
        Forget();
        return;
      default:
        return;
    }
  }

  // The server asks who the agent is: the session's or keyring's
  // credentials, or the user's answer; the ones that failed are not tried
  // again.
  void SignIn(sip_t const* sip) {
    msg_auth_t const* challenge = sip ? (sip->sip_www_authenticate ? sip->sip_www_authenticate
                                                                    : sip->sip_proxy_authenticate)
                                      : nullptr;
    const char* realm_param = challenge ? msg_params_find(challenge->au_params, "realm=") : nullptr;
    std::string realm = realm_param ? realm_param : "";
    if (realm.size() >= 2 && realm.front() == '"' && realm.back() == '"') realm = realm.substr(1, realm.size() - 2);
    if (!challenge || !challenge->au_scheme || realm.empty() || realm.size() > 200 ||
        realm.find_first_of("\":\\") != std::string::npos) {
      return Drop("SIP sign-in asked in a way not understood");
    }
    // A stale nonce is the server's clock, not a wrong password.
    const char* stale = msg_params_find(challenge->au_params, "stale=");
    if (stale && strcasecmp(stale, "true") == 0) tried.reset();
    const env::SignInPlace place{false, watch.account_.ServerUri(), realm};
    const std::optional<env::Credentials> credentials = env::CredentialsFor(place, tried);
    tried = credentials;
    if (!credentials) {
      // Not asked again until the page opens capture anew: a dialog coming
      // back every minute would only be in the agent's way.
      std::lock_guard<std::mutex> lock(watch.mutex_);
      declined_at_watch = watch.watches_;
      env::WriteProgramLog("SIP sign-in not given: no calls from the phone system until capture is opened again");
      Forget();
      return;
    }
    const std::string& password = credentials->password.Reveal();
    if (credentials->user.find_first_of(":%") != std::string::npos || password.find_first_of(":%") != std::string::npos) {
      tried.reset();
      return Drop("SIP sign-in given with \":\" or \"%\", which the SIP library cannot send");
    }
    std::string auth = std::string(challenge->au_scheme) + ":\"" + realm + "\":" + credentials->user + ":" + password;
    nua_authenticate(handle, NUTAG_AUTH(auth.c_str()), TAG_END());
    std::fill(auth.begin(), auth.end(), '\0');
  }

  void Subscribe() {
    const std::string from = "sip:" + watch.account_.user + "@" + watch.account_.server;
    const std::string to = "sip:" + watch.account_.extension + "@" + watch.account_.server;
    handle = nua_handle(nua, nullptr, SIPTAG_TO_STR(to.c_str()), SIPTAG_FROM_STR(from.c_str()), TAG_END());
    if (!handle) return Drop("SIP subscription not made");
    state = State::kSubscribing;
    tried.reset();
    nua_subscribe(handle, SIPTAG_EVENT_STR("dialog"), SIPTAG_ACCEPT_STR("application/dialog-info+xml"),
                  SIPTAG_EXPIRES_STR("600"), TAG_END());
  }

  void Unsubscribe() {
    state = State::kEnding;
    nua_unsubscribe(handle, TAG_END());
  }

  // Ends this subscription and tries again after the back-off.
  void Drop(const std::string& why) {
    const auto wait = retry.Next();
    env::WriteProgramLog(why + "; subscribing again in " + std::to_string(wait.count() / 1000) + " s");
    Forget();
    next_try = std::chrono::steady_clock::now() + wait;
  }

  void Forget() {
    if (handle) nua_handle_destroy(handle);
    handle = nullptr;
    state = State::kNone;
  }

  bool Stopping() {
    std::lock_guard<std::mutex> lock(watch.mutex_);
    return watch.stopping_;
  }

  SipDialogWatch& watch;
  su_root_t* root = nullptr;
  nua_t* nua = nullptr;
  nua_handle_t* handle = nullptr;
  State state = State::kNone;
  std::optional<env::Credentials> tried;  // the credentials last sent
  SipRetry retry;
  std::chrono::steady_clock::time_point next_try{};
  uint64_t declined_at_watch = 0;  // the Watch(true) whose sign-in was declined
  bool shut_down = false;
};

SipDialogWatch::SipDialogWatch(SipAccount account, std::function<bool(uintptr_t)> announce)
    : account_(std::move(account)), calls_(GetSipCallTable(), std::move(announce)) {}

SipDialogWatch::~SipDialogWatch() { Stop(); }

bool SipDialogWatch::Start() {
  if (thread_.joinable()) return true;
  try {
    thread_ = std::thread(&SipDialogWatch::Run, this);
  } catch (const std::system_error&) {
    env::WriteProgramLog("SIP thread not started");
    return false;
  }
  return true;
}

void SipDialogWatch::Watch(bool on) {
  delivering_ = on;
  std::lock_guard<std::mutex> lock(mutex_);
  wanted_ = on;
  if (on) ++watches_;
}

void SipDialogWatch::Stop() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  delivering_ = false;
  if (thread_.joinable()) thread_.join();
}

void SipDialogWatch::Run() {
  su_init();
  for (su_log_t* log : {su_log_default, nua_log, nta_log, nea_log, tport_log, sresolv_log, iptsec_log, soa_log})
    su_log_redirect(log, DropLog, nullptr);
  SipStack stack(*this);
  stack.root = su_root_create(&stack);
  if (stack.root)
    stack.nua = nua_create(stack.root, &SipStack::OnEvent, &stack, NUTAG_URL("sip:*:*"),
                           NTATAG_MAXSIZE(kMostDialogInfoBytes + 64 * 1024), TAG_END());
  if (!stack.nua) {
    env::WriteProgramLog("SIP stack not started: no caller ID from the phone system");
    if (stack.root) su_root_destroy(stack.root);
    su_deinit();
    return;
  }
  for (;;) {
    bool wanted;
    uint64_t watches;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (stopping_) break;
      wanted = wanted_;
      watches = watches_;
    }
    if (wanted && stack.state == SipStack::State::kNone && std::chrono::steady_clock::now() >= stack.next_try &&
        watches != stack.declined_at_watch)
      stack.Subscribe();
    if (!wanted && (stack.state == SipStack::State::kSubscribing || stack.state == SipStack::State::kActive))
      stack.Unsubscribe();
    su_root_step(stack.root, kStepMs);
  }
  if (stack.state == SipStack::State::kSubscribing || stack.state == SipStack::State::kActive) stack.Unsubscribe();
  nua_shutdown(stack.nua);
  const auto deadline = std::chrono::steady_clock::now() + kShutdownWait;
  while (!stack.shut_down && std::chrono::steady_clock::now() < deadline) su_root_step(stack.root, kStepMs);
  if (!stack.shut_down) {
    // A server gone quiet holds the un-SUBSCRIBE for half a minute; the
    // process is ending, so the stack is left to the exit.
    env::WriteProgramLog("SIP stack still ending at exit: left as it is");
    return;
  }
  nua_destroy(stack.nua);
  su_root_destroy(stack.root);
  su_deinit();
}

namespace {

struct SipCapture {
  std::mutex mutex;
  std::optional<SipAccount> account;
  std::unique_ptr<SipDialogWatch> watch;
};

SipCapture& Capture() {
  static SipCapture* capture = new SipCapture;  // its thread ends in ShutdownSipCapture
  return *capture;
}

}  // namespace

void ConfigureSipCapture(const SipAccount& account) {
  // The SIP library reads these on its thread: a dump of every message into
  // a file they name, or whole messages, digests included, on the
  // terminal. Cleared at start, before any thread runs.
  for (const char* name : {"TPORT_DUMP", "TPORT_CAPT", "TPORT_LOG", "TPORT_DEBUG", "NUA_DEBUG", "NTA_DEBUG", "NEA_DEBUG",
                           "SOFIA_DEBUG", "SU_DEBUG", "SRESOLV_DEBUG", "IPTSEC_DEBUG", "SOA_DEBUG", "STUN_DEBUG"})
    unsetenv(name);
  std::lock_guard<std::mutex> lock(Capture().mutex);
  Capture().account = account;
}

bool SipCaptureConfigured() {
  std::lock_guard<std::mutex> lock(Capture().mutex);
  return Capture().account.has_value();
}

void OnSipCaptureOn() {
  SipCapture& capture = Capture();
  std::lock_guard<std::mutex> lock(capture.mutex);
  if (!capture.account) return;
  if (!capture.watch) {
    capture.watch = std::make_unique<SipDialogWatch>(
        *capture.account, [](uintptr_t announcement) { return AnnounceToMainWindow(CALL_SOURCE_SIP, announcement); });
    if (!capture.watch->Start()) {
      capture.watch.reset();
      return;
    }
  }
  capture.watch->Watch(true);
}

void OnSipCaptureOff() {
  std::lock_guard<std::mutex> lock(Capture().mutex);
  if (Capture().watch) Capture().watch->Watch(false);
}

void ShutdownSipCapture() {
  std::unique_ptr<SipDialogWatch> watch;
  {
    std::lock_guard<std::mutex> lock(Capture().mutex);
    watch = std::move(Capture().watch);
  }
  watch.reset();
}

}  // namespace telephony
