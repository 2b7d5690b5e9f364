"""A small driver of headless Chromium over its DevTools protocol, for tests.
Python 3 standard library only (the WebSocket client is the few lines below).

    sys.path.insert(0, ZARN_SOURCE_DIR + "/tests/lib")
    from chromium import Browser, serve

    with serve("site") as base, Browser() as browser:
        page = browser.open(base + "/index.html")
        assert page.evaluate("document.title") == "..."

serve(directory)
    Context manager: a threaded HTTP server of the files in directory on
    127.0.0.1 (a free port); gives its base URL "http://127.0.0.1:PORT".
    Pages are served over HTTP because WebAssembly modules are not fetched
    from file: URLs.

Browser(arguments=(), timeout=30)
    Starts Debian's `chromium --headless=new` with a private --user-data-dir
    (removed on close) and a DevTools port of its own; extra command-line
    arguments may be given (say "--autoplay-policy=no-user-gesture-required").
    A context manager, or call close().
  .open(url) -> Page        a new tab on url, returned once it has loaded
  .tabs() -> [dict]         the open page tabs (those a click opened too):
                            id, url, title, type, webSocketDebuggerUrl
  .attach(tab) -> Page      a Page for one of tabs()
  .close()                  ends the browser and its child processes

Page
  .evaluate(expression, await_promise=False)
                            the expression's value (JSON values; undefined
                            is None); raises JavaScriptError when it throws
  .wait_for(expression, timeout=10)
                            polls until the expression is truthy (a page
                            being replaced by a navigation is waited out);
                            returns its value, raises TimeoutError
  .navigate(url)            loads url in this tab and waits for its load event
  .key(name)                a key pressed and released: a DOM key name such
                            as "Enter", "Tab", "ArrowLeft", "Escape", "F1" or
                            one character; the Windows virtual-key code goes
                            along (the reader's web edition reads it)
  .move(x, y)               the mouse moved to CSS pixel x, y
  .click(x, y)              the left button pressed and released at x, y
  .click_element(selector)  a click in the middle of the first element that
                            matches the CSS selector (scrolled into view)
  .tap(x, y)                a finger put down and lifted at x, y (touch
                            input is switched on for the page first)
  .swipe(x0, y0, x1, y1)    a finger moved from one point to the other
  .console                  console lines received so far, "TYPE: text"
                            (console.log is "log: ...", errors "error: ...",
                            and the browser's own messages "log-LEVEL: ..."
                            with the URL concerned in brackets)
  .close()                  closes the tab
"""

import base64
import contextlib
import functools
import http.server
import json
import os
import shutil
import signal
import socket
import struct
import subprocess
import tempfile
import threading
import time
import urllib.parse
import urllib.request


class JavaScriptError(Exception):
    """An expression given to Page.evaluate threw."""


# [SECTION] HTTP server ----------------------------------------------------

class _QuietHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = dict(http.server.SimpleHTTPRequestHandler.extensions_map,
                          **{".wasm": "application/wasm", ".ogg": "audio/ogg", ".ttf": "font/ttf",
                             ".TTF": "font/ttf", ".js": "text/javascript"})

    def log_message(self, *arguments):
        pass


@contextlib.contextmanager
def serve(directory):
    handler = functools.partial(_QuietHandler, directory=os.fspath(directory))
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    thread = threading.Thread(target=server.serve_forever, daemon=True)
    thread.start()
    try:
        yield "http://127.0.0.1:%d" % server.server_address[1]
    finally:
        server.shutdown()
        server.server_close()


# [SECTION] WebSocket client -----------------------------------------------

