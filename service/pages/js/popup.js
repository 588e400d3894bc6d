// 발신자 정보 팝업과 일정 팝업: 받은 알림을 보여 주고 클라이언트와 주고받는다.
(function () {
  'use strict';
  var O = window.Orvanta;
  var kind = document.body.getAttribute('data-kind');
  var posted = O.parse(window.ORVANTA_POSTED || '') || {};
  var info = posted.callInfo || posted;
  var auth = { ctc: 1, msgSend: 1 };

  // 클라이언트가 보낸 호출을 순서대로 남긴다 (시험과 화면 확인용).
  var receivedCalls = [];
  window.ORVANTA_RECEIVED = receivedCalls;
  function got(name, text) {
    receivedCalls.push({ name: name, arg: text });
    O.received(name, text);
  }

  function $(id) { return document.getElementById(id); }
  function on(id, fn) { var el = $(id); if (el) { el.addEventListener('click', fn); } }
  function foot(text) { $('foot').textContent = text; }

  function showCall(data) {
    var callInfo = data.callInfo || info;
    $('number').textContent = callInfo.peerPhone || '-';
    $('name').textContent = callInfo.peerName || callInfo.companyName || '';
    var result = data.callResult !== undefined ? data.callResult : callInfo.callResult;
    $('state').textContent = O.stateText(result);
    $('title').textContent = callInfo.callProcessType === 1 ? 'ARS 알림' :
      (posted.cidKind === 'CALL' && callInfo.notiFlag ? '전화 발신' : '전화 수신');
    $('time').textContent = data.callTime || callInfo.callTime || '';
    if (data.callCnt > 1) { $('count').textContent = data.callCnt + '회'; }
    if (data.recFlag === 1 || callInfo.recFlag === 1) { $('rec').textContent = '● 녹취'; }
  }

  function showMessage(data) {
    $('title').textContent = '문자 수신';
    $('number').textContent = info.peerPhone || '-';
    $('state').textContent = info.msgType || '문자';
    $('time').textContent = data.msgTime || info.resultTime || '';
    var box = $('msg');
    box.textContent = data.msg !== undefined ? data.msg : (info.msg || '');
    box.classList.remove('hidden');
  }

  function showSchedule() {
    $('number').textContent = posted.title || '일정';
    $('name').textContent = posted.place || '';
    $('time').textContent = (posted.startTime || '') + (posted.endTime ? ' ~ ' + posted.endTime.slice(-5) : '');
    $('msg').textContent = posted.memo || '';
  }

  // ---- 클라이언트가 부르는 함수 ----
  window.WI_CID_CallResult_Change = function (text) {
    got('WI_CID_CallResult_Change', text);
    var data = O.parse(text) || {};
    if (data.cidKind === 'MSG') {
      showMessage(data);
    } else if (data.cidKind === 'SIZE') {
      $('typeTag').textContent = '유형 ' + data.cidType;
    } else {
      showCall(data);
    }
    foot('상태 변경: ' + (data.cidKind || '-'));
  };
  window.WI_Schedule_Size_Change = function (text) {
    got('WI_Schedule_Size_Change', text);
    var data = O.parse(text) || {};
    $('typeTag').textContent = data.bigSize === 1 ? '크게' : '';
  };
  window.WI_CID_Set_Auth = function (text) {
    got('WI_CID_Set_Auth', text);
    var data = O.parse(text) || {};
    auth.ctc = data.ctc;
    auth.msgSend = data.msgSend;
    if ($('btnCall')) { $('btnCall').disabled = data.ctc === 0; }
    if ($('btnUserMsg')) { $('btnUserMsg').disabled = data.msgSend === 0; }
  };
  window.WI_CID_Record_Noti = function (text) {
    got('WI_CID_Record_Noti', text);
    var data = O.parse(text) || {};
    $('rec').textContent = data.recResult > 0 ? '● 녹취 완료' : '';
  };

  function target() {
    return JSON.stringify({ peerPhone: info.peerPhone || '', userPhone: info.userPhone || '',
      callLogNo: info.callLogNo || info.msgLogNo || 0, schNo: posted.schNo || 0 });
  }

  // ---- 버튼 ----
  on('btnClose', function () { O.call(kind === 'sch' ? 'FE_Schedule_Close' : 'FE_CID_Close'); });
  on('btnOpen', function () { O.call('FE_CID_Open'); });
  on('btnProfile', function () { O.call('FE_CID_Profile_Show', target()); });
  on('btnDevice', function () { O.call('FE_CID_Device_Show', target()); });
  on('btnCall', function () { O.call('FE_CID_Call_Send_Start', target()); });
  on('btnUserMsg', function () { O.call('FE_CID_UserMsg', target()); });
  on('btnSchShow', function () {
    O.call(kind === 'sch' ? 'FE_Schedule_Schedule_Show' : 'FE_CID_Schedule_Show', target());
  });
  on('btnSchAdd', function () {
    O.call('FE_CID_Schedule_Add', JSON.stringify({ peerPhone: info.peerPhone || '', title: '통화 후속 조치', memo: '견적 회신' }));
  });
  on('btnType', function () { O.call('FE_CID_Change_Type', { cidType: 23, width: 452, height: 232 }); });
  on('btnTimer', function () { O.call('FE_CID_Set_Auto_Close_Timeout', { isAutoClose: true, autoCloseTime: 5 }); });
  on('btnKeep', function () { O.call('FE_CID_Set_Auto_Close_Timeout', { isAutoClose: false }); });
  on('btnLog', function () {
    O.call('FE_MAIN_Log', { time: O.nowText(), level: 'INFO', kind: kind === 'sch' ? 'SCH' : 'CID', msg: '팝업 버튼 확인' });
  });
  on('btnVersion', function () { foot('클라이언트 버전 ' + (O.call('FE_CID_Get_ClientVersion') || '-')); });

  // ---- 처음 화면 ----
  if (kind === 'sch') {
    showSchedule();
  } else if (posted.cidKind === 'MSG') {
    showMessage({});
  } else {
    showCall({});
  }
  O.call(kind === 'sch' ? 'FE_Schedule_Document_Ready' : 'FE_CID_Document_Ready');
})();
