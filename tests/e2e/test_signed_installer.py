"""A setup.exe signed by a real Authenticode tool (osslsigncode with a throw-away
certificate from openssl) through the project's [sign] command: the signature
verifies, the engine installs from it silently, the uninstaller it writes carries no
certificate table, and one changed byte in the package fails both the signature and
the engine's own checks."""

from __future__ import annotations

import json
import os
import shutil
import struct
import subprocess
from pathlib import Path

import pytest

from package_tools import EXAMPLE, halvard_build, package_messages, patched, setup_section
from registration_tools import run_recorded
from test_engine_start import files_under

SECRET = "e2e-Secret-4711"


def certificate_table(data: bytes) -> tuple[int, int]:
    """The security directory entry: the certificate table's offset and size."""
    e_lfanew = struct.unpack_from("<I", data, 60)[0]
    magic = struct.unpack_from("<H", data, e_lfanew + 24)[0]
    directories = e_lfanew + 24 + (96 if magic == 0x10B else 112)
    return struct.unpack_from("<II", data, directories + 4 * 8)


@pytest.fixture(scope="module")
def keys(tmp_path_factory):
    if not (shutil.which("openssl") and shutil.which("osslsigncode")):
        pytest.skip("openssl and osslsigncode are needed (scripts/install-deps.sh)")
    folder = tmp_path_factory.mktemp("keys")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2",
                    "-subj", "/CN=Halvard E2E", "-addext", "extendedKeyUsage=codeSigning",
                    "-keyout", folder / "key.pem", "-out", folder / "cert.pem"], check=True, capture_output=True)
    subprocess.run(["openssl", "pkcs12", "-export", "-inkey", folder / "key.pem", "-in", folder / "cert.pem",
                    "-passout", f"pass:{SECRET}", "-out", folder / "cert.p12"], check=True, capture_output=True)
    return folder


def build_signed(build_paths, engine, keys: Path, work: Path, data_on_disk: bool) -> Path:
    project = work / "project"
    shutil.copytree(EXAMPLE, project, ignore=shutil.ignore_patterns("setup.exe"))
    text = (project / "project.toml").read_text()
    if data_on_disk:
        text = text.replace("[build]\n", "[build]\ndata_on_disk = true\n")
    text += ("\n[sign]\ncommand = 'osslsigncode sign -pkcs12 " + str(keys / "cert.p12") +
             " -pass \"$HV_SIGN_PASSWORD\" -n Hello -h sha256 -in {file} -out {signed}'\n")
    (project / "project.toml").write_text(text)
    output = work / "setup.exe"
    done = subprocess.run([str(halvard_build(build_paths.build_dir)), "build", str(project / "project.toml"),
                           "-o", str(output), "--engine", str(engine)],
                          env={**os.environ, "HV_SIGN_PASSWORD": SECRET}, capture_output=True, text=True, timeout=300)
    assert done.returncode == 0, done.stderr
    assert "(signed)" in done.stdout
    assert SECRET not in done.stdout + done.stderr + (project / "project.toml").read_text()
    return output


def verifies(keys: Path, exe: Path) -> bool:
    return subprocess.run(["osslsigncode", "verify", "-CAfile", str(keys / "cert.pem"), "-in", str(exe)],
                          capture_output=True, timeout=120).returncode == 0


def inspect(build_paths, exe: Path) -> tuple[int, dict]:
    done = subprocess.run([str(halvard_build(build_paths.build_dir)), "inspect", str(exe), "--json"],
                          capture_output=True, timeout=120)
    return done.returncode, json.loads(done.stdout)


@pytest.mark.parametrize("data_on_disk", [False, True], ids=["data-in-section", "data-on-disk"])
def test_signed_setup_installs_and_writes_an_unsigned_uninstaller(wine, build_paths, engine, keys, tmp_path,
                                                                  data_on_disk):
    setup = build_signed(build_paths, engine, keys, tmp_path, data_on_disk)
    assert verifies(keys, setup)
    code, report = inspect(build_paths, setup)
    assert code == 0 and report["sound"]
    assert report["signature"]["signed"] and report["signature"]["covers_file"]

    assert wine.run(setup, "/a", timeout=120) == 1
    drive_c = build_paths.prefix / "drive_c"
    uninstallers = list(drive_c.glob("Program Files*/Hello/Uninstall/Uninstall.exe"))
    assert len(uninstallers) == 1
    uninstaller = uninstallers[0].read_bytes()
    assert certificate_table(uninstaller) == (0, 0)
    # The engine itself, byte for byte: the package and the certificate table are gone,
    # the security entry is cleared and the CheckSum is the engine's own again.
    assert uninstaller == engine.read_bytes()
    # The uninstaller runs: it removes the product.
    assert run_recorded(wine, "Hello") == 0
    assert not list(drive_c.glob("Program Files*/Hello/hello.bat"))


def test_a_changed_byte_fails_the_signature_and_the_package(wine, ui, build_paths, engine, keys, tmp_path):
    setup = build_signed(build_paths, engine, keys, tmp_path, False)
    data = setup.read_bytes()
    section = setup_section(data)
    file_count = struct.unpack_from("<i", data, section.raw_offset + 24)[0]
    stream_size = struct.unpack_from("<i", data, section.raw_offset + 8)[0]
    region = section.raw_offset + 36 + 4 * file_count + stream_size
    damaged = patched(setup, tmp_path / "damaged.exe", {region + 20: bytes([data[region + 20] ^ 0x10])})

    assert not verifies(keys, damaged)
    code, report = inspect(build_paths, damaged)
    assert code == 3 and report["package_error"] == 55
    assert report["signature"]["signed"] and report["signature"]["covers_file"] is False

    messages = package_messages(build_paths.build_dir, setup)
    before = files_under(build_paths.prefix / "drive_c")
    answered = ui.answer_message_box(wine.start(damaged, "/a"), timeout=60)
    assert answered.text == messages[13].replace("%d", "55")
    assert answered.exit_code == 1
    assert files_under(build_paths.prefix / "drive_c") == before
