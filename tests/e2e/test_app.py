"""First start and restart, the controls and the Options menu as heard and seen, quit signals, hostile settings files
and no display."""
import os, subprocess, time
from signal import SIGHUP, SIGINT, SIGTERM

import pytest
from harness import (BAR, BAR_EDGE, BAR_H, BUTTON_ON, CROSSOVER, CROSSOVER_BOX, CUT_BUTTON, DIM_BUTTON, DIM_FILL,
                     EDITOR_H, EDITOR_W, GAIN_BOX, GREEN, LAMP_OFF, LAMPS, METER_1, SIGNAL, TITLE_H, app, filter_state,
                     probe, read_filter_state, read_state, run, servers, switch, wait_until)

# The settings dialog's "Mute audio input" and first output and input pairs; the file dialogs' text box.
MUTE_INPUT, OUTS_1_2, INS_1_2, FILE_BOX = (187, 23), (190, 164), (190, 260), (310, 437)

def at(geom, point):
    return geom["X"] + point[0], geom["Y"] + point[1]

def test_first_start_centres_the_window_over_the_muted_input_bar_and_a_restart_keeps_place_dim_and_devices(app, probe):
    g = app.start().window()
    assert (g["WIDTH"], g["HEIGHT"]) == (EDITOR_W + 2 * app.border, EDITOR_H + BAR_H + TITLE_H + 2 * app.border)
    assert (g["X"], g["Y"]) == (640 - g["WIDTH"] // 2, 400 - g["HEIGHT"] // 2)
    assert app.shows(app.at(2, 2, editor=False), BAR) and app.shows(app.at(2, BAR_H - 1, editor=False), BAR_EDGE)
    assert wait_until(probe.app_connected, 10), "the device should run with 16 inputs and 16 outputs"
    app.move(100, 120)
    app.click(*app.at(*DIM_BUTTON))
    app.click(*app.at(432, 15, editor=False))  # the bar's "Settings..."
    d = app.find("Audio/MIDI Settings")
    app.click(*at(d, OUTS_1_2))
    app.click(*at(d, INS_1_2))
    app.dismiss()
    off = {f"JUCEJack:{kind}_{c}" for kind in ("in", "out") for c in (1, 2)}

    for restart in (True, False):
        assert wait_until(lambda: {p for p, on in probe.app_ports().items() if not on} == off, 5), probe.app_ports()
        assert app.shows(app.at(*DIM_FILL), BUTTON_ON, 45), "Dim shows on"
        assert app.close() == 0, app.stderr()
        s = app.read_settings()
        assert (s["windowX"], s["windowY"], s["shouldMuteInput"], read_filter_state(s["filterState"])["dim"]) \
            == ("100", "120", "1", 1.0)
        assert all(f'audioDevice{k}Chans="{"1" * 14}00"' in s["audioSetup"] for k in ("In", "Out")), s["audioSetup"]
        if restart:
            assert (app.start().window()["X"], app.geom["Y"]) == (100, 120)

def test_the_input_toggle_meters_lamps_each_switch_row_with_its_bypass_and_cut_as_heard_and_seen(app, probe):
    app.start().window()
    probe.connect()
    assert probe.differences(silent=range(16)) == [], "the input is muted at first start"
    app.click(*at(app.choose(0, "Audio/MIDI Settings"), MUTE_INPUT))
    assert wait_until(lambda: app.window()["HEIGHT"] == EDITOR_H + TITLE_H + 2 * app.border, 5), "the bar hides"
    app.dismiss()
    for on, lit, lamp in (1, GREEN, GREEN), (0, 0, LAMP_OFF):  # the tone, then none
        probe.signal = SIGNAL * on
        assert app.shows(app.at(*METER_1), lit) and all(app.shows(app.at(*p), lamp) for p in LAMPS), on
    probe.signal = SIGNAL

    model, others = {}, set(range(16)) - set(range(8, 12))
    for (row, channel), change in [((0, 0), dict(silent={0, 12, 13, 14, 15})), ((0, 16), dict(silent=())),
                                   ((2, 4), dict(managed=range(5, 12))), ((1, 16), dict(silent=others)),
                                   ((1, 0), dict(silent=others - {0})), ((2, 16), dict(managed=()))]:
        app.click(*app.at(*switch(row, channel)))
        model.update(change)
        assert probe.differences(**model) == [], ("row", row, "channel", channel)
    for gain in 1e-6, 1.0:  # Cut latches, and lets go
        app.click(*app.at(*CUT_BUTTON))
        assert probe.differences(gain=gain, **model) == [], gain
    assert app.close() == 0

def test_the_knobs_dim_and_the_options_menu_save_load_and_reset_the_state_as_heard(app, probe):
    app.write_settings(shouldMuteInput=0, filterState=filter_state(gain=-6))
    app.start().window()
    assert app.at(0, 0) == app.at(0, 0, editor=False), "no muted-input bar"
    probe.connect()
    saved = app.home / "saved.state"
    def hear(gain, fc=CROSSOVER, dim=False):
        assert probe.differences(gain=10 ** ((gain - 20 * dim) / 20), fc=fc) == [], (gain, fc, dim)
    def turn(gain, fc):
        app.type(app.at(*GAIN_BOX), gain)
        app.type(app.at(*CROSSOVER_BOX), fc)

    hear(-6)
    app.click(*app.at(*DIM_BUTTON))
    hear(-6, dim=True)
    turn(-19.5, 125)
    hear(-19.5, 125, True)
    app.type(at(app.choose(1, "Save current state"), FILE_BOX), saved, 2)
    assert wait_until(saved.exists, 5) and read_state(saved.read_bytes()) \
        == pytest.approx(dict(balance=125, dim=1, gain=-19.5, mute=0), abs=1e-4)
    app.click(*app.at(*DIM_BUTTON))
    turn(-6, 100)
    hear(-6, 100)
    app.type(at(app.choose(2, "Load a saved state"), FILE_BOX), saved, 2)
    hear(-19.5, 125, True)
    app.choose(3)  # "Reset to default state"
    hear(0)
    assert app.close() == 0
    assert read_filter_state(app.read_settings()["filterState"]) == dict(balance=80, dim=0, gain=0, mute=0)

DIALOGS = {"settings": (0, "Audio/MIDI Settings"), "file": (1, "Save current state")}

# After the window shows, with a dialog open, and during start-up from 20 ms (sooner, the program has not run any
# code of its own yet).
@pytest.mark.parametrize("signals, after", [
    ((SIGTERM,), None), ((SIGHUP,), None), ((SIGINT, SIGINT), None), ((SIGTERM, SIGTERM), None),
    ((SIGTERM,), "settings"), ((SIGTERM,), "file"),
    ((SIGTERM,), 0.02), ((SIGTERM,), 0.05), ((SIGTERM,), 0.15), ((SIGTERM,), 0.25),
], ids=lambda v: "+".join(s.name for s in v) if isinstance(v, tuple) else "window" if v is None else
    v if isinstance(v, str) else f"{v * 1000:g}ms")
def test_a_quit_signal_quits_normally_and_saves(app, signals, after):
    app.write_settings(filterState=filter_state(gain=-12))
    app.start()
    g = app.window() if after is None or after in DIALOGS else time.sleep(after)
    if g:  # a change the quit must save
        app.click(*app.at(*DIM_BUTTON))
        assert app.shows(app.at(*DIM_FILL), BUTTON_ON, 45)
    if after in DIALOGS:
        app.choose(*DIALOGS[after])
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
    (HEADER + '<PROPERTIES>\n  <VALUE name="windowX" val="5"/>\n  <VALUE name="shouldMu', "aside"),
    (HEADER + "<PROPERTIES>" + "<a>" * 100000 + "</a>" * 100000 + "</PROPERTIES>\n", "in place"),
    (HEADER + '<PROPERTIES>\n  <VALUE name="lastStateFile" val="/tmp/x&lt;a&lt;?b.state"/>\n</PROPERTIES>\n', "kept"),
], ids=["fifo", "link-to-dev-zero", "truncated", "deep-in-read-only-folder", "state-file-named-like-xml"])
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
    for _ in range(2 if kept == "kept" else 1):  # what it wrote, it keeps at the next start
        app.start().window(timeout=5)
        assert app.close() == 0, app.stderr()
    aside = folder / "Tarrowby.settings.unreadable"
    assert kept != "aside" or aside.read_bytes() == before
    assert kept != "in place" or (app.settings_path.read_bytes() == before and not aside.exists())
    assert kept != "kept" or (app.read_settings()["lastStateFile"] == "/tmp/x<a<?b.state" and not aside.exists())

