#include "engine/v8_value.h"

namespace engine {

namespace {
std::string& CallerOrigin() {
  static std::string origin;
  return origin;
}
}  // namespace

std::string CurrentCallerOrigin() { return CallerOrigin(); }

ScopedCallerOrigin::ScopedCallerOrigin(std::string origin) : previous_(std::move(CallerOrigin())) {
  CallerOrigin() = std::move(origin);
}

ScopedCallerOrigin::~ScopedCallerOrigin() { CallerOrigin() = std::move(previous_); }

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
