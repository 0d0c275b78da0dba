#!/usr/bin/env python3
"""Plays courses the editor made with texts in any script, and texts that look like script or
markup, in headless Chromium from disk.

Each --course names a course folder that the editor test kept, with FOLDER.json beside it
holding the course name, the lecturer and the page titles it was given. The player, its page
index, the course overview and the start page must show every text exactly, as text: no script
of a text runs (window.__injected stays unset in every frame) and no markup of one renders.
"""

import argparse
import json
import os
import sys
import traceback
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
from player_chromium_test import (CHROMEDRIVER, CHROMIUM, CheckFailed, Driver, Run,  # noqa: E402
                                  WebDriverError, run_session)

# Every frame of the player that a text could reach: the player, its page frame, the viewer and
# the page on show.
FRAMES = """
var found = [];
function look(w, where) {
  try {
    found.push([where, typeof w.__injected === 'undefined' ? null : String(w.__injected),
                (w.__playerErrors || []).slice()]);
    for (var i = 0; i < w.frames.length; i++) look(w.frames[i], where + '/' + i);
  } catch (e) { found.push([where, 'unreachable: ' + e.message, []]); }
}
look(window, 'top');
return found;
"""


class TextsRun(Run):
    def no_script_ran(self, what):
        for where, marker, errors in self.d.run(FRAMES):
            if marker is not None and marker.startswith('unreachable'):
                continue  # a file:// frame of another origin: nothing can run across it either
            self.check('%s: no text ran as script in %s' % (what, where), marker is None, marker)
            self.check('%s: no script errors in %s' % (what, where), errors == [], repr(errors))

    def shows_as_text(self, what, element_id, expected):
        text, children = self.d.run(
            "var e = document.getElementById(arguments[0]);"
            "return e ? [e.textContent, e.children.length] : [null, -1];", element_id)
        self.check('%s: #%s shows the text' % (what, element_id), text == expected,
                   '%r, expected %r' % (text, expected))
        self.check('%s: #%s holds no markup of the text' % (what, element_id), children == 0, str(children))

    def course(self, folder, expected):
        d = self.d
        name = folder.name
        web = folder / 'web.files'

        d.get((web / 'index.htm').as_uri())
        self.expect(name + ': the player has built its page index',
                    lambda: d.run("return document.querySelectorAll('#showtree .leaf-text').length") > 0)
        if expected['name']:
            self.shows_as_text(name + ' player', 'coursename', expected['name'])
        if expected['lecturer']:
            self.shows_as_text(name + ' player', 'teachername', expected['lecturer'])
        leaves = d.run("return Array.prototype.map.call(document.querySelectorAll('#showtree .leaf-text'),"
                       " function (e) { return e.textContent; })")
        for title in expected['titles']:
            self.check('%s: the page index shows %r' % (name, title), title.strip() in leaves, repr(leaves))
        markup = d.run("return document.querySelectorAll('#showtree img, #showtree i, header img, header i').length")
        self.check(name + ': no markup of a text rendered in the player', markup == 0, str(markup))
        # Long enough for the page frame and the viewer to load their scripts and the page.
        self.expect(name + ': the page frame shows a page',
                    lambda: d.run("try { return frames['left'].document.getElementById('viewer') != null; }"
                                  " catch (e) { return true; }"))
        self.no_script_ran(name + ' player')
        self.shot('texts_player_%s.png' % name)

        d.get((web / 'main.htm').as_uri())
        self.expect(name + ': the course overview has loaded',
                    lambda: d.run("return document.readyState") == 'complete')
        if expected['name']:
            self.shows_as_text(name + ' overview', 'coursename', expected['name'])
        self.no_script_ran(name + ' overview')

        # The page list the player builds when the course has no recording.
        (web / 'CourseIndex.js').rename(web / 'CourseIndex.js.kept')
        try:
            d.get((web / 'index.htm').as_uri())
            self.expect(name + ': the page list is built',
                        lambda: d.run("return document.querySelectorAll('#showtree .leaf-text').length") > 0)
            listed = d.run("return Array.prototype.map.call(document.querySelectorAll('#showtree .leaf-text'),"
                           " function (e) { return e.textContent; })")
            for title in expected['titles']:
                self.check('%s: the page list shows %r' % (name, title), title.strip() in listed, repr(listed))
            self.no_script_ran(name + ' page list')
        finally:
            (web / 'CourseIndex.js.kept').rename(web / 'CourseIndex.js')


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--course', action='append', required=True, help='a course folder the editor test kept')
    parser.add_argument('--artifacts', default='artifacts', help='folder for the screenshots')
    args = parser.parse_args()
    artifacts = Path(args.artifacts).resolve()
    artifacts.mkdir(parents=True, exist_ok=True)
    for tool in (CHROMIUM, CHROMEDRIVER):
        if not os.access(tool, os.X_OK):
            print('FAIL %s is missing (apt-get install chromium chromium-driver)' % tool)
            return 1

    def body(run, driver, work):
        for course in args.course:
            folder = Path(course).resolve()
            try:
                expected = json.loads(Path(str(folder) + '.json').read_text(encoding='utf-8'))
                run.course(folder, expected)
            except (CheckFailed, WebDriverError, OSError, ValueError, KeyError) as e:
                run.failures.append('%s: stopped: %s' % (folder.name, e))
                print('FAIL', run.failures[-1])
                traceback.print_exc()

    return run_session(artifacts, Driver, TextsRun, 'tovra-texts-', body)


if __name__ == '__main__':
    sys.exit(main())
