"""Names beyond the ANSI code page and paths beyond MAX_PATH: a package whose file and
folder names are Cyrillic, Japanese or an emoji installs them under exactly those names,
and one installed into a long folder with files nested beyond 260 characters installs
whole; either removal leaves the machine as it was."""

from __future__ import annotations


from harness import wait_until
import snapshots
from package_tools import build_project
from registration_tools import run_recorded

NAMES = ["Документы/отчёт.txt", "日本語/ファイル.txt", "emoji 🎉.txt", "café.txt", "plain/a.txt"]

PROJECT = """
[product]
name = "{name}"
version = "1.0"
install_dir = "{name}"

[options]
product_flags_low = ["uninstall_support"]

[[files]]
source = "files/**"
base = "files"
"""


def make_package(build_paths, engine, tmp_path, name, files):
    for relative, content in files.items():
        path = tmp_path / "files" / relative
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(content)
    (tmp_path / "project.toml").write_text(PROJECT.replace("{name}", name), encoding="utf-8")
    return build_project(build_paths.build_dir, engine, tmp_path / "project.toml", tmp_path / "setup.exe")


def test_names_beyond_the_code_page_install_and_remove_exactly(wine, build_paths, engine, tmp_path):
    files = {name: f"content of {name}\n".encode() for name in NAMES}
    setup = make_package(build_paths, engine, tmp_path, "Unicode Names", files)
    folder = build_paths.prefix / "drive_c" / "Unicode Names"
    before = snapshots.take(wine, build_paths.prefix, tmp_path)

    assert wine.run(setup, '/a /d:"C:\\Unicode Names"', timeout=120) == 1
    # Wine keeps a Windows name as its UTF-8 form on disk: equal names here are equal
    # UTF-16 names there.
    installed = {str(p.relative_to(folder)): p.read_bytes() for p in folder.rglob("*")
                 if p.is_file() and p.parent.name != "Uninstall" and p.name not in ("Install.LOG", "Uninstall.DAT")}
    assert installed == files

    assert run_recorded(wine, "Unicode Names") == 0
    assert wait_until(lambda: not folder.exists()), sorted(str(p) for p in folder.rglob("*"))
    assert snapshots.differences(before, snapshots.take(wine, build_paths.prefix, tmp_path)) == []


def test_paths_beyond_max_path_install_and_remove_completely(wine, build_paths, engine, tmp_path):
    # A 210-character folder with files nested to 349 characters.
    deep = "/".join(f"sub folder {i}" for i in range(8)) + "/" + "f" * 30 + ".txt"
    files = {deep: b"deep\n", "top.txt": b"top\n"}
    setup = make_package(build_paths, engine, tmp_path, "Long Paths", files)
    part = "Long Paths " + "x" * 40
    long_dir = "C:\\" + "\\".join([part] * 4)
    assert len(long_dir) == 210
    base = build_paths.prefix / "drive_c" / part
    folder = build_paths.prefix / "drive_c" / "/".join([part] * 4)
    before = snapshots.take(wine, build_paths.prefix, tmp_path)

    assert wine.run(setup, f'/a /d:"{long_dir}"', timeout=120) == 1
    assert len(long_dir) + 1 + len(deep) == 349
    assert (folder / deep).read_bytes() == b"deep\n"
    assert (folder / "top.txt").read_bytes() == b"top\n"

    assert run_recorded(wine, "Long Paths") == 0
    assert wait_until(lambda: not base.exists()), sorted(str(p) for p in base.rglob("*"))
    assert snapshots.differences(before, snapshots.take(wine, build_paths.prefix, tmp_path)) == []
