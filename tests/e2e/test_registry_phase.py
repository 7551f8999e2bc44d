"""The registry script, the product key, two associations (one over an extension that
already opens with another program) and the firewall exceptions: installed, read back
through the registry, and removed again to the state before, except the value the
script keeps on purpose."""

from __future__ import annotations

import re
import time

import snapshots
from package_tools import build_project
from registration_tools import is_registered, run_recorded

PRODUCT = "Registry Demo"
KEY = r"HKLM\Software\Halvard Tests\Registry Demo"
KEPT_KEY = r"HKCU\Software\Halvard Tests Kept"
EARLIER_COMMAND = '"C:\\Earlier Viewer\\viewer.exe" "%1"'

PROJECT = r"""
[product]
name = "Registry Demo"
version = "1.0"
install_dir = "Registry Demo"
registry_key = "Halvard Tests\\Registry Demo Product"

[options]
product_flags_low = ["uninstall_support", "keep_log"]

[registry]
script = '''
\HKLM\Software\Halvard Tests\Registry Demo\Empty
\HKLM\Software\Halvard Tests\Registry Demo,Text,1,%InstallDir%\demo.exe,0,0
\HKLM\Software\Halvard Tests\Registry Demo,Expand,2,%SystemRoot%\demo,0,0
\HKLM\Software\Halvard Tests\Registry Demo,Bytes,3,0a 1B ff,0,0
\HKLM\Software\Halvard Tests\Registry Demo,Number,4,258,0,0
\HKLM\Software\Halvard Tests\Registry Demo,Large,11,4294967296,0,0
\HKLM\Software\Halvard Tests\Registry Demo,"Quoted, name",1,"say ""two"" words",0,0
\HKCU\Software\Halvard Tests Kept,Kept,1,stays,0,1
\HKAU\Software\Halvard Tests\Registry Demo,Per user,1,yes,0,0
'''
firewall = ["8080;Demo Web;3;", "demo.exe;Demo;0;", "missing.exe;Missing;0;"]

[[registry_entries]]
key = '\HKLM\Software\Halvard Tests\Registry Demo\From a table'
name = "Bytes"
type = "binary"
data = "de ad"

[[firewall]]
port = 9090
name = "Demo Table"
protocols = ["udp"]

[[associations]]
flags = 1
extension = "hvdemo"
class_name = "Halvard.Demo"
description = "Demo document"
verb = "open"
verb_text = "&Open with Demo"
command = '"%InstallDir%\demo.exe" "%1"'
icon = '%InstallDir%\demo.exe,0'

[[associations]]
extension = ".hvtxt"
class_name = "!Halvard.Other"
verb = "open"
verb_text = "&Open"
command = '"%InstallDir%\demo.exe" "%1"'

[[files]]
source = "demo.exe"
"""


def reg(wine, *args: str, check: bool = True):
    return wine.tool(["wine", "reg", *args], check=check)


def value(wine, key: str, name: str | None) -> tuple[str, str] | None:
    """(type, data) as `reg query` shows them; None for a missing key or value."""
    done = reg(wine, "query", key, *(["/ve"] if name is None else ["/v", name]), check=False)
    if done.returncode != 0:
        return None
    label = r"\([Dd]efault\)|<NO NAME>" if name is None else re.escape(name)
    match = re.search(rf"^\s+(?:{label})\s+(REG_\w+)[ \t]*(.*)$", done.stdout, re.M)
    return (match.group(1), match.group(2).rstrip()) if match else None


