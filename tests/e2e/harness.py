"""The release application on a private Xvfb and JACK server, a HOME per case, clicked, seen and heard."""
import os, secrets, select, subprocess, time
import xml.etree.ElementTree as ET

import jack
import numpy as np
import pytest

RATE, CROSSOVER = 48000, 80.0
EDITOR_W, EDITOR_H, BAR_H, TITLE_H = 472, 310, 30, 26
BAR, BAR_EDGE, BUTTON_ON = 0xfafad2, 0xb8860b, 0x87cefa
DIM_BUTTON, DIM_FILL, CUT_BUTTON = (234, 247), (196, 247), (234, 277)
# The editor's text boxes below the knobs, the first meter, the two lamps; the Options menu's colour.
CROSSOVER_BOX, GAIN_BOX, METER_1, LAMPS, MENU = (92, 278), (384, 278), (49, 134), ((424, 120), (424, 134)), 0x323e44
GREEN, LAMP_OFF = 0x008000, 0xbf4040

def switch(row, channel):
    """The editor point of a switch: rows mute, solo and bass (0 to 2), channels 0 to 15 and the row's bypass (16)."""
    return 47 + 23 * channel + 6 * (channel == 16), 20 + 28 * row

def wait_until(condition, timeout, step=0.05):
    end = time.monotonic() + timeout
    while not (result := condition()) and time.monotonic() < end:
        time.sleep(step)
    return result

def run(*args):
    return subprocess.run([str(a) for a in args], capture_output=True, timeout=10)

# A tone of its own on every channel (each repeats every 2400 samples), a low one on the managed 5 to 12.
LOOP, MANAGED, LOW, RING = 2400, range(4, 12), 60.0, 1 << 17
def high(c): return 1000.0 + 200.0 * c
_t = np.arange(LOOP + 4096) / RATE
SIGNAL = np.array([0.1 * np.sin(2 * np.pi * high(c) * _t) + (0.2 * np.sin(2 * np.pi * LOW * _t) if c in MANAGED else 0)
                   for c in range(16)], np.float32)

def crossover(f, fc=CROSSOVER):
    """Gains at f of the crossover's second-order high-pass and low-pass at fc (Q = sqrt 2)."""
    w = (np.tan(np.pi * f / RATE) / np.tan(np.pi * fc / RATE)) ** 2
    return w / np.hypot(1 - w, np.sqrt(w / 2)), 1 / np.hypot(1 - w, np.sqrt(w / 2))

def amplitude(x, f):
    return 2 * abs(x @ np.exp(-2j * np.pi * f * np.arange(len(x)) / RATE)) / len(x)

def mismatches(capture, gain=1.0, silent=range(12, 16), managed=MANAGED, fc=CROSSOVER):
    """How the outputs differ from the model: the managed channels high-passed at fc, channel 4 plus the low-passed
    average of their sum, the silent channels silent, and all at the gain."""
    hp, lp = crossover(LOW, fc)
    bass = 0.2 * hp * lp * len(set(managed) & set(MANAGED)) / max(1, len(managed))
    problems = [f"channel {c + 1} peaks at {np.abs(capture[c]).max():.2g}" for c in silent
                if np.abs(capture[c]).max() > 1e-6]
    for c in sorted(set(range(16)) - set(silent)):
        for f, a in (high(c), 0.1 * (crossover(high(c), fc)[0] if c in managed else 1)), \
                    (LOW, 0.2 * (c in MANAGED) * (hp if c in managed else 1) + (bass if c == 3 else 0)):
            measured, want = amplitude(capture[c], f), gain * a
            if abs(measured - want) > 0.01 * want + 1e-4 * gain:
                problems.append(f"channel {c + 1} at {f} Hz: {measured:.5f}, expected {want:.5f}")
    return problems

# The framework's base64 form ("size.chars", six bits a char, lowest first) of the state bytes.
B64 = ".ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+"

