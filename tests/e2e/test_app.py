"""First start and restart, the 16 channels, quit signals, hostile settings files and no display."""
import os, time
from signal import SIGHUP, SIGINT, SIGTERM

import pytest
from harness import (BAR, BAR_EDGE, BAR_H, BUTTON_ON, DIM_BUTTON, DIM_FILL, EDITOR_H, EDITOR_W, TITLE_H, app,
                     filter_state, mismatches, probe, read_filter_state, run, servers, wait_until)

def test_first_start_centres_the_window_over_the_muted_input_bar_and_a_restart_keeps_position_and_dim(app, probe):
    g = app.start().window()
    assert (g["WIDTH"], g["HEIGHT"]) == (EDITOR_W + 2 * app.border, EDITOR_H + BAR_H + TITLE_H + 2 * app.border)
    assert (g["X"], g["Y"]) == (640 - g["WIDTH"] // 2, 400 - g["HEIGHT"] // 2)
    assert app.shows(app.at(2, 2, editor=False), BAR) and app.shows(app.at(2, BAR_H - 1, editor=False), BAR_EDGE)
    assert wait_until(probe.app_connected, 10), "the device should run with 16 inputs and 16 outputs"
    app.move(100, 120)
    app.click(*app.at(*DIM_BUTTON))

    for restart in (True, False):
        assert app.shows(app.at(*DIM_FILL), BUTTON_ON, 45), "Dim shows on"
        assert app.close() == 0, app.stderr()
        s = app.read_settings()
        assert (s["windowX"], s["windowY"], s["shouldMuteInput"], s["audioSetup"] in ("", "DEVICESETUP"),
                read_filter_state(s["filterState"])["dim"]) == ("100", "120", "1", True, 1.0)
        if restart:
            assert (app.start().window()["X"], app.geom["Y"]) == (100, 120)

def test_sixteen_channels_sound_as_expected_and_dim_lowers_them_by_20_db(app, probe):
    app.write_settings(shouldMuteInput=0, filterState=filter_state(gain=-6))
    app.start().window()
    assert app.at(0, 0) == app.at(0, 0, editor=False), "no muted-input bar"
    probe.connect()
    gain = 10 ** (-6 / 20)
    for dimmed in (False, True):
        if dimmed:
            app.click(*app.at(*DIM_BUTTON))
            gain /= 10
        for _ in range(6):  # the click takes effect and the filters settle
            if not (problems := mismatches(probe.capture(), gain)):
                break
        assert problems == [], f"dimmed: {dimmed}"
    assert app.close() == 0

# After the window shows, and during start-up from 20 ms (sooner, the program has not run any code of its own yet).
@pytest.mark.parametrize("signals, after", [
    ((SIGTERM,), None), ((SIGHUP,), None), ((SIGINT, SIGINT), None), ((SIGTERM, SIGTERM), None),
    ((SIGTERM,), 0.02), ((SIGTERM,), 0.05), ((SIGTERM,), 0.15), ((SIGTERM,), 0.25),
], ids=lambda v: "+".join(s.name for s in v) if isinstance(v, tuple) else "window" if v is None else f"{v * 1000:g}ms")
def test_a_quit_signal_quits_normally_and_saves(app, signals, after):
    app.write_settings(filterState=filter_state(gain=-12))
    app.start()
    g = app.window() if after is None else time.sleep(after)
    if g:  # a change the quit must save
        app.click(*app.at(*DIM_BUTTON))
        assert app.shows(app.at(*DIM_FILL), BUTTON_ON, 45)
    for s in signals:
        app.proc.send_signal(s)
        time.sleep(0.01)
    assert app.wait() == 0, app.stderr()
    s = app.read_settings()
    assert read_filter_state(s["filterState"]) == dict(balance=80, dim=1 if g else 0, gain=-12, mute=0)
    if g:
        assert (s["windowX"], s["windowY"]) == (str(g["X"]), str(g["Y"]))
        assert {"audioSetup", "shouldMuteInput"} <= s.keys()

HEADER = '<?xml version="1.0" encoding="UTF-8"?>\n'

@pytest.mark.parametrize("make, kept", [
    (os.mkfifo, None),
    (lambda path: os.symlink("/dev/zero", path), None),
    (HEADER + '<!DOCTYPE PROPERTIES SYSTEM "/dev/zero"><PROPERTIES><VALUE name="x" val="&x;"/></PROPERTIES>', None),
    (HEADER + '<PROPERTIES>\n  <VALUE name="windowX" val="5"/>\n  <VALUE name="shouldMu', "aside"),
    (HEADER + "<PROPERTIES>" + "<a>" * 100000 + "</a>" * 100000 + "</PROPERTIES>\n", "in place"),
], ids=["fifo", "link-to-dev-zero", "external-dtd", "truncated", "deep-in-read-only-folder"])
def test_a_hostile_settings_file_gives_a_window_in_bounded_memory_and_a_clean_exit(app, make, kept, request):
    folder = app.settings_path.parent
    folder.mkdir(parents=True)
    if kept == "in place":  # a tiny tmpfs, filled, then made read-only
        if run("mount", "-t", "tmpfs", "-o", "size=1m,mode=755", "none", folder).returncode != 0:
            pytest.skip("mounting a tmpfs is not permitted here")
        request.addfinalizer(lambda: run("umount", "--lazy", folder))
    make(app.settings_path) if callable(make) else app.settings_path.write_text(make)
    before = app.settings_path.read_bytes() if app.settings_path.is_file() else None
    if kept == "in place":
        assert run("mount", "-o", "remount,ro", folder).returncode == 0
    app.start().window(timeout=5)
    assert app.close() == 0, app.stderr()
    aside = folder / "Tarrowby.settings.unreadable"
    assert kept != "aside" or aside.read_bytes() == before
    assert kept != "in place" or (app.settings_path.read_bytes() == before and not aside.exists())

UNUSED_DISPLAY = next(f":{n}" for n in range(300, 1000)
                      if not os.path.exists(f"/tmp/.X11-unix/X{n}") and not os.path.exists(f"/tmp/.X{n}-lock"))

# Unset, it tries the framework's default ":0.0", which the private display never takes.
@pytest.mark.parametrize("display", [None, UNUSED_DISPLAY, UNUSED_DISPLAY + "\n\x1b[2J"], ids=["unset", "unused", "control-characters"])
def test_without_a_display_it_says_so_on_one_line_and_leaves_the_settings_alone(app, display):
    if display is None and os.path.exists("/tmp/.X11-unix/X0"):
        pytest.skip("a display runs on :0")
    app.write_settings(windowX=100, windowY=120, filterState=filter_state(gain=-12, dim=True))
    before = app.settings_path.read_bytes()
    app.start(DISPLAY=display)
    assert app.wait(timeout=5) == 1
    assert app.stderr().count("\n") == 1 and "display" in app.stderr().lower() and "\x1b" not in app.stderr(), app.stderr()
    assert app.settings_path.read_bytes() == before
