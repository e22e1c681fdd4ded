"""scripts/run.sh as a new user runs it, without a display or a JACK server: quit signals save, then end its servers."""
import os, re, secrets, subprocess, time
from pathlib import Path
from signal import SIGINT, SIGTERM

import pytest
from harness import run, wait_until

RUN = Path(__file__).resolve().parents[2] / "scripts" / "run.sh"

def children(pid):
    """The names of the processes whose parent is pid, by pid."""
    return {int(p): name for p, name in (line.split() for line in run("ps", "-o", "pid=,comm=", "--ppid", pid).stdout
                                         .decode().splitlines())}

@pytest.mark.parametrize("signals, group", [((SIGINT, SIGINT), True), ((SIGTERM,), False)],
                         ids=["ctrl-c-twice-to-the-group", "sigterm-to-the-script"])
def test_run_script_quits_the_application_saving_then_stops_the_servers_it_started(tmp_path, signals, group):
    assert run("jack_lsp", "-s", "tarrowby").returncode != 0, "a JACK server named tarrowby runs already"
    # No display, and no JACK server under the default name: the script starts both.
    env = {k: v for k, v in os.environ.items() if k != "DISPLAY"}
    env.update(HOME=str(tmp_path), JACK_DEFAULT_SERVER=f"tarrowby-none-{secrets.token_hex(4)}",
               JACK_NO_START_SERVER="1")
    out, started = tmp_path / "out", {}
    # As from a terminal: the script leads its process group, SIGINT at its default.
    with open(out, "wb") as f:
        script = subprocess.Popen(["env", "--default-signal=INT", RUN], env=env, stdin=subprocess.DEVNULL, stdout=f,
                                  stderr=subprocess.STDOUT, start_new_session=True)
    try:
        assert (display := wait_until(lambda: re.search(r"\(Xvfb\) on (:\d+)\.", out.read_text()), 20)), out.read_text()
        assert wait_until(lambda: subprocess.run(["xdotool", "search", "--onlyvisible", "--name", "^Tarrowby$"],
                                                 env={**env, "DISPLAY": display[1]}, capture_output=True).stdout, 20)
        started = children(script.pid)
        jackd = set() if any(Path("/dev/snd").glob("pcmC*")) else {"jackd"}  # none with a sound card
        assert {"Xvfb", "Tarrowby"} | jackd <= set(started.values()), started
        for s in signals:
            os.killpg(script.pid, s) if group else script.send_signal(s)
            time.sleep(0.01)
        assert script.wait(30) == 0, out.read_text()
        assert (tmp_path / ".Tarrowby" / "Tarrowby.settings").is_file(), out.read_text()
        assert wait_until(lambda: not any(Path(f"/proc/{p}").exists() for p in started), 5), started
    finally:
        if script.poll() is None:
            started = started or children(script.pid)
            script.kill()
        for pid in started:  # left by a broken script; SIGTERM, so that JACK leaves its registry
            run("kill", pid)
