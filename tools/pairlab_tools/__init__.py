"""Companion tools of Pairlab: parameter sweeps (pairlab-sweep) and figures (pairlab-plot)."""

import os
import shutil
from pathlib import Path

PACKAGE_DIR = Path(__file__).resolve().parent
SNAKEFILE = PACKAGE_DIR / "Snakefile"
# In the repository: tools/profiles; installed: share/pairlab/profiles.
SLURM_PROFILE = PACKAGE_DIR.parent / "profiles" / "slurm"


def find_binary(given=None):
    """The pairlab program: the one given, else $PAIRLAB_BINARY, else the installed one beside
    the commands (<prefix>/bin), else the repository's build/pairlab, else pairlab on the PATH."""
    chosen = given or os.environ.get("PAIRLAB_BINARY")
    if chosen:
        return Path(chosen).resolve()
    for candidate in (PACKAGE_DIR.parents[2] / "bin" / "pairlab",
                      PACKAGE_DIR.parents[1] / "build" / "pairlab"):
        if candidate.is_file():
            return candidate
    found = shutil.which("pairlab")
    return Path(found).resolve() if found else None


def find_analyzer(binary):
    """pairlab-analyze: the one beside the pairlab program (both are built into build/ and
    installed into <prefix>/bin), or None."""
    candidate = Path(binary).parent / "pairlab-analyze"
    return candidate if candidate.is_file() else None
