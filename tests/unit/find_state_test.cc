#include <gtest/gtest.h>

#include <vector>

#include "browser/find_dialog.h"
#include "platform/system_language.h"

namespace {

struct Call {
  std::string what;
  std::u16string text;
  bool flag = false;  // find: find_next; stop: clear_selection
};

TEST(FindState, NewTextRestartsUnchangedTextContinues) {
  std::vector<Call> calls;
  browser::FindState::Actions actions{
      [&](const std::u16string& text, bool, bool, bool find_next) { calls.push_back({"find", text, find_next}); },
      [&](bool clear) { calls.push_back({"stop", u"", clear}); }};
  browser::FindState state;
  auto next = [&](std::u16string text, bool match_case) {
    browser::FindEvent event;
    event.text = std::move(text);
    event.match_case = match_case;
    state.Handle(event, actions);
  };

  next(u"abc", false);  // a new text: stop the old search, then find
  next(u"abc", false);  // the same: continue
  next(u"abc", true);   // case changed: a new search
  next(u"", true);      // empty text never stops anything first
  ASSERT_EQ(calls.size(), 6u);
  EXPECT_EQ(calls[0].what, "stop");
  EXPECT_EQ(calls[1].what, "find");
  EXPECT_FALSE(calls[1].flag);
  EXPECT_EQ(calls[2].what, "find");
  EXPECT_TRUE(calls[2].flag);
  EXPECT_EQ(calls[3].what, "stop");
  EXPECT_EQ(calls[4].what, "find");
  EXPECT_EQ(calls[5].what, "find");
  EXPECT_EQ(calls[5].text, u"");

  browser::FindEvent closed;
  closed.dialog_closed = true;
  state.Handle(closed, actions);
  EXPECT_EQ(calls.back().what, "stop");
  EXPECT_TRUE(calls.back().flag);
  calls.clear();
  next(u"abc", true);  // after closing the last text is forgotten
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].what, "stop");
  EXPECT_FALSE(calls[1].flag);
}

}  // namespace

// The system dialog comes in the system's language; so does ours.
TEST(FindDialogTexts, FollowTheSystemLanguage) {
  const auto title = [](const char* locale) {
    return std::string(browser::FindDialogTextsFor(platform::LangIdFromLocaleName(locale)).title);
  };
  EXPECT_EQ(title("zh_CN.UTF-8"), "查找");
  EXPECT_EQ(title("zh_SG"), "查找");
  EXPECT_EQ(title("zh"), "查找");
  EXPECT_EQ(title("zh_TW.UTF-8"), "尋找");
  EXPECT_EQ(title("zh_HK"), "尋找");
  EXPECT_EQ(title("zh_MO"), "尋找");
  EXPECT_EQ(title("en_US.UTF-8"), "Find");
  EXPECT_EQ(title("ja_JP"), "Find");
  EXPECT_EQ(title("C"), "Find");
  EXPECT_EQ(std::string(browser::FindDialogTextsFor(0x0804).find_what), "查找内容(&N):");
}
