#ifndef ENGINE_QT_REQUEST_QT_H_
#define ENGINE_QT_REQUEST_QT_H_

#include <QWebEngineUrlRequestInfo>
#include <string>

#include "engine/engine.h"

namespace engine {

// A request as the client sees it.
class QtRequest : public Request {
 public:
  explicit QtRequest(QWebEngineUrlRequestInfo& info) : info_(info) {}
  std::string GetURL() const override { return info_.requestUrl().toString().toStdString(); }
  ResourceType GetResourceType() const override { return static_cast<ResourceType>(info_.resourceType()); }
  std::string GetInitiator() const override { return info_.initiator().toString().toStdString(); }
  // Qt 6.4 does not show the request's own headers here; they are kept
  // as they are, and SetHeaderMap only adds or replaces the names it gets.
  void GetHeaderMap(HeaderMap& headers) const override { headers.clear(); }
  void SetHeaderMap(const HeaderMap& headers) override {
    for (const auto& [name, value] : headers)
      info_.setHttpHeader(QByteArray::fromStdString(name), QByteArray::fromStdString(value));
  }

 private:
  QWebEngineUrlRequestInfo& info_;
};

}  // namespace engine

#endif  // ENGINE_QT_REQUEST_QT_H_
