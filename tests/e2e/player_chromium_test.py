#!/usr/bin/env python3
"""Plays a blank course made from the course player template in headless Chromium.

For each language template it builds a course folder the way the editor copies one, with pages
2 and 3, the page list and the GBK-encoded course details and page index the editor writes, opens
web.htm from disk and drives the player through chromedriver's WebDriver HTTP API: course details,
page index, turning pages by button, index, keys and the hash, the editor's page functions of
fullscreen.htm, and the same course without the generated scripts. Screenshots go to --artifacts.
"""

import argparse
import base64
import json
import os
import re
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import traceback
import urllib.error
import urllib.request
from pathlib import Path

CHROMIUM = '/usr/bin/chromium'
CHROMEDRIVER = '/usr/bin/chromedriver'
ELEMENT = 'element-6066-11e4-a52e-4f735466cecf'
KEY = {'ArrowLeft': '\ue012', 'ArrowRight': '\ue014', 'PageUp': '\ue00e', 'PageDown': '\ue00f'}

COURSE_NAME = '光学基础'
LECTURER = '李明'
UNIT = '物理系'
DATE = '24-03-09_14'

# What each template is expected to show; the page titles are those of the test course.
LANGUAGES = {
    'English': {
        'titles': ['Introduction', 'Lenses', 'Mirrors'],
        'heading': '{title} (page {n})',
        'page_of': 'Page {n} / {total}',
        'page': 'Page {n}',
        'no_course': 'Untitled course',
        'no_lecturer': 'not given',
        'branches': ['Course', 'Pages in the lecture'],
        'unit_leaf': 'Made by: ' + UNIT,
    },
    'Chinese': {
        'titles': ['引言', '透镜', '反射镜'],
        'heading': '{title}（第{n}页）',
        'page_of': '第 {n} 页 / 共 {total} 页',
        'page': '第 {n} 页',
        'no_course': '未命名课程',
        'no_lecturer': '未填写',
        'branches': ['网络课程', '课程目录'],
        'unit_leaf': '制作: ' + UNIT,
    },
}


class WebDriverError(Exception):
    pass


class CheckFailed(Exception):
    pass


class Driver:
    """The few WebDriver commands the test needs, over plain HTTP."""

    def __init__(self, port):
        self.base = 'http://127.0.0.1:%d' % port
        self.session = None

    def call(self, method, path, body=None):
        """A command of the session; path is relative to /session/<id>."""
        return self.raw(method, '/session/%s%s' % (self.session, path), body)

    def raw(self, method, path, body=None):
        data = None if body is None else json.dumps(body).encode()
        request = urllib.request.Request(self.base + path, data=data, method=method,
                                         headers={'Content-Type': 'application/json; charset=utf-8'})
        try:
            with urllib.request.urlopen(request, timeout=60) as response:
                return json.loads(response.read().decode() or 'null').get('value')
        except urllib.error.HTTPError as e:
            try:
                value = json.loads(e.read().decode()).get('value', {})
                message = '%s: %s' % (value.get('error'), (value.get('message') or '').splitlines()[0])
            except (ValueError, AttributeError, IndexError):
                message = str(e)
            raise WebDriverError('%s %s: %s' % (method, path, message)) from None

    def start(self):
        caps = {'capabilities': {'alwaysMatch': {
            'browserName': 'chrome',
            'goog:chromeOptions': {
                'binary': CHROMIUM,
                'args': ['--headless=new', '--no-sandbox', '--disable-gpu', '--window-size=1280,800'],
            },
        }}}
        self.session = self.raw('POST', '/session', caps)['sessionId']

    def quit(self):
        if self.session:
            try:
                self.call('DELETE', '')
            except (WebDriverError, OSError):
                pass
            self.session = None

    def get(self, url):
        self.call('POST', '/url', {'url': url})

    def url(self):
        return self.call('GET', '/url')

    def find(self, css):
        return self.call('POST', '/element', {'using': 'css selector', 'value': css})

    def find_all(self, css):
        return self.call('POST', '/elements', {'using': 'css selector', 'value': css})

    def text(self, element):
        return self.call('GET', '/element/%s/text' % element[ELEMENT])

    def attribute(self, element, name):
        return self.call('GET', '/element/%s/attribute/%s' % (element[ELEMENT], name))

    def click(self, element):
        self.call('POST', '/element/%s/click' % element[ELEMENT], {})

    def run(self, script, *args):
        return self.call('POST', '/execute/sync', {'script': script, 'args': list(args)})

    def frame(self, element):
        self.call('POST', '/frame', {'id': element})

    def top(self):
        self.call('POST', '/frame', {'id': None})

    def press(self, key):
        self.call('POST', '/actions', {'actions': [{'type': 'key', 'id': 'keyboard', 'actions': [
            {'type': 'keyDown', 'value': KEY[key]}, {'type': 'keyUp', 'value': KEY[key]}]}]})
        self.call('DELETE', '/actions')

    def screenshot(self, path):
        Path(path).write_bytes(base64.b64decode(self.call('GET', '/screenshot')))

    def set_window(self, width, height):
        self.call('POST', '/window/rect', {'width': width, 'height': height})


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def wait_for(what, probe, timeout=10.0):
    """Polls probe() until it returns something true; a frame being replaced makes WebDriver
    calls fail for a moment, so those count as not yet."""
    deadline = time.monotonic() + timeout
    last = None
    while True:
        try:
            last = probe()
            if last:
                return last
        except (WebDriverError, OSError) as e:  # OSError: chromedriver not listening yet
            last = e
        if time.monotonic() > deadline:
            raise CheckFailed('%s (last seen: %r)' % (what, last))
        time.sleep(0.1)


