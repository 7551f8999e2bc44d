"""Runs Windows programs under Wine and reads their windows as a user sees them.

One test session owns: a private Wine prefix made afresh under the build folder, its own
wineserver, a private Xvfb display and one UI driver process. Every call into Wine has a
time-out; whatever the session started is ended by pid when it closes, also after
failures. See README.md for the API.
"""

from __future__ import annotations

import dataclasses
import fcntl
import json
import os
import queue
import select
import shutil
import signal
import subprocess
import threading
import time
from pathlib import Path
from typing import Iterable, Union

REPO = Path(__file__).resolve().parents[2]

IDOK, IDCANCEL, IDABORT, IDRETRY, IDIGNORE, IDYES, IDNO = 1, 2, 3, 4, 5, 6, 7
MESSAGE_BOX_CLASS = "#32770"
MESSAGE_BOX_TEXT_ID = 0xFFFF

# A crashing program must end, not wait in Wine's crash dialog for a click. One virtual
# desktop holds every window, as on Windows: with no window manager, Wine would wait two
# seconds for each closed window to be withdrawn.
# A prefix made where Wine runs only 64-bit programs lacks the 32-bit view's Uninstall
# key, which every 64-bit Windows has.
SCREEN_SIZE = "1024x768"
PREFIX_SETTINGS = f"""REGEDIT4

[HKEY_CURRENT_USER\\Software\\Wine\\WineDbg]
"ShowCrashDialog"=dword:00000000

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer]
"Desktop"="Default"

[HKEY_CURRENT_USER\\Software\\Wine\\Explorer\\Desktops]
"Default"="{SCREEN_SIZE}"

[HKEY_LOCAL_MACHINE\\Software\\Wow6432Node\\Microsoft\\Windows\\CurrentVersion\\Uninstall]

[HKEY_LOCAL_MACHINE\\Software\\Wine\\Drives]
"r:"="floppy"
"""
DEFAULT_TIMEOUT = 60.0
PREFIX_TIMEOUT = 300.0
TOOL_TIMEOUT = 120.0
# What a driver command may take beyond its own wait before the driver counts as hung.
DRIVER_GRACE = 20.0


class HarnessError(Exception):
    """The harness could not do what was asked (Wine, Xvfb or the driver failed)."""


class WineTimeout(HarnessError):
    """A Windows program outlived its time-out; it has been killed."""


class UiError(HarnessError):
    """The driver refused a command: window gone, control missing or disabled, ..."""


class WindowNotFound(UiError):
    """No window matched before the time-out; the message lists what was there."""


# ---- paths ----


# The two engines: the build folder of each, and its file name.
ENGINES = {
    "x86": ("win32", "halvard-engine.exe"),
    "x64": ("win64", "halvard-engine-x64.exe"),
}
# Wine's 64-bit loader, called directly: the `wine` wrapper starts the 32-bit loader
# whenever it is installed, and some hosts cannot run it at all.
WINE64_LOADER = "/usr/lib/wine/wine64" if os.access("/usr/lib/wine/wine64", os.X_OK) else "wine64"


