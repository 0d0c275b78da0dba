#!/usr/bin/env python3
"""Plays a recorded lecture in headless Chromium or Firefox: from disk and from a web server.

The course is the one the recording end-to-end test records (a blank course, ten seconds with a
pointer move, a pen stroke and a page turn) and keeps with the editor's layout of the page at the
time of the stroke. The test opens the course's web.htm, plays video001.webm and checks through the
page that the picture plays, the page turns at the timeline's moment, and the pointer and the ink
land where they were on the page's sheet in the editor; then seeking (the index, the video's own
position) rebuilds page, pointer and ink. The Chinese player files get a shorter round. With --imported,
a lecture in slide points plays over the slides of a course imported from a real deck. Screenshots
go to --artifacts.
"""

import argparse
import base64
import functools
import http.server
import json
import re
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import threading
import time
import traceback
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import player_chromium_test as player  # noqa: E402  (the WebDriver client and checks)

GREEN = [0, 255, 0]  # pen colour 9, the one the recording uses
FIREFOX = '/usr/bin/firefox-esr'


class Driver(player.Driver):
    def start(self):
        caps = {'capabilities': {'alwaysMatch': {
            'browserName': 'chrome',
            'goog:chromeOptions': {
                'binary': player.CHROMIUM,
                'args': ['--headless=new', '--no-sandbox', '--disable-gpu', '--window-size=1280,800',
                         '--autoplay-policy=no-user-gesture-required'],
            },
        }}}
        self.session = self.raw('POST', '/session', caps)['sessionId']


class Marionette:
    """The same commands as the Chromium driver, for Firefox over its own remote protocol
    (Marionette: length-prefixed JSON messages [0, id, command, parameters] on a socket)."""

    def __init__(self, port):
        self.port = port
        self.socket = None
        self.id = 0

    def connect(self):
        self.socket = socket.create_connection(('127.0.0.1', self.port), timeout=60)
        hello = self.receive()
        if hello.get('applicationType') != 'gecko':
            raise player.WebDriverError('not Firefox: %r' % hello)

    def receive(self):
        head = b''
        while not head.endswith(b':'):
            byte = self.socket.recv(1)
            if not byte:
                raise OSError('Firefox closed the connection')
            head += byte
        size = int(head[:-1])
        body = b''
        while len(body) < size:
            chunk = self.socket.recv(size - len(body))
            if not chunk:
                raise OSError('Firefox closed the connection')
            body += chunk
        return json.loads(body)

    def command(self, name, parameters=None):
        self.id += 1
        message = json.dumps([0, self.id, name, parameters or {}]).encode()
        self.socket.sendall(b'%d:%s' % (len(message), message))
        while True:
            kind, number, error, result = self.receive()
            if kind == 1 and number == self.id:
                break
        if error:
            raise player.WebDriverError('%s: %s: %s' % (name, error.get('error'),
                                                        (error.get('message') or '').splitlines()[0]))
        return result.get('value') if isinstance(result, dict) and 'value' in result else result

    def start(self):
        self.command('WebDriver:NewSession', {'capabilities': {'alwaysMatch': {}}})
        self.set_window(1280, 800)

    def quit(self):
        if self.socket:
            try:
                self.command('Marionette:Quit', {'flags': ['eForceQuit']})
            except (player.WebDriverError, OSError, ValueError):
                pass
            self.socket.close()
            self.socket = None

    def get(self, url):
        self.command('WebDriver:Navigate', {'url': url})

    def url(self):
        return self.command('WebDriver:GetCurrentURL')

    def find(self, css):
        return self.command('WebDriver:FindElement', {'using': 'css selector', 'value': css})

    def find_all(self, css):
        return self.command('WebDriver:FindElements', {'using': 'css selector', 'value': css})

    def text(self, element):
        return self.command('WebDriver:GetElementText', {'id': element[player.ELEMENT]})

    def attribute(self, element, name):
        return self.command('WebDriver:GetElementAttribute', {'id': element[player.ELEMENT], 'name': name})

    def click(self, element):
        self.command('WebDriver:ElementClick', {'id': element[player.ELEMENT]})

    def run(self, script, *args):
        return self.command('WebDriver:ExecuteScript', {'script': script, 'args': list(args)})

    def frame(self, element):
        self.command('WebDriver:SwitchToFrame', {'element': element[player.ELEMENT]})

    def top(self):
        self.command('WebDriver:SwitchToFrame', {})

    def screenshot(self, path):
        Path(path).write_bytes(base64.b64decode(self.command('WebDriver:TakeScreenshot', {'full': False})))

    def set_window(self, width, height):
        self.command('WebDriver:SetWindowRect', {'width': width, 'height': height})


