#include "browser/find_dialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "platform/system_language.h"

namespace browser {

namespace {

constexpr int kMaxSearchLength = 79;  // an 80-character buffer with its terminator

constexpr FindDialogTexts kEnglish{"Find", "Fi&nd what:", "Match &case", "&Up", "&Down", "&Find Next", "Cancel"};
constexpr FindDialogTexts kSimplifiedChinese{"查找",   "查找内容(&N):",  "区分大小写(&C)", "向上(&U)",
                                             "向下(&D)", "查找下一个(&F)", "取消"};
constexpr FindDialogTexts kTraditionalChinese{"尋找",   "尋找目標(&N):", "大小寫須相符(&C)", "向上(&U)",
                                              "向下(&D)", "找下一個(&F)", "取消"};

}  // namespace

const FindDialogTexts& FindDialogTextsFor(uint16_t lang_id) {
  switch (platform::UiScriptFor(lang_id)) {
    case platform::UiScript::kSimplifiedChinese: return kSimplifiedChinese;
    case platform::UiScript::kTraditionalChinese: return kTraditionalChinese;
    case platform::UiScript::kEnglish: break;
  }
  return kEnglish;
}

FindDialog::FindDialog(QWidget* owner, std::function<void(const FindEvent&)> on_event)
    : QDialog(owner), on_event_(std::move(on_event)) {
  const FindDialogTexts& texts = FindDialogTextsFor(platform::SystemDefaultLangId());
  setWindowTitle(QString::fromUtf8(texts.title));
  setModal(false);
  text_ = new QLineEdit(this);
  text_->setMaxLength(kMaxSearchLength);
  match_case_ = new QCheckBox(QString::fromUtf8(texts.match_case), this);
  auto* up = new QRadioButton(QString::fromUtf8(texts.up), this);
  down_ = new QRadioButton(QString::fromUtf8(texts.down), this);
  down_->setChecked(true);
  auto* find_next = new QPushButton(QString::fromUtf8(texts.find_next), this);
  find_next->setDefault(true);
  auto* cancel = new QPushButton(QString::fromUtf8(texts.cancel), this);
  auto* layout = new QGridLayout(this);
  auto* label = new QLabel(QString::fromUtf8(texts.find_what), this);
  // Without a buddy the label shows its "&" instead of a mnemonic.
  label->setBuddy(text_);
  layout->addWidget(label, 0, 0);
  layout->addWidget(text_, 0, 1, 1, 2);
  layout->addWidget(find_next, 0, 3);
  layout->addWidget(match_case_, 1, 0);
  layout->addWidget(up, 1, 1);
  layout->addWidget(down_, 1, 2);
  layout->addWidget(cancel, 1, 3);
  connect(find_next, &QPushButton::clicked, this, &FindDialog::FindNext);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  text_->setFocus();
  // Escape, Cancel and the title bar's close all end here; Escape never
  // reaches closeEvent.
  connect(this, &QDialog::finished, this, [this] {
    FindEvent closed;
    closed.dialog_closed = true;
    on_event_(closed);
  });
}

void FindDialog::FindNext() {
  FindEvent event;
  event.text = text_->text().toStdU16String();
  event.match_case = match_case_->isChecked();
  event.forward = down_->isChecked();
  on_event_(event);
}

void FindState::Handle(const FindEvent& event, const Actions& actions) {
  if (event.dialog_closed) {
    actions.stop(true);
    last_text_.clear();
    find_next_ = false;
    return;
  }
  if (event.match_case != last_match_case_ || event.text != last_text_) {
    if (!event.text.empty()) actions.stop(true);
    last_match_case_ = event.match_case;
    last_text_ = event.text;
  }
  actions.find(event.text, event.forward, event.match_case, find_next_);
  find_next_ = true;
}

}  // namespace browser
