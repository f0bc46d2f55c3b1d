#!/usr/bin/env bash
# The attack routes' table: every row's case is still in the suite, in the
# file it names, so no route loses its test without the table saying so.
# Usage: attack_routes_test.sh SOURCE_DIR
set -uo pipefail
top=$1
missing=0 rows=0
while IFS=$'\t' read -r round route file case; do
  case $round in '#'* | '') continue ;; esac
  rows=$((rows + 1))
  if ! grep -qF -- "$case" "$top/$file" 2>/dev/null; then
    echo "round $round, \"$route\": no \"$case\" in $file"
    missing=$((missing + 1))
  fi
done < "$top/tests/attack_routes.tsv"
echo "$rows routes, $missing without their case"
[ "$rows" -gt 0 ] && [ "$missing" = 0 ]