@dataclasses.dataclass(frozen=True)
class BuildPaths:
    build_dir: Path
    # Which engine, and with it every Windows helper program, the tests run: "x86" or "x64".
    arch: str = "x86"

    @property
    def windows_dir(self) -> Path:
        """The build folder of the Windows side of this engine (win32 or win64)."""
        return self.build_dir / ENGINES[self.arch][0]

    @property
    def engine(self) -> Path:
        return self.windows_dir / "src" / ENGINES[self.arch][1]

    @property
    def wine_loader(self) -> str:
        """Wine's loader for this engine's programs."""
        return WINE64_LOADER if self.arch == "x64" else "wine"

    @property
    def uidriver_dir(self) -> Path:
        return self.windows_dir / "tests" / "e2e" / "uidriver"

    @property
    def uidriver(self) -> Path:
        return self.uidriver_dir / "uidriver.exe"

    @property
    def msgbox_probe(self) -> Path:
        return self.uidriver_dir / "msgbox_probe.exe"

    @property
    def test_window(self) -> Path:
        """A top-level window for closing tests (tests/win/helpers/test_window.cpp)."""
        return self.windows_dir / "tests" / "win" / "test_window.exe"

    @property
    def work_dir(self) -> Path:
        """Everything this harness writes: prefix, logs, screenshots."""
        return self.build_dir / ("e2e" if self.arch == "x86" else "e2e-" + self.arch)

    @property
    def prefix(self) -> Path:
        return self.work_dir / "prefix"

    @property
    def screenshots(self) -> Path:
        return self.work_dir / "screenshots"

    @classmethod
    def from_env(cls) -> "BuildPaths":
        arch = os.environ.get("HALVARD_ENGINE", "x86")
        if arch not in ENGINES:
            raise HarnessError(f"HALVARD_ENGINE={arch!r}: the engines are " + ", ".join(ENGINES))
        return cls(Path(os.environ.get("HALVARD_BUILD_DIR", REPO / "build")).resolve(), arch)

    def require(self, *files: Path) -> None:
        missing = [str(f) for f in files if not f.is_file()]
        if missing:
            raise HarnessError(
                "missing " + ", ".join(missing) + ": build the Windows side first "
                f"(cmake --preset {self.windows_dir.name} && cmake --build --preset {self.windows_dir.name})")


def windows_path(path: Union[str, Path]) -> str:
    """The Windows name of a Unix path, through Wine's Z: drive (the whole Unix tree)."""
    return "Z:" + str(Path(path).resolve()).replace("/", "\\")


def command_line(exe: Union[str, Path], args: str = "") -> str:
    """The command-line text Windows Explorer would build: quoted program, then args."""
    program = exe if isinstance(exe, str) and ":" in exe else windows_path(exe)
    return f'"{program}"' + (" " + args if args else "")


# ---- processes ----


def _kill(process: subprocess.Popen, grace: float = 5.0) -> None:
    """Ends a process by pid: SIGTERM, then SIGKILL after `grace` seconds."""
    if process.poll() is not None:
        return
    try:
        process.terminate()
        process.wait(grace)
    except subprocess.TimeoutExpired:
        process.kill()
        process.wait(grace)
    except ProcessLookupError:
        pass


def _stop_stale(pid_file: Path, names: Iterable[str]) -> None:
    """Kills what a previous, killed session left running, if the pid is still that."""
    if not pid_file.exists():
        return
    try:
        pids = json.loads(pid_file.read_text())
    except (OSError, ValueError):
        pids = {}
    for name in names:
        pid = pids.get(name)
        if not isinstance(pid, int):
            continue
        try:
            cmd = Path(f"/proc/{pid}/cmdline").read_bytes().split(b"\0")[0]
        except OSError:
            continue
        if name.encode() in cmd.lower():
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
    pid_file.unlink(missing_ok=True)


class Xvfb:
    """A private X display; Xvfb picks a free number and reports it when it is ready."""

    def __init__(self, log_path: Path):
        self.log_path = log_path
        self.process: subprocess.Popen | None = None
        self.display = ""

    def start(self, timeout: float = 30.0) -> None:
        read_end, write_end = os.pipe()
        with open(self.log_path, "wb") as log:
            self.process = subprocess.Popen(
                ["Xvfb", "-displayfd", str(write_end), "-screen", "0", SCREEN_SIZE + "x24",
                 "-nolisten", "tcp", "-noreset"],
                pass_fds=(write_end,), stdin=subprocess.DEVNULL, stdout=log,
                stderr=subprocess.STDOUT, start_new_session=True)
        os.close(write_end)
        number = b""
        deadline = time.monotonic() + timeout
        try:
            while not number.endswith(b"\n"):
                left = deadline - time.monotonic()
                ready, _, _ = select.select([read_end], [], [], max(left, 0))
                chunk = os.read(read_end, 16) if ready else b""
                if not chunk:
                    self.stop()
                    raise HarnessError(f"Xvfb did not start; see {self.log_path}")
                number += chunk
        finally:
            os.close(read_end)
        self.display = ":" + number.decode().strip()

    def stop(self) -> None:
        if self.process:
            _kill(self.process)


