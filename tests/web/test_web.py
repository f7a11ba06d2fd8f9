#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""The program in a real browser: Debian's chromium, driven by Selenium,
opening the site that tools/web.sh builds from a plain static server.

    test_web.py SITE_DIR PAGE_PNG
PAGE_PNG is the native solvari-page-png: the canvas must hold exactly its
painting of the same state. Run with Debian's python3 (python3-selenium)."""

import base64
import os
import shutil
import socket
import subprocess
import sys
import tempfile
import time
import unittest

from selenium import webdriver
from selenium.webdriver.chrome.options import Options
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys

SITE = None
PAGE_PNG = None
IDLE, STARTING, READING, TITLE = 0, 1, 2, 3
TITLE_MS = 200 + 6000  # the title shows this long after the page starts
DATA = os.path.abspath(os.path.join(os.path.dirname(__file__), '..', '..', 'data'))
DEFAULT_PICTURE = os.path.join(DATA, 'default.bmp')


def free_port():
    with socket.socket() as s:
        s.bind(('127.0.0.1', 0))
        return s.getsockname()[1]


def wait_for(cond, timeout, what, step=0.05):
    end = time.monotonic() + timeout
    while time.monotonic() < end:
        value = cond()
        if value:
            return value
        time.sleep(step)
    raise AssertionError('waited %.0f s for %s' % (timeout, what))


class Server:
    """python3 -m http.server over the site: what any static server does."""

    def __init__(self, site):
        self.site = site
        self.port = free_port()
        self.proc = None

    def start(self):
        self.proc = subprocess.Popen(
            [sys.executable, '-m', 'http.server', str(self.port), '--bind', '127.0.0.1',
             '--directory', self.site], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        wait_for(self.answers, 10, 'the server')

    def answers(self):
        try:
            with socket.create_connection(('127.0.0.1', self.port), timeout=0.2):
                return True
        except OSError:
            return False

    def stop(self):
        if self.proc:
            self.proc.terminate()
            self.proc.wait(10)
            self.proc = None

    def url(self, query=''):
        return 'http://127.0.0.1:%d/index.html%s' % (self.port, query)


class Browser:
    """Chromium with a profile of its own (the service worker and the
    settings start empty) and at the given pixel density."""

    def __init__(self, scale=1, no_audio=False):
        self.profile = tempfile.mkdtemp(prefix='solvari-web-')
        o = Options()
        o.binary_location = '/usr/bin/chromium'
        for a in ['--headless=new', '--no-sandbox', '--disable-gpu', '--disable-quic',
                  '--no-first-run', '--disable-background-networking',
                  '--disable-component-update', '--disable-sync',
                  '--autoplay-policy=no-user-gesture-required',
                  '--force-device-scale-factor=%d' % scale, '--window-size=1100,900',
                  '--user-data-dir=' + self.profile]:
            o.add_argument(a)
        o.set_capability('goog:loggingPrefs', {'browser': 'ALL'})
        self.d = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=o)
        if no_audio:
            # A browser with no sound output at all.
            self.d.execute_cdp_cmd('Page.addScriptToEvaluateOnNewDocument', {
                'source': 'window.AudioContext = undefined; window.webkitAudioContext = undefined;'})

    def quit(self):
        self.d.quit()
        shutil.rmtree(self.profile, ignore_errors=True)

    def js(self, script, *args):
        return self.d.execute_script(script, *args)

    def open(self, url, past_title=True):
        self.d.get(url)
        wait_for(lambda: self.js('return document.body.dataset.ready') == '1', 30, 'the page')
        if past_title:
            wait_for(lambda: self.state()['state'] == IDLE, TITLE_MS / 1000 + 5, 'the overview')

    def state(self):
        return self.js('return SolvariPage.state()')

    def errors(self):
        return [e for e in self.d.get_log('browser') if e['level'] == 'SEVERE']

    def canvas_png(self, path):
        data = self.js("return document.getElementById('view').toDataURL('image/png')")
        with open(path, 'wb') as f:
            f.write(base64.b64decode(data.split(',', 1)[1]))

    def click_phrase(self, phrase):
        """Clicks the middle of a phrase on the overview, as a user would."""
        packed = self.js('return Module._solvari_phrase_point(arguments[0])', phrase)
        x, y = packed // 65536, packed % 65536
        canvas = self.d.find_element(By.ID, 'view')
        size = self.js("const c = document.getElementById('view');"
                       "const r = c.getBoundingClientRect(); return [r.width / c.width];")
        css = size[0]
        webdriver.ActionChains(self.d).move_to_element_with_offset(
            canvas, int(x * css - canvas.size['width'] / 2),
            int(y * css - canvas.size['height'] / 2)).click().perform()

    def menu_click(self, selector):
        if self.js("return document.getElementById('menu').hidden"):
            self.d.find_element(By.ID, 'menu-button').click()
        self.d.find_element(By.CSS_SELECTOR, selector).click()
        self.d.find_element(By.ID, 'menu-button').click()  # closed again

    def traced(self, name):
        return self.js('return SolvariPage.traced.filter(e => e.name === arguments[0])', name)


