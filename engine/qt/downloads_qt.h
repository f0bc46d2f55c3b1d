#ifndef ENGINE_QT_DOWNLOADS_QT_H_
#define ENGINE_QT_DOWNLOADS_QT_H_

class QWebEngineProfile;
class QWebEngineUrlRequestInfo;

namespace engine {

// Hands the downloads of |profile|'s pages to their browsers' clients.
void ConnectDownloads(QWebEngineProfile* profile);

// Remembers a while which frame loaded which address and at whose request,
// so that a download can be traced to the navigation it came from. Called
// by the request interceptors (UI thread).
void NoteFrameNavigation(const QWebEngineUrlRequestInfo& info);

}  // namespace engine

#endif  // ENGINE_QT_DOWNLOADS_QT_H_
