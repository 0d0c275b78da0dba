/* Course player script, shared by index.htm (the player), tree.htm (the page index alone),
   main.htm (the course overview) and the start page web.htm.

   It provides the names the generated CourseIndex.js calls (tree, branch, leaf, showBranch)
   and the page-turning client of the player. A course opened from disk makes every file its
   own origin, so the player never touches another frame's document: it sends the page frame
   postMessage commands and listens for its reports (the messages are listed in left.htm).

   Generated scripts any of which may be missing:
     info.js          onload_() fills #coursename and #teachername
     CoursePages.js   var coursePages = [{number, hidden?, title}, ...], the pages in order
     CourseIndex.js   onInit() builds the page index of the recording
     video001.js      var tovraTimeline = [[ms, type, parameter], ...] and var tovraSpace, the
                      recording's commands beside video001.webm, which the player plays
*/

/* ---- Page index: the objects CourseIndex.js builds ------------------------------------ */

var tovraBranches = {};  // branch id -> branch, for showBranch()

function tree() {
  this.items = [];
}
tree.prototype.add = function (item) {
  this.items.push(item);
  return item;
};
tree.prototype.write = function (target) {
  var box = typeof target === 'string' ? document.getElementById(target) : target;
  if (!box || !box.appendChild) return;
  var list = document.createElement('ul');
  list.className = 'tree';
  // Titles repeat when the lecturer went back to a page, so each leaf looks for its page
  // from where the previous leaf's page was found.
  var context = { pages: Tovra.pages(true), from: 0 };
  for (var i = 0; i < this.items.length; i++) list.appendChild(this.items[i].render(context));
  box.textContent = '';
  box.appendChild(list);
  Tovra.indexWritten(box);
};

function branch(id, text) {
  this.id = String(id);
  this.text = text == null ? '' : String(text);
  this.items = [];
  this.open = false;
  this.head = null;
  this.body = null;
  tovraBranches[this.id] = this;
}
branch.prototype.add = tree.prototype.add;
branch.prototype.render = function (context) {
  var item = document.createElement('li');
  item.className = 'branch';
  item.setAttribute('data-branch', this.id);
  var head = document.createElement('button');
  head.type = 'button';
  head.className = 'branch-head';
  head.textContent = Tovra.indexLabel(this.text);
  var body = document.createElement('ul');
  for (var i = 0; i < this.items.length; i++) {
    // A turn on an imported course writes the page left and the page reached at one time: the
    // list shows the page reached, once.
    var child = this.items[i], after = this.items[i + 1];
    if (child instanceof leaf && after instanceof leaf && child.time !== null && child.time === after.time &&
        !child.page) continue;
    body.appendChild(child.render(context));
  }
  var self = this;
  head.addEventListener('click', function () { self.setOpen(!self.open); });
  item.appendChild(head);
  item.appendChild(body);
  this.head = head;
  this.body = body;
  this.setOpen(this.open);
  return item;
};
branch.prototype.setOpen = function (open) {
  this.open = !!open;
  if (!this.head) return;
  this.head.setAttribute('aria-expanded', this.open ? 'true' : 'false');
  this.body.hidden = !this.open;
};

// time: milliseconds into the recording ('0', a number) or none (' '). page and badge are
// for lists the player builds itself, where the page is known without matching titles.
function leaf(text, time, page, badge) {
  this.text = text == null ? '' : String(text);
  this.time = Tovra.parseTime(time);
  this.page = page || 0;
  this.badge = badge || '';
}
leaf.prototype.render = function (context) {
  var item = document.createElement('li');
  var label = Tovra.indexLabel(this.text);
  var page = this.page || Tovra.matchPage(context, this.text);
  var node;
  if (page) {
    node = document.createElement('a');
    node.className = 'leaf-link';
    node.href = 'index.htm#page=' + page;
    node.setAttribute('data-page', String(page));
  } else {
    node = document.createElement('div');
    node.className = 'leaf-info';
    if (this.time !== null) node.title = Tovra.text('notInCourse');
  }
  // Choosing the leaf also takes the recording to data-time.
  if (this.time !== null) node.setAttribute('data-time', String(this.time));
  if (this.badge) node.appendChild(Tovra.span('leaf-num', this.badge));
  node.appendChild(Tovra.span('leaf-text', label.trim()));
  if (this.time !== null) {
    var time = Tovra.span('leaf-time', Tovra.formatTime(this.time));
    time.title = Tovra.text('shownAt', { t: Tovra.formatTime(this.time) });
    node.appendChild(time);
  }
  item.appendChild(node);
  return item;
};

