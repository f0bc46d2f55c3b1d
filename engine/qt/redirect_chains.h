#ifndef ENGINE_QT_REDIRECT_CHAINS_H_
#define ENGINE_QT_REDIRECT_CHAINS_H_

#include <QString>
#include <QUrl>
#include <chrono>
#include <map>
#include <utility>
#include <vector>

namespace engine {

// The addresses a frame navigation may have come through. A server's
// redirect reaches the request interceptor as a navigation of its own, not
// marked as one (Qt 6.4 marks only a script's), and nothing says which
// frame a navigation is for. So a navigation may be the redirect of any
// navigation that documents of the same origin started in a frame of the
// same kind (main frame or sub-frame) in the last while and that has not
// ended as a download: it carries those one's addresses before its own
// wherever they hold another origin than its own. An over-estimate, never
// an under-estimate: where the record overflows, an address nobody knows
// (an empty QUrl) stands in for what was dropped. UI thread only.
class RedirectChains {
 public:
  using Clock = std::chrono::steady_clock;
  // How long a navigation may still turn out to have been redirected.
  static constexpr std::chrono::minutes kWindow{10};

  // The chain of a navigation to |url| (|url| last) started by a document
  // of |initiator|'s origin in a frame of |kind|; |marked| when the engine
  // calls it a redirect.
  std::vector<QUrl> Note(int kind, const QUrl& initiator, const QUrl& url, bool marked, Clock::time_point now);
  // A navigation to |url| became a download: it was redirected nowhere.
  void EndedAsDownload(const QUrl& url);

 private:
  struct Pending {
    std::vector<QUrl> chain;
    Clock::time_point since;  // its first address was asked for
  };
  struct Documents {
    std::vector<Pending> pending;
    Clock::time_point overflowed_until{};
    Clock::time_point last_seen{};
  };
  static constexpr size_t kMostPending = 256;
  static constexpr size_t kMostOrigins = 1024;
  static constexpr size_t kMostChain = 24;

  Documents& For(const std::pair<int, QString>& key, Clock::time_point now);

  std::map<std::pair<int, QString>, Documents> documents_;
  // While origins forgotten for room may still be redirected.
  Clock::time_point forgotten_until_{};
};

}  // namespace engine

#endif  // ENGINE_QT_REDIRECT_CHAINS_H_
