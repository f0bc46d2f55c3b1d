#include "browser/window_controls.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPointer>
#include <QStyle>
#include <QVBoxLayout>

#include "env/product.h"
#include "platform/system_language.h"

namespace browser {

const ControlTexts& ControlTextsFor(uint16_t lang_id) {
  static constexpr ControlTexts kEnglish{"&File", "&Find...", "E&xit", "&Help", "&About ...", "About",
                                         "Back", "Forward", "Reload", "Stop"};
  static constexpr ControlTexts kSimplifiedChinese{"文件(&F)", "查找(&F)...", "退出(&X)", "帮助(&H)", "关于(&A)...",
                                                   "关于", "后退", "前进", "刷新", "停止"};
  static constexpr ControlTexts kTraditionalChinese{"檔案(&F)", "尋找(&F)...", "結束(&X)", "說明(&H)", "關於(&A)...",
                                                    "關於", "上一頁", "下一頁", "重新整理", "停止"};
  switch (platform::UiScriptFor(lang_id)) {
    case platform::UiScript::kSimplifiedChinese: return kSimplifiedChinese;
    case platform::UiScript::kTraditionalChinese: return kTraditionalChinese;
    case platform::UiScript::kEnglish: break;
  }
  return kEnglish;
}

void ShowAboutDialog(QWidget* owner) {
  // On the heap: its owner may go while the dialog is open, taking it along.
  QPointer<QDialog> about = new QDialog(owner);
  about->setWindowTitle(QString::fromUtf8(ControlTextsFor(platform::SystemDefaultLangId()).about_title));
  auto* layout = new QVBoxLayout(about);
  auto* icon = new QLabel(about);
  icon->setPixmap(about->style()->standardIcon(QStyle::SP_MessageBoxInformation).pixmap(32, 32));
  layout->addWidget(icon);
  const QString version = QStringLiteral("版本 %1").arg(QString::fromLatin1(env::PRODUCT_VERSION));
  layout->addWidget(new QLabel(QString::fromUtf8(env::PRODUCT_NAME), about));
  layout->addWidget(new QLabel(version, about));
  // Read by a screen reader, which skips loose Chinese text.
  about->setAccessibleDescription(QString::fromUtf8(env::PRODUCT_NAME) + QStringLiteral("，") + version);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, about);
  QObject::connect(buttons, &QDialogButtonBox::accepted, about, &QDialog::accept);
  layout->addWidget(buttons);
  about->exec();
  delete about.data();
}

}  // namespace browser
