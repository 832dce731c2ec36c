#!/usr/bin/env bash
# Fails when a file includes a header of a layer above its own:
#   base <- platform/* <- frame <- graph, export <- grid <- designer <- delivery
#   <- component <- apps
# (the link check of each layer's library catches reaches through symbols;
# this catches reaches through headers, inline code included). The program
# in apps/ and the public headers in include/ see include/fennick only.
set -uo pipefail
cd "$(dirname "$0")/.."
status=0

check() {  # folder, then the include prefixes it may not use
  local dir=$1; shift
  [ -d "$dir" ] || return 0
  local p hits
  for p in "$@"; do
    hits=$(grep -rnE "^#include \"$p" "$dir" --include='*.h' --include='*.cc')
    if [ -n "$hits" ]; then
      echo "$dir reaches up into $p:"
      echo "$hits" | sed 's/^/  /'
      status=1
    fi
  done
}

above_platform=(frame/ graph/ export/ grid/ designer/ delivery/ component/)
check src/base platform/ "${above_platform[@]}"
check src/platform "${above_platform[@]}"
check src/frame graph/ export/ grid/ designer/ delivery/ component/
check src/graph export/ grid/ designer/ delivery/ component/
check src/export graph/ grid/ designer/ delivery/ component/
check src/grid designer/ delivery/ component/
check src/designer delivery/ component/
check src/delivery component/

# The program and the public headers: include/fennick only.
hits=$(grep -rnE '^#include "' apps include | grep -vE '#include "(fennick/|[a-z_]+\.h")')
if [ -n "$hits" ]; then
  echo "apps/ and include/ may include the public headers only:"
  echo "$hits" | sed 's/^/  /'
  status=1
fi

[ $status -eq 0 ] && echo "layering: every include stays within its layer or below"
exit $status
