#!/usr/bin/env bash
# The folders' order as docs/layout.md states it: a folder includes itself and
# the folders below it, never one above or beside it; only engine/ sees Qt
# WebEngine. Each wrong include is printed as FILE: INCLUDE.
# Usage: layering_test.sh SOURCE_DIR
set -uo pipefail
cd "$1" || exit 2
# From the top down; folders on one line stand side by side.
layers=(
  "app"
  "upgrade"
  "browser renderer"
  "telephony channel"
  "env phonebox"
  "engine platform"
)
declare -A level
for i in "${!layers[@]}"; do for folder in ${layers[$i]}; do level[$folder]=$i; done; done

wrong=0
for folder in "${!level[@]}"; do
  while IFS=: read -r file line include; do
    target=${include#*\"}
    target=${target%%/*}
    [ -n "${level[$target]:-}" ] || continue
    if [ "$target" != "$folder" ] && [ "${level[$target]}" -le "${level[$folder]}" ]; then
      echo "$file:$line:$include ($folder/ includes only itself and the folders below it)"
      wrong=$((wrong + 1))
    fi
  done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[a-z_]+/' "$folder" --include='*.cc' --include='*.h')
  if [ "$folder" != engine ]; then
    while IFS= read -r line; do
      echo "$line (Qt WebEngine outside engine/)"
      wrong=$((wrong + 1))
    done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*<(QtWebEngine|QWebEngine)' "$folder" --include='*.cc' --include='*.h')
  fi
done
# Every product folder has its place in the order.
for dir in */; do
  dir=${dir%/}
  case $dir in bench|build*|fuzz|resources|scripts|tests|tools|window-shots) continue ;; esac
  if [ -z "${level[$dir]:-}" ] && compgen -G "$dir/*.cc" > /dev/null; then
    echo "$dir/: a folder of code with no place in the order"
    wrong=$((wrong + 1))
  fi
done
echo "$wrong wrong includes"
[ "$wrong" = 0 ]
