// The library's operations over the configured box.
#include "phonebox/phonebox.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>

#include "phonebox/box.h"
#include "phonebox/control_socket.h"
#include "phonebox/modem_box.h"
#include "phonebox/sim_box.h"

namespace phonebox {

namespace {

constexpr int kMaxChannels = 32;
constexpr int kErrorConfiguration = 22;

std::string ConfiguredBackend() {
  if (const char* value = std::getenv("VELTROCRM_PHONEBOX"); value && *value) return value;
  const char* config = std::getenv("XDG_CONFIG_HOME");
  const char* home = std::getenv("HOME");
  const std::string folder = config && *config ? config : home && *home ? std::string(home) + "/.config" : "";
  std::ifstream file(folder + "/veltrocrm/phonebox.conf");
  for (std::string line; folder.size() && std::getline(file, line);) {
    if (line.rfind("backend=", 0) != 0) continue;
    std::string value = line.substr(8);
    while (!value.empty() && (value.back() == '\r' || value.back() == ' ')) value.pop_back();
    return value;
  }
  return "modem";
}

class Library : public EventSink {
 public:
  int Open() {
    std::lock_guard<std::mutex> lock(calls_);
    if (!box_) {
      std::string problem;
      box_ = MakeConfiguredBox(*this, problem);
      if (!box_) {
        std::fprintf(stderr, "phonebox: %s\n", problem.c_str());
        last_error_ = kErrorConfiguration;
        return PHONEBOX_LIBRARY_FAILED;
      }
    }
    return box_->Open();
  }
  void Close() {
    std::lock_guard<std::mutex> lock(calls_);
    if (box_) box_->Close();
  }
  int Query(int channel, int what) {
    std::lock_guard<std::mutex> lock(calls_);
    if (!box_) return 0;
    if (what == PHONEBOX_QUERY_CHANNELS) return box_->Channels();
    if (what == PHONEBOX_QUERY_CAPABILITIES) return box_->Capabilities(channel);
    return 0;
  }
  int SetHandler(int channel, int operation, PhoneBoxEventHandler handler) {
    if (channel < 0 || channel >= kMaxChannels) return 0;
    std::lock_guard<std::mutex> lock(handlers_mutex_);
    if (operation == PHONEBOX_HANDLER_ATTACH) handlers_[channel] = handler;
    else if (operation == PHONEBOX_HANDLER_DETACH) handlers_[channel] = nullptr;
    else return 0;
    return 1;
  }
  int SetParam(int channel, int parameter, int value) {
    std::lock_guard<std::mutex> lock(calls_);
    if (!box_) return 0;
    box_->SetParam(channel, parameter, value);
    return 1;
  }
  int LastError() {
    std::lock_guard<std::mutex> lock(calls_);
    return box_ ? box_->LastError() : last_error_;
  }

  // Held while the handler runs: once a detach returns, that handler is
  // never called again.
  void Emit(int channel, int event, int a, int b, int c, const std::string& text) override {
    std::lock_guard<std::mutex> lock(handlers_mutex_);
    if (channel < 0) {
      for (channel = 0; channel < kMaxChannels && !handlers_[channel]; ++channel) {
      }
    }
    if (channel >= kMaxChannels || !handlers_[channel]) return;
    char event_text[PHONEBOX_TEXT_BYTES] = {};
    std::memcpy(event_text, text.data(), std::min(text.size(), sizeof(event_text) - 1));
    const unsigned char data[PHONEBOX_DATA_BYTES] = {};
    handlers_[channel](channel, 0, event, a, b, c, event_text, data);
  }

 private:
  std::mutex calls_;
  std::unique_ptr<Box> box_;
  int last_error_ = 0;
  std::mutex handlers_mutex_;
  std::array<PhoneBoxEventHandler, kMaxChannels> handlers_{};
};

Library& TheLibrary() {
  static Library library;
  return library;
}

}  // namespace

std::unique_ptr<Box> MakeConfiguredBox(EventSink& sink, std::string& problem) {
  const std::string backend = ConfiguredBackend();
  if (backend == "sim") return std::make_unique<SimBox>(sink, ControlSocketPath());
  if (backend == "modem") return std::make_unique<ModemBox>(sink, std::string());
  if (backend.rfind("modem:", 0) == 0 && backend.size() > 6) return std::make_unique<ModemBox>(sink, backend.substr(6));
  problem = "unknown backend \"" + backend + "\" (sim, modem or modem:DEVICE)";
  return nullptr;
}

}  // namespace phonebox

#define PHONEBOX_EXPORT __attribute__((visibility("default")))

extern "C" {

PHONEBOX_EXPORT int32_t PhoneBoxOpen(int32_t, int32_t, int32_t) { return phonebox::TheLibrary().Open(); }

PHONEBOX_EXPORT int32_t PhoneBoxClose(int32_t, int32_t) {
  phonebox::TheLibrary().Close();
  return 1;
}

PHONEBOX_EXPORT int32_t PhoneBoxQuery(int32_t channel, int32_t what) {
  return phonebox::TheLibrary().Query(channel, what);
}

PHONEBOX_EXPORT int32_t PhoneBoxSetEventHandler(int32_t channel, int32_t operation, int32_t,
                                                PhoneBoxEventHandler handler, int32_t, int32_t) {
  return phonebox::TheLibrary().SetHandler(channel, operation, handler);
}

PHONEBOX_EXPORT int32_t PhoneBoxSetParam(int32_t channel, int32_t parameter, int32_t value) {
  return phonebox::TheLibrary().SetParam(channel, parameter, value);
}

PHONEBOX_EXPORT int32_t PhoneBoxLastError(void) { return phonebox::TheLibrary().LastError(); }

}  // extern "C"
