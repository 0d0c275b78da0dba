#!/usr/bin/env python3
"""Plays a recording that was cut short by a kill and finished at the next opening, in headless
Chromium from disk: the lecture plays to where it was killed, its duration is known, and at its end
the page the lecturer had turned to is on show with the ink drawn on it since. The same course with
its page index cut off before its end still lists the pages of the lecture.

--course names the course the recovery test kept, with COURSE.json beside it ({"endMs": ...}).
"""

import argparse
import json
import shutil
import sys
import traceback
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import lecture_player_test as lecture  # noqa: E402  (its player reading and timeline helpers)
import player_chromium_test as player  # noqa: E402


class RecoveredRun(lecture.Run):
    def recovered(self, course, end_ms, kept_turn):
        d = self.d
        web = course / 'web.files'
        entries, _ = lecture.read_timeline(web)
        turns = [(t, int(p.strip('()').split(',')[0])) for t, k, p in entries if k == 'pages']
        strokes = [t for t, k, _ in entries if k == 'dpaths']
        # The lecture turns pages every few seconds, so the kill may fall well after its last
        # command; what was made a second before the kill must be there.
        self.check('timeline holds the last turn made a second before the kill',
                   kept_turn is None or any(t >= kept_turn[0] and p == kept_turn[1] for t, p in turns),
                   '%r, turn %r' % (turns[-3:], kept_turn))
        d.get((web / 'index.htm').as_uri())
        self.expect('the recording panel plays the recovered lecture',
                    lambda: d.attribute(d.find('#videopanel'), 'data-state') == 'ready')
        duration = self.expect('the lecture has a known duration', lambda: d.run(
            "var v = document.getElementById('lecture'); return isFinite(v.duration) && v.duration > 0 &&"
            " v.duration * 1000;"), 20)
        self.check('it plays to the kill (within 1 s)', duration and abs(duration - end_ms) <= 1000,
                   '%r vs %d' % (duration, end_ms))
        # Just before the end: the last page turned to, and the ink drawn since, if any. The timeline
        # comes from the .wmv, which may run a little past the browser copy, so what is due is what
        # the timeline has up to that moment.
        at = min(entries[-1][0], (duration or end_ms) - 150)
        last_turn, last_page = [(t, p) for t, p in turns if t <= at][-1]
        d.run("document.getElementById('lecture').currentTime = arguments[0] / 1000;", at)
        self.expect('at the end: page %d on show' % last_page, lambda: lecture.shows_file(self.shown_file(), last_page), 15)
        inked_expected = any(last_turn < t <= at for t in strokes)
        state = self.expect('at the end: the ink as recorded',
                            lambda: (self.state()['inked'] > 0) == inked_expected and self.state(), 10)
        print('end of the lecture: page %d, ink %s, state %r' % (last_page, inked_expected, state))
        # Each page turned to is in the page index.
        listed = d.run("return Array.prototype.map.call(document.querySelectorAll('#showtree .leaf-link'),"
                       " function (e) { return parseInt(e.getAttribute('data-page'), 10); })")
        self.check('the page index lists the lecture\'s pages', set(p for _, p in turns) <= set(listed), repr(listed))
        self.shot('recovered_end.png')
        self.no_errors('recovered', 'lecture')

    def index_cut_off(self, course):
        """CourseIndex.js as an interrupted recording of an earlier version left it: no end."""
        d = self.d
        web = course / 'web.files'
        index = (web / 'CourseIndex.js').read_bytes()
        end = b'branch1.add(branch2);'
        (web / 'CourseIndex.js').write_bytes(index[:index.index(end)] if end in index else index[:-10])
        entries, _ = lecture.read_timeline(web)
        pages = set(int(p.strip('()').split(',')[0]) for _, k, p in entries if k == 'pages')
        d.get((web / 'index.htm').as_uri())
        self.expect('a cut-off index: the panel still plays',
                    lambda: d.attribute(d.find('#videopanel'), 'data-state') == 'ready')
        listed = self.expect('a cut-off index: the pages of the lecture are listed from its timeline', lambda: d.run(
            "return Array.prototype.map.call(document.querySelectorAll('#showtree .leaf-link[data-time]'),"
            " function (e) { return parseInt(e.getAttribute('data-page'), 10); })"))
        self.check('a cut-off index lists every page turned to', listed and pages <= set(listed), repr(listed))
        self.shot('recovered_index_cut_off.png')


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--course', required=True, help='the recovered course the recovery test keeps')
    parser.add_argument('--artifacts', default='artifacts', help='folder for the screenshots')
    args = parser.parse_args()
    kept = Path(args.course).resolve()
    artifacts = Path(args.artifacts).resolve()
    artifacts.mkdir(parents=True, exist_ok=True)
    kept_json = json.loads(Path(str(kept) + '.json').read_text())
    end_ms = kept_json['endMs']
    kept_turn = (kept_json['lastTurnMs'], kept_json['lastTurnPage']) if kept_json.get('lastTurnPage') else None

    def body(run, driver, work):
        try:
            course = work / 'Recovered lecture'
            shutil.copytree(kept, course)
            run.recovered(course, end_ms, kept_turn)
            run.index_cut_off(course)
        except (player.CheckFailed, player.WebDriverError, OSError, KeyError, IndexError, TypeError, ValueError) as e:
            run.failures.append('stopped: %s' % e)
            print('FAIL', run.failures[-1])
            traceback.print_exc()

    return player.run_session(artifacts, lecture.Driver, RecoveredRun, 'tovra-recovered-', body)


if __name__ == '__main__':
    sys.exit(main())
