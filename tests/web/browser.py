#!/usr/bin/env python3
"""The web edition in a real browser: Debian's headless Chromium, driven over
its DevTools protocol, reads sites that `zarn-tool web` wrote for the demo
issue and for a small issue of links, served from 127.0.0.1.

Every screen is compared with what `zarn-tool render` draws for the same state,
pixel for pixel (the clock stopped at 12:34 by the page's ?time= option, as
render --time does); keys turn pages, change articles and topics; Esc returns
to the menu and starts the outro, which runs to its end; clicks, taps and
swipes act as on a phone; links open new tabs for what the reader allows and
for nothing else; the console carries the lines the desktop reader prints
for the same session; the setup dialog, message boxes and full screen work
in the page; settings land in localStorage.

Environment: ZARN_SOURCE_DIR, ZARN_DESKTOP_BUILD (zarn, zarn-tool, demo/),
ZARN_WEB_FILES (the web build's web/ folder).
"""

import base64
import json
import os
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

SOURCE = os.environ["ZARN_SOURCE_DIR"]
DESKTOP = os.environ["ZARN_DESKTOP_BUILD"]
WEB_FILES = os.environ["ZARN_WEB_FILES"]
sys.path.insert(0, os.path.join(SOURCE, "tests", "lib"))

from chromium import Browser, serve  # noqa: E402

TOOL = os.path.join(DESKTOP, "tools", "zarn-tool")
READER = os.path.join(DESKTOP, "zarn")
DEMO = os.path.join(DESKTOP, "demo")
CLOCK = "12:34"
WINDOWED = {"Show setup": "0", "windowed": "1"}

# The small issue's one article: a link on each page, at the top left of the
# text area, in letters large enough to hit.
LINKS_ARTICLE = (
    "<font verdana><size 24><color 255 255 255><link http://127.0.0.1:9/zarn>WEB LINK HERE</link>\r\n"
    "<newpage><link javascript:alert(1)>REFUSED LINK</link>\r\n"
    "<newpage><link notes.txt>THE NOTES FILE</link>\r\n")
LINK_POINT = (60, 40)  # inside each page's link, in page coordinates


def run(command, **options):
    result = subprocess.run(command, capture_output=True, text=True, timeout=120, **options)
    if result.returncode != 0:
        raise AssertionError("%s failed (%d):\n%s%s" % (" ".join(command), result.returncode, result.stdout,
                                                        result.stderr))
    return result.stdout