# ---- The course folder, as the editor lays out a blank course --------------------------------

def make_course(template, folder, lang, imported=False):
    """A blank course, or with imported=True the player files of an imported one. The deck
    export is not part of this test: in its place the blank course's viewer and pages are put
    there, which offer the same page functions and messages."""
    src = template / 'web.files'
    web = folder / 'web.files'
    (web / 'image').mkdir(parents=True)
    (web / 'mvfile').mkdir()
    for name in ('tree.htm', 'index.htm', '163.css', 'main.htm'):
        shutil.copyfile(src / name, web / name)
    for sub in ('image', 'mvfile'):
        for f in (src / sub).iterdir():
            if f.is_file():
                shutil.copyfile(f, web / sub / f.name)
    if imported:
        shutil.copyfile(src / 'left.htm', web / 'left.htm')
    else:
        shutil.copyfile(src / 'web.htm', folder / 'web.htm')
        shutil.copyfile(src / '_left.htm', web / 'left.htm')
    shutil.copyfile(src / '1.html', web / '1.html')
    shutil.copyfile(src / 'fullscreen.htm', web / 'fullscreen.htm')

    page1 = (src / '1.html').read_text(encoding='utf-8')
    headings = re.findall(r'<h1>(.*?)</h1>', page1, re.S)
    if len(headings) != 1:
        raise CheckFailed('%s 1.html: expected one <h1>, found %d' % (lang, len(headings)))
    texts = LANGUAGES[lang]
    expected = {1: headings[0].strip()}
    for n in (2, 3):
        expected[n] = texts['heading'].format(title=texts['titles'][n - 1], n=n)
        (web / ('%d.html' % n)).write_text(
            page1.replace('<h1>%s</h1>' % headings[0], '<h1>%s</h1>' % expected[n]), encoding='utf-8')
    write_page_list(web, [(n, texts['titles'][n - 1]) for n in (1, 2, 3)])
    (web / 'info.js').write_bytes(
        ('function onload_(){coursename.innerHTML="%s";teachername.innerHTML="%s";}'
         % (COURSE_NAME, LECTURER)).encode('gbk'))
    t = texts['titles']
    lines = [
        'function onInit()\t{',
        ' var myTree = new tree(); ',
        "var branch1 = new branch('branch1','网络课程');",
        "branch1.add(new leaf(' 制作: %s',' '));" % UNIT,
        "branch1.add(new leaf(' 时间: %s',' '));" % DATE,
        'myTree.add(branch1);',
        "var branch2 = new branch('branch2','课程目录');",
        "branch2.add(new leaf('%s','0'));" % t[0],
        "branch2.add(new leaf('%s',5000));" % t[1],
        # A turn by Next on an imported course: the page left and the page reached at one time;
        # the player lists the page reached once.
        "branch2.add(new leaf('%s',9250));" % t[1],
        "branch2.add(new leaf('%s',9250));" % t[2],
        "branch2.add(new leaf('%s',12500));" % t[1],  # the lecturer went back to page 2
        'branch1.add(branch2);',
        "myTree.write(showtree);showBranch('branch1');showBranch('branch2');}",
    ]
    (web / 'CourseIndex.js').write_bytes(('\r\n'.join(lines) + '\r\n').encode('gbk'))
    return expected


