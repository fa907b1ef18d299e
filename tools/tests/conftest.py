import os
import subprocess
import sys
from pathlib import Path

import pytest

TOOLS = Path(__file__).resolve().parents[1]
sys.path.insert(0, str(TOOLS))


@pytest.fixture(scope="session")
def binary():
    """The program under test: $PAIRLAB_BINARY, else the repository's build/pairlab."""
    path = Path(os.environ.get("PAIRLAB_BINARY") or TOOLS.parent / "build" / "pairlab")
    assert path.is_file(), f"build the program first (scripts/build.sh): {path} is missing"
    return path.resolve()


def run_tool(name, *args, binary=None, cwd=None):
    """Runs tools/bin/<name> in place; returns the completed process (output captured)."""
    env = dict(os.environ, **({"PAIRLAB_BINARY": str(binary)} if binary else {}))
    return subprocess.run([str(TOOLS / "bin" / name), *map(str, args)], cwd=cwd, env=env,
                          capture_output=True, text=True)