class _WebSocket:
    """Text frames to and from one ws:// URL (RFC 6455, client side)."""

    def __init__(self, url, timeout):
        parts = urllib.parse.urlsplit(url)
        self.sock = socket.create_connection((parts.hostname, parts.port), timeout=timeout)
        key = base64.b64encode(os.urandom(16)).decode()
        request = ("GET %s HTTP/1.1\r\nHost: %s:%d\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                   "Sec-WebSocket-Key: %s\r\nSec-WebSocket-Version: 13\r\n\r\n"
                   % (parts.path or "/", parts.hostname, parts.port, key))
        self.sock.sendall(request.encode())
        response = b""
        while b"\r\n\r\n" not in response:
            chunk = self.sock.recv(4096)
            if not chunk:
                raise ConnectionError("the WebSocket handshake was cut off")
            response += chunk
        head, self.pending = response.split(b"\r\n\r\n", 1)
        if b" 101 " not in head.split(b"\r\n")[0]:
            raise ConnectionError("WebSocket refused: " + head.split(b"\r\n")[0].decode())

    def _read(self, count):
        while len(self.pending) < count:
            chunk = self.sock.recv(65536)
            if not chunk:
                raise ConnectionError("the WebSocket closed")
            self.pending += chunk
        data, self.pending = self.pending[:count], self.pending[count:]
        return data

    def _send_frame(self, opcode, payload):
        header = bytes([0x80 | opcode])
        length = len(payload)
        if length < 126:
            header += bytes([0x80 | length])
        elif length < 65536:
            header += bytes([0x80 | 126]) + struct.pack(">H", length)
        else:
            header += bytes([0x80 | 127]) + struct.pack(">Q", length)
        mask = os.urandom(4)
        masked = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
        self.sock.sendall(header + mask + masked)

    def send(self, text):
        self._send_frame(0x1, text.encode())

    def receive(self):
        """The next text message (pings answered, fragments joined)."""
        message = b""
        while True:
            first, second = self._read(2)
            opcode, length = first & 0x0F, second & 0x7F
            if length == 126:
                length = struct.unpack(">H", self._read(2))[0]
            elif length == 127:
                length = struct.unpack(">Q", self._read(8))[0]
            mask = self._read(4) if second & 0x80 else None
            payload = self._read(length)
            if mask:
                payload = bytes(b ^ mask[i % 4] for i, b in enumerate(payload))
            if opcode == 0x9:
                self._send_frame(0xA, payload)
                continue
            if opcode == 0x8:
                raise ConnectionError("the WebSocket was closed by the browser")
            if opcode in (0x0, 0x1, 0x2):
                message += payload
                if first & 0x80:
                    return message.decode("utf-8", "replace")

    def close(self):
        try:
            self._send_frame(0x8, b"")
        except OSError:
            pass
        self.sock.close()


# [SECTION] Pages ----------------------------------------------------------

# DOM key name -> (Windows virtual-key code, code).
_KEYS = {
    "Enter": (13, "Enter"), "Tab": (9, "Tab"), "Escape": (27, "Escape"), "Backspace": (8, "Backspace"),
    " ": (32, "Space"), "ArrowLeft": (37, "ArrowLeft"), "ArrowUp": (38, "ArrowUp"),
    "ArrowRight": (39, "ArrowRight"), "ArrowDown": (40, "ArrowDown"), "Shift": (16, "ShiftLeft"),
}
for _n in range(1, 13):
    _KEYS["F%d" % _n] = (111 + _n, "F%d" % _n)


