#ifndef ENV_SERVICE_ORIGIN_H_
#define ENV_SERVICE_ORIGIN_H_

#include <string>

namespace env {

// Whether |url| belongs to the service: the same scheme, host and port as
// |start_url|. Opaque origins, "null" and unparsable text never do.
bool IsServicePage(const std::string& url, const std::string& start_url);

}  // namespace env

#endif  // ENV_SERVICE_ORIGIN_H_
