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