class Page:
    def __init__(self, browser, tab):
        self.browser = browser
        self.tab = tab
        self.socket = _WebSocket(tab["webSocketDebuggerUrl"], browser.timeout)
        self.next_id = 0
        self.console = []
        self.loads = 0
        self.call("Page.enable")
        self.call("Runtime.enable")
        self.call("Log.enable")

    def _event(self, message):
        method, params = message.get("method"), message.get("params", {})
        if method == "Runtime.consoleAPICalled":
            text = " ".join(str(a.get("value", a.get("description", ""))) for a in params.get("args", []))
            self.console.append("%s: %s" % (params.get("type"), text))
        elif method == "Log.entryAdded":
            entry = params.get("entry", {})
            where = " (%s)" % entry["url"] if entry.get("url") else ""
            self.console.append("log-%s: %s%s" % (entry.get("level"), entry.get("text"), where))
        elif method == "Page.loadEventFired":
            self.loads += 1

    def call(self, method, **params):
        """Sends one DevTools command and returns its result (events met meanwhile are kept)."""
        self.next_id += 1
        self.socket.send(json.dumps({"id": self.next_id, "method": method, "params": params}))
        while True:
            message = json.loads(self.socket.receive())
            if message.get("id") == self.next_id:
                if "error" in message:
                    raise RuntimeError("%s: %s" % (method, message["error"].get("message")))
                return message.get("result", {})
            self._event(message)

    def _pump(self, seconds):
        """Reads events for a while (load events and console lines)."""
        self.socket.sock.settimeout(seconds)
        try:
            while True:
                self._event(json.loads(self.socket.receive()))
        except socket.timeout:
            pass
        finally:
            self.socket.sock.settimeout(self.browser.timeout)

    def evaluate(self, expression, await_promise=False):
        result = self.call("Runtime.evaluate", expression=expression, returnByValue=True,
                           awaitPromise=await_promise)
        if "exceptionDetails" in result:
            details = result["exceptionDetails"]
            raise JavaScriptError(details.get("exception", {}).get("description", details.get("text")))
        return result.get("result", {}).get("value")

    def wait_for(self, expression, timeout=10):
        deadline = time.monotonic() + timeout
        while True:
            try:
                value = self.evaluate(expression)
                if value:
                    return value
            except (JavaScriptError, RuntimeError):
                pass  # the page is between two documents
            if time.monotonic() > deadline:
                raise TimeoutError("still false after %s s: %s" % (timeout, expression))
            self._pump(0.05)

    def navigate(self, url, timeout=20):
        loads = self.loads
        self.call("Page.navigate", url=url)
        deadline = time.monotonic() + timeout
        while self.loads == loads:
            if time.monotonic() > deadline:
                raise TimeoutError("%s did not load" % url)
            self._pump(0.1)

    def key(self, name):
        code, dom_code = _KEYS.get(name, (ord(name.upper()) if len(name) == 1 else 0,
                                          "Key" + name.upper() if len(name) == 1 and name.isalpha() else name))
        text = name if len(name) == 1 else ("\r" if name == "Enter" else "")
        common = dict(key=name, code=dom_code, windowsVirtualKeyCode=code, nativeVirtualKeyCode=code)
        self.call("Input.dispatchKeyEvent", type="keyDown" if text else "rawKeyDown", text=text, **common)
        self.call("Input.dispatchKeyEvent", type="keyUp", **common)

    def move(self, x, y):
        self.call("Input.dispatchMouseEvent", type="mouseMoved", x=x, y=y)

    def click(self, x, y):
        self.move(x, y)
        for kind in ("mousePressed", "mouseReleased"):
            self.call("Input.dispatchMouseEvent", type=kind, x=x, y=y, button="left", clickCount=1)

    def _touch(self, points):
        if not getattr(self, "touch_enabled", False):
            self.call("Emulation.setTouchEmulationEnabled", enabled=True, maxTouchPoints=1)
            self.touch_enabled = True
        for kind, (x, y) in zip(["touchStart"] + ["touchMove"] * (len(points) - 2) + ["touchEnd"], points):
            self.call("Input.dispatchTouchEvent", type=kind, touchPoints=[] if kind == "touchEnd" else [{"x": x, "y": y}])

    def tap(self, x, y):
        self._touch([(x, y), (x, y)])

    def swipe(self, x0, y0, x1, y1, steps=5):
        self._touch([(x0 + (x1 - x0) * i / steps, y0 + (y1 - y0) * i / steps) for i in range(steps + 1)])

    def click_element(self, selector):
        box = self.evaluate("(() => { const e = document.querySelector(%s); if (!e) return null;"
                            " e.scrollIntoView({block: 'center'}); const r = e.getBoundingClientRect();"
                            " return [r.left + r.width / 2, r.top + r.height / 2]; })()" % json.dumps(selector))
        if not box:
            raise LookupError("no element matches " + selector)
        self.click(box[0], box[1])

    def close(self):
        self.socket.close()
        with contextlib.suppress(OSError):
            self.browser._http("/json/close/" + self.tab["id"])


# [SECTION] Browser --------------------------------------------------------

class Browser:
    def __init__(self, arguments=(), timeout=30):
        self.timeout = timeout
        self.profile = tempfile.mkdtemp(prefix="zarn-chromium-")
        self.process = subprocess.Popen(
            ["chromium", "--headless=new", "--no-sandbox", "--disable-gpu", "--no-first-run",
             "--no-default-browser-check", "--remote-debugging-port=0", "--user-data-dir=" + self.profile,
             *arguments, "about:blank"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            start_new_session=True)
        port_file = os.path.join(self.profile, "DevToolsActivePort")
        deadline = time.monotonic() + timeout
        self.port = None
        while self.port is None:
            if self.process.poll() is not None:
                self.close()
                raise RuntimeError("chromium ended at start (status %s)" % self.process.returncode)
            if time.monotonic() > deadline:
                self.close()
                raise TimeoutError("chromium gave no DevTools port")
            with contextlib.suppress(OSError, ValueError):
                with open(port_file) as f:
                    self.port = int(f.readline())
            time.sleep(0.05)

    def _http(self, path, method="GET"):
        request = urllib.request.Request("http://127.0.0.1:%d%s" % (self.port, path), method=method)
        with urllib.request.urlopen(request, timeout=self.timeout) as response:
            body = response.read().decode()
        return json.loads(body) if body.strip().startswith(("{", "[")) else body

    def tabs(self):
        return [t for t in self._http("/json/list") if t.get("type") == "page"]

    def attach(self, tab):
        return Page(self, tab)

    def open(self, url):
        # The tab starts empty so that its load event cannot pass unseen.
        page = Page(self, self._http("/json/new?about:blank", method="PUT"))
        page.navigate(url)
        return page

    def close(self):
        if self.process.poll() is None:
            with contextlib.suppress(ProcessLookupError):
                os.killpg(self.process.pid, signal.SIGTERM)
            try:
                self.process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.killpg(self.process.pid, signal.SIGKILL)
                self.process.wait()
        shutil.rmtree(self.profile, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exception):
        self.close()
