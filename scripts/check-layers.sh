#!/usr/bin/env bash
# The folders of src/ are layers, from the ground up, as the data flows; a file may
# include its own folder and the folders below it, never one above. Prints every
# include that points upwards and fails when there is one.
#
#   base      the result type, UTF-8 and the code page, SHA-256
#   generator the one random sequence
#   numbers   the number rules and their vector kernels
#   raster    the surface and its verbs
#   text      faces, shaping and drawing text on a surface
#   core      the shared state and the host interface (the platform's services)
#   palette   the palette table, the strip, colour splitting, the chooser
#   styles    the 23 drawing styles
#   card      names to seed, the generation pass, the greeting
#   effects   the displacement effect, the ornament tree, mirroring
#   files     image names, bitmap writers, atomic saving
#   commands  making a card stage by stage, the button commands and loops
#   mail      sending the card (the card's file, the names and the message as plain inputs)
#   batch     cards for a whole list: threads, manifest, restart, mail merge, shards
#   web       `serve`: the page, the card API, the cache, the HTTP server
#   cli, window   the front ends (with bench/ and tests/ above everything)
set -euo pipefail
cd "$(dirname "$0")/../src"
layers=(base generator numbers raster text core palette styles card effects files commands mail batch web cli window)
rank() { local k; for k in "${!layers[@]}"; do [ "${layers[$k]}" = "$1" ] && { echo "$k"; return; }; done; echo -1; }
bad=0
for dir in "${layers[@]}"; do
  [ -d "$dir" ] || continue
  own=$(rank "$dir")
  while IFS=: read -r file line text; do
    target=$(sed -E 's/.*#include "([a-z_]+)\/.*/\1/' <<<"$text")
    to=$(rank "$target")
    if [ "$to" -lt 0 ] || { [ "$to" -gt "$own" ] && ! { [ "$dir" = cli ] || [ "$dir" = window ]; } ; } || \
       { [ "$dir" = cli ] && [ "$target" = window ]; } || { [ "$dir" = window ] && [ "$target" = cli ]; }; then
      echo "src/$file:$line: $dir/ includes $target/, which is not below it"
      bad=1
    fi
  done < <(grep -rnE '^#include "[a-z_]+/' "$dir" | sed -E "s#^#$dir/#; s#^$dir/$dir/#$dir/#")
done
[ "$bad" -eq 0 ] && echo "layers: every include points downwards"
exit "$bad"
