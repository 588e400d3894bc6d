// 클라이언트 연동 공통 함수: window.external 호출과 화면 기록.
(function (global) {
  'use strict';

  function text(value) {
    return typeof value === 'string' ? value : JSON.stringify(value);
  }

  function logLine(kind, line) {
    var box = document.getElementById('log');
    if (!box) { return; }
    var div = document.createElement('div');
    div.className = kind;
    var now = new Date();
    div.textContent = now.toTimeString().slice(0, 8) + ' ' + line;
    box.appendChild(div);
    while (box.childNodes.length > 200) { box.removeChild(box.firstChild); }
    box.scrollTop = box.scrollHeight;
  }

  // 클라이언트 메서드를 부른다. 클라이언트 밖(일반 브라우저)에서는 기록만 남긴다.
  function call(name, arg) {
    var ext = global.external;
    var argText = arg === undefined ? undefined : text(arg);
    if (!ext || typeof ext[name] !== 'function') {
      logLine('out', '→ ' + name + ' (클라이언트 없음) ' + (argText || ''));
      return undefined;
    }
    var result = argText === undefined ? ext[name]() : ext[name](argText);
    logLine('out', '→ ' + name + ' ' + (argText || '') + (result !== undefined ? ' ⇒ ' + text(result) : ''));
    return result;
  }

  function received(name, arg) {
    logLine('in', '← ' + name + ' ' + (arg === undefined ? '' : arg));
  }

  function parse(textValue) {
    try { return JSON.parse(textValue); } catch (e) { return null; }
  }

  function pad(n) { return (n < 10 ? '0' : '') + n; }
  function nowText() {
    var d = new Date();
    return d.getFullYear() + '-' + pad(d.getMonth() + 1) + '-' + pad(d.getDate()) + ' ' +
      pad(d.getHours()) + ':' + pad(d.getMinutes()) + ':' + pad(d.getSeconds());
  }

  var CALL_STATES = {
    0: '발신 준비', 1: '문자 수신', 101: '전화 수신 중', 102: '수신 대기', 109: '돌려주기 수신',
    111: '수신 알림', 200: '통화 연결됨', 201: '발신 연결 중', 202: '상대방 통화 중',
    203: '응답 없음', 204: '수신 거절', 291: '통화 종료', 404: '부재중 전화', 405: '통화 실패',
    407: 'ARS 안내 중'
  };

  global.Orvanta = {
    call: call, received: received, log: logLine, parse: parse, nowText: nowText,
    stateText: function (code) { return CALL_STATES[code] || ('상태 ' + code); }
  };
})(window);
