"""The HTML export of the demo issue in headless Chromium: the index lists
the topics and plays nothing without a gesture, a click follows a link to an
article whose text, web fonts and pictures are there, its Next link and the
keyboard lead on, and nothing went wrong on the console.

usage: export_browser.py SITE"""
import os
import sys
import time

sys.path.insert(0, os.path.join(os.environ["ZARN_SOURCE_DIR"], "tests", "lib"))
from chromium import Browser, serve  # noqa: E402

failures = []


def check(condition, message):
    if not condition:
        failures.append(message)
        print("FAIL: " + message)


AUDIO = ("(() => { const a = document.querySelector('audio');"
         " return a && {paused: a.paused, autoplay: a.autoplay, time: a.currentTime, src: a.getAttribute('src')}; })()")

with serve(sys.argv[1]) as base, Browser() as browser:
    page = browser.open(base + "/index.html")
    check(page.evaluate("document.title") == "Zarn, issue one", "title: %r" % page.evaluate("document.title"))
    text = page.evaluate("document.body.innerText")
    for words in ("Reading Zarn", "Writing articles", "Welcome aboard", "An issue on disk"):
        check(words in text, "index lacks %r" % words)

    # The player is there, silent: no autoplay, and still paused a moment later.
    silent = {"paused": True, "autoplay": False, "time": 0, "src": "music.ogg"}
    check(page.evaluate(AUDIO) == silent, "audio after load: %r" % page.evaluate(AUDIO))
    page.wait_for("document.querySelector('audio').readyState >= 1", timeout=10)
    check(page.evaluate("document.querySelector('audio').duration") > 60, "the music's length is not known")
    time.sleep(1)
    check(page.evaluate(AUDIO) == silent, "audio a second later: %r" % page.evaluate(AUDIO))

    # A click follows a link to an article.
    page.click_element('a[href="issue.html"]')
    page.wait_for("location.pathname === '/issue.html' && document.readyState === 'complete'")
    text = page.evaluate("document.body.innerText")
    check("An issue of the magazine is one directory" in text, "issue.html lacks its text")
    check(page.evaluate("document.querySelector('h1').textContent") == "An issue on disk", "article heading")
    page.wait_for("document.fonts.status === 'loaded'")
    fonts = page.evaluate("[...document.fonts].filter(f => f.status === 'loaded').map(f => f.family)")
    check(any("zarn-verdana" in f for f in fonts), "the issue's verdana did not load: %r" % fonts)
    check(any("zarn-courier" in f for f in fonts), "the issue's courier did not load: %r" % fonts)
    family = page.evaluate("getComputedStyle(document.querySelector('article span')).fontFamily")
    check(family.strip('"').startswith("zarn-"), "article text is not in an issue font: %r" % family)

    # On to the next article by its link, and back to the contents by keyboard.
    page.click_element("a[rel=next]")
    page.wait_for("location.pathname === '/packing.html' && document.readyState === 'complete'")
    page.key("Tab")
    check(page.evaluate("document.activeElement.textContent") == "Contents",
          "Tab focused %r" % page.evaluate("document.activeElement.textContent"))
    page.key("Enter")
    page.wait_for("location.pathname === '/index.html' && document.readyState === 'complete'")

    # Pictures decode, with their file names as alternative text.
    page.navigate(base + "/pictures.html")
    images = page.wait_for("(() => { const i = [...document.images];"
                           " return i.length && i.every(x => x.complete) && i.map(x => [x.alt, x.naturalWidth]); })()")
    check(len(images) >= 3 and all(width > 0 for _, width in images), "pictures: %r" % images)
    check(all(alt.lower().endswith((".bmp", ".jpg")) for alt, _ in images), "alternative texts: %r" % images)

    # The driver sees the tab and can attach to it a second time.
    tab = [t for t in browser.tabs() if t["url"].endswith("/pictures.html")]
    check(len(tab) == 1, "tabs: %r" % browser.tabs())
    if tab:
        other = browser.attach(tab[0])
        check(other.evaluate("document.images.length") == len(images), "a second view of the tab differs")

    # A browser asks every site for an icon; the export has none.
    errors = [line for line in page.console
              if line.startswith(("error", "log-error", "warning")) and not line.endswith("/favicon.ico)")]
    check(not errors, "console: %r" % errors)

if failures:
    sys.exit("%d browser check(s) failed" % len(failures))
print("browser: ok")
