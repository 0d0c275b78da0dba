/* Page editor of a blank course, shared by the English and Chinese ZonEdit.htm (the two copies
   are the same file). ZonEdit.htm sets ZONEDIT_TEXT, the texts in its language, before this.

   The program opens ZonEdit.htm?open=<page address> and then relies on these names, which
   therefore must not change: the frame "Editor" (Editor.document, Editor.focus()), getTable(),
   AppendTable(), AppendTable0(tx1, tx2), DeleteTable(), selectRange(), the object edit with
   parentElement(), SaveData(bSave), SaveEdit() and the fields mytext and mypath, which SaveEdit()
   fills with the whole page file and its path for the program to write. zonEdit.modified() tells
   the program whether there are changes to save before the editor page goes.

   Undo keeps its own history of the edited content: the table functions and the source view
   change the page directly, which the browser's own undo cannot follow. */

var rows = null; // the caret's table row, set by getTable()
var edit = null; // stands in for the selection range object of the page

(function () {
  'use strict';

  var T = window.ZONEDIT_TEXT || {};
  var EDIT_STYLE_ID = 'tovra-edit-style';
  var SIZE_MARK = 'tovra-size-mark';
  var SIZES = [0.8, 1, 1.25, 1.6, 2.2];
  var HISTORY_MAX = 200;
  var TYPING_PAUSE = 500; // ms of quiet after which typed text becomes one undo step

  var frame = null;      // the iframe element
  var doc = null;        // its document, once it is ready for editing
  var root = null;       // the editable element: the page's <main>, or its body
  var page = { url: '', path: '', name: '', folder: '' };
  var savedRange = null; // last caret inside the root, for when the page has lost its focus
  var sourceOpen = false;
  var sourceShown = '';  // the text the source view started with
  var lastColor = '#c62828';
  var steps = [];        // undo steps: the root's content and the caret
  var stepAt = -1;       // the step on show
  var stepsBase = '';    // the whole page text the steps' content belongs to
  var cleanText = null;  // the page as its file read when it was opened, for modified()
  var typingTimer = 0;
  var messageTimer = 0;
  var controls = {};     // toolbar controls by name

  window.__editorErrors = [];
  window.addEventListener('error', function (e) {
    window.__editorErrors.push(String(e.message) + ' (' + e.filename + ':' + e.lineno + ')');
  });

  function $(id) { return document.getElementById(id); }

  function format(text, values) {
    return String(text || '').replace(/\{(\w+)\}/g, function (all, key) {
      return values && values[key] != null ? values[key] : all;
    });
  }

  function escapeHtml(text) {
    return String(text).replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;')
      .replace(/"/g, '&quot;');
  }

  // ---- The page address --------------------------------------------------------------------

  // Each run of escapes on its own, so that a "%" of the folder name itself stays as it is.
  function decode(text) {
    return text.replace(/(%[0-9a-f]{2})+/gi, function (run) {
      try { return decodeURIComponent(run); } catch (e) { return run; }
    });
  }

  // Everything after "open=" is the page address, given raw: it may hold spaces, "#" (which the
  // browser takes for the start of a fragment) and letters of any script.
  function readAddress() {
    var href = location.href;
    var query = href.indexOf('?');
    if (query < 0) return null;
    var found = /(^|[?&])open=/.exec(href.slice(query));
    if (!found) return null;
    var raw = href.slice(query + found.index + found[0].length);
    if (!raw) return null;
    var text = decode(raw);
    var result = { url: raw, path: text };
    if (/^file:/i.test(text)) {
      result.path = text.replace(/^file:(\/\/[^\/]*)?/i, '');
      result.url = 'file://' + result.path.split('/').map(encodeURIComponent).join('/');
    }
    var cut = result.path.lastIndexOf('/');
    result.name = result.path.slice(cut + 1);
    result.folder = cut > 0 ? result.path.slice(0, cut) : '/';
    return result;
  }

  // ---- Selection ---------------------------------------------------------------------------

  function ready() { return !!(doc && root && root.isConnected); }

  function selection() { return doc ? doc.getSelection() : null; }

  function inRoot(range) {
    return !!(range && root && root.contains(range.startContainer) && root.contains(range.endContainer));
  }

  function liveRange() {
    var s = selection();
    if (!s || !s.rangeCount) return null;
    var r = s.getRangeAt(0);
    return inRoot(r) ? r : null;
  }

  function rememberSelection() {
    var r = liveRange();
    if (r) savedRange = r.cloneRange();
  }

  function endOfRoot() {
    var r = doc.createRange();
    r.selectNodeContents(root);
    r.collapse(false);
    return r;
  }

  function focusEditor() {
    if (!frame || !frame.contentWindow) return;
    frame.contentWindow.focus();
    if (root && root !== doc.body && doc.activeElement !== root) root.focus({ preventScroll: true });
  }

  // Gives the page the focus with its caret where it was: a click on the toolbar, a prompt or
  // the program's own calls may have taken the focus away.
  function restoreSelection() {
    if (!ready()) return null;
    var live = liveRange();
    var r = live ? live.cloneRange() : (inRoot(savedRange) ? savedRange : endOfRoot());
    focusEditor();
    var s = selection();
    s.removeAllRanges();
    s.addRange(r);
    savedRange = r.cloneRange();
    return r;
  }

  function placeCaret(node, atEnd, selectAll) {
    var r = doc.createRange();
    r.selectNodeContents(node);
    if (!selectAll) r.collapse(!atEnd);
    focusEditor();
    var s = selection();
    s.removeAllRanges();
    s.addRange(r);
    savedRange = r.cloneRange();
  }

  function caretElement() {
    var r = liveRange() || (inRoot(savedRange) ? savedRange : null);
    if (!r) return null;
    var n = r.commonAncestorContainer;
    return n.nodeType === 1 ? n : n.parentElement;
  }

  function closest(el, tag) {
    for (; el && el !== root && el !== doc.body; el = el.parentElement) if (el.tagName === tag) return el;
    return null;
  }

  // Child index path from the root to a node, to find the caret again after an undo.
  function pathTo(node) {
    var path = [];
    for (; node && node !== root; node = node.parentNode) {
      if (!node.parentNode) return null;
      path.unshift(Array.prototype.indexOf.call(node.parentNode.childNodes, node));
    }
    return node === root ? path : null;
  }

  function follow(path) {
    var node = root;
    for (var i = 0; path && i < path.length; i++) {
      node = node.childNodes[path[i]];
      if (!node) return null;
    }
    return path ? node : null;
  }

  function saveCaret() {
    var r = liveRange() || (inRoot(savedRange) ? savedRange : null);
    if (!r) return null;
    return { start: pathTo(r.startContainer), so: r.startOffset, end: pathTo(r.endContainer), eo: r.endOffset };
  }

  function loadCaret(saved) {
    var r = doc.createRange();
    try {
      var start = saved && follow(saved.start), end = saved && follow(saved.end);
      if (!start || !end) throw new Error('gone');
      r.setStart(start, saved.so);
      r.setEnd(end, saved.eo);
    } catch (e) {
      r = endOfRoot();
    }
    focusEditor();
    var s = selection();
    s.removeAllRanges();
    s.addRange(r);
    savedRange = r.cloneRange();
  }

  // ---- Undo history ------------------------------------------------------------------------

  function commit() {
    clearTimeout(typingTimer);
    typingTimer = 0;
    if (!ready()) return;
    var entry = { html: root.innerHTML, caret: saveCaret(), base: stepsBase };
    var top = steps[stepAt];
    if (top && top.html === entry.html && top.base === entry.base) {
      top.caret = entry.caret;
    } else {
      steps.splice(stepAt + 1);
      steps.push(entry);
      if (steps.length > HISTORY_MAX) steps.shift();
      stepAt = steps.length - 1;
    }
    updateState();
  }

  function flushTyping() { if (typingTimer) commit(); }

  function resetHistory() {
    stepsBase = serialize();
    steps = [];
    stepAt = -1;
    commit();
  }

  function goHistory(step) {
    if (!ready() || sourceOpen) return;
    flushTyping();
    var target = steps[stepAt + step];
    if (!target) return;
    stepAt += step;
    if (target.base !== stepsBase) {
      // The step crosses a change made in the source view: bring back that whole page first.
      replaceDocument(target.base);
      stepsBase = target.base;
    }
    root.innerHTML = target.html;
    loadCaret(target.caret);
    updateState();
  }

  function undo() { goHistory(-1); }
  function redo() { goHistory(1); }

  // ---- Commands ------------------------------------------------------------------------------

  function afterChange() {
    convertSizeMarks();
    commit();
    rememberSelection();
  }

  function exec(command, value, withCss) {
    if (!ready() || sourceOpen) return false;
    flushTyping();
    restoreSelection();
    var ok = false;
    try {
      doc.execCommand('styleWithCSS', false, !!withCss);
      ok = doc.execCommand(command, false, value == null ? null : value);
    } catch (e) {
      ok = false;
    }
    afterChange();
    return ok;
  }

  function insertHtml(html) { return exec('insertHTML', html); }

  // The browser's insertHTML copies the styles around the caret onto what it inserts (a fixed
  // font size on a picture, say); elements the editor makes itself go in as they are.
  function insertInline(node) {
    if (!ready() || sourceOpen) return false;
    flushTyping();
    var r = restoreSelection();
    r.deleteContents();
    r.insertNode(node);
    r.setStartAfter(node);
    r.collapse(true);
    var s = selection();
    s.removeAllRanges();
    s.addRange(r);
    afterChange();
    return true;
  }

  // The top-level block (paragraph, heading, list, table) that holds a node.
  function blockOf(node) {
    for (; node && node.parentNode && node.parentNode !== root; node = node.parentNode) { /* up */ }
    return node && node.parentNode === root ? node : null;
  }

  function isEmptyBlock(el) {
    return el.nodeType === 1 && !/\S/.test(el.textContent) && !el.querySelector('img, table, video, iframe, hr');
  }

  // Puts a block before the caret's block when the caret is at its start, in place of it when it
  // is empty, and after it otherwise: a table never splits a sentence.
  function insertBlock(node) {
    if (!ready() || sourceOpen) return false;
    flushTyping();
    var r = restoreSelection();
    var block = blockOf(r.startContainer);
    if (!block || block === root) {
      root.appendChild(doc.createTextNode('\n'));
      root.appendChild(node);
    } else if (isEmptyBlock(block)) {
      root.replaceChild(node, block);
    } else {
      var before = doc.createRange();
      before.setStart(block, 0);
      before.setEnd(r.startContainer, r.startOffset);
      var atStart = !/\S/.test(before.toString()) && !before.cloneContents().querySelector('img');
      root.insertBefore(node, atStart ? block : block.nextSibling);
      root.insertBefore(doc.createTextNode('\n'), node);
    }
    return true;
  }

  // Sizes are kept in em, so that the text still grows with the sheet, which scales with the
  // window. The browser's own size command knows only fixed sizes: mark the text with a font
  // face, then turn each mark into a span sized relative to the sizes around it.
  function setSize(factor) {
    if (!ready() || sourceOpen) return;
    pendingSize = factor;
    exec('fontName', SIZE_MARK, false);
  }

  function emFactor(el) {
    var f = 1;
    for (; el && el !== root && el !== doc.body; el = el.parentElement) {
      var m = /^([\d.]+)em$/.exec(el.style && el.style.fontSize || '');
      if (m) f *= parseFloat(m[1]);
    }
    return f;
  }

  var pendingSize = 1; // the size last chosen, also for text typed after choosing it
  function convertSizeMarks() {
    if (!ready()) return;
    var marks = root.querySelectorAll('font[face="' + SIZE_MARK + '"]');
    if (!marks.length) return;
    var r = liveRange();
    var keep = r && { sc: r.startContainer, so: r.startOffset, ec: r.endContainer, eo: r.endOffset };
    Array.prototype.forEach.call(marks, function (mark) {
      var inner = mark.querySelectorAll('[style]');
      Array.prototype.forEach.call(inner, function (el) {
        el.style.fontSize = '';
        if (!el.getAttribute('style')) el.removeAttribute('style');
      });
      var relative = Math.round(pendingSize / emFactor(mark.parentElement) * 1000) / 1000;
      var span = doc.createElement('span');
      if (Math.abs(relative - 1) > 0.001) span.style.fontSize = relative + 'em';
      while (mark.firstChild) span.appendChild(mark.firstChild);
      mark.parentNode.replaceChild(span, mark);
      Array.prototype.forEach.call(span.querySelectorAll('span:not([style]):not([class])'), unwrap);
      if (!span.getAttribute('style')) unwrap(span);
    });
    if (keep && keep.sc.isConnected && keep.ec.isConnected) {
      var s = selection();
      var nr = doc.createRange();
      try {
        nr.setStart(keep.sc, keep.so);
        nr.setEnd(keep.ec, keep.eo);
        s.removeAllRanges();
        s.addRange(nr);
      } catch (e) { /* the caret stays where the browser put it */ }
    }
  }

  function unwrap(el) {
    var parent = el.parentNode;
    if (!parent) return;
    while (el.firstChild) parent.insertBefore(el.firstChild, el);
    parent.removeChild(el);
  }

  function setColor(color) {
    lastColor = color;
    exec('foreColor', color, true);
    closePopups();
  }

  function insertLink() {
    if (!ready() || sourceOpen) return;
    flushTyping();
    restoreSelection();
    var current = closest(caretElement(), 'A');
    var answer = window.prompt(T.linkPrompt, current ? current.getAttribute('href') || '' : 'https://');
    restoreSelection();
    if (answer == null) return;
    var address = answer.trim();
    if (!address || address === 'https://') {
      if (current) { placeCaret(current, false, true); exec('unlink'); }
      return;
    }
    var r = liveRange();
    if (current && r && r.collapsed) {
      current.setAttribute('href', address);
      afterChange();
    } else if (r && r.collapsed) {
      var a = doc.createElement('a');
      a.setAttribute('href', address);
      a.textContent = address;
      insertInline(a);
    } else {
      exec('createLink', address);
    }
  }

  // A picture is stored under its file name alone: pages are moved and handed out with their
  // folder, so it must lie there. Only the characters that would break the address are escaped.
  function imageSource(name) {
    return name.replace(/[%#?"'<>\s\\]/g, function (c) { return encodeURIComponent(c); });
  }

  // The picture is tried first, so that one from another folder is not put into the page broken.
  function insertImage(file) {
    if (!file || !ready()) return;
    var src = imageSource(file.name);
    var alt = file.name.replace(/\.[^.]*$/, '');
    var probe = new Image();
    probe.onload = function () {
      var img = doc.createElement('img');
      img.setAttribute('src', src);
      img.setAttribute('alt', alt);
      insertInline(img);
      message(format(T.imageIn, { name: file.name }));
    };
    probe.onerror = function () {
      message(format(T.imageMissing, { name: file.name, folder: page.folder }), true);
    };
    probe.src = new URL(src, doc.baseURI).href;
  }

  function insertTable(rowCount, colCount) {
    rowCount = Math.max(1, Math.min(50, rowCount | 0));
    colCount = Math.max(1, Math.min(12, colCount | 0));
    closePopups();
    if (!ready() || sourceOpen) return null;
    var table = doc.createElement('table');
    table.style.width = '100%';
    table.style.margin = '0 0 0.8em';
    var body = table.appendChild(doc.createElement('tbody'));
    for (var r = 0; r < rowCount; r++) {
      var tr = body.appendChild(doc.createElement('tr'));
      for (var c = 0; c < colCount; c++) tr.appendChild(doc.createElement('td')).appendChild(doc.createElement('br'));
    }
    if (!insertBlock(table)) return null;
    // Leave a line after the table, or nothing could be typed below it.
    if (!table.nextElementSibling) {
      var p = doc.createElement('p');
      p.appendChild(doc.createElement('br'));
      root.insertBefore(p, table.nextSibling);
      root.insertBefore(doc.createTextNode('\n'), p);
    }
    placeCaret(table.rows[0].cells[0], false);
    commit();
    return table;
  }

  // The table holding the caret, with rows set to the caret's row; null outside a table.
  function findTable() {
    rows = null;
    if (!ready()) return null;
    selectRange();
    var el = edit.parentElement();
    var row = null;
    for (; el && el !== doc.documentElement; el = el.parentElement) {
      if (el.tagName === 'TR' && !row) row = el;
      if (el.tagName === 'TABLE') break;
      if (el.tagName === 'BODY') return null;
    }
    if (!el || el.tagName !== 'TABLE' || !row) return null;
    rows = row;
    return el;
  }

  // A row below the caret's row with as many cells; texts fill the first cells, the others say
  // "New cell". The caret goes to the new row with its text selected, ready to be typed over.
  function appendRow(texts) {
    if (sourceOpen) return null;
    flushTyping();
    var table = findTable();
    if (!table) { message(T.notInTable, true); return null; }
    var row = rows;
    var section = row.parentNode;
    var added = section.insertRow(row.sectionRowIndex + 1);
    Array.prototype.forEach.call(row.cells, function (cell, i) {
      var fresh = doc.createElement(cell.tagName.toLowerCase());
      if (cell.colSpan > 1) fresh.colSpan = cell.colSpan;
      var text = texts && texts[i] != null && texts[i] !== '' ? String(texts[i]) : T.newCell;
      fresh.textContent = text;
      added.appendChild(fresh);
    });
    if (!added.cells.length) added.appendChild(doc.createElement('td')).textContent = T.newCell;
    placeCaret(added.cells[0], false, true);
    rows = added;
    commit();
    return added;
  }

  function deleteRow() {
    if (sourceOpen) return false;
    flushTyping();
    var table = findTable();
    if (!table) { message(T.notInTable, true); return false; }
    var index = rows.rowIndex;
    var column = Math.max(0, Array.prototype.indexOf.call(rows.cells, closest(caretElement(), 'TD') || closest(caretElement(), 'TH')));
    table.deleteRow(index);
    rows = null;
    if (table.rows.length) {
      var next = table.rows[Math.min(index, table.rows.length - 1)];
      placeCaret(next.cells[Math.min(column, next.cells.length - 1)] || next, false);
    } else {
      // No rows left: an empty table cannot be seen or reached, so it goes too.
      var after = table.nextElementSibling || table.previousElementSibling || root;
      var toEnd = after === table.previousElementSibling;
      table.parentNode.removeChild(table);
      placeCaret(after, toEnd);
    }
    commit();
    return true;
  }

  // Tab walks the cells of a table, and Tab in the last cell adds a row, as in word processors.
  function tabInTable(back) {
    var cell = closest(caretElement(), 'TD') || closest(caretElement(), 'TH');
    if (!cell) return false;
    var table = closest(cell, 'TABLE');
    var cells = Array.prototype.filter.call(table.querySelectorAll('td, th'), function (c) {
      return closest(c.parentElement, 'TABLE') === table;
    });
    var at = cells.indexOf(cell);
    var target = cells[at + (back ? -1 : 1)];
    if (target) placeCaret(target, false, true);
    else if (!back) appendRow(null);
    return true;
  }

  // ---- The whole page file ---------------------------------------------------------------------

  function doctypeText(dt) {
    if (!dt) return '';
    var text = '<!DOCTYPE ' + dt.name;
    if (dt.publicId) text += ' PUBLIC "' + dt.publicId + '"';
    if (dt.systemId) text += (dt.publicId ? '' : ' SYSTEM') + ' "' + dt.systemId + '"';
    return text + '>';
  }

  function elementPath(el) {
    var path = [];
    for (; el && el !== doc.documentElement; el = el.parentElement) {
      path.unshift(Array.prototype.indexOf.call(el.parentNode.childNodes, el));
    }
    return path;
  }

  // The page as its file should read: what the editor added for editing taken out, and the
  // white space at the end of the body kept to one line break (the browser moves the line
  // breaks after </body> and </html> into the body, which would add one at every save).
  function serialize() {
    if (!doc || !doc.documentElement) return '';
    var clone = doc.documentElement.cloneNode(true);
    if (root) {
      var path = elementPath(root);
      var copy = clone;
      for (var i = 0; copy && i < path.length; i++) copy = copy.childNodes[path[i]];
      // Always taken out: a page that stayed editable would be editable for the students too.
      if (copy && copy.nodeType === 1) copy.removeAttribute('contenteditable');
    }
    var style = clone.querySelector('#' + EDIT_STYLE_ID);
    if (style) style.parentNode.removeChild(style);
    var body = clone.querySelector('body');
    if (body) {
      while (body.lastChild && body.lastChild.nodeType === 3 && !/\S/.test(body.lastChild.data)) {
        body.removeChild(body.lastChild);
      }
      if (body.lastChild && body.lastChild.nodeType === 3) {
        body.lastChild.data = body.lastChild.data.replace(/\s+$/, '');
      }
      body.appendChild(doc.createTextNode('\n'));
    }
    if (clone.firstChild && clone.firstChild.nodeType === 1) clone.insertBefore(doc.createTextNode('\n'), clone.firstChild);
    var dt = doctypeText(doc.doctype);
    var html = clone.outerHTML.replace(/<\/body><\/html>$/, '</body>\n</html>');
    return (dt ? dt + '\n' : '') + html + '\n';
  }

  // Puts a whole page text in place of the edited one. The frame keeps its Document object (its
  // address, against which the page's pictures and links resolve, and the editor's listeners);
  // scripts of the text are not run.
  function replaceDocument(text) {
    var parsed = new DOMParser().parseFromString(text, 'text/html');
    var fresh = doc.importNode(parsed.documentElement, true);
    doc.replaceChild(fresh, doc.documentElement);
    if (parsed.doctype && !doc.doctype) {
      doc.insertBefore(doc.implementation.createDocumentType(parsed.doctype.name, parsed.doctype.publicId,
        parsed.doctype.systemId), doc.documentElement);
    } else if (!parsed.doctype && doc.doctype) {
      doc.removeChild(doc.doctype);
    }
    setupRoot();
  }

  // ---- Setting the page up ---------------------------------------------------------------------

  function setupRoot() {
    root = doc.querySelector('body > main') || doc.body;
    if (!root) {
      doc.documentElement.appendChild(doc.createElement('body'));
      root = doc.body;
    }
    root.setAttribute('contenteditable', 'true');
    var style = doc.createElement('style');
    style.id = EDIT_STYLE_ID;
    style.textContent = '[contenteditable]:focus{outline:none}img:hover{outline:2px solid rgba(26,111,181,.5)}';
    (doc.head || doc.documentElement).appendChild(style);
    try { doc.execCommand('defaultParagraphSeparator', false, 'p'); } catch (e) { /* older engines */ }
    savedRange = null;
    showPageName();
  }

  function onFrameLoad() {
    var d = null;
    try {
      d = frame.contentDocument;
      if (d && (!d.documentElement || d.location.href === 'about:blank')) d = null;
    } catch (e) {
      d = null;
    }
    if (!d) {
      doc = null;
      root = null;
      message(format(T.cannotOpen, { path: page.path }), true, true);
      updateState();
      return;
    }
    doc = d;
    window.Editor = frame.contentWindow;
    setupRoot();
    doc.addEventListener('keydown', onEditorKey);
    doc.addEventListener('mousedown', function () { closePopups(); });
    doc.addEventListener('selectionchange', function () { rememberSelection(); updateState(); });
    doc.addEventListener('beforeinput', function (e) {
      if (e.inputType === 'historyUndo' || e.inputType === 'historyRedo') {
        e.preventDefault();
        goHistory(e.inputType === 'historyUndo' ? -1 : 1);
      }
    });
    doc.addEventListener('input', function (e) {
      // Moving nodes while an input method composes a word would break the word up.
      if (!e.isComposing) convertSizeMarks();
      clearTimeout(typingTimer);
      typingTimer = setTimeout(commit, TYPING_PAUSE);
    });
    doc.addEventListener('compositionend', function () { convertSizeMarks(); });
    doc.addEventListener('dragover', function (e) { if (hasFiles(e)) e.preventDefault(); });
    doc.addEventListener('drop', function (e) {
      if (!hasFiles(e)) return;
      e.preventDefault();
      var pos = doc.caretRangeFromPoint && doc.caretRangeFromPoint(e.clientX, e.clientY);
      if (pos && inRoot(pos)) { var s = selection(); s.removeAllRanges(); s.addRange(pos); savedRange = pos.cloneRange(); }
      Array.prototype.forEach.call(e.dataTransfer.files, function (f) {
        if (/^image\//.test(f.type)) insertImage(f);
      });
    });
    // What the program's old start-up text did last: the editor takes the page's title.
    document.title = doc.title || page.name;
    resetHistory();
    cleanText = serialize();
    focusEditor();
    placeCaret(root, true);
    showHint();
  }

  function hasFiles(e) {
    return e.dataTransfer && Array.prototype.indexOf.call(e.dataTransfer.types || [], 'Files') >= 0;
  }

  // ---- Keys --------------------------------------------------------------------------------------

  function shortcut(e) {
    if (!(e.ctrlKey || e.metaKey) || e.altKey) return false;
    var key = (e.key || '').toLowerCase();
    if (key === 'z' && !e.shiftKey) undo();
    else if (key === 'y' || (key === 'z' && e.shiftKey)) redo();
    else if (key === 'b' && !e.shiftKey) exec('bold');
    else if (key === 'i' && !e.shiftKey) exec('italic');
    else if (key === 'u' && !e.shiftKey) exec('underline');
    else if (key === 'k' && !e.shiftKey) insertLink();
    else return false;
    e.preventDefault();
    return true;
  }

  function onEditorKey(e) {
    if (e.key === 'Escape') {
      if (closePopups()) { e.preventDefault(); return; }
      var r = liveRange();
      if (r && !r.collapsed) { e.preventDefault(); selection().collapseToEnd(); }
      return;
    }
    if (e.key === 'Tab' && !e.ctrlKey && !e.altKey && !e.metaKey) {
      if (tabInTable(e.shiftKey)) e.preventDefault();
      return;
    }
    shortcut(e);
  }

  function onPageKey(e) {
    var t = e.target;
    var typing = t && (t.tagName === 'TEXTAREA' || (t.tagName === 'INPUT' && t.type !== 'button') || t.tagName === 'SELECT');
    if (e.key === 'Escape') {
      if (closePopups(true)) { e.preventDefault(); return; }
      if (!sourceOpen && ready()) { e.preventDefault(); restoreSelection(); }
      return;
    }
    if (typing) return;
    if (!sourceOpen && shortcut(e)) return;
    if (t && t.closest && t.closest('.toolbar') && !t.closest('.popup')) toolbarArrows(e);
  }

  function visibleControls() {
    return Array.prototype.filter.call(document.querySelectorAll('.toolbar > .group > .tb, .toolbar > .group select'),
      function (c) { return !c.disabled && c.offsetParent !== null; });
  }

  function toolbarArrows(e) {
    var list = visibleControls();
    var at = list.indexOf(document.activeElement);
    if (at < 0) return;
    var to = -1;
    if (e.key === 'ArrowRight') to = (at + 1) % list.length;
    else if (e.key === 'ArrowLeft') to = (at - 1 + list.length) % list.length;
    else if (e.key === 'Home') to = 0;
    else if (e.key === 'End') to = list.length - 1;
    if (to < 0 || list[at].tagName === 'SELECT') return;
    e.preventDefault();
    list[to].focus();
  }

  // ---- Source view -----------------------------------------------------------------------------

  function toggleSource() {
    var area = $('source');
    if (!sourceOpen) {
      if (!ready()) return;
      flushTyping();
      sourceShown = serialize();
      area.value = sourceShown;
      sourceOpen = true;
      frame.hidden = true;
      area.hidden = false;
      area.focus();
      area.setSelectionRange(0, 0);
      area.scrollTop = 0;
      message(T.sourceHint, false, true);
    } else {
      var text = area.value;
      sourceOpen = false;
      area.hidden = true;
      frame.hidden = false;
      if (text !== sourceShown && doc) {
        replaceDocument(text);
        stepsBase = serialize();
        commit();
      }
      focusEditor();
      placeCaret(root, true);
      showHint();
    }
    updateState();
  }

  // ---- Status line -----------------------------------------------------------------------------

  function showPageName() {
    var m = /^(\d+)\.html?$/i.exec(page.name);
    var label = m ? format(T.editingPage, { n: m[1] }) : format(T.editingFile, { file: page.name });
    $('pagelabel').textContent = label;
    var title = doc && doc.title ? doc.title.trim() : '';
    $('pagetitle').textContent = title;
    $('pagetitle').hidden = !title;
    $('statuspage').title = page.path;
  }

  function showHint() {
    if (sourceOpen) return;
    setMessage(T.saveHint, false);
  }

  function setMessage(text, warn) {
    var el = $('statusmsg');
    el.textContent = text;
    el.title = text;
    el.classList.toggle('warn', !!warn);
  }

  // A passing message; the save hint comes back after a while, unless it is to stay.
  function message(text, warn, stay) {
    clearTimeout(messageTimer);
    setMessage(text, warn);
    if (!stay) messageTimer = setTimeout(function () { if (sourceOpen) setMessage(T.sourceHint); else showHint(); }, 7000);
  }

  // ---- Toolbar ---------------------------------------------------------------------------------

  var ICONS = {
    undo: '<path d="M9 14 4 9l5-5"/><path d="M4 9h10.5a5.5 5.5 0 0 1 0 11H11"/>',
    redo: '<path d="m15 14 5-5-5-5"/><path d="M20 9H9.5a5.5 5.5 0 0 0 0 11H13"/>',
    bold: '<path d="M7 5h6a3.5 3.5 0 0 1 0 7H7z" stroke-width="2.6"/><path d="M7 12h7a3.5 3.5 0 0 1 0 7H7z" stroke-width="2.6"/>',
    italic: '<path d="M10 5h8M6 19h8M14.5 5l-5 14"/>',
    underline: '<path d="M7 4v7a5 5 0 0 0 10 0V4"/><path d="M5 20h14"/>',
    color: '<path d="m6.5 16 5.5-12 5.5 12M8.6 11.5h6.8"/><rect class="swatch" x="4" y="18.5" width="16" height="3" rx="1" stroke="none"/>',
    left: '<path d="M4 6h16M4 10h10M4 14h16M4 18h10"/>',
    center: '<path d="M4 6h16M7 10h10M4 14h16M7 18h10"/>',
    right: '<path d="M4 6h16M10 10h10M4 14h16M10 18h10"/>',
    bullets: '<path d="M10 6h10M10 12h10M10 18h10"/><circle cx="5" cy="6" r="1.3" fill="currentColor" stroke="none"/>' +
      '<circle cx="5" cy="12" r="1.3" fill="currentColor" stroke="none"/><circle cx="5" cy="18" r="1.3" fill="currentColor" stroke="none"/>',
    numbers: '<path d="M11 6h9M11 12h9M11 18h9"/><path d="M4 4.5h1.5V9M4 9h3" stroke-width="1.6"/>' +
      '<path d="M4 14.2a1.5 1.5 0 0 1 2.9.4c0 .9-2.9 2.6-2.9 4.4h3" stroke-width="1.6"/>',
    link: '<path d="M10 14a4 4 0 0 0 5.7 0l3-3a4 4 0 0 0-5.7-5.7l-1 1"/><path d="M14 10a4 4 0 0 0-5.7 0l-3 3a4 4 0 0 0 5.7 5.7l1-1"/>',
    image: '<rect x="3" y="4.5" width="18" height="15" rx="2"/><circle cx="9" cy="10" r="1.8"/><path d="m21 16-5-5-9 8.5"/>',
    table: '<rect x="3" y="4" width="18" height="16" rx="2"/><path d="M3 9.5h18M3 14.8h18M9 4v16M15 4v16"/>',
    rowAdd: '<rect x="3" y="3" width="18" height="9" rx="2"/><path d="M9 3v9M15 3v9M12 15v6M9 18h6"/>',
    rowDelete: '<rect x="3" y="3" width="18" height="9" rx="2"/><path d="M9 3v9M15 3v9M9.5 15.5l5 5M14.5 15.5l-5 5"/>',
    source: '<path d="m8 8-4 4 4 4M16 8l4 4-4 4M13.5 5l-3 14"/>',
    chevron: '<path d="m6 9 6 6 6-6"/>'
  };

  function svg(name) {
    return '<svg viewBox="0 0 24 24" aria-hidden="true" focusable="false">' + ICONS[name] + '</svg>';
  }

  function button(name, label, action, options) {
    options = options || {};
    var b = document.createElement('button');
    b.type = 'button';
    b.className = 'tb' + (options.text ? ' text' : '');
    b.id = 'tb-' + name;
    b.title = label;
    b.setAttribute('aria-label', label.replace(/\s*\(.*\)$/, ''));
    if (options.shortcut) b.setAttribute('aria-keyshortcuts', options.shortcut);
    if (options.toggle) b.setAttribute('aria-pressed', 'false');
    if (options.popup) { b.setAttribute('aria-haspopup', 'dialog'); b.setAttribute('aria-expanded', 'false'); }
    b.innerHTML = svg(name) + (options.text ? '<span>' + escapeHtml(options.text) + '</span>' : '');
    // Keep the focus, and so the caret, in the page while the mouse presses a button.
    b.addEventListener('mousedown', function (e) { e.preventDefault(); });
    b.addEventListener('click', function () { action(b); });
    controls[name] = b;
    return b;
  }

  function group(parent, items, extraClass) {
    var g = document.createElement('div');
    g.className = 'group' + (extraClass ? ' ' + extraClass : '');
    items.forEach(function (item) { g.appendChild(item); });
    parent.appendChild(g);
    return g;
  }

  function sizeSelect() {
    var wrap = document.createElement('label');
    wrap.className = 'size';
    wrap.title = T.size;
    var hidden = document.createElement('span');
    hidden.className = 'sr';
    hidden.textContent = T.size;
    var select = document.createElement('select');
    select.id = 'fontsize';
    var mixed = document.createElement('option');
    mixed.value = '';
    mixed.textContent = T.sizeMixed;
    mixed.disabled = true;
    mixed.hidden = true;
    select.appendChild(mixed);
    SIZES.forEach(function (f, i) {
      var o = document.createElement('option');
      o.value = String(f);
      o.textContent = (T.sizes || [])[i] || String(f);
      select.appendChild(o);
    });
    select.value = '1';
    select.addEventListener('change', function () {
      if (select.value) setSize(parseFloat(select.value));
    });
    wrap.appendChild(hidden);
    wrap.appendChild(select);
    wrap.insertAdjacentHTML('beforeend', '<span class="chev">' + svg('chevron') + '</span>');
    controls.size = select;
    return wrap;
  }

  function openPopup(pop, opener) {
    var wasOpen = !pop.hidden;
    closePopups();
    if (wasOpen) return;
    flushTyping();
    rememberSelection();
    pop.hidden = false;
    opener.setAttribute('aria-expanded', 'true');
    pop.openerButton = opener;
    var bar = pop.parentNode.getBoundingClientRect();
    var at = opener.getBoundingClientRect();
    var left = Math.max(4, Math.min(at.left - bar.left, bar.width - pop.offsetWidth - 4));
    pop.style.left = left + 'px';
    pop.style.top = (at.bottom - bar.top + 6) + 'px';
    var focusable = pop.querySelector('[data-autofocus]') || pop.querySelector('button, input');
    if (focusable) focusable.focus();
  }

  // Closes any open popup; returns whether one was open. back: give the focus to its button.
  function closePopups(back) {
    var closed = false;
    Array.prototype.forEach.call(document.querySelectorAll('.popup'), function (pop) {
      if (pop.hidden) return;
      pop.hidden = true;
      closed = true;
      if (pop.openerButton) {
        pop.openerButton.setAttribute('aria-expanded', 'false');
        if (back) pop.openerButton.focus();
      }
    });
    return closed;
  }

  function colorPopup(bar) {
    var pop = document.createElement('div');
    pop.className = 'popup colors';
    pop.id = 'colorpop';
    pop.setAttribute('role', 'dialog');
    pop.setAttribute('aria-label', T.color);
    pop.hidden = true;
    var grid = document.createElement('div');
    grid.className = 'swatches';
    (T.colors || []).forEach(function (pair, i) {
      var b = document.createElement('button');
      b.type = 'button';
      b.className = 'swatch';
      b.style.background = pair[0];
      b.title = pair[1];
      b.setAttribute('aria-label', pair[1]);
      b.dataset.color = pair[0];
      if (i === 0) b.setAttribute('data-autofocus', '');
      b.addEventListener('mousedown', function (e) { e.preventDefault(); });
      b.addEventListener('click', function () { setColor(pair[0]); });
      grid.appendChild(b);
    });
    grid.addEventListener('keydown', function (e) {
      var list = Array.prototype.slice.call(grid.children);
      var at = list.indexOf(document.activeElement);
      var step = { ArrowRight: 1, ArrowLeft: -1, ArrowDown: 4, ArrowUp: -4 }[e.key];
      if (at < 0 || !step) return;
      e.preventDefault();
      list[(at + step + list.length) % list.length].focus();
    });
    pop.appendChild(grid);
    var more = document.createElement('label');
    more.className = 'more';
    more.innerHTML = '<input type="color" value="' + lastColor + '"><span></span>';
    more.lastChild.textContent = T.colorMore;
    var picker = more.firstChild;
    picker.addEventListener('change', function () { setColor(picker.value); });
    pop.appendChild(more);
    bar.appendChild(pop);
    return pop;
  }

  function tablePopup(bar) {
    var pop = document.createElement('div');
    pop.className = 'popup tablepick';
    pop.id = 'tablepop';
    pop.setAttribute('role', 'dialog');
    pop.setAttribute('aria-label', T.table);
    pop.hidden = true;
    var grid = document.createElement('div');
    grid.className = 'cellgrid';
    grid.setAttribute('aria-hidden', 'true');
    var GRID_ROWS = 6, GRID_COLS = 8;
    for (var r = 1; r <= GRID_ROWS; r++) {
      for (var c = 1; c <= GRID_COLS; c++) {
        var cell = document.createElement('span');
        cell.dataset.r = r;
        cell.dataset.c = c;
        grid.appendChild(cell);
      }
    }
    pop.appendChild(grid);
    var form = document.createElement('form');
    form.className = 'dims';
    form.innerHTML = '<label><span></span><input type="number" id="tablerows" min="1" max="50" value="2" data-autofocus></label>' +
      '<span class="times" aria-hidden="true">×</span>' +
      '<label><span></span><input type="number" id="tablecols" min="1" max="12" value="2"></label>' +
      '<button type="submit" class="primary" id="tableok"></button>';
    form.querySelectorAll('label > span')[0].textContent = T.tableRows;
    form.querySelectorAll('label > span')[1].textContent = T.tableCols;
    form.querySelector('#tableok').textContent = T.tableInsert;
    pop.appendChild(form);
    var rowsIn = form.querySelector('#tablerows'), colsIn = form.querySelector('#tablecols');
    var mark = function () {
      Array.prototype.forEach.call(grid.children, function (s) {
        s.classList.toggle('on', +s.dataset.r <= +rowsIn.value && +s.dataset.c <= +colsIn.value);
      });
    };
    rowsIn.addEventListener('input', mark);
    colsIn.addEventListener('input', mark);
    grid.addEventListener('mouseover', function (e) {
      if (!e.target.dataset.r) return;
      rowsIn.value = e.target.dataset.r;
      colsIn.value = e.target.dataset.c;
      mark();
    });
    grid.addEventListener('mousedown', function (e) { e.preventDefault(); });
    grid.addEventListener('click', function (e) {
      if (e.target.dataset.r) insertTable(+e.target.dataset.r, +e.target.dataset.c);
    });
    form.addEventListener('submit', function (e) {
      e.preventDefault();
      insertTable(+rowsIn.value || 1, +colsIn.value || 1);
    });
    mark();
    bar.appendChild(pop);
    return pop;
  }

  function buildToolbar() {
    var bar = $('toolbar');
    bar.setAttribute('aria-label', T.toolbar);
    group(bar, [button('undo', T.undo, undo, { shortcut: 'Control+Z' }),
      button('redo', T.redo, redo, { shortcut: 'Control+Y' })]);
    group(bar, [button('bold', T.bold, function () { exec('bold'); }, { toggle: true, shortcut: 'Control+B' }),
      button('italic', T.italic, function () { exec('italic'); }, { toggle: true, shortcut: 'Control+I' }),
      button('underline', T.underline, function () { exec('underline'); }, { toggle: true, shortcut: 'Control+U' })]);
    var colorPop = colorPopup(bar);
    group(bar, [sizeSelect(), button('color', T.color, function (b) { openPopup(colorPop, b); }, { popup: true })]);
    group(bar, [button('left', T.left, function () { exec('justifyLeft', null, true); }, { toggle: true }),
      button('center', T.center, function () { exec('justifyCenter', null, true); }, { toggle: true }),
      button('right', T.right, function () { exec('justifyRight', null, true); }, { toggle: true })]);
    group(bar, [button('bullets', T.bullets, function () { exec('insertUnorderedList'); }, { toggle: true }),
      button('numbers', T.numbers, function () { exec('insertOrderedList'); }, { toggle: true })]);
    var tablePop = tablePopup(bar);
    var file = $('imagefile');
    group(bar, [button('link', T.link, insertLink, { shortcut: 'Control+K' }),
      button('image', T.image, function () { flushTyping(); rememberSelection(); file.click(); }),
      button('table', T.table, function (b) { openPopup(tablePop, b); }, { popup: true }),
      button('rowAdd', T.rowAdd, function () { window.AppendTable(); }),
      button('rowDelete', T.rowDelete, function () { window.DeleteTable(); })]);
    group(bar, [button('source', T.source, toggleSource, { toggle: true, text: T.sourceLabel })], 'end');
    file.addEventListener('change', function () {
      var chosen = file.files && file.files[0];
      file.value = '';
      if (chosen) insertImage(chosen);
    });
    document.addEventListener('mousedown', function (e) {
      if (!e.target.closest || !e.target.closest('.popup, [aria-haspopup]')) closePopups();
    });
  }

  function updateState() {
    var on = ready() && !sourceOpen;
    Object.keys(controls).forEach(function (name) {
      if (name !== 'source') controls[name].disabled = !on;
    });
    controls.source.disabled = !ready() && !sourceOpen;
    controls.source.setAttribute('aria-pressed', String(sourceOpen));
    if (!on) {
      Object.keys(controls).forEach(function (name) {
        if (name !== 'source' && controls[name].hasAttribute('aria-pressed')) controls[name].setAttribute('aria-pressed', 'false');
      });
      return;
    }
    controls.undo.disabled = stepAt <= 0 && !typingTimer;
    controls.redo.disabled = stepAt >= steps.length - 1;
    var states = { bold: 'bold', italic: 'italic', underline: 'underline', left: 'justifyLeft',
      center: 'justifyCenter', right: 'justifyRight', bullets: 'insertUnorderedList', numbers: 'insertOrderedList' };
    var hasCaret = !!liveRange();
    Object.keys(states).forEach(function (name) {
      var pressed = false;
      try { pressed = hasCaret && doc.queryCommandState(states[name]); } catch (e) { pressed = false; }
      controls[name].setAttribute('aria-pressed', String(!!pressed));
    });
    var el = caretElement();
    if (el) {
      var f = emFactor(el), match = '';
      SIZES.forEach(function (s) { if (Math.abs(s - f) < 0.02) match = String(s); });
      if (document.activeElement !== controls.size) controls.size.value = match;
      try {
        controls.color.style.setProperty('--swatch', frame.contentWindow.getComputedStyle(el).color);
      } catch (e) { /* the page went away */ }
    }
  }

  // ---- What the program calls ------------------------------------------------------------------

  edit = {
    // The element that holds the caret (or the whole selection) in the edited page.
    parentElement: function () {
      if (!doc) return null;
      var r = liveRange() || (inRoot(savedRange) ? savedRange : null);
      if (!r) {
        var s = selection();
        r = s && s.rangeCount ? s.getRangeAt(0) : null;
      }
      if (!r) return null;
      var n = r.commonAncestorContainer;
      var el = n.nodeType === 1 ? n : n.parentElement;
      return el && doc.body && doc.body.contains(el) ? el : null;
    },
    pasteHTML: function (html) { insertHtml(String(html)); },
    select: function () { restoreSelection(); }
  };

  window.edit = edit;
  window.selectRange = function () { restoreSelection(); return edit; };
  window.getTable = function () { return findTable(); };
  window.AppendTable = function () { return appendRow(null); };
  window.AppendTable0 = function (tx1, tx2) { return appendRow([tx1, tx2]); };
  window.DeleteTable = function () { return deleteRow(); };

  // Fills mytext with the whole page file, fresh each time (from the source view while it is
  // open), and mypath with its path. Without a page it clears both and throws, so that the
  // program's call fails instead of writing an empty page.
  window.SaveEdit = function () {
    var text = $('mytext'), path = $('mypath');
    text.value = '';
    path.value = '';
    if (sourceOpen) {
      text.value = $('source').value;
    } else if (ready()) {
      flushTyping();
      text.value = serialize();
    } else {
      throw new Error('no page is open for editing');
    }
    path.value = page.path;
    return true;
  };

  window.SaveData = function (bSave) {
    if (bSave) window.SaveEdit();
    else document.title = 'scmd:save';
  };

  // Whether the page differs from its file: the program asks before the editor is left.
  function modified() {
    if (cleanText === null) return false;
    if (sourceOpen) return $('source').value !== cleanText;
    return ready() && serialize() !== cleanText;
  }

  window.zonEdit = { insertTable: insertTable, setSize: setSize, setColor: setColor, undo: undo, redo: redo,
    toggleSource: toggleSource, serialize: serialize, modified: modified };

  // ---- Start -----------------------------------------------------------------------------------

  function start() {
    frame = $('Editor');
    frame.title = T.frameTitle || frame.title;
    buildToolbar();
    document.addEventListener('keydown', onPageKey);
    // A file dropped outside the page would replace the editor and lose the changes.
    document.addEventListener('dragover', function (e) { if (hasFiles(e)) e.preventDefault(); });
    document.addEventListener('drop', function (e) { if (hasFiles(e)) e.preventDefault(); });
    var address = readAddress();
    updateState();
    if (!address) {
      $('pagelabel').textContent = T.noPageShort || '';
      message(T.noPage, true, true);
      return;
    }
    page = address;
    showPageName();
    // A "#" in a folder name puts the rest of the address in the fragment, and going from one
    // page of that folder to another then changes only the fragment: load the editor afresh.
    window.addEventListener('hashchange', function () {
      var now = readAddress();
      if (!now || now.url !== page.url) location.reload();
    });
    frame.addEventListener('load', onFrameLoad);
    frame.src = page.url;
  }

  if (document.readyState === 'loading') document.addEventListener('DOMContentLoaded', start);
  else start();
})();
