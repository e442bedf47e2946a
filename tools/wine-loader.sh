# Sourced: chooses how the scripts start Wine on this machine.
#
# Debian's "wine" always starts Wine's 32-bit loader, which hands 64-bit
# programs on to the 64-bit one. A kernel built without 32-bit support
# cannot run that loader at all ("Exec format error"). There, "wine" (and
# "wine-stable", which wineboot, winecfg and regedit call) are pointed at the
# 64-bit loader through a folder put first on PATH: 64-bit programs run and
# 32-bit ones cannot. BVL_WINE_RUNS_32BIT tells the callers which it is
# (1 or 0).
bvl_choose_wine_loader() {
  if /usr/lib/wine/wine --version >/dev/null 2>&1; then
    export BVL_WINE_RUNS_32BIT=1
    return 0
  fi
  local bin=${TMPDIR:-/tmp}/bvl-wine64-loader name
  mkdir -p "$bin"
  for name in wine wine-stable; do
    printf '#!/bin/sh\nexport WINELOADER=/usr/lib/wine/wine64\nexec /usr/lib/wine/wine64 "$@"\n' >"$bin/$name"
    chmod +x "$bin/$name"
  done
  case ":$PATH:" in *":$bin:"*) ;; *) export PATH=$bin:$PATH ;; esac
  export BVL_WINE_RUNS_32BIT=0
  echo "wine: this kernel cannot run 32-bit programs; Wine runs 64-bit programs only" >&2
}

# True when Wine here runs programs of the processor $1 (x86 or x64), after
# bvl_choose_wine_loader.
bvl_wine_runs() { [ "$1" != x86 ] || [ "$BVL_WINE_RUNS_32BIT" = 1 ]; }
