"""Fixtures of the end-to-end tests: one Wine session per run, shared by every test."""

from __future__ import annotations

import re
import subprocess

import pytest

from harness import BuildPaths, E2ESession, HarnessError, screenshot

# The open session, for the failure hook, which gets no fixtures.
_open_sessions: list[E2ESession] = []


@pytest.fixture(scope="session")
def build_paths() -> BuildPaths:
    """The build folder: $HALVARD_BUILD_DIR, else <repo>/build."""
    return BuildPaths.from_env()


@pytest.fixture(scope="session")
def e2e_session(build_paths):
    session = E2ESession(build_paths)
    try:
        session.open()
    except BaseException:
        session.close()
        raise
    _open_sessions.append(session)
    try:
        yield session
    finally:
        _open_sessions.remove(session)
        session.close()


@pytest.fixture
def wine(e2e_session, request):
    """The Wine session. Programs a test started and left running fail the test: nothing
    may be left waiting for a click."""
    session = e2e_session.wine
    before = len(session.processes)
    yield session
    started = session.processes[before:]
    left = [p for p in started if p.running()]
    # A failed test has its report already; its leftovers are only ended.
    already_failed = getattr(request.node, "e2e_failed", False)
    if left and not already_failed:
        _capture(e2e_session, request.node.nodeid + "-left-running")
    for process in started:
        process.kill()
    del session.processes[before:]
    if left and not already_failed:
        pytest.fail("still running at the end of the test, killed: "
                    + "; ".join(p.command_line for p in left), pytrace=False)


@pytest.fixture
def ui(e2e_session, wine):
    """The UI driver of the session."""
    return e2e_session.ui


SMALL_DRIVE_SIZE = 2 * 1024 * 1024


@pytest.fixture
def small_drive(build_paths, wine):
    """A 2 MiB tmpfs seen by Wine as drive R:, a removable drive (the prefix says so)."""
    mount_point = build_paths.work_dir / "small-drive"
    mount_point.mkdir(parents=True, exist_ok=True)
    done = subprocess.run(["mount", "-t", "tmpfs", "-o", f"size={SMALL_DRIVE_SIZE}", "tmpfs", str(mount_point)],
                          capture_output=True)
    if done.returncode != 0:
        pytest.skip("cannot mount a small tmpfs here: " + done.stderr.decode(errors="replace"))
    letter = build_paths.prefix / "dosdevices" / "r:"
    if not letter.is_symlink() or letter.readlink() != mount_point:
        letter.unlink(missing_ok=True)
        letter.symlink_to(mount_point)
    try:
        yield mount_point
    finally:
        subprocess.run(["umount", "-l", str(mount_point)], capture_output=True)


@pytest.fixture(scope="session")
def engine(build_paths):
    """The engine under test: the win32 preset's, or with HALVARD_ENGINE=x64 the win64 one."""
    build_paths.require(build_paths.engine)
    return build_paths.engine


@pytest.fixture(scope="session")
def msgbox_probe(build_paths):
    build_paths.require(build_paths.msgbox_probe)
    return build_paths.msgbox_probe


def _capture(session: E2ESession, name: str) -> str:
    """A screenshot and the list of windows, for the report of a failed test."""
    notes = []
    if session.xvfb and session.xvfb.display:
        path = session.paths.screenshots / (re.sub(r"[^\w.-]+", "_", name) + ".png")
        if screenshot(session.xvfb.display, path):
            notes.append(f"screenshot: {path}")
    try:
        windows = session.ui.windows() if session.ui else []
        notes.append("visible windows:" + "".join(
            f"\n  {w.hwnd}: class {w.cls!r} caption {w.caption!r} pid {w.pid}" for w in windows))
    except HarnessError as error:
        notes.append(f"windows not readable: {error}")
    return "\n".join(notes)


@pytest.hookimpl(hookwrapper=True)
def pytest_runtest_makereport(item, call):
    outcome = yield
    report = outcome.get_result()
    if report.failed:
        item.e2e_failed = True
    if report.failed and report.when == "call" and _open_sessions:
        report.sections.append(("end-to-end screen", _capture(_open_sessions[-1], item.nodeid)))
