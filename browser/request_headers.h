#ifndef BROWSER_REQUEST_HEADERS_H_
#define BROWSER_REQUEST_HEADERS_H_

#include <string>

#include "engine/engine.h"

namespace browser {

// Whether the product's own headers on a request of |type| for |url|, made
// by a document of origin |initiator| (empty: by the browser), could make
// the engine send a CORS preflight that the page did not cause. Those
// headers are not on the CORS safelist, and the engine adds them before its
// CORS check: a cross-origin request in CORS mode would be preflighted.
bool HeadersWouldCausePreflight(engine::ResourceType type, const std::string& initiator, const std::string& url);

// Adds My-Header and My-Version to |request| unless they would cause such a
// preflight; the request's other headers stay.
void AddProductHeaders(engine::Request& request);

}  // namespace browser

#endif  // BROWSER_REQUEST_HEADERS_H_