def same_pixels(a, b):
    """ImageMagick's count of differing pixels between two pictures."""
    r = subprocess.run(['compare', '-metric', 'AE', a, b, 'null:'], capture_output=True,
                       text=True)
    return r.stderr.strip()


class WebTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = Server(SITE)
        cls.server.start()
        cls.tmp = os.environ.get('SOLVARI_WEB_ARTIFACTS') or tempfile.mkdtemp(prefix='solvari-web-out-')
        os.makedirs(cls.tmp, exist_ok=True)

    @classmethod
    def tearDownClass(cls):
        cls.server.stop()
        if not os.environ.get('SOLVARI_WEB_ARTIFACTS'):
            shutil.rmtree(cls.tmp, ignore_errors=True)

    def browser(self, **kw):
        b = Browser(**kw)
        self.addCleanup(b.quit)
        return b

    def reference(self, name, *args):
        out = os.path.join(self.tmp, name)
        subprocess.run([PAGE_PNG, out] + [str(a) for a in args], check=True)
        return out

    def assertSamePage(self, b, name, *args):
        ref = self.reference(name + '-ref.png', *args)
        got = os.path.join(self.tmp, name + '.png')
        b.canvas_png(got)
        self.assertEqual(same_pixels(ref, got), '0', name + ': pixels differ from solvari-page-png')


class PageTest(WebTest):
    """The canvas holds the renderer's pixels one for one, at 1x and 2x."""

    def check_scale(self, scale):
        b = self.browser(scale=scale)
        b.open(self.server.url())
        self.assertEqual(b.js("return document.getElementById('view').width"), 723 * scale)
        # The overview as the page starts it, and after a resize that changes nothing.
        self.assertSamePage(b, 'overview-%d' % scale, '--scale', scale, '--overview')
        # Reading pages, still: a lit character, the readings beside them.
        # Reading pages, still, over the picture the program shows by default:
        # a lit character, the readings beside them.
        b.js('Module._solvari_paint_still(12, 3, 0, arguments[0])', scale)
        self.assertSamePage(b, 'page-12-3-%d' % scale, '--scale', scale, 12, 3, DEFAULT_PICTURE)
        b.js('Module._solvari_paint_still(48, 0, 2, arguments[0])', scale)
        self.assertSamePage(b, 'page-48-0-romaji-%d' % scale, '--scale', scale, '--ruby', 'romaji',
                            48, 0, DEFAULT_PICTURE)
        self.assertEqual(b.errors(), [])

    def test_pixels_at_1x(self):
        self.check_scale(1)

    def test_pixels_at_2x(self):
        self.check_scale(2)

    def test_title_then_overview(self):
        b = self.browser()
        b.open(self.server.url(), past_title=False)
        wait_for(lambda: b.js("return !document.getElementById('title').hidden"), 5, 'the title')
        self.assertEqual(b.state()['state'], TITLE)
        self.assertFalse(b.state()['canStart'])
        wait_for(lambda: b.state()['state'] == IDLE, 10, 'the overview after the title')
        self.assertTrue(b.js("return document.getElementById('title').hidden"))
        self.assertTrue(b.state()['canStart'])


