#ifndef BROWSER_DOWNLOAD_NOTICE_H_
#define BROWSER_DOWNLOAD_NOTICE_H_

class QWidget;

namespace browser {

// "文件下载完成" over |parent|, centred, shown without taking the focus;
// it deletes itself when closed. One per completed download.
void ShowDownloadCompleteNotice(QWidget* parent);

}  // namespace browser

#endif  // BROWSER_DOWNLOAD_NOTICE_H_
