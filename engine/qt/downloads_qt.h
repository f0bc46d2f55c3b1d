#ifndef ENGINE_QT_DOWNLOADS_QT_H_
#define ENGINE_QT_DOWNLOADS_QT_H_

class QWebEngineProfile;

namespace engine {

// Hands the downloads of |profile|'s pages to their browsers' clients.
void ConnectDownloads(QWebEngineProfile* profile);

}  // namespace engine

#endif  // ENGINE_QT_DOWNLOADS_QT_H_