class PictureTest(WebTest):
    """A chosen picture is the background of the page, as the program shows it."""

    def choose(self, b, path):
        """Chooses the file in the page's picker; waits until it is the setting."""
        b.d.find_element(By.ID, 'picture').send_keys(path)
        name = os.path.basename(path)
        wait_for(lambda: (b.js('return localStorage.getItem("Reading/Picture")') or '')
                 .endswith(name), 10, name + ' chosen')

    def test_bmp_and_png_pictures_and_a_damaged_one(self):
        b = self.browser()
        b.open(self.server.url())
        bmp = os.path.join(DATA, 'Copyright.bmp')
        self.choose(b, bmp)
        b.js('Module._solvari_paint_still(7, 2, 0, 1)')
        self.assertSamePage(b, 'picture-bmp', 7, 2, bmp)
        # A PNG, decoded by the browser: the same pixels as the program's decoder.
        png = os.path.join(self.tmp, 'picture.png')
        subprocess.run(['convert', bmp, '-resize', '150%', png], check=True)
        self.choose(b, png)
        b.js('Module._solvari_paint_still(7, 2, 0, 1)')
        self.assertSamePage(b, 'picture-png', 7, 2, png)
        # Cut short: no picture, the tile shows, nothing breaks.
        bad = os.path.join(self.tmp, 'damaged.png')
        with open(png, 'rb') as f, open(bad, 'wb') as g:
            g.write(f.read()[:300])
        self.choose(b, bad)
        b.js('Module._solvari_paint_still(7, 2, 0, 1)')
        self.assertSamePage(b, 'picture-damaged', 7, 2)
        self.assertEqual(b.errors(), [])

    def test_the_picture_is_kept_across_a_reload(self):
        b = self.browser()
        b.open(self.server.url())
        bmp = os.path.join(DATA, 'Copyright.bmp')
        self.choose(b, bmp)
        time.sleep(0.5)  # the file goes into the browser's storage
        b.open(self.server.url())
        b.js('Module._solvari_paint_still(7, 2, 0, 1)')
        self.assertSamePage(b, 'picture-reloaded', 7, 2, bmp)


class ReadingTest(WebTest):
    """The commands of a recitation, through the page's buttons, keys and canvas."""

    def test_a_clicked_phrase_to_the_end(self):
        b = self.browser()
        b.open(self.server.url('?trace'))
        b.click_phrase(51)
        wait_for(lambda: b.state()['state'] == READING, 5, 'the reading')
        self.assertEqual(b.state()['phrase'], 51)
        self.assertTrue(b.state()['canStop'])
        wait_for(lambda: b.state()['state'] == IDLE, 30, 'the end of the text')
        phrases = [e['numbers'][0] for e in b.traced('phrase')]
        self.assertEqual(phrases, [51, 52, 53])
        lit = [tuple(e['numbers']) for e in b.traced('highlight')]
        counts = b.js('return [51, 52, 53].map(p => SolvariPage.traced.filter('
                      'e => e.name === "highlight" && e.numbers[0] === p).length)')
        self.assertTrue(all(n > 0 for n in counts), counts)
        self.assertEqual(lit[0], (51, 0))
        # Each buffer follows the one before on the audio clock: no gap.
        s = b.traced('scheduled')
        for a, c in zip(s, s[1:]):
            end = a['numbers'][3] + a['numbers'][1] / a['numbers'][2]
            self.assertAlmostEqual(c['numbers'][3], end, delta=0.002)
        self.assertEqual(b.errors(), [])

    def test_start_stop_a_step_and_a_tempo(self):
        b = self.browser()
        b.open(self.server.url('?trace'))
        b.click_phrase(40)
        wait_for(lambda: b.state()['state'] == READING, 5, 'the reading')
        b.d.find_element(By.TAG_NAME, 'body').send_keys(Keys.ARROW_RIGHT)
        wait_for(lambda: b.state()['phrase'] == 41, 5, 'the next phrase')
        b.d.find_element(By.ID, 'stop').click()
        wait_for(lambda: b.state()['state'] == IDLE, 5, 'the overview after Stop')
        # At 150 % the voice is a third shorter, with its pitch kept.
        b.menu_click('[data-command=tempo][data-arg="150"]')
        self.assertEqual(b.state()['tempo'], 150)
        b.js('SolvariPage.traced.length = 0')
        b.click_phrase(52)
        wait_for(lambda: b.traced('scheduled'), 10, 'the stretched voice')
        n = b.traced('scheduled')[0]['numbers'][1]
        with open(os.path.join(DATA, 'V52.SGM'), 'rb') as f:
            size = len(f.read())
        self.assertAlmostEqual(n / (size / 2 / 1.5), 1.0, delta=0.03)
        b.d.find_element(By.ID, 'stop').click()
        wait_for(lambda: b.state()['state'] == IDLE, 5, 'the overview after Stop')
        self.assertEqual(b.errors(), [])

    def test_settings_are_kept_across_a_reload(self):
        b = self.browser()
        b.open(self.server.url())
        b.menu_click('[data-command=tempo][data-arg="75"]')
        b.menu_click('[data-command=ruby][data-arg="1"]')
        b.menu_click('[data-command=repeat]')
        b.menu_click('[data-language="en"]')
        self.assertEqual(b.js('return localStorage.getItem("Reading/Tempo")'), '75')
        self.assertEqual(b.js('return localStorage.getItem("Reading/Ruby")'), '1')
        b.open(self.server.url())
        s = b.state()
        self.assertEqual((s['tempo'], s['ruby']), (75, 1))
        self.assertEqual(s['repeat'], 0)  # Repeat is not kept, as in the program
        self.assertEqual(b.d.find_element(By.ID, 'start').text, 'Start')
        self.assertEqual(b.js('return document.documentElement.lang'), 'en')


