#!/usr/bin/env python3
"""Exports recorded lectures as MP4 with the editor's command line and checks the videos with
FFmpeg's tools and in headless Chromium and Firefox.

The lectures are the ones the video lecture test records in the editor with the test camera and
the test run's 440 Hz tone: a pointer move, a red stroke and a turn to page 2, on a blank course
whose page 2 has an orange sheet and on the imported deck. Each video: h264 + aac, as long as the
recording, page 1 then page 2 at the turn (within a frame), the red ink after it was drawn and
gone after the turn, the camera's picture in its corner, the tone, and a chapter per page (in the
MP4 and as WebVTT). The command line refuses a course without a recording and an unwritable
place, leaving nothing.
"""

import argparse
import json
import math
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import traceback
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import player_chromium_test as player  # noqa: E402
import lecture_player_test as lecture  # noqa: E402

W, H, FPS = 1280, 720, 15
PAGE_W = W * 3 // 4  # with a camera, the page has three quarters of the width
ORANGE = (255, 176, 0)
TONE = 440  # the test sound server's


def run(args, **kw):
    return subprocess.run(args, capture_output=True, text=True, timeout=600, **kw)


def export_video(editor, course, out, *options):
    """`tovra-editor --export-video` of the course folder's project file to out."""
    return run([editor, '--export-video', str(next(Path(course).glob('*.lsn'))), str(out), *options])


def probe(path, *entries):
    out = run(['ffprobe', '-v', 'error', *entries, '-of', 'json', str(path)])
    return json.loads(out.stdout or '{}')


def frame_at(video, seconds, size=(W, H)):
    """The decoded frame shown at `seconds`, as rows of (r, g, b)."""
    raw = subprocess.run(['ffmpeg', '-v', 'error', '-ss', '%.3f' % seconds, '-i', str(video), '-frames:v', '1',
                          '-f', 'rawvideo', '-pix_fmt', 'rgb24', '-'], capture_output=True, check=True).stdout
    w, h = size
    if len(raw) != w * h * 3:
        raise player.CheckFailed('frame at %.2f s: %d bytes' % (seconds, len(raw)))
    return raw, w


def pixel(frame, x, y):
    raw, w = frame
    i = (int(y) * w + int(x)) * 3
    return tuple(raw[i:i + 3])


def near(colour, want, tolerance=40):
    return all(abs(a - b) <= tolerance for a, b in zip(colour, want))


def psnr(a, b):
    """Peak signal-to-noise ratio of two equal-sized rgb24 byte strings."""
    if len(a) != len(b) or not a:
        return 0.0
    err = sum((x - y) ** 2 for x, y in zip(a, b)) / len(a)
    return 99.0 if err == 0 else 10 * math.log10(255 * 255 / err)


def crop(frame, x, y, w, h):
    raw, width = frame
    return b''.join(raw[((y + r) * width + x) * 3:((y + r) * width + x + w) * 3] for r in range(h))