def _read_lines(stream, sink: queue.Queue) -> None:
    for raw in iter(stream.readline, b""):
        sink.put(raw.decode("utf-8", "replace").rstrip("\r\n"))
    sink.put(None)


class WineProcess:
    """A Windows program started with an exact command line; Popen-like.

    `returncode` is the program's 32-bit exit code once it has ended. `win_pid` is its
    Windows process id, which window searches take as `pid=`.
    """

    def __init__(self, session: "WineSession", cmdline: str, timeout: float,
                 cwd: Union[str, Path, None]):
        self.session = session
        self.command_line = cmdline
        self.timeout = timeout
        self.returncode: int | None = None
        self.timed_out = False
        self._win_pid: int | None = None
        self._events: queue.Queue = queue.Queue()
        self._deadline = time.monotonic() + timeout
        hex_text = cmdline.encode("utf-16-le").hex()
        # The driver's own time-out ends the program from inside; ours, a little later,
        # ends the launcher, and with it its job.
        self.popen = subprocess.Popen(
            [session.paths.wine_loader, str(session.paths.uidriver), "launch", str(int(timeout * 1000)), hex_text],
            env=session.env, cwd=str(cwd) if cwd else None, stdin=subprocess.DEVNULL,
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, start_new_session=True)
        self._stderr: list[str] = []
        threading.Thread(target=_read_lines, args=(self.popen.stdout, self._events),
                         daemon=True).start()
        threading.Thread(target=self._collect_stderr, daemon=True).start()

    def _collect_stderr(self) -> None:
        for raw in iter(self.popen.stderr.readline, b""):
            self._stderr.append(raw.decode("utf-8", "replace").rstrip())

    @property
    def stderr(self) -> str:
        """What Wine itself printed (the program is a GUI program and prints nothing)."""
        return "\n".join(self._stderr)

    def _next_event(self, timeout: float) -> dict | None:
        try:
            line = self._events.get(timeout=max(timeout, 0))
        except queue.Empty:
            raise TimeoutError from None
        if line is None:
            self._events.put(None)  # keep the end mark for later readers
            return None
        try:
            return json.loads(line)
        except ValueError:
            return {"event": "noise", "text": line}

    def _handle(self, event: dict) -> None:
        kind = event.get("event")
        if kind == "started":
            self._win_pid = int(event["pid"])
        elif kind == "exited":
            self.returncode = int(event["code"])
        elif kind == "timeout":
            self.timed_out = True
        elif kind == "error":
            raise HarnessError(f"cannot start {self.command_line}: {event.get('error')}")

    @property
    def win_pid(self) -> int:
        while self._win_pid is None:
            event = self._next_event(DEFAULT_TIMEOUT)
            if event is None:
                raise HarnessError(f"{self.command_line} did not start: {self.stderr}")
            self._handle(event)
        return self._win_pid

    def poll(self) -> int | None:
        """The exit code once the program has ended, else None (also after a time-out)."""
        if self.popen.poll() is not None:
            self._settle(5)
        return self.returncode

    def running(self) -> bool:
        return self.popen.poll() is None

    def _settle(self, timeout: float) -> bool:
        """Reads the launcher's report up to its last word; false when time ran out.
        Only the report is awaited, not the end of the pipe, which a program started by
        the program may hold open."""
        deadline = time.monotonic() + timeout
        while self.returncode is None and not self.timed_out:
            try:
                event = self._next_event(deadline - time.monotonic())
            except TimeoutError:
                return False
            if event is None:
                break
            self._handle(event)
        return True

    def wait(self, timeout: float | None = None) -> int:
        """The exit code. Raises WineTimeout, after killing the program, when it is still
        running after `timeout` seconds (default: what is left of its own time-out)."""
        left = timeout if timeout is not None else self._deadline + 10 - time.monotonic()
        if not self._settle(left):
            self.kill()
            raise WineTimeout(f"still running after {self._waited(timeout)}, killed: "
                              f"{self.command_line}")
        try:
            self.popen.wait(10)
        except subprocess.TimeoutExpired:
            self.kill()
        if self.timed_out:
            raise WineTimeout(f"still running after its time-out of {self.timeout:g} s, "
                              f"killed: {self.command_line}")
        if self.returncode is None:
            raise HarnessError(f"the launcher ended without an exit code "
                               f"({self.popen.returncode}) for {self.command_line}: {self.stderr}")
        return self.returncode

    def _waited(self, timeout: float | None) -> str:
        return f"{timeout:g} s" if timeout is not None else f"its time-out of {self.timeout:g} s"

    def kill(self) -> None:
        """Ends the program and everything it started (the launcher's job dies with it)."""
        if self.popen.poll() is None:
            self.popen.kill()
            try:
                self.popen.wait(10)
            except subprocess.TimeoutExpired:
                pass


