// libFuzzer target: the channel service's answer (envelope, Base64, key,
// channel document) must never crash or hang the parser.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "channel/channel_list.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string body(reinterpret_cast<const char*>(data), size);
  std::vector<channel::Channel> channels;
  std::vector<std::string> pinned;
  channel::ParseChannelResponse(body, channels, pinned);
  // The same bytes as an already unscrambled document.
  channel::ParseChannelDocument(body, channels, pinned);
  return 0;
}
