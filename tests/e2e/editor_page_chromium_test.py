#!/usr/bin/env python3
"""Edits a blank course page with the page editor (edit/ZonEdit.htm) in headless Chromium.

For each language it copies the template's 1.html into a course folder whose name has a space,
a "#" and Chinese letters, opens ZonEdit.htm?open=<raw file address> from disk with file pages
allowed to script each other (as the program's browser is), runs the program's start-up
statement, and drives the editor through chromedriver the way a teacher and the program do:
typing, the toolbar, shortcuts, undo, tables and the table functions, pictures, links, the
source view and SaveEdit(). Screenshots go to --artifacts.
"""

import argparse
import difflib
import re
import struct
import sys
import time
import traceback
import zlib
from pathlib import Path

sys.dont_write_bytecode = True  # no __pycache__ in the source tree
sys.path.insert(0, str(Path(__file__).resolve().parent))
from player_chromium_test import (CHROMEDRIVER, CHROMIUM, ELEMENT, CheckFailed, Driver, Run,  # noqa: E402
                                  WebDriverError, run_session)

# The statement the program runs in the editor once it has loaded, exactly as the program has it.
PROGRAM_STARTUP = r'''document.body.insertAdjacentHTML('afterEnd',"<br><script DEFER>var rows=null; function getTable() {  Editor.focus();  selectRange();   var pItem=edit.parentElement();  if(!pItem)   return null;  rows=null;  while(pItem.tagName!='TABLE')  {   if(pItem.tagName=='BODY')    return;   if(pItem.tagName=='TR')    rows=pItem;   pItem=pItem.parentElement;  }  if(rows==null)   return null;  return pItem; } function AppendTable() { ... } function AppendTable0(tx1,tx2) { ... } function DeleteTable() {  var pItem=getTable();  if(pItem)   pItem.deleteRow(rows.rowIndex); }function SaveData(bSave) {   if(bSave)  {   var path=Editor.document.location.toString().substr(8);   while(path.search('/')>0)    path=path.replace('/','\');   mypath.value=path;   mytext.value=Editor.document.body.innerHTML;  }  else   document.title='scmd:save'; }document.title=Editor.document.title;</script>");'''

# How the program reads a field (BrowserControl::ReadField).
READ_FIELD = ("var e=document.getElementsByName(arguments[0])[0]||document.getElementById(arguments[0]);"
              "return e?String(e.value):null;")

KEYS = {'ArrowRight': '\ue014', 'Enter': '\ue007', 'Tab': '\ue004', 'Escape': '\ue00c', 'Home': '\ue011', 'End': '\ue010',
        'Shift': '\ue008', 'Control': '\ue009'}

LANGUAGES = {
    'English': {
        'label': 'Editing page 1',
        'hint': 'File › Save Page',
        'new_cell': 'New cell',
        'typed': 'Light bends in a lens',
        'styled': 'Mirrors reflect',
        'not_in_table': 'Put the cursor in a row of the table first.',
        'image_tip': 'folder of this page',
        'missing': 'is not in the folder of this page',
    },
    'Chinese': {
        'label': '正在编辑第 1 页',
        'hint': '文件 › 保存页面',
        'new_cell': '新单元',
        'typed': '光在透镜中折射',
        'styled': '镜子反射光线',
        'not_in_table': '请先把光标放在表格的某一行中。',
        'image_tip': '本页所在的文件夹',
        'missing': '不在本页所在的文件夹中',
    },
}


def png(width, height, rgb):
    """A small solid-colour PNG."""
    raw = b''.join(b'\x00' + bytes(rgb) * width for _ in range(height))
    chunk = lambda kind, data: (struct.pack('>I', len(data)) + kind + data
                                + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff))
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0))
            + chunk(b'IDAT', zlib.compress(raw)) + chunk(b'IEND', b''))