def start_firefox(artifacts, driver_class):
    """Headless Firefox with a fresh profile and its remote protocol on a free port."""
    port = player.free_port()
    profile = Path(tempfile.mkdtemp(prefix='tovra-firefox-'))
    prefs = {'marionette.port': port, 'media.autoplay.default': 0, 'browser.shell.checkDefaultBrowser': False,
             'datareporting.policy.dataSubmissionEnabled': False, 'toolkit.telemetry.reportingpolicy.firstRun': False,
             'browser.startup.homepage_override.mstone': 'ignore', 'app.update.auto': False}
    (profile / 'user.js').write_text(''.join('user_pref(%s, %s);\n' % (json.dumps(k), json.dumps(v))
                                             for k, v in prefs.items()))
    log = open(artifacts / 'firefox.log', 'w')
    browser = subprocess.Popen([FIREFOX, '--headless', '--marionette', '--no-remote', '--profile', str(profile),
                                'about:blank'], stdout=log, stderr=subprocess.STDOUT)
    driver = driver_class(port)

    def stop():
        driver.quit()
        try:
            browser.wait(20)
        except subprocess.TimeoutExpired:
            browser.kill()
            browser.wait()
        log.close()
        shutil.rmtree(profile, ignore_errors=True)

    try:
        player.wait_for('Firefox listening', lambda: driver.connect() or True, 60)
        driver.start()
    except BaseException:
        stop()
        raise
    return driver, stop


def read_timeline(web):
    """The commands of video001.js and its position space, read as the data they are."""
    script = (web / 'video001.js').read_bytes().decode('ascii')
    entries = json.loads(re.search(r'var tovraTimeline = (\[.*?\]);\r\n', script, re.S).group(1))
    space = re.search(r'var tovraSpace = \{kind: "(\w+)", sizes: (\[.*?\]\])\};', script)
    return entries, (space.group(1), json.loads(space.group(2))) if space else None


def first(entries, kind, parameter=None):
    for t, k, p in entries:
        if k == kind and (parameter is None or p.startswith(parameter)):
            return t, p
    raise player.CheckFailed('no %s command %s in the timeline' % (kind, parameter or ''))


def stroke_points(parameter):
    numbers = [int(n) for n in re.findall(r'-?\d+', parameter[parameter.index("'m") + 2:])]
    return list(zip(numbers[0::2], numbers[1::2]))


def shows_file(src, n):
    return re.search(r'(^|/)%d\.html$' % n, src or '') is not None


@functools.lru_cache(maxsize=None)
def wmv_duration(web):
    """Where the .wmv's last packet ends. (FFmpeg's format duration of it adds the sound's 250 ms
    start, as it counts the header's play duration from each stream's own first sample.)"""
    out = subprocess.run(['ffprobe', '-v', 'error', '-show_entries', 'packet=pts_time,duration_time', '-of', 'csv=p=0',
                          str(web / 'video001.wmv')], capture_output=True, text=True, check=True).stdout
    end = 0.0
    for line in out.split():
        pts, _, duration = line.partition(',')
        end = max(end, float(pts) + (float(duration) if duration not in ('', 'N/A') else 0.0))
    return end