def sound(path, rate=8000):
    raw = subprocess.run(['ffmpeg', '-v', 'error', '-i', str(path), '-vn', '-ac', '1', '-ar', str(rate), '-f', 's16le', '-'],
                         capture_output=True, check=True).stdout
    return struct.unpack('<%dh' % (len(raw) // 2), raw)


def rms(samples):
    return math.sqrt(sum(s * s for s in samples) / len(samples)) if samples else 0.0


def tone_db(samples, rate, frequency):
    """The power of one frequency in the samples (Goertzel), in dB of full scale."""
    w = 2 * math.pi * frequency / rate
    c = 2 * math.cos(w)
    s1 = s2 = 0.0
    for v in samples:
        s1, s2 = v / 32768.0 + c * s1 - s2, s1
    n = max(1, len(samples))
    return 10 * math.log10((s1 * s1 + s2 * s2 - c * s1 * s2) / (n * n / 4) + 1e-15)


def message(key, editor):
    """The texts of a message key in every language file beside the editor."""
    texts = []
    for ini in (Path(editor).parent / 'Language').glob('*.ini'):
        found = re.search(r'^%s=(.*?)\r?$' % key, ini.read_bytes().decode('utf-16'), re.M)
        if found:
            texts.append(found.group(1))
    return texts


class Run(player.Run):
    def common(self, label, video, duration, turn, chapters):
        info = probe(video, '-show_entries', 'stream=codec_name,codec_type:format=duration', '-show_chapters')
        codecs = sorted(s['codec_name'] for s in info.get('streams', []) if s.get('codec_type') in ('video', 'audio'))
        self.check(label + ': h264 and aac', codecs == ['aac', 'h264'], repr(codecs))
        got = float(info.get('format', {}).get('duration', 0))
        self.check(label + ': as long as the recording', abs(got - duration) <= 0.1, '%.3f against %.3f' % (got, duration))
        titles = [c.get('tags', {}).get('title') for c in info.get('chapters', [])]
        self.check(label + ': a chapter per page', titles == chapters, repr(titles))
        starts = [round(float(c['start_time']), 3) for c in info.get('chapters', [])]
        self.check(label + ': the second chapter starts at the turn', starts[1:2] == [round(turn, 3)], repr(starts))
        vtt = video.with_suffix('.vtt').read_text(encoding='utf-8') if video.with_suffix('.vtt').is_file() else ''
        self.check(label + ': the WebVTT chapters beside it', vtt.startswith('WEBVTT') and
                   all(t in vtt for t in chapters) and '%02d.%03d -->' % (int(turn) % 60, round(turn * 1000) % 1000) in vtt,
                   vtt[:200])
        head = video.read_bytes()[:1 << 20]
        self.check(label + ': the index comes first (faststart)', 0 <= head.find(b'moov') < head.find(b'mdat'))

    def camera(self, label, video, companion, at):
        """The camera's picture of `at` seconds in the lower right, as the companion has it."""
        frame = frame_at(video, at)
        margin = max(8, W // 80)
        w = W // 4 - 2 * margin
        h = w * 3 // 4
        x, y = W - W // 4 + margin, H - margin - h
        small = subprocess.run(['ffmpeg', '-v', 'error', '-ss', '%.3f' % at, '-i', str(companion), '-frames:v', '1',
                                '-vf', 'scale=%d:%d' % (w, h), '-f', 'rawvideo', '-pix_fmt', 'rgb24', '-'],
                               capture_output=True, check=True).stdout
        value = psnr(crop(frame, x + 8, y + 8, w - 16, h * 3 // 4 - 8),
                     crop((small, w), 8, 8, w - 16, h * 3 // 4 - 8))
        self.check(label + ': the camera in its corner', value > 22, '%.1f dB' % value)

    def sound_kept(self, label, video, companion):
        mine, theirs = sound(video), sound(companion)
        self.check(label + ': the sound is there', rms(mine) > 100, 'rms %.1f' % rms(mine))
        self.check(label + ': at the recording\'s loudness', rms(theirs) > 0 and
                   abs(20 * math.log10(max(rms(mine), 1) / max(rms(theirs), 1))) < 3,
                   '%.1f against %.1f' % (rms(mine), rms(theirs)))
        # The tone, well above a frequency nobody played, over a second in the middle.
        middle = mine[len(mine) // 2 - 4000:len(mine) // 2 + 4000]
        tone, other = tone_db(middle, 8000, TONE), tone_db(middle, 8000, 1000)
        self.check(label + ': the %d Hz tone is in it' % TONE, tone > -40 and tone - other > 20,
                   '%.1f dB against %.1f dB at 1 kHz' % (tone, other))

    def ink(self, label, video, stroke_time, turn, at):
        """The red stroke at frame point `at`: not before it was drawn, there after, gone after the turn."""
        x, y = at

        # A two-pixel line keeps its hue but not its brightness through 4:2:0 and H.264: red is
        # what is clearly red, not only what is near pure red.
        def red(c):
            return c[0] > 140 and c[1] < 0.35 * c[0] and c[2] < 0.35 * c[0]

        def red_in(frame):
            return [pixel(frame, x + dx, y + dy) for dx in (-1, 0, 1) for dy in (-1, 0, 1)]
        earlier = red_in(frame_at(video, stroke_time - 0.3))
        self.check(label + ': no ink before the stroke', not any(red(c) for c in earlier), repr(earlier))
        drawn = red_in(frame_at(video, stroke_time + 0.3))
        self.check(label + ': the red stroke where it was drawn', any(red(c) for c in drawn), repr(drawn))
        later = red_in(frame_at(video, turn + 2 / FPS))
        self.check(label + ': the stroke gone after the turn', not any(red(c) for c in later), repr(later))

    def copy_lecture(self, source, course):
        """A copy of a kept lecture's course to export from, its web folder and what it recorded."""
        shutil.copytree(source, course)
        web = course / 'web.files'
        return course, web, self.lecture_of(web)

    @staticmethod
    def lecture_of(web):
        entries, space = lecture.read_timeline(web)
        turn = [t for t, k, p in entries if k == 'pages' and p.startswith('(2,')][0] / 1000
        stroke_time, stroke = lecture.first(entries, 'dpaths', '5,')  # red
        points = lecture.stroke_points(stroke)
        duration = float(probe(web / 'video001.webm', '-show_entries', 'format=duration')['format']['duration'])
        return turn, stroke_time / 1000, points[len(points) // 2], space, duration

    def blank(self, editor, source, work):
        course, web, (turn, stroke_time, mid, space, duration) = self.copy_lecture(source, work / 'Blank lecture')
        video = work / 'blank.mp4'
        result = export_video(editor, course, video)
        self.check('blank: --export-video succeeds and names the video', result.returncode == 0 and
                   result.stdout.strip() == str(video), '%d %r' % (result.returncode, result.stderr[-400:]))
        self.check('blank: progress on standard error', re.search(r'\d+.*\d+', result.stderr) is not None)
        self.common('blank', video, duration, turn, ['Page 1', 'Page 2'])
        # Page 1's sheet is white, page 2's orange, from the frame of the turn on.
        spot = (PAGE_W // 2, H - 60)
        before, after = frame_at(video, turn - 1 / FPS - 0.01), frame_at(video, turn + 1 / FPS + 0.01)
        self.check('blank: page 1 before the turn', near(pixel(before, *spot), (255, 255, 255)), repr(pixel(before, *spot)))
        self.check('blank: page 2 after the turn', near(pixel(after, *spot), ORANGE), repr(pixel(after, *spot)))
        # The stroke, placed as the player places the view's pixels on the sheet.
        _, sizes = space
        vw, vh = sizes[0][1], sizes[0][2]
        k = min(0.94 * PAGE_W, 1.25 * H) / min(0.94 * vw, 1.25 * vh)
        self.ink('blank', video, stroke_time, turn, (PAGE_W / 2 + (mid[0] - vw / 2) * k, H / 2 + (mid[1] - vh / 2) * k))
        self.camera('blank', video, web / 'video001.webm', 2.0)
        self.sound_kept('blank', video, web / 'video001.webm')

        # A recording made before the browser copy: the .wmv's script stream, sound and pictures.
        (web / 'video001.webm').unlink()
        (web / 'video001.js').unlink()
        old = work / 'old.mp4'
        result = export_video(editor, course, old)
        self.check('old recording: --export-video succeeds', result.returncode == 0, result.stderr[-300:])
        self.common('old recording', old, lecture.wmv_duration(web), turn, ['Page 1', 'Page 2'])
        before, after = frame_at(old, turn - 1 / FPS - 0.01), frame_at(old, turn + 1 / FPS + 0.01)
        self.check('old recording: page 1, then page 2 at the turn', near(pixel(before, *spot), (255, 255, 255)) and
                   near(pixel(after, *spot), ORANGE), repr((pixel(before, *spot), pixel(after, *spot))))
        self.camera('old recording', old, web / 'video001.wmv', 2.0)
        self.sound_kept('old recording', old, web / 'video001.wmv')
        return video

    def deck(self, editor, source, work):
        course, web, (turn, stroke_time, mid, _, duration) = self.copy_lecture(source, work / 'Deck lecture')
        video = work / 'deck.mp4'
        result = export_video(editor, course, video)
        self.check('deck: --export-video succeeds', result.returncode == 0, result.stderr[-400:])
        titles = json.loads(re.search(r'coursePages = (\[.*?\]);', (web / 'CoursePages.js').read_text()).group(1))
        self.common('deck', video, duration, turn, [titles[0]['title'], titles[1]['title']])
        # The slide pictures, fitted into the page's part of the frame.
        for n, at in ((1, turn - 2 / FPS), (2, turn + 1 / FPS + 0.01)):
            size = subprocess.run(['ffprobe', '-v', 'error', '-show_entries', 'stream=width,height', '-of', 'csv=p=0',
                                   str(web / ('slide%04d.png' % n))], capture_output=True, text=True).stdout.strip()
            sw, sh = (int(v) for v in size.split(','))
            fh = min(H, round(PAGE_W * sh / sw))
            fw = round(fh * sw / sh)
            fx, fy = (PAGE_W - fw) // 2, (H - fh) // 2
            slide = subprocess.run(['ffmpeg', '-v', 'error', '-i', str(web / ('slide%04d.png' % n)), '-vf',
                                    'scale=%d:%d' % (fw, fh), '-f', 'rawvideo', '-pix_fmt', 'rgb24', '-'],
                                   capture_output=True, check=True).stdout
            frame = frame_at(video, at)
            # The top third, above the stroke across the middle and clear of the pointer.
            value = psnr(crop(frame, fx + 4, fy + 4, fw - 8, fh // 3), crop((slide, fw), 4, 4, fw - 8, fh // 3))
            self.check('deck: slide %d on show at %.2f s' % (n, at), value > 28, '%.1f dB' % value)
            if n == 1:
                # Slide points (720 x 540) on the slide as fitted.
                self.ink('deck', video, stroke_time, turn, (fx + mid[0] * fw / 720, fy + mid[1] * fh / 540))
        self.camera('deck', video, web / 'video001.webm', 1.5)
        self.sound_kept('deck', video, web / 'video001.webm')
        return video

    def refusals(self, editor, imported, work):
        course = work / 'No lecture'
        shutil.copytree(imported, course)
        out = work / 'none.mp4'
        result = export_video(editor, course, out)
        self.check('no recording: exit 1 with the reason', result.returncode == 1 and
                   result.stderr.strip() in message('VideoNoRecording', editor) and not out.exists(),
                   '%d %r' % (result.returncode, result.stderr[-300:]))
        self.check('no recording: nothing on standard output', result.stdout == '')
        result = export_video(editor, course, out, '--size', '640x480')
        self.check('an unknown size is refused', result.returncode == 1 and '640x480' in result.stderr, result.stderr[-200:])

    def unwritable(self, editor, course, work):
        # A read-only file system stops root too; a user is stopped by the folder's permissions.
        locked = work / 'locked'
        locked.mkdir()
        mounted = os.geteuid() == 0 and run(['mount', '-t', 'tmpfs', '-o', 'ro,size=1m', 'tmpfs', str(locked)]).returncode == 0
        if not mounted:
            locked.chmod(0o555)
        out = locked / 'lecture.mp4'
        result = export_video(editor, course, out)
        left = list(locked.iterdir())
        if mounted:
            run(['umount', str(locked)])
        locked.chmod(0o755)
        self.check('unwritable: exit 1 naming the place, nothing left', result.returncode == 1 and str(out) in result.stderr
                   and not left, '%d %r %r' % (result.returncode, result.stderr[-300:], left))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--editor', required=True)
    parser.add_argument('--blank', required=True, help='the lecture on a blank course the video lecture test keeps')
    parser.add_argument('--deck', required=True, help='the lecture on the imported deck the video lecture test keeps')
    parser.add_argument('--imported', required=True, help='a course imported from a deck, without a recording')
    parser.add_argument('--artifacts', default='artifacts')
    args = parser.parse_args()
    artifacts = Path(args.artifacts).resolve()
    artifacts.mkdir(parents=True, exist_ok=True)
    editor = str(Path(args.editor).resolve())
    recorded, deck, imported = Path(args.blank).resolve(), Path(args.deck).resolve(), Path(args.imported).resolve()
    work = Path(tempfile.mkdtemp(prefix='tovra-video-'))
    checks = Run(None, artifacts)
    videos = []
    try:
        videos.append(checks.blank(editor, recorded, work))
        videos.append(checks.deck(editor, deck, work))
        checks.refusals(editor, imported, work)
        checks.unwritable(editor, recorded, work)
        for video in videos:
            shutil.copyfile(video, artifacts / video.name)
            subprocess.run(['ffmpeg', '-v', 'error', '-y', '-ss', '4', '-i', str(video), '-frames:v', '1',
                                    str(artifacts / (video.stem + '.png'))])
    except (player.CheckFailed, OSError, subprocess.CalledProcessError, KeyError, IndexError, ValueError) as e:
        checks.failures.append('stopped: %s' % e)
        traceback.print_exc()
    # The videos in the browsers, from disk.
    (work / 'play.html').write_text('<!DOCTYPE html><video muted autoplay></video><script>'
                                    'var v = document.querySelector("video"); v.playbackRate = 4;'
                                    'v.src = location.hash.slice(1) || "blank.mp4";</script>')
    for browser, launch, driver in (('chromium', player.start_chromedriver, lecture.Driver),
                                    ('firefox', lecture.start_firefox, lecture.Marionette)):
        def body(r, d, _work, browser=browser):
            for video in videos:
                d.get((work / 'play.html').as_uri() + '#' + video.name)
                r.expect('%s: %s plays to its end' % (browser, video.name), lambda: d.run(
                    'var v = document.querySelector("video"); return v.ended && v.duration > 0 && '
                    'Math.abs(v.currentTime - v.duration) < 0.2'), 60)
        status = player.run_session(artifacts, driver, player.Run, 'tovra-video-' + browser + '-', body, launch=launch)
        if status:
            checks.failures.append('%s playback failed' % browser)
    shutil.rmtree(work, ignore_errors=True)
    return player.summary(checks)


if __name__ == '__main__':
    sys.exit(main())