class WineSession:
    """Wine in a private prefix with its own wineserver; see README.md."""

    def __init__(self, paths: BuildPaths, display: str):
        self.paths = paths
        self.env = wine_env(paths.prefix, display)
        self.server: subprocess.Popen | None = None
        self.processes: list[WineProcess] = []

    # -- prefix and server --

    def create_prefix(self) -> None:
        prefix = self.paths.prefix
        marker = prefix / ".halvard-ready-2"
        if os.environ.get("HALVARD_E2E_REUSE_PREFIX") == "1" and marker.exists():
            return
        self.tool(["wineserver", "-k"], timeout=30, check=False)
        shutil.rmtree(prefix, ignore_errors=True)
        prefix.parent.mkdir(parents=True, exist_ok=True)
        # No display while the prefix is made: nothing may ask a question.
        quiet = dict(self.env, DISPLAY="")
        self.tool(["wineboot", "--init"], timeout=PREFIX_TIMEOUT, env=quiet)
        # Wine links the user's Desktop, Documents and the like to the Unix home folder;
        # a test that writes there, or an uninstaller that went wrong, must reach only
        # the prefix.
        for link in (prefix / "drive_c" / "users").glob("*/*"):
            if link.is_symlink():
                link.unlink()
                link.mkdir()
        # Drive R: (the small_drive fixture mounts a tmpfs there) is there from the start,
        # so that Wine's mount manager gives it the removable type the settings name.
        small_drive = self.paths.work_dir / "small-drive"
        small_drive.mkdir(parents=True, exist_ok=True)
        (prefix / "dosdevices" / "r:").unlink(missing_ok=True)
        (prefix / "dosdevices" / "r:").symlink_to(small_drive)
        settings = self.paths.work_dir / "prefix-settings.reg"
        settings.write_text(PREFIX_SETTINGS, encoding="ascii")
        self.tool(["wine", "regedit", "/S", windows_path(settings)], timeout=TOOL_TIMEOUT, env=quiet)
        self.tool(["wineserver", "-w"], timeout=TOOL_TIMEOUT, env=quiet)
        marker.touch()

    def start_server(self) -> None:
        # In the foreground, so that its pid is ours to end.
        self.server = subprocess.Popen(["wineserver", "-f", "-p"], env=self.env,
                                       stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                       stderr=subprocess.DEVNULL, start_new_session=True)

    def check_server(self) -> None:
        if self.server and self.server.poll() is not None:
            raise HarnessError("another wineserver already serves " + str(self.paths.prefix))

    def stop(self) -> None:
        for process in self.processes:
            process.kill()
        self.tool(["wineserver", "-k"], timeout=30, check=False)
        if self.server:
            try:
                self.server.wait(10)
            except subprocess.TimeoutExpired:
                _kill(self.server)

    # -- running programs --

    def start(self, exe: Union[str, Path], args: str = "", *, cmdline: str | None = None,
              timeout: float = DEFAULT_TIMEOUT, cwd: Union[str, Path, None] = None) -> WineProcess:
        """Starts `exe` with the command-line text `"<exe>" <args>`, byte for byte, or
        with `cmdline` as the whole command line. The program is killed after `timeout`."""
        text = cmdline if cmdline is not None else command_line(exe, args)
        process = WineProcess(self, text, timeout, cwd)
        self.processes.append(process)
        return process

    def run(self, exe: Union[str, Path], args: str = "", *, cmdline: str | None = None,
            timeout: float = DEFAULT_TIMEOUT, cwd: Union[str, Path, None] = None) -> int:
        """Starts and waits: the exit code, or WineTimeout after killing the program."""
        return self.start(exe, args, cmdline=cmdline, timeout=timeout, cwd=cwd).wait()

    def tool(self, argv: list[str], *, timeout: float = TOOL_TIMEOUT, check: bool = True,
             env: dict | None = None) -> subprocess.CompletedProcess:
        """Runs a Wine command line tool (`wine reg query ...`, `wineboot -r`,
        `wineserver -k`) in this prefix with a time-out; output as text. Wine's own tools
        run through its 64-bit loader, which works on every host; `reg` reads and writes
        the 32-bit registry view, as a 32-bit program does, unless a `/reg:` option says
        otherwise."""
        argv = wine_tool_command(argv)
        try:
            done = subprocess.run(argv, env=env or self.env, stdin=subprocess.DEVNULL,
                                  capture_output=True, timeout=timeout, start_new_session=True)
        except subprocess.TimeoutExpired:
            raise WineTimeout(f"{' '.join(argv)} still running after {timeout:g} s, killed") from None
        result = subprocess.CompletedProcess(
            argv, done.returncode, done.stdout.decode("utf-8", "replace"),
            done.stderr.decode("utf-8", "replace"))
        if check and done.returncode != 0:
            raise HarnessError(f"{' '.join(argv)} failed ({done.returncode}): {result.stderr.strip()}")
        return result


