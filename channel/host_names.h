#ifndef CHANNEL_HOST_NAMES_H_
#define CHANNEL_HOST_NAMES_H_

#include <string>
#include <vector>

namespace channel {

// Whether |text| is a dotted IPv4 address and nothing else: four decimal
// numbers 0-255 without sign, blank or leading zero, joined by single dots.
bool IsDottedIPv4(const std::string& text);

// Whether the dotted IPv4 |address| is one a hosted service can have: a
// public unicast address, or one in |extra_ranges| ("a.b.c.d/n" each).
// Loopback, unspecified, private, shared, link-local, broadcast, multicast
// and reserved addresses are not.
bool IsServiceAddress(const std::string& address, const std::vector<std::string>& extra_ranges);
// The ranges this build adds (for a test service on loopback, say).
std::vector<std::string> BuildServiceRanges();

// Whether |domain| may be pinned in the hosts file and remembered for
// removal: a DNS host name (labels of letters, digits and inner hyphens,
// 1-63 characters each, 253 in all) with at least two labels, not an
// address, and neither localhost nor a name under it.
bool IsPinnableDomain(const std::string& domain);

// Whether two host names are the same name (DNS names ignore case).
bool SameHostName(const std::string& a, const std::string& b);

// Whether |domain| is one of |suffixes| or ends in a dot followed by one.
bool IsUnderSuffix(const std::string& domain, const std::vector<std::string>& suffixes);

}  // namespace channel

#endif  // CHANNEL_HOST_NAMES_H_
