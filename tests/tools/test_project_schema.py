"""The JSON Schema that `halvard-build schema` writes accepts examples/hello's project
and the starter project that `halvard-build new` writes, and refuses what the loader
refuses: an unknown key and a value of the wrong type. The Markdown reference in docs/
is the one the table gives, and names the schema."""

from __future__ import annotations

import datetime
import json
import os
import subprocess
import tomllib
from pathlib import Path

import jsonschema
import pytest

REPO = Path(__file__).resolve().parents[2]
BUILDER = os.environ.get("HALVARD_BUILD", str(REPO / "build" / "native" / "tools" / "builder" / "halvard-build"))


def run(*args: str, cwd: Path | None = None) -> subprocess.CompletedProcess:
    return subprocess.run([BUILDER, *args], capture_output=True, text=True, timeout=120, cwd=cwd)


def as_json(value):
    """TOML as JSON has it: dates and times become ISO texts."""
    if isinstance(value, dict):
        return {k: as_json(v) for k, v in value.items()}
    if isinstance(value, list):
        return [as_json(v) for v in value]
    if isinstance(value, (datetime.date, datetime.time)):
        return value.isoformat()
    return value


@pytest.fixture(scope="module")
def validator():
    schema = json.loads(run("schema").stdout)
    jsonschema.Draft202012Validator.check_schema(schema)
    return jsonschema.Draft202012Validator(schema)


@pytest.fixture(scope="module")
def starter(tmp_path_factory) -> Path:
    folder = tmp_path_factory.mktemp("starter") / "x"
    assert run("new", str(folder)).returncode == 0
    return folder


def test_the_projects_we_ship_are_valid(validator, starter):
    for project in (REPO / "examples" / "hello" / "project.toml", starter / "project.toml"):
        errors = [e.message for e in validator.iter_errors(as_json(tomllib.loads(project.read_text())))]
        assert errors == [], project


def test_the_starter_project_names_its_schema(starter):
    text = (starter / "project.toml").read_text()
    assert text.splitlines()[0] == "#:schema ./halvard-project.schema.json"
    assert (starter / "halvard-project.schema.json").read_text() == run("schema").stdout


@pytest.mark.parametrize("change, fault", [
    ('[product]\nname = "X"\ncolour = "red"\n', "'colour' was unexpected"),
    ('[product]\nname = "X"\n[bild]\noutput = "a.exe"\n', "'bild' was unexpected"),
    ('[product]\nname = "X"\n[[files]]\nsource = "a"\nflavour = 1\n', "'flavour' was unexpected"),
    ('[product]\nname = 7\n', "7 is not of type 'string'"),
    ('[product]\nname = "X"\n[build]\ndata_on_disk = "yes"\n', "'yes' is not of type 'boolean'"),
    ('[product]\nname = "X"\n[window]\ntop_color = "blue"\n', "is not valid under any of the given schemas"),
    ('[product]\nname = "X"\n[options]\nsetup_options = ["no_such_option"]\n',
     "is not valid under any of the given schemas"),
    ('[product]\nname = "X"\n[sign]\n', "'command' is a required property"),
])
def test_unknown_keys_and_wrong_types_are_refused_by_schema_and_loader(validator, tmp_path, change, fault):
    errors = [e.message for e in validator.iter_errors(as_json(tomllib.loads(change)))]
    assert any(fault in e for e in errors), errors
    # The loader refuses the same project.
    (tmp_path / "project.toml").write_text(change)
    done = run("build", str(tmp_path / "project.toml"), "--engine", str(tmp_path / "none.exe"))
    assert done.returncode == 1 and done.stderr.startswith("error: ") and "project.toml:" in done.stderr


def test_the_reference_in_docs_is_generated():
    reference = (REPO / "docs" / "project-reference.md").read_text()
    assert reference == run("reference").stdout, "regenerate: halvard-build reference -o docs/project-reference.md"
    # Its example is built by the unit tests (BuilderSchema), with a small engine image.
    assert "```toml\n#:schema ./halvard-project.schema.json\n" in reference
