#include "engine/qt/bootstrap_script.h"

namespace engine {

QString BootstrapScript() {
  return QStringLiteral(R"JS((function () {
  if (window.__veltroBootstrap) return;
  var define = function (name, value) {
    Object.defineProperty(window, name, { value: value, writable: false, configurable: false });
  };
  define('__veltroBootstrap', true);
  var marker = '\u0001veltro-bridge\u0001';
  // Taken before any page script can replace them.
  var prompt = window.prompt.bind(window), log = console.debug.bind(console);
  // The prompt channel answers, and names this frame's origin; where the
  // engine blocks it (unload handlers, sandboxed frames without modals) a
  // call still gets through, one way, as a console message, and answers
  // null. Any frame can write a console message: this frame's own go with
  // a secret it registered, with its origin, through the prompt channel.
  function secret() {
    return Array.prototype.map.call(crypto.getRandomValues(new Uint32Array(4)), function (n) {
      return n.toString(36);
    }).join('');
  }
  // Registered once: before the frame's first call, or once its document
  // is parsed; not while it is being made, where a prompt is not welcome.
  var oneWayToken = secret() + secret(), registered = false;
  function register() {
    if (registered) return;
    registered = true;
    prompt(marker + 'one-way\n' + oneWayToken);
  }
  document.addEventListener('DOMContentLoaded', register);
  function oneWay(text) { log(marker + 'via\n' + oneWayToken + '\n' + text); }
  function ask(text) {
    register();
    var reply = prompt(text);
    if (reply === null) oneWay(text.substring(marker.length));
    return reply;
  }
  var stringify = JSON.stringify, parse = JSON.parse;
  var isArray = Array.isArray, isInteger = Number.isInteger;
  // The engine cuts prompt texts at about 10 KiB: a longer call goes in
  // parts, put together on the other side before it runs.
  // This frame's own name in the bridge: long calls and query replies.
  var frameToken = secret();
  var partLength = 8192, nextLong = 0;
  function call(command, argument) {
    var text = command + '\n' + argument;
    if (text.length <= partLength) return ask(marker + text);
    var id = frameToken + '-' + (++nextLong);
    for (var start = 0; start < text.length;) {
      var end = Math.min(start + partLength, text.length);
      // Never between the two halves of a surrogate pair.
      var last = text.charCodeAt(end - 1);
      if (end < text.length && last >= 0xD800 && last <= 0xDBFF) --end;
      ask(marker + 'part\n' + id + '\n' + text.substring(start, end));
      start = end;
    }
    return ask(marker + 'end\n' + id);
  }

  function encode(value, depth) {
    if (value === undefined) return { t: 'u' };
    if (value === null) return { t: 'n' };
    switch (typeof value) {
      case 'boolean': return { t: 'b', v: value };
      case 'number':
        return isInteger(value) && value >= -2147483648 && value <= 2147483647 ? { t: 'i', v: value }
                                                                               : { t: 'd', v: value };
      case 'string': return { t: 's', v: value };
    }
    if (isArray(value) && depth < 8) return { t: 'a', v: Array.prototype.map.call(value, function (v) { return encode(v, depth + 1); }) };
    return { t: 'o' };
  }
  function decode(value) {
    switch (value.t) {
      case 'n': return null;
      case 'b': case 'i': case 'd': case 's': return value.v;
      case 'a': return value.v.map(decode);
      default: return undefined;
    }
  }
  // The stub every `native function` declaration of an extension becomes.
  // A call with a one-way answer keeps its last answer here, for that
  // answer to give where no answer comes (an unload handler).
  var lastAnswers = {};
  define('__veltroNative__', function (extension, name, args, oneWay) {
    var encoded = Array.prototype.map.call(args, function (v) { return encode(v, 0); });
    var text = call('native', stringify({ e: extension, n: name, a: encoded }));
    var key = extension + '.' + name;
    if (text === null) {
      if (!oneWay) return undefined;
      var last = lastAnswers[key];
      return oneWay(Array.prototype.slice.call(args), last === undefined ? undefined : decode(parse(last)));
    }
    var reply = parse(text || '{}');
    if (reply.x !== undefined) throw new Error(reply.x);
    if (reply.r === undefined) return undefined;
    if (oneWay) lastAnswers[key] = stringify(reply.r);
    return decode(reply.r);
  });

  // Uncaught exceptions go to the crash log.
  window.addEventListener('error', function (event) {
    call('uncaught-exception', event.message || '');
  });

  // The editability of the focused node.
  function focusReport() {
    var node = document.activeElement;
    if (!node || node === document.body || node === document.documentElement) return 'none';
    var tag = node.tagName;
    var editable = node.isContentEditable ||
        ((tag === 'INPUT' || tag === 'TEXTAREA') && !node.readOnly && !node.disabled);
    return editable ? '1' : '0';
  }
  // One way, never through the prompt: a prompt from a closing popup, whose
  // focus goes as it closes, could hang the renderer it shares with its
  // opener, and with it every call to the main window's page.
  function tell(command, argument) { oneWay(command + '\n' + argument); }
  // The main frame names each document it makes: during a load, calls go
  // only to the one the load made, not to the one it replaces.
  if (window.top === window) {
    var documentName = secret();
    define('__veltroDocument', documentName);
    tell('main-document', documentName);
  }
  document.addEventListener('focusin', function () { tell('focus-node', focusReport()); }, true);
  document.addEventListener('focusout', function () {
    setTimeout(function () { tell('focus-node', focusReport()); }, 0);
  }, true);

  // The message router's page side; no product handler is registered.
  // Replies come to the main frame, which hands those of other frames on
  // to the frames of the origin that asked.
  var queries = {}, nextQuery = 0;
  define('cefQuery', function (request) {
    var id = ++nextQuery;
    queries[id] = request || {};
    call('query', stringify({ id: id, frame: frameToken, request: String(queries[id].request),
                              persistent: !!queries[id].persistent }));
    return id;
  });
  define('cefQueryCancel', function (id) { delete queries[id]; });
  function answer(id, ok, code, text) {
    var query = queries[id];
    if (!query) return;
    if (!query.persistent) delete queries[id];
    if (ok && query.onSuccess) query.onSuccess(text);
    if (!ok && query.onFailure) query.onFailure(code, text);
  }
  define('__veltroQueryReply__', function (frame, id, ok, code, text, origin) {
    if (frame === frameToken) return answer(id, ok, code, text);
    var reply = {};
    reply[marker] = [frame, id, ok, code, text];
    (function handOn(parent) {
      for (var i = 0; i < parent.length; i++) {
        try { parent[i].postMessage(reply, origin); } catch (e) {}
        handOn(parent[i]);
      }
    })(window);
  });
  window.addEventListener('message', function (event) {
    var reply = event.data && event.data[marker];
    // Only the main frame hands replies on.
    if (event.source !== window.top || !isArray(reply) || reply[0] !== frameToken) return;
    answer(reply[1], reply[2], reply[3], reply[4]);
  });

  // A press on a draggable region (-webkit-app-region: drag, not inside a
  // no-drag one) moves the window.
  document.addEventListener('mousedown', function (event) {
    if (event.button !== 0 || event.detail > 1) return;
    for (var node = event.target; node && node.nodeType === 1; node = node.parentElement) {
      var region = getComputedStyle(node).getPropertyValue('-webkit-app-region');
      if (region === 'no-drag') return;
      if (region === 'drag') {
        event.preventDefault();
        call('start-move', '');
        return;
      }
    }
  }, true);

  // A sub-frame whose load failed shows the engine's error page; the
  // client decides what it shows instead. What failed is known only to
  // this world; the error-page script of a world of its own asks.
  if (location.protocol === 'chrome-error:' && window !== window.top) {
    document.addEventListener('DOMContentLoaded', function () {
      // Chromium 122 keeps the page's values in loadTimeDataRaw until its
      // own script hands them to loadTimeData; Chromium 102 has them there.
      var raw = null;
      try { raw = loadTimeDataRaw; } catch (e) {}
      function value(name) {
        if (raw) return raw[name];
        try { return loadTimeData.getValue(name); } catch (e) { return undefined; }
      }
      var root = document.documentElement, summary = value('summary');
      var code = value('errorCode') || '', url = (summary && summary.failedUrl) || '';
      root.setAttribute('data-veltro-error', code + '\n' + url);
      document.dispatchEvent(new Event('veltro-frame-error'));
    });
  }

  // The target name of each new window, for its geometry, with the address
  // it opens so that the report meets its own window.
  function reportName(name, url) {
    var href = '';
    try {
      href = new URL(url === undefined || url === null || url === '' ? 'about:blank' : String(url),
                     document.baseURI).href;
    } catch (e) {}
    call('popup-name', (name === undefined || name === null ? '' : String(name)) + '\n' + href);
  }
  var open = window.open;
  window.open = function (url, name) {
    reportName(name, url);
    return open.apply(this, arguments);
  };
  function targetOf(element) {
    var base = document.querySelector('base[target]');
    return element.getAttribute('target') || (base ? base.getAttribute('target') : '') || '';
  }
  // A plain click on a link with a target opens a popup; modified and
  // middle clicks open new tabs and are not reported.
  function reportTarget(target, url) {
    if (!target || /^_(self|top|parent)$/i.test(target)) return;
    reportName(/^_blank$/i.test(target) ? '' : target, url);
  }
  document.addEventListener('click', function (event) {
    if (event.button !== 0 || event.ctrlKey || event.shiftKey || event.metaKey || event.altKey) return;
    var link = event.target && event.target.closest ? event.target.closest('a[href], area[href]') : null;
    if (link) reportTarget(targetOf(link), link.href);
  }, true);
  document.addEventListener('submit', function (event) {
    var form = event.target;
    if (form && form.getAttribute) reportTarget(targetOf(form), form.action);
  }, true);
})();
)JS");
}

QString ErrorPageScript(const QString& token) {
  return QStringLiteral(R"JS((function () {
  if (location.protocol !== 'chrome-error:' || window === window.top) return;
  var marker = '\u0001veltro-bridge\u0001', token = '%1';
  document.addEventListener('veltro-frame-error', function () {
    var failure = String(document.documentElement.getAttribute('data-veltro-error') || '');
    var reply = String(prompt(marker + 'frame-load-error\n' + token + '\n' + failure) || '');
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
})();
)JS").arg(token);
}

}  // namespace engine
