#include "telephony/phonebox_library.h"

#include <dlfcn.h>

#include <memory>
#include <string>

#include "env/logs.h"
#include "env/paths.h"

namespace telephony {

namespace {

class LoadedLibrary : public PhoneBoxLibrary {
 public:
  // Null pointers for any operation the library lacks.
  bool Bind(void* handle) {
    open_ = reinterpret_cast<decltype(open_)>(dlsym(handle, "PhoneBoxOpen"));
    close_ = reinterpret_cast<decltype(close_)>(dlsym(handle, "PhoneBoxClose"));
    query_ = reinterpret_cast<decltype(query_)>(dlsym(handle, "PhoneBoxQuery"));
    set_handler_ = reinterpret_cast<decltype(set_handler_)>(dlsym(handle, "PhoneBoxSetEventHandler"));
    set_param_ = reinterpret_cast<decltype(set_param_)>(dlsym(handle, "PhoneBoxSetParam"));
    last_error_ = reinterpret_cast<decltype(last_error_)>(dlsym(handle, "PhoneBoxLastError"));
    return open_ && close_ && query_ && set_handler_ && set_param_ && last_error_;
  }
  int32_t Open() override { return open_(0, 0, 0); }
  void Close() override { close_(0, 0); }
  int32_t Query(int32_t channel, int32_t what) override { return query_(channel, what); }
  void SetEventHandler(int32_t channel, int32_t operation, PhoneBoxEventHandler handler) override {
    set_handler_(channel, operation, 0, handler, 0, 0);
  }
  void SetParam(int32_t channel, int32_t parameter, int32_t value) override { set_param_(channel, parameter, value); }
  int32_t LastError() override { return last_error_(); }

 private:
  decltype(&::PhoneBoxOpen) open_ = nullptr;
  decltype(&::PhoneBoxClose) close_ = nullptr;
  decltype(&::PhoneBoxQuery) query_ = nullptr;
  decltype(&::PhoneBoxSetEventHandler) set_handler_ = nullptr;
  decltype(&::PhoneBoxSetParam) set_param_ = nullptr;
  decltype(&::PhoneBoxLastError) last_error_ = nullptr;
};

std::unique_ptr<PhoneBoxLibrary> Load() {
  // The handle is never closed: the library's threads call back into us.
  void* handle = dlopen((env::GetModuleDirectory() + "libphonebox.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle) handle = dlopen("libphonebox.so", RTLD_NOW | RTLD_LOCAL);
  if (!handle) {
    const char* error = dlerror();
    env::WriteProgramLog(std::string("phone-box library not loaded: ") + (error ? error : "unknown error"));
    return nullptr;
  }
  auto library = std::make_unique<LoadedLibrary>();
  if (!library->Bind(handle)) {
    env::WriteProgramLog("phone-box library lacks an operation");
    return nullptr;
  }
  return library;
}

}  // namespace

PhoneBoxLibrary* LoadPhoneBoxLibrary() {
  // Tried once: a library that is missing now stays missing for this run.
  static const std::unique_ptr<PhoneBoxLibrary> library = Load();
  return library.get();
}

}  // namespace telephony
