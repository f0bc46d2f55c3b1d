#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <regex>
#include <string>
#include <vector>

#include "telephony/page_calls.h"
#include "env/service_origin.h"
#include "telephony/call_ring.h"

namespace {

using Clock = telephony::PageCalls::Clock;

// The main frame as the queue sees it: each script it is asked to run
// waits for the test's answer.
struct FakePage : telephony::CallPage {
  struct Run {
    std::string script;
    std::function<void(bool)> done;
  };
  std::string origin = "https://crm.example.com";
  bool service = true;
  std::vector<Run> runs;
  int retries_asked = 0;
  std::vector<std::string> log;
  std::vector<std::string> calls_came;
  Clock::time_point now{};

  std::string ServiceOrigin() const override { return origin; }
  bool ShowsService() const override { return service; }
  void Run(const std::u16string& script, std::function<void(bool)> done) override {
    runs.push_back({std::string(script.begin(), script.end()), std::move(done)});
  }
  void RetryLater() override { ++retries_asked; }
  void CallCame(const std::string& number) override { calls_came.push_back(number); }
  void Log(const std::string& line) override { log.push_back(line); }
  std::function<Clock::time_point()> Now() {
    return [this] { return now; };
  }
  // The numbers a script hands to phoneCall, in its order.
  static std::vector<std::string> Numbers(const std::string& script) {
    std::vector<std::string> numbers;
    const std::regex call(R"re(phoneCall\("([^"]*)"\))re");
    for (auto it = std::sregex_iterator(script.begin(), script.end(), call); it != std::sregex_iterator(); ++it)
      numbers.push_back((*it)[1]);
    return numbers;
  }
  static std::vector<std::string> Serials(const std::string& script) {
    std::vector<std::string> serials;
    const std::regex ran(R"re(ran\[(\d+)\] = true)re");
    for (auto it = std::sregex_iterator(script.begin(), script.end(), ran); it != std::sregex_iterator(); ++it)
      serials.push_back((*it)[1]);
    return serials;
  }
  bool Logged(const std::string& text) const {
    for (const std::string& line : log)
      if (line.find(text) != std::string::npos) return true;
    return false;
  }
};

std::u16string Call(const std::string& number) {
  const std::string script = "phoneCall(\"" + number + "\");";
  return std::u16string(script.begin(), script.end());
}

using Numbers = std::vector<std::string>;

TEST(PageCalls, ReadyPageGetsEachCallAtOnceOnlyInTheServicesDocument) {
  FakePage page;
  telephony::PageCalls calls(page, page.Now());
  calls.Add(Call("1001"), 8);
  calls.Add(Call("1002"), 8);
  ASSERT_EQ(page.runs.size(), 2u);
  EXPECT_EQ(FakePage::Numbers(page.runs[0].script), Numbers{"1001"});
  // The script itself checks where it runs: a navigation may come between.
  EXPECT_NE(page.runs[0].script.find("location.origin !== \"https://crm.example.com\""), std::string::npos);
  EXPECT_NE(page.runs[0].script.find("typeof phoneCall !== 'function'"), std::string::npos);
  page.runs[0].done(true);
  page.runs[1].done(true);
  EXPECT_EQ(calls.waiting(), 0u);
  EXPECT_FALSE(page.Logged("held"));
}

// A ring's announcement, read by the main window, is one call for the
// page and one for the user; read again, or after its slot was reused,
// it is neither.
TEST(PageCalls, EachAnnouncedRingIsOneCallForThePageAndTheUser) {
  FakePage page;
  telephony::PageCalls calls(page, page.Now());
  const uint64_t first = telephony::GetLandlineCallTable().Store(5, "13800138000", 11);
  calls.Ring(telephony::CALL_SOURCE_LANDLINE, telephony::CallAnnouncement(5, first));
  calls.Ring(telephony::CALL_SOURCE_LANDLINE, telephony::CallAnnouncement(5, first));
  const uint64_t stale = telephony::GetMobileCallTable().Store(6, "139", 3);
  telephony::GetMobileCallTable().Store(6, "137", 3);
  calls.Ring(telephony::CALL_SOURCE_MOBILE, telephony::CallAnnouncement(6, stale));
  ASSERT_EQ(page.runs.size(), 1u);
  EXPECT_EQ(FakePage::Numbers(page.runs[0].script), Numbers{"13800138000"});
  EXPECT_EQ(page.calls_came, Numbers{"13800138000"});
  EXPECT_EQ(telephony::SpokenCallNotice("13800138000"), "来电 13800138000");
  EXPECT_EQ(telephony::SpokenCallNotice(""), "来电");  // a withheld number: no dangling space
}

TEST(PageCalls, CallsRefusedByANewDocumentComeAgainInOrderWithTheOnesBehindThem) {
  FakePage page;
  telephony::PageCalls calls(page, page.Now());
  calls.Add(Call("1"), 8);
  calls.Add(Call("2"), 8);
  // A reload: the new document has no phoneCall yet and refuses both.
  page.runs[0].done(false);
  page.runs[1].done(false);
  EXPECT_TRUE(page.Logged("calls held: the page has no phoneCall yet"));
  EXPECT_EQ(page.retries_asked, 1);
  // Later calls wait behind the held ones, not past them.
  calls.Add(Call("3"), 8);
  EXPECT_EQ(page.runs.size(), 2u);
  calls.Retry();
  ASSERT_EQ(page.runs.size(), 3u);
  EXPECT_EQ(FakePage::Numbers(page.runs[2].script), (Numbers{"1", "2", "3"}));
  // Still not ready: held again, asked again a little later.
  page.runs[2].done(false);
  calls.Retry();
  ASSERT_EQ(page.runs.size(), 4u);
  EXPECT_EQ(FakePage::Numbers(page.runs[3].script), (Numbers{"1", "2", "3"}));
  // The held ones skip the refusal mark the document set; straight calls heed it.
  EXPECT_EQ(page.runs[3].script.find("__veltroCallsHeld__ === true"), std::string::npos);
  EXPECT_NE(page.runs[0].script.find("__veltroCallsHeld__ === true"), std::string::npos);
  calls.Add(Call("4"), 8);  // comes while the held ones are on their way
  page.runs[3].done(true);
  EXPECT_TRUE(page.Logged("held calls delivered: 3"));
  ASSERT_EQ(page.runs.size(), 5u);
  EXPECT_EQ(FakePage::Numbers(page.runs[4].script), Numbers{"4"});
  page.runs[4].done(true);
  EXPECT_EQ(calls.waiting(), 0u);
  // Back to straight delivery.
  calls.Add(Call("5"), 8);
  ASSERT_EQ(page.runs.size(), 6u);
  EXPECT_NE(page.runs[5].script.find("__veltroCallsHeld__ === true"), std::string::npos);
}

TEST(PageCalls, PageDownAndAnotherSiteHoldCallsUntilTheServiceCanTakeThem) {
  FakePage page;
  telephony::PageCalls calls(page, page.Now());
  calls.Add(Call("1"), 8);
  ASSERT_EQ(page.runs.size(), 1u);
  page.runs[0].done(true);

  // Another site in the main window: nothing goes there, and only the
  // ring's eight latest wait.
  page.service = false;
  for (int i = 0; i < 10; ++i) calls.Add(Call("2" + std::to_string(i)), 8);
  EXPECT_EQ(page.runs.size(), 1u);
  EXPECT_TRUE(page.Logged("calls held: the main window shows another site"));
  EXPECT_TRUE(page.Logged("calls lost while the page could not take them: 1"));
  EXPECT_EQ(calls.waiting(), 8u);
  page.service = true;
  calls.Retry();
  ASSERT_EQ(page.runs.size(), 2u);
  EXPECT_EQ(FakePage::Numbers(page.runs[1].script),
            (Numbers{"22", "23", "24", "25", "26", "27", "28", "29"}));
  page.runs[1].done(true);

  // The renderer ended: the same, until its page is back.
  calls.SetPageUp(false);
  calls.Add(Call("31"), 8);
  EXPECT_TRUE(page.Logged("calls held: the page is down"));
  EXPECT_EQ(page.runs.size(), 2u);
  calls.SetPageUp(true);
  ASSERT_EQ(page.runs.size(), 3u);
  EXPECT_EQ(FakePage::Numbers(page.runs[2].script), Numbers{"31"});
}

TEST(PageCalls, NotReadyServicePageKeepsAReloadsWorthAndNoMore) {
  FakePage page;
  telephony::PageCalls calls(page, page.Now());
  calls.Add(Call("0"), 8);
  page.runs[0].done(false);  // no phoneCall yet
  for (size_t i = 1; i < telephony::PageCalls::kMaxHeld + 5; ++i) calls.Add(Call(std::to_string(i)), 8);
  EXPECT_EQ(calls.waiting(), telephony::PageCalls::kMaxHeld);
  EXPECT_TRUE(page.Logged("calls lost while the page could not take them: 1"));
  calls.Retry();
  ASSERT_EQ(page.runs.size(), 2u);
  const Numbers sent = FakePage::Numbers(page.runs[1].script);
  ASSERT_EQ(sent.size(), telephony::PageCalls::kMaxHeld);
  EXPECT_EQ(sent.front(), "5");
}

// A load under way: the finished document it replaces never takes a
// call; the one the load made does as soon as it exists, while a slow
// resource keeps the load going. A name that could break the script is
// not taken.
TEST(PageCalls, DuringALoadOnlyTheDocumentItMadeTakesCalls) {
  FakePage page;
  telephony::PageCalls calls(page, page.Now());
  calls.SetNewestDocument("old1");  // before the load: not the load's
  calls.SetLoading(true);
  calls.Add(Call("1"), 8);
  EXPECT_TRUE(page.runs.empty());
  EXPECT_TRUE(page.Logged("calls held: the page is loading"));
  calls.SetNewestDocument("x\"+alert(1)+\"");
  calls.SetNewestDocument(std::string(65, 'a'));
  calls.Retry();
  EXPECT_TRUE(page.runs.empty());
  calls.SetNewestDocument("k3x9q");
  ASSERT_EQ(page.runs.size(), 1u);
  EXPECT_NE(page.runs[0].script.find("w.__veltroDocument !== \"k3x9q\""), std::string::npos);
  page.runs[0].done(true);
  calls.Add(Call("2"), 8);  // straight to it
  ASSERT_EQ(page.runs.size(), 2u);
  EXPECT_EQ(FakePage::Numbers(page.runs[1].script), Numbers{"2"});
  page.runs[1].done(true);
  EXPECT_EQ(calls.waiting(), 0u);
  // Loaded: no document check; the next load forgets the name.
  calls.SetLoading(false);
  calls.Add(Call("3"), 8);
  ASSERT_EQ(page.runs.size(), 3u);
  EXPECT_EQ(page.runs[2].script.find("__veltroDocument"), std::string::npos);
  calls.SetLoading(true);
  calls.Add(Call("4"), 8);
  EXPECT_EQ(page.runs.size(), 3u);
}

// A held call still waiting when the phone has long stopped ringing never
// reaches the page; younger ones do.
TEST(PageCalls, HeldCallsTooOldToBeRingingAreDropped) {
  FakePage page;
  telephony::PageCalls calls(page, page.Now());
  calls.SetPageUp(false);
  calls.Add(Call("1"), 8);
  page.now += std::chrono::seconds(30);
  calls.Add(Call("2"), 8);
  page.now += telephony::PageCalls::kMaxAge - std::chrono::seconds(29);
  calls.SetPageUp(true);
  ASSERT_EQ(page.runs.size(), 1u);
  EXPECT_EQ(FakePage::Numbers(page.runs[0].script), Numbers{"2"});
  EXPECT_TRUE(page.Logged("calls no longer ringing, not given to the page: 1"));
  // An hour later, the same, after a refusal.
  page.runs[0].done(false);
  page.now += std::chrono::hours(1);
  calls.Retry();
  EXPECT_EQ(page.runs.size(), 1u);
  EXPECT_EQ(calls.waiting(), 0u);
}

TEST(PageCalls, UnansweredCallsGoAgainUnderTheSameSerialSoNoDocumentRunsThemTwice) {
  FakePage page;
  telephony::PageCalls calls(page, page.Now());
  calls.Add(Call("1"), 8);
  ASSERT_EQ(page.runs.size(), 1u);
  EXPECT_EQ(page.retries_asked, 1);  // someone looks for the answer
  calls.Retry();                     // too early: still waiting
  EXPECT_EQ(page.runs.size(), 1u);
  page.now += telephony::PageCalls::kAnswerWait;
  calls.Retry();
  EXPECT_TRUE(page.Logged("calls without an answer from the page: held"));
  ASSERT_EQ(page.runs.size(), 2u);
  EXPECT_EQ(FakePage::Serials(page.runs[1].script), FakePage::Serials(page.runs[0].script));
  // The late answer of the first send changes nothing; the second counts.
  page.runs[0].done(true);
  EXPECT_EQ(calls.waiting(), 1u);
  page.runs[1].done(true);
  EXPECT_EQ(calls.waiting(), 0u);
}

TEST(PageCalls, AnswersAfterTheQueueIsGoneAndUnsafeOriginsAreHarmless) {
  FakePage page;
  {
    telephony::PageCalls calls(page, page.Now());
    calls.Add(Call("1"), 8);
  }
  ASSERT_EQ(page.runs.size(), 1u);
  page.runs[0].done(true);  // the window closed meanwhile

  page.origin = "https://crm.example.com\"+alert(1)+\"";
  telephony::PageCalls calls(page, page.Now());
  calls.Add(Call("2"), 8);
  EXPECT_EQ(page.runs.size(), 1u);
  EXPECT_EQ(calls.waiting(), 1u);
}

TEST(ServiceOrigin, ReadsAsThePageReadsLocationOrigin) {
  EXPECT_EQ(env::WebOrigin("https://CRM.Example.com/client?x=1#y"), "https://crm.example.com");
  EXPECT_EQ(env::WebOrigin("https://crm.example.com:443/"), "https://crm.example.com");
  EXPECT_EQ(env::WebOrigin("http://127.0.0.1:8080/index.html"), "http://127.0.0.1:8080");
  EXPECT_EQ(env::WebOrigin("http://[::1]:81/"), "http://[::1]:81");
  EXPECT_EQ(env::WebOrigin("https://bücher.example/"), "https://xn--bcher-kva.example");
  EXPECT_EQ(env::WebOrigin("file:///tmp/page.html"), "");
  EXPECT_EQ(env::WebOrigin("not a url"), "");
}

}  // namespace