def write_page_list(web, pages):
    entries = [{'number': n, 'title': title} for n, title in pages]
    (web / 'CoursePages.js').write_text(
        'var coursePages = %s;' % json.dumps(entries, ensure_ascii=True, separators=(',', ':')),
        encoding='ascii')


# ---- Reading the player -------------------------------------------------------------------

def page_heading(d):
    """Heading of the page on show: player -> left.htm -> fullscreen.htm -> page."""
    d.top()
    try:
        d.frame(d.find('iframe[name="left"]'))
        d.frame(d.find('iframe#viewer'))
        frames = d.find_all('iframe:not(.loading)')
        if not frames:
            return None
        d.frame(frames[-1])
        return d.text(d.find('h1'))
    finally:
        d.top()


def viewer_heading(d):
    """Heading of the page on show when fullscreen.htm is the top document, as in the editor."""
    d.top()
    try:
        frames = d.find_all('iframe:not(.loading)')
        if not frames:
            return None
        d.frame(frames[-1])
        return d.text(d.find('h1'))
    finally:
        d.top()


def frame_errors(d):
    """window.__playerErrors of the player, its page frame and the page viewer."""
    found = {}
    d.top()
    try:
        found['index.htm'] = d.run('return window.__playerErrors')
        d.frame(d.find('iframe[name="left"]'))
        found['left.htm'] = d.run('return window.__playerErrors')
        d.frame(d.find('iframe#viewer'))
        found['fullscreen.htm'] = d.run('return window.__playerErrors')
    finally:
        d.top()
    return found


