/* Course player script, shared by index.htm (the player), tree.htm (the page index alone),
   main.htm (the course overview) and the start page web.htm.

   It provides the names the generated CourseIndex.js calls (tree, branch, leaf, showBranch)
   and the page-turning client of the player. A course opened from disk makes every file its
   own origin, so the player never touches another frame's document: it sends the page frame
   postMessage commands and listens for its reports (the messages are listed in left.htm).

   Generated scripts any of which may be missing:
     info.js          onload_() fills #coursename and #teachername
     CoursePages.js   var coursePages = [{number, title}, ...], the pages in order
     CourseIndex.js   onInit() builds the page index of the recording
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
  var context = { pages: Tovra.pages(), from: 0 };
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
  for (var i = 0; i < this.items.length; i++) body.appendChild(this.items[i].render(context));
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
  // The later timeline seeks the recording to data-time when a leaf is chosen.
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

  // The course's pages in order, or null without a usable CoursePages.js.
  function pages() {
    var list = window.coursePages;
    if (!Array.isArray(list)) return null;
    var out = [];
    var seen = {};
    for (var i = 0; i < list.length; i++) {
      var p = list[i] || {};
      var n = parseInt(p.number, 10);
      if (!(n >= 1) || seen[n]) continue;
      seen[n] = true;
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
    if (typeof window.onload_ === 'function') {
      try {
        window.onload_();
      } catch (e) {
        report(e);
      }
    }
    var name = document.getElementById('coursename');
    var lecturer = document.getElementById('teachername');
    var named = fill(name, text('noCourseName'));
    fill(lecturer, text('noLecturer'));
    return named ? normal(name.textContent) : '';
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
    showRecordingState();

    window.addEventListener('message', function (event) {
      if (event.source !== frame.contentWindow) return;
      var data = event.data;
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
    });

    prev.addEventListener('click', function () { send({ tovra: 'prev' }); });
    next.addEventListener('click', function () { send({ tovra: 'next' }); });

    indexBox.addEventListener('click', function (event) {
      var link = event.target.closest ? event.target.closest('.leaf-link') : null;
      if (!link || event.button !== 0 || event.ctrlKey || event.metaKey || event.shiftKey) return;
      event.preventDefault();
      // The later timeline also seeks the recording to link's data-time here.
      goTo(parseInt(link.getAttribute('data-page'), 10));
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

  // Recording panel: a course with a recording has CourseIndex.js beside video001.wmv, which
  // browsers cannot play. The later player plays video001.webm in #videoscreen instead.
  function showRecordingState() {
    var panel = document.getElementById('videopanel');
    if (!panel) return;
    var recorded = typeof window.onInit === 'function' && missing.indexOf('CourseIndex.js') < 0;
    panel.setAttribute('data-state', recorded ? 'unplayable' : 'none');
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
