#ifndef CHANNEL_DNS_CACHE_H_
#define CHANNEL_DNS_CACHE_H_

namespace channel {

// Empties the system's DNS cache where a caching resolver runs, waiting
// (half a second at most) until it is done.
void FlushDns();

}  // namespace channel

#endif  // CHANNEL_DNS_CACHE_H_