class Run:
    def __init__(self, driver, artifacts):
        self.d = driver
        self.artifacts = artifacts
        self.failures = []
        self.passed = 0

    def check(self, what, condition, detail=''):
        if condition:
            self.passed += 1
        else:
            self.failures.append('%s%s' % (what, (': ' + detail) if detail else ''))
            print('FAIL', self.failures[-1])

    def expect(self, what, probe, timeout=10.0):
        try:
            result = wait_for(what, probe, timeout)
            self.passed += 1
            return result
        except CheckFailed as e:
            self.failures.append(str(e))
            print('FAIL', e)
            return None

    def shot(self, name):
        path = self.artifacts / name
        self.d.screenshot(path)
        print('screenshot', path)

    def no_errors(self, lang, stage):
        errors = frame_errors(self.d)
        for where, list_ in errors.items():
            self.check('%s %s: no script errors in %s' % (lang, stage, where), list_ == [], repr(list_))

    # -- the course with everything the editor writes --

    def player(self, lang, folder, headings):
        d, t = self.d, LANGUAGES[lang]
        titles = t['titles']
        indicator = lambda: d.text(d.find('#pageinfo'))

        d.get((folder / 'web.htm').as_uri())
        # One round trip, well before the page moves on to the player.
        link, name = d.run("return [document.getElementById('open').getAttribute('href'),"
                           " document.getElementById('coursename').textContent]")
        self.check(lang + ' web.htm links to the player', link == 'web.files/index.htm', link)
        self.check(lang + ' web.htm shows the course name', name == COURSE_NAME, name)
        self.shot('welcome_%s.png' % lang)
        self.expect(lang + ' web.htm opens the player', lambda: re.search(r'/web\.files/index\.htm(#.*)?$', d.url()))

        self.expect(lang + ' course name shown', lambda: d.text(d.find('#coursename')) == COURSE_NAME)
        self.check(lang + ' lecturer shown', d.text(d.find('#teachername')) == LECTURER)
        self.check(lang + ' tab titled after the course', d.run('return document.title') == COURSE_NAME)
        self.check(lang + ' top.iswebview set', d.run('return window.iswebview') == 1)

        leaves = [d.text(e) for e in d.find_all('#showtree .leaf-link .leaf-text')]
        self.check(lang + ' index lists the recorded pages', leaves == [titles[0], titles[1], titles[2], titles[1]],
                   repr(leaves))
        links = [(d.attribute(e, 'data-page'), d.attribute(e, 'data-time'))
                 for e in d.find_all('#showtree .leaf-link')]
        self.check(lang + ' leaves carry page and time', links == [('1', '0'), ('2', '5000'), ('3', '9250'),
                                                                 ('2', '12500')], repr(links))
        info = [d.text(e) for e in d.find_all('#showtree .leaf-info')]
        self.check(lang + ' index shows unit and date', info[:1] == [t['unit_leaf']] and DATE in info[-1],
                   repr(info))
        heads = [d.text(e) for e in d.find_all('#showtree .branch-head')]
        self.check(lang + ' index branches opened and named', heads == t['branches']
                   and all(d.attribute(e, 'aria-expanded') == 'true' for e in d.find_all('#showtree .branch-head')),
                   repr(heads))
        self.check(lang + ' recording panel says the recording cannot play',
                   d.attribute(d.find('#videopanel'), 'data-state') == 'unplayable')

        self.expect(lang + ' page 1 shown in the page frame', lambda: page_heading(d) == headings[1])
        self.expect(lang + ' indicator on page 1', lambda: indicator() == t['page_of'].format(n=1, total=3))
        self.check(lang + ' previous disabled on the first page', d.run(
            'return document.getElementById("prevpage").disabled') is True)
        current = [d.attribute(e, 'data-page') for e in d.find_all('#showtree .leaf-link.current')]
        self.check(lang + ' index marks page 1', current == ['1'], repr(current))
        self.shot('player_page1_%s.png' % lang)

        d.click(d.find('#nextpage'))
        self.expect(lang + ' next button: indicator on page 2', lambda: indicator() == t['page_of'].format(n=2, total=3))
        self.expect(lang + ' next button: page 2 shown', lambda: page_heading(d) == headings[2])
        current = [d.attribute(e, 'data-page') for e in d.find_all('#showtree .leaf-link.current')]
        self.check(lang + ' index marks both visits of page 2', current == ['2', '2'], repr(current))
        self.shot('player_turned_%s.png' % lang)

        d.click(d.find('#showtree .leaf-link[data-page="3"]'))
        self.expect(lang + ' leaf: indicator on page 3', lambda: indicator() == t['page_of'].format(n=3, total=3))
        self.expect(lang + ' leaf: page 3 shown', lambda: page_heading(d) == headings[3])
        self.check(lang + ' next disabled on the last page', d.run(
            'return document.getElementById("nextpage").disabled') is True)
        d.click(d.find('#nextpage'))  # disabled: must not move
        time.sleep(0.3)
        self.check(lang + ' last page stays', indicator() == t['page_of'].format(n=3, total=3))

        # Keys in the player, then in the page after clicking it.
        d.click(d.find('#pageinfo'))
        d.press('ArrowLeft')
        self.expect(lang + ' left arrow in the player: page 2', lambda: indicator() == t['page_of'].format(n=2, total=3))
        d.press('PageUp')
        self.expect(lang + ' page up in the player: page 1', lambda: page_heading(d) == headings[1])
        d.frame(d.find('iframe[name="left"]'))
        d.frame(d.find('iframe#viewer'))
        d.frame(d.find_all('iframe:not(.loading)')[-1])
        d.click(d.find('h1'))
        d.top()
        time.sleep(0.6)  # the viewer takes the keyboard back within a quarter of a second
        d.press('ArrowRight')
        self.expect(lang + ' right arrow after a click in the page: page 2',
                    lambda: indicator() == t['page_of'].format(n=2, total=3))
        self.expect(lang + ' right arrow after a click in the page: page 2 shown',
                    lambda: page_heading(d) == headings[2])
        self.check(lang + ' address keeps the page', d.url().endswith('#page=2'), d.url())

        d.get((folder / 'web.files' / 'index.htm').as_uri() + '#page=3')
        self.expect(lang + ' #page=3 opens page 3', lambda: page_heading(d) == headings[3])
        self.expect(lang + ' #page=3 indicator', lambda: indicator() == t['page_of'].format(n=3, total=3))
        self.no_errors(lang, 'full course')

        d.get((folder / 'web.files' / 'tree.htm').as_uri())
        hrefs = [d.attribute(e, 'href') for e in d.find_all('#showtree .leaf-link')]
        self.check(lang + ' tree.htm links the leaves to the player',
                   hrefs == ['index.htm#page=1', 'index.htm#page=2', 'index.htm#page=3', 'index.htm#page=2'],
                   repr(hrefs))
        self.check(lang + ' tree.htm has no script errors', d.run('return window.__playerErrors') == [])
        self.shot('tree_%s.png' % lang)

        d.get((folder / 'web.files' / 'main.htm').as_uri())
        rows = [d.text(e) for e in d.find_all('#pagelist .leaf-text')]
        self.check(lang + ' main.htm lists the pages', rows == titles, repr(rows))
        self.check(lang + ' main.htm names the course', d.text(d.find('#coursename')) == COURSE_NAME)
        self.check(lang + ' main.htm has no script errors', d.run('return window.__playerErrors') == [])
        self.shot('overview_%s.png' % lang)

    # -- the page frame of imported courses, and the pointer image --

    def imported(self, lang, folder, headings):
        d, t = self.d, LANGUAGES[lang]
        indicator = lambda: d.text(d.find('#pageinfo'))
        d.get((folder / 'web.files' / 'index.htm').as_uri())
        self.expect(lang + ' imported: left.htm shows the first page', lambda: page_heading(d) == headings[1])
        self.expect(lang + ' imported: indicator on page 1', lambda: indicator() == t['page_of'].format(n=1, total=3))
        d.click(d.find('#nextpage'))
        self.expect(lang + ' imported: next relayed to the viewer', lambda: page_heading(d) == headings[2])
        self.expect(lang + ' imported: report relayed to the player',
                    lambda: indicator() == t['page_of'].format(n=2, total=3))
        self.no_errors(lang, 'imported course')

        d.run("window.__cursor = null; var i = new Image();"
              "i.onload = function () { window.__cursor = [i.naturalWidth, i.naturalHeight]; };"
              "i.onerror = function () { window.__cursor = 'broken'; }; i.src = 'image/Cursor.gif';")
        size = self.expect(lang + ' image/Cursor.gif decodes', lambda: d.run('return window.__cursor'))
        self.check(lang + ' image/Cursor.gif is pointer-sized', isinstance(size, list)
                   and all(16 <= v <= 24 for v in size), repr(size))

    # -- fullscreen.htm as the editor uses it --

    def viewer(self, lang, folder, headings):
        d = self.d
        web = folder / 'web.files'
        titles = LANGUAGES[lang]['titles']
        title = lambda: d.run('return document.title')
        # Page order differs from the numbers, as after moving pages.
        write_page_list(web, [(1, titles[0]), (3, titles[2]), (2, titles[1])])
        d.get((web / 'fullscreen.htm').as_uri() + '?open=3.html')
        # The editor learns its own turns itself: only turns made in the page report "PAGE:".
        self.check(lang + ' viewer: ?open=3.html shows 3 without a report',
                   d.run('return GetCurSldNum()') == 3 and not title().startswith('PAGE:'), title())
        self.expect(lang + ' viewer: page 3 shown', lambda: viewer_heading(d) == headings[3])
        steps = [('GoToNextSld()', 2), ('GoToNextSld()', 2), ('GoToPrevSld()', 3), ('GoToPrevSld()', 1),
                 ('GoToPrevSld()', 1), ('GoToSldNum(2)', 2), ('GoToSldNum(0)', 1)]
        for call, page in steps:
            got = d.run(call + '; return [GetCurSldNum(), document.title, location.search];')
            self.check('%s viewer: %s gives page %d' % (lang, call, page),
                       got[0] == page and not got[1].startswith('PAGE:') and got[2] == '?open=%d.html' % page,
                       repr(got))
        self.expect(lang + ' viewer: page 1 shown after the calls', lambda: viewer_heading(d) == headings[1])
        d.press('ArrowRight')
        self.expect(lang + ' viewer: right arrow follows the page order', lambda: title() == 'PAGE:3')
        d.run("window.postMessage({tovra: 'goto', page: 2}, '*');")
        self.expect(lang + ' viewer: goto message', lambda: d.run('return GetCurSldNum()') == 2)
        d.frame(d.find_all('iframe:not(.loading)')[-1])
        d.click(d.find('h1'))
        d.top()
        time.sleep(0.6)
        d.press('PageUp')
        self.expect(lang + ' viewer: page up after a click in the page', lambda: title() == 'PAGE:3')
        self.expect(lang + ' viewer: page 3 shown after the key', lambda: viewer_heading(d) == headings[3])
        self.expect(lang + ' viewer: one page frame left', lambda: len(d.find_all('iframe')) == 1, 5)
        self.check(lang + ' viewer: no script errors', d.run('return window.__playerErrors') == [])
        write_page_list(web, [(n, titles[n - 1]) for n in (1, 2, 3)])

    # -- the same course before any recording and without the page list --

    def bare(self, lang, folder, headings):
        d, t = self.d, LANGUAGES[lang]
        indicator = lambda: d.text(d.find('#pageinfo'))
        for name in ('info.js', 'CourseIndex.js', 'CoursePages.js'):
            (folder / 'web.files' / name).unlink()
        d.get((folder / 'web.htm').as_uri())
        name = d.run("return document.getElementById('coursename').textContent")
        self.check(lang + ' web.htm without info.js: placeholder name', name == t['no_course'], name)
        self.expect(lang + ' bare: web.htm opens the player', lambda: re.search(r'/web\.files/index\.htm(#.*)?$', d.url()))
        self.expect(lang + ' bare: placeholder course name', lambda: d.text(d.find('#coursename')) == t['no_course'])
        self.check(lang + ' bare: placeholder lecturer', d.text(d.find('#teachername')) == t['no_lecturer'])
        self.check(lang + ' bare: index shows its empty state',
                   d.run('return document.documentElement.getAttribute("data-index")') == 'empty'
                   and d.text(d.find('#showtree .tree-empty')) != '')
        self.check(lang + ' bare: recording panel says no recording',
                   d.attribute(d.find('#videopanel'), 'data-state') == 'none')
        self.expect(lang + ' bare: page 1 shown', lambda: page_heading(d) == headings[1])
        self.expect(lang + ' bare: indicator on page 1', lambda: indicator() == t['page'].format(n=1))
        self.check(lang + ' bare: previous disabled on page 1', d.run(
            'return document.getElementById("prevpage").disabled') is True)
        self.shot('player_nogenerated_%s.png' % lang)
        d.click(d.find('#nextpage'))
        self.expect(lang + ' bare: next turns to page 2', lambda: page_heading(d) == headings[2])
        self.expect(lang + ' bare: indicator on page 2', lambda: indicator() == t['page'].format(n=2))
        d.click(d.find('#prevpage'))
        self.expect(lang + ' bare: previous back to page 1', lambda: indicator() == t['page'].format(n=1))
        self.no_errors(lang, 'without generated scripts')

        d.get((folder / 'web.files' / 'main.htm').as_uri())
        self.check(lang + ' bare: main.htm without a page list has no errors',
                   d.run('return window.__playerErrors') == [] and d.text(d.find('.tree-empty')) != '')


