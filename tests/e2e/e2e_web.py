#!/usr/bin/python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""End-to-end test of the browser version on a sound card with a real buffer.

The built site (tools/web.sh) is served on the loopback by Python's own
server and opened with ?trace in Debian's Chromium, driven by Selenium,
inside a rig whose private PulseAudio server has the 46 ms pipe card of
e2e_pipe.py as its only sink. Chromium sends its sound there (checked: its
stream is on the card, and the card's copy is not silent). The page recites
from phrase 0 (the Start button) to the end; then the card's exact copy is
judged against the voice files:

  every phrase whole and in order: the browser resamples the 11025 Hz voice
  to its context's rate and the server back to the card's, so the copy is
  not the voice sample for sample; each phrase is found by cross-correlation
  and followed block by block (each 100 ms of it in its place, none missing
  or added, its end where its start and length put it);
  the seams between phrases: at most 10 ms;
  each character's green against its syllable as heard: the page's
  'highlight' moment (performance.now(), tied to the monotonic clock the
  card's copy is timed with) against the card's time of the phrase's start
  in the copy plus the character's onset from the program's tables (in a
  phrase with a dropout, the syllable where the copy has it); every one
  within 20 ms. The card's own silences (the rig's server late with a page,
  which no client can know of) are taken out of that and counted apart.

Also recorded: how long after a phrase's first sample the page learnt, by
its own clock, that the phrase before had ended; which of the card's ticks
began late; what Chromium reports for the context's sampleRate,
outputLatency, baseLatency and getOutputTimestamp(), and how far the page's
heard clock (the 'heard' of each trace entry) is from what the card played
at that moment.

Must be run with Debian's /usr/bin/python3 (python3-selenium, python3-numpy).

    e2e_web.py --site DIR --artifacts DIR [--first P]
"""

import array
import json
import os
import shutil
import socket
import statistics
import subprocess
import sys
import time
import urllib.request

import soundcheck as sc
from e2e import Failure, onset_summary
from e2e_pipe import RATE, SOURCE, Clock, Rig, load_copy, run_on_card, voice_bytes

CHROMIUM = "/usr/bin/chromium"
CHROMEDRIVER = "/usr/bin/chromedriver"
FLAGS = ["--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
         "--disable-background-networking", "--disable-component-update", "--disable-sync",
         "--autoplay-policy=no-user-gesture-required", "--headless=new",
         "--window-size=1024,700"]
SITE_FILES = ("index.html", "solvari.js", "solvari-core.js", "solvari-core.wasm",
              "solvari-core.data")
BLOCK = RATE // 10       # the 100 ms blocks a phrase is followed in
PROBE = RATE // 2        # the first and last half second, found by correlation
SEAM_MS = 10
GREEN_MS = 20
STREAM_SETTLE_S = 8


def site_missing(site):
    return [f for f in SITE_FILES if not os.path.isfile(os.path.join(site, f))]


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Site:
    """The site served on a free loopback port."""

    def __init__(self, site, log):
        self.port = free_port()
        self.url = "http://127.0.0.1:%d/" % self.port
        self.log = open(log, "w")
        self.proc = subprocess.Popen(
            ["/usr/bin/python3", "-m", "http.server", str(self.port), "--bind", "127.0.0.1",
             "--directory", site], stdout=self.log, stderr=subprocess.STDOUT)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            try:
                with urllib.request.urlopen(self.url + "index.html", timeout=1) as r:
                    if r.status == 200:
                        return
            except OSError:
                time.sleep(0.05)
        self.close()
        raise Failure("the site's server did not answer on port %d" % self.port)

    def close(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            try:
                self.proc.wait(5)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        self.log.close()


class Browser:
    """Chromium under chromedriver, with the rig's environment (its sound
    server), a fresh profile and the page's trace."""

    def __init__(self, rig, profile, log):
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        opts = webdriver.ChromeOptions()
        opts.binary_location = CHROMIUM
        for flag in FLAGS + ["--user-data-dir=" + profile]:
            opts.add_argument(flag)
        env = dict(rig.env)
        env["DISPLAY"] = rig.display
        service = Service(CHROMEDRIVER, log_path=log, env=env)
        self.driver = webdriver.Chrome(service=service, options=opts)
        self.offset = None

    def js(self, script, *args):
        return self.driver.execute_script(script, *args)

    def wait(self, script, timeout, step=0.1):
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            v = self.js(script)
            if v:
                return v
            time.sleep(step)
        return None

    def tie_clock(self, tries=25):
        """Monotonic time (s) of performance.now() 0: the page's clock and
        the card's copy are timed by the same monotonic clock of the
        machine; the offset is taken from the quickest of a few round
        trips. Returns the round trip (ms) it was taken from."""
        best = None
        for _ in range(tries):
            a = time.monotonic()
            p = self.js("return performance.now()")
            b = time.monotonic()
            if best is None or b - a < best[0]:
                best = (b - a, (a + b) / 2 - p / 1000)
        self.offset = best[1]
        return best[0] * 1000

    def monotonic(self, at_ms):
        return self.offset + at_ms / 1000

    def latencies(self):
        return self.js("""
            const c = SolvariAudio.ctx;
            if (!c) return null;
            const ts = c.getOutputTimestamp ? c.getOutputTimestamp() : null;
            return {state: c.state, sampleRate: c.sampleRate, currentTime: c.currentTime,
                    outputLatency: c.outputLatency === undefined ? null : c.outputLatency,
                    baseLatency: c.baseLatency === undefined ? null : c.baseLatency,
                    timestamp: ts ? {contextTime: ts.contextTime,
                                     performanceTime: ts.performanceTime} : null,
                    now: performance.now(), heard: SolvariAudio.heardTime()};""")

    def close(self):
        try:
            self.driver.quit()
        except Exception:
            pass


