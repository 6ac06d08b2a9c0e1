# Sourced by scripts/test-all.sh and scripts/package-check.sh: when ccache is
# installed and the caller chose no compiler launcher, compiles go through one
# cache in build/ccache (or $CCACHE_DIR). Paths are hashed relative to the
# checkout and the build folder is not hashed, so a tree configured with the
# same compiler and flags as another (the package tree and the linux tree)
# takes that tree's objects instead of compiling them again. The cache starts
# empty in a fresh checkout; every build also holds without it.
if command -v ccache >/dev/null && [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ]; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
  export CCACHE_DIR="${CCACHE_DIR:-$PWD/build/ccache}"
  export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
fi
