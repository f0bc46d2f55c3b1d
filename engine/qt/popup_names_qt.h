#ifndef ENGINE_QT_POPUP_NAMES_QT_H_
#define ENGINE_QT_POPUP_NAMES_QT_H_

#include <QString>
#include <QUrl>
#include <QtGlobal>
#include <deque>
#include <string>

namespace engine {

// The names a page gave the windows it opens, reported by the page's
// bootstrap before the engine asks for the window, and matched to it.
class QtPopupNames {
 public:
  // The report: its target name, a line feed, and the address it opens;
  // |origin| is the reporting document's.
  void Push(const QString& report, const QUrl& origin);
  // The target name and reporting origin for a new window on |url|; false
  // when the page reported none (the user asked for a new tab, or a frame
  // kept its report back).
  bool Take(const QUrl& url, std::string& name, std::string& origin);

 private:
  struct Report {
    QString name;
    QUrl url;
    QUrl origin;
    qint64 reported_ms;
  };

  // A report whose window never came (an existing window was reused, the
  // page cancelled the click) expires.
  void DropExpired(qint64 now);

  std::deque<Report> reports_;
};

}  // namespace engine

#endif  // ENGINE_QT_POPUP_NAMES_QT_H_
