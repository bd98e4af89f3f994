#!/usr/bin/python3
"""The playground end to end in headless Chromium, against lumhost.

playground_test.py LUMHOST SITE: serves the folder SITE (build/wasm/site) on 127.0.0.1
and checks the page against the native lumhost. Closes with "web: N passed, M failed".
"""
import base64
import functools
import http.server
import json
import os
import struct
import subprocess
import sys
import tempfile
import threading
import unittest

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

LUMHOST, SITE = sys.argv[1], sys.argv[2]
RATE = 48000
BLOCK = 128  # the page's block size


def lumhost(*arguments):
    return subprocess.run([LUMHOST, *arguments], check=True, capture_output=True).stdout


def wav_samples(data):
    """The bytes of a mono 32-bit float WAV file's samples."""
    assert data[:4] == b'RIFF' and data[8:12] == b'WAVE'
    at, fmt = 12, None
    while at + 8 <= len(data):
        chunk, size = data[at:at + 4], struct.unpack_from('<I', data, at + 4)[0]
        if chunk == b'fmt ':
            fmt = struct.unpack_from('<HHIIHH', data, at + 8)
        elif chunk == b'data':
            assert fmt is not None and fmt[1] == 1 and fmt[5] == 32, fmt
            return data[at + 8:at + 8 + size]
        at += 8 + size + (size & 1)
    raise AssertionError('no data chunk')


