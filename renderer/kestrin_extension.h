#ifndef RENDERER_KESTRIN_EXTENSION_H_
#define RENDERER_KESTRIN_EXTENSION_H_

#include <string>

#include "engine/v8_value.h"

namespace renderer {

// The source of the "v8/kestrin" extension, exactly as the page expects it.
std::string KestrinExtensionSource();

// Switches the announcement of mobile calls on and off in the main window.
class KestrinExtensionHandler : public engine::V8Handler {
 public:
  bool Execute(const std::string& name, const engine::V8ValueList& arguments, engine::V8Value& retval,
               std::u16string& exception) override;
  std::string OneWayAnswer(const std::string& name) const override;
};

}  // namespace renderer

#endif  // RENDERER_KESTRIN_EXTENSION_H_
