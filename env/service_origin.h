#ifndef ENV_SERVICE_ORIGIN_H_
#define ENV_SERVICE_ORIGIN_H_

#include <string>

namespace env {

// Whether |url| belongs to the service: the same scheme, host and port as
// |start_url|. Opaque origins, "null" and unparsable text never do.
bool IsServicePage(const std::string& url, const std::string& start_url);

// |url|'s origin as a page reads it in location.origin ("https://host",
// "http://host:8080"); empty when it has none.
std::string WebOrigin(const std::string& url);

}  // namespace env

#endif  // ENV_SERVICE_ORIGIN_H_