class Run(player.Run):
    # -- reading the player --

    def state(self):
        """Video time (ms), paused, page indicator, pointer (None when hidden) and ink pixels."""
        return self.d.run("""
            var v = document.getElementById('lecture'), p = document.getElementById('lecturepointer');
            var c = document.getElementById('lectureink'), g = c.getContext('2d');
            var data = g.getImageData(0, 0, c.width, c.height).data, inked = 0;
            for (var i = 3; i < data.length; i += 4) if (data[i]) inked++;
            return {time: v.currentTime * 1000, paused: v.paused, page: document.getElementById('pageinfo').textContent,
                    pointer: p.hidden ? null : [parseFloat(p.style.left), parseFloat(p.style.top)],
                    inked: inked, frame: [document.getElementById('pageframe').clientWidth,
                                          document.getElementById('pageframe').clientHeight],
                    canvas: [c.width, c.height]};""")

    def ink_near(self, x, y, radius=2):
        """The colours the ink canvas has within radius of (x, y)."""
        return self.d.run("""
            var g = document.getElementById('lectureink').getContext('2d');
            var r = arguments[2], d = g.getImageData(Math.round(arguments[0]) - r, Math.round(arguments[1]) - r,
                                                     2 * r + 1, 2 * r + 1).data, out = [];
            for (var i = 0; i < d.length; i += 4) if (d[i + 3] > 200) out.push([d[i], d[i + 1], d[i + 2]]);
            return out;""", x, y, radius)

    def sheet(self):
        """The page's sheet (its <main>) in the page frame: [left, top, width, height]."""
        d = self.d
        d.top()
        try:
            d.frame(d.find('iframe[name="left"]'))
            d.frame(d.find('iframe#viewer'))
            d.frame(d.find_all('iframe:not(.loading)')[-1])
            return d.run("var r = document.querySelector('main').getBoundingClientRect();"
                         " return [r.left, r.top, r.width, r.height];")
        finally:
            d.top()

    def shown_file(self):
        d = self.d
        d.top()
        try:
            d.frame(d.find('iframe[name="left"]'))
            d.frame(d.find('iframe#viewer'))
            return d.attribute(d.find_all('iframe:not(.loading)')[-1], 'src')
        finally:
            d.top()

    def watch_turns(self):
        """From now on window.__turns collects [video time, page] whenever the page frame says a
        page shows with its content."""
        self.d.run("window.__turns = []; var v = document.getElementById('lecture'),"
                   " f = document.getElementById('pageframe');"
                   "new MutationObserver(function () { window.__turns.push([v.currentTime * 1000,"
                   " parseInt(f.getAttribute('data-shown'), 10)]); })"
                   ".observe(f, {attributes: true, attributeFilter: ['data-shown']});")

    def wait_time(self, what, ms, timeout=20.0):
        return self.expect(what, lambda: self.d.run(
            "return document.getElementById('lecture').currentTime * 1000 >= arguments[0]", ms), timeout)

    def same_place(self, what, got, want, tolerance=3.0):
        self.check(what, got is not None and abs(got[0] - want[0]) <= tolerance and abs(got[1] - want[1]) <= tolerance,
                   'got %r, want %r' % (got, want))

    # -- the recorded lecture --

    def lecture(self, course, editor, label, address):
        d = self.d
        web = course / 'web.files'
        entries, space = read_timeline(web)
        self.check(label + ' timeline records view positions with the view size',
                   space is not None and space[0] == 'view' and space[1][0][1:] == editor['view'], repr(space))
        turn, _ = first(entries, 'pages', '(2,')
        moved, at = first(entries, 'script', '(300,220)')
        drawn, stroke = first(entries, 'dpaths', '9,')
        points = stroke_points(stroke)
        self.check(label + ' timeline: pointer and stroke before the turn', moved < turn and drawn < turn - 1000,
                   repr((moved, drawn, turn)))

        # Recorded view positions as fractions of the editor's sheet: the same fractions of the
        # sheet in the player are where they must show.
        s0 = editor['sheet']

        def on_sheet(point, s1):
            return [s1[0] + (point[0] - s0[0]) / s0[2] * s1[2], s1[1] + (point[1] - s0[1]) / s0[3] * s1[3]]

        d.get(address)
        self.expect(label + ' web.htm opens the player', lambda: re.search(r'/web\.files/index\.htm(#.*)?$', d.url()))
        self.expect(label + ' recording panel plays the lecture',
                    lambda: d.attribute(d.find('#videopanel'), 'data-state') == 'ready')
        self.check(label + ' video is the companion', d.run("return document.getElementById('lecture').currentSrc")
                   .endswith('/web.files/video001.webm'))
        meta = self.expect(label + ' video metadata', lambda: d.run(
            "var v = document.getElementById('lecture');"
            " return v.readyState >= 1 ? [v.duration, v.videoWidth, v.videoHeight] : null"))
        if meta:
            self.check(label + ' video is 640 x 480 and as long as the .wmv (within 100 ms)',
                       meta[1:] == [640, 480] and abs(meta[0] - wmv_duration(web)) <= 0.1,
                       '%r, .wmv %.3f s' % (meta, wmv_duration(web)))
        # The picture at most the panel's width; a click on it shows it larger, another as it was.
        sizes = "var v = document.getElementById('lecture'), p = document.getElementById('videopanel');" \
                " return [v.getBoundingClientRect().width, p.clientWidth];"
        small = d.run(sizes)
        self.check(label + ' video within the panel', 0 < small[0] <= small[1] + 0.5, repr(small))
        d.run("var v = document.getElementById('lecture'); var r = v.getBoundingClientRect();"
              " v.dispatchEvent(new MouseEvent('click', {bubbles: true, clientX: r.left + r.width / 2,"
              " clientY: r.top + r.height / 4}));")
        large = d.run(sizes)
        self.check(label + ' a click enlarges the video', large[0] > small[0] * 1.3, repr((small, large)))
        d.run("var v = document.getElementById('lecture'); var r = v.getBoundingClientRect();"
              " v.dispatchEvent(new MouseEvent('click', {bubbles: true, clientX: r.left + r.width / 2,"
              " clientY: r.top + r.height / 4}));")
        self.check(label + ' another click puts it back', abs(d.run(sizes)[0] - small[0]) < 1, repr(d.run(sizes)))
        self.expect(label + ' page 1 shown', lambda: d.text(d.find('#pageinfo')).startswith('Page 1'))
        begin = self.state()
        self.check(label + ' before playing: no pointer, no ink', begin['pointer'] is None and begin['inked'] == 0,
                   repr(begin))

        self.watch_turns()
        d.run("document.getElementById('lecture').play();")
        self.expect(label + ' video plays', lambda: d.run(
            "var v = document.getElementById('lecture'); return !v.paused && v.currentTime > 0.5"), 10)

        # Between the stroke and the turn: pointer and ink where they were on the sheet.
        self.wait_time(label + ' playing past the stroke', drawn + 700)
        s1 = self.sheet()
        now = self.state()
        self.check(label + ' still before the turn', now['time'] < turn - 300 and now['page'].startswith('Page 1'),
                   repr(now))
        self.same_place(label + ' pointer at the recorded place on the sheet', now['pointer'], on_sheet((300, 220), s1))
        mid = [(points[0][0] + points[1][0]) / 2, (points[0][1] + points[1][1]) / 2]
        near = self.ink_near(*on_sheet(mid, s1))
        self.check(label + ' stroke drawn on the sheet in its colour', GREEN in near, repr(near))
        self.check(label + ' only the stroke is inked', 0 < now['inked'] < 5000, repr(now['inked']))
        self.shot('lecture_1_stroke_%s.png' % label)

        # The turn, on time, takes the ink away.
        self.wait_time(label + ' playing past the turn', turn + 800)
        after = self.state()
        turns = d.run('return window.__turns')
        to2 = [t for t, page in turns if page == 2]
        self.check(label + ' page 2 shows at the recorded time (within 100 ms)',
                   len(to2) >= 1 and abs(to2[0] - turn) <= 100, 'turned at %r, recorded %d' % (to2, turn))
        print('%s: page 2 shown at %r, recorded at %d' % (label, to2, turn))
        self.check(label + ' page 2 is on show', shows_file(self.shown_file(), 2) and
                   after['page'].startswith('Page 2'), repr(after))
        self.check(label + ' the turn takes the ink away', after['inked'] == 0, repr(after['inked']))
        self.check(label + ' the pointer stays', after['pointer'] is not None, repr(after))
        quality = d.run("return document.getElementById('lecture').getVideoPlaybackQuality().totalVideoFrames")
        self.check(label + ' pictures were shown', quality >= (after['time'] / 1000) * 10, repr(quality))
        self.shot('lecture_2_turned_%s.png' % label)
        d.run("document.getElementById('lecture').pause();")

        # The index takes the recording and the page back to page 1's moment, and on to page 2's.
        d.click(d.find('#showtree .leaf-link[data-page="1"]'))
        self.expect(label + ' index: page 1 again', lambda: d.text(d.find('#pageinfo')).startswith('Page 1'))
        back = self.state()
        self.check(label + ' index: the recording at page 1\'s moment, no ink yet',
                   back['time'] < moved and back['inked'] == 0 and back['paused'], repr(back))
        d.click(d.find('#showtree .leaf-link[data-page="2"]'))
        self.expect(label + ' index: page 2 again', lambda: d.text(d.find('#pageinfo')).startswith('Page 2'))
        self.check(label + ' index: the recording at the turn', abs(self.state()['time'] - turn) <= 5,
                   repr(self.state()))

        # Back to just after the stroke on the video's own position: page, pointer and ink rebuilt.
        d.run("document.getElementById('lecture').currentTime = arguments[0] / 1000;", drawn + 400)
        self.expect(label + ' seek back: page 1', lambda: d.text(d.find('#pageinfo')).startswith('Page 1'))
        self.expect(label + ' seek back: page 1 on show', lambda: shows_file(self.shown_file(), 1))
        s1 = self.sheet()
        rebuilt = self.state()
        self.same_place(label + ' seek back: pointer rebuilt', rebuilt['pointer'], on_sheet((300, 220), s1))
        near = self.ink_near(*on_sheet(mid, s1))
        self.check(label + ' seek back: stroke rebuilt', GREEN in near, repr(near))
        self.shot('lecture_3_seeked_%s.png' % label)

        # A narrower window: the sheet shrinks and the ink goes with it.
        d.set_window(1000, 760)
        self.expect(label + ' narrower window laid out', lambda: self.state()['frame'][0] < 700)
        s1 = self.sheet()
        near = self.ink_near(*on_sheet(mid, s1))
        self.check(label + ' narrower window: stroke follows the sheet', GREEN in near, repr(near))
        self.same_place(label + ' narrower window: pointer follows the sheet', self.state()['pointer'],
                        on_sheet((300, 220), s1))
        d.set_window(1280, 800)
        self.no_errors(label, 'lecture')

    def chinese(self, course, address):
        """The Chinese player files over the same recording: the lecture plays and turns."""
        d = self.d
        entries, _ = read_timeline(course / 'web.files')
        turn, _ = first(entries, 'pages', '(2,')
        d.get(address)
        self.expect('Chinese recording panel plays the lecture',
                    lambda: d.attribute(d.find('#videopanel'), 'data-state') == 'ready')
        self.check('Chinese video labelled', d.attribute(d.find('#lecture'), 'aria-label') == '讲课录像')
        d.run("document.getElementById('lecture').currentTime = arguments[0] / 1000;", turn + 200)
        self.expect('Chinese seek past the turn: page 2', lambda: d.text(d.find('#pageinfo')).startswith('第 2 页'))
        self.expect('Chinese page 2 on show', lambda: shows_file(self.shown_file(), 2))
        d.run("document.getElementById('lecture').play();")
        self.expect('Chinese video plays', lambda: d.run(
            "var v = document.getElementById('lecture'); return !v.paused && v.currentTime * 1000 > arguments[0]",
            turn + 700), 10)
        self.shot('lecture_chinese.png')
        self.no_errors('Chinese', 'lecture')

    def slide(self):
        """The slide on show (SlideObj) in the page frame, [left, top, width, height], and its file."""
        d = self.d
        d.top()
        try:
            d.frame(d.find('iframe[name="left"]'))
            d.frame(d.find('iframe#viewer'))
            slide = d.find_all('iframe:not(.loading)')[-1]
            name = d.attribute(slide, 'src')
            d.frame(slide)
            return d.run("var r = document.getElementById('SlideObj').getBoundingClientRect();"
                         " return [r.left, r.top, r.width, r.height];"), name
        finally:
            d.top()

    def imported_lecture(self, course, address):
        """A lecture over the slides of a real deck's course, in the 720 x 540 slide space."""
        d = self.d
        on_slide = lambda r, x, y: [r[0] + x * r[2] / 720, r[1] + y * r[3] / 540]
        d.get(address)
        self.expect('imported: the deck\'s web.htm leads to the player',
                    lambda: re.search(r'/web\.files/index\.htm(#.*)?$', d.url()))
        self.expect('imported: recording panel plays the lecture',
                    lambda: d.attribute(d.find('#videopanel'), 'data-state') == 'ready')
        self.expect('imported: slide 1 shown', lambda: d.text(d.find('#pageinfo')).startswith('Page 1'))
        d.run("document.getElementById('lecture').currentTime = 1.5;")
        rect, name = self.expect('imported: slide 1 laid out', lambda: self.slide()[0][2] > 100 and self.slide())
        self.check('imported: the frame is wider than the slide', rect[0] > 20, repr(rect))
        self.check('imported: the slide is 4:3', abs(rect[2] / rect[3] - 4 / 3) < 0.01, repr(rect))
        self.expect('imported: pointer on the middle of the slide', lambda: self.state()['pointer'] is not None)
        self.same_place('imported: pointer on the middle of the slide', self.state()['pointer'],
                        on_slide(rect, 360, 270), 2)
        for x, y in ((360, 270), (30, 22.5), (690, 517.5)):
            near = self.ink_near(*on_slide(rect, x, y))
            self.check('imported: the diagonal stroke passes (%g, %g) of the slide' % (x, y), GREEN in near, repr(near))
        outside = self.ink_near(rect[0] - 10, rect[1] + rect[3] / 2, 3)
        self.check('imported: no ink beside the slide', outside == [], repr(outside))
        self.shot('lecture_imported_1_stroke.png')
        size = d.run("var v = document.getElementById('lecture'); return [v.videoWidth, v.videoHeight];")
        self.check('imported: an old 320 x 240 companion with 8 kHz sound plays', size == [320, 240], repr(size))

        self.watch_turns()
        d.run("document.getElementById('lecture').play();")
        self.wait_time('imported: playing past the turn', 3000)
        to2 = [t for t, page in d.run('return window.__turns') if page == 2]
        self.check('imported: slide 2 at the recorded time (within 100 ms)', len(to2) >= 1 and abs(to2[0] - 2250) <= 100,
                   repr(to2))
        d.run("document.getElementById('lecture').pause();")
        self.expect('imported: slide 2 on show', lambda: self.slide()[1] == 'slide0002.htm')
        after = self.state()
        self.check('imported: the turn takes the ink away', after['inked'] == 0, repr(after))
        rect, _ = self.slide()
        self.same_place('imported: pointer in the slide\'s corner', after['pointer'], on_slide(rect, 720, 540), 2)
        self.shot('lecture_imported_2_turned.png')
        self.no_errors('imported', 'lecture')

    def old_recording(self, course, address):
        """A recording without the companion (only CourseIndex.js) says it cannot play."""
        d = self.d
        for name in ('video001.js', 'video001.webm'):
            (course / 'web.files' / name).unlink()
        d.get(address)
        self.expect('old recording: panel says it cannot play',
                    lambda: d.attribute(d.find('#videopanel'), 'data-state') == 'unplayable')
        self.check('old recording: no video', d.find_all('#lecture') == [])
        self.no_errors('old recording', 'player')


