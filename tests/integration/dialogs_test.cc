// The client's own dialogs with the keyboard alone, in the real widgets.
#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <vector>

#include "browser/find_dialog.h"
#include "test_helpers.h"

namespace {

using browser::FindDialog;
using browser::FindEvent;

// Every way out of the find dialog ends the search once: Escape (which
// never reaches a close event), Cancel, and the title bar's close.
TEST(FindDialog, EveryWayOutEndsTheSearchOnce) {
  const std::vector<std::function<void(FindDialog&)>> ways = {
      [](FindDialog& dialog) {
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QApplication::sendEvent(dialog.focusWidget() ? dialog.focusWidget() : &dialog, &escape);
      },
      [](FindDialog& dialog) {
        for (auto* button : dialog.findChildren<QPushButton*>())
          if (button->text() == QStringLiteral("取消") || button->text() == QStringLiteral("Cancel")) button->click();
      },
      [](FindDialog& dialog) { dialog.close(); },
  };
  for (size_t way = 0; way < ways.size(); ++way) {
    SCOPED_TRACE(way);
    int closed = 0;
    int searches = 0;
    FindDialog dialog(nullptr, [&](const FindEvent& event) { event.dialog_closed ? ++closed : ++searches; });
    dialog.show();
    // The focus starts in the field: typing searches at once.
    ASSERT_TRUE(WaitFor([&] { return dialog.isVisible() && dialog.focusWidget(); }));
    EXPECT_TRUE(qobject_cast<QLineEdit*>(dialog.focusWidget()));
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(dialog.focusWidget(), &enter);
    EXPECT_EQ(searches, 1) << "Enter is the default button's";
    ways[way](dialog);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(closed, 1);
  }
}

}  // namespace