def pactl(rig, *args):
    return subprocess.run(["pactl"] + list(args), env=rig.env, capture_output=True,
                          text=True).stdout


def streams_on_card(rig):
    """The sink inputs on the card sink: [(index, application name)]."""
    sinks = {line.split("\t")[1]: line.split("\t")[0]
             for line in pactl(rig, "list", "short", "sinks").splitlines() if "\t" in line}
    card = sinks.get("card")
    out = []
    cur = None
    for line in pactl(rig, "list", "sink-inputs").splitlines():
        line = line.strip()
        if line.startswith("Sink Input #"):
            cur = {"index": line.split("#")[1]}
            out.append(cur)
        elif cur is not None and line.startswith("Sink:"):
            cur["sink"] = line.split(":")[1].strip()
        elif cur is not None and line.startswith("application.name ="):
            cur["app"] = line.split("=", 1)[1].strip().strip('"')
    return [(s["index"], s.get("app", "?")) for s in out if s.get("sink") == card]


# ------------------------------------------------------------------ analysis

def as_float(pcm_bytes):
    import numpy as np
    return np.frombuffer(pcm_bytes, dtype="<i2").astype(np.float64)


def correlate_find(x, probe, lo, hi):
    """The index in x[lo:hi] where probe fits best, by normalised cross-
    correlation: (index, correlation); of near-equal fits, the first."""
    import numpy as np
    lo = max(0, lo)
    hi = min(len(x), hi + len(probe))
    seg = x[lo:hi]
    if len(seg) < len(probe):
        return None, 0.0
    n = 1
    while n < len(seg) + len(probe):
        n *= 2
    corr = np.fft.irfft(np.fft.rfft(seg, n) * np.conj(np.fft.rfft(probe, n)), n)
    corr = corr[:len(seg) - len(probe) + 1]
    energy = np.concatenate(([0.0], np.cumsum(seg * seg)))
    win = energy[len(probe):] - energy[:-len(probe)]
    norm = np.sqrt(np.maximum(win, 1e-9) * float(np.dot(probe, probe)))
    ncc = corr / norm
    # The phrases repeat some of their voices: of equal fits, the first.
    top = float(np.max(ncc))
    k = int(np.argmax(ncc >= top - 0.01))
    peak = k + int(np.argmax(ncc[k:k + 8]))
    return lo + peak, float(ncc[peak])


