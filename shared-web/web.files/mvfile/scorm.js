// Reports the student's progress to a learning platform (SCORM 1.2) when the course runs inside
// one, and does nothing otherwise (from disk, from a plain web server). Loaded after player.js by
// the player (index.htm) and the course overview (main.htm). Whatever the platform does, its
// errors are caught here: playback never depends on it.
var TovraScorm = (function () {
  'use strict';

  var SEARCH_DEPTH = 10;
  var COMMIT_EVERY_MS = 60000;
  var COMPLETE_AT = 0.95;             // of the lecture's duration
  var HANDOFF = 'tovra.scorm.handoff';  // sessionStorage: the session goes on in the next page

  // The platform's API object: up the frames to the top, then the same from the opener.
  function findIn(win) {
    for (var depth = 0; win && depth < SEARCH_DEPTH; depth++) {
      try {
        if (win.API && typeof win.API.LMSInitialize === 'function') return win.API;
      } catch (e) {
        // A frame of another origin cannot be read; look further up.
      }
      var parent = null;
      try { parent = win.parent; } catch (e) { parent = null; }
      if (!parent || parent === win) break;
      win = parent;
    }
    return null;
  }

  function findApi() {
    var api = findIn(window);
    if (!api) {
      try { if (window.opener) api = findIn(window.opener); } catch (e) { api = null; }
    }
    return api;
  }

  // HHHH:MM:SS.SS, the session time the platform adds to the student's total.
  function timespan(ms) {
    var cs = Math.max(0, Math.round(ms / 10));
    var h = Math.floor(cs / 360000), m = Math.floor(cs / 6000) % 60, s = Math.floor(cs / 100) % 60;
    function pad(n, width) {
      var t = String(n);
      while (t.length < width) t = '0' + t;
      return t;
    }
    return pad(Math.min(h, 9999), 4) + ':' + pad(m, 2) + ':' + pad(s, 2) + '.' + pad(cs % 100, 2);
  }

  // The bookmark: whole seconds into the lecture, or "page=N" in a course without one.
  function parseBookmark(value) {
    var s = String(value == null ? '' : value);
    var m = /^page=(\d+)$/.exec(s);
    if (m && +m[1] >= 1) return { page: +m[1] };
    if (/^\d+$/.test(s) && +s > 0) return { seconds: +s };
    return null;
  }

  function Session(api) {
    this.api = api;
    this.open = false;
    this.finished = false;
  }
  Session.prototype.call = function (name, a, b) {
    if (!this.api || this.finished) return '';
    try {
      var result = this.api[name](a, b);
      return result == null ? '' : String(result);
    } catch (e) {
      return '';
    }
  };
  Session.prototype.get = function (element) { return this.call('LMSGetValue', element); };
  Session.prototype.set = function (element, value) { return this.call('LMSSetValue', element, String(value)); };
  Session.prototype.commit = function () { return this.call('LMSCommit', ''); };

  function loadHandoff() {
    try {
      var stored = JSON.parse(window.sessionStorage.getItem(HANDOFF) || 'null');
      window.sessionStorage.removeItem(HANDOFF);
      return stored && typeof stored.start === 'number' ? stored : null;
    } catch (e) {
      return null;
    }
  }

  function saveHandoff(state) {
    try {
      window.sessionStorage.setItem(HANDOFF, JSON.stringify(state));
      return true;
    } catch (e) {
      return false;
    }
  }

  // A link to another page of the course opened in this window keeps the session going there.
  function staysInCourse(link) {
    if (!link || !link.href || (link.target && link.target !== '_self')) return false;
    try {
      var to = new URL(link.href, location.href), here = new URL('.', location.href);
      return to.origin === location.origin && to.pathname.indexOf(here.pathname) === 0 && /\.html?$/.test(to.pathname);
    } catch (e) {
      return false;
    }
  }

  // Starts talking to the platform, if there is one. `player` is true in the player, which keeps
  // the bookmark and the status; the overview only carries the session on.
  function attach(player) {
    var api = findApi();
    if (!api) return null;
    var session = new Session(api);
    var handoff = loadHandoff();
    var start = handoff ? handoff.start : Date.now();
    var initialized = session.call('LMSInitialize', '') === 'true';
    // A page the session was handed to finds the platform already initialized.
    if (!initialized && !handoff) return null;
    session.open = true;

    var status = session.get('cmi.core.lesson_status');
    var done = status === 'completed' || status === 'passed';
    if (!handoff && (status === '' || status === 'not attempted')) {
      session.set('cmi.core.lesson_status', 'incomplete');
      session.set('cmi.core.exit', 'suspend');
      session.commit();
    }
    var shown = {};
    var suspend = /^shown=([\d,]*)$/.exec(session.get('cmi.suspend_data'));
    if (suspend) {
      suspend[1].split(',').forEach(function (n) { if (+n >= 1) shown[+n] = true; });
    }
    var bookmarkSet = '';
    var leavingInCourse = false;

    function setLocation(value) {
      if (value === bookmarkSet) return;
      bookmarkSet = value;
      session.set('cmi.core.lesson_location', value);
    }

    function complete() {
      if (done) return;
      done = true;
      session.set('cmi.core.lesson_status', 'completed');
      session.commit();
    }

    var video = player ? document.getElementById('lecture') : null;
    var list = player && window.Tovra ? Tovra.pages() : null;
    var framePage = 0;

    function pageShown(n) {
      framePage = n;
      if (video) return;
      setLocation('page=' + n);
      if (shown[n]) return;
      shown[n] = true;
      session.set('cmi.suspend_data', 'shown=' + Object.keys(shown).join(','));
      if (list && list.every(function (p) { return shown[p.number]; })) complete();
    }

    if (video) {
      video.addEventListener('timeupdate', function () {
        var t = video.currentTime;
        setLocation(String(Math.floor(t)));
        if (video.duration > 0 && isFinite(video.duration) && t >= COMPLETE_AT * video.duration) complete();
      });
      video.addEventListener('ended', complete);
    }
    if (player) {
      var frame = document.getElementById('pageframe');
      window.addEventListener('message', function (event) {
        var data = event.data;
        if (!frame || event.source !== frame.contentWindow || !data || data.tovra !== 'page') return;
        var n = parseInt(data.page, 10);
        if (n >= 1) pageShown(n);
      });
    }

    document.addEventListener('click', function (event) {
      var link = event.target && event.target.closest ? event.target.closest('a[href]') : null;
      if (link && !event.defaultPrevented && event.button === 0 && !event.ctrlKey && !event.metaKey &&
          !event.shiftKey) {
        leavingInCourse = staysInCourse(link);
      }
    });

    var timer = window.setInterval(function () { session.commit(); }, COMMIT_EVERY_MS);

    function leave() {
      if (session.finished) return;
      window.clearInterval(timer);
      if (leavingInCourse && saveHandoff({ start: start })) {
        session.commit();
        session.finished = true;  // this page's part is over; the next page goes on
        return;
      }
      session.set('cmi.core.exit', 'suspend');
      session.set('cmi.core.session_time', timespan(Date.now() - start));
      session.commit();
      session.call('LMSFinish', '');
      session.finished = true;
    }
    window.addEventListener('pagehide', leave);
    window.addEventListener('unload', leave);

    var bookmark = !handoff && player && session.get('cmi.core.entry') === 'resume'
      ? parseBookmark(session.get('cmi.core.lesson_location')) : null;
    if (bookmark && (video ? bookmark.seconds : bookmark.page)) offerResume(bookmark, video, function () { return framePage; });

    return { timespan: timespan, session: session };
  }

  // A bar over the page: continue at the bookmark, or start from the beginning.
  function offerResume(bookmark, video, framePage) {
    var stage = document.querySelector('.stage');
    if (!stage) return;
    var bar = document.createElement('div');
    bar.className = 'card resume-offer';
    bar.id = 'resumeoffer';
    bar.setAttribute('role', 'status');
    var words = document.createElement('span');
    words.textContent = video ? Tovra.text('resumeLecture', { t: Tovra.formatTime(bookmark.seconds * 1000) })
      : Tovra.text('resumePage', { n: bookmark.page });
    var yes = document.createElement('button');
    yes.type = 'button';
    yes.id = 'resumeyes';
    yes.textContent = Tovra.text('resumeYes');
    var no = document.createElement('button');
    no.type = 'button';
    no.id = 'resumeno';
    no.textContent = Tovra.text('resumeNo');
    bar.appendChild(words);
    bar.appendChild(yes);
    bar.appendChild(no);
    stage.insertBefore(bar, stage.firstChild);

    function close() { if (bar.parentNode) bar.parentNode.removeChild(bar); }
    no.addEventListener('click', close);
    yes.addEventListener('click', function () {
      close();
      if (video) {
        var go = function () { video.currentTime = Math.min(bookmark.seconds, video.duration || bookmark.seconds); };
        if (video.readyState >= 1) go();
        else video.addEventListener('loadedmetadata', go, { once: true });
        return;
      }
      // The player turns to the page of its address once its page frame is ready.
      var turn = function () { window.location.hash = 'page=' + bookmark.page; };
      if (framePage()) turn();
      else window.setTimeout(function retry() { if (framePage()) turn(); else window.setTimeout(retry, 100); }, 100);
    });
    yes.focus();
  }

  return { attach: attach, timespan: timespan, parseBookmark: parseBookmark };
})();
