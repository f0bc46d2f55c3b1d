#ifndef ENGINE_V8_VALUE_H_
#define ENGINE_V8_VALUE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace engine {

// A script value crossing the page bridge: the kinds a native function
// takes and returns. Objects and functions arrive as kObject, unread.
class V8Value {
 public:
  enum class Type { kUndefined, kNull, kBool, kInt, kDouble, kString, kArray, kObject };

  static V8Value CreateUndefined() { return V8Value(Type::kUndefined); }
  static V8Value CreateNull() { return V8Value(Type::kNull); }
  static V8Value CreateBool(bool value);
  static V8Value CreateInt(int32_t value);
  static V8Value CreateDouble(double value);
  static V8Value CreateString(std::u16string value);
  static V8Value CreateArray(std::vector<V8Value> values);
  static V8Value CreateObject() { return V8Value(Type::kObject); }

  Type type() const { return type_; }
  bool IsUndefined() const { return type_ == Type::kUndefined; }
  bool IsBool() const { return type_ == Type::kBool; }
  bool IsInt() const { return type_ == Type::kInt; }
  bool IsString() const { return type_ == Type::kString; }
  bool IsArray() const { return type_ == Type::kArray; }
  bool GetBoolValue() const { return bool_; }
  int32_t GetIntValue() const { return int_; }
  double GetDoubleValue() const { return double_; }
  const std::u16string& GetStringValue() const { return string_; }
  const std::vector<V8Value>& GetArrayValues() const { return array_; }

 private:
  explicit V8Value(Type type) : type_(type) {}

  Type type_;
  bool bool_ = false;
  int32_t int_ = 0;
  double double_ = 0;
  std::u16string string_;
  std::vector<V8Value> array_;
};

using V8ValueList = std::vector<V8Value>;

// The native side of an extension's `native function` declarations.
class V8Handler {
 public:
  virtual ~V8Handler() = default;
  // Runs native function |name|. Returns true when handled; sets |retval|
  // (left undefined for no value) or |exception| (thrown in the page).
  virtual bool Execute(const std::string& name, const V8ValueList& arguments, V8Value& retval,
                       std::u16string& exception) = 0;
  // Where the engine lets a frame send but not wait for an answer (unload
  // handlers, sandboxed frames), |name| still runs but the page gets what
  // this JavaScript function, given the arguments array, returns; empty for
  // undefined. Only answers the page can know without asking belong here.
  virtual std::string OneWayAnswer(const std::string& /*name*/) const { return {}; }
};

// The origin of the frame whose native call is running ("scheme://host:port"
// as the engine knows it), for a V8Handler::Execute to decide what that
// frame may do; empty for an opaque origin, "about:console" for a call that
// came the one-way channel (unload handlers, sandboxed frames), which
// carries no answer. UI thread.
std::string CurrentCallerOrigin();
// For a call of the one-way channel: the origin its frame registered when
// its document began (through the channel that names origins), "" when it
// registered none. UI thread.
std::string CurrentOneWayCallerOrigin();

// Sets the caller's origin, and the one-way channel's, for the life of the
// object; nested calls see their own.
class ScopedCallerOrigin {
 public:
  explicit ScopedCallerOrigin(std::string origin, std::string one_way_origin = std::string());
  ~ScopedCallerOrigin();
  ScopedCallerOrigin(const ScopedCallerOrigin&) = delete;
  ScopedCallerOrigin& operator=(const ScopedCallerOrigin&) = delete;

 private:
  std::string previous_origin_;
  std::string previous_one_way_origin_;
};

// Makes |javascript_code| run in every frame before the page's own scripts,
// with each `native function NAME();` in it bound to |handler|. A name
// that is already registered is refused.
bool RegisterExtension(const std::string& extension_name, const std::string& javascript_code,
                       std::shared_ptr<V8Handler> handler);

}  // namespace engine

#endif  // ENGINE_V8_VALUE_H_
