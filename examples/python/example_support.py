"""What the Python examples share: the failures they report, and PNG files
that appear whole or not at all."""

from __future__ import annotations

import os

from matplotlib.figure import Figure

import orv

# What an example reports as one line on standard error (exit status 1): the
# instrument's and liborv's failures and arguments the package refuses.
FAILURES = (orv.OrvError, orv.AmbiguousDeviceError, orv.LibraryNotFoundError, ValueError,
            TypeError)


def save_figure(figure: Figure, path: str) -> None:
    """Saves ``figure`` as PNG into a temporary file beside ``path``, then
    moves it into place; on failure nothing is left behind. Raises
    :class:`OSError` when the folder cannot be written."""
    partial = f"{path}.{os.getpid()}.partial"
    try:
        figure.savefig(partial, format="png", dpi=100)
        os.replace(partial, path)
    except BaseException:
        if os.path.exists(partial):
            os.unlink(partial)
        raise