class Reader:
    """One run of the web edition in a tab."""

    def __init__(self, browser, base, settings=WINDOWED, query="?time=" + CLOCK):
        self.base = base
        # Settings are the origin's: set before the page starts.
        self.page = browser.open(base + "/files.json")
        self.page.evaluate("localStorage.clear(); %s" % "".join(
            "localStorage.setItem(%s, %s);" % (json.dumps(k), json.dumps(v)) for k, v in settings.items()))
        self.page.navigate(base + "/index.html" + query)

    def evaluate(self, expression):
        return self.page.evaluate(expression)

    def wait_for(self, expression, timeout=15):
        return self.page.wait_for(expression, timeout)

    def started(self):
        self.wait_for("zarnPage.module && zarnPage.module.zarnStats.presents.length > 0")

    def css(self, x, y):
        """Page coordinates of the canvas as CSS pixels of the tab."""
        box = self.evaluate("(() => { const r = document.getElementById('zarn').getBoundingClientRect();"
                            " return [r.left, r.top, r.width, r.height]; })()")
        return box[0] + (x + 0.5) * box[2] / 640, box[1] + (y + 0.5) * box[3] / 480

    def key(self, name):
        self.page.key(name)

    def click(self, x, y):
        self.page.click(*self.css(x, y))

    def expect_screen(self, png, timeout=10, clock=False):
        """Waits until the canvas holds exactly the pixels of png (but for the
        clock's corner, x >= 600 and y >= 420, when clock is set)."""
        # The browser decodes the file itself (PNG is lossless; no colour
        # conversion), which is far quicker than sending its pixels.
        with open(png, "rb") as f:
            encoded = base64.b64encode(f.read()).decode()
        size = self.page.evaluate("(async () => { const file = Uint8Array.from(atob('%s'), c => c.charCodeAt(0));"
                      " const picture = await createImageBitmap(new Blob([file], {type: 'image/png'}),"
                      " {colorSpaceConversion: 'none', premultiplyAlpha: 'none'});"
                      " const canvas = new OffscreenCanvas(640, 480), g = canvas.getContext('2d');"
                      " g.drawImage(picture, 0, 0); window.expected = g.getImageData(0, 0, 640, 480).data;"
                      " return [picture.width, picture.height]; })()" % encoded, await_promise=True)
        if size != [640, 480]:
            raise AssertionError("%s is %s, not a screen" % (png, size))
        differing = ("(() => { const a = document.getElementById('zarn').getContext('2d')"
                     ".getImageData(0, 0, 640, 480).data; let n = 0, first = -1;"
                     " for (let i = 0; i < a.length; i++) if (a[i] != expected[i] && !(%s && i / 4 %% 640 >= 600 && i / 2560 >= 420))"
                     " { n++; if (first < 0) first = i; }"
                     " return [n, first]; })()" % ("true" if clock else "false"))
        deadline = time.monotonic() + timeout
        while True:
            count, first = self.evaluate(differing)
            if count == 0:
                return
            if time.monotonic() > deadline:
                shot = self.evaluate("document.getElementById('zarn').toDataURL('image/png')")
                saved = os.path.join(tempfile.gettempdir(), "zarn-web-" + os.path.basename(png))
                with open(saved, "wb") as f:
                    f.write(base64.b64decode(shot.split(",")[1]))
                raise AssertionError("the canvas differs from %s in %d bytes, the first at (%d, %d); it is in %s"
                                     % (os.path.basename(png), count, first // 4 % 640, first // 4 // 640, saved))
            time.sleep(0.1)

    def wait_end(self, timeout=30):
        self.wait_for("zarnPage.endedAt > 0 && !document.getElementById('end').hidden", timeout)

    def stdout(self):
        """Lines the program wrote to standard output (console.log)."""
        self.page._pump(0.2)
        return [line[len("log: "):] for line in self.page.console if line.startswith("log: ")]

    def close(self):
        self.page.close()


class WebEdition(unittest.TestCase):

    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="zarn-web-test-")
        cls.addClassCleanup(shutil.rmtree, cls.work, ignore_errors=True)
        env = dict(os.environ, ZARN_WEB_FILES=WEB_FILES)
        cls.demo_site = os.path.join(cls.work, "demo-site")
        run([TOOL, "web", "-C", DEMO, "-o", cls.demo_site], env=env)
        # The small issue: a new one whose first article is the links page,
        # with a document beside it.
        cls.small = os.path.join(cls.work, "small")
        run([TOOL, "new", cls.small, "--title", "Small"])
        with open(os.path.join(cls.small, "welcome.txt"), "w", newline="") as f:
            f.write(LINKS_ARTICLE)
        with open(os.path.join(cls.small, "notes.txt"), "w") as f:
            f.write("Notes of the small issue.\n")
        cls.small_site = os.path.join(cls.work, "small-site")
        run([TOOL, "web", "-C", cls.small, "-o", cls.small_site], env=env)
        cls.browser = Browser()
        cls.addClassCleanup(cls.browser.close)

    def render(self, issue, name, *arguments):
        path = os.path.join(self.work, name + ".png")
        if not os.path.exists(path):
            run([TOOL, "render", "-C", issue, "--time", CLOCK, *arguments, "-o", path])
        return path

    def native_stdout(self, issue, script, **environment):
        """Standard output of the desktop reader in the same session (headless)."""
        home = tempfile.mkdtemp(dir=self.work)
        os.makedirs(os.path.join(home, "zarn"))
        with open(os.path.join(home, "zarn", "settings"), "w") as f:
            f.write("".join("%s=%s\n" % item for item in WINDOWED.items()))
        with open(os.path.join(home, "script"), "w") as f:
            f.write("grace 500\n" + "".join(line + "\n" for line in script))
        env = dict(os.environ, ZARN_PLATFORM="headless", XDG_CONFIG_HOME=home, SDL_AUDIODRIVER="dummy",
                   ZARN_HEADLESS_SCRIPT=os.path.join(home, "script"), **environment)
        return run([READER], cwd=issue, env=env).splitlines()

    def test_demo_session(self):
        """Menu, pages, articles, topics, pictures and links as render draws them; the outro to its end."""
        with serve(self.demo_site) as base:
            reader = Reader(self.browser, base)
            reader.started()
            reader.expect_screen(self.render(DEMO, "menu", "--menu"))
            # The first fade: 25 player ticks, half a second whether or not sound plays.
            fade_start = reader.evaluate("zarnPage.module.zarnStats.presents.length")
            reader.key("Enter")
            reader.expect_screen(self.render(DEMO, "t0a0p0", "--topic", "0"))
            fade = reader.evaluate("(p => p[p.length - 1][0] - p[%d][0])(zarnPage.module.zarnStats.presents)"
                                   % fade_start)
            self.assertGreater(fade, 450, "the fade took %d ms: the ticks ran fast" % fade)
            self.assertLess(fade, 2000, "the fade took %d ms: the ticks ran slow" % fade)
            reader.key("ArrowRight")
            reader.expect_screen(self.render(DEMO, "t0a0p1", "--topic", "0", "--page", "1"))
            reader.key("ArrowDown")
            reader.expect_screen(self.render(DEMO, "t0a1p0", "--topic", "0", "--article", "1"))
            reader.key("Escape")
            reader.expect_screen(self.render(DEMO, "menu", "--menu"))
            # The topic of pictures and links: its third and fourth articles.
            reader.key("ArrowDown")
            reader.expect_screen(self.render(DEMO, "menu1", "--menu", "--select", "1"))
            reader.key("Enter")
            reader.expect_screen(self.render(DEMO, "t1a0p0", "--topic", "1"))
            for article in (1, 2, 3):
                reader.key("ArrowDown")
                reader.expect_screen(self.render(DEMO, "t1a%dp0" % article, "--topic", "1", "--article", str(article)))
            reader.key("Escape")
            reader.expect_screen(self.render(DEMO, "menu1", "--menu", "--select", "1"))
            # Esc leaves: the outro runs until its fade has ended by itself.
            reader.key("Escape")
            reader.wait_end(timeout=40)
            self.assertEqual(reader.evaluate("zarnPage.status"), 0)
            printed = reader.stdout()
            reader.close()
        keys = ["Return", "Right", "Down", "Escape", "Down", "Return", "Down", "Down", "Down", "Escape", "Escape"]
        expected = self.native_stdout(DEMO, ["wait idle"] + ["key " + k for k in keys])
        self.assertEqual(printed, expected)
        self.assertIn("+ stackheap closed. (emulated)", printed)

    def test_search_line(self):
        """Characters typed in the page reach the search line, which finds and lights the word as the desktop does."""
        word = "decompressor"
        # The desktop reader's screen after the same keys (F12 writes it), and its output.
        pictures = tempfile.mkdtemp(dir=self.work)
        keys = ["type /" + word, "key Return", "sleep 1500"]
        native = self.native_stdout(DEMO, ["wait idle"] + keys + ["key F12"], XDG_PICTURES_DIR=pictures)
        shots = [line.split(" ", 2)[2] for line in native if line.startswith("+ screenshot ")]
        self.assertEqual(len(shots), 1, native)
        with serve(self.demo_site) as base:
            reader = Reader(self.browser, base)
            reader.started()
            reader.expect_screen(self.render(DEMO, "menu", "--menu"))
            for c in "/" + word:
                reader.key(c)
            reader.key("Enter")
            # The clock is the one thing the two may show differently.
            reader.expect_screen(shots[0], clock=True)
            printed = reader.stdout()
            reader.close()
        self.assertEqual(printed, native[:len(printed)])

    def test_the_page_read_last_after_a_reload(self):
        """R after a reload opens the page the earlier visit left: the positions file outlives the page."""
        with serve(self.demo_site) as base:
            reader = Reader(self.browser, base)
            reader.started()
            reader.expect_screen(self.render(DEMO, "menu", "--menu"))
            reader.key("Enter")
            reader.expect_screen(self.render(DEMO, "t0a0p0", "--topic", "0"))
            reader.key("ArrowRight")
            reader.expect_screen(self.render(DEMO, "t0a0p1", "--topic", "0", "--page", "1"))
            reader.key("Escape")
            reader.expect_screen(self.render(DEMO, "menu", "--menu"))
            # Kept while the reader runs, not only when the page goes.
            reader.wait_for("Object.keys(localStorage).some(k => k.startsWith('zarn-state:'))")
            reader.page.navigate(base + "/index.html?time=" + CLOCK)
            reader.started()
            reader.expect_screen(self.render(DEMO, "menu", "--menu"))
            reader.key("r")
            reader.expect_screen(self.render(DEMO, "t0a0p1", "--topic", "0", "--page", "1"))
            reader.close()

    def test_links_taps_and_swipes(self):
        """Links open new tabs for what the reader allows (a document from the site's copy), nothing else."""
        with serve(self.small_site) as base:
            reader = Reader(self.browser, base)
            reader.started()
            before = {tab["id"] for tab in self.browser.tabs()}

            def new_tabs():
                # What a click opened, closed again: a tab in the background
                # gets its timers slowed and its input held back.
                time.sleep(0.5)
                tabs = [tab for tab in self.browser.tabs() if tab["id"] not in before]
                for tab in tabs:
                    before.add(tab["id"])
                    self.browser.attach(tab).close()
                reader.page.call("Page.bringToFront")
                return [tab["url"] for tab in tabs]

            reader.key("Enter")
            reader.expect_screen(self.render(self.small, "s0", "--topic", "0"))
            reader.click(*LINK_POINT)
            self.assertEqual(new_tabs(), ["http://127.0.0.1:9/zarn"])
            # A click beside the link opens nothing.
            reader.click(600, 380)
            self.assertEqual(new_tabs(), [])
            reader.key("ArrowRight")
            reader.expect_screen(self.render(self.small, "s1", "--topic", "0", "--page", "1"))
            reader.click(*LINK_POINT)
            self.assertEqual(new_tabs(), [])
            reader.click(600, 380)  # the pointer off the next page's link: it would light it
            # On a phone: a swipe to the left turns the page, a tap is a click.
            x0, y = reader.css(500, 250)
            x1, _ = reader.css(200, 250)
            reader.page.swipe(x0, y, x1, y)
            reader.expect_screen(self.render(self.small, "s2", "--topic", "0", "--page", "2"))
            reader.page.tap(*reader.css(*LINK_POINT))
            self.assertEqual(new_tabs(), [base + "/issue/notes.txt"])
            reader.page.tap(*reader.css(600, 380))  # a tap where nothing is: no link stays lit
            reader.page.swipe(x1, y, x0, y)
            reader.expect_screen(self.render(self.small, "s1", "--topic", "0", "--page", "1"))
            # Each key once the screen it acts on is there (a key in the
            # middle of a fade is the fade's).
            reader.key("Escape")
            reader.expect_screen(self.render(self.small, "smenu", "--menu"))
            reader.key("Escape")  # the outro, to its end
            reader.wait_end(timeout=40)
            printed = reader.stdout()
            reader.close()
        self.assertIn("- link target not opened: 'javascript:alert(1)'", printed)
        page = ["click %d %d" % LINK_POINT]
        script = ["wait idle", "key Return", "sleep 700"] + page + ["click 600 380", "key Right", "sleep 700"] + page + [
            "click 600 380", "key Right", "sleep 700"] + page + ["click 600 380", "key Left", "key Escape", "key Escape"]
        self.assertEqual(printed, self.native_stdout(self.small, script))

    def test_setup_dialog_and_settings(self):
        """A first visit shows the setup dialog in the page; its choices are stored in localStorage."""
        with serve(self.small_site) as base:
            reader = Reader(self.browser, base, settings={})
            caption = reader.wait_for("(() => { const d = document.querySelector('.zarn-dialog');"
                                      " return d && !d.hidden && d.textContent; })()")
            self.assertEqual(caption, "Zarn Config")
            # "In a window" (dialog units 13, 36 + half its 10 height), then START.
            box = reader.evaluate("(() => { const r = document.querySelector('.zarn-dialog canvas')"
                                  ".getBoundingClientRect(); return [r.left, r.top, r.width / 417]; })()")
            reader.page.click(box[0] + 25 * box[2], box[1] + 66 * box[2])
            reader.key("Enter")
            reader.started()
            reader.expect_screen(self.render(self.small, "smenu", "--menu"))
            stored = reader.evaluate("JSON.stringify(['Show setup', 'bpp', 'windowed', 'sound']"
                                     ".map(k => localStorage.getItem(k)))")
            self.assertEqual(json.loads(stored), ["1", "32", "1", "1"])
            # The first key started the sound, and it plays what the mixer makes.
            reader.wait_for("zarnPage.module.zarnStats.audioPlayed > 4410")
            self.assertEqual(reader.evaluate("zarnPage.module.zarnStats.audioState"), "running")
            # F11 and the button put the page in full screen and take it out.
            reader.key("F11")
            reader.wait_for("document.fullscreenElement === document.getElementById('stage')")
            reader.key("F11")
            reader.wait_for("document.fullscreenElement === null")
            # Full screen left by the browser (its Esc, its controls): one F11 enters it again.
            reader.key("F11")
            reader.wait_for("document.fullscreenElement !== null")
            reader.evaluate("document.exitFullscreen()")
            reader.wait_for("document.fullscreenElement === null")
            reader.key("F11")
            reader.wait_for("document.fullscreenElement !== null")
            reader.key("F11")
            reader.wait_for("document.fullscreenElement === null")
            reader.page.click_element("#full-screen")
            reader.wait_for("document.fullscreenElement !== null")
            reader.close()

    def test_missing_file_and_read_again(self):
        """A file the server lacks gives the desktop's message, in a box in the page; then the page offers to read again."""
        site = os.path.join(self.work, "broken-site")
        shutil.copytree(self.small_site, site)
        os.remove(os.path.join(site, "issue", "_full.jpg"))
        with serve(site) as base:
            reader = Reader(self.browser, base)
            text = reader.wait_for("(() => { const b = document.querySelector('.zarn-box');"
                                   " return b && b.textContent; })()")
            self.assertEqual(text, "ErrorZarn EXCEPTION: '- bitmaps not loaded!'OK")
            reader.page.click_element(".zarn-box button")
            reader.wait_end()
            self.assertEqual(reader.evaluate("document.querySelector('.zarn-box')"), None)
            # Reading again starts the program anew, with the same files.
            reader.page.click_element("#again")
            reader.wait_for("zarnPage.runs == 2 && document.querySelector('.zarn-box') !== null")
            reader.key("Enter")
            reader.wait_end()
            reader.close()


if __name__ == "__main__":
    unittest.main(verbosity=2)
