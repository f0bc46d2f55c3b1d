#include "engine/v8_value.h"

namespace engine {

namespace {
std::string& CallerOrigin() {
  static std::string origin;
  return origin;
}
std::string& OneWayCallerOrigin() {
  static std::string origin;
  return origin;
}
}  // namespace

std::string CurrentCallerOrigin() { return CallerOrigin(); }
std::string CurrentOneWayCallerOrigin() { return OneWayCallerOrigin(); }

ScopedCallerOrigin::ScopedCallerOrigin(std::string origin, std::string one_way_origin)
    : previous_origin_(std::move(CallerOrigin())), previous_one_way_origin_(std::move(OneWayCallerOrigin())) {
  CallerOrigin() = std::move(origin);
  OneWayCallerOrigin() = std::move(one_way_origin);
}

ScopedCallerOrigin::~ScopedCallerOrigin() {
  CallerOrigin() = std::move(previous_origin_);
  OneWayCallerOrigin() = std::move(previous_one_way_origin_);
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
