#!/usr/bin/env bash
# Checks that every include of our own headers under src/ follows the layers
# of docs/ARCHITECTURE.md: a file includes only from its own layer and the
# layers below it. Prints each offending include and fails on any.
set -euo pipefail
src=$(cd "$(dirname "$0")/../../src" && pwd)

# The layer of a file, by its path below src/.
layer() {
  case $1 in
    transport/*) echo transport ;;
    adapter/*) echo adapter ;;
    comm/*) echo comm ;;
    can/*) echo can ;;
    config/IniFile.* | config/SetupFile.* | config/Unitconfig.*) echo files ;;
    bridge/*) echo bridge ;;
    decode/*) echo decode ;;
    dialogs/* | config/*) echo dialogs ;;
    mainwindow/*) echo mainwindow ;;
    main.cpp) echo program ;;
    *) echo unknown ;;
  esac
}

# What each layer may include.
allowed() {
  case $1 in
    transport) echo "transport" ;;
    adapter) echo "transport adapter" ;;
    comm) echo "transport adapter comm" ;;
    can) echo "adapter can" ;;
    files) echo "adapter can files" ;;
    bridge) echo "transport adapter comm can files bridge" ;;
    decode) echo "adapter can decode" ;;
    dialogs) echo "transport adapter comm can files dialogs" ;;
    mainwindow) echo "transport adapter comm can files dialogs mainwindow" ;;
    program) echo "transport adapter comm can files dialogs mainwindow program" ;;
  esac
}

fail=0
cd "$src"
while IFS= read -r file; do
  from=$(layer "$file")
  if [ "$from" = unknown ]; then
    echo "$file: in no layer of docs/ARCHITECTURE.md"
    fail=1
    continue
  fi
  dir=$(dirname "$file")
  while IFS= read -r inc; do
    # A bare name is a file of the same folder.
    case $inc in */*) target=$inc ;; *) target=$dir/$inc ;; esac
    [ -e "$target" ] || continue # not ours (Qt, the system)
    to=$(layer "$target")
    case " $(allowed "$from") " in
      *" $to "*) ;;
      *) echo "$file ($from) includes $inc ($to)"; fail=1 ;;
    esac
  done < <(sed -n 's/^#include "\(.*\)".*/\1/p' "$file")
done < <(find . -name '*.cpp' -o -name '*.h' | sed 's|^\./||' | sort)
[ $fail = 0 ] && echo "every include follows the layers"
exit $fail
