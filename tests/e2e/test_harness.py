"""The harness tested on a stand-in program: message boxes read and answered through the
UI driver, exact command lines, exit codes, and programs that never show anything."""

import time

import pytest

from harness import (IDCANCEL, IDNO, IDOK, IDYES, UiError, WindowNotFound, WineTimeout,
                     windows_path)

MB_OK, MB_OKCANCEL, MB_YESNO = 0, 1, 4


@pytest.mark.parametrize("caption, text, box_type, button, buttons", [
    ("Probe", "Hello", MB_OK, IDOK, {IDOK: "OK"}),
    # ANSI text beyond ASCII, line breaks and a caption with spaces arrive unchanged.
    ("FATAL ERROR - Probe", "Line one\r\nLine two: caf\u00e9", MB_OK, IDOK, {IDOK: "OK"}),
    ("Question", "Go on?", MB_YESNO, IDNO, {IDYES: "&Yes", IDNO: "&No"}),
    ("Question", "Go on?", MB_OKCANCEL, IDCANCEL, {IDOK: "OK", IDCANCEL: "Cancel"}),
])
def test_message_box_is_read_and_answered(wine, ui, msgbox_probe, caption, text, box_type,
                                          button, buttons):
    probe = wine.start(msgbox_probe, f'show "{caption}" "{text}" {box_type}', timeout=30)
    answered = ui.answer_message_box(probe, button=button)
    assert (answered.caption, answered.text) == (caption, text)
    assert answered.buttons == buttons
    assert answered.exit_code == button  # the probe exits with the button's id


def test_command_line_text_arrives_byte_for_byte(wine, ui, msgbox_probe):
    args = r'cmdline /d:"C:\My Dir"  -A "/n:a ""b"""' + "\t/u"
    probe = wine.start(msgbox_probe, args, timeout=30)
    box = ui.message_box(probe, caption="cmdline")
    assert box.text == f'"{windows_path(msgbox_probe)}" ' + args
    ui.press(box, IDOK)
    assert probe.wait() == IDOK

    # The whole command line, program part included, when a test needs it otherwise.
    whole = windows_path(msgbox_probe) + " cmdline"
    probe = wine.start(msgbox_probe, cmdline=whole, timeout=30)
    assert ui.answer_message_box(probe).text == whole


@pytest.mark.parametrize("args, code", [
    ("exit 0", 0), ("exit 1", 1), ("exit 256", 256), ("exit 3221225477", 0xC0000005),
    # A crash ends the program with its exception code; no crash dialog waits for a click.
    ("crash", 0xC0000005),
])
def test_exit_code_keeps_all_32_bits(wine, ui, msgbox_probe, args, code):
    probe = wine.start(msgbox_probe, args, timeout=30)
    assert probe.wait() == code
    assert ui.windows(cls="#32770") == []


def test_silent_program_is_killed_by_its_time_out(wine, ui, msgbox_probe):
    start = time.monotonic()
    probe = wine.start(msgbox_probe, "sleep", timeout=4)
    with pytest.raises(WindowNotFound, match="no window"):
        ui.wait_window(cls="#32770", pid=probe, timeout=1)
    with pytest.raises(WineTimeout, match="time-out of 4 s"):
        probe.wait()
    assert time.monotonic() - start < 30
    assert not ui.running(probe.win_pid)

    with pytest.raises(WineTimeout):
        wine.run(msgbox_probe, "sleep", timeout=2)


def test_waiting_less_than_the_time_out_also_kills(wine, ui, msgbox_probe):
    probe = wine.start(msgbox_probe, "sleep", timeout=600)
    pid = probe.win_pid
    with pytest.raises(WineTimeout, match="after 1 s"):
        probe.wait(timeout=1)
    deadline = time.monotonic() + 10
    while ui.running(pid) and time.monotonic() < deadline:
        time.sleep(0.2)
    assert not ui.running(pid)


def test_driver_refuses_what_a_user_cannot_do_and_survives_gone_windows(wine, ui, msgbox_probe):
    probe = wine.start(msgbox_probe, 'show "Gone" "Soon gone" 1', timeout=30)
    box = ui.message_box(probe, caption="Gone")
    with pytest.raises(UiError, match="no control with id 4242"):
        ui.press(box, 4242)
    ui.set_text(box, "Changed", id=0xFFFF)
    assert ui.message_box_text(box) == "Changed"
    ui.close(box)  # the title bar's close button cancels a box that can cancel
    assert probe.wait() == IDCANCEL
    ui.wait_gone(box)
    for call in (lambda: ui.controls(box), lambda: ui.press(box, IDOK), lambda: ui.close(box)):
        with pytest.raises(UiError, match="no such window"):
            call()
    assert ui.windows(pid=probe.win_pid) == []
