#include "browser/find_dialog.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

namespace browser {

namespace {
constexpr int kMaxSearchLength = 79;  // an 80-character buffer with its terminator
}  // namespace

FindDialog::FindDialog(QWidget* owner, std::function<void(const FindEvent&)> on_event)
    : QDialog(owner), on_event_(std::move(on_event)) {
  setWindowTitle(QStringLiteral("Find"));
  setModal(false);
  text_ = new QLineEdit(this);
  text_->setMaxLength(kMaxSearchLength);
  match_case_ = new QCheckBox(QStringLiteral("Match &case"), this);
  auto* up = new QRadioButton(QStringLiteral("&Up"), this);
  down_ = new QRadioButton(QStringLiteral("&Down"), this);
  down_->setChecked(true);
  auto* find_next = new QPushButton(QStringLiteral("&Find Next"), this);
  find_next->setDefault(true);
  auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
  auto* layout = new QGridLayout(this);
  auto* label = new QLabel(QStringLiteral("Fi&nd what:"), this);
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
  connect(cancel, &QPushButton::clicked, this, &QDialog::close);
}

void FindDialog::FindNext() {
  FindEvent event;
  event.text = text_->text().toStdU16String();
  event.match_case = match_case_->isChecked();
  event.forward = down_->isChecked();
  on_event_(event);
}

void FindDialog::closeEvent(QCloseEvent* event) {
  FindEvent closed;
  closed.dialog_closed = true;
  on_event_(closed);
  QDialog::closeEvent(event);
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