def wine_tool_command(argv: list[str]) -> list[str]:
    if argv[:1] == ["wineboot"]:
        argv = ["wine"] + argv
    if argv[:1] != ["wine"]:
        return argv
    argv = [WINE64_LOADER] + argv[1:]
    if argv[1:2] == ["reg"] and not any(a.lower().startswith("/reg:") for a in argv):
        argv.append("/reg:32")
    return argv


def wine_env(prefix: Path, display: str) -> dict:
    env = dict(os.environ)
    for name in list(env):
        if name.startswith("LC_") or name in ("WAYLAND_DISPLAY", "WINESERVER", "WINELOADER"):
            del env[name]
    env.update(
        WINEPREFIX=str(prefix),
        WINEDEBUG="-all",
        WINEARCH="win64",
        # No Mono or Gecko installer questions; no menu entries on the host for shortcuts.
        WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d",
        DISPLAY=display,
        # Texts, code page and local times the same on every machine.
        LANG="C.UTF-8",
        TZ="UTC",
    )
    return env


# ---- the UI driver ----


@dataclasses.dataclass(frozen=True)
class Window:
    hwnd: int
    cls: str
    caption: str
    pid: int
    visible: bool

    def __int__(self) -> int:
        return self.hwnd


@dataclasses.dataclass(frozen=True)
class Control:
    hwnd: int
    id: int
    cls: str
    text: str
    visible: bool
    enabled: bool


@dataclasses.dataclass(frozen=True)
class MessageBox:
    hwnd: int
    caption: str
    text: str
    buttons: dict[int, str]  # id -> label, as shown

    def __int__(self) -> int:
        return self.hwnd


@dataclasses.dataclass(frozen=True)
class Answered:
    caption: str
    text: str
    buttons: dict[int, str]
    exit_code: int


HwndLike = Union[int, Window, MessageBox]
PidLike = Union[int, WineProcess, None]


def _escape(field: str) -> str:
    return (field.replace("\\", "\\\\").replace("\t", "\\t").replace("\n", "\\n")
            .replace("\r", "\\r"))


def _window(data: dict) -> Window:
    return Window(int(data["hwnd"]), data["class"], data["caption"], int(data["pid"]),
                  bool(data["visible"]))


def _pid(pid: PidLike) -> int | None:
    return pid.win_pid if isinstance(pid, WineProcess) else pid


