// Tavrel's browser page: the lamps, the timetable's entries, the switches, the week and the record,
// over the program's JSON API and its live socket. No framework, no build step: served as is.
'use strict';
(() => {
  // --- words: the window's own where it has them ---
  const zh = /^zh/i.test(navigator.language || '');
  const t = (z, e) => (zh ? z : e);
  const W = {
    title: t('继电器板时间控制程序', 'Relay board timer'),
    password: t('密码', 'Password'),
    login: t('登录', 'Log in'),
    logout: t('退出登录', 'Log out'),
    wrongPassword: t('密码错误', 'Wrong password'),
    tooMany: t('尝试次数过多，请 %1 秒后再试', 'Too many attempts: try again in %1 s'),
    unreachable: t('无法连接 Tavrel', 'Tavrel cannot be reached'),
    failed: t('操作失败（HTTP %1）', 'Failed (HTTP %1)'),
    liveLost: t('实时连接中断，正在重连…', 'Live updates lost, reconnecting…'),
    answering: t('已连接', 'Online'),
    'no-answer': t('无应答', 'No reply'),
    waiting: t('等待串口', 'Waiting'),
    closed: t('未连接', 'Closed'),
    lost: t('状态未知', 'Unknown'),
    auto: t('自动功能允许', 'Timetable on'),
    restore: t('恢复定时状态', 'Restore'),
    entries: t('内容', 'Entries'),
    add: t('添加', 'Add'),
    edit: t('修改', 'Edit'),
    del: t('删除', 'Delete'),
    switchOn: t('手动吸合', 'Switch on'),
    switchOff: t('手动断开', 'Switch off'),
    rename: t('重命名', 'Rename'),
    unnamed: t('未命名', 'Unnamed'),
    caption: t('%1 未命名', 'No. %1'),
    daily: t('每天', 'Daily'),
    weekly: t('每星期', 'Weekly'),
    date: t('固定日期', 'On date'),
    h: t('时', 'h'),
    m: t('分', 'm'),
    s: t('秒', 's'),
    on: t('吸合', 'On'),
    off: t('断开', 'Off'),
    onWord: t('吸合', 'on'),
    offWord: t('断开', 'off'),
    ok: t('确定', 'OK'),
    cancel: t('取消', 'Cancel'),
    addTitle: t('添加第%1路的条目', 'Add an entry to route %1'),
    editTitle: t('修改第%1路的条目', 'Edit an entry of route %1'),
    renameTitle: t('重命名第%1路', 'Rename route %1'),
    bytes: t('%1/%2 字节', '%1/%2 bytes'),
    weekNeedsDay: t('每星期至少选择一天', 'Choose at least one day of the week'),
    pastConfirm: t('日期已过，仍要保存吗？', 'The date has passed. Keep the entry anyway?'),
    delConfirm: t('删除当前信息吗？', 'Delete this entry?'),
    next: t('下次：%1 %2', 'Next: %1 %2'),
    nextNone: t('下次：无', 'Next: none'),
    nextOff: t('下次：自动功能未允许', 'Next: timetable off'),
    week: t('一周', 'Week'),
    record: t('记录', 'Log'),
    showAll: t('显示全部', 'Show all'),
    kPlan: t('计划吸合', 'Planned on'),
    kActual: t('实际吸合', 'Reported on'),
    kNoLink: t('无连接', 'No link'),
    kUnknown: t('未知', 'Unknown'),
    kMissed: t('未执行', 'Not carried out'),
    kNow: t('现在', 'Now'),
    planned: t('计划：%1', 'Planned: %1'),
    actual: t('实际：%1', 'Actual: %1'),
    missed: t('未执行：%1', 'Not carried out: %1'),
    span: t('%1 至 %2', '%1 to %2'),
    unknown: t('未知', 'unknown'),
    noLink: t('无连接', 'no link'),
    colon: t('：', ': '),
    days: zh ? ['一', '二', '三', '四', '五', '六', '日'] : ['Mon', 'Tue', 'Wed', 'Thu', 'Fri', 'Sat', 'Sun'],
    weekdays: zh ? ['周日', '周一', '周二', '周三', '周四', '周五', '周六']
      : ['Sun', 'Mon', 'Tue', 'Wed', 'Thu', 'Fri', 'Sat'],
  };
  const fmt = (s, ...a) => s.replace(/%(\d)/g, (_, i) => a[i - 1]);

  const $ = (id) => document.getElementById(id);
  const el = (tag, cls, text) => {
    const e = document.createElement(tag);
    if (cls) e.className = cls;
    if (text != null) e.textContent = text;
    return e;
  };
  const two = (n) => String(n).padStart(2, '0');

  // --- what the page knows ---
  let csrf = sessionStorage.getItem('tavrel.csrf') || '';
  let state = null;            // GET /api/state, with the live changes applied
  let entries = [];
  let entriesRev = null;
  let route = Math.min(16, Math.max(1, +sessionStorage.getItem('tavrel.route') || 1));
  let loggedIn = false;
  let plan = null;             // GET /api/plan, while the week is open

  // --- talking to the program ---
  async function api(method, path, body, headers, retried) {
    const h = Object.assign({}, headers);
    if (body !== undefined) h['Content-Type'] = 'application/json';
    if (method !== 'GET') h['X-CSRF-Token'] = csrf;
    let r;
    try {
      r = await fetch(path, {
        method, headers: h, cache: 'no-store', credentials: 'same-origin',
        body: body === undefined ? undefined : JSON.stringify(body),
      });
    } catch (e) {
      return { s: 0, d: {} };
    }
    let d = {};
    try { d = (await r.json()) || {}; } catch (e) { /* no body */ }
    if (r.status === 401 && path !== '/api/login') toLogin();
    // A token gone stale (a login in another tab renewed the session): fetch it again once.
    if (r.status === 403 && method !== 'GET' && !retried && await fetchToken())
      return api(method, path, body, headers, true);
    return { s: r.status, d, h: r.headers };
  }

  async function fetchToken() {
    const r = await api('GET', '/api/session');
    if (r.s !== 200 || !r.d.csrf || r.d.csrf === csrf) return false;
    keepToken(r.d.csrf);
    return true;
  }

  function keepToken(token) {
    csrf = token || '';
    if (csrf) sessionStorage.setItem('tavrel.csrf', csrf);
    else sessionStorage.removeItem('tavrel.csrf');
  }

  const why = (r) => (r.s === 0 ? W.unreachable : r.d.error || fmt(W.failed, r.s));

  function say(text) {
    $('msg').textContent = text || '';
    $('msg').hidden = !text;
  }

  // --- logging in and out ---
  function toLogin() {
    if (!loggedIn && !$('login').hidden) return;
    loggedIn = false;
    say('');
    keepToken('');
    closeLive();
    for (const d of document.querySelectorAll('dialog[open]')) d.close();
    $('app').hidden = true;
    $('logout').hidden = true;
    $('link').hidden = true;
    $('login').hidden = false;
    $('password').focus();
  }

  let loginWait = 0;
  $('login').addEventListener('submit', async (ev) => {
    ev.preventDefault();
    const button = $('login').querySelector('button');
    button.disabled = true;
    const r = await api('POST', '/api/login', { password: $('password').value });
    button.disabled = false;
    const tell = (text) => { $('login-msg').textContent = text; };
    if (r.s === 200) {
      keepToken(r.d.csrf);
      $('password').value = '';
      tell('');
      $('login').hidden = true;
      start();
    } else if (r.s === 401) {
      tell(W.wrongPassword);
      $('password').select();
    } else if (r.s === 429) {
      // Told with the wait, counted down; the button stays off until then.
      const until = Date.now() + 1000 * (parseInt(r.h.get('Retry-After'), 10) || 60);
      clearTimeout(loginWait);
      const tick = () => {
        const left = Math.ceil((until - Date.now()) / 1000);
        button.disabled = left > 0;
        tell(left > 0 ? fmt(W.tooMany, left) : '');
        if (left > 0) loginWait = setTimeout(tick, 1000);
      };
      tick();
    } else {
      tell(why(r));
    }
  });

  $('logout').addEventListener('click', async () => {
    await api('POST', '/api/logout');
    toLogin();
  });

  async function start() {
    const r = await api('GET', '/api/state');
    if (r.s === 401) return;
    if (r.s !== 200) {
      say(why(r));
      setTimeout(start, 5000);
      return;
    }
    say('');
    loggedIn = true;
    $('login').hidden = true;
    $('app').hidden = false;
    $('logout').hidden = false;
    applyState(r.d);
    if (!csrf) await fetchToken();
    connectLive();
    needEntries(r.d.revision);
  }

  // --- lamps, tabs, switches, the link ---
  const lamps = [];
  const tabs = [];

  function build() {
    for (let n = 1; n <= 16; n++) {
      const lamp = el('button', 'lamp');
      lamp.type = 'button';
      lamp.dataset.route = n;
      lamp.append(el('i'), el('b', null, n), el('span', 'name'), el('small', 'nx'));
      lamp.addEventListener('click', () => {
        const r = state.routes[n - 1];
        switchRoute(n, !(r.reported ?? r.wanted));
      });
      $('lamps').append(lamp);
      lamps.push(lamp);
      const tab = el('button', 'tab');
      tab.type = 'button';
      tab.setAttribute('role', 'tab');
      tab.dataset.route = n;
      tab.addEventListener('click', () => select(n));
      tab.addEventListener('dblclick', () => { select(n); openNamer(); });
      $('tabs').append(tab);
      tabs.push(tab);
    }
    for (let i = 0; i < 7; i++) {
      const l = el('label');
      const c = el('input');
      c.type = 'checkbox';
      c.value = i + 1;
      l.append(c, ' ' + W.days[i]);
      $('days').append(l);
    }
    for (const [id, count] of [['hh', 24], ['mm', 60], ['ss', 60]])
      for (let i = 0; i < count; i++) $(id).append(new Option(two(i), two(i)));
  }

  const caption = (r) => r.name || fmt(W.caption, r.route);

  // The moment of an ISO time as the program's clock shows it, and its offset from UTC in ms.
  const wall = (iso) => /^(\d{4})-(\d\d)-(\d\d)T(\d\d):(\d\d):(\d\d)/.exec(iso || '');
  function offsetOf(iso) {
    const m = /([+-])(\d\d):?(\d\d)$/.exec(iso || '');
    if (m) return (m[1] === '-' ? -1 : 1) * (60 * m[2] + +m[3]) * 60000;
    return /Z$/.test(iso || '') ? 0 : -new Date().getTimezoneOffset() * 60000;
  }
  const moment = (iso) => { const m = wall(iso); return m ? `${m[2]}-${m[3]} ${m[4]}:${m[5]}:${m[6]}` : ''; };

  // A lamp's next switch, short: the time alone when it falls today on the program's clock.
  function nextShort(r) {
    const m = wall(r.next);
    if (!state.auto || !m) return '';
    const today = new Date(Date.now() + offsetOf(r.next)).toISOString().slice(0, 10);
    const when = today === `${m[1]}-${m[2]}-${m[3]}` ? `${m[4]}:${m[5]}:${m[6]}` : `${m[2]}-${m[3]} ${m[4]}:${m[5]}`;
    return `${when} ${r.nextOn ? W.onWord : W.offWord}`;
  }

  function nextLine(r) {
    if (!state.auto) return W.nextOff;
    if (!r.next) return W.nextNone;
    return fmt(W.next, moment(r.next), r.nextOn ? W.onWord : W.offWord);
  }

  function applyState(d) {
    if (!lamps.length) build();
    d.routes.sort((a, b) => a.route - b.route);
    state = d;
    renderRoutes();
    renderTop();
  }

  function renderRoutes() {
    for (const r of state.routes) {
      const lamp = lamps[r.route - 1];
      const look = r.reported === true ? 'on' : r.reported === false ? 'off' : 'unknown';
      lamp.className = 'lamp ' + look;
      lamp.setAttribute('aria-pressed', String(r.reported === true));
      lamp.querySelector('.name').textContent = r.name || W.unnamed;
      lamp.querySelector('.nx').textContent = nextShort(r);
      lamp.title = `${caption(r)}\n${nextLine(r)}`;
      tabs[r.route - 1].textContent = caption(r);
    }
    renderPage();
  }

  function renderTop() {
    const link = $('link');
    link.hidden = false;
    link.className = 'link ' + state.link;
    link.textContent = W[state.link] || state.link;
    $('auto').checked = !!state.auto;
    $('restore').checked = !!state.restore;
  }

  function renderPage() {
    tabs.forEach((tab, i) => tab.setAttribute('aria-selected', String(i + 1 === route)));
    $('next').textContent = nextLine(state.routes[route - 1]);
  }

  function select(n) {
    route = n;
    sessionStorage.setItem('tavrel.route', n);
    renderPage();
    renderEntries();
    if ($('record').open) loadRecord();
  }

  async function switchRoute(n, on) {
    const r = await api('POST', `/api/routes/${n}/switch`, { on });
    if (r.s !== 401) say(r.s === 200 ? '' : why(r));
  }
  $('on').addEventListener('click', () => switchRoute(route, true));
  $('off').addEventListener('click', () => switchRoute(route, false));

  for (const key of ['auto', 'restore']) {
    $(key).addEventListener('change', async () => {
      const on = $(key).checked;
      const r = await api('PUT', '/api/settings', { [key]: on });
      if (r.s === 200) {
        state[key] = on;
        say('');
        renderRoutes();
      } else {
        $(key).checked = !!state[key];
        if (r.s !== 401) say(why(r));
      }
    });
  }

  // --- the entries ---
  let loading = false;
  let wantedRev = null;        // the newest revision the program has told of
  let reload = false;

  // Loads the entries when the program has newer ones than the page (or always); one load at a
  // time, repeated while newer ones are told meanwhile.
  async function needEntries(rev, always) {
    if (rev != null && !(rev <= wantedRev)) wantedRev = rev;
    reload = reload || !!always;
    if (loading) return;
    loading = true;
    while (loggedIn && (reload || entriesRev === null || wantedRev > entriesRev)) {
      reload = false;
      const r = await api('GET', '/api/entries');
      if (r.s !== 200) break;
      entries = r.d.entries;
      entriesRev = r.d.revision;
      renderEntries();
      if ($('week').open) later('plan', loadPlan, 300);
    }
    loading = false;
  }

  // An entry as the list shows it: the program's own text in Chinese; in English made here from its
  // fields, since the program words its texts in its own language.
  function entryText(e) {
    if (zh) return e.text.trim();
    const when = e.kind === 'daily' ? W.daily
      : e.kind === 'weekly' ? `${W.weekly} ${(e.days || []).map((d) => W.days[d - 1]).join(' ')}`
      : `${W.date} ${e.date}`;
    return `${when}, ${e.time}, ${e.on ? W.onWord : W.offWord}`;
  }

  function renderEntries() {
    const list = $('entries');
    list.replaceChildren();
    for (const e of entries) {
      if (e.route !== route) continue;
      const li = el('li', e.valid ? '' : 'invalid');
      const edit = el('button', null, W.edit);
      const del = el('button', null, W.del);
      edit.type = del.type = 'button';
      edit.addEventListener('click', () => openEditor(e));
      del.addEventListener('click', () => removeEntry(e));
      li.append(el('span', null, entryText(e)), edit, del);
      li.addEventListener('dblclick', () => openEditor(e));
      list.append(li);
    }
  }

  const form = $('entry-form');
  let editing = null;          // the entry the editor changes; null while adding
  let editingRev = null;       // the revision the editor was opened on

  function kindChanged() {
    const kind = form.elements.kind.value;
    for (const c of $('days').querySelectorAll('input')) c.disabled = kind !== 'weekly';
    $('date').disabled = kind !== 'date';
  }
  for (const r of form.elements.kind) r.addEventListener('change', kindChanged);

  function openEditor(e) {
    editing = e || null;
    editingRev = entriesRev;
    $('editor-title').textContent = fmt(e ? W.editTitle : W.addTitle, route);
    form.elements.kind.value = e ? e.kind : 'daily';
    for (const c of $('days').querySelectorAll('input'))
      c.checked = !!e && e.kind === 'weekly' && (e.days || []).includes(+c.value);
    const now = new Date();
    $('date').value = e && e.kind === 'date' ? e.date
      : `${now.getFullYear()}-${two(now.getMonth() + 1)}-${two(now.getDate())}`;
    const [h, m, s] = (e ? e.time : '00:00:00').split(':');
    $('hh').value = h;
    $('mm').value = m;
    $('ss').value = s;
    $('act').value = e && !e.on ? '0' : '1';
    $('editor-err').textContent = '';
    kindChanged();
    $('editor').showModal();
  }
  $('add').addEventListener('click', () => openEditor(null));

  async function saveEntry(confirmPast) {
    const tell = (text) => { $('editor-err').textContent = text; };
    const kind = form.elements.kind.value;
    const body = { route, kind, time: `${$('hh').value}:${$('mm').value}:${$('ss').value}`, on: $('act').value === '1' };
    if (kind === 'weekly') {
      body.days = [...$('days').querySelectorAll('input:checked')].map((c) => +c.value);
      if (!body.days.length) return tell(W.weekNeedsDay);
    }
    if (kind === 'date') body.date = $('date').value;
    if (confirmPast) body.confirmPast = true;
    const path = editing ? '/api/entries/' + encodeURIComponent(editing.key) : '/api/entries';
    // A key names a place in the list, which other hands may have shifted since the editor opened:
    // the newer revision only while the key still holds the entry being edited, else the refusal.
    const now = editing && entries.find((x) => x.key === editing.key);
    const rev = !editing || (now && JSON.stringify(now) === JSON.stringify(editing)) ? entriesRev : editingRev;
    const r = await api(editing ? 'PUT' : 'POST', path, body, { 'If-Match': String(rev) });
    if (r.s === 200 || r.s === 201) {
      $('editor').close();
      return needEntries(r.d.revision);
    }
    if (r.s === 422 && r.d.past && !confirmPast) {
      if (confirm(W.pastConfirm)) return saveEntry(true);
      return;
    }
    if (r.s === 409) needEntries(null, true);  // another hand changed them: show what is there now
    if (r.s !== 401) tell(why(r));
  }
  form.addEventListener('submit', (ev) => { ev.preventDefault(); saveEntry(false); });

  async function removeEntry(e) {
    if (!confirm(W.delConfirm)) return;
    const r = await api('DELETE', '/api/entries/' + encodeURIComponent(e.key), undefined,
      { 'If-Match': String(entriesRev) });
    if (r.s === 200) {
      say('');
      return needEntries(r.d.revision);
    }
    if (r.s === 409) needEntries(null, true);
    if (r.s !== 401) say(why(r));
  }

  for (const b of document.querySelectorAll('dialog .cancel'))
    b.addEventListener('click', () => b.closest('dialog').close());

  // --- renaming a route ---
  // GBK's length of the name, as Name.ini holds it: two bytes for any character beyond ASCII.
  const gbkBytes = (s) => [...s].reduce((n, c) => n + (c.charCodeAt(0) < 128 ? 1 : 2), 0);
  const countBytes = () => { $('bytes').textContent = fmt(W.bytes, gbkBytes($('name').value), 8); };
  // What Name.ini cannot hold is not taken as typed, as in the window.
  $('name').addEventListener('input', () => {
    let name = $('name').value;
    while (gbkBytes(name) > 8) name = [...name].slice(0, -1).join('');
    if (name !== $('name').value) $('name').value = name;
    countBytes();
  });

  function openNamer() {
    $('namer-title').textContent = fmt(W.renameTitle, route);
    $('name').value = state.routes[route - 1].name;
    $('namer-err').textContent = '';
    countBytes();
    $('namer').showModal();
    $('name').select();
  }
  $('rename').addEventListener('click', openNamer);

  $('name-form').addEventListener('submit', async (ev) => {
    ev.preventDefault();
    const n = route;
    const name = $('name').value;
    const r = await api('PUT', `/api/routes/${n}/name`, { name });
    if (r.s === 200) {
      state.routes[n - 1].name = typeof r.d.name === 'string' ? r.d.name : name.trim();
      renderRoutes();
      $('namer').close();
    } else if (r.s !== 401) {
      $('namer-err').textContent = why(r);
    }
  });

  // --- live: the program's pushes over a socket, reopened with a growing pause ---
  let ws = null;
  let wsPause = 1000;
  let wsTimer = 0;
  let queued = null;           // pushes that came while the state was being fetched again

  function connectLive() {
    clearTimeout(wsTimer);
    const s = new WebSocket((location.protocol === 'https:' ? 'wss://' : 'ws://') + location.host + '/api/live');
    let opened = false;
    ws = s;
    s.onopen = () => { opened = true; wsPause = 1000; resync(); };
    s.onmessage = (ev) => {
      let m;
      try { m = JSON.parse(ev.data); } catch (e) { return; }
      if (queued) queued.push(m);
      else onLive(m);
    };
    s.onclose = async (ev) => {
      if (ws !== s) return;
      ws = null;
      $('board').classList.add('stale');
      state.link = 'lost';
      renderTop();
      if (ev.code === 4401) return toLogin();
      if (!loggedIn) return;
      say(W.liveLost);
      // A socket refused at its opening may mean the session is gone: the API tells.
      if (!opened && (await api('GET', '/api/session')).s === 401) return;
      wsTimer = setTimeout(connectLive, wsPause);
      wsPause = Math.min(2 * wsPause, 30000);
    };
  }

  function closeLive() {
    clearTimeout(wsTimer);
    const s = ws;
    ws = null;
    if (s) s.close();
  }

  // After (re)connecting: the state again, since pushes may have been missed meanwhile; pushes
  // arriving during the fetch are applied after it, in order.
  async function resync() {
    queued = [];
    const r = await api('GET', '/api/state');
    const pushes = queued;
    queued = null;
    if (r.s !== 200) {
      if (r.s !== 401 && ws) ws.close();  // tried again as a lost socket is
      return;
    }
    $('board').classList.remove('stale');
    say('');
    applyState(r.d);
    pushes.forEach(onLive);
    needEntries(r.d.revision, true);
    refreshFolds();
  }

  function onLive(m) {
    if (m.routes) {
      for (const r of m.routes) if (state.routes[r.route - 1]) Object.assign(state.routes[r.route - 1], r);
      renderRoutes();
    }
    let top = false;
    for (const key of ['link', 'auto', 'restore'])
      if (key in m) { state[key] = m[key]; top = true; }
    if ('link' in m) say('');  // what failed before was told for the link as it was
    if (top) { renderTop(); renderRoutes(); }
    if ('revision' in m) needEntries(m.revision);
    refreshFolds();
  }

  // --- the week and the record, loaded while open ---
  const timers = {};
  function later(name, fn, ms) {
    if (!timers[name]) timers[name] = setTimeout(() => { timers[name] = 0; fn(); }, ms);
  }
  function refreshFolds() {
    if ($('week').open) later('plan', loadPlan, 2000);
    if ($('record').open) later('record', loadRecord, 1000);
  }

  $('week').addEventListener('toggle', () => { if ($('week').open) loadPlan(); });
  $('record').addEventListener('toggle', () => { if ($('record').open) loadRecord(); });
  $('rec-all').addEventListener('change', loadRecord);
  // The now line moves on, and what the board did becomes the past.
  setInterval(() => { if (loggedIn && $('week').open) loadPlan(); }, 60000);

  async function loadRecord() {
    const q = $('rec-all').checked ? '' : `route=${route}&`;
    const r = await api('GET', `/api/record?${q}limit=200`);
    if (r.s !== 200) return;
    // As the window's 记录 has it: the time, the route with its name, then the action and cause.
    $('lines').replaceChildren(...r.d.lines.map((l) => {
      const m = wall(l.time);
      const li = el('li');
      const name = l.route > 0 && state.routes[l.route - 1] ? state.routes[l.route - 1].name : '';
      li.append(el('span', 't', m ? `${m[1]}-${m[2]}-${m[3]} ${m[4]}:${m[5]}:${m[6]}` : l.time),
        el('span', 'r', l.route > 0 ? `${l.route} ${name}`.trim() : ''), el('span', null, l.text));
      return li;
    }));
  }

  async function loadPlan() {
    const r = await api('GET', '/api/plan');
    if (r.s !== 200) return;
    plan = r.d;
    drawWeek();
  }

  const ROW = 26;
  const HEAD = 34;
  const COLOUR = {
    plan: '#2f6fd0', actual: '#1fa046', noLink: '#b8b8b8', mark: '#d01010', now: '#f08000', unknown: '#909090',
  };
  let geometry = null;

  function hatch(g) {
    const c = document.createElement('canvas');
    c.width = c.height = 6;
    const p = c.getContext('2d');
    p.strokeStyle = COLOUR.unknown;
    p.beginPath();
    p.moveTo(0, 6);
    p.lineTo(6, 0);
    p.stroke();
    return g.createPattern(c, 'repeat');
  }

  function drawWeek() {
    const c = $('chart');
    if (!plan || !$('week').open) return;
    const width = c.parentElement.clientWidth;
    const nameW = width < 520 ? 70 : 104;
    const height = HEAD + 16 * ROW;
    const dpr = window.devicePixelRatio || 1;
    c.width = Math.round(width * dpr);
    c.height = Math.round(height * dpr);
    c.style.width = width + 'px';
    c.style.height = height + 'px';
    const g = c.getContext('2d');
    g.setTransform(dpr, 0, 0, dpr, 0, 0);
    const from = Date.parse(plan.from);
    const to = Math.max(Date.parse(plan.to), from + 1);
    const now = Date.parse(plan.now);
    const laneW = width - nameW - 6;
    const x = (ms) => nameW + (Math.min(Math.max(ms, from), to) - from) * laneW / (to - from);
    geometry = { from, to, nameW, laneW };
    g.clearRect(0, 0, width, height);
    g.fillStyle = '#fff';
    g.fillRect(nameW, HEAD, laneW, 16 * ROW);
    g.font = '11px sans-serif';
    g.textBaseline = 'middle';

    // Days from the first midnight, on the program's clock (its offset now).
    const off = offsetOf(plan.now);
    const first = new Date(from + off);
    const today = new Date(now + off).toISOString().slice(0, 10);
    for (let d = 0; ; d++) {
      const day = new Date(Date.UTC(first.getUTCFullYear(), first.getUTCMonth(), first.getUTCDate() + d));
      const start = day.getTime() - off;
      if (start >= to) break;
      const x1 = x(start);
      const x2 = x(start + 86400000);
      for (let h = 0; h < 24; h += 6) {
        const xh = x(start + h * 3600000);
        if (xh <= nameW && h) continue;
        g.fillStyle = h ? '#e2e2e2' : '#909090';
        g.fillRect(Math.round(xh), h ? HEAD - 6 : 0, 1, height - (h ? HEAD - 6 : 0));
        if (h && x2 - x1 > 90) {
          g.fillStyle = '#555';
          g.fillText(two(h), xh + 2, HEAD - 12);
        }
      }
      const label = `${two(day.getUTCMonth() + 1)}-${two(day.getUTCDate())} ${W.weekdays[day.getUTCDay()]}`;
      g.fillStyle = day.toISOString().slice(0, 10) === today ? COLOUR.mark : '#000';
      const fits = g.measureText(label).width + 6 < x2 - x1;
      g.fillText(fits ? label : two(day.getUTCDate()), x1 + 3, 9);
    }

    const pattern = hatch(g);
    const bar = (y, h, a, b, style) => {
      const x1 = x(Date.parse(a));
      const x2 = x(Date.parse(b));
      if (x2 <= x1) return;
      g.fillStyle = style;
      g.fillRect(x1, y, Math.max(1, x2 - x1), h);
    };
    for (const r of plan.routes) {
      const top = HEAD + (r.route - 1) * ROW;
      g.fillStyle = '#e8e8e8';
      g.fillRect(0, top + ROW - 1, width - 6, 1);
      g.fillStyle = '#000';
      let name = `${r.route} ${r.name || W.unnamed}`;
      while (name.length > 1 && g.measureText(name).width > nameW - 8) name = name.slice(0, -1);
      g.fillText(name, 4, top + ROW / 2);
      for (const p of r.plan) {
        if (p.state === 'on') bar(top + 3, 12, p.from, p.to, COLOUR.plan);
        else if (p.state === 'unknown') bar(top + 3, 12, p.from, p.to, pattern);
      }
      for (const p of r.actual) {
        const style = { on: COLOUR.actual, 'no-link': COLOUR.noLink, unknown: pattern }[p.state];
        if (style) bar(top + 17, 6, p.from, p.to, style);
      }
      g.fillStyle = COLOUR.mark;
      for (const m of r.missed) {
        const at = Date.parse(m.at);
        if (at >= from && at < to) g.fillRect(Math.round(x(at)), top + 15, 2, 10);
      }
    }
    if (now >= from && now < to) {
      g.fillStyle = COLOUR.now;
      g.fillRect(Math.round(x(now)) - 1, HEAD - 4, 2, 16 * ROW + 4);
    }
  }

  // What lies under the pointer on the chart, in words; a click also shows the route's page.
  function chartAt(ev) {
    if (!plan || !geometry) return null;
    const box = $('chart').getBoundingClientRect();
    const px = ev.clientX - box.left;
    const py = ev.clientY - box.top;
    const n = Math.floor((py - HEAD) / ROW) + 1;
    if (n < 1 || n > 16) return null;
    const r = plan.routes.find((p) => p.route === n);
    if (!r) return null;
    const { from, to, nameW, laneW } = geometry;
    const ms = from + (px - nameW) * (to - from) / laneW;
    const text = (key) => { const e = entries.find((x) => x.key === key); return e ? entryText(e) : key || ''; };
    const span = (p) => fmt(W.span, moment(p.from), moment(p.to));
    const word = (s) => ({ on: W.onWord, off: W.offWord, 'no-link': W.noLink }[s] || W.unknown);
    const hit = (list) => list.find((p) => Date.parse(p.from) <= ms && ms < Date.parse(p.to));
    let tip = '';
    if (px >= nameW) {
      const reach = 4 * (to - from) / laneW;
      const miss = r.missed.find((m) => Math.abs(Date.parse(m.at) - ms) <= reach);
      if (miss && py - HEAD - (n - 1) * ROW > 14) {
        tip = fmt(W.missed, text(miss.key));
      } else if (py - HEAD - (n - 1) * ROW <= 15) {
        const p = hit(r.plan);
        if (p) tip = `${fmt(W.planned, word(p.state))} ${span(p)}${p.key ? ' · ' + text(p.key) : ''}`;
      } else {
        const p = hit(r.actual);
        if (p) tip = `${fmt(W.actual, word(p.state))} ${span(p)}`;
      }
    }
    return { route: n, tip: `${n} ${r.name || W.unnamed}${tip ? W.colon + tip : ''}` };
  }
  $('chart').addEventListener('mousemove', (ev) => {
    const at = chartAt(ev);
    $('tip').textContent = at ? at.tip : '';
  });
  $('chart').addEventListener('click', (ev) => {
    const at = chartAt(ev);
    if (!at) return;
    $('tip').textContent = at.tip;
    select(at.route);
  });
  window.addEventListener('resize', () => later('draw', drawWeek, 100));

  // --- start: the words, then the state, which also tells whether a login is needed ---
  document.documentElement.lang = zh ? 'zh-CN' : 'en';
  document.title = W.title;
  for (const e of document.querySelectorAll('[data-t]')) e.textContent = W[e.dataset.t];
  start();
})();
