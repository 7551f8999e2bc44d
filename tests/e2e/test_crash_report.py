"""The crash report of a program that faults on purpose under the installer's crash
handler: the dialog with its texts, the report line by line, Copy Report, Inform Us
posting one form to a server on the loopback address, Exit leaving the fault to the
system, and the record the handler makes before anything else."""

from __future__ import annotations

import email.parser
import email.policy
import http.server
import re
import shutil
import threading
import time
from contextlib import contextmanager

import pytest

APOLOGY = ("We apologize for the inconvenience, but the program has performed an illegal operation and must close.  "
           "Please report this problem to Orrisfield by clicking the \"Inform Us\" button below.")
INFORM_US, EXIT, REPORT, COPY_REPORT, EMAIL, COMMENTS = 2700, 2701, 2703, 2704, 2705, 2707


class FormServer:
    """Answers each POST with the statuses queued in `answers` (then 200) and records it."""

    def __init__(self, answers: list[tuple[int, str | None]] | None = None):
        self.posts: list[tuple[str, dict[str, str], bytes]] = []
        self.answers = list(answers or [])
        outer = self

        class Handler(http.server.BaseHTTPRequestHandler):
            def do_POST(self):  # noqa: N802 - the library's name
                body = self.rfile.read(int(self.headers.get("Content-Length", "0")))
                outer.posts.append((self.path, {k.lower(): v for k, v in self.headers.items()}, body))
                status, location = outer.answers.pop(0) if outer.answers else (200, None)
                self.send_response(status)
                if location:
                    self.send_header("Location", location)
                self.send_header("Content-Length", "0")
                self.end_headers()

            def log_message(self, *args):
                pass

        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
        self.port = self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()

    def stop(self):
        self.server.shutdown()
        self.server.server_close()


@contextmanager
def form_server(answers=None):
    server = FormServer(answers)
    try:
        yield server
    finally:
        server.stop()


def form_fields(headers: dict[str, str], body: bytes) -> list[tuple[str, str]]:
    message = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(
        b"Content-Type: " + headers["content-type"].encode() + b"\r\n\r\n" + body)
    return [(part.get_param("name", header="content-disposition"), part.get_payload(decode=True).decode("latin-1"))
            for part in message.iter_parts()]


@pytest.fixture
def probe(build_paths, tmp_path):
    source = build_paths.windows_dir / "tests" / "e2e" / "probes" / "crash_probe.exe"
    build_paths.require(source)
    shutil.copy(source, tmp_path / "crash_probe.exe")
    return tmp_path / "crash_probe.exe"


def open_dialog(ui, process):
    dialog = ui.wait_window(caption="Illegal Operation", pid=process, timeout=60)
    texts = {control.id: control.text for control in ui.controls(dialog)}
    return dialog, texts


@pytest.mark.parametrize("fault, name", [
    ("write", "Illegal memory access."),
    ("divide", "Integer divide by zero."),
    ("stack", "Stack overflow."),
])
def test_the_dialog_shows_the_report_and_exit_leaves_the_fault_to_the_system(wine, ui, build_paths, probe, fault,
                                                                                name):
    process = wine.start(probe, fault, cwd=probe.parent, timeout=120)
    dialog, texts = open_dialog(ui, process)
    report = texts[REPORT].replace("\r\n", "\n")
    assert texts[2702] == APOLOGY
    assert texts[2706].startswith("Please enter your email address.")
    assert texts[2708] == "Comments / steps to reproduce:"
    assert report.startswith(f"Exception: {name}\n\nProduct: Halvard Setup")
    digits = 16 if build_paths.arch == "x64" else 8
    if fault == "write":
        assert "\nRead/write: write\n" in report
        assert f"\nMemory address: {'0' * (digits - 2)}10\n" in report
        assert "\nModule: crash_probe.exe\n" in report
    else:
        assert "Read/write" not in report
    assert re.search(r"\nThread ID: \d+  Main Thread: \d+\n", report)
    assert "\nCPU Registers:\nFlags: " in report
    assert ("  RIP: " if digits == 16 else "  EIP: ") in report
    modules = re.findall(rf"^([0-9A-F]{{{digits}}}) ([0-9A-F]{{{digits}}}) (.+)$", report.split("Modules:\n")[1].split("\nCall Stack:")[0],
                         re.M)
    assert modules and [int(m[0], 16) for m in modules] == sorted(int(m[0], 16) for m in modules)
    assert any(m[2].lower().endswith("crash_probe.exe") for m in modules)
    frames = report.split("\nCall Stack:\n")[1].strip().splitlines()
    assert frames and re.match(rf"[0-9A-F]{{{digits}}} [0-9A-F]{{{digits}}}", frames[0])
    # Recorded before the dialog appeared.
    record = (probe.parent / "crash-record.txt").read_bytes().decode("cp1252")
    assert record.startswith("\r\n\r\nINSTALLER CRASHED!\r\nException: " + name)

    # Without a sender address there is nobody to inform.
    assert not ui.control(dialog, INFORM_US).enabled
    ui.press(dialog, COPY_REPORT)
    # The press is posted: the copy lands a moment later.
    deadline = time.monotonic() + 10
    while ui.clipboard().replace("\r\n", "\n") != report and time.monotonic() < deadline:
        time.sleep(0.5)
    assert ui.clipboard().replace("\r\n", "\n") == report
    assert ui.running(process)  # Copy Report leaves the dialog open
    ui.press(dialog, EXIT)
    ui.wait_gone(dialog, timeout=30)
    process.wait()


