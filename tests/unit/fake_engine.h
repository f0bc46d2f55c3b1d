#ifndef TESTS_UNIT_FAKE_ENGINE_H_
#define TESTS_UNIT_FAKE_ENGINE_H_

#include <string>
#include <vector>

#include "engine/engine.h"

// Records what the product asks of a browser and its main frame.
class FakeFrame : public engine::Frame {
 public:
  bool IsMain() const override { return main; }
  std::string GetURL() const override { return url; }
  void LoadURL(const std::string& target) override { loaded_urls.push_back(target); }
  void LoadString(const std::u16string& html, const std::string& address) override {
    loaded_html = html;
    loaded_html_url = address;
  }
  void ExecuteJavaScript(const std::u16string& code, const std::string&, int) override { scripts.push_back(code); }
  void EvaluateJavaScript(const std::u16string& code, std::function<void(bool)> done) override {
    scripts.push_back(code);
    evaluations.push_back(std::move(done));
  }
  void GetText(std::function<void(const std::u16string&)> visitor) override { visitor(loaded_html); }

  bool main = true;
  std::string url;
  std::vector<std::string> loaded_urls;
  std::u16string loaded_html;
  std::string loaded_html_url;
  std::vector<std::u16string> scripts;
  std::vector<std::function<void(bool)>> evaluations;  // answered by the test
};

class FakeBrowser : public engine::Browser, public engine::BrowserControl {
 public:
  explicit FakeBrowser(int id = 1) : frame(std::make_shared<FakeFrame>()), id_(id) {}
  int GetIdentifier() const override { return id_; }
  std::shared_ptr<engine::Frame> GetMainFrame() override { return frame; }
  engine::BrowserControl* GetHost() override { return this; }
  bool CanGoBack() const override { return false; }
  bool CanGoForward() const override { return false; }
  void GoBack() override {}
  void GoForward() override {}
  void Reload() override { ++reloads; }
  void StopLoad() override {}
  void CloseBrowser(bool) override {}
  void SetFocus(bool) override {}
  QWidget* GetWindowHandle() const override { return nullptr; }
  void Find(int, const std::u16string&, bool, bool, bool) override {}
  void StopFinding(bool) override {}
  void ClearHttpCache() override { ++cache_clears; }
  void ShowDevTools(const engine::WindowInfo&, std::shared_ptr<engine::Client>, const engine::BrowserSettings&) override {
    ++devtools_opened;
  }

  int reloads = 0;
  int devtools_opened = 0;
  int cache_clears = 0;
  std::shared_ptr<FakeFrame> frame;

 private:
  int id_;
};

class FakeRequest : public engine::Request {
 public:
  std::string GetURL() const override { return url; }
  engine::ResourceType GetResourceType() const override { return type; }
  std::string GetInitiator() const override { return initiator; }
  void GetHeaderMap(HeaderMap& out) const override { out = headers; }
  void SetHeaderMap(const HeaderMap& in) override { headers = in; }
  std::string url = "https://other.example/x.js";
  engine::ResourceType type = engine::RT_SCRIPT;
  std::string initiator = "https://crm.example";
  HeaderMap headers;
};

class FakeMenuModel : public engine::ContextMenuModel {
 public:
  bool Clear() override {
    items = 0;
    return true;
  }
  size_t GetCount() const override { return items; }
  size_t items = 5;
};

#endif  // TESTS_UNIT_FAKE_ENGINE_H_
