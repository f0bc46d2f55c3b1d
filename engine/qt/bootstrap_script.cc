#include "engine/qt/bootstrap_script.h"

namespace engine {

QString BootstrapScript() {
  return QStringLiteral(R"JS((function () {
  if (window.__veltroBootstrap) return;
  Object.defineProperty(window, '__veltroBootstrap', { value: true });
  var marker = '\u0001veltro-bridge\u0001';
  var ask = window.prompt.bind(window);
  function report(name) {
    try { ask(marker + 'popup-name\n' + (name === undefined || name === null ? '' : String(name))); } catch (e) {}
  }
  // A sub-frame whose load failed shows the engine's error page; the
  // client decides what it shows instead.
  if (location.protocol === 'chrome-error:' && window !== window.top) {
    document.addEventListener('DOMContentLoaded', function () {
      var code = '', url = '';
      try { code = loadTimeData.getValue('errorCode'); } catch (e) {}
      try { url = loadTimeData.getValue('summary').failedUrl || ''; } catch (e) {}
      var reply = String(ask(marker + 'frame-load-error\n' + code + '\n' + url) || '');
      var newline = reply.indexOf('\n');
      var kind = reply.substring(0, newline), body = reply.substring(newline + 1);
      if (kind === 'html') {
        document.open();
        document.write(body);
        document.close();
      } else if (kind === 'url') {
        location.href = body;
      }
    });
  }
  var open = window.open;
  window.open = function (url, name) {
    report(name);
    return open.apply(this, arguments);
  };
  document.addEventListener('click', function (event) {
    var link = event.target && event.target.closest ? event.target.closest('a[target]') : null;
    if (!link) return;
    var target = link.getAttribute('target');
    if (target && !/^_(self|top|parent|blank)$/i.test(target)) report(target);
  }, true);
})();)JS");
}

}  // namespace engine