def test_a_value_out_of_its_shape_is_dropped_alone_and_the_file_as_it_was_kept_aside(app):
    # As an earlier build saved a state file's name with a control character: the framework wrote it as &#1;.
    app.write_settings(windowX=100, windowY=120, lastStateFile="/tmp/up&#1;.state", filterState=filter_state(gain=-12))
    before = app.settings_path.read_bytes()
    assert (app.start().window()["X"], app.geom["Y"]) == (100, 120)
    assert app.close() == 0, app.stderr()
    assert app.stderr().count("\n") == 1 and '"lastStateFile"' in app.stderr(), app.stderr()
    assert (app.settings_path.parent / "Tarrowby.settings.unreadable").read_bytes() == before
    s = app.read_settings()
    assert "lastStateFile" not in s and read_filter_state(s["filterState"])["gain"] == -12
    assert (s["windowX"], s["windowY"]) == ("100", "120")

UNUSED_DISPLAY = next(f":{n}" for n in range(300, 1000)
                      if not os.path.exists(f"/tmp/.X11-unix/X{n}") and not os.path.exists(f"/tmp/.X{n}-lock"))

# Unset, it opens the framework's default ":0.0", which the private display never takes.
@pytest.mark.parametrize("display", [None, UNUSED_DISPLAY, UNUSED_DISPLAY + "\n\x1b[2J"], ids=["unset", "unused", "control-characters"])
def test_without_a_display_it_says_so_on_one_line_and_leaves_the_settings_alone(app, display):
    app.write_settings(windowX=100, windowY=120, filterState=filter_state(gain=-12, dim=True))
    before = app.settings_path.read_bytes()
    on_0 = lambda *args: subprocess.run([str(a) for a in args], env={**os.environ, "HOME": str(app.home), "DISPLAY": ":0"},
                                        capture_output=True, timeout=10)
    if display is None and on_0("xdotool", "getdisplaygeometry").returncode == 0:
        # A display on :0 that takes a client of this environment: the window opens there, and SIGTERM quits.
        app.start(DISPLAY=None)
        shown = lambda: app.proc.poll() is None and on_0("xdotool", "search", "--onlyvisible", "--pid", app.proc.pid,
                                                         "--name", "^Tarrowby$").stdout
        assert wait_until(shown, 10), f"no window on :0 ({app.proc.poll()}): {app.stderr()}"
        app.proc.send_signal(SIGTERM)
        assert app.wait() == 0, app.stderr()
        return
    app.start(DISPLAY=display)
    assert app.wait(timeout=5) == 1
    assert app.stderr().count("\n") == 1 and "display" in app.stderr().lower() and "\x1b" not in app.stderr(), app.stderr()
    assert app.settings_path.read_bytes() == before