class TroubleTest(WebTest):
    """What goes wrong is told, and the overview comes back."""

    def test_no_sound_output(self):
        # As the program does without a sound server: Start returns to the
        # overview, and the page still answers.
        b = self.browser(no_audio=True)
        b.open(self.server.url('?trace'))
        b.d.find_element(By.ID, 'start').click()
        wait_for(lambda: b.traced('highlight') == [] and b.state()['state'] == IDLE
                 and b.state()['canStart'], 5, 'the overview')
        self.assertEqual(b.traced('scheduled'), [])
        self.assertSamePage(b, 'overview-after-no-sound', '--overview')
        b.menu_click('[data-command=ruby][data-arg="2"]')
        self.assertEqual(b.state()['ruby'], 2)
        self.assertEqual(b.errors(), [])

    def test_a_voice_file_that_will_not_load(self):
        b = self.browser()
        b.open(self.server.url())
        b.js("FS.writeFile('/data/V52.SGM', new Uint8Array([1, 2, 3]))")
        b.click_phrase(51)
        wait_for(lambda: b.state()['state'] == IDLE, 30, 'the overview after the bad file')
        # Not stuck: it starts again.
        b.click_phrase(50)
        wait_for(lambda: b.state()['state'] == READING, 5, 'a new reading')
        b.d.find_element(By.ID, 'stop').click()
        wait_for(lambda: b.state()['state'] == IDLE, 5, 'the overview after Stop')
        self.assertEqual(b.errors(), [])


class OfflineTest(WebTest):
    def test_opened_once_it_works_without_the_server(self):
        server = Server(SITE)
        server.start()
        self.addCleanup(server.stop)
        b = self.browser()
        b.open(server.url())
        wait_for(lambda: b.js('return !!navigator.serviceWorker.controller'), 20,
                 'the service worker')
        b.js('return navigator.serviceWorker.ready')
        time.sleep(1)  # the cache is filled as the worker installs
        server.stop()
        self.assertFalse(server.answers())
        b.open(server.url())
        self.assertSamePage(b, 'overview-offline', '--overview')
        b.click_phrase(53)
        wait_for(lambda: b.state()['state'] == READING, 5, 'a reading offline')
        wait_for(lambda: b.state()['state'] == IDLE, 20, 'its end')


if __name__ == '__main__':
    if len(sys.argv) < 3:
        sys.exit(__doc__)
    SITE = os.path.abspath(sys.argv[1])
    PAGE_PNG = os.path.abspath(sys.argv[2])
    if not os.path.exists(os.path.join(SITE, 'solvari-core.wasm')):
        print('test_web.py: no site in %s: build it with bash tools/web.sh' % SITE)
        sys.exit(77)
    unittest.main(argv=sys.argv[:1] + sys.argv[3:], verbosity=2)
