#!/usr/bin/python3
"""The web page of the musicdisk served over local HTTP, and headless
Chromium driven through its DevTools protocol on a pipe (no package beyond
Python's own library).

    web_musicdisk.py serve [--dir build/web] [--port 8080]
        serves the page until interrupted, printing the address to open

The end-to-end scenarios' Chromium driver (tests/scenarios/chromium_driver.py)
and the page's benchmark (bench/web_page_in_chromium.py) use the same pieces.
"""

import argparse
import base64
import functools
import http.server
import json
import os
import queue
import shutil
import subprocess
import sys
import tempfile
import threading
import time

from waiting import Timeout

CHROMIUM = "/usr/bin/chromium"


class QuietHandler(http.server.SimpleHTTPRequestHandler):
    extensions_map = dict(http.server.SimpleHTTPRequestHandler.extensions_map,
                          **{".wasm": "application/wasm", ".js": "text/javascript"})

    def log_message(self, *args):
        pass

    def end_headers(self):
        # Every load gets the page as it is built now.
        self.send_header("Cache-Control", "no-store")
        super().end_headers()


class PageServer:
    """build/web over HTTP on the loopback address, in a thread."""

    def __init__(self, directory, port=0):
        handler = functools.partial(QuietHandler, directory=directory)
        self.httpd = http.server.ThreadingHTTPServer(("127.0.0.1", port), handler)
        self.url = "http://127.0.0.1:%d/" % self.httpd.server_address[1]
        self.thread = threading.Thread(target=self.httpd.serve_forever, daemon=True)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.httpd.shutdown()
        self.httpd.server_close()


