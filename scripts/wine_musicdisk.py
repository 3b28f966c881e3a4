#!/usr/bin/python3
"""Runs the Windows musicdisk under Wine and records what it shows and plays.

As a command (scripts/run.sh uses it when there is no display):

    wine_musicdisk.py EXE --prefix PREFIX --seconds 15 --screenshot out/musicdisk.png --wav out/musicdisk.wav

starts a virtual display, plays for the given time, then saves a screenshot of
the window and everything the program played, and quits it with Escape.

As a module, the end-to-end scenarios (tests/scenarios/wine_driver.py) and
bench/musicdisk_under_wine.py drive the program through `VirtualDisplay` and
`Musicdisk`: start it, find its window, click and press keys with
xdotool, take screenshots with ImageMagick, and read its sound, which an ALSA
file sink captures sample for sample (16-bit mono PCM at 44100 Hz, exactly
what the program hands to waveOut). Every wait is for a condition, with a
generous timeout.
"""

import argparse
import os
import re
import shutil
import signal
import subprocess
import sys
import time
import wave

from waiting import Timeout, wait_for

WINDOW_TITLE = "veltrane::music"
# The name the program gives its playback thread.
PLAYBACK_THREAD_NAME = "veltrane audio"
SAMPLE_RATE = 44100
BYTES_PER_SAMPLE = 2


def wine_command():
    # The 64-bit loader itself: the `wine` wrapper would only add a hint about
    # the missing 32-bit Wine on every start.
    loader = "/usr/lib/wine/wine64"
    return loader if os.access(loader, os.X_OK) else "wine"


