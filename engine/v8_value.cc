#include "engine/v8_value.h"

namespace engine {

namespace {
std::string& CallerOrigin() {
  static std::string origin;
  return origin;
}
std::string& CallerMainFrameUrl() {
  static std::string url;
  return url;
}
}  // namespace

std::string CurrentCallerOrigin() { return CallerOrigin(); }
std::string CurrentCallerMainFrameUrl() { return CallerMainFrameUrl(); }

ScopedCallerOrigin::ScopedCallerOrigin(std::string origin, std::string main_frame_url)
    : previous_origin_(std::move(CallerOrigin())), previous_main_frame_url_(std::move(CallerMainFrameUrl())) {
  CallerOrigin() = std::move(origin);
  CallerMainFrameUrl() = std::move(main_frame_url);
}

ScopedCallerOrigin::~ScopedCallerOrigin() {
  CallerOrigin() = std::move(previous_origin_);
  CallerMainFrameUrl() = std::move(previous_main_frame_url_);
}

V8Value V8Value::CreateBool(bool value) {
  V8Value v(Type::kBool);
  v.bool_ = value;
  return v;
}

V8Value V8Value::CreateInt(int32_t value) {
  V8Value v(Type::kInt);
  v.int_ = value;
  v.double_ = value;
  return v;
}

V8Value V8Value::CreateDouble(double value) {
  V8Value v(Type::kDouble);
  v.double_ = value;
  return v;
}

V8Value V8Value::CreateString(std::u16string value) {
  V8Value v(Type::kString);
  v.string_ = std::move(value);
  return v;
}

V8Value V8Value::CreateArray(std::vector<V8Value> values) {
  V8Value v(Type::kArray);
  v.array_ = std::move(values);
  return v;
}

}  // namespace engine
