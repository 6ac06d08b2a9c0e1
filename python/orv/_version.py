"""The package version, the same as the project's (CMakeLists.txt)."""

__version__ = "0.3.0"