class UiDriver:
    """One long-lived driver process under Wine; commands over its stdin, JSON lines back."""

    def __init__(self, session: WineSession):
        self.session = session
        self.process: subprocess.Popen | None = None
        self._lines: queue.Queue = queue.Queue()
        self._lock = threading.Lock()

    def start(self) -> None:
        log = open(self.session.paths.work_dir / "uidriver.log", "ab")
        self.process = subprocess.Popen(
            [self.session.paths.wine_loader, str(self.session.paths.uidriver), "serve"], env=self.session.env,
            stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=log, start_new_session=True)
        log.close()
        self._lines = queue.Queue()
        threading.Thread(target=_read_lines, args=(self.process.stdout, self._lines),
                         daemon=True).start()
        ready = self._answer(DEFAULT_TIMEOUT)
        if not ready.get("ready"):
            raise HarnessError(f"the UI driver did not start: {ready}")

    def stop(self) -> None:
        if not self.process:
            return
        try:
            self.process.stdin.write(b"quit\n")
            self.process.stdin.close()
            self.process.wait(5)
        except (OSError, subprocess.TimeoutExpired):
            pass
        _kill(self.process)
        self.process = None

    def _answer(self, timeout: float) -> dict:
        while True:
            try:
                line = self._lines.get(timeout=timeout)
            except queue.Empty:
                self.stop()
                raise UiError(f"the UI driver did not answer within {timeout:g} s") from None
            if line is None:
                self.stop()
                raise UiError("the UI driver ended unexpectedly")
            if line.startswith("{"):
                return json.loads(line)

    def call(self, command: str, wait: float = 0.0, **fields) -> dict:
        """Sends one command; returns the driver's answer, `ok` true or false."""
        with self._lock:
            if self.process is None or self.process.poll() is not None:
                self.start()
            parts = [command] + [f"{key}={value}" for key, value in fields.items()
                                 if value is not None]
            line = "\t".join(_escape(str(part)) for part in parts) + "\n"
            try:
                self.process.stdin.write(line.encode("utf-8"))
                self.process.stdin.flush()
            except OSError:
                self.stop()
                raise UiError("the UI driver is gone") from None
            return self._answer(wait + DRIVER_GRACE)

    def _checked(self, command: str, wait: float = 0.0, **fields) -> dict:
        answer = self.call(command, wait, **fields)
        if not answer.get("ok"):
            raise UiError(f"{command} {fields}: {answer.get('error')}")
        return answer

    # -- windows --

    def windows(self, pid: PidLike = None, cls: str | None = None, caption: str | None = None,
                visible: bool = True) -> list[Window]:
        answer = self._checked("windows", pid=_pid(pid), **{"class": cls}, caption=caption,
                               visible=int(visible))
        return [_window(w) for w in answer["windows"]]

    def wait_window(self, caption: str | None = None, cls: str | None = None, pid: PidLike = None,
                    timeout: float = 10.0, visible: bool = True) -> Window:
        """The first top-level window with this exact caption and/or class (and process),
        waiting up to `timeout` seconds for it to appear."""
        answer = self.call("find", timeout, caption=caption, **{"class": cls}, pid=_pid(pid),
                           visible=int(visible), timeout=int(timeout * 1000))
        if answer.get("ok"):
            return _window(answer["window"])
        if answer.get("error") != "timeout":
            raise UiError(f"find: {answer.get('error')}")
        seen = ", ".join(f"{w['class']!r} {w['caption']!r} (pid {w['pid']})"
                         for w in answer.get("windows", [])) or "none"
        raise WindowNotFound(f"no window caption={caption!r} class={cls!r} pid={_pid(pid)} "
                             f"within {timeout:g} s; visible windows: {seen}")

    def wait_gone(self, hwnd: HwndLike, timeout: float = 10.0) -> None:
        self._checked("gone", timeout, hwnd=int(hwnd), timeout=int(timeout * 1000))

    def controls(self, hwnd: HwndLike) -> list[Control]:
        """Every child control, in Z order: id, class, text (WM_GETTEXT), state."""
        answer = self._checked("controls", hwnd=int(hwnd))
        return [Control(int(c["hwnd"]), int(c["id"]), c["class"], c["text"], bool(c["visible"]),
                        bool(c["enabled"])) for c in answer["controls"]]

    def control(self, hwnd: HwndLike, id: int) -> Control:
        for control in self.controls(hwnd):
            if control.id == id:
                return control
        raise UiError(f"no control with id {id} in window {int(hwnd)}")

    def message_box_text(self, hwnd: HwndLike) -> str:
        for control in self.controls(hwnd):
            if control.id in (MESSAGE_BOX_TEXT_ID, -1) and control.cls.lower() == "static":
                return control.text
        raise UiError(f"window {int(hwnd)} has no message box text")

    def set_text(self, hwnd: HwndLike, text: str, id: int | None = None) -> None:
        """Sets the text of control `id` of the window (or of the window itself)."""
        self._checked("settext", hwnd=int(hwnd), id=id, text=text)

    def press(self, hwnd: HwndLike, id: int, how: str = "command") -> None:
        """Presses button `id` as a user would; refused when it is hidden or disabled.
        how="command" posts WM_COMMAND/BN_CLICKED to the window; how="click" posts
        BM_CLICK to the button (check boxes and radio buttons change state)."""
        self._checked("press", hwnd=int(hwnd), id=id, how=how)

    def select(self, hwnd: HwndLike, id: int, index: int) -> None:
        """Chooses entry `index` of list box `id` as a click on it does (the window hears
        LBN_SELCHANGE); refused when the list is hidden or disabled."""
        self._checked("select", hwnd=int(hwnd), id=id, index=index)

    def layout(self, hwnd: HwndLike, face: str | None = None, points: int | None = None,
               dpi: int | None = None) -> dict:
        """A dialog's geometry in pixels, read DPI-aware: `client` {width, height}, `dpi`
        (the window's), `device_dpi` (the screen's), `base_units` {x, y} from
        MapDialogRect (None where the system refuses it for another process's dialog),
        `font_base_units` of the font `face` at `points` made at `dpi` (default: the
        window's DPI, which Wine does not always know for another process), and
        `controls`: hwnd, id, class, text, visible, enabled, style, exstyle, `rect`
        [left, top, right, bottom] in the dialog's client pixels, `client` {width,
        height}, `font`, and where the text could be measured: `line` {width, height}
        of the text on one line and `wrapped` at the control's client width, "&"
        prefixes treated as the control draws them, `line_height` and
        `average_char_width`. Font handles do not cross processes: another process's
        controls are measured with the template font `face` at `points` ("template";
        "unknown" and unmeasured without it), the driver's own with their own font."""
        return self._checked("layout", hwnd=int(hwnd), face=face, points=points, dpi=dpi)

    def clipboard(self) -> str:
        """The clipboard's text."""
        return self._checked("clipboard")["text"]

    def close(self, hwnd: HwndLike) -> None:
        """Posts WM_CLOSE, as the title bar's close button does."""
        self._checked("close", hwnd=int(hwnd))

    # -- processes --

    def running(self, pid: PidLike) -> bool:
        """Whether the Windows process still runs (for programs the test did not start)."""
        return bool(self._checked("process", pid=_pid(pid))["running"])

    def terminate(self, pid: PidLike) -> None:
        if self._checked("kill", pid=_pid(pid))["running"]:
            raise UiError(f"process {_pid(pid)} survived TerminateProcess")

    # -- message boxes --

    def message_box(self, pid: PidLike = None, caption: str | None = None,
                    timeout: float = 10.0) -> MessageBox:
        """Waits for a message box (a #32770 window with a message text) of the process,
        optionally with this exact caption, and reads it."""
        deadline = time.monotonic() + timeout
        win_pid = _pid(pid)
        while True:
            for window in self.windows(pid=win_pid, cls=MESSAGE_BOX_CLASS, caption=caption):
                try:
                    controls = self.controls(window)
                except UiError:
                    continue  # gone meanwhile
                texts = [c.text for c in controls
                         if c.id in (MESSAGE_BOX_TEXT_ID, -1) and c.cls.lower() == "static"]
                if texts:
                    buttons = {c.id: c.text for c in controls
                               if c.cls.lower() == "button" and c.visible}
                    return MessageBox(window.hwnd, window.caption, texts[0], buttons)
            if time.monotonic() >= deadline:
                seen = ", ".join(f"{w.cls!r} {w.caption!r} (pid {w.pid})"
                                 for w in self.windows()) or "none"
                raise WindowNotFound(f"no message box caption={caption!r} pid={win_pid} "
                                     f"within {timeout:g} s; visible windows: {seen}")
            time.sleep(0.1)

    def answer_message_box(self, process: WineProcess, button: int = IDOK,
                           caption: str | None = None, timeout: float = 10.0,
                           exit_timeout: float = 30.0) -> Answered:
        """Waits for the process's message box, reads it, presses `button` and collects
        the exit code: the whole of "the program told the user something and ended"."""
        box = self.message_box(process, caption, timeout)
        self.press(box, button)
        code = process.wait(exit_timeout)
        return Answered(box.caption, box.text, box.buttons, code)


