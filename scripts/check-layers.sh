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
#   core      a card's sizes and the small values its stages hand on, the watch
#   palette   the palette table, the strip, colour splitting, the chooser's swatches
#   styles    the 23 drawing styles
#   effects   the displacement effect, the ornament tree, mirroring
#   card      names to seed, the generation pass, the greeting: MakeCard
#   files     image names, bitmap writers, atomic saving
#   commands  the session: the window's commands, saving, the card's report
#   mail      sending the card (the card's file, the names and the message as plain inputs)
#   batch     cards for a whole list: threads, manifest, restart, mail merge, shards
#   web       `serve`: the page, the card API, the cache, the HTTP server
#   cli, window   the front ends (with bench/ and tests/ above everything)
set -euo pipefail
cd "$(dirname "$0")/../src"
layers=(base generator numbers raster text core palette styles effects card files commands mail batch web cli window)
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

# The engine (every layer below commands) is made of values: no session, no
# hidden state. Nowhere a card is ended by an exception or an event pump.
engine=(base generator numbers raster text core palette styles effects card files)
shape() {  # what, pattern, folders...
  local what=$1 pattern=$2; shift 2
  if grep -rnE "$pattern" "$@" --include=*.h --include=*.cpp; then echo "^ $what"; bad=1; fi
}
shape "a session or state type in the engine" '\b(struct|class) +(State|Session)\b|\bState *[&*]' "${engine[@]}"
shape "mutable static state in the engine" '^\s*static +(std::(mutex|atomic|set|map|vector|string)|[A-Za-z_:]+\*)' "${engine[@]}"
shape "thread-local state, an event pump or an exception that ends a card" '\bthread_local\b|processEvents|DoEvents|WindowClosing' .
for f in $(grep -rlE 'catch \(\.\.\.\)' . --include=*.cpp); do
  # cli/program.cpp is the body of both command-line programs' main.
  [ "$(basename "$f")" = main.cpp ] || [ "$f" = ./cli/program.cpp ] || { echo "$f: catch (...) outside a program's main"; bad=1; }
done
[ "$bad" -eq 0 ] && echo "shape: no session in the engine, no hidden state, no catch (...) below main"
exit "$bad"
