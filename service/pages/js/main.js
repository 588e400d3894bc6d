// 라벤토 메인 화면: 로그인, 이벤트 전달, 클라이언트가 부르는 WI_ 함수.
(function () {
  'use strict';
  var O = window.Orvanta;
  var STORE_KEY = 'orvanta.programData';
  var session = '';
  var callLogNo = 90210000123450;  // 32비트를 넘는 통화 번호
  var msgLogNo = 70310000004400;
  var schNo = 3300;
  var myLines = ['07045671234', '07045675678'];

  function $(id) { return document.getElementById(id); }
  function params() { return new URLSearchParams(window.location.search); }

  // 처음 설치 후 첫 실행이면 저장된 값을 지운다.
  if (params().get('resetLS') === '1') {
    try { window.localStorage.clear(); } catch (e) { /* 저장소 없음 */ }
  }

  function showProgramData() {
    var stored = '';
    try { stored = window.localStorage.getItem(STORE_KEY) || ''; } catch (e) { /* 없음 */ }
    $('programData').textContent = stored || '없음';
  }

  // ---- 클라이언트가 부르는 함수 ----
  window.WI_Get_ProgramData = function () {
    var stored = '';
    try { stored = window.localStorage.getItem(STORE_KEY) || ''; } catch (e) { /* 없음 */ }
    O.received('WI_Get_ProgramData', stored ? '⇒ ' + stored.replace(/\s+/g, ' ') : '⇒ (없음)');
    return stored;
  };
  window.WI_Set_ProgramData = function (text) {
    O.received('WI_Set_ProgramData', text);
    try { window.localStorage.setItem(STORE_KEY, String(text)); } catch (e) { /* 없음 */ }
    showProgramData();
  };
  window.WI_MAIN_Logout = function (text) {
    O.received('WI_MAIN_Logout', text);
    logout(0, '클라이언트 요청으로 로그아웃');
  };
  [['WI_MAIN_Profile_Show', '프로필 보기'], ['WI_MAIN_Device_Show', '장치 보기'],
   ['WI_MAIN_Call_Send_Start', '전화 걸기'], ['WI_MAIN_USER_MSG', '문자 보내기'],
   ['WI_MAIN_Schedule_Show', '일정 보기'], ['WI_MAIN_Schedule_Add', '일정 추가']].forEach(function (entry) {
    window[entry[0]] = function (text) {
      O.received(entry[0], '[' + entry[1] + '] ' + text);
    };
  });

  // ---- 준비 완료 ----
  function documentReady() {
    // /wrong-ready/… serves this page with a report of the wrong shape.
    if (typeof window.demoReadyArg === 'string') {
      O.call('FE_MAIN_Document_Ready', window.demoReadyArg);
      return;
    }
    O.call('FE_MAIN_Document_Ready', {
      border: { size: 1, colorR: 35, colorG: 78, colorB: 112 },
      minSize: { width: 1000, height: 700 },
      cid_typeSize_10: { width: 282, height: 47 },
      cid_typeSize_21: { width: 382, height: 202 },
      cid_typeSize_22: { width: 382, height: 358 },
      cid_typeSize_23: { width: 452, height: 232 },
      cid_typeSize_24: { width: 452, height: 412 }
    });
  }

  // ---- 로그인 / 로그아웃 ----
  function cidOptions() {
    var type = parseInt($('optType').value, 10);
    var sizes = { 10: [282, 47], 21: [382, 202], 23: [452, 232] };
    return {
      enable: parseInt($('optEnable').value, 10),
      type: type,
      typeSize: { width: sizes[type][0], height: sizes[type][1] },
      autoCloseType: parseInt($('optCloseType').value, 10),
      autoCloseTime: parseInt($('optCloseTime').value, 10) || 0,
      overlap: parseInt($('optOverlap').value, 10),
      position: $('optPos').value
    };
  }

  function setState(text, cls) {
    var pill = $('state');
    pill.textContent = text;
    pill.className = 'pill' + (cls ? ' ' + cls : '');
  }

  function login(event) {
    if (event) { event.preventDefault(); }
    session = 'LS-' + Date.now().toString(36).toUpperCase() + '-' + Math.floor(Math.random() * 1e6);
    O.call('FE_MAIN_Login', {
      autoRunOpt: $('autoRun').checked,
      loginSession: session,
      enableArsNoti: parseInt($('optArs').value, 10),
      userId: $('userId').value,
      cidOpt: cidOptions()
    });
    O.call('FE_MAIN_UserPhone_List_Noti', {
      allows: myLines.map(function (line, i) { return { userPhone: line, ctc: true, msgSend: i === 0 }; })
    });
    $('loginForm').classList.add('hidden');
    $('sessionInfo').classList.remove('hidden');
    $('btnLogout').classList.remove('hidden');
    $('who').textContent = $('userId').value + ' 님';
    $('lines').textContent = myLines.join(', ');
    setState('로그인', 'on');
  }

  function logout(code, text) {
    O.call('FE_MAIN_Logout', { resultCode: code, resultMsg: text, loginSession: session });
    $('loginForm').classList.remove('hidden');
    $('sessionInfo').classList.add('hidden');
    $('btnLogout').classList.add('hidden');
    $('who').textContent = '';
    setState('로그아웃');
  }

  // ---- 이벤트 ----
  function callEvent(kind) {
    var peer = $('peerPhone').value;
    var base = {
      callLogNo: callLogNo, userPhone: myLines[0], teleCode: '02', peerPhone: peer,
      peerName: $('peerName').value, callTime: O.nowText(), recFlag: 1,
      cidTypeInfo: { cidType: parseInt($('optType').value, 10), width: 382, height: 202 }
    };
    function recv(result, extra) {
      var info = Object.assign({}, base, { callResult: result, terminator: 0, duration: 0, callProcessType: 0 }, extra || {});
      O.call('FE_MAIN_Call_Recv_Noti', info);
    }
    switch (kind) {
    case 'send-start':
      callLogNo += 1;
      base.callLogNo = callLogNo;
      O.call('FE_MAIN_Call_Send_Noti', Object.assign({}, base, { callResult: 0, notiFlag: 'START' }));
      break;
    case 'send-connect':
      O.call('FE_MAIN_Call_Send_Noti', Object.assign({}, base, { callResult: 201, notiFlag: 'CONN' }));
      break;
    case 'recv-ring':
      callLogNo += 1;
      base.callLogNo = callLogNo;
      recv(101);
      break;
    case 'recv-connect': recv(200); break;
    case 'recv-end': recv(291, { terminator: 1, duration: 135 }); break;
    case 'recv-missed': recv(404); break;
    case 'ars':
      callLogNo += 1;
      base.callLogNo = callLogNo;
      recv(407, { callProcessType: 1, arsMenu: '1. 상담원 연결' });
      break;
    case 'record':
      O.call('FE_MAIN_Call_Record_Noti', { callLogNo: callLogNo, recResult: 1, recFile: 'REC_' + callLogNo + '.mp3' });
      break;
    }
  }

  function schedule(method) {
    schNo += 1;
    O.call(method, {
      schNo: schNo, title: '거래처 미팅 (한빛상사)', place: '본사 3층 회의실',
      startTime: '2024-05-14 14:00', endTime: '2024-05-14 15:00', alarmMin: 10,
      memo: '계약서 2부 준비\n담당: 김민준 과장'
    });
  }

  // ---- 데모 이벤트 수신 (서버가 보내는 이벤트를 클라이언트 메서드 호출로 바꾼다) ----
  function subscribe() {
    if (!window.EventSource) { return; }
    var pageId = 'main-' + Math.random().toString(36).slice(2);
    var source = new EventSource('/demo/events?page=' + pageId);
    source.onmessage = function (event) {
      var push = O.parse(event.data);
      if (!push || typeof push.method !== 'string') { return; }
      O.received('데모 이벤트', push.method);
      O.call(push.method, push.arg === null ? undefined : push.arg);
    };
  }

  // ---- 화면 연결 ----
  $('loginForm').addEventListener('submit', login);
  $('btnLogout').addEventListener('click', function () { logout(0, '사용자 로그아웃'); });
  $('btnOptApply').addEventListener('click', function () {
    var opt = cidOptions();
    opt.enableArsNoti = parseInt($('optArs').value, 10);
    O.call('FE_MAIN_CidOpt_Change', opt);
  });
  Array.prototype.forEach.call(document.querySelectorAll('[data-call]'), function (button) {
    button.addEventListener('click', function () { callEvent(button.getAttribute('data-call')); });
  });
  $('btnMsg').addEventListener('click', function () {
    msgLogNo += 1;
    O.call('FE_MAIN_Msg_Recv_Noti', {
      msgLogNo: msgLogNo, userPhone: myLines[0], teleCode: '02', peerPhone: $('peerPhone').value,
      msg: $('msgText').value + '\n감사합니다.', msgType: 'SMS', resultTime: O.nowText()
    });
  });
  $('btnSchR').addEventListener('click', function () { schedule('FE_MAIN_SchR_Recv_Noti'); });
  $('btnSchC').addEventListener('click', function () { schedule('FE_MAIN_SchC_Recv_Noti'); });
  $('btnConnCut').addEventListener('click', function () {
    O.call('FE_MAIN_LoginSession_ConnectState', { loginSession: session, connectState: 0 });
    setState('서버접속끊김', 'cut');
  });
  $('btnConnOk').addEventListener('click', function () {
    O.call('FE_MAIN_LoginSession_ConnectState', { loginSession: session, connectState: 1 });
    setState('로그인', 'on');
  });
  $('btnAlert').addEventListener('click', function () {
    O.call('FE_MAIN_UserAlert', {
      alertUrl: window.location.origin + '/alert.html?title=' + encodeURIComponent('공지사항') +
        '&msg=' + encodeURIComponent('오늘 18시부터 20시까지 서버 점검이 있습니다.\n점검 중에는 통화 기록이 늦게 보일 수 있습니다.'),
      size: { width: 420, height: 260 }
    });
  });
  $('btnPhones').addEventListener('click', function () {
    O.call('FE_MAIN_UserPhone_List_Noti', {
      allows: [{ userPhone: myLines[0], ctc: true, msgSend: true }, { userPhone: myLines[1], ctc: false, msgSend: true }]
    });
  });
  $('btnFgOn').addEventListener('click', function () { O.call('FE_MAIN_Foreground', { setForeground: true }); });
  $('btnFgOff').addEventListener('click', function () { O.call('FE_MAIN_Foreground', { setForeground: false }); });
  $('btnLog').addEventListener('click', function () {
    O.call('FE_MAIN_Log', { time: O.nowText(), level: 'INFO', kind: 'UI', msg: '메인 화면 로그 확인' });
  });
  $('btnVersion').addEventListener('click', function () { O.call('FE_CID_Get_ClientVersion'); });
  $('btnReady').addEventListener('click', documentReady);

  showProgramData();
  subscribe();
  documentReady();
})();
