"""Puts the liborv named by ORV_BUNDLE_LIBRARY into the package (orv/_lib/) when
the package is built; the rest of the configuration is in pyproject.toml."""

import os
import shutil
import sys
from pathlib import Path

from setuptools import setup
from setuptools.command.build_py import build_py
from setuptools.dist import Distribution

BUNDLE_VARIABLE = "ORV_BUNDLE_LIBRARY"
LIBRARY_FILE = "liborv.dll" if sys.platform == "win32" else "liborv.so"


def bundled_library():
    """The liborv to bundle, or None; a named file that is missing is an error."""
    named = os.environ.get(BUNDLE_VARIABLE)
    if not named:
        return None
    path = Path(named)
    if not path.is_file():
        sys.exit(f"setup.py: {BUNDLE_VARIABLE}={named}: no such file")
    return path


class BuildWithLibrary(build_py):
    """build_py that also copies the bundled liborv into orv/_lib/."""

    def run(self):
        super().run()
        library = bundled_library()
        if library is not None:
            target = Path(self.build_lib) / "orv" / "_lib"
            target.mkdir(parents=True, exist_ok=True)
            shutil.copy2(library, target / LIBRARY_FILE)


class PlatformDistribution(Distribution):
    """With a bundled liborv the wheel is for this platform only."""

    def has_ext_modules(self):
        return bundled_library() is not None


setup(cmdclass={"build_py": BuildWithLibrary}, distclass=PlatformDistribution)
