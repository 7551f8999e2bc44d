"""The notification request against a real HTTP server on the loopback address: one GET
with the version filled in after an installation and after the removal; the own client
when WinINet is switched off, which never sends an "https:" address in plain text; a
server that never answers does not keep the finished installer alive; and addresses
that could write request lines are dropped."""

from __future__ import annotations

import http.server
import json
import socket
import threading
import time
from contextlib import contextmanager
from pathlib import Path

import pytest

from package_tools import build_project
from registration_tools import is_registered, run_recorded


class RecordingServer:
    """Records every request (method, path, headers). `silent` accepts connections and
    never answers; otherwise each GET gets 200 and an empty body."""

    def __init__(self, silent: bool = False):
        self.requests: list[tuple[str, str, dict[str, str]]] = []
        self.silent = silent
        self.raw_connections = 0
        outer = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_GET(self):  # noqa: N802 - the library's name
                outer.requests.append(("GET", self.path, {k.lower(): v for k, v in self.headers.items()}))
                self.send_response(200)
                self.send_header("Content-Length", "0")
                self.end_headers()

            def log_message(self, *args):
                pass

        if silent:
            self.socket = socket.socket()
            self.socket.bind(("127.0.0.1", 0))
            self.socket.listen(8)
            self.port = self.socket.getsockname()[1]
            self.held: list[socket.socket] = []
            self.thread = threading.Thread(target=self._hold, daemon=True)
        else:
            self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
            self.port = self.server.server_address[1]
            self.thread = threading.Thread(target=self.server.serve_forever, daemon=True)
        self.thread.start()

    def _hold(self):
        while True:
            try:
                connection, _ = self.socket.accept()
            except OSError:
                return
            self.raw_connections += 1
            self.held.append(connection)

    def stop(self):
        if self.silent:
            self.socket.close()
            for connection in self.held:
                connection.close()
        else:
            self.server.shutdown()
            self.server.server_close()

    def wait_for(self, count: int, seconds: float = 30) -> None:
        deadline = time.monotonic() + seconds
        while len(self.requests) < count and time.monotonic() < deadline:
            time.sleep(0.2)


@contextmanager
def recording_server(silent: bool = False):
    server = RecordingServer(silent)
    try:
        yield server
    finally:
        server.stop()


def project(name: str, install: str, uninstall: str = "") -> str:
    # JSON's string escapes are TOML's: any text, line breaks included, goes in as it is.
    uninstall_line = f"notify_url = {json.dumps(uninstall)}" if uninstall else ""
    return f"""
[product]
name = "{name}"
version = "2.5"
install_dir = "{name}"

[options]
product_flags_low = ["uninstall_support"]

[uninstall]
{uninstall_line}

[notify]
install = {json.dumps(install)}

[[files]]
source = "readme.txt"
"""


def build(build_paths, engine, work: Path, text: str) -> Path:
    (work / "readme.txt").write_text("hello\n")
    (work / "project.toml").write_text(text)
    return build_project(build_paths.build_dir, engine, work / "project.toml", work / "setup.exe")


@contextmanager
def wininet_switched_off(wine):
    key = r"HKCU\Software\Wine\AppDefaults\setup.exe\DllOverrides"
    wine.tool(["wine", "reg", "add", key, "/v", "wininet", "/d", "", "/f"])
    try:
        yield
    finally:
        wine.tool(["wine", "reg", "delete", key, "/f"], check=False)


@pytest.mark.parametrize("wininet", [True, False], ids=["wininet", "own-client"])
def test_one_get_after_installation_and_after_removal(wine, build_paths, engine, tmp_path, wininet):
    name = "Notify Demo"
    with recording_server() as server:
        base = f"http://127.0.0.1:{server.port}"
        setup = build(build_paths, engine, tmp_path,
                      project(name, base + "/n?v=%version%&again=%VERSION%", base + "/gone?v=%Version%"))
        try:
            if wininet:
                assert wine.run(setup, "/a", timeout=120) == 1
            else:
                with wininet_switched_off(wine):
                    assert wine.run(setup, "/a", timeout=120) == 1
            # The process ended only after the request: it is there already.
            assert [(m, p) for m, p, _ in server.requests] == [("GET", "/n?v=2.5&again=2.5")]
            assert server.requests[0][2].get("accept") == "*/*"
            assert run_recorded(wine, name) == 0
            server.wait_for(2)
            assert [p for _, p, _ in server.requests] == ["/n?v=2.5&again=2.5", "/gone?v=2.5"]
        finally:
            if is_registered(wine, name):
                run_recorded(wine, name)


def test_an_empty_or_unusable_address_sends_nothing(wine, build_paths, engine, tmp_path):
    name = "Notify Nothing"
    with recording_server(silent=True) as server:
        base = f"127.0.0.1:{server.port}"
        # A space or a line break would write lines of the request itself; no host, a
        # port beyond 65535 and 64 KiB of text cannot be requested.
        for address in ("", f"http://{base}/a b", f"http://{base}/x\r\nX-Injected: 1", "http:///nohost",
                        f"http://{base}:99999/", f"http://{base}/" + "a" * 65536):
            setup = build(build_paths, engine, tmp_path, project(name, address))
            try:
                assert wine.run(setup, "/a", timeout=120) == 1, address[:80]
            finally:
                if is_registered(wine, name):
                    run_recorded(wine, name)
        assert server.raw_connections == 0


def test_a_server_that_never_answers_does_not_keep_the_installer(wine, build_paths, engine, tmp_path):
    name = "Notify Silent"
    with recording_server(silent=True) as server:
        setup = build(build_paths, engine, tmp_path, project(name, f"http://127.0.0.1:{server.port}/n"))
        try:
            with wininet_switched_off(wine):
                started = time.monotonic()
                assert wine.run(setup, "/a", timeout=90) == 1
                took = time.monotonic() - started
            assert server.raw_connections >= 1
            # The wait is bounded at 10 seconds; a run without the bound would hang
            # until the harness kills it at 90.
            assert took < 60, took
        finally:
            if is_registered(wine, name):
                run_recorded(wine, name)


def test_an_https_address_is_not_sent_in_plain_text(wine, build_paths, engine, tmp_path):
    name = "Notify Secure"
    with recording_server(silent=True) as server:
        # The silent server records every connection: a plain-text attempt would show.
        setup = build(build_paths, engine, tmp_path, project(name, f"https://127.0.0.1:{server.port}/n"))
        try:
            with wininet_switched_off(wine):
                assert wine.run(setup, "/a", timeout=90) == 1
            assert server.raw_connections == 0
        finally:
            if is_registered(wine, name):
                run_recorded(wine, name)