class RangeHandler(http.server.SimpleHTTPRequestHandler):
    """Files with byte ranges, as web servers serve them: browsers seek in a video by ranges."""

    def log_message(self, *args):
        pass

    def send_head(self):
        wanted = re.fullmatch(r'bytes=(\d+)-(\d*)', self.headers.get('Range', ''))
        path = self.translate_path(self.path)
        if not wanted or not os.path.isfile(path):
            return super().send_head()
        size = os.path.getsize(path)
        start = int(wanted.group(1))
        end = min(int(wanted.group(2)) if wanted.group(2) else size - 1, size - 1)
        if start > end:
            self.send_error(416)
            return None
        f = open(path, 'rb')
        f.seek(start)
        self.send_response(206)
        self.send_header('Content-Type', self.guess_type(path))
        self.send_header('Accept-Ranges', 'bytes')
        self.send_header('Content-Range', 'bytes %d-%d/%d' % (start, end, size))
        self.send_header('Content-Length', str(end - start + 1))
        self.end_headers()
        self.range_left = end - start + 1
        return f

    def copyfile(self, source, outputfile):
        left = getattr(self, 'range_left', None)
        if left is None:
            return super().copyfile(source, outputfile)
        while left > 0:
            chunk = source.read(min(left, 64 * 1024))
            if not chunk:
                break
            outputfile.write(chunk)
            left -= len(chunk)