class EditorDriver(Driver):
    def start(self, width=1280, height=800):
        caps = {'capabilities': {'alwaysMatch': {
            'browserName': 'chrome',
            'unhandledPromptBehavior': 'ignore',
            'goog:chromeOptions': {
                'binary': CHROMIUM,
                # The program's browser lets file pages script each other; desktop Chromium only with this.
                'args': ['--headless=new', '--no-sandbox', '--disable-gpu', '--allow-file-access-from-files',
                         '--window-size=%d,%d' % (width, height), '--lang=en-GB'],
            },
        }}}
        self.session = self.raw('POST', '/session', caps)['sessionId']

    def keys(self, *steps):
        """Key presses: a string types its letters, a tuple presses its keys together."""
        actions = []
        for step in steps:
            if isinstance(step, tuple):
                codes = [KEYS.get(k, k) for k in step]
                actions += [{'type': 'keyDown', 'value': c} for c in codes]
                actions += [{'type': 'keyUp', 'value': c} for c in reversed(codes)]
            else:
                for ch in step:
                    actions += [{'type': 'keyDown', 'value': ch}, {'type': 'keyUp', 'value': ch}]
        self.call('POST', '/actions', {'actions': [{'type': 'key', 'id': 'keyboard', 'actions': actions}]})
        self.call('DELETE', '/actions')

    def send_file(self, element, path):
        self.call('POST', '/element/%s/value' % element[ELEMENT], {'text': str(path)})

    def in_page(self, css):
        """Clicks an element of the edited page."""
        self.frame(self.find('#Editor'))
        try:
            self.click(self.find(css))
        finally:
            self.top()

    def resize(self, width, height):
        """Sizes the window so that the page gets width x height."""
        extra = self.run('return [outerWidth - innerWidth, outerHeight - innerHeight]')
        self.call('POST', '/window/rect', {'width': width + extra[0], 'height': height + extra[1]})


