# Sourced by the Windows test scripts: use_run_prefix <work folder> sets and
# exports WINEPREFIX to the test run's prefix (the one BVL_WINE_PREFIX_FILE
# names) or, run alone, to one of the script's own in <work folder>, whose
# path file then stands in own_prefix for the script to remove at its end
# (tools/wine-prefix.sh remove).
use_run_prefix() {
  if [ -n "${BVL_WINE_PREFIX_FILE:-}" ] && [ -f "$BVL_WINE_PREFIX_FILE" ]; then
    WINEPREFIX=$(cat "$BVL_WINE_PREFIX_FILE")
  else
    own_prefix="$1/prefix.path"
    bash "$source_dir/tools/wine-prefix.sh" create "$own_prefix" >/dev/null || return 1
    WINEPREFIX=$(cat "$own_prefix")
  fi
  export WINEPREFIX
}
