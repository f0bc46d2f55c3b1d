#ifndef ENGINE_NET_ERRORS_H_
#define ENGINE_NET_ERRORS_H_

#include <string>

namespace engine {

// The name of a network error code ("ERR_CONNECTION_REFUSED"), for the
// codes the product names; null for any other.
const char* NetErrorName(int code);
// The code of a named network error; ERR_FAILED (-2) for unknown names.
int NetErrorFromName(const std::string& name);

}  // namespace engine

#endif  // ENGINE_NET_ERRORS_H_
