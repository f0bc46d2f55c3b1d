#ifndef CHANNEL_CHANNEL_LIST_H_
#define CHANNEL_CHANNEL_LIST_H_

#include <atomic>
#include <string>
#include <vector>

namespace channel {

// One service domain and the IPv4 addresses it can also be reached at.
struct Channel {
  std::string domain;
  std::vector<std::string> addresses;
};

inline constexpr char kScrambleKey[] = "5d0e7a93c4f1b8260ad9e57c13b4f690";
// A real channel list is a few kilobytes; a longer answer is not read.
inline constexpr size_t kMaxChannelAnswerBytes = 1 << 20;

// The body of an HTTP GET, or empty on any failure (logged). At most 5 s
// a try and kMaxChannelAnswerBytes; given up soon after |cancel| is set.
// Goes through the proxy of the current rule, signing in to it when asked.
std::string HttpGet(const std::string& url, const std::atomic<bool>* cancel = nullptr);

// http://<host>/home/index/getAllChannelByAppId?app=8
std::string ChannelListUrl(const std::string& channel_service_host);

// Base64 as the channel service writes it: blanks, tabs and line breaks
// skipped, trailing "=" ignored, a trailing group of under 8 bits dropped.
// False on any other character.
bool DecodeChannelBase64(const std::string& text, std::string& bytes);
// Byte i XOR key character (i mod 32), in place.
void Unscramble(std::string& bytes);
// Parses the channel document into |channels| (cleared first), appending
// every new domain to |pinned_domains|. Domains that cannot be pinned and
// addresses that are not dotted IPv4 are logged and left out.
void ParseChannelDocument(const std::string& document, std::vector<Channel>& channels,
                          std::vector<std::string>& pinned_domains);
// The whole answer of the channel service (envelope, Base64, key,
// document). True when at least one channel resulted.
bool ParseChannelResponse(const std::string& body, std::vector<Channel>& channels,
                          std::vector<std::string>& pinned_domains);

}  // namespace channel

#endif  // CHANNEL_CHANNEL_LIST_H_