def serve(folder):
    """A web server for folder on a free port, in a thread; returns (server, port)."""
    handler = functools.partial(RangeHandler, directory=str(folder))
    server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), handler)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server, server.server_address[1]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--course', required=True, help='the recorded course the recording test keeps')
    parser.add_argument('--template', required=True, help='the program folder\'s ELanguage')
    parser.add_argument('--artifacts', default='artifacts', help='folder for the screenshots')
    parser.add_argument('--imported', help='a course imported from a deck: play a lecture over its slides')
    parser.add_argument('--browser', choices=('chromium', 'firefox'), default='chromium')
    args = parser.parse_args()
    recorded = Path(args.course).resolve()
    template = Path(args.template).resolve()
    artifacts = Path(args.artifacts).resolve()
    artifacts.mkdir(parents=True, exist_ok=True)
    if not (recorded / 'web.files' / 'video001.js').is_file():
        print('FAIL no recorded course at %s (the recording end-to-end test keeps it)' % recorded)
        return 1
    editor = json.loads((recorded / 'editor-layout.json').read_text())

    def imported(run, driver, work):
        course = work / 'Imported lecture'
        shutil.copytree(Path(args.imported).resolve(), course)
        # A companion as recordings made before VGA and 48 kHz have it: 320 x 240, 8 kHz Opus.
        subprocess.run(['ffmpeg', '-v', 'error', '-y', '-i', str(recorded / 'web.files' / 'video001.webm'),
                        '-vf', 'scale=320:240', '-c:v', 'libvpx', '-b:v', '150k', '-c:a', 'libopus', '-ar', '8000',
                        '-b:a', '32k', str(course / 'web.files' / 'video001.webm')], check=True)
        # A pointer on the middle of slide 1, a stroke from corner to corner, slide 2 with the
        # pointer in the lower right corner.
        timeline = [[250, 'pages', '(1,0)'], [252, 'script', '(360,270)'],
                    [1001, 'dpaths', '9,0,"\'m0,0l360,270,720,540\'>"'], [2250, 'pages', '(2,0)'],
                    [2252, 'script', '(720,540)']]
        (course / 'web.files' / 'video001.js').write_text(
            'var tovraTimeline = %s;\r\nvar tovraSpace = {kind: "slide", width: 720, height: 540};\r\n'
            % json.dumps(timeline), encoding='ascii')
        run.imported_lecture(course, (course / 'web.htm').as_uri())

    def body(run, driver, work):
        if args.imported:
            return imported(run, driver, work)
        course = work / 'Recorded lecture'  # a space, as teachers' folder names have
        shutil.copytree(recorded, course)
        for label, address in (('disk', lambda: (course / 'web.htm').as_uri()),
                               ('server', lambda: 'http://127.0.0.1:%d/Recorded%%20lecture/web.htm' % port)):
            server, port = serve(work)
            try:
                run.lecture(course, editor, label, address())
            except (player.CheckFailed, player.WebDriverError, OSError, KeyError, IndexError, TypeError) as e:
                run.failures.append('%s: stopped: %s' % (label, e))
                print('FAIL', run.failures[-1])
                traceback.print_exc()
                try:
                    driver.top()
                    run.shot('failure_%s.png' % label)
                except (player.WebDriverError, OSError):
                    pass
            finally:
                server.shutdown()
                server.server_close()

        chinese = work / 'Chinese lecture'
        shutil.copytree(recorded, chinese)
        source = template / 'Chinese' / 'web.files'
        for name in ('index.htm', 'left.htm', 'fullscreen.htm', 'mvfile/text.js'):
            target = 'left.htm' if name == 'left.htm' else name
            shutil.copyfile(source / ('_left.htm' if name == 'left.htm' else name), chinese / 'web.files' / target)
        try:
            run.chinese(chinese, (chinese / 'web.files' / 'index.htm').as_uri())
            run.old_recording(chinese, (chinese / 'web.files' / 'index.htm').as_uri())
        except (player.CheckFailed, player.WebDriverError, OSError, KeyError, IndexError, TypeError) as e:
            run.failures.append('Chinese: stopped: %s' % e)
            print('FAIL', run.failures[-1])
            traceback.print_exc()

    if args.browser == 'firefox':
        return player.run_session(artifacts, Marionette, Run, 'tovra-lecture-', body, start_firefox)
    return player.run_session(artifacts, Driver, Run, 'tovra-lecture-', body)


if __name__ == '__main__':
    sys.exit(main())