class Playground(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        handler = functools.partial(QuietHandler, directory=SITE)
        cls.server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), handler)
        threading.Thread(target=cls.server.serve_forever, daemon=True).start()
        options = webdriver.ChromeOptions()
        options.binary_location = '/usr/bin/chromium'
        # Chromium's own connections are refused on a closed network: none are made.
        for argument in ('--headless=new', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                         '--disable-background-networking', '--disable-component-update', '--disable-sync',
                         '--autoplay-policy=no-user-gesture-required', '--window-size=1400,1000',
                         '--user-data-dir=' + tempfile.mkdtemp(prefix='playground-chromium-')):
            options.add_argument(argument)
        options.set_capability('goog:loggingPrefs', {'browser': 'ALL'})
        cls.browser = webdriver.Chrome(service=Service('/usr/bin/chromedriver'), options=options)
        cls.browser.set_script_timeout(120)
        # ?probes: the page loads what these tests read (window.playground).
        cls.browser.get(f'http://127.0.0.1:{cls.server.server_port}/?probes')
        cls.run_script('window.playground.ready.then(() => done(), (error) => done(String(error)))')

    @classmethod
    def tearDownClass(cls):
        cls.browser.quit()
        cls.server.shutdown()

    @classmethod
    def run_script(cls, body, *arguments):
        """Runs `body` with `done` to call with its result, and `args`."""
        return cls.browser.execute_async_script(
            f'const done = arguments[arguments.length - 1]; const args = arguments; {body}', *arguments)

    def choose(self, module_id):
        self.browser.find_element(By.CSS_SELECTOR, f'nav button[data-module="{module_id}"]').click()
        WebDriverWait(self.browser, 10).until(lambda b: b.find_element(By.ID, 'module-title').text == module_id)

    def set_field(self, pin_index, text):
        """As a person types into a pin's field and leaves it."""
        self.browser.execute_script(
            'const field = document.getElementById(`pin-${arguments[0]}`); field.value = arguments[1];'
            'field.dispatchEvent(new Event("change"));', pin_index, text)

    def message(self):
        return self.browser.find_element(By.ID, 'message').text

    def plotted(self, settings):
        WebDriverWait(self.browser, 20).until(
            lambda b: (b.execute_script('return window.playground.plotted?.settings') or []) == settings)
        return self.browser.execute_script('return window.playground.plotted.points')

    def test_the_filters_plotted_response_is_lumhosts(self):
        self.choose('QX-DaRovoVIR3')
        defaults = ['Filter Type=0', 'Frequency=100', 'Q=0.0707', 'Gain=0', 'Slope=0']
        peak = ['Filter Type=4', 'Frequency=300', 'Q=0.2', 'Gain=0.9', 'Slope=1']
        for settings in (defaults, peak):
            if settings is peak:
                # Through the controls, in the terms they show: Hz, Q and dB.
                self.browser.execute_script(
                    'for (const [id, value] of [["pin-0", "4"], ["pin-6", "1"]]) {'
                    '  const select = document.getElementById(id); select.value = value;'
                    '  select.dispatchEvent(new Event("change")); }')
                for index, text in ((2, '3000'), (3, '2'), (4, '9')):
                    self.set_field(index, text)
            points = self.plotted(settings)
            pins = [argument for setting in settings for argument in ('--pin', setting)]
            table = lumhost('response', 'QX-DaRovoVIR3', 'QX-DaRovoVIR3', '--csv', '-', '--rate', str(RATE),
                            '--block', str(BLOCK), *pins).decode().splitlines()[1:]
            self.assertEqual(len(points), len(table))
            for point, row in zip(points, table):
                hz, db, _ = map(float, row.split(','))
                self.assertAlmostEqual(point['hz'] / hz, 1.0, delta=1e-5)
                self.assertAlmostEqual(point['db'], db, delta=0.01, msg=f'{settings} at {hz} Hz')

    def test_offline_renders_are_lumhosts_bit_for_bit(self):
        for library, module_id, settings in (('QX-DaRovoVIR3', 'QX-DaRovoVIR3', ['Filter Type=2', 'Q=0.5']),
                                              ('KEL_MATH', 'KelMathLimitAudio', ['Min=-0.2', 'Max=0.2'])):
            page = base64.b64decode(self.run_script(
                'window.playground.renderOffline(args[0]).then((samples) => {'
                '  const bytes = new Uint8Array(samples.buffer); let text = "";'
                '  for (let i = 0; i < bytes.length; i += 8192) text += String.fromCharCode(...bytes.subarray(i, i + 8192));'
                '  done(btoa(text)); }, (error) => done(String(error)))',
                {'library': library, 'moduleId': module_id, 'settings': settings, 'signal': 'noise', 'seconds': 1,
                 'rate': RATE}))
            pins = [argument for setting in settings for argument in ('--pin', setting)]
            native = wav_samples(lumhost('render', library, module_id, '--signal', 'noise', '--seconds', '1', '--rate',
                                         str(RATE), '--block', str(BLOCK), '--out', '-', '--quiet', *pins))
            self.assertEqual(len(page), 4 * RATE)
            differing = [i for i in range(0, len(page), 4) if page[i:i + 4] != native[i:i + 4]]
            self.assertEqual(differing, [], f'{module_id}: {len(differing)} samples differ')

    def test_gui_modules_start_as_lumhost_run_starts(self):
        with open(os.path.join(SITE, 'KEL_MATH.lum.json')) as description:
            modules = [module['id'] for module in json.load(description)['modules'] if module['side'] == 'gui']
        self.assertGreater(len(modules), 20)
        for module_id in modules:
            self.choose(module_id)
            lines = self.browser.find_element(By.ID, 'log').text.splitlines()
            self.assertEqual(lines[0][0], '>')
            self.assertEqual(lines[1:], lumhost('run', 'KEL_MATH', module_id).decode().strip('\n').splitlines(),
                             module_id)
        self.choose('KelMathWrapGuiInt')  # 7 wrapped at its Modulus 3
        self.assertEqual(self.browser.find_element(By.ID, 'pin-3').text, '1')

    def test_a_gui_module_solves_back_for_its_operand(self):
        self.choose('KelMathAddGuiFloat')
        self.set_field(2, '10')  # Out = A + B with B at its default 1
        self.assertEqual(self.browser.find_element(By.ID, 'pin-0').get_attribute('value'), '9')
        self.assertIn('Out=10 -> Out 2 = 10, A = 9', self.browser.find_element(By.ID, 'log').text)
        # No float is that near zero: the field keeps the value the module took.
        self.set_field(0, '1e-50')
        self.assertEqual(self.message(), 'A: 1e-50 is nearer zero than the smallest float, 1.4e-45')
        self.assertEqual(self.browser.find_element(By.ID, 'pin-0').get_attribute('value'), '9')

    def test_bad_input_is_reported_while_the_sound_goes_on(self):
        self.choose('QX-DaRovoVIR3')
        self.browser.find_element(By.ID, 'play').click()
        reports = lambda: self.browser.execute_script('return window.playground.reports')
        WebDriverWait(self.browser, 10).until(lambda b: reports() > 0)
        self.set_field(2, '30000')
        self.assertEqual(self.message(), 'Frequency: 30000 Hz is outside 20 to 20000 Hz')
        self.assertEqual(self.browser.find_element(By.ID, 'pin-2').get_attribute('value'), '1000')
        rate = self.browser.find_element(By.ID, 'rate')
        self.browser.execute_script('arguments[0].value = "1000"; arguments[0].dispatchEvent(new Event("change"))', rate)
        self.assertIn('sample rate 1000 Hz', self.message())
        with tempfile.NamedTemporaryFile(suffix='.wav') as junk:
            junk.write(b'RIFF this is no audio')
            junk.flush()
            self.browser.find_element(By.ID, 'file').send_keys(junk.name)
            WebDriverWait(self.browser, 10).until(lambda b: self.message().startswith('cannot read'))
        heard = reports()
        WebDriverWait(self.browser, 10).until(lambda b: reports() > heard + 5)
        self.browser.find_element(By.ID, 'play').click()

    def test_every_module_loads_without_a_console_error(self):
        self.browser.get_log('browser')  # what came before is other tests' business
        buttons = self.browser.find_elements(By.CSS_SELECTOR, 'nav button')
        self.assertEqual(len(buttons), 60)
        for module_id in [button.get_attribute('data-module') for button in buttons]:
            self.choose(module_id)
            self.assertEqual(self.message(), '', module_id)
        # A malformed address shows the first module rather than stopping the page.
        self.browser.get(f'http://127.0.0.1:{self.server.server_port}/?probes#%E0')
        self.run_script('window.playground.ready.then(() => done())')
        self.assertEqual(self.browser.find_element(By.ID, 'module-title').text, 'QX-DaRovoVIR3')
        errors = [entry for entry in self.browser.get_log('browser') if entry['level'] in ('SEVERE', 'WARNING')]
        self.assertEqual(errors, [])


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    def log_message(self, *arguments):
        pass


if __name__ == '__main__':
    result = unittest.main(argv=sys.argv[:1], exit=False, verbosity=2).result
    failed = len(result.failures) + len(result.errors)
    print(f'web: {result.testsRun - failed} passed, {failed} failed')
    sys.exit(1 if failed else 0)
