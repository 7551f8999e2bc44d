"""The Debian package: its file list, its dependencies against this Debian 12 host
(apt-get --simulate), and an installation with dpkg into a fresh, empty root (its own
dpkg database; the root's programs run with the host's libraries). The installed
halvard-build finds both engines in the installed layout, makes a starter project and
builds it, and builds examples/hello byte for byte as the build tree's builder does.

Takes the package from HALVARD_DEB, else builds it with scripts/package-deb.sh."""

from __future__ import annotations

import os
import shutil
import subprocess
from pathlib import Path

import pytest

REPO = Path(__file__).resolve().parents[2]


@pytest.fixture(scope="module")
def deb(tmp_path_factory) -> Path:
    given = os.environ.get("HALVARD_DEB")
    if given:
        return Path(given)
    out = tmp_path_factory.mktemp("deb")
    done = subprocess.run(["bash", str(REPO / "scripts" / "package-deb.sh"), str(out)], capture_output=True,
                          text=True, timeout=3600)
    assert done.returncode == 0, done.stderr[-3000:]
    return Path(done.stdout.strip().splitlines()[-1])


@pytest.fixture(scope="module")
def root(deb, tmp_path_factory) -> Path:
    root = tmp_path_factory.mktemp("root")
    (root / "var" / "lib" / "dpkg" / "info").mkdir(parents=True)
    (root / "var" / "lib" / "dpkg" / "updates").mkdir()
    (root / "var" / "lib" / "dpkg" / "status").touch()
    # The fresh root has no libc6 of its own: its dependencies are checked against the
    # host instead (test_dependencies_are_met).
    done = subprocess.run(["dpkg", f"--root={root}", "--force-depends", "--force-not-root", "-i", str(deb)],
                          capture_output=True, text=True, timeout=300)
    assert done.returncode == 0, done.stdout + done.stderr
    return root


def test_the_package_holds_the_builder_engines_and_documentation(deb):
    listing = subprocess.run(["dpkg-deb", "-c", str(deb)], capture_output=True, text=True, check=True).stdout
    paths = {line.split()[-1].lstrip(".") for line in listing.splitlines()}
    for path in ("/usr/bin/halvard-build", "/usr/lib/halvard-setup/halvard-engine.exe",
                 "/usr/lib/halvard-setup/halvard-engine-x64.exe", "/usr/lib/halvard-setup/halvard-build.exe",
                 "/usr/share/halvard-setup/halvard-project.schema.json", "/usr/share/doc/halvard-setup/README.md",
                 "/usr/share/doc/halvard-setup/project-reference.md", "/usr/share/doc/halvard-setup/copyright",
                 "/usr/share/doc/halvard-setup/examples/hello/project.toml"):
        assert path in paths, path
    fields = subprocess.run(["dpkg-deb", "-f", str(deb), "Package", "Architecture"], capture_output=True,
                            text=True, check=True).stdout
    assert fields == "Package: halvard-setup\nArchitecture: amd64\n"


def test_dependencies_are_met(deb):
    done = subprocess.run(["apt-get", "--simulate", "--no-install-recommends", "install", str(deb.resolve())],
                          capture_output=True, text=True, timeout=300)
    assert done.returncode == 0, done.stdout + done.stderr


def test_the_installed_builder_builds_with_its_installed_engines(root, tmp_path):
    builder = root / "usr" / "bin" / "halvard-build"
    version = subprocess.run([str(builder), "--version"], capture_output=True, text=True, check=True).stdout
    assert f"x86 engine: {root}/usr/lib/halvard-setup/halvard-engine.exe\n" in version
    assert f"x64 engine: {root}/usr/lib/halvard-setup/halvard-engine-x64.exe\n" in version

    env = {**os.environ, "SOURCE_DATE_EPOCH": "1700000000"}
    subprocess.run([str(builder), "new", "x"], cwd=tmp_path, check=True, capture_output=True)
    done = subprocess.run([str(builder), "build", "x/project.toml"], cwd=tmp_path, env=env, capture_output=True,
                          text=True)
    assert done.returncode == 0, done.stderr
    assert subprocess.run([str(builder), "inspect", "x/setup.exe"], cwd=tmp_path, capture_output=True).returncode == 0

    # The same bytes as the build tree's builder with the same engine.
    tree_builder = REPO / "build" / "native" / "tools" / "builder" / "halvard-build"
    engine = REPO / "build" / "win64" / "src" / "halvard-engine-x64.exe"
    if not tree_builder.exists() or not engine.exists():
        pytest.skip("the build tree's builder or x64 engine is not built")
    hello = tmp_path / "hello"
    shutil.copytree(REPO / "examples" / "hello", hello, ignore=shutil.ignore_patterns("setup.exe"))
    subprocess.run([str(builder), "build", str(hello / "project.toml"), "--arch", "x64", "-o",
                    str(tmp_path / "installed.exe")], env=env, check=True, capture_output=True)
    subprocess.run([str(tree_builder), "build", str(hello / "project.toml"), "--engine", str(engine), "-o",
                    str(tmp_path / "tree.exe")], env=env, check=True, capture_output=True)
    assert (tmp_path / "installed.exe").read_bytes() == (tmp_path / "tree.exe").read_bytes()