def wait_until(condition, timeout: float = 60.0) -> bool:
    """Polls `condition` every half second until it holds or `timeout` seconds pass; its
    last answer (for what outlives the process that started it, as the self-deleting
    batch outlives the uninstaller)."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline and not condition():
        time.sleep(0.5)
    return condition()


def screenshot(display: str, path: Path, timeout: float = 20.0) -> bool:
    """Saves the whole screen with ImageMagick; false when that was not possible."""
    if not shutil.which("import"):
        return False
    path.parent.mkdir(parents=True, exist_ok=True)
    try:
        done = subprocess.run(["import", "-display", display, "-window", "root", str(path)],
                              stdin=subprocess.DEVNULL, capture_output=True, timeout=timeout)
    except subprocess.TimeoutExpired:
        return False
    return done.returncode == 0 and path.exists()


# ---- the session ----


class E2ESession:
    """Everything one test run owns, made in order and ended in reverse."""

    def __init__(self, paths: BuildPaths):
        self.paths = paths
        self.xvfb: Xvfb | None = None
        self.wine: WineSession | None = None
        self.ui: UiDriver | None = None
        self._lock_file = None

    def open(self, lock_wait: float = 600.0) -> None:
        self.paths.require(self.paths.uidriver)
        work = self.paths.work_dir
        work.mkdir(parents=True, exist_ok=True)
        self._lock(work / "session.lock", lock_wait)
        shutil.rmtree(self.paths.screenshots, ignore_errors=True)
        _stop_stale(work / "session.pids", ["xvfb", "wineserver"])
        self.xvfb = Xvfb(work / "xvfb.log")
        self.wine = WineSession(self.paths, "")
        self.wine.create_prefix()
        self.xvfb.start()
        self.wine.env["DISPLAY"] = self.xvfb.display
        self.wine.start_server()
        (work / "session.pids").write_text(json.dumps(
            {"xvfb": self.xvfb.process.pid, "wineserver": self.wine.server.pid}))
        self.ui = UiDriver(self.wine)
        self.ui.start()
        self.wine.check_server()

    def _lock(self, path: Path, wait: float) -> None:
        # One session per build folder at a time: they would share the prefix.
        self._lock_file = open(path, "w")
        deadline = time.monotonic() + wait
        while True:
            try:
                fcntl.flock(self._lock_file, fcntl.LOCK_EX | fcntl.LOCK_NB)
                return
            except BlockingIOError:
                if time.monotonic() >= deadline:
                    raise HarnessError(f"another end-to-end run holds {path}") from None
                time.sleep(1)

    def close(self) -> None:
        # Each step runs even when an earlier one failed.
        for step in (lambda: self.ui and self.ui.stop(),
                     lambda: self.wine and self.wine.stop(),
                     lambda: self.xvfb and self.xvfb.stop()):
            try:
                step()
            except Exception:  # noqa: BLE001 - clean-up goes on regardless
                pass
        (self.paths.work_dir / "session.pids").unlink(missing_ok=True)
        if self._lock_file:
            self._lock_file.close()
