#include "channel/dns_cache.h"

#include <chrono>
#include <string>

#include "platform/process.h"

namespace channel {

namespace {

constexpr std::chrono::milliseconds kFlushWait{500};

}  // namespace

void FlushDns() {
  std::string errors;
  if (!platform::FindProgramInPath("resolvectl").empty())
    platform::RunCommand({"resolvectl", "flush-caches"}, kFlushWait, errors);
  else if (!platform::FindProgramInPath("nscd").empty())
    platform::RunCommand({"nscd", "-i", "hosts"}, kFlushWait, errors);
}

}  // namespace channel