def block_fit(x, v, s):
    """Each 100 ms block of the voice v against the copy at s: the blocks
    with sound and the ones among them that are not in their place (their
    best lag within ±2 samples not 0 or ±1, or their correlation below
    0.8, as a block cut or covered by a click would show; the resampled
    voice's blocks fit at 0.9 and more): (blocks with sound, [(block, lag,
    corr)])."""
    import numpy as np
    bad = []
    counted = 0
    for b in range(0, len(v) - BLOCK + 1, BLOCK):
        ref = v[b:b + BLOCK]
        if np.max(np.abs(ref)) < 1000:
            continue
        counted += 1
        best = (None, -2.0)
        for lag in range(-2, 3):
            i = s + b + lag
            if i < 0 or i + BLOCK > len(x):
                continue
            seg = x[i:i + BLOCK]
            d = float(np.sqrt(np.dot(seg, seg) * np.dot(ref, ref)))
            cc = float(np.dot(seg, ref)) / d if d > 0 else 0.0
            if cc > best[1]:
                best = (lag, cc)
        if best[0] is None or abs(best[0]) > 1 or best[1] < 0.8:
            bad.append((b // BLOCK, best[0], round(best[1], 3)))
    return counted, bad


def syllable_in_copy(x, v, s, on):
    """Where the voice v from its sample on is in the copy x, near s + on."""
    probe = v[on:on + 2 * BLOCK]
    if len(probe) < BLOCK // 2:
        return s + on
    k, cc = correlate_find(x, probe, s + on - BLOCK, s + on + BLOCK)
    return k if k is not None and cc >= 0.8 else s + on


def find_phrases(c, copy, first):
    """Each phrase from first to 53 in the copy, in order: [(p, start,
    length, whole)] of those found. A phrase whose beginning does not fit
    (a dropout in it) is found by its end, and is not whole."""
    x = as_float(copy)
    found = []
    pos = 0
    worst_corr = 1.0
    for p in range(first, 54):
        v = as_float(voice_bytes(p))
        n = len(v)
        if found:
            lo, hi = pos - RATE // 2, pos + RATE * 2
        else:
            lo, hi = 0, len(x)
        s, cc = correlate_find(x, v[:PROBE], lo, hi)
        if s is None or cc < 0.9:
            # By its end, where a dropout shifted what followed it.
            e, ce = correlate_find(x, v[n - PROBE:], lo + n - PROBE, hi + n - PROBE + RATE)
            if e is None or ce < 0.9:
                print("phrase %d: not found after phrase %d (correlation %.3f, by its end %.3f)"
                      % (p, p - 1, cc, ce), flush=True)
                break
            print("phrase %d: its beginning does not fit (%.3f); it ends at %d" % (p, cc, e),
                  flush=True)
            found.append((p, e - (n - PROBE), n, False))
            pos = e + PROBE
            continue
        e, ce = correlate_find(x, v[n - PROBE:], s + n - PROBE - RATE // 10,
                               s + n - PROBE + RATE // 10)
        counted, bad = block_fit(x, v, s)
        end_ok = e is not None and abs(e - (s + n - PROBE)) <= 1 and ce >= 0.9
        whole = end_ok and not bad
        worst_corr = min(worst_corr, cc, ce)
        if not whole:
            print("phrase %d at %d: end %s (corr %.3f, expected %d), %d of %d blocks out: %s"
                  % (p, s, e, ce, s + n - PROBE, len(bad), counted, bad[:5]), flush=True)
        found.append((p, s, n, whole))
        pos = s + n
    c.figure("web_phrase_probe_worst_correlation", round(worst_corr, 4))
    return found


def analyse(c, copy, clock, trace, monotonic, first, durations):
    phrases = find_phrases(c, copy, first)
    n_whole = sum(1 for f in phrases if f[3])
    want = 54 - first
    c.check(len(phrases) == want and n_whole == want and
            [f[0] for f in phrases] == list(range(first, 54)),
            "every phrase V%02d..V53 is in the card's copy, whole and in order" % first,
            "%d found, %d whole" % (len(phrases), n_whole))
    # The seams, on the copy without the card's own gaps; the card's
    # silences at them counted apart.
    seams, card_gaps = [], 0
    for a, b in zip(phrases, phrases[1:]):
        end = a[1] + a[2]
        seams.append((b[1] - end) * 1000 / RATE)
        card_gaps += clock.gaps_between(end, b[1])
    if seams:
        c.figure("web_seam_ms", {"median": round(statistics.median(seams), 2),
                                 "p90": round(sorted(seams)[int(len(seams) * 0.9)], 2),
                                 "min": round(min(seams), 2), "max": round(max(seams), 2),
                                 "n": len(seams)})
        c.check(max(abs(s) for s in seams) <= SEAM_MS,
                "each phrase follows the one before within %d ms" % SEAM_MS,
                "worst %.2f ms" % max(seams, key=abs))
        c.figure("web_card_silence_at_seams_ms", round(card_gaps * 1000 / RATE, 1))
    # The card's own silences inside the phrases: the server late with a
    # page (its timing, not the page's; the copy is judged without them,
    # the greens against the card's time with them).
    inside = [clock.gaps_between(f[1], f[1] + f[2]) * 1000 / RATE for f in phrases]
    c.figure("web_card_silence_inside_phrases_ms",
             {"phrases_with_some": sum(1 for g in inside if g > 0),
              "total": round(sum(inside), 1), "most_in_one": round(max(inside or [0]), 1)})

    # The buffer each phrase was played from: of those of its length (a
    # phrase's voice is handed ahead while the one before plays, and handed
    # again if that was dropped; some phrases have voices of equal length),
    # the one the page believed was heard from when its first character
    # was lit.
    scheduled = [e for e in trace if e["name"] == "scheduled"]
    lit = {}
    for e in trace:
        if e["name"] == "highlight":
            lit.setdefault((e["numbers"][0], e["numbers"][1]), e)
    starts = {f[0]: f[1] for f in phrases}
    broken = {f[0] for f in phrases if not f[3]}
    x = as_float(copy)
    deltas, true_deltas, page_errors, detail = [], [], [], []
    for p in range(first, 54):
        if p not in starts:
            continue
        n = len(voice_bytes(p)) // 2
        first_lit = lit.get((p, 0))
        buf = None
        if first_lit is not None:
            mine = [e for e in scheduled if e["numbers"][1] == n]
            if mine:
                buf = min(mine, key=lambda e: abs(first_lit["heard"] - e["numbers"][3]))
        on = 0
        for ch, ms in enumerate(durations[p]):
            e = lit.get((p, ch))
            if e is not None:
                j = starts[p] + on * RATE // 1000
                if p in broken:
                    # A dropout in the phrase moved what followed it: the
                    # syllable where the copy has it.
                    j = syllable_in_copy(x, as_float(voice_bytes(p)), starts[p], j - starts[p])
                green = monotonic(e["at"])
                d = (green - clock.time(j)) * 1000
                # The card's own silences since the phrase began (the rig's
                # server late with a page, unknown to any client) put the
                # syllable later than any output clock can tell: judged
                # without them, counted apart.
                stall = clock.gaps_between(starts[p], j) * 1000 / RATE
                deltas.append(d + stall)
                true_deltas.append(d)
                row = {"phrase": p, "char": ch, "green_minus_heard_ms": round(d + stall, 1),
                       "card_silence_before_ms": round(stall, 1), "onset_ms": on}
                if buf is not None:
                    # Where in the phrase the page believed the output was,
                    # against where the card was at that moment.
                    believed = (e["heard"] - buf["numbers"][3]) * 1000
                    true = on + d + stall
                    page_errors.append((e["at"], believed - true))
                    row.update(buffer=buf["numbers"][0], page_position_ms=round(believed, 1),
                               card_position_ms=round(true, 1))
                detail.append(row)
            on += ms
    n_chars = sum(len(durations[p]) for p in range(first, 54))
    c.check(len(deltas) == n_chars, "all %d characters were lit" % n_chars, "%d" % len(deltas))
    if deltas:
        summary = onset_summary(deltas)
        summary["p90"] = round(sorted(deltas)[int(len(deltas) * 0.9)], 1)
        c.figure("web_green_minus_heard_ms", summary)
        worst = max(detail, key=lambda r: abs(r["green_minus_heard_ms"]))
        c.check(summary["max_abs"] <= GREEN_MS,
                "every character turns green within %d ms of its syllable as heard" % GREEN_MS,
                "worst %.1f ms (phrase %d, character %d)"
                % (worst["green_minus_heard_ms"], worst["phrase"], worst["char"]))
        # A phrase's first character waits for the page to learn that the
        # phrase before has ended; the others follow the heard clock.
        for label, rows in (("first", [r for r in detail if r["char"] == 0]),
                            ("other", [r for r in detail if r["char"] > 0])):
            if rows:
                c.figure("web_green_minus_heard_%s_characters_ms" % label,
                         onset_summary([r["green_minus_heard_ms"] for r in rows]))
    if true_deltas != deltas:
        c.figure("web_green_minus_heard_with_card_silences_ms", onset_summary(true_deltas))
    if page_errors:
        c.figure("web_page_heard_clock_minus_card_ms", onset_summary([d for _, d in page_errors]))
        # The browser's output clock settles in the first seconds of its
        # stream (its reports of the card's latency smoothed over seconds):
        # the same apart for the first STREAM_SETTLE_S of the recitation.
        settled = page_errors[0][0] + STREAM_SETTLE_S * 1000
        for label, rows in (("in_first", [d for t, d in page_errors if t < settled]),
                            ("after", [d for t, d in page_errors if t >= settled])):
            if rows:
                c.figure("web_page_heard_clock_minus_card_%s_%ds_ms" % (label, STREAM_SETTLE_S),
                         onset_summary(rows))
    # By the page's own clock: how long after a phrase's first sample the
    # page learnt that the phrase before had ended (the first is not
    # handed ahead, and waits for its start).
    begun = [e["numbers"][3] for e in scheduled]
    noticed = [(e["heard"] - min(begun, key=lambda t, h=e["heard"]: abs(h - t))) * 1000
               for e in trace if begun and e["name"] == "phrase" and e["numbers"][0] > first]
    if noticed:
        c.figure("web_phrase_end_noticed_after_it_ms", onset_summary(noticed))
    return phrases, detail


def report_latencies(c, samples):
    """What Chromium reports for the output's latency, and how its output
    timestamp moves."""
    samples = [s for s in samples if s]
    if not samples:
        c.check(False, "the page has an audio context")
        return
    last = samples[-1]
    c.figure("web_context", {"state": last["state"], "sampleRate": last["sampleRate"]})
    for key in ("outputLatency", "baseLatency"):
        vals = [s[key] for s in samples if s[key] is not None]
        c.figure("web_%s_ms" % key, {"min": round(min(vals) * 1000, 2),
                                     "max": round(max(vals) * 1000, 2)} if vals else None)
    # The timestamp's context time behind the current time, and its
    # performance time behind now.
    stamps = [s for s in samples if s["timestamp"]]
    if stamps:
        behind = [(s["currentTime"] - s["timestamp"]["contextTime"]) * 1000 for s in stamps]
        age = [s["now"] - s["timestamp"]["performanceTime"] for s in stamps]
        heard_behind = [(s["currentTime"] - s["heard"]) * 1000 for s in stamps]
        c.figure("web_output_timestamp", {
            "currentTime_minus_contextTime_ms": [round(min(behind), 1), round(max(behind), 1)],
            "now_minus_performanceTime_ms": [round(min(age), 1), round(max(age), 1)],
            "currentTime_minus_heard_ms": [round(min(heard_behind), 1),
                                           round(max(heard_behind), 1)]})
    else:
        c.figure("web_output_timestamp", None)


# --------------------------------------------------------------------- run

def run(args, c, root):
    site = os.path.abspath(args.site)
    missing = site_missing(site)
    if missing:
        raise Failure("the site is not built in %s (missing %s): build it with "
                      "'bash tools/web.sh' first" % (site, ", ".join(missing)))
    for tool in (CHROMIUM, CHROMEDRIVER):
        if not os.path.exists(tool):
            raise Failure("%s is missing; run tools/install-deps.sh" % tool)
    try:
        import numpy  # noqa: F401
        import selenium  # noqa: F401
    except ImportError as e:
        raise Failure("%s (run with /usr/bin/python3; tools/install-deps.sh installs "
                      "python3-selenium and python3-numpy)" % e)
    first = args.first
    rig = Rig(root, "web", "card46")
    server = browser = None
    try:
        server = Site(site, os.path.join(args.artifacts, "web-http.log"))
        browser = Browser(rig, os.path.join(root, "profile"),
                          os.path.join(args.artifacts, "web-chromedriver.log"))
        t_open = time.monotonic()
        browser.driver.get(server.url + "index.html?trace")
        if not browser.wait("return document.body.dataset.ready === '1'", 30):
            raise Failure("the page did not start (see web-chromedriver.log)")
        c.figure("web_page_ready_s", round(time.monotonic() - t_open, 2))
        # The title, then the overview.
        if not browser.wait("return document.body.dataset.state === '0' && "
                            "document.getElementById('title').hidden", 15):
            raise Failure("the title did not end")
        rtt = browser.tie_clock()
        c.figure("web_clock_tie_round_trip_ms", round(rtt, 2))
        if first == 0:
            browser.driver.find_element("id", "start").click()
        else:
            from selenium.webdriver.common.action_chains import ActionChains
            from selenium.webdriver.common.keys import Keys
            ActionChains(browser.driver).send_keys(Keys.SHIFT).perform()  # the gesture
            browser.js("SolvariPage.command('startat', arguments[0])", first)
        t_start = time.monotonic()
        if not browser.wait("return document.body.dataset.state === '2'", 5, 0.02):
            raise Failure("the reading did not begin (state %s)"
                          % browser.js("return document.body.dataset.state"))
        # While it reads: the stream on the card, and the latencies.
        samples, streams = [], None
        ended = False
        deadline = t_start + 30 + 5 * (54 - first)
        while time.monotonic() < deadline:
            state, phrase = browser.js("return [document.body.dataset.state, "
                                       "document.body.dataset.phrase]")
            if streams is None and time.monotonic() - t_start > 2:
                streams = streams_on_card(rig)
                with open(os.path.join(args.artifacts, "web-sink-inputs.txt"), "w") as f:
                    f.write(pactl(rig, "list", "sink-inputs"))
            if len(samples) < 40 and time.monotonic() - t_start > 1:
                samples.append(browser.latencies())
            if state == "0":
                ended = True
                break
            time.sleep(0.5)
        c.figure("web_recitation_s", round(time.monotonic() - t_start, 1))
        c.check(ended, "the recitation ends with the overview",
                "phrase %s" % browser.js("return document.body.dataset.phrase"))
        c.check(bool(streams), "Chromium's sound goes to the rig's server, on the card",
                "sink inputs on the card: %s" % streams)
        rtt2 = browser.tie_clock()
        c.figure("web_clock_tie_round_trip_after_ms", round(rtt2, 2))
        trace = browser.js("return SolvariPage.traced")
        with open(os.path.join(args.artifacts, "web-trace.json"), "w") as f:
            json.dump(trace, f)
        with open(os.path.join(args.artifacts, "web-latencies.json"), "w") as f:
            json.dump(samples, f, indent=1)
        report_latencies(c, samples)
        offset = browser.offset
        browser.close()
        browser = None
        time.sleep(0.3)
        rig.stop_card()
        copy, gaps, t_card = load_copy(rig)
        clock = Clock(gaps, t_card)
        sc.write_wav(os.path.join(args.artifacts, "web-copy.wav"), RATE, array.array("h", copy))
        shutil.copy(rig.raw + ".gaps", os.path.join(args.artifacts, "web-card-gaps.txt"))
        log = os.path.join(rig.work, "pulse.log")
        if os.path.exists(log):
            shutil.copy(log, os.path.join(args.artifacts, "web-pulse.log"))
        with open(rig.raw + ".waits") as f:
            c.figure("web_card_longest_wait_for_a_page_ms", float(f.read()))
        shutil.copy(rig.raw + ".late", os.path.join(args.artifacts, "web-card-late-ticks.txt"))
        with open(rig.raw + ".late") as f:
            late = [float(line.split()[1]) for line in f if line.strip()]
        c.figure("web_card_ticks_begun_late", {"count": len(late),
                                               "worst_ms": max(late, default=0.0)})
        pcm = array.array("h")
        pcm.frombytes(copy)
        loud = max((abs(v) for v in pcm), default=0)
        c.check(loud > 3000, "the card's copy is not silent", "peak %d" % loud)
        c.figure("web_card_silences",
                 {"count": sum(1 for i, n in gaps if i > RATE),
                  "ms": round(sum(n for i, n in gaps if i > RATE) * 1000 / RATE, 1)})
        durations = sc.phrase_durations(SOURCE)
        _, detail = analyse(c, copy, clock, trace, lambda at, o=offset: o + at / 1000, first,
                            durations)
        with open(os.path.join(args.artifacts, "web-green.json"), "w") as f:
            json.dump(detail, f, indent=0)
    finally:
        if browser:
            browser.close()
        if server:
            server.close()
        rig.close()


def main():
    return run_on_card("web", run, (
        ("--site", {"required": True, "help": "the built site (build-web/site)"}),
        ("--first", {"type": int, "default": 0, "help": "the phrase to start at"})),
        bindir=False)


if __name__ == "__main__":
    sys.exit(main())
