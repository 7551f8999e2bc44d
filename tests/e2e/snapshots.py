"""What a Wine prefix holds, as two comparable snapshots: every file under drive_c with
its content digest, and the registry exported as text lines."""

from __future__ import annotations

import hashlib
import re
from dataclasses import dataclass
from pathlib import Path

from harness import windows_path

# What Wine writes for itself while programs run (its display adapter, its console
# defaults, its hardware tree), whatever the programs do.
WINE_OWN_KEYS = (
    "HKEY_CURRENT_USER\\Console\\",
    "HKEY_CURRENT_USER\\Software\\Wine\\",
    "HKEY_LOCAL_MACHINE\\Hardware\\",
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Class\\",
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\DeviceClasses\\",
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\ServiceCurrent\\",
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Video\\",
    "HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Hardware Profiles\\",
)


@dataclass
class Snapshot:
    files: dict[str, str]
    registry: set[str]


def file_digests(drive_c: Path) -> dict[str, str]:
    digests = {}
    for path in drive_c.rglob("*"):
        relative = str(path.relative_to(drive_c))
        if path.is_symlink():
            digests[relative] = "link:" + str(path.readlink())
        elif path.is_dir():
            digests[relative + "/"] = "folder"
        elif path.is_file():
            digests[relative] = hashlib.sha1(path.read_bytes()).hexdigest()
    return digests


def registry_lines(wine, work: Path) -> set[str]:
    """Each value as "key\\name=data"; each key as "key\\". Read in the 64-bit view, which
    shows the 32-bit one too, under Wow6432Node: both views are compared whole."""
    lines = set()
    for root in ("HKLM", "HKCU"):
        export = work / f"{root}.reg"
        wine.tool(["wine", "reg", "export", root, windows_path(export), "/y", "/reg:64"])
        text = export.read_bytes().decode("utf-16" if export.read_bytes()[:2] == b"\xff\xfe" else "latin-1")
        key = ""
        # A value's data may go on over lines ending in a backslash.
        for line in re.sub(r"\\\r?\n\s*", "", text).splitlines():
            if line.startswith("["):
                key = line.strip("[]")
                lines.add(key + "\\")
            elif line and key:
                lines.add(key + "\\" + line)
        export.unlink()
    return {line for line in lines if not line.startswith(WINE_OWN_KEYS)}


def take(wine, prefix: Path, work: Path) -> Snapshot:
    return Snapshot(file_digests(prefix / "drive_c"), registry_lines(wine, work))


def differences(before: Snapshot, after: Snapshot) -> list[str]:
    changes = []
    for path in sorted(set(before.files) | set(after.files)):
        if before.files.get(path) != after.files.get(path):
            state = "added" if path not in before.files else "removed" if path not in after.files else "changed"
            changes.append(f"file {state}: {path}")
    for line in sorted(before.registry ^ after.registry):
        state = "added" if line in after.registry else "removed"
        changes.append(f"registry {state}: {line}")
    return changes