def filter_state(gain=0.0, dim=False):
    params = dict(balance=CROSSOVER, dim=float(dim), gain=gain, mute=0.0)
    xml = "<state>" + "".join(f'<PARAM id="{k}" value="{v}"/>' for k, v in params.items()) \
          + '<uiState width="472" height="310"/></state>'
    data = b"VC2!" + len(xml).to_bytes(4, "little") + xml.encode() + b"\0"
    n = int.from_bytes(data, "little")
    return f"{len(data)}." + "".join(B64[(n >> 6 * i) & 63] for i in range((len(data) * 8 + 5) // 6))

def read_filter_state(text):
    size, chars = text.split(".", 1)
    return read_state(sum(B64.index(ch) << 6 * i for i, ch in enumerate(chars)).to_bytes(int(size), "little"))

def read_state(data):
    assert data[:4] == b"VC2!"
    return {p.get("id"): float(p.get("value")) for p in ET.fromstring(data[8:-1]).iter("PARAM")}

class Probe:
    """A JACK client feeding SIGNAL to the application's inputs and recording its outputs."""

    def __init__(self, server):
        self.client = jack.Client("tarrowby-probe", servername=server, no_start_server=True)
        self.outs = [self.client.outports.register(f"out_{c + 1}") for c in range(16)]
        self.ins = [self.client.inports.register(f"in_{c + 1}") for c in range(16)]
        self.ring, self.written, self.xruns, self.signal = np.zeros((16, RING), np.float32), 0, 0, SIGNAL
        self.client.set_process_callback(self._process)
        self.client.set_xrun_callback(lambda delay: setattr(self, "xruns", self.xruns + 1))
        self.client.activate()

    def _process(self, frames):
        p, w = self.written % LOOP, self.written % RING
        for c in range(16):
            self.outs[c].get_array()[:] = self.signal[c, p:p + frames]
            self.ring[c, w:w + frames] = self.ins[c].get_array()
        self.written += frames

    def app_ports(self):
        """The application's ports by name, each True while connected."""
        return {p.name: bool(self.client.get_all_connections(p)) for p in self.client.get_ports("^JUCEJack:")}

    def app_connected(self):
        """The application's client runs with 16 inputs and 16 outputs, all connected."""
        return len(ports := self.app_ports()) == 32 and all(ports.values())

    def connect(self):
        assert wait_until(self.app_connected, 10), "the application's ports did not come up"
        for c in range(1, 17):
            self.client.connect(f"tarrowby-probe:out_{c}", f"JUCEJack:in_{c}")
            self.client.connect(f"JUCEJack:out_{c}", f"tarrowby-probe:in_{c}")

    def capture(self, frames=RATE // 2):
        """A recording with no xrun in it (a missed cycle would leave a gap)."""
        for _ in range(10):
            start, xruns = self.written, self.xruns
            assert wait_until(lambda: self.written >= start + frames, 5), "the JACK server stopped"
            if self.xruns == xruns:
                return self.ring[:, np.arange(start, start + frames) % RING]
        raise RuntimeError("xruns in every capture")

    def differences(self, **model):
        """The mismatches of the last of a few recordings, or none once one matches (after a poll, filters settle)."""
        for _ in range(8):
            if not (problems := mismatches(self.capture(), **model)):
                break
        return problems

def stop(process, timeout=20):
    """SIGTERM, so that a JACK server leaves the machine's server registry; a kill after the timeout."""
    process.terminate()
    try:
        process.wait(timeout)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait()

@pytest.fixture(scope="session")
def servers():
    """A private X display (1280 x 800) and JACK server (named for this run), the defaults of this process."""
    started, display = [], None
    name = f"tarrowby-e2e-{os.getpid()}-{secrets.token_hex(4)}"
    try:
        # Never :0, which a program without DISPLAY opens; a number taken meanwhile ends Xvfb, and the next is tried.
        for n in (n for n in range(101, 400) if not os.path.exists(f"/tmp/.X{n}-lock")):
            read, write = os.pipe()
            started.append(subprocess.Popen(["Xvfb", f":{n}", "-displayfd", str(write), "-screen", "0", "1280x800x24",
                                             "-nolisten", "tcp", "-noreset"], pass_fds=[write], stderr=subprocess.DEVNULL))
            os.close(write)
            display = select.select([read], [], [], 15)[0] and os.read(read, 32).decode().strip()
            os.close(read)
            if display:
                break
        assert display, "Xvfb did not start"
        os.environ.update(DISPLAY=":" + display, JACK_DEFAULT_SERVER=name, JACK_NO_AUDIO_RESERVATION="1")
        started.append(jackd := subprocess.Popen(["jackd", "-n", name, "--no-realtime", "-d", "dummy", "-r", str(RATE),
                                                  "-p", "512", "-C", "16", "-P", "16"],
                                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL))
        assert wait_until(lambda: jackd.poll() is not None or run("jack_lsp", "-s", name).returncode == 0, 10) \
            and jackd.poll() is None, "jackd did not start"
        yield name
    finally:
        for process in reversed(started):
            stop(process)

@pytest.fixture
def app(servers, tmp_path):
    yield (a := App(tmp_path))
    if a.proc:
        stop(a.proc, 5)

@pytest.fixture
def probe(servers):
    yield (p := Probe(servers))
    p.client.close()

class App:
    """The application with a HOME of its own, one run at a time, and its main window."""

    def __init__(self, home):
        self.home, self.proc, self.geom = home, None, None
        self.settings_path = home / ".Tarrowby" / "Tarrowby.settings"

    def start(self, **env):
        """Starts the application; an environment value of None unsets that variable."""
        env = {k: v for k, v in {**os.environ, "HOME": str(self.home), **env}.items() if v is not None}
        with open(self.home / "stderr", "wb") as err:
            self.proc = subprocess.Popen([os.environ["TARROWBY_APP"]], env=env, stdin=subprocess.DEVNULL,
                                         stdout=subprocess.DEVNULL, stderr=err)
        return self

    def stderr(self):
        return (self.home / "stderr").read_text(errors="replace")

    def memory_mb(self):
        return int(open(f"/proc/{self.proc.pid}/status").read().split("VmHWM:")[1].split()[0]) / 1024

    def find(self, title, timeout=10):
        """Waits for a window of the title, while the application runs in under 500 MB, and returns its geometry."""
        def found():
            assert self.proc.poll() is None, f"the application ended ({self.proc.returncode}): {self.stderr()}"
            assert self.memory_mb() < 500, f"the application took {self.memory_mb():.0f} MB"
            ids = run("xdotool", "search", "--onlyvisible", "--name", f"^{title}$").stdout.decode().split()
            out = ids and run("xdotool", "getwindowgeometry", "--shell", ids[0]).stdout.decode()
            return out and {k: int(v) for k, v in (line.split("=") for line in out.split())}
        assert (geom := wait_until(found, timeout)), f"no window {title} within {timeout} s: {self.stderr()}"
        return geom

    def dismiss(self):
        """Closes the dialog in front with Escape, and waits until the main window is the only one shown."""
        run("xdotool", "key", "Escape")
        titles = lambda: run("xdotool", "search", "--onlyvisible", "--name", ".", "getwindowname", "%@").stdout.split()
        assert wait_until(lambda: titles() == [b"Tarrowby"], 5), titles()

    def window(self, timeout=10):
        """Waits for the main window and returns its geometry."""
        self.geom = self.find("Tarrowby", timeout)
        self.border = (self.geom["WIDTH"] - EDITOR_W) // 2
        return self.geom

    def choose(self, item, title=None):
        """Clicks an item (0 to 3) of the Options menu; returns the geometry of the window of the title."""
        x, y = self.geom["X"] + 38, self.geom["Y"] + 15
        self.click(x, y)
        assert self.shows((x + 190, y + 60), MENU), "the Options menu did not open"
        time.sleep(0.3)  # a menu takes no click in its first 250 ms
        self.click(x + 60, y + (11, 43, 65, 97)[item])
        return title and self.find(title, 5)

    def type(self, point, text, returns=1):
        """Types into the text box at the point; the file dialogs take a path with one Return, then the file."""
        self.click(*point)
        run("xdotool", "key", "ctrl+a")
        run("xdotool", "type", "--", text)
        run("xdotool", "key", *["Return"] * returns)

    def move(self, x, y):
        run("xdotool", "windowmove", self.geom["WINDOW"], x, y)
        assert wait_until(lambda: (self.window()["X"], self.geom["Y"]) == (x, y), 5)

    def at(self, x, y, editor=True):
        """The screen point of a point in the editor (below the bar, when shown) or in the whole content."""
        bar = BAR_H if editor and self.geom["HEIGHT"] > EDITOR_H + TITLE_H + 2 * self.border else 0
        return self.geom["X"] + self.border + x, self.geom["Y"] + self.border + TITLE_H + bar + y

    def click(self, x, y):
        run("xdotool", "mousemove", x, y, "click", "1")

    def shows(self, point, colour, tolerance=10):
        """Waits until the screen pixel at the point, with the mouse away, is within the tolerance of the colour."""
        run("xdotool", "mousemove", 700, 700)
        def matches():
            rgb = run("import", "-window", "root", "-crop", "1x1+%d+%d" % point, "-depth", "8", "rgb:-").stdout
            return len(rgb) == 3 and all(abs(a - b) <= tolerance for a, b in zip(rgb, colour.to_bytes(3, "big")))
        return wait_until(matches, 10)

    def wait(self, timeout=10):
        """The exit status, or None (and the application killed) when it did not end in time."""
        try:
            return self.proc and self.proc.wait(timeout)
        except subprocess.TimeoutExpired:
            self.proc.kill()
            self.proc.wait()

    def close(self):
        for _ in range(8):  # a click can come before the window takes them
            self.click(self.geom["X"] + self.geom["WIDTH"] - self.border - 16, self.geom["Y"] + self.border + 13)
            if wait_until(lambda: self.proc.poll() is not None, 1.5):
                break
        return self.wait()

    def write_settings(self, **values):
        items = "".join(f'  <VALUE name="{k}" val="{v}"/>\n' for k, v in values.items())
        self.settings_path.parent.mkdir(parents=True, exist_ok=True)
        self.settings_path.write_text(f'<?xml version="1.0" encoding="UTF-8"?>\n\n<PROPERTIES>\n{items}</PROPERTIES>\n')

    def read_settings(self):
        """The values by name (an XML value as its text)."""
        return {v.get("name"): v.get("val", ET.tostring(v[0], "unicode") if len(v) else "")
                for v in ET.parse(self.settings_path).getroot().iter("VALUE")}
