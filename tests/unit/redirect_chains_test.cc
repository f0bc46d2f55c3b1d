// Which addresses a frame navigation may have come through, when the engine
// does not say which navigations are a server's redirects.
#include <gtest/gtest.h>

#include "engine/qt/redirect_chains.h"

namespace {

using engine::RedirectChains;

constexpr int kSubFrame = 1;
constexpr int kMainFrame = 0;
const QUrl kService("https://crm.example/");
const QUrl kPartner("https://partner.example/");

QStringList Names(const std::vector<QUrl>& chain) {
  QStringList names;
  for (const QUrl& address : chain) names << (address.isEmpty() ? QStringLiteral("?") : address.toString());
  return names;
}

TEST(RedirectChains, ARedirectThroughAnotherOriginCarriesItsAddresses) {
  RedirectChains chains;
  const auto t = RedirectChains::Clock::now();
  // The service's document points a frame at a partner, whose server
  // redirects it to the service's installer: two navigations, unmarked.
  chains.Note(kSubFrame, kService, QUrl("https://partner.example/r?to=deb"), false, t);
  EXPECT_EQ(Names(chains.Note(kSubFrame, kService, QUrl("https://crm.example/v5.deb"), false, t)),
            (QStringList{"https://partner.example/r?to=deb", "https://crm.example/v5.deb"}));
  // Through a hop of the service's own first: the partner stays in it.
  chains.Note(kMainFrame, kService, QUrl("https://partner.example/r2"), false, t);
  chains.Note(kMainFrame, kService, QUrl("https://crm.example/hop"), false, t);
  EXPECT_TRUE(Names(chains.Note(kMainFrame, kService, QUrl("https://crm.example/v5.deb"), false, t))
                  .contains("https://partner.example/r2"));
}

TEST(RedirectChains, OnlyWhatCouldHaveRedirectedIsCarried) {
  RedirectChains chains;
  const auto t = RedirectChains::Clock::now();
  // The service's own navigations, and those of other documents or of the
  // other kind of frame, leave its chain alone.
  chains.Note(kSubFrame, kService, QUrl("https://crm.example/a"), false, t);
  chains.Note(kSubFrame, kPartner, QUrl("https://partner.example/x"), false, t);
  chains.Note(kMainFrame, kService, QUrl("https://partner.example/popup"), false, t);
  chains.Note(kSubFrame, kService, QUrl("spotify:track:1"), false, t);
  EXPECT_EQ(Names(chains.Note(kSubFrame, kService, QUrl("https://crm.example/v5.deb"), false, t)),
            (QStringList{"https://crm.example/v5.deb"}));

  // A navigation that became a download was redirected nowhere...
  chains.Note(kSubFrame, kService, QUrl("https://partner.example/file.zip"), false, t);
  chains.EndedAsDownload(QUrl("https://partner.example/file.zip"));
  EXPECT_EQ(Names(chains.Note(kSubFrame, kService, QUrl("https://crm.example/v6.deb"), false, t)),
            (QStringList{"https://crm.example/v6.deb"}));
  // ...which says nothing of another still on its way.
  chains.Note(kSubFrame, kService, QUrl("https://partner.example/slow"), false, t);
  chains.Note(kSubFrame, kService, QUrl("https://partner.example/fast.zip"), false, t);
  chains.EndedAsDownload(QUrl("https://partner.example/fast.zip"));
  chains.EndedAsDownload(QUrl("https://crm.example/v7.deb"));
  EXPECT_TRUE(Names(chains.Note(kSubFrame, kService, QUrl("https://crm.example/v7.deb"), false, t))
                  .contains("https://partner.example/slow"));

  // After the window, a navigation stands alone again.
  EXPECT_EQ(Names(chains.Note(kSubFrame, kService, QUrl("https://crm.example/v8.deb"), false,
                              t + RedirectChains::kWindow + std::chrono::seconds(1))),
            (QStringList{"https://crm.example/v8.deb"}));
}

TEST(RedirectChains, WhatIsNotKnownStandsAsAnUnknownAddress) {
  RedirectChains chains;
  const auto t = RedirectChains::Clock::now();
  // A redirect the engine marks, with nothing seen before it.
  EXPECT_EQ(Names(chains.Note(kMainFrame, kService, QUrl("https://crm.example/v5.deb"), true, t)),
            (QStringList{"?", "https://crm.example/v5.deb"}));
  // A script's redirect continues the page it runs in.
  chains.Note(kMainFrame, kService, QUrl("https://crm.example/popup.html"), false, t);
  EXPECT_EQ(Names(chains.Note(kMainFrame, kService, QUrl("https://crm.example/p.deb"), true, t)).last(),
            "https://crm.example/p.deb");

  // A flood past the record's room: the dropped ones may be anywhere.
  RedirectChains flooded;
  flooded.Note(kSubFrame, kService, QUrl("https://partner.example/slow"), false, t);
  for (int i = 0; i < 300; ++i)
    flooded.Note(kSubFrame, kService, QUrl(QStringLiteral("https://crm.example/%1").arg(i)), false, t);
  EXPECT_TRUE(Names(flooded.Note(kSubFrame, kService, QUrl("https://crm.example/v5.deb"), false, t)).contains("?"));
  // As for origins by the thousand.
  RedirectChains many;
  many.Note(kSubFrame, kService, QUrl("https://partner.example/slow"), false, t);
  for (int i = 0; i < 1100; ++i)
    many.Note(kSubFrame, QUrl(QStringLiteral("https://o%1.example/").arg(i)), QUrl("https://x.example/"), false,
              t + std::chrono::seconds(1));
  const QStringList after = Names(many.Note(kSubFrame, kService, QUrl("https://crm.example/v5.deb"), false,
                                            t + std::chrono::seconds(2)));
  EXPECT_TRUE(after.contains("?") || after.contains("https://partner.example/slow")) << after.join(" ").toStdString();
}

}  // namespace
