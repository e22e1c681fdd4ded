"""Settings files a hostile user or an unlucky machine leaves, and no display at all."""
import os
from contextlib import contextmanager, nullcontext

import pytest
from harness import app, filter_state, run, servers

HEADER = '<?xml version="1.0" encoding="UTF-8"?>\n'
EXTERNAL_DTD = (HEADER + '<!DOCTYPE PROPERTIES SYSTEM "/dev/zero">\n'
                '<PROPERTIES><VALUE name="windowX" val="&x;"/></PROPERTIES>\n').ljust(200)
TRUNCATED = HEADER + '<PROPERTIES>\n  <VALUE name="windowX" val="5"/>\n  <VALUE name="shouldMu'
DEEP = HEADER + "<PROPERTIES>" + "<a>" * 100000 + "</a>" * 100000 + "</PROPERTIES>\n"


@contextmanager
def read_only(folder):
    """The folder as a tiny file system, filled inside the block and then made read-only."""
    if run("mount", "-t", "tmpfs", "-o", "size=1m,mode=755", "none", folder).returncode != 0:
        pytest.skip("mounting a tmpfs is not permitted here")
    try:
        yield
    finally:
        run("umount", "--lazy", folder)


@pytest.mark.parametrize("make, kept", [
    (os.mkfifo, None),
    (lambda path: os.symlink("/dev/zero", path), None),
    (lambda path: path.write_text(EXTERNAL_DTD), None),
    (lambda path: path.write_text(TRUNCATED), "aside"),
    (lambda path: path.write_text(DEEP), "in place"),
], ids=["fifo", "link-to-dev-zero", "external-dtd", "truncated", "deep-in-read-only-folder"])
def test_a_hostile_settings_file_gives_a_window_in_bounded_memory_and_a_clean_exit(app, make, kept):
    folder = app.settings_path.parent
    folder.mkdir(parents=True)
    with read_only(folder) if kept == "in place" else nullcontext():
        make(app.settings_path)
        before = app.settings_path.read_bytes() if app.settings_path.is_file() else None
        if kept == "in place":
            assert run("mount", "-o", "remount,ro", folder).returncode == 0
        app.start().window(timeout=5)
        assert app.memory_mb("VmHWM") < 500
        assert app.close() == 0, app.stderr()
        aside = folder / "Tarrowby.settings.unreadable"
        if kept == "aside":
            assert aside.read_bytes() == before
        if kept == "in place":
            assert app.settings_path.read_bytes() == before and not aside.exists()


def unused_display():
    return next(f":{n}" for n in range(300, 1000) if not os.path.exists(f"/tmp/.X11-unix/X{n}")
                and not os.path.exists(f"/tmp/.X{n}-lock"))


@pytest.mark.parametrize("display", [None, unused_display()], ids=["unset", "unused"])
def test_without_a_display_it_says_so_and_leaves_the_settings_alone(app, display):
    app.write_settings(windowX=100, windowY=120, filterState=filter_state(gain=-12, dim=True))
    before = app.settings_path.read_bytes()
    app.start(DISPLAY=display)
    assert app.wait(timeout=5) not in (0, None)
    lines = app.stderr().strip().splitlines()
    assert len(lines) == 1 and "display" in lines[0].lower(), app.stderr()
    assert app.settings_path.read_bytes() == before
