#ifndef CHANNEL_CURL_LIBRARY_H_
#define CHANNEL_CURL_LIBRARY_H_

#include <curl/curl.h>

namespace channel {

// libcurl, loaded by the first thread that needs it and kept out of the
// program's global symbol scope. Linked in, its twenty-odd libraries were
// loaded before main and sat in the path of every symbol the engine's
// libraries looked up while the window came up; only the channel
// selection uses it, on its own thread.
struct CurlLibrary {
  CURL* (*easy_init)();
  void (*easy_reset)(CURL*);
  CURLcode (*easy_setopt)(CURL*, CURLoption, ...);
  CURLcode (*easy_perform)(CURL*);
  void (*easy_cleanup)(CURL*);
  CURLcode (*easy_getinfo)(CURL*, CURLINFO, ...);
};

// The library with its global state set up, or null (with a line in the
// program log) when it cannot be loaded or set up. The first call does the
// work; any thread may make it.
const CurlLibrary* Curl();
// Ends libcurl's global state if a call to Curl() set it up. No thread may
// be inside libcurl.
void CleanUpCurl();

}  // namespace channel

#endif  // CHANNEL_CURL_LIBRARY_H_
