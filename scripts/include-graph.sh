#!/usr/bin/env bash
# Prints which src/ folders include headers of which others ("from -> to  (count)"), then
# whether the graph has a cycle. Exits non-zero on a cycle or on an include spelled with "..".
set -euo pipefail
cd "$(dirname "$0")/../src"

# Every source under src/, subfolders too (src/ui/dialogs counts as ui).
sources=$(find . -mindepth 2 \( -name '*.h' -o -name '*.cpp' \) | sed 's#^\./##' | sort)

edges=$(echo "$sources" | xargs grep -HoE '^#include "[a-z_0-9]+/' -- |
  sed -E 's#^([a-z_0-9]+)/[^:]*:\#include "([a-z_0-9]+)/#\1 \2#' |
  awk '$1 != $2' | sort | uniq -c | awk '{print $2, $3, $1}')

echo "$edges" | awk 'NF { printf "%-9s -> %-9s (%s)\n", $1, $2, $3 }'

status=0
if echo "$sources" | xargs grep -nE '^#include "\.\./' --; then
  echo "includes reaching out with \"..\" bypass the floors" >&2
  status=1
fi
# tsort reports a loop when the folders cannot be put in one order.
if ! echo "$edges" | awk 'NF { print $2, $1 }' | tsort >/dev/null 2>/tmp/include-graph.$$; then
  cat /tmp/include-graph.$$ >&2
  echo "folder include cycle" >&2
  status=1
else
  echo "no cycle; bottom to top: $(echo "$edges" | awk 'NF { print $2, $1 }' | tsort | tr '\n' ' ')"
fi
rm -f /tmp/include-graph.$$
exit $status
