#include "browser/download_notice.h"

#include <QDialog>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>

#include "browser/util_win.h"

namespace browser {

void ShowDownloadCompleteNotice(QWidget* parent) {
  auto* notice = new QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                                         Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
  notice->setObjectName(QStringLiteral("downloadNotice"));
  notice->setAttribute(Qt::WA_DeleteOnClose);
  notice->setAttribute(Qt::WA_ShowWithoutActivating);
  notice->setWindowTitle(QStringLiteral("文件下载"));
  QFont font = notice->font();
  font.setFamilies({QStringLiteral("SimSun"), QStringLiteral("宋体"), font.family()});
  font.setPointSize(12);
  notice->setFont(font);
  const QFontMetrics metrics(font);
  notice->setFixedSize(DialogUnitsToPixels(metrics, 0, 0, 121, 52).size());
  auto* text = new QLabel(QStringLiteral("文件下载完成"), notice);
  text->setAlignment(Qt::AlignCenter);
  text->setGeometry(DialogUnitsToPixels(metrics, 36, 12, 50, 14).adjusted(-20, 0, 20, 0));
  auto* ok = new QPushButton(QStringLiteral("确定"), notice);
  ok->setDefault(true);
  ok->setGeometry(DialogUnitsToPixels(metrics, 44, 29, 34, 14));
  QObject::connect(ok, &QPushButton::clicked, notice, &QDialog::accept);
  if (parent) {
    const QRect frame = parent->frameGeometry();
    notice->move(frame.left() + (frame.width() - notice->width()) / 2,
                 frame.top() + (frame.height() - notice->height()) / 2);
  }
  notice->show();
}

}  // namespace browser
