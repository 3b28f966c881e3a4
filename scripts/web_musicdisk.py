#!/usr/bin/python3
"""The web page of the musicdisk served over local HTTP, and headless
Chromium driven through its DevTools protocol on a pipe (no package beyond
Python's own library).

    web_musicdisk.py serve [--dir build/web] [--port 8080]
        serves the page until interrupted, printing the address to open
    web_musicdisk.py measure [--dir build/web] [--seconds 20]
        loads the page in headless Chromium and prints its size, the time to
        its first frame, its frame rate and the CPU time of its audio path

The browser test (tests/web/web_musicdisk_test.py) uses the same pieces.
"""

import argparse
import base64
import functools
import gzip
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

from waiting import Timeout, wait_for

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

    def drag(self, x, y, dx, dy, steps=5):
        self.move(x, y)
        self.send("Input.dispatchMouseEvent", {"type": "mousePressed", "x": x, "y": y, "button": "left",
                                               "buttons": 1, "clickCount": 1})
        for i in range(1, steps + 1):
            self.move(x + dx * i // steps, y + dy * i // steps, pressed=True)
        self.send("Input.dispatchMouseEvent", {"type": "mouseReleased", "x": x + dx, "y": y + dy,
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


def thread_cpu_seconds(root):
    """CPU seconds (user and system) of every thread of Chromium and its
    child processes, keyed by (process kind, pid, thread name)."""
    ticks = os.sysconf("SC_CLK_TCK")
    found = {}
    for pid, kind in chromium_processes(root).items():
        try:
            tasks = os.listdir("/proc/%d/task" % pid)
        except OSError:
            continue
        for task in tasks:
            try:
                with open("/proc/%d/task/%s/stat" % (pid, task)) as f:
                    stat = f.read()
            except OSError:
                continue
            name = stat[stat.index("(") + 1:stat.rindex(")")]
            fields = stat.rsplit(")", 1)[1].split()
            key = (kind, pid, name)
            found[key] = found.get(key, 0.0) + (int(fields[11]) + int(fields[12])) / ticks
    return found


def chromium_processes(root):
    """The browser process and all its descendants, with the kind of each."""
    children = {}
    for entry in os.listdir("/proc"):
        if not entry.isdigit():
            continue
        try:
            with open("/proc/%s/stat" % entry) as f:
                parent = int(f.read().rsplit(")", 1)[1].split()[1])
            # Chromium rewrites its children's command lines into one string.
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                command = f.read().replace(b"\0", b" ").split()
        except OSError:
            continue
        children.setdefault(parent, []).append((int(entry), command))
    found = {root: "browser"}
    stack = [root]
    while stack:
        pid = stack.pop()
        for child, command in children.get(pid, []):
            kind = next((a.split(b"=", 1)[1].decode() for a in command if a.startswith(b"--type=")), "other")
            sub = next((a.split(b"=", 1)[1].decode() for a in command
                        if a.startswith(b"--utility-sub-type=")), "")
            found[child] = kind + (" " + sub if sub else "")
            stack.append(child)
    return found


def page_size(directory):
    sizes = {}
    for name in ("index.html", "veltrane-music.js", "veltrane-music.wasm"):
        with open(os.path.join(directory, name), "rb") as f:
            data = f.read()
        sizes[name] = (len(data), len(gzip.compress(data, 9)))
    return sizes


def measure(directory, seconds):
    sizes = page_size(directory)
    for name, (raw, packed) in sizes.items():
        print("%-20s %8d bytes, %7d gzip-compressed" % (name, raw, packed))
    print("%-20s %8d bytes, %7d gzip-compressed" % ("the page", sum(s[0] for s in sizes.values()),
                                                    sum(s[1] for s in sizes.values())))
    with PageServer(directory) as server, Chromium() as browser:
        browser.open(server.url)
        first = wait_for(lambda: browser.evaluate("window.Module && Module.shell && Module.shell.firstFrameDrawn"),
                         60, "the first frame")
        print("first frame drawn    %.0f ms after the page began loading" % first)
        wait_for(lambda: browser.evaluate("Module.shell.sound.played > 0"), 30, "the sound to start")
        probe = "[performance.now(), Module._veltrane_frames_drawn(), Module._veltrane_sound_ms(), " \
                "Module.shell.sound.underrun, Module.shell.sound.path]"
        before = browser.evaluate(probe)
        cpu_before = thread_cpu_seconds(browser.process.pid)
        time.sleep(seconds)
        after = browser.evaluate(probe)
        cpu_after = thread_cpu_seconds(browser.process.pid)
        elapsed = (after[0] - before[0]) / 1000
        print("frames per second    %.1f over %.0f s" % ((after[1] - before[1]) / elapsed, elapsed))
        print("sound path           %s, %d samples of underrun" % (after[4], after[3] - before[3]))
        print("rendering the sound  %.2f%% of one core (the page's thread: replay, mixing, queueing)"
              % (100 * (after[2] - before[2]) / 1000 / elapsed))
        used = {}
        for key, value in cpu_after.items():
            used[key] = value - cpu_before.get(key, 0.0)
        audio = {}
        for (kind, pid, name), value in used.items():
            if "audio" in kind.lower() or "audio" in name.lower():
                audio[(kind, name)] = audio.get((kind, name), 0.0) + value
        for (kind, name), value in sorted(audio.items()):
            if value > 0:
                print("  %-48s %5.1f%% of one core" % ("%s: %s" % (kind, name), 100 * value / elapsed))
        by_kind = {}
        for (kind, pid, name), value in used.items():
            by_kind[kind] = by_kind.get(kind, 0.0) + value
        for kind, value in sorted(by_kind.items()):
            print("process %-42s %5.1f%% of one core" % (kind, 100 * value / elapsed))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("command", choices=("serve", "measure"))
    parser.add_argument("--dir", default=os.path.join(os.path.dirname(os.path.abspath(__file__)), "..",
                                                     "build", "web"))
    parser.add_argument("--port", type=int, default=8080)
    parser.add_argument("--seconds", type=float, default=20)
    args = parser.parse_args()
    if args.command == "measure":
        measure(args.dir, args.seconds)
        return 0
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