class VirtualDisplay:
    """An Xvfb server on a free display number, with a plain desktop colour.

    It never resets: a reset when the last client leaves would take the
    desktop colour with it."""

    DESKTOP = (0x2A, 0x6B, 0x4F)

    def __init__(self, width=1024, height=768):
        self.width, self.height = width, height
        self.process = None
        self.name = None

    def start(self):
        read_end, write_end = os.pipe()
        self.process = subprocess.Popen(
            ["Xvfb", "-displayfd", str(write_end), "-screen", "0", "%dx%dx24" % (self.width, self.height),
             "-nolisten", "tcp", "-noreset"],
            pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        os.close(write_end)
        number = b""
        with os.fdopen(read_end, "rb") as pipe:
            while not number.endswith(b"\n"):
                chunk = pipe.read(1)
                if not chunk:
                    raise RuntimeError("Xvfb did not start")
                number += chunk
        self.name = ":" + number.decode().strip()
        subprocess.run(["xsetroot", "-solid", "#%02x%02x%02x" % self.DESKTOP], env=self.env(), check=True)
        return self

    def env(self):
        env = dict(os.environ)
        env["DISPLAY"] = self.name
        return env

    def stop(self):
        if self.process is not None:
            self.process.terminate()
            self.process.wait(timeout=10)
            self.process = None

    def __enter__(self):
        return self.start()

    def __exit__(self, *exc):
        self.stop()


class Musicdisk:
    """One run of the program: its process, its window and its captured sound."""

    def __init__(self, exe, prefix, display, workdir, name="run", title=WINDOW_TITLE):
        self.exe = os.path.abspath(exe)
        self.title = title
        self.prefix = os.path.abspath(prefix)
        self.display = display
        self.workdir = os.path.abspath(workdir)
        self.name = name
        self.capture_path = os.path.join(self.workdir, name + ".raw")
        self.process = None
        self.window = None
        self.started_at = None
        os.makedirs(self.workdir, exist_ok=True)

    # -- process

    def env(self):
        env = self.display.env()
        env.update(WINEPREFIX=self.prefix, WINEDEBUG="-all", WINEDLLOVERRIDES="winemenubuilder.exe=d",
                   ALSA_CONFIG_PATH=self._alsa_config())
        return env

    def _alsa_config(self):
        # ALSA's default device becomes a file sink over the null device. The
        # program reopens the device on every track change; appending keeps
        # what each opening played, one after the other.
        path = os.path.join(self.workdir, self.name + ".asoundrc")
        with open(path, "w") as f:
            f.write("</usr/share/alsa/alsa.conf>\n"
                    "pcm.!default {\n  type file\n  slave.pcm \"null\"\n"
                    "  file \"%s\"\n  format \"raw\"\n  truncate false\n}\n" % self.capture_path)
        return path

    def start(self):
        for path in self.segment_paths():
            os.remove(path)
        self.log = open(os.path.join(self.workdir, self.name + ".log"), "wb")
        self.started_at = time.monotonic()
        self.process = subprocess.Popen([wine_command(), self.exe], env=self.env(), cwd=self.workdir,
                                        stdout=self.log, stderr=subprocess.STDOUT)
        return self

    def wait_for_window(self, timeout=90):
        pattern = "^%s$" % re.sub(r"([][.*+?^$(){}|\\])", r"\\\1", self.title)

        def find():
            if self.process.poll() is not None:
                raise RuntimeError("the program ended with %d before its window appeared" % self.process.returncode)
            found = self._xdotool("search", "--onlyvisible", "--name", pattern, check=False)
            return found.split()[0] if found else None
        self.window = wait_for(find, timeout, "the window")
        return self.window

    def running(self):
        return self.process is not None and self.process.poll() is None

    def wait_exit(self, timeout=30):
        try:
            return self.process.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise Timeout("waited %.0f s for the program to end" % timeout)

    def stop(self):
        if self.running():
            self.process.send_signal(signal.SIGKILL)
            self.process.wait(timeout=10)
        if getattr(self, "log", None):
            self.log.close()

    def program_processes(self):
        """Process ids of every running copy of this program: Wine starts a
        Windows program as a process whose first argument is the .exe."""
        found = []
        for pid in filter(str.isdigit, os.listdir("/proc")):
            try:
                with open("/proc/%s/cmdline" % pid, "rb") as f:
                    first = f.read().split(b"\0")[0].decode(errors="replace")
            except OSError:
                continue
            if first == self.exe:
                found.append(int(pid))
        return found

    def thread_names(self):
        """Name of each of the program's threads, by thread id."""
        names = {}
        task_dir = "/proc/%d/task" % self.process.pid
        for tid in os.listdir(task_dir):
            try:
                with open(os.path.join(task_dir, tid, "comm")) as f:
                    names[int(tid)] = f.read().strip()
            except OSError:
                pass
        return names

    def playback_threads(self):
        """Threads that carry the playback thread's name."""
        return sum(1 for name in self.thread_names().values() if name == PLAYBACK_THREAD_NAME)

    def cpu_seconds_by_thread(self):
        """User plus system CPU time of each of the program's threads."""
        ticks = os.sysconf("SC_CLK_TCK")
        times = {}
        task_dir = "/proc/%d/task" % self.process.pid
        for tid in os.listdir(task_dir):
            try:
                with open(os.path.join(task_dir, tid, "stat")) as f:
                    fields = f.read().rsplit(")", 1)[1].split()
                times[int(tid)] = (int(fields[11]) + int(fields[12])) / ticks
            except OSError:
                pass
        return times

    def request_close(self):
        """Asks the program to close from outside: WM_CLOSE to its windows."""
        subprocess.run([wine_command(), "taskkill", "/im", os.path.basename(self.exe)], env=self.env(),
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=60)

    # -- window

    def _xdotool(self, *args, check=True):
        result = subprocess.run(["xdotool"] + list(args), env=self.display.env(), capture_output=True, text=True)
        if check and result.returncode != 0:
            raise RuntimeError("xdotool %s: %s" % (" ".join(args), result.stderr.strip()))
        return result.stdout.strip()

    def geometry(self):
        """(x, y, width, height) of the window on the screen."""
        values = {}
        for line in self._xdotool("getwindowgeometry", "--shell", self.window).splitlines():
            key, _, value = line.partition("=")
            values[key] = int(value) if value.lstrip("-").isdigit() else value
        return values["X"], values["Y"], values["WIDTH"], values["HEIGHT"]

    def move_pointer(self, x, y):
        """Moves the pointer to client point (x, y)."""
        wx, wy, _, _ = self.geometry()
        self._xdotool("mousemove", "--sync", str(wx + x), str(wy + y))

    def click(self, x, y):
        self.move_pointer(x, y)
        self._xdotool("click", "1")

    def drag_through(self, x, y, screen_points, steps=10):
        """Presses the left button at client (x, y), moves the pointer through
        each screen point in turn, then lets go."""
        self.move_pointer(x, y)
        wx, wy, _, _ = self.geometry()
        here = (wx + x, wy + y)
        self._xdotool("mousedown", "1")
        time.sleep(0.2)
        for point in screen_points:
            for i in range(1, steps + 1):
                self._xdotool("mousemove", str(here[0] + (point[0] - here[0]) * i // steps),
                              str(here[1] + (point[1] - here[1]) * i // steps))
                time.sleep(0.03)
            here = point
        time.sleep(0.2)
        self._xdotool("mouseup", "1")

    def key(self, name, repeat=1, delay_ms=12):
        # The keyboard goes to the focused window: the pointer over it gives it focus.
        self._xdotool("key", "--repeat", str(repeat), "--delay", str(delay_ms), name)

    def keys_in_background(self, name, repeat, delay_ms):
        """Starts pressing a key `repeat` times and answers at once with the
        xdotool process, as a held key's auto-repeat goes on while the test
        looks at the window."""
        return subprocess.Popen(["xdotool", "key", "--repeat", str(repeat), "--delay", str(delay_ms), name],
                                env=self.display.env())

    def clicks(self, x, y, repeat, delay_ms):
        """Clicks client (x, y) `repeat` times, `delay_ms` apart."""
        self.move_pointer(x, y)
        self._xdotool("click", "--repeat", str(repeat), "--delay", str(delay_ms), "1")

    def screenshot(self, path):
        """Saves the whole screen; answers it as a Pillow image."""
        from PIL import Image
        subprocess.run(["/usr/bin/import", "-silent", "-window", "root", "png24:" + path], env=self.display.env(), check=True)
        return Image.open(path).convert("RGB")

    def window_shot(self, path):
        """Saves and answers the window's 256 x 256 pixels (and the screen around it is not kept)."""
        screen = self.screenshot(path + ".screen.png")
        x, y, w, h = self.geometry()
        image = screen.crop((x, y, x + w, y + h))
        image.save(path)
        os.remove(path + ".screen.png")
        return image

    # -- sound

    def segment_paths(self):
        """The capture files in order: ALSA starts a new one, numbered, at
        every opening of the device, so each holds one track's sound."""
        paths = [self.capture_path]
        number = 1
        while os.path.exists("%s.%04d" % (self.capture_path, number)):
            paths.append("%s.%04d" % (self.capture_path, number))
            number += 1
        return [p for p in paths if os.path.exists(p)]

    def captured_bytes(self):
        return sum(os.path.getsize(p) for p in self.segment_paths())

    def segments(self):
        """What each opening of the device played, as 16-bit samples (numpy)."""
        import numpy
        result = []
        for path in self.segment_paths():
            with open(path, "rb") as f:
                data = f.read()
            result.append(numpy.frombuffer(data[:len(data) // 2 * 2], dtype="<i2"))
        return result

    def captured(self):
        """Every sample the program played so far, as 16-bit integers (numpy)."""
        import numpy
        parts = self.segments()
        return numpy.concatenate(parts) if parts else numpy.zeros(0, dtype="<i2")

    def wait_for_sound(self, seconds, timeout=60):
        """Waits until `seconds` of sound have been played."""
        wanted = int(seconds * SAMPLE_RATE) * BYTES_PER_SAMPLE
        wait_for(lambda: self.captured_bytes() >= wanted, timeout, "%.1f s of sound" % seconds)

    def save_wav(self, path):
        write_wav(path, self.captured())


def write_wav(path, samples):
    with wave.open(path, "wb") as out:
        out.setnchannels(1)
        out.setsampwidth(BYTES_PER_SAMPLE)
        out.setframerate(SAMPLE_RATE)
        out.writeframes(samples.astype("<i2").tobytes())


def main():
    parser = argparse.ArgumentParser(description="Runs the musicdisk under Wine on a virtual display and keeps "
                                                 "a screenshot of its window and what it played.")
    parser.add_argument("exe")
    parser.add_argument("--prefix", required=True, help="the Wine prefix (made by scripts/wine_prefix.sh)")
    parser.add_argument("--seconds", type=float, default=15.0, help="how long it plays (default 15)")
    parser.add_argument("--screenshot", required=True, help="PNG of the window, taken at the end")
    parser.add_argument("--wav", required=True, help="WAV of everything it played")
    parser.add_argument("--title", default=WINDOW_TITLE, help="the window's title, the disk's name (default %s)"
                        % WINDOW_TITLE)
    args = parser.parse_args()

    for path in (args.screenshot, args.wav):
        os.makedirs(os.path.dirname(os.path.abspath(path)) or ".", exist_ok=True)
    workdir = os.path.join(os.path.dirname(os.path.abspath(args.wav)), ".musicdisk-run")
    with VirtualDisplay() as display:
        disk = Musicdisk(args.exe, args.prefix, display, workdir, "musicdisk", args.title)
        try:
            disk.start()
            disk.wait_for_window()
            # Over the window, so that it has the keyboard for the final Escape.
            disk.move_pointer(128, 140)
            end = time.monotonic() + args.seconds
            while time.monotonic() < end:
                time.sleep(0.1)
                if not disk.running():
                    break
            disk.window_shot(args.screenshot)
            disk.key("Escape")
            code = disk.wait_exit(30)
            disk.save_wav(args.wav)
        finally:
            disk.stop()
            subprocess.run(["wineserver", "-k"], env=disk.env(), stderr=subprocess.DEVNULL)
    shutil.rmtree(workdir, ignore_errors=True)
    seconds = os.path.getsize(args.wav) / (SAMPLE_RATE * BYTES_PER_SAMPLE)
    print("musicdisk: window %s" % args.screenshot)
    print("musicdisk: sound  %s (%.1f s)" % (args.wav, seconds))
    return code


if __name__ == "__main__":
    sys.exit(main())
