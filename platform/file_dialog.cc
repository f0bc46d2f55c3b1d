#include "platform/file_dialog.h"

#include <QFileDialog>

namespace platform {

std::string AskSaveFilePath(const SaveFileRequest& request) {
  QFileDialog dialog(nullptr, QString(), QString::fromStdString(request.folder), QString::fromStdString(request.filter));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  // Qt's own dialog, translated with the rest of the program.
  dialog.setOption(QFileDialog::DontUseNativeDialog);
  dialog.selectFile(QString::fromStdString(request.file_name));
  if (!request.default_suffix.empty()) dialog.setDefaultSuffix(QString::fromStdString(request.default_suffix));
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::string();
  return dialog.selectedFiles().first().toStdString();
}

}  // namespace platform