function showBranch(id) {
  var found = tovraBranches[String(id)];
  if (found) found.setOpen(true);
}

/* ---- Shared helpers ------------------------------------------------------------------- */

var Tovra = (function () {
  'use strict';
  var texts = window.TovraText || {};
  var missing = [];
  var onIndexWritten = null;

  function text(key, values) {
    var s = texts[key] == null ? key : String(texts[key]);
    return s.replace(/\{(\w+)\}/g, function (all, name) {
      return values && values[name] != null ? String(values[name]) : all;
    });
  }

  function report(error) {
    var list = window.__playerErrors;
    if (list && list.push) list.push(String((error && error.stack) || error));
  }

  function span(className, content) {
    var s = document.createElement('span');
    s.className = className;
    s.textContent = content;
    return s;
  }

  // The course's pages in order as a show reaches them (hidden slides passed over), or null
  // without a usable CoursePages.js. withHidden: every page, for titles of recorded turns.
  function pages(withHidden) {
    var list = window.coursePages;
    if (!Array.isArray(list)) return null;
    var out = [];
    var seen = {};
    for (var i = 0; i < list.length; i++) {
      var p = list[i] || {};
      var n = parseInt(p.number, 10);
      if (!(n >= 1) || seen[n]) continue;
      seen[n] = true;
      if (p.hidden === true && !withHidden) continue;
      out.push({ number: n, title: p.title == null ? '' : String(p.title) });
    }
    return out.length ? out : null;
  }

  function positionOf(list, number) {
    if (!list) return -1;
    for (var i = 0; i < list.length; i++) if (list[i].number === number) return i;
    return -1;
  }

  // The page after (step 1) or before (step -1) `number`, 0 when there is none. Must agree with
  // fullscreen.htm, which does the turning.
  function neighbour(list, number, step) {
    if (!list) return number + step >= 1 ? number + step : 0;
    var at = positionOf(list, number);
    if (at >= 0) return list[at + step] ? list[at + step].number : 0;
    var best = 0;
    for (var i = 0; i < list.length; i++) {
      var n = list[i].number;
      if (step > 0 ? n > number && (!best || n < best) : n < number && n > best) best = n;
    }
    return best;
  }

  function normal(s) {
    return String(s).replace(/\s+/g, ' ').trim();
  }

  function matchPage(context, label) {
    var list = context.pages;
    var wanted = normal(label);
    if (!list || !wanted) return 0;
    for (var k = 0; k < list.length; k++) {
      var i = (context.from + k) % list.length;
      if (normal(list[i].title) === wanted) {
        context.from = i;
        return list[i].number;
      }
    }
    return 0;
  }

  function indexLabel(label) {
    var table = texts.indexLabels || {};
    var trimmed = normal(label);
    if (Object.prototype.hasOwnProperty.call(table, trimmed)) return table[trimmed];
    for (var word in table) {
      if (Object.prototype.hasOwnProperty.call(table, word) && trimmed.indexOf(word) === 0) {
        return table[word] + trimmed.slice(word.length);
      }
    }
    return label;
  }

  function parseTime(value) {
    if (typeof value === 'string') value = value.trim() === '' ? NaN : Number(value);
    return typeof value === 'number' && isFinite(value) && value >= 0 ? Math.round(value) : null;
  }

  function formatTime(ms) {
    var s = Math.floor(ms / 1000);
    var h = Math.floor(s / 3600);
    var m = Math.floor((s % 3600) / 60);
    var ss = ('0' + (s % 60)).slice(-2);
    return h ? h + ':' + ('0' + m).slice(-2) + ':' + ss : m + ':' + ss;
  }

  // Called by the onerror of a generated script's tag.
  function scriptMissing(name) {
    missing.push(name);
  }

  // Course name and lecturer from info.js, or placeholders.
  function applyInfo() {
    var name = document.getElementById('coursename');
    var lecturer = document.getElementById('teachername');
    if (typeof window.onload_ === 'function') {
      // info.js assigns the names to coursename.innerHTML. The names are what the teacher typed,
      // never markup: onload_ is handed stand-ins whose innerHTML sets the text.
      var saved = {};
      var names = { coursename: name, teachername: lecturer };
      for (var key in names) {
        saved[key] = Object.getOwnPropertyDescriptor(window, key);
        Object.defineProperty(window, key, { configurable: true, writable: true, value: asText(names[key]) });
      }
      try {
        window.onload_();
      } catch (e) {
        report(e);
      } finally {
        for (var k in names) {
          if (saved[k]) Object.defineProperty(window, k, saved[k]);
          else delete window[k];
        }
      }
    }
    var named = fill(name, text('noCourseName'));
    fill(lecturer, text('noLecturer'));
    return named ? normal(name.textContent) : '';
  }

  // An object that takes innerHTML (and textContent) as the plain text of node.
  function asText(node) {
    var target = node || document.createElement('span');
    var stand = {};
    ['innerHTML', 'innerText', 'textContent'].forEach(function (property) {
      Object.defineProperty(stand, property, {
        get: function () { return target.textContent; },
        set: function (value) { target.textContent = value == null ? '' : String(value); }
      });
    });
    return stand;
  }

  function fill(node, placeholder) {
    if (!node) return false;
    if (normal(node.textContent)) {
      node.classList.remove('placeholder');
      return true;
    }
    node.textContent = placeholder;
    node.classList.add('placeholder');
    return false;
  }

  // Fills the page index: the recording's index when CourseIndex.js is there, else the
  // course's page list, else an empty state. Returns which of the three it shows.
  function renderIndex(box) {
    if (typeof window.onInit === 'function') {
      try {
        window.onInit();
      } catch (e) {
        report(e);
      }
      if (box.querySelector('.tree')) return 'recording';
    }
    // An index cut off before its end (a recording that never finished) is no script at all:
    // the recording's own page turns give the same index.
    if (missing.indexOf('CourseIndex.js') < 0 && indexFromTimeline(box)) return 'recording';
    var list = pages();
    if (list) {
      var all = new tree();
      var b = all.add(new branch('tovra-pages', text('contents')));
      for (var i = 0; i < list.length; i++) {
        b.add(new leaf(list[i].title || text('page', { n: list[i].number }), ' ', list[i].number, String(i + 1)));
      }
      b.open = true;
      all.write(box);
      return 'pages';
    }
    box.textContent = '';
    var p = document.createElement('p');
    p.className = 'tree-empty';
    p.textContent = text('noIndex');
    box.appendChild(p);
    return 'empty';
  }

  // The index CourseIndex.js would have built, from the "pages" commands of video001.js: a leaf
  // for each page turned to, at its time, titled from the page list. False without a timeline.
  function indexFromTimeline(box) {
    var entries = missing.indexOf('video001.js') < 0 ? timelineEntries() : null;
    if (!entries) return false;
    var list = pages(true) || [];
    var titles = {};
    for (var i = 0; i < list.length; i++) titles[list[i].number] = list[i].title;
    var all = new tree();
    var b = all.add(new branch('branch2', '\u8bfe\u7a0b\u76ee\u5f55'));  // 课程目录, as the index names it
    var shown = 0;
    for (var k = 0; k < entries.length; k++) {
      if (entries[k].type !== 'pages') continue;
      var page = numbersIn(entries[k].parameter)[0];
      if (!(page >= 1) || page === shown) continue;
      shown = page;
      b.add(new leaf(titles[page] || text('page', { n: page }), entries[k].time, page));
    }
    if (!shown) return false;
    b.open = true;
    all.write(box);
    return true;
  }

  function indexWritten(box) {
    if (onIndexWritten) onIndexWritten(box);
  }

  function pageFromHash() {
    var m = /(?:^#|&)page=(\d+)/.exec(location.hash);
    return m ? parseInt(m[1], 10) : 0;
  }

  function editable(node) {
    return !!node && (node.isContentEditable || /^(INPUT|TEXTAREA|SELECT)$/.test(node.tagName));
  }

  /* ---- The recorded lecture: video001.webm following video001.js ---- */

  // The pen's colours, by the index the recording stores.
  var INK = ['#000000', '#ffffff', '#808080', '#c0c0c0', '#840000', '#ff0000', '#848200', '#ffff00',
             '#008200', '#00ff00', '#008284', '#00ffff', '#000084', '#0000ff', '#840084', '#ff00ff'];

  function numbersIn(s) {
    var found = String(s).match(/-?\d+/g) || [];
    for (var i = 0; i < found.length; i++) found[i] = parseInt(found[i], 10);
    return found;
  }

  // tovraTimeline as {time, type, parameter} in time order, or null without one.
  function timelineEntries() {
    var list = window.tovraTimeline;
    if (!Array.isArray(list)) return null;
    var out = [];
    for (var i = 0; i < list.length; i++) {
      var e = list[i];
      if (!Array.isArray(e) || e.length < 3) continue;
      var t = Number(e[0]);
      if (!isFinite(t) || t < 0) continue;
      out.push({ time: t, type: String(e[1]), parameter: String(e[2]), order: i });
    }
    out.sort(function (a, b) { return a.time - b.time || a.order - b.order; });
    return out;
  }

  // A stroke "c,0,"'m x,y l x,y,x,y ...'>"": colour index and points.
  function parseStroke(parameter) {
    var colour = parseInt(parameter, 10);
    var at = parameter.indexOf("'m");
    var n = at < 0 ? [] : numbersIn(parameter.slice(at + 2));
    var points = [];
    for (var i = 0; i + 1 < n.length; i += 2) points.push({ x: n[i], y: n[i + 1] });
    return { colour: colour >= 0 && colour < INK.length ? colour : 0, points: points };
  }

  // What the lecture shows at a time: the page and step, the pointer, and the ink on the page.
  function LectureState() {
    this.page = 0;
    this.step = 0;
    this.pointer = null;  // {x, y, time}
    this.strokes = [];    // {colour, points, time}
    this.inkVersion = 0;
  }
  LectureState.prototype.apply = function (e) {
    var n;
    if (e.type === 'pages') {
      n = numbersIn(e.parameter);
      if (!(n[0] >= 1)) return;
      // The ink belongs to the page it was drawn on.
      if (n[0] !== this.page && this.strokes.length) {
        this.strokes = [];
        this.inkVersion++;
      }
      this.page = n[0];
      this.step = n[1] || 0;
    } else if (e.type === 'script') {
      n = numbersIn(e.parameter);
      if (n.length >= 2) this.pointer = { x: n[0], y: n[1], time: e.time };
    } else if (e.type === 'dpaths') {
      var stroke = parseStroke(e.parameter);
      if (stroke.points.length < 2) return;
      stroke.time = e.time;
      this.strokes.push(stroke);
      this.inkVersion++;
    }
  };

  // Where a recorded position lies over the page frame (w x h). Imported courses record 720 x 540
  // slide points, placed on the slide as it is fitted into the frame; blank courses record the
  // view's pixels, and their pages lay out a 4:3 sheet min(94vw, 125vh) wide in the middle, so a
  // position keeps its place on the sheet when it is scaled about the middle.
  function Placement(space) {
    this.space = space && typeof space === 'object' ? space : { kind: 'view', sizes: [] };
    this.slideAspect = 4 / 3;
  }
  Placement.prototype.viewAt = function (time) {
    var sizes = Array.isArray(this.space.sizes) ? this.space.sizes : [];
    var found = null;
    for (var i = 0; i < sizes.length; i++) {
      var s = sizes[i];
      if (Array.isArray(s) && s.length >= 3 && s[1] > 0 && s[2] > 0 && (!found || s[0] <= time)) found = s;
    }
    return found ? { w: found[1], h: found[2] } : null;
  };
  // A function from recorded positions to frame pixels, and the scale of a recorded pixel.
  Placement.prototype.mapper = function (w, h, time) {
    if (this.space.kind === 'slide') {
      var sw = Number(this.space.width) || 720, sh = Number(this.space.height) || 540;
      var scale = Math.min(w / this.slideAspect, h);
      var fw = Math.round(scale * this.slideAspect), fh = Math.round(scale);
      var left = Math.floor((w - fw) / 2), top = Math.floor((h - fh) / 2);
      return { scale: fw / sw, at: function (p) { return { x: left + p.x * fw / sw, y: top + p.y * fh / sh }; } };
    }
    var view = this.viewAt(time) || { w: w, h: h };
    var k = Math.min(0.94 * w, 1.25 * h) / Math.min(0.94 * view.w, 1.25 * view.h);
    if (!(k > 0) || !isFinite(k)) k = 1;
    return { scale: k, at: function (p) { return { x: w / 2 + (p.x - view.w / 2) * k, y: h / 2 + (p.y - view.h / 2) * k }; } };
  };

  // Plays the recording in the recording panel and makes the page frame follow its timeline.
  // send(message) gives the page frame a command; shownPage() is the page it last reported.
  function Lecture(panel, frame, entries, space, send, shownPage) {
    var video = document.createElement('video');
    video.id = 'lecture';
    video.controls = true;
    video.preload = 'metadata';
    video.setAttribute('playsinline', '');
    video.setAttribute('aria-label', text('lecture'));
    video.src = 'video001.webm';
    panel.insertBefore(video, panel.firstChild);
    // A click on the picture (not on its controls) shows it larger, another or Escape as it was.
    video.addEventListener('click', function (event) {
      if (event.offsetY > video.clientHeight - 48) return;
      event.preventDefault();
      video.classList.toggle('enlarged');
    });
    document.addEventListener('keydown', function (event) {
      if (event.key === 'Escape') video.classList.remove('enlarged');
    });

    var ink = document.createElement('div');
    ink.className = 'lecture-ink';
    ink.setAttribute('aria-hidden', 'true');
    var canvas = document.createElement('canvas');
    canvas.id = 'lectureink';
    var pointer = document.createElement('img');
    pointer.id = 'lecturepointer';
    pointer.alt = '';
    pointer.src = 'image/Cursor.gif';
    pointer.hidden = true;
    ink.appendChild(canvas);
    ink.appendChild(pointer);
    frame.parentNode.appendChild(ink);

    var placement = new Placement(space);
    var state = new LectureState();
    var next = 0;        // entries before this one are in state
    var lastTime = 0;
    var sentPage = 0;    // the page this lecture last turned to
    var askedAhead = 0;  // the page the frame was last asked to load ahead of its turn
    var askedAt = 0;     // when (performance.now()), until the frame answers
    var lead = 0;        // ms a message takes to the page frame: turns are sent that early
    var drawn = null;    // what the canvas shows: [inkVersion, width, height, page]
    var running = false;

    this.video = video;

    function layout() {
      ink.style.left = frame.offsetLeft + 'px';
      ink.style.top = frame.offsetTop + 'px';
      ink.style.width = frame.offsetWidth + 'px';
      ink.style.height = frame.offsetHeight + 'px';
      return { w: frame.clientWidth, h: frame.clientHeight };
    }

    function render() {
      var size = layout();
      // Pointer and ink belong to the lecture's page; a page the student turned to has neither.
      var onPage = state.page === 0 || shownPage() === state.page;
      if (state.pointer && onPage) {
        var p = placement.mapper(size.w, size.h, state.pointer.time).at(state.pointer);
        pointer.style.left = Math.round(p.x) + 'px';
        pointer.style.top = Math.round(p.y) + 'px';
        pointer.hidden = false;
      } else {
        pointer.hidden = true;
      }
      var page = onPage ? state.page : -1;
      if (drawn && drawn[0] === state.inkVersion && drawn[1] === size.w && drawn[2] === size.h && drawn[3] === page) return;
      drawn = [state.inkVersion, size.w, size.h, page];
      var ratio = window.devicePixelRatio || 1;
      canvas.width = Math.max(1, Math.round(size.w * ratio));
      canvas.height = Math.max(1, Math.round(size.h * ratio));
      var g = canvas.getContext('2d');
      g.setTransform(ratio, 0, 0, ratio, 0, 0);
      g.clearRect(0, 0, size.w, size.h);
      if (!onPage) return;
      g.lineCap = 'round';
      g.lineJoin = 'round';
      for (var i = 0; i < state.strokes.length; i++) {
        var stroke = state.strokes[i];
        var map = placement.mapper(size.w, size.h, stroke.time);
        g.strokeStyle = INK[stroke.colour];
        g.lineWidth = Math.max(2, Math.min(6, 2 * map.scale));
        g.beginPath();
        for (var j = 0; j < stroke.points.length; j++) {
          var q = map.at(stroke.points[j]);
          if (j) g.lineTo(q.x, q.y);
          else g.moveTo(q.x, q.y);
        }
        g.stroke();
      }
    }

    // Brings the state to the video's time; going back in time starts again from the beginning.
    function sync(force) {
      var t = video.currentTime * 1000 + 0.5;
      if (t < lastTime) {
        state = new LectureState();
        next = 0;
        drawn = null;
        askedAhead = 0;
        force = true;
      }
      lastTime = t;
      while (next < entries.length && entries[next].time <= t) state.apply(entries[next++]);
      // While playing, a turn goes out as early as the frames take to pass it on and answer.
      var due = state.page;
      for (var i = next; running && i < entries.length && entries[i].time <= t + lead; i++) {
        var n = entries[i].type === 'pages' ? numbersIn(entries[i].parameter)[0] : 0;
        if (n >= 1) due = n;
      }
      // A turn of the lecture's own, or after a jump in time a page the student turned away to.
      if (due && (due !== sentPage || force)) {
        sentPage = due;
        if (shownPage() !== due) send({ tovra: 'goto', page: due });
      }
      // The next turn's page loads out of sight beforehand, so that it shows on time.
      var ahead = upcoming(t);
      if (ahead && ahead !== askedAhead) {
        askedAhead = ahead;
        askedAt = window.performance ? performance.now() : 0;
        send({ tovra: 'preload', page: ahead });
      }
      render();
    }

    // The page of the next turn within two seconds of t, or 0.
    function upcoming(t) {
      for (var i = next; i < entries.length && entries[i].time <= t + 2000; i++) {
        if (entries[i].type !== 'pages') continue;
        var n = numbersIn(entries[i].parameter)[0];
        if (n >= 1 && n !== state.page && n !== shownPage()) return n;
      }
      return 0;
    }

    function tick() {
      if (!running) return;
      sync(false);
      window.requestAnimationFrame(tick);
    }

    video.addEventListener('play', function () {
      // Playing on takes the student back to the lecture's page.
      sync(true);
      if (!running) {
        running = true;
        window.requestAnimationFrame(tick);
      }
    });
    video.addEventListener('pause', function () { running = false; sync(false); });
    video.addEventListener('ended', function () { running = false; sync(false); });
    video.addEventListener('seeking', function () { sync(true); });
    video.addEventListener('seeked', function () { sync(true); });
    video.addEventListener('timeupdate', function () { if (!running) sync(false); });
    video.addEventListener('error', function () {
      running = false;
      panel.setAttribute('data-state', 'unplayable');
      showStateWords(panel);
      video.hidden = true;
      ink.hidden = true;
    });
    window.addEventListener('resize', render);

    // The moment to play from for a page the index says was shown at `time`: the page turn the
    // timeline has for it, which the recorder notes up to half a second after the index.
    this.timeOfPage = function (page, time) {
      for (var i = 0; i < entries.length; i++) {
        var e = entries[i];
        if (e.time > time + 1000) break;
        if (e.type === 'pages' && e.time >= time - 600 && numbersIn(e.parameter)[0] === page) return e.time;
      }
      return time;
    };
    // Returns the lecture's page at the new time (0 before the first).
    this.seek = function (ms) {
      video.currentTime = Math.max(0, ms) / 1000;
      sync(true);
      return state.page;
    };
    this.pageShown = function () { render(); };
    // The page frame's answer to a preload. A turn shows when its message reaches the frame, one
    // way of the round trip; the fastest trip seen counts (a slow one is the machine busy for a
    // moment, and leading by it would turn pages early), at most an eighth of a second.
    this.answered = function () {
      if (!askedAt) return;
      var oneWay = (performance.now() - askedAt) / 2;
      askedAt = 0;
      lead = Math.min(125, lead ? Math.min(lead, oneWay) : oneWay);
    };
    this.slideShape = function (width, height) {
      if (width > 0 && height > 0) {
        placement.slideAspect = width / height;
        drawn = null;
        render();
      }
    };
  }

  /* ---- The player (index.htm) ---- */

  function startPlayer() {
    var frame = document.getElementById('pageframe');
    var indexBox = document.getElementById('showtree');
    var prev = document.getElementById('prevpage');
    var next = document.getElementById('nextpage');
    var where = document.getElementById('pageinfo');
    var list = pages();
    var current = list ? list[0].number : 1;
    var reported = false;
    var wanted = pageFromHash();

    var name = applyInfo();
    if (name) document.title = name;

    function send(message) {
      if (frame.contentWindow) frame.contentWindow.postMessage(message, '*');
    }
    function goTo(n) {
      if (n >= 1) send({ tovra: 'goto', page: n });
    }

    function markCurrent() {
      var links = indexBox.querySelectorAll('.leaf-link');
      var first = null;
      for (var i = 0; i < links.length; i++) {
        var on = parseInt(links[i].getAttribute('data-page'), 10) === current;
        links[i].classList.toggle('current', on);
        if (on) {
          links[i].setAttribute('aria-current', 'page');
          if (!first) first = links[i];
        } else {
          links[i].removeAttribute('aria-current');
        }
      }
      // Scroll only the index: scrollIntoView would move a narrow window away from the page.
      if (first) {
        var box = indexBox.getBoundingClientRect();
        var row = first.getBoundingClientRect();
        if (row.top < box.top) indexBox.scrollTop -= box.top - row.top + 8;
        else if (row.bottom > box.bottom) indexBox.scrollTop += row.bottom - box.bottom + 8;
      }
    }

    function update() {
      var at = positionOf(list, current);
      where.textContent = at >= 0 ? text('pageOf', { n: at + 1, total: list.length }) : text('page', { n: current });
      prev.disabled = !neighbour(list, current, -1);
      next.disabled = !neighbour(list, current, 1);
      markCurrent();
      if (reported) {
        try {
          history.replaceState(null, '', '#page=' + current);
        } catch (e) {
          // Some browsers refuse to rewrite file:// addresses; the page number is only a bookmark.
        }
      }
    }

    onIndexWritten = markCurrent;
    var shown = renderIndex(indexBox);
    document.documentElement.setAttribute('data-index', shown);
    var lecture = showRecordingState(frame, send, function () { return current; });

    window.addEventListener('message', function (event) {
      if (event.source !== frame.contentWindow) return;
      var data = event.data;
      if (data && data.tovra === 'layout' && lecture) lecture.slideShape(Number(data.width), Number(data.height));
      // The page on show with its content (a turn is reported before its page has loaded).
      if (data && data.tovra === 'shown') frame.setAttribute('data-shown', String(parseInt(data.page, 10) || 0));
      if (data && data.tovra === 'preloaded' && lecture) lecture.answered();
      if (!data || data.tovra !== 'page') return;
      var n = parseInt(data.page, 10);
      if (!(n >= 1)) return;
      current = n;
      if (!reported) {
        // The first report says the page frame is ready: now a page asked for in the address
        // can be shown.
        reported = true;
        if (wanted && wanted !== n) goTo(wanted);
      }
      update();
      if (lecture) lecture.pageShown();
    });

    prev.addEventListener('click', function () { send({ tovra: 'prev' }); });
    next.addEventListener('click', function () { send({ tovra: 'next' }); });

    indexBox.addEventListener('click', function (event) {
      var link = event.target.closest ? event.target.closest('.leaf-link') : null;
      if (!link || event.button !== 0 || event.ctrlKey || event.metaKey || event.shiftKey) return;
      event.preventDefault();
      var page = parseInt(link.getAttribute('data-page'), 10);
      var time = parseTime(link.getAttribute('data-time'));
      // The recording goes to the moment the page was taught, and takes the page along.
      if (lecture && time !== null && lecture.seek(lecture.timeOfPage(page, time)) === page) return;
      goTo(page);
    });

    window.addEventListener('hashchange', function () {
      var n = pageFromHash();
      if (n && n !== current) goTo(n);
    });

    document.addEventListener('keydown', function (event) {
      if (event.defaultPrevented || event.altKey || event.ctrlKey || event.metaKey || editable(event.target)) return;
      switch (event.key) {
        case 'ArrowRight':
        case 'PageDown':
          send({ tovra: 'next' });
          break;
        case 'ArrowLeft':
        case 'PageUp':
          send({ tovra: 'prev' });
          break;
        case 'Home':
          goTo(list ? list[0].number : 1);
          break;
        case 'End':
          if (!list) return;
          goTo(list[list.length - 1].number);
          break;
        default:
          return;
      }
      event.preventDefault();
    });

    update();
  }

  // Recording panel: a recording made for today's browsers has video001.js beside video001.webm,
  // and plays here; an older one has only CourseIndex.js beside video001.wmv, which browsers
  // cannot play. Returns the lecture, or null.
  function showRecordingState(frame, send, shownPage) {
    var panel = document.getElementById('videopanel');
    if (!panel) return null;
    var entries = missing.indexOf('video001.js') < 0 ? timelineEntries() : null;
    var recorded = typeof window.onInit === 'function' && missing.indexOf('CourseIndex.js') < 0;
    panel.setAttribute('data-state', entries ? 'ready' : recorded ? 'unplayable' : 'none');
    showStateWords(panel);
    return entries ? new Lecture(panel, frame, entries, window.tovraSpace, send, shownPage) : null;
  }

  function showStateWords(panel) {
    var states = panel.querySelectorAll('[data-when]');
    for (var i = 0; i < states.length; i++) {
      states[i].hidden = states[i].getAttribute('data-when') !== panel.getAttribute('data-state');
    }
  }

  /* ---- The page index alone (tree.htm) and the overview (main.htm) ---- */

  function startIndex() {
    var name = applyInfo();
    if (name) document.title = name + ' \u00b7 ' + document.title;
    document.documentElement.setAttribute('data-index', renderIndex(document.getElementById('showtree')));
  }

  function startOverview() {
    var name = applyInfo();
    if (name) document.title = name + ' \u00b7 ' + document.title;
    var box = document.getElementById('pagelist');
    var list = pages();
    if (!list) {
      var p = document.createElement('p');
      p.className = 'tree-empty';
      p.textContent = text('noIndex');
      box.parentNode.replaceChild(p, box);
      return;
    }
    for (var i = 0; i < list.length; i++) {
      var item = document.createElement('li');
      var link = document.createElement('a');
      link.href = 'index.htm#page=' + list[i].number;
      link.appendChild(span('leaf-num', String(i + 1)));
      link.appendChild(span('leaf-text', list[i].title || text('page', { n: list[i].number })));
      item.appendChild(link);
      box.appendChild(item);
    }
  }

  return {
    text: text,
    span: span,
    pages: pages,
    matchPage: matchPage,
    indexLabel: indexLabel,
    parseTime: parseTime,
    formatTime: formatTime,
    scriptMissing: scriptMissing,
    applyInfo: applyInfo,
    indexWritten: indexWritten,
    startPlayer: startPlayer,
    startIndex: startIndex,
    startOverview: startOverview
  };
})();
