"""First start, the 16 channels against the expected output, and a restart."""
from harness import (BAR, BAR_EDGE, BAR_H, DIM_BUTTON, EDITOR_H, EDITOR_W, TITLE_H, amplitude, app, filter_state,
                     high, mismatches, probe, read_filter_state, servers, wait_until)


def test_first_start_centres_the_window_shows_the_muted_input_bar_and_saves_on_close(app, probe):
    g = app.start().window()
    assert (g["WIDTH"], g["HEIGHT"]) == (EDITOR_W + 2 * app.border, EDITOR_H + BAR_H + TITLE_H + 2 * app.border)
    assert (g["X"], g["Y"]) == (640 - g["WIDTH"] // 2, 400 - g["HEIGHT"] // 2)
    assert app.shows(app.content(2, 2), BAR) and app.shows(app.content(2, BAR_H - 1), BAR_EDGE)
    assert wait_until(probe.app_connected, 10), "the device should run with 16 inputs and 16 outputs"

    assert app.close() == 0, app.stderr()
    s = app.read_settings()
    assert (s["windowX"], s["windowY"], s["shouldMuteInput"]) == (str(g["X"]), str(g["Y"]), "1")
    assert s["audioSetup"] in ("", "DEVICESETUP")
    assert "dim" in read_filter_state(s["filterState"])


def test_sixteen_channels_sound_as_expected_and_dim_lowers_them_by_20_db(app, probe):
    app.write_settings(shouldMuteInput=0, filterState=filter_state(gain=-6))
    app.start().window()
    assert not app.bar_shown()
    probe.connect()

    gain = 10 ** (-6 / 20)
    for dimmed in (False, True):
        if dimmed:
            app.click(*app.editor(*DIM_BUTTON))
            gain /= 10
            assert wait_until(lambda: abs(amplitude(probe.capture(4800)[0], high(0)) / (0.1 * gain) - 1) < 0.01, 5)
        for _ in range(6):  # the filters settle
            if not (problems := mismatches(probe.capture(), gain)):
                break
        assert problems == [], f"dimmed: {dimmed}"
    assert app.close() == 0


def test_a_restart_keeps_the_window_position_and_the_processor_state(app):
    app.start().window()
    app.move(100, 120)
    app.click(*app.editor(*DIM_BUTTON))
    assert app.dim_shows(True)

    for restart in (True, False):
        assert app.close() == 0, app.stderr()
        s = app.read_settings()
        assert (s["windowX"], s["windowY"], read_filter_state(s["filterState"])["dim"]) == ("100", "120", 1.0)
        if restart:
            g = app.start().window()
            assert (g["X"], g["Y"]) == (100, 120)
            assert app.dim_shows(True)