def test_registry_associations_and_firewall_round_trip(wine, build_paths, engine, tmp_path):
    (tmp_path / "demo.exe").write_bytes(b"MZ demo")
    (tmp_path / "project.toml").write_text(PROJECT)
    setup = build_project(build_paths.build_dir, engine, tmp_path / "project.toml", tmp_path / "setup.exe")
    folder = build_paths.prefix / "drive_c" / "Program Files (x86)" / PRODUCT
    # .hvtxt already opens with an earlier viewer through its own class.
    reg(wine, "add", r"HKCR\.hvtxt", "/ve", "/d", "Halvard.Viewer", "/f")
    reg(wine, "add", r"HKCR\Halvard.Viewer\shell\open\command", "/ve", "/d", EARLIER_COMMAND, "/f")
    before = snapshots.take(wine, build_paths.prefix, tmp_path)
    try:
        process = wine.start(setup, "/a", timeout=120)
        assert process.wait() == 1, process.stderr

        assert value(wine, KEY, "Text") == ("REG_SZ", r"C:\Program Files (x86)\Registry Demo\demo.exe")
        assert value(wine, KEY, "Expand") == ("REG_EXPAND_SZ", r"%SystemRoot%\demo")
        assert value(wine, KEY, "Bytes") == ("REG_BINARY", "0A1BFF")
        assert value(wine, KEY, "Number") == ("REG_DWORD", "0x102")
        assert value(wine, KEY, "Large")[0] == "REG_QWORD"  # Wine's reg shows no QWORD data
        assert value(wine, KEY, "Quoted, name") == ("REG_SZ", 'say "two" words')
        assert reg(wine, "query", KEY + r"\Empty", check=False).returncode == 0
        assert value(wine, KEY + r"\From a table", "Bytes") == ("REG_BINARY", "DEAD")
        assert value(wine, KEPT_KEY, "Kept") == ("REG_SZ", "stays")
        assert value(wine, r"HKCU\Software\Halvard Tests\Registry Demo", "Per user") == ("REG_SZ", "yes")
        assert reg(wine, "query", r"HKLM\Software\Halvard Tests\Registry Demo Product", check=False).returncode == 0

        product_command = '"C:\\Program Files (x86)\\Registry Demo\\demo.exe" "%1"'
        assert value(wine, r"HKCR\.hvdemo", None) == ("REG_SZ", "Halvard.Demo")
        assert value(wine, r"HKCR\Halvard.Demo\shell\open\command", None) == ("REG_SZ", product_command)
        assert value(wine, r"HKCR\Halvard.Demo\shell", None) == ("REG_SZ", "open")
        assert value(wine, r"HKCR\.hvtxt", None) == ("REG_SZ", "Halvard.Viewer")
        assert value(wine, r"HKCR\Halvard.Viewer\shell\open\command", None) == ("REG_SZ", product_command)

        log = (folder / "Uninstall" / "Install.LOG").read_bytes().decode("cp1252")
        # Wine's firewall service either takes the exceptions or is not there; the phase
        # says which, and never records a program that does not exist.
        connected = "Failed to connect to the firewall service: code " not in log
        assert connected or "Added firewall exception" not in log
        if connected:
            assert "Added firewall exception: TCP port 8080\r\n" in log
            assert "Added firewall exception: UDP port 8080\r\n" in log
            assert "Added firewall exception: UDP port 9090\r\n" in log
            assert 'missing.exe": file does not exist\r\n' in log
            data = (folder / "Uninstall" / "Uninstall.DAT").read_bytes().decode("cp1252")
            assert "8080;Demo Web;3;" in data and "missing.exe" not in data

        assert run_recorded(wine, PRODUCT) == 0
        deadline = time.monotonic() + 30
        while folder.exists() and time.monotonic() < deadline:
            time.sleep(0.5)
        assert value(wine, r"HKCR\Halvard.Viewer\shell\open\command", None) == ("REG_SZ", EARLIER_COMMAND)
        after = snapshots.take(wine, build_paths.prefix, tmp_path)
        left = snapshots.differences(before, after)
        assert all("Halvard Tests Kept" in line for line in left), "\n".join(left)
        assert any("Kept" in line for line in left), left
    finally:
        if is_registered(wine, PRODUCT):
            run_recorded(wine, PRODUCT)
        for key in (r"HKCR\.hvtxt", r"HKCR\Halvard.Viewer", r"HKCR\.hvdemo", r"HKCR\Halvard.Demo", KEPT_KEY,
                    r"HKLM\Software\Halvard Tests", r"HKCU\Software\Halvard Tests"):
            reg(wine, "delete", key, "/f", check=False)