def test_inform_us_posts_one_form_and_ends_quietly(wine, ui, build_paths, probe):
    with form_server() as server:
        endpoint = f"http://127.0.0.1:{server.port}/formmail.php"
        process = wine.start(probe, f"write {endpoint} support@example.test", cwd=probe.parent, timeout=120)
        dialog, texts = open_dialog(ui, process)
        assert ui.control(dialog, INFORM_US).enabled
        ui.set_text(dialog, "user@example.test", id=EMAIL)
        ui.set_text(dialog, "clicked Next twice", id=COMMENTS)
        ui.press(dialog, INFORM_US)
        process.wait()
        assert ui.windows(pid=process) == []
    assert len(server.posts) == 1
    path, headers, body = server.posts[0]
    assert path == "/formmail.php"
    assert headers["content-type"] == "multipart/form-data; boundary=AaB03x"
    fields = form_fields(headers, body)
    assert [name for name, _ in fields] == ["from", "body", "subject", "headers"]
    values = dict(fields)
    assert values["from"] == "support@example.test"
    assert values["body"].startswith("Exception: Illegal memory access.\r\n")
    assert values["body"].endswith("\r\nEmail: user@example.test\r\n\r\nComments:\r\nclicked Next twice")
    assert values["subject"] == "Exception - Installer 26.1: crash_probe.exe"
    assert values["headers"] == ("X-Orrisfield-Internal: 2\r\nX-Exception-Email: user@example.test\r\n"
                                 "Reply-To: user@example.test\r\n")


@pytest.mark.parametrize("answers, posts", [
    ([(500, None)], 2),                                   # one retry after a server error
    ([(302, "/moved.php")], 2),                           # a redirect to another path is followed
    ([(302, "/again.php")] * 12, 11),                     # the first and ten redirects, then it ends
])
def test_the_form_post_retries_once_and_follows_redirects(wine, ui, build_paths, probe, answers, posts):
    with form_server(answers) as server:
        endpoint = f"http://127.0.0.1:{server.port}/formmail.php"
        process = wine.start(probe, f"write {endpoint} support@example.test", cwd=probe.parent, timeout=120)
        dialog, _ = open_dialog(ui, process)
        ui.press(dialog, INFORM_US)
        process.wait()
    assert len(server.posts) == posts
    if answers[0][0] == 302:
        assert server.posts[1][0] == answers[0][1]


def test_a_breakpoint_gets_no_report(wine, ui, build_paths, probe):
    process = wine.start(probe, "breakpoint", cwd=probe.parent, timeout=60)
    process.wait()
    assert not (probe.parent / "crash-record.txt").exists()


def test_an_allocation_nobody_can_meet_ends_as_out_of_memory(wine, build_paths, probe):
    process = wine.start(probe, "memory", cwd=probe.parent, timeout=60)
    process.wait()
    text = (probe.parent / "fatal-text.txt").read_bytes().decode("cp1252")
    requested = 1 << (62 if build_paths.arch == "x64" else 31)
    digits = 16 if build_paths.arch == "x64" else 8
    assert text.startswith(f"Out Of Memory.\r\nAdvice: Make sure the hard drive is not full.\r\n"
                           f"Requested size = {requested} (0x{requested:08X})\r\n\r\nStack contents:"
                           f"\r{0x11223344:0{digits}X} {0x55667788:0{digits}X} "), text
    values = text.split("Stack contents:")[1]
    assert len(re.findall(rf"[\r ][0-9A-F]{{{digits}}}", values)) == 80
    assert values.count("\r") == 10
    assert not (probe.parent / "crash-record.txt").exists()  # not a crash: no report
