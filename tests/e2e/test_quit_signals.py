"""Quit signals, after the window shows and during start-up (from 20 ms: sooner, the program
has not run any code of its own yet): a normal quit that saves."""
import time
from signal import SIGHUP, SIGINT, SIGTERM

import pytest
from harness import app, filter_state, read_filter_state, servers


@pytest.mark.parametrize("signals, after", [
    ((SIGTERM,), None), ((SIGHUP,), None), ((SIGINT, SIGINT), None), ((SIGTERM, SIGTERM), None),
    ((SIGTERM,), 0.02), ((SIGTERM,), 0.05), ((SIGTERM,), 0.15), ((SIGTERM,), 0.25),
], ids=lambda v: "+".join(s.name for s in v) if isinstance(v, tuple) else "window" if v is None else f"{v * 1000:g}ms")
def test_a_quit_signal_quits_normally_and_saves(app, signals, after):
    app.write_settings(filterState=filter_state(gain=-12, dim=True))
    app.start()
    g = app.window() if after is None else time.sleep(after)
    for s in signals:
        app.proc.send_signal(s)
        time.sleep(0.01)
    assert app.wait() == 0, app.stderr()

    s = app.read_settings()
    state = read_filter_state(s["filterState"])
    assert (state["gain"], state["dim"]) == (-12, 1)
    if g:
        assert (s.get("windowX"), s.get("windowY")) == (str(g["X"]), str(g["Y"]))
        assert {"audioSetup", "shouldMuteInput"} <= s.keys()