def start_chromedriver(artifacts, driver_class):
    """chromedriver on a free port with a browser session; returns (driver, stop)."""
    port = free_port()
    log = open(artifacts / 'chromedriver.log', 'w')
    server = subprocess.Popen([CHROMEDRIVER, '--port=%d' % port], stdout=log, stderr=subprocess.STDOUT)
    driver = driver_class(port)

    def stop():
        driver.quit()
        server.terminate()
        try:
            server.wait(10)
        except subprocess.TimeoutExpired:
            server.kill()
        log.close()

    try:
        wait_for('chromedriver ready', lambda: driver.raw('GET', '/status').get('ready'), 20)
        driver.start()
    except BaseException:
        stop()
        raise
    return driver, stop


def summary(run):
    """Prints what passed and what failed; the exit status."""
    print()
    print('%d passed, %d failed' % (run.passed, len(run.failures)))
    for f in run.failures:
        print('  failed:', f)
    return 1 if run.failures else 0


def run_session(artifacts, driver_class, run_class, prefix, body, launch=start_chromedriver):
    """Starts a browser session with launch(artifacts, driver_class), runs body(run, driver, work
    folder), ends the session and prints the summary; returns the exit status."""
    work = Path(tempfile.mkdtemp(prefix=prefix))
    run = run_class(None, artifacts)
    stop = None
    try:
        run.d, stop = launch(artifacts, driver_class)
        body(run, run.d, work)
    except (CheckFailed, WebDriverError, OSError) as e:
        run.failures.append('browser: %s' % e)
        print('FAIL', run.failures[-1])
    finally:
        if stop:
            stop()
        shutil.rmtree(work, ignore_errors=True)

    return summary(run)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--template', required=True, help='the program folder\'s ELanguage')
    parser.add_argument('--artifacts', default='artifacts', help='folder for the screenshots')
    args = parser.parse_args()
    template_root = Path(args.template).resolve()
    artifacts = Path(args.artifacts).resolve()
    artifacts.mkdir(parents=True, exist_ok=True)

    for tool in (CHROMIUM, CHROMEDRIVER):
        if not os.access(tool, os.X_OK):
            print('FAIL %s is missing (apt-get install chromium chromium-driver)' % tool)
            return 1

    def body(run, driver, work):
        for lang in LANGUAGES:
            folder = work / lang / 'My course'  # a space, as teachers' folder names have
            try:
                headings = make_course(template_root / lang, folder, lang)
                run.player(lang, folder, headings)
                run.viewer(lang, folder, headings)
                run.bare(lang, folder, headings)
                imported = work / lang / 'Imported course'
                run.imported(lang, imported, make_course(template_root / lang, imported, lang, imported=True))
            except (CheckFailed, WebDriverError, OSError, KeyError, IndexError, TypeError) as e:
                run.failures.append('%s: stopped: %s' % (lang, e))
                print('FAIL', run.failures[-1])
                traceback.print_exc()
                try:
                    driver.top()
                    run.shot('failure_%s.png' % lang)
                except (WebDriverError, OSError):
                    pass

    return run_session(artifacts, Driver, Run, 'tovra-player-', body)


if __name__ == '__main__':
    sys.exit(main())