class EditorRun(Run):
    def __init__(self, driver, artifacts):
        super().__init__(driver, artifacts)
        self.text_keys = {}

    def page(self, script, *args):
        """Runs script with `doc` set to the edited document."""
        return self.d.run('var doc = Editor.document;' + script, *args)

    def save(self):
        self.d.run('SaveEdit();')
        return self.d.run(READ_FIELD, 'mytext'), self.d.run(READ_FIELD, 'mypath')

    def status(self):
        return self.d.run("return document.getElementById('statusmsg').textContent")

    def open_editor(self, lang, edit_dir, page):
        d = self.d
        # The folder name has a "#": the same address again would only be a move to its fragment.
        d.get('about:blank')
        d.get((edit_dir / 'ZonEdit.htm').as_uri() + '?open=file://' + str(page))
        return self.expect(lang + ' page loaded into the editor', lambda: self.page(
            'return doc.readyState === "complete" && !!doc.querySelector("main[contenteditable]")'
            ' && !document.getElementById("tb-bold").disabled'))

    def rows(self):
        return self.page('var t = doc.querySelector("main table");'
                         'return t ? Array.prototype.map.call(t.rows, function (r) {'
                         ' return Array.prototype.map.call(r.cells, function (c) { return c.textContent; }); }) : null;')

    # -- opening, the program's start-up statement, typing, toolbar and shortcuts --

    def typing(self, lang, edit_dir, page, original):
        d, t = self.d, LANGUAGES[lang]
        if not self.open_editor(lang, edit_dir, page):
            raise CheckFailed(lang + ': the page did not open')
        self.check(lang + ' frame reached as Editor.document', self.page(
            'return Editor === document.getElementById("Editor").contentWindow && doc.title') == re.search(
            r'<title>(.*?)</title>', original).group(1))
        self.check(lang + ' status names the page', d.text(d.find('#pagelabel')) == t['label'],
                   d.text(d.find('#pagelabel')))
        self.check(lang + ' status says how to save', t['hint'] in self.status(), self.status())
        tips = d.run('return Array.prototype.map.call(document.querySelectorAll(".toolbar .tb, .toolbar .size,'
                     ' .popup .swatch"), function (b) { return [b.id, b.title, b.getAttribute("aria-label") || b.textContent]; })')
        bad = [tip for tip in tips if not tip[1] or not tip[2].strip() or 'undefined' in tip[1] + tip[2]]
        self.check(lang + ' every toolbar control has its tooltip and name', len(tips) >= 26 and not bad, repr(bad))
        self.text_keys[lang] = d.run('return Object.keys(ZONEDIT_TEXT).sort()')

        d.run(PROGRAM_STARTUP)
        after = d.run('var br = document.body.nextElementSibling;'
                      'return [window.__editorErrors, typeof AppendTable, typeof SaveEdit, typeof edit.parentElement,'
                      ' br && br.tagName, br && getComputedStyle(br).display,'
                      ' document.documentElement.scrollHeight <= innerHeight];')
        self.check(lang + ' start-up statement leaves the editor working and unchanged',
                   after == [[], 'function', 'function', 'function', 'BR', 'none', True], repr(after))

        d.in_page('main h1')
        d.keys(('End',), ('Enter',), t['typed'], ('Shift', 'Home'))
        d.click(d.find('#tb-bold'))
        got = self.page('var h = doc.querySelector("main h1"), p = h.nextElementSibling;'
                        'return [p.tagName, p.innerHTML, doc.getSelection().toString()];')
        self.check(lang + ' Enter after the heading starts a paragraph; toolbar Bold bolds the selection',
                   got == ['P', '<b>%s</b>' % t['typed'], t['typed']], repr(got))
        self.check(lang + ' Bold shows as pressed', d.attribute(d.find('#tb-bold'), 'aria-pressed') == 'true')

        d.keys(('Control', 'i'))
        italic = lambda: self.page('return doc.querySelector("main h1").nextElementSibling.querySelector("i") !== null')
        self.check(lang + ' Ctrl+I in the page makes italic', italic())
        d.keys(('Control', 'z'))
        self.check(lang + ' Ctrl+Z undoes the italic, keeps the bold', not italic() and self.page(
            'return doc.querySelector("main h1").nextElementSibling.innerHTML') == '<b>%s</b>' % t['typed'])
        d.keys(('Control', 'y'))
        self.check(lang + ' Ctrl+Y redoes it', italic())
        d.click(d.find('#tb-undo'))
        self.check(lang + ' toolbar Undo undoes it again', not italic())
        bold = lambda: self.page('return doc.querySelector("main h1").nextElementSibling.querySelector("b") !== null')
        d.keys(('Control', 'b'))
        self.check(lang + ' Ctrl+B takes the bold off again', not bold())
        d.keys(('Control', 'z'), ('Control', 'u'))
        self.check(lang + ' Ctrl+Z brings it back, Ctrl+U underlines', bold() and self.page(
            'return doc.querySelector("main h1").nextElementSibling.querySelector("u") !== null'))
        d.keys(('Control', 'z'))

        text, path = self.save()
        style = re.search(r'<style>.*?</style>', original, re.S).group(0)
        self.check(lang + ' SaveEdit: whole page file with its doctype, head and style',
                   text.startswith(original[:original.index('<head>')]) and style in text
                   and text.rstrip().endswith('</body>\n</html>'), text[:200])
        self.check(lang + ' SaveEdit: the new bold paragraph', '<p><b>%s</b></p>' % t['typed'] in text)
        self.check(lang + ' SaveEdit: nothing the editor added for editing',
                   'contenteditable' not in text and 'tovra' not in text, text)
        self.check(lang + ' SaveEdit: mypath is the page file', path == str(page), path)

        # What the program does next: write the file and show it; opening it again must give the
        # same text, or every save would change the page.
        page.write_text(text, encoding='utf-8')
        self.open_editor(lang, edit_dir, page)
        again, _ = self.save()
        self.check(lang + ' saved page opens and saves unchanged', again == text,
                   '\n'.join(difflib.unified_diff(text.splitlines(), again.splitlines(), lineterm='')))
        self.shot('editor_%s.png' % lang)

    def formatting(self, lang):
        d, t = self.d, LANGUAGES[lang]
        d.in_page('main ul li:last-child')
        d.keys(('End',), ('Enter',), ('Enter',), t['styled'], ('Shift', 'Home'))
        d.click(d.find('#fontsize'))
        d.click(d.find('#fontsize option[value="1.25"]'))
        d.click(d.find('#tb-color'))
        self.check(lang + ' colour palette opens', d.run('return !document.getElementById("colorpop").hidden'))
        self.shot('editor_colours_%s.png' % lang)
        d.click(d.find('#colorpop .swatch[data-color="#c62828"]'))
        d.click(d.find('#tb-center'))
        got = self.page('var p = doc.querySelector("main ul").nextElementSibling, s = p.querySelector("span");'
                        'return [p.tagName, p.style.textAlign, p.textContent, s && s.style.fontSize,'
                        ' s && getComputedStyle(s.querySelector("span") || s).color];')
        self.check(lang + ' Enter twice leaves the list; size, colour and centre applied',
                   got == ['P', 'center', t['styled'], '1.25em', 'rgb(198, 40, 40)'], repr(got))
        self.check(lang + ' size box shows the size', d.run('return document.getElementById("fontsize").value') == '1.25')

        d.click(d.find('#tb-bullets'))
        self.check(lang + ' bulleted list', self.page(
            'return Array.prototype.some.call(doc.querySelectorAll("main li"),'
            ' function (li) { return li.textContent === arguments[0]; })'.replace('arguments[0]', repr(t['styled']))))
        d.click(d.find('#tb-undo'))

        d.run('document.getElementById("tb-bold").focus()')
        d.keys(('ArrowRight',), ('ArrowRight',))
        self.check(lang + ' arrow keys move along the toolbar', d.run('return document.activeElement.id') == 'tb-underline')
        d.keys(('Enter',))
        self.check(lang + ' Enter on a toolbar button applies it to the page', self.page(
            'return doc.querySelector("main ul").nextElementSibling.querySelector("u") !== null'))
        d.keys(('Control', 'z'))
        d.click(d.find('#tb-color'))
        d.keys(('Escape',))
        self.check(lang + ' Esc closes the palette and gives the focus back to its button',
                   d.run('return document.getElementById("colorpop").hidden && document.activeElement.id') == 'tb-color')

        d.in_page('main h1')
        d.keys(('Home',), ('Shift', 'End'))
        d.click(d.find('#tb-link'))
        d.call('POST', '/alert/text', {'text': 'https://example.org/optics'})
        d.call('POST', '/alert/accept', {})
        link = self.page('var a = doc.querySelector("main h1 a"); return a && [a.getAttribute("href"), a.textContent];')
        self.check(lang + ' Link asks for the address and links the selection',
                   link is not None and link[0] == 'https://example.org/optics', repr(link))

    def pictures(self, lang, page, outside):
        d, t = self.d, LANGUAGES[lang]
        self.check(lang + ' picture tooltip says where the picture must lie',
                   t['image_tip'] in d.attribute(d.find('#tb-image'), 'title'))
        beside = page.parent / 'lens photo.png'
        beside.write_bytes(png(40, 30, (26, 111, 181)))
        d.in_page('main p')
        d.send_file(d.find('#imagefile'), beside)
        img = self.expect(lang + ' picture beside the page inserted and shown', lambda: self.page(
            'var i = doc.querySelector("main img"); return i && i.naturalWidth > 0 && [i.getAttribute("src"), i.alt];'))
        self.check(lang + ' picture written by its file name', img == ['lens%20photo.png', 'lens photo'], repr(img))
        d.send_file(d.find('#imagefile'), outside)
        self.expect(lang + ' picture from another folder: the status line says to copy it',
                    lambda: t['missing'] in self.status())
        self.check(lang + ' and it is not put into the page', self.page('return doc.querySelectorAll("img").length') == 1)

    # -- tables and the table functions the program calls --

    def tables(self, lang):
        d, t = self.d, LANGUAGES[lang]
        new = t['new_cell']
        d.in_page('main p')
        self.check(lang + ' DeleteTable outside a table changes nothing and says why',
                   d.run('return DeleteTable()') is False and self.rows() is None and self.status() == t['not_in_table'])
        self.check(lang + ' getTable outside a table', d.run('return getTable()') is None)

        d.click(d.find('#tb-table'))
        d.click(d.find('#tablerows'))
        d.keys(('Control', 'a'), '2')
        d.click(d.find('#tablecols'))
        d.keys(('Control', 'a'), '2')
        d.click(d.find('#tableok'))
        self.check(lang + ' 2 x 2 table inserted', self.rows() == [['', ''], ['', '']], repr(self.rows()))
        self.check(lang + ' table popup closed', d.run('return document.getElementById("tablepop").hidden'))

        d.in_page('main table tr:first-child td:last-child')
        d.keys('a1')
        found = d.run('var t = getTable(); return [t && t.tagName, rows && rows.rowIndex, edit.parentElement().tagName];')
        self.check(lang + ' getTable finds the caret\'s table and row', found == ['TABLE', 0, 'TD'], repr(found))
        d.run('AppendTable();')
        self.check(lang + ' AppendTable adds a row below the caret\'s row',
                   self.rows() == [['', 'a1'], [new, new], ['', '']], repr(self.rows()))
        d.run('DeleteTable();')
        self.check(lang + ' DeleteTable deletes the caret\'s row', self.rows() == [['', 'a1'], ['', '']], repr(self.rows()))
        d.in_page('main table tr:last-child td:first-child')
        d.run('AppendTable0("f = 1/u + 1/v", "lens");')
        self.check(lang + ' AppendTable0 fills the new row', self.rows() == [['', 'a1'], ['', ''], ['f = 1/u + 1/v', 'lens']],
                   repr(self.rows()))

        d.in_page('main table tr:first-child td:first-child')
        d.click(d.find('#tb-rowAdd'))
        self.check(lang + ' toolbar Add row', len(self.rows()) == 4 and self.rows()[1] == [new, new], repr(self.rows()))
        d.keys(('Control', 'z'))
        self.check(lang + ' Ctrl+Z takes the added row away', len(self.rows()) == 3, repr(self.rows()))
        d.keys(('Control', 'y'))
        d.click(d.find('#tb-rowDelete'))
        self.check(lang + ' redo, then toolbar Delete row removes the new row again',
                   self.rows() == [['', 'a1'], ['', ''], ['f = 1/u + 1/v', 'lens']], repr(self.rows()))
        d.in_page('main table tr:last-child td:last-child')
        d.keys(('Tab',))
        self.check(lang + ' Tab in the last cell adds a row', len(self.rows()) == 4 and self.rows()[3] == [new, new],
                   repr(self.rows()))
        d.run('DeleteTable();')
        d.run('DeleteTable(); DeleteTable();')
        self.check(lang + ' deleting every row takes the empty table away',
                   d.run('DeleteTable(); return null') is None and self.rows() is None
                   and self.page('return doc.querySelectorAll("main table").length') == 0)
        d.keys(('Control', 'z'))
        self.check(lang + ' Ctrl+Z brings the last row back', self.rows() == [['', 'a1']], repr(self.rows()))
        self.check(lang + ' no script errors', d.run('return window.__editorErrors') == [])

    # -- the source view, saving from it and after it --

    def source(self, lang):
        d, t = self.d, LANGUAGES[lang]
        before, _ = self.save()
        d.click(d.find('#tb-source'))
        shown = d.run('var s = document.getElementById("source");'
                      'return [s.value, getComputedStyle(s).display, document.getElementById("Editor").hidden,'
                      ' document.getElementById("tb-bold").disabled, document.getElementById("statusmsg").textContent];')
        self.check(lang + ' source view shows the whole page file in place of the page',
                   shown[0] == before and shown[1] != 'none' and shown[2] is True and shown[3] is True, repr(shown[1:]))
        self.shot('editor_source_%s.png' % lang)
        heading = self.page('return doc.querySelector("main h1").textContent')
        d.run('var s = document.getElementById("source");'
              's.value = s.value.replace(/<h1>[\\s\\S]*?<\\/h1>/, "<h1>Snell\'s law</h1>")'
              '.replace("</style>", "  h1 { letter-spacing: 0.02em; }\\n</style>");')
        text, _ = self.save()
        self.check(lang + ' SaveEdit in the source view saves the source as it is now',
                   "<h1>Snell's law</h1>" in text and 'letter-spacing: 0.02em' in text and text != before)

        d.click(d.find('#tb-source'))
        applied = self.page('var h = doc.querySelector("main h1"), m = doc.querySelector("main");'
                            'return [h.textContent, getComputedStyle(h).letterSpacing !== "normal",'
                            ' getComputedStyle(m).borderTopColor, m.isContentEditable,'
                            ' document.getElementById("Editor").hidden];')
        self.check(lang + ' back from the source view: the change applied, the page styled and editable',
                   applied == ["Snell's law", True, 'rgb(26, 111, 181)', True, False], repr(applied))
        d.in_page('main h1')
        d.keys(('End',), ' n1 sin a = n2 sin b')
        text, _ = self.save()
        self.check(lang + ' saving again gives the fresh page',
                   "<h1>Snell's law n1 sin a = n2 sin b</h1>" in text and 'letter-spacing: 0.02em' in text
                   and t['typed'] in text and '<table' in text, text)
        d.keys(('Control', 'z'), ('Control', 'z'))
        self.check(lang + ' undo goes back across the source view',
                   self.page('return doc.querySelector("main h1").textContent') == heading
                   and self.page('return getComputedStyle(doc.querySelector("main h1")).letterSpacing') == 'normal')
        d.keys(('Control', 'y'))
        self.check(lang + ' and redo forward again',
                   self.page('return doc.querySelector("main h1").textContent') == "Snell's law")
        self.check(lang + ' no script errors', d.run('return window.__editorErrors') == [])

    def another_page(self, lang, edit_dir, page, original):
        """Straight from page 1 to page 2 of the same folder: with the "#" in its name only the
        fragment of the editor's address changes, and the editor must still show page 2."""
        d, t = self.d, LANGUAGES[lang]
        second = page.parent / '2.html'
        second.write_text(re.sub(r'<h1>.*?</h1>', '<h1>Second page</h1>', original), encoding='utf-8')
        d.get((edit_dir / 'ZonEdit.htm').as_uri() + '?open=file://' + str(second))
        self.expect(lang + ' editor moved straight to page 2', lambda: self.page(
            'return doc.querySelector("main[contenteditable] h1").textContent') == 'Second page')
        self.check(lang + ' status names page 2', d.text(d.find('#pagelabel')) == t['label'].replace('1', '2'))
        self.check(lang + ' SaveEdit gives page 2 and its path',
                   self.save()[1] == str(second) and '<h1>Second page</h1>' in self.save()[0])

    def small_window(self, lang):
        d = self.d
        d.resize(800, 600)
        time.sleep(0.3)
        fit = d.run('var w = innerWidth, h = innerHeight, f = document.getElementById("Editor").getBoundingClientRect(),'
                    ' s = document.querySelector(".status").getBoundingClientRect();'
                    'var out = Array.prototype.filter.call(document.querySelectorAll(".toolbar .tb, .toolbar select"),'
                    ' function (b) { var r = b.getBoundingClientRect(); return r.right > w || r.left < 0; }).length;'
                    'return [w, h, document.documentElement.scrollWidth <= w, out, f.height >= 420, s.bottom <= h];')
        self.check(lang + ' at 800 x 600 the toolbar fits, the page keeps its room, the status line shows',
                   fit == [800, 600, True, 0, True, True], repr(fit))
        self.shot('editor_800x600_%s.png' % lang)
        d.resize(1280, 800)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--template', required=True, help='the program folder\'s ELanguage')
    parser.add_argument('--artifacts', default='artifacts', help='folder for the screenshots')
    args = parser.parse_args()
    template_root = Path(args.template).resolve()
    artifacts = Path(args.artifacts).resolve()
    artifacts.mkdir(parents=True, exist_ok=True)

    for tool in (CHROMIUM, CHROMEDRIVER):
        if not Path(tool).exists():
            print('FAIL %s is missing (apt-get install chromium chromium-driver)' % tool)
            return 1

    def body(run, driver, work):
        shared = [(name, [(template_root / lang / 'edit' / name).read_bytes() for lang in LANGUAGES])
                  for name in ('zonedit.js', 'zonedit.css')]
        for name, copies in shared:
            run.check(name + ' is the same in every language', all(c == copies[0] for c in copies))
        outside = work / 'elsewhere.png'
        outside.write_bytes(png(8, 8, (200, 40, 40)))
        for lang in LANGUAGES:
            web = work / lang / 'Optics 光学 #1' / 'web.files'
            web.mkdir(parents=True)
            page = web / '1.html'
            original = (template_root / lang / 'web.files' / '1.html').read_text(encoding='utf-8')
            page.write_text(original, encoding='utf-8')
            edit_dir = template_root / lang / 'edit'
            try:
                run.typing(lang, edit_dir, page, original)
                run.formatting(lang)
                run.pictures(lang, page, outside)
                run.tables(lang)
                run.source(lang)
                run.small_window(lang)
                run.another_page(lang, edit_dir, page, original)
            except (CheckFailed, WebDriverError, OSError, KeyError, IndexError, TypeError, AttributeError) as e:
                run.failures.append('%s: stopped: %s' % (lang, e))
                print('FAIL', run.failures[-1])
                traceback.print_exc()
                try:
                    driver.top()
                    run.shot('failure_%s.png' % lang)
                except (WebDriverError, OSError):
                    pass
        keys = list(run.text_keys.values())
        run.check('every language has every text', len(keys) == len(LANGUAGES) and all(k == keys[0] for k in keys),
                  repr(run.text_keys))

    return run_session(artifacts, EditorDriver, EditorRun, 'tovra-editor-', body)


if __name__ == '__main__':
    sys.exit(main())
