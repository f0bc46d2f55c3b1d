#include "engine/net_errors.h"

namespace engine {

namespace {

struct NamedError {
  int code;
  const char* name;
};

constexpr NamedError kErrorNames[] = {
    {0, "ERR_NONE"}, {-2, "ERR_FAILED"}, {-3, "ERR_ABORTED"}, {-4, "ERR_INVALID_ARGUMENT"},
    {-5, "ERR_INVALID_HANDLE"}, {-6, "ERR_FILE_NOT_FOUND"}, {-7, "ERR_TIMED_OUT"}, {-8, "ERR_FILE_TOO_BIG"},
    {-9, "ERR_UNEXPECTED"}, {-10, "ERR_ACCESS_DENIED"}, {-11, "ERR_NOT_IMPLEMENTED"},
    {-100, "ERR_CONNECTION_CLOSED"}, {-101, "ERR_CONNECTION_RESET"}, {-102, "ERR_CONNECTION_REFUSED"},
    {-103, "ERR_CONNECTION_ABORTED"}, {-104, "ERR_CONNECTION_FAILED"}, {-105, "ERR_NAME_NOT_RESOLVED"},
    {-106, "ERR_INTERNET_DISCONNECTED"}, {-107, "ERR_SSL_PROTOCOL_ERROR"}, {-108, "ERR_ADDRESS_INVALID"},
    {-109, "ERR_ADDRESS_UNREACHABLE"}, {-110, "ERR_SSL_CLIENT_AUTH_CERT_NEEDED"},
    {-111, "ERR_TUNNEL_CONNECTION_FAILED"}, {-112, "ERR_NO_SSL_VERSIONS_ENABLED"},
    {-113, "ERR_SSL_VERSION_OR_CIPHER_MISMATCH"}, {-114, "ERR_SSL_RENEGOTIATION_REQUESTED"},
    {-200, "ERR_CERT_COMMON_NAME_INVALID"}, {-201, "ERR_CERT_DATE_INVALID"}, {-202, "ERR_CERT_AUTHORITY_INVALID"},
    {-203, "ERR_CERT_CONTAINS_ERRORS"}, {-204, "ERR_CERT_NO_REVOCATION_MECHANISM"},
    {-205, "ERR_CERT_UNABLE_TO_CHECK_REVOCATION"}, {-206, "ERR_CERT_REVOKED"}, {-207, "ERR_CERT_INVALID"},
    {-213, "ERR_CERT_END"}, {-300, "ERR_INVALID_URL"}, {-301, "ERR_DISALLOWED_URL_SCHEME"},
    {-302, "ERR_UNKNOWN_URL_SCHEME"}, {-310, "ERR_TOO_MANY_REDIRECTS"}, {-311, "ERR_UNSAFE_REDIRECT"},
    {-312, "ERR_UNSAFE_PORT"}, {-320, "ERR_INVALID_RESPONSE"}, {-321, "ERR_INVALID_CHUNKED_ENCODING"},
    {-322, "ERR_METHOD_NOT_SUPPORTED"}, {-323, "ERR_UNEXPECTED_PROXY_AUTH"}, {-324, "ERR_EMPTY_RESPONSE"},
    {-325, "ERR_RESPONSE_HEADERS_TOO_BIG"}, {-400, "ERR_CACHE_MISS"}, {-501, "ERR_INSECURE_RESPONSE"},
};

}  // namespace

const char* NetErrorName(int code) {
  for (const NamedError& entry : kErrorNames)
    if (entry.code == code) return entry.name;
  return nullptr;
}

int NetErrorFromName(const std::string& name) {
  for (const NamedError& entry : kErrorNames)
    if (name == entry.name) return entry.code;
  return -2;
}

}  // namespace engine
