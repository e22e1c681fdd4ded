"""scripts/run.sh as a new user runs it, without a display or a JACK server: quit signals save, then end its servers."""
import os, re, secrets, subprocess, time
from pathlib import Path
from signal import SIGINT, SIGTERM

import pytest
from harness import run, wait_until

RUN = Path(__file__).resolve().parents[2] / "scripts" / "run.sh"
APP_PORTS = {f"JUCEJack:{d}_{c}" for d in ("in", "out") for c in range(1, 17)}

def children(pid):
    """The names of the processes whose parent is pid, by pid."""
    return {int(p): name for p, name in (line.split() for line in run("ps", "-o", "pid=,comm=", "--ppid", pid).stdout
                                         .decode().splitlines())}

def start(home):
    """The script as from a terminal, with no display and no JACK server under the default name: it leads its
    process group, SIGINT at its default, and writes to home/out (its server's log to home too)."""
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    env.update(HOME=str(home), TMPDIR=str(home), JACK_DEFAULT_SERVER=f"tarrowby-none-{secrets.token_hex(4)}",
               JACK_NO_START_SERVER="1")
    with open(home / "out", "wb") as f:
        return subprocess.Popen(["env", "--default-signal=INT", RUN], env=env, stdin=subprocess.DEVNULL, stdout=f,
                                stderr=subprocess.STDOUT, start_new_session=True)

def shown(script, home):
    """Waits for the application's window on the display the script started; returns the script's children."""
    out = home / "out"
    assert (display := wait_until(lambda: re.search(r"\(Xvfb\) on (:\d+)\.", out.read_text()), 20)), out.read_text()
    assert wait_until(lambda: script.poll() is not None or subprocess.run(
        ["xdotool", "search", "--onlyvisible", "--name", "^Tarrowby$"], env={**os.environ, "DISPLAY": display[1]},
        capture_output=True).stdout, 20) and script.poll() is None, out.read_text()
    return children(script.pid)

def server_name(started):
    """The name of the JACK server that runs among the processes, or None."""
    for pid, name in started.items():
        args = Path(f"/proc/{pid}/cmdline").read_bytes().decode().split("\0") if name == "jackd" else []
        if "-n" in args:
            return args[args.index("-n") + 1]

def app_ports(server):
    return {p for p in run("jack_lsp", "-s", server).stdout.decode().split() if p.startswith("JUCEJack")}

def end(script, started):
    """Kills what a broken script left: SIGTERM, so that JACK leaves its registry."""
    if script.poll() is None:
        started = started or children(script.pid)
        script.kill()
    for pid in started:
        run("kill", pid)

@pytest.mark.parametrize("signals, group", [((SIGINT, SIGINT), True), ((SIGTERM,), False)],
                         ids=["ctrl-c-twice-to-the-group", "sigterm-to-the-script"])
def test_run_script_quits_the_application_saving_then_stops_the_servers_it_started(tmp_path, signals, group):
    script, started = start(tmp_path), {}
    try:
        started = shown(script, tmp_path)
        jackd = set() if any(Path("/dev/snd").glob("pcmC*")) else {"jackd"}  # none with a sound card
        assert {"Xvfb", "Tarrowby"} | jackd <= set(started.values()), started
        for s in signals:
            os.killpg(script.pid, s) if group else script.send_signal(s)
            time.sleep(0.01)
        assert script.wait(30) == 0, (tmp_path / "out").read_text()
        assert (tmp_path / ".Tarrowby" / "Tarrowby.settings").is_file(), (tmp_path / "out").read_text()
        assert wait_until(lambda: not any(Path(f"/proc/{p}").exists() for p in started), 5), started
    finally:
        end(script, started)

def test_two_runs_at_once_keep_their_own_jack_servers(tmp_path):
    if any(Path("/dev/snd").glob("pcmC*")):
        pytest.skip("a sound card is present: the script starts no JACK server")
    homes = [tmp_path / "first", tmp_path / "second"]
    scripts, started, servers = [], [], []
    try:
        # One user's JACK clients of one name that open at the same moment collide, on any servers (the socket
        # they listen on is named for the client): the second run starts once the first's client is open.
        for home in homes:
            home.mkdir()
            scripts.append(start(home))
            started.append(shown(scripts[-1], home))
            servers.append(server_name(started[-1]))
            assert servers[-1] and servers[-1] not in servers[:-1], (servers, started, (home / "out").read_text())
            assert wait_until(lambda: app_ports(servers[-1]) == APP_PORTS, 10), (servers, app_ports(servers[-1]))
        assert app_ports(servers[0]) == APP_PORTS, app_ports(servers[0])

        scripts[0].send_signal(SIGTERM)
        assert scripts[0].wait(30) == 0, (homes[0] / "out").read_text()
        assert (homes[0] / ".Tarrowby" / "Tarrowby.settings").is_file()
        assert wait_until(lambda: not any(Path(f"/proc/{p}").exists() for p in started[0]), 5), started[0]

        assert scripts[1].poll() is None, (homes[1] / "out").read_text()
        assert set(children(scripts[1].pid).values()) >= {"Xvfb", "jackd", "Tarrowby"}
        assert app_ports(servers[1]) == APP_PORTS
        os.killpg(scripts[1].pid, SIGINT)
        assert scripts[1].wait(30) == 0, (homes[1] / "out").read_text()
        assert (homes[1] / ".Tarrowby" / "Tarrowby.settings").is_file()
        assert wait_until(lambda: not any(Path(f"/proc/{p}").exists() for p in started[1]), 5), started[1]
    finally:
        for script, s in zip(scripts, started + [{}]):
            end(script, s)
