#ifndef ENGINE_ENCODING_H_
#define ENGINE_ENCODING_H_

#include <string>

namespace engine {

// Standard Base64 with padding.
std::string Base64Encode(const std::string& data);
// Percent-escapes everything but unreserved characters; spaces become
// "+" only when |use_plus| is set.
std::string URIEncode(const std::string& text, bool use_plus);

}  // namespace engine

#endif  // ENGINE_ENCODING_H_