class Chromium:
    """Headless Chromium with one page, spoken to over --remote-debugging-pipe:
    JSON messages ending in a NUL byte, commands on fd 3, answers on fd 4."""

    def __init__(self, log_path=None, width=800, height=600, autoplay=True):
        self.profile = tempfile.mkdtemp(prefix="veltrane-chromium-")
        to_browser_read, self.to_browser = os.pipe()
        self.from_browser, from_browser_write = os.pipe()

        def give_pipes():
            os.dup2(to_browser_read, 3)
            os.dup2(from_browser_write, 4)

        args = [
            CHROMIUM, "--headless=new", "--use-angle=swiftshader", "--enable-unsafe-swiftshader",
            "--remote-debugging-pipe",
            "--user-data-dir=" + self.profile, "--no-first-run", "--no-default-browser-check",
            "--disable-background-networking", "--disable-component-update", "--disable-sync",
            "--disable-quic", "--disable-extensions", "--mute-audio",
            "--window-size=%d,%d" % (width, height), "about:blank",
        ]
        if autoplay:
            args.insert(1, "--autoplay-policy=no-user-gesture-required")
        if os.geteuid() == 0:
            args.insert(1, "--no-sandbox")
        self.log = open(log_path or os.devnull, "wb")
        self.process = subprocess.Popen(args, stdin=subprocess.DEVNULL, stdout=self.log, stderr=self.log,
                                        preexec_fn=give_pipes, pass_fds=(3, 4))
        os.close(to_browser_read)
        os.close(from_browser_write)
        self.next_id = 0
        self.answers = {}
        self.answered = threading.Condition()
        self.events = queue.Queue()
        self.console = []
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        self.session = None

    def _read(self):
        pending = b""
        while True:
            chunk = os.read(self.from_browser, 1 << 16)
            if not chunk:
                break
            pending += chunk
            while b"\0" in pending:
                raw, pending = pending.split(b"\0", 1)
                message = json.loads(raw)
                if "id" in message:
                    with self.answered:
                        self.answers[message["id"]] = message
                        self.answered.notify_all()
                else:
                    self._event(message)
        with self.answered:
            self.answered.notify_all()

    def _event(self, message):
        method = message.get("method")
        params = message.get("params", {})
        if method == "Runtime.consoleAPICalled":
            text = " ".join(str(a.get("value", a.get("description", ""))) for a in params.get("args", []))
            self.console.append((params.get("type"), text))
        elif method == "Runtime.exceptionThrown":
            details = params.get("exceptionDetails", {})
            text = details.get("exception", {}).get("description") or details.get("text", "")
            self.console.append(("exception", text))
        elif method == "Log.entryAdded":
            entry = params.get("entry", {})
            self.console.append((entry.get("level"), entry.get("text", "") + " " + entry.get("url", "")))
        self.events.put(message)

    def send(self, method, params=None, session=True, timeout=60):
        return self.answer(self.post(method, params, session), method, timeout)

    def post(self, method, params=None, session=True):
        """Sends a command without waiting for its answer; answers its id."""
        self.next_id += 1
        ident = self.next_id
        message = {"id": ident, "method": method, "params": params or {}}
        if session and self.session:
            message["sessionId"] = self.session
        os.write(self.to_browser, json.dumps(message).encode() + b"\0")
        return ident

    def answer(self, ident, method, timeout=60):
        deadline = time.monotonic() + timeout
        with self.answered:
            while ident not in self.answers:
                if self.process.poll() is not None:
                    raise RuntimeError("Chromium ended (exit code %s)" % self.process.returncode)
                left = deadline - time.monotonic()
                if left <= 0:
                    raise Timeout("no answer to %s" % method)
                self.answered.wait(min(left, 0.5))
            answer = self.answers.pop(ident)
        if "error" in answer:
            raise RuntimeError("%s: %s" % (method, answer["error"]))
        return answer.get("result", {})

    def open(self, url, before_load=None):
        """A new page at `url`, with its console and errors recorded;
        `before_load` is a script run in the page before any of its own."""
        target = self.send("Target.createTarget", {"url": "about:blank"}, session=False)["targetId"]
        self.session = self.send("Target.attachToTarget", {"targetId": target, "flatten": True},
                                 session=False)["sessionId"]
        for domain in ("Runtime", "Page", "Log"):
            self.send(domain + ".enable")
        if before_load:
            self.send("Page.addScriptToEvaluateOnNewDocument", {"source": before_load})
        self.send("Page.navigate", {"url": url})

    def evaluate(self, expression, timeout=60):
        result = self.send("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                                "awaitPromise": True}, timeout=timeout)
        if "exceptionDetails" in result:
            raise RuntimeError("page: %s" % result["exceptionDetails"])
        return result["result"].get("value")

    def click(self, x, y, button="left", times=1):
        """`times` clicks, all sent before the first is answered: they reach
        the page as fast as the browser passes them on."""
        sent = [self.post("Input.dispatchMouseEvent", {"type": kind, "x": x, "y": y, "button": button,
                                                       "buttons": 1 if kind == "mousePressed" else 0,
                                                       "clickCount": 1})
                for _ in range(times) for kind in ("mousePressed", "mouseReleased")]
        for ident in sent:
            self.answer(ident, "Input.dispatchMouseEvent")

    def move(self, x, y, pressed=False):
        self.send("Input.dispatchMouseEvent", {"type": "mouseMoved", "x": x, "y": y,
                                               "button": "left" if pressed else "none",
                                               "buttons": 1 if pressed else 0})

    def drag(self, x, y, points, steps=5):
        """Presses the left button at (x, y), moves through each point in
        turn and lets go at the last."""
        self.move(x, y)
        self.send("Input.dispatchMouseEvent", {"type": "mousePressed", "x": x, "y": y, "button": "left",
                                               "buttons": 1, "clickCount": 1})
        for to_x, to_y in points:
            for i in range(1, steps + 1):
                self.move(x + (to_x - x) * i // steps, y + (to_y - y) * i // steps, pressed=True)
            x, y = to_x, to_y
        self.send("Input.dispatchMouseEvent", {"type": "mouseReleased", "x": x, "y": y,
                                               "button": "left", "buttons": 0, "clickCount": 1})

    def resize(self, width=None, height=None):
        """Makes the page's viewport width x height (its own size without
        arguments) and waits until the page has had its resize event."""
        if width is None:
            self.send("Emulation.clearDeviceMetricsOverride")
        else:
            self.send("Emulation.setDeviceMetricsOverride", {"width": width, "height": height,
                                                             "deviceScaleFactor": 1, "mobile": False})
        # The event comes before the animation frames of the next rendering.
        self.evaluate("new Promise(function (done) { requestAnimationFrame(function () { "
                      "requestAnimationFrame(function () { done(true); }); }); })")

    KEYS = {"Escape": 27, "ArrowUp": 38, "ArrowDown": 40, "Space": 32, "MediaTrackNext": 0xB0,
            "MediaTrackPrevious": 0xB1, "MediaStop": 0xB2, "MediaPlayPause": 0xB3}

    def key(self, name, kinds=("rawKeyDown", "keyUp")):
        """Presses and lets go of a key of KEYS; `kinds` ("rawKeyDown" or
        "keyUp" alone) holds it down or lets it go."""
        code = self.KEYS[name]
        key = " " if name == "Space" else name
        for kind in kinds:
            self.send("Input.dispatchKeyEvent", {"type": kind, "key": key, "code": name,
                                                 "windowsVirtualKeyCode": code, "nativeVirtualKeyCode": code})

    def screenshot(self, path, clip=None):
        params = {"format": "png"}
        if clip:
            params["clip"] = dict(zip(("x", "y", "width", "height"), clip), scale=1)
        data = base64.b64decode(self.send("Page.captureScreenshot", params)["data"])
        os.makedirs(os.path.dirname(os.path.abspath(path)), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def close(self):
        try:
            self.send("Browser.close", session=False, timeout=10)
        except (RuntimeError, Timeout, OSError):
            pass
        try:
            self.process.wait(10)
        except subprocess.TimeoutExpired:
            self.process.kill()
            self.process.wait()
        os.close(self.to_browser)
        self.log.close()
        shutil.rmtree(self.profile, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("command", choices=("serve",))
    parser.add_argument("--dir", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..",
                                                     "build", "web"))
    parser.add_argument("--port", type=int, default=8080)
    args = parser.parse_args()
    with PageServer(os.path.abspath(args.dir), args.port) as server:
        print("veltrane::music is served at %s (Ctrl+C ends)" % server.url, flush=True)
        try:
            while True:
                time.sleep(3600)
        except KeyboardInterrupt:
            pass
    return 0


if __name__ == "__main__":
    sys.exit(main())
