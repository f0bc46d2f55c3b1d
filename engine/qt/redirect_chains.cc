#include "engine/qt/redirect_chains.h"

#include <algorithm>

namespace engine {

namespace {

bool SameOrigin(const QUrl& a, const QUrl& b) {
  return a.isValid() && a.matches(b, QUrl::RemovePath | QUrl::RemoveQuery | QUrl::RemoveFragment);
}

// Only a server can redirect: an address the engine hands elsewhere
// (spotify:, mailto:) or makes itself (data:, blob:) is no hop of one.
bool Fetched(const QUrl& url) {
  return url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
}

}  // namespace

RedirectChains::Documents& RedirectChains::For(const std::pair<int, QString>& key, Clock::time_point now) {
  if (documents_.size() >= kMostOrigins && !documents_.count(key)) {
    // The one seen longest ago goes; until its window has passed, every
    // navigation may have come through what it held.
    const auto oldest = std::min_element(documents_.begin(), documents_.end(), [](const auto& a, const auto& b) {
      return a.second.last_seen < b.second.last_seen;
    });
    if (!oldest->second.pending.empty()) forgotten_until_ = std::max(forgotten_until_, now + kWindow);
    documents_.erase(oldest);
  }
  Documents& documents = documents_[key];
  documents.last_seen = now;
  return documents;
}

std::vector<QUrl> RedirectChains::Note(int kind, const QUrl& initiator, const QUrl& url, bool marked,
                                       Clock::time_point now) {
  Documents& documents = For({kind, initiator.toString()}, now);
  auto& pending = documents.pending;
  pending.erase(std::remove_if(pending.begin(), pending.end(),
                               [now](const Pending& earlier) { return now - earlier.since >= kWindow; }),
                pending.end());
  std::vector<QUrl> chain;
  Clock::time_point since = now;
  if (now < documents.overflowed_until || now < forgotten_until_) chain.push_back(QUrl());
  // The ones it may continue go into it. They stay pending themselves:
  // that this one ends says nothing of theirs.
  for (const Pending& earlier : pending) {
    const bool foreign = std::any_of(earlier.chain.begin(), earlier.chain.end(),
                                     [&url](const QUrl& address) { return !SameOrigin(address, url); });
    // One the engine marks as a redirect continues the latest, whatever it held.
    if (!foreign && !(marked && &earlier == &pending.back())) continue;
    chain.insert(chain.end(), earlier.chain.begin(), earlier.chain.end());
    since = std::min(since, earlier.since);
  }
  if (marked && pending.empty()) chain.push_back(QUrl());  // a hop nobody saw
  if (chain.size() >= kMostChain) {
    // What is left out is known no more.
    chain.erase(chain.begin(), chain.end() - static_cast<long>(kMostChain - 2));
    chain.insert(chain.begin(), QUrl());
  }
  chain.push_back(url);
  if (!Fetched(url)) return chain;
  if (std::any_of(pending.begin(), pending.end(), [&chain](const Pending& earlier) { return earlier.chain == chain; }))
    return chain;
  if (pending.size() >= kMostPending) {
    documents.overflowed_until = now + kWindow;
    pending.erase(pending.begin());
  }
  pending.push_back({chain, since});
  return chain;
}

void RedirectChains::EndedAsDownload(const QUrl& url) {
  for (auto& [key, documents] : documents_) {
    auto& pending = documents.pending;
    pending.erase(std::remove_if(pending.begin(), pending.end(),
                                 [&url](const Pending& earlier) { return earlier.chain.back() == url; }),
                  pending.end());
  }
}

}  // namespace engine
