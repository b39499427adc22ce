#!/usr/bin/env bash
# Mutation check: does the test suite notice a single small fault?
#
# Each mutant below is one fault a developer could make (a loop bound, a
# constant, a dropped call, a dropped error check, a swapped operand): a file,
# the exact text to find there and its replacement. The script copies the tree
# once to a scratch folder, builds it there, and for every mutant applies it,
# rebuilds the tests and the command line incrementally, runs the test binary
# (a failure or a hang kills the mutant) and restores the file. It prints
# killed/total and the survivors. A mutant whose text is no longer in its file
# is reported as "not applied" and left out of the count; so is one that does
# not build.
#
#   scripts/mutants.sh               every mutant (about half an hour on 2 cores)
#   scripts/mutants.sh REGEX         only mutants whose line matches REGEX (grep -E)
#   MUTANTS_DRY=1 scripts/mutants.sh only check that every pattern still applies
#
# Mutants sit in .cpp files (a header rebuilds everything that includes it),
# but for the palette colours: their table is a header, palette_table.h, so each
# of its three mutants rebuilds most of the engine. The mail and command-line
# mutants are killed by those suites, the rest by the engine core's tests. Not
# part of CI: it takes long. Environment: MUTANTS_JOBS (build jobs, default 2),
# MUTANTS_TIMEOUT (seconds per suite run, default 180), MUTANTS_KEEP=1 keeps the
# scratch folder.
set -euo pipefail
cd "$(dirname "$0")/.."
src_root=$PWD
filter=${1:-}
jobs=${MUTANTS_JOBS:-2}
limit=${MUTANTS_TIMEOUT:-180}

# file @@ text to find @@ replacement (empty: the text is dropped) @@ what it breaks
mutants=$(cat <<'EOF'
src/raster/surface.cpp @@ * (2 * db) + da; @@ * (2 * db) + da - 1; @@ line rounding off by one (halves down)
src/raster/surface.cpp @@ long start = std::max(a0, 0L), end = std::min<long>(a1, (steep ? h_ : w_) - 1); @@ long start = std::max(a0, 0L), end = std::min<long>(a1, (steep ? h_ : w_) - 2); @@ sloping lines clipped one pixel short
src/raster/surface.cpp @@ if (k != 0) { @@ if (k > 1) { @@ an ellipse misses a row
src/raster/surface.cpp @@ WriteRows(xa, ya, xb - 1, yb - 1, @@ WriteRows(xa, ya, xb - 2, yb - 1, @@ boxes one pixel short
src/text/text.cpp @@ const Key key{face, points, id}; @@ const Key key{face, 0.0 * points, id}; @@ a kept glyph reused at another size
src/text/text.cpp @@ std::fill(row + x, row + x + 8, colour); @@ std::fill(row + x, row + x + 7, colour); @@ solid glyph runs miss a pixel
src/raster/surface.cpp @@ r -= carry ? two_da : 0; @@ r -= carry ? two_da - 1 : 0; @@ a rising line drifts off its rounding
src/effects/displacement.cpp @@ static_cast<double>(draws[2 * p + 1]) @@ static_cast<double>(draws[2 * p]) @@ rule 3 takes one draw twice
src/effects/displacement.cpp @@ arg[k] = angle[k] * (m == 0 ? i : m == 1 ? j : i + j) / 500; @@ arg[k] = angle[k] * (m == 0 ? i : m == 1 ? i : i + j) / 500; @@ rule 1 second vector waves along the wrong axis
src/numbers/numeric.cpp @@ const __m512d floor = _mm512_mask_roundscale_pd(zero, 0xFF, root, @@ const __m512d floor = _mm512_mask_roundscale_pd(zero, 0xFF, _mm512_sub_pd(root, _mm512_set1_pd(1e-9)), @@ AVX-512 whole distances one short at perfect squares
src/numbers/numeric.cpp @@ _mm256_floor_pd(_mm256_sqrt_pd @@ _mm256_ceil_pd(_mm256_sqrt_pd @@ AVX2 whole distances rounded up
src/numbers/numeric.cpp @@ (V{} + 4.16666666666666019037e-02) @@ (V{} + 4.166666666666e-02) @@ paired cosine kernel constant
src/numbers/numeric.cpp @@ (V{} + -1.66666666666666324348e-01) @@ (V{} + -1.66666666666666e-01) @@ paired sine kernel constant
src/palette/palette_table.h @@ {66, 183, 218}, {2, 114, 224} @@ {66, 183, 218}, {2, 115, 224} @@ one palette colour changed
src/palette/palette_table.h @@ {135, 135, 135}, {140, 140, 140} @@ {135, 135, 135}, {141, 140, 140} @@ the grey ramp broken
src/palette/palette_strip.cpp @@ constexpr double kLift = 40; @@ constexpr double kLift = 41; @@ strip brightening constant
src/palette/palette_strip.cpp @@ constexpr double kStep = -2; @@ constexpr double kStep = -3; @@ strip darkening step
src/palette/palette_strip.cpp @@ const double y = Floor(g.Uniform() * 655 + 10); @@ const double y = Floor(g.Uniform() * 655 + 11); @@ blob height constant
src/palette/palette_strip.cpp @@ strip.Circle(kX, y + 1, ring, c, aspect); @@ (void)c; @@ a dropped ring copy in the strip
src/palette/palette_strip.cpp @@ c.blue = Floor(rest / 65536); @@ c.blue = Floor(rest / 65535); @@ colour splitting constant
src/palette/palette_chooser.cpp @@ constexpr int kHighestPalette = kPaletteCount; @@ constexpr int kHighestPalette = kPaletteCount - 1; @@ the chooser refuses its highest palette
src/palette/palette_chooser.cpp @@ y += 22) @@ y += 23) @@ swatch rows spaced wrongly
src/styles/stripe_bands.cpp @@ c.canvas.Line(x + 1, corner.y, x + 1, corner.y + 100, colour); @@ @@ a dropped line in a style
src/styles/stripe_bands.cpp @@ for (double y = corner.y; y <= end; y += 2) { @@ for (double y = corner.y; y < end; y += 2) { @@ a loop bound in a style
src/styles/ring_clusters.cpp @@ c.canvas.Circle(centre.x + a, centre.y + 1 + b, radius, colour); @@ @@ a dropped ring in a style
src/styles/ring_clusters.cpp @@ const double radius = Floor(c.rng.Uniform() * 40 + 50); @@ const double radius = Floor(c.rng.Uniform() * 40 + 51); @@ a ring radius constant
src/styles/roses.cpp @@ const double length = radius * (Sin(petals * angle) + 1) + 10; @@ const double length = radius * (Sin(petals * angle) + 1) + 11; @@ rose petal constant
src/styles/colour_wheels.cpp @@ DrawSpoke(c.canvas, centre, radius * Sin(angle), radius * Cos(angle), colour); @@ DrawSpoke(c.canvas, centre, radius * Cos(angle), radius * Sin(angle), colour); @@ spokes with swapped offsets
src/styles/shaded_balls.cpp @@ ShadeComponents(shade, -50); @@ ShadeComponents(shade, -51); @@ ball shading constant
src/styles/circle_trails.cpp @@ const double y = direction == 1 ? start.y : start.y + 2 * k; @@ const double y = direction != 3 ? start.y : start.y + 2 * k; @@ the downward trail never drawn
src/styles/extruded_letters.cpp @@ canvas.cursor_y = y + k; @@ canvas.cursor_y = y - k; @@ letters extruded the wrong way
src/styles/random_walks.cpp @@ double y = along_row ? start_y : start_y + 5 * thread; @@ double y = along_row ? start_y : start_y + 4 * thread; @@ thread spacing
src/styles/shaded_cones.cpp @@ Brighten(shade, 0.3); @@ Brighten(shade, 0.3); shade.red += 0.1; @@ cone shading on the way back
src/card/seed.cpp @@ constexpr std::size_t kMaxNameChars = 100; @@ constexpr std::size_t kMaxNameChars = 99; @@ a hundred-character name refused
src/card/seed.cpp @@ return static_cast<double>(4396645 + sum * n); @@ return static_cast<double>(4396645 + sum + n); @@ the seed formula
src/card/card_text.cpp @@ card.cursor_x = 11; @@ card.cursor_x = 14; @@ the greeting moved by three pixels
src/card/card_text.cpp @@ for (double x = 5; x <= 895; x += 1) @@ for (double x = 5; x < 895; x += 1) @@ the band one unit short
src/card/generation_pass.cpp @@ } while (!(p.styles_chosen >= 1 && p.styles_chosen <= settings.max_styles)); @@ } while (!(p.styles_chosen >= 1 && p.styles_chosen < settings.max_styles)); @@ the style limit off by one
src/card/generation_pass.cpp @@ p.divisor7 = Floor(g.Uniform() * 10 + 5); @@ p.divisor7 = Floor(g.Uniform() * 10 + 6); @@ rule 13 divisor constant
src/card/generation_pass.cpp @@ p.passes = Floor(settings.max_styles / p.styles_chosen) + 1; @@ p.passes = Floor(settings.max_styles / p.styles_chosen) + 2; @@ one pass too many
src/effects/displacement.cpp @@ static_cast<float>(ra / (rb * 50 + 5) + 1); @@ static_cast<float>(ra / (rb * 50 + 6) + 1); @@ a constant in rule 3
src/effects/displacement.cpp @@ (m == 0 ? i : m == 1 ? j : i + j) / 500; @@ (m == 0 ? i : m == 1 ? j : i + j) / 501; @@ a constant in rules 1 and 2
src/effects/displacement.cpp @@ a3 = length3 * (1 + 0.04 * angle1); @@ a3 = length3 * (1 + 0.05 * angle1); @@ a constant in rule 4
src/effects/displacement.cpp @@ m == 0 ? 2.1 : m == 1 ? 1.8 : 1.5; @@ m == 0 ? 2.1 : m == 1 ? 1.9 : 1.5; @@ a constant in rule 6
src/effects/displacement.cpp @@ a1 = (a.d[0][k] / divisor7) * (1 + a.s[0][k]) * a.c[0][k]; @@ a1 = (a.d[0][k] / divisor7) * (1 - a.s[0][k]) * a.c[0][k]; @@ a sign in rule 13
src/effects/displacement.cpp @@ if (sj > 670) sj = 2 * 670 - sj; @@ if (sj > 670) sj = 2 * 671 - sj; @@ folding at the bottom edge
src/effects/displacement.cpp @@ MIRELUNE_FLOOR(f1, d2 / 10); @@ MIRELUNE_FLOOR(f1, d1 / 10); @@ swapped operand in offset mode 3, in vector lanes
src/effects/displacement.cpp @@ sj = RoundEven(j + vj[1] + Floor(e3 / 10)); @@ sj = RoundEven(j + vj[1] + Floor(e2 / 10 + 0 * e3)); @@ swapped operand in offset mode 3, one position at a time
src/effects/displacement.cpp @@ if (x[k] >= 0) last_x[x[k]] = k; @@ if (x[k] >= 0 && last_x[x[k]] == 0) last_x[x[k]] = k; @@ a pixel column takes its first position, not its last
src/effects/displacement.cpp @@ length = Floor(g.Uniform() * 100 + 50); @@ length = Floor(g.Uniform() * 100 + 51); @@ vector length constant
src/effects/ornament_tree.cpp @@ red -= 4; @@ red -= 5; @@ bauble glow step
src/effects/ornament_tree.cpp @@ for (int bauble = 1; bauble <= 400; ++bauble) { @@ for (int bauble = 1; bauble < 400; ++bauble) { @@ one bauble fewer
src/effects/mirror.cpp @@ card.DrawImageScaled(snapshot, 0, h, w, -h); @@ card.DrawImageScaled(snapshot, 0, 0, w, h); @@ the vertical flip does nothing
src/files/image_name.cpp @@ d.substr(0, 2) + d.substr(3, 2) @@ d.substr(3, 2) + d.substr(0, 2) @@ month and day swapped in the name
src/files/bitmap_writer.cpp @@ dst[x * 3] = (c >> 16) & 0xFF;  // blue first @@ dst[x * 3] = (c >> 8) & 0xFF; @@ a wrong channel in the bitmap
src/files/file_writer.cpp @@ if ((old.st_mode & 0222) == 0) return Fail(shown, "the file is read-only; it was left as it is", EACCES); @@ @@ a read-only file replaced (as root)
src/files/file_writer.cpp @@ if (const int err = WriteAll(fd, bytes)) return p.Failed(err); @@ WriteAll(fd, bytes); @@ a dropped error check on writing
src/files/file_writer.cpp @@ } else if (::renameat(dirfd, p.temp.c_str(), dirfd, leaf.c_str()) != 0) { @@ } else if (false) { @@ a dropped rename into place
src/files/saving.cpp @@ const Result<> w = WriteNewFile(r.path, bytes); @@ const Result<> w = WriteFileSafely(r.path, bytes); @@ a time-stamped card replaces another
src/commands/loops.cpp @@ if (s.settings.images_saved > limit) { @@ if (s.settings.images_saved >= limit) { @@ the loop with saving ends one card early
src/commands/loops.cpp @@ if (!r) { @@ if (false) { @@ a failed save does not stop the loop
src/cli/card.cpp @@ ->check(WholeNumber(1, 26)); @@ ->check(WholeNumber(0, 26)); @@ --palette 0 accepted
src/cli/card.cpp @@ ->check(WholeNumber(1, 24)); @@ ->check(WholeNumber(1, 25)); @@ --max-styles 25 accepted
src/base/checks.cpp @@ if (chars.size() > 100) @@ if (text.size() > 100) @@ names counted in bytes
src/cli/main.cpp @@ if (const mirelune::Result<> flushed = FlushStdout(); !flushed) status = Fail(1, flushed.message); @@ (void)FlushStdout(); @@ a failed write to standard output ends with 0
src/cli/main.cpp @@ return Fail(2, ParseFailure(e, app), command); @@ return Fail(1, ParseFailure(e, app), command); @@ bad input ends with exit 1
src/mail/mail_mime.cpp @@ if (HasControl(item.subject)) @@ if (false) @@ a line break in the subject reaches the header
src/mail/mail_mime.cpp @@ constexpr std::size_t kBytes = 39; @@ constexpr std::size_t kBytes = 45; @@ header lines with encoded words over 76 characters
src/mail/mail_smtp.cpp @@ if (!again) return Error{Explain( @@ if (!again) return Result<>::Done(); if (false) return Error{Explain( @@ a refused mail reported as sent
src/mail/mail_smtp.cpp @@ curl_mime_encoder(part, "quoted-printable"); @@ @@ the message text sent unencoded (8-bit, long lines)
src/mail/mail_smtp.cpp @@ long{login && !loopback ? CURLUSESSL_ALL : CURLUSESSL_TRY} @@ long{CURLUSESSL_TRY} @@ a login sent in clear to another machine
src/mail/mail_smtp.cpp @@ if (server.scheme == "smtp") curl_easy_setopt(curl, CURLOPT_USE_SSL @@ if (server.scheme == "smtps") curl_easy_setopt(curl, CURLOPT_USE_SSL @@ STARTTLS never asked for
src/mail/mail_desktop.cpp @@ if (r.finished && r.exit_status != 0) { @@ if (r.finished && r.exit_status == 0) { @@ the mail program's failure taken for success
src/mail/mail.cpp @@ if (!r.ok && !item.attachments.empty()) @@ if (r.ok && !item.attachments.empty()) @@ a failed mail does not say where the card is saved
src/commands/commands.cpp @@ if (s.settings.max_styles > kMaxStyles) s.settings.max_styles = kMaxStyles; @@ @@ the style limit grows past 24
src/commands/commands.cpp @@ if (s.settings.max_styles == 0) s.settings.max_styles = 1; @@ if (s.settings.max_styles == -1) s.settings.max_styles = 1; @@ the style limit drops to 0
src/commands/commands.cpp @@ if (s.settings.colour_mode > kColourModes - 1) s.settings.colour_mode = 0; @@ if (s.settings.colour_mode > kColourModes) s.settings.colour_mode = 0; @@ one colour mode too many
src/core/state.cpp @@ s.settings.max_styles = 15; @@ s.settings.max_styles = 16; @@ the start value of the style limit
src/commands/make_card.cpp @@ DrawOrnamentTree(s.card, s.canvas, s.pass, s.settings, g, s.host); @@ @@ a dropped stage
src/batch/list.cpp @@ constexpr int kMaxNameChars = 100; @@ constexpr int kMaxNameChars = 101; @@ a list accepts a 101-character name
src/batch/batch.cpp @@ return row.index % o_.shards == o_.shard; @@ return row.index % o_.shards != o_.shard; @@ a shard takes the other shards' rows
src/text/text.cpp @@ if (b->w <= 0 || b->h <= 0 || b->px.empty()) { @@ if (false) { @@ a blank colour glyph box-filtered as if it had a pixel
src/text/text.cpp @@ CanBeEmoji(text[k], uf)); @@ (CanBeEmoji(text[k], uf) || true)); @@ a selector after a blank asks for the colour face
src/text/text.cpp @@ {"opentype/noto/NotoSansCJK-Regular.ttc", 0, "fonts-noto-cjk"}, @@ @@ a script face dropped from the pinned list
src/base/utf8.cpp @@ constexpr char32_t kHigh[32] = {0x20AC, @@ constexpr char32_t kHigh[32] = {0x20AD, @@ the Windows-1252 table: the euro sign's code
src/base/utf8.cpp @@ static constexpr char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x10000}; @@ static constexpr char32_t kMin[5] = {0, 0, 0x80, 0x800, 0x1000}; @@ an overlong four-byte UTF-8 form accepted
src/files/safe_open.cpp @@ if (SharedFolder(dir_st) && st.st_uid != ::geteuid() && st.st_uid != dir_st.st_uid) @@ if (false) @@ another user's link followed in a shared folder
src/files/safe_open.cpp @@ if (!S_ISREG(file.st_mode) || file.st_nlink <= 1 || file.st_uid == ::geteuid()) return {}; @@ return {}; @@ someone else's hard-linked file written
src/files/safe_open.cpp @@ if (++links > kMaxLinks) @@ if (++links > kMaxLinks + 1) @@ one symlink more than the kernel follows
src/files/safe_open.cpp @@ O_RDWR | O_APPEND | O_CREAT | O_NOFOLLOW | O_NOCTTY @@ O_RDWR | O_APPEND | O_CREAT | O_NOCTTY @@ a planted manifest link followed
src/files/file_writer.cpp @@ const mode_t mode = target.exists ? (target.st.st_mode & 07777) : (0666 & ~ProcessUmask()); @@ const mode_t mode = target.exists ? (target.st.st_mode & 07777) : 0666; @@ new files ignore the umask
src/files/saving.cpp @@ if (u.tm_year + 1900 > 9999) return ""; @@ if (u.tm_year + 1900 > 99999) return ""; @@ time-stamped names past year 9999
src/files/bitmap_writer.cpp @@ } else if (!S_ISREG(st.st_mode)) { @@ } else if (false) { @@ a device or FIFO read as a card file
src/files/bitmap_writer.cpp @@ png_set_chunk_malloc_max(r->png, kMaxPngTextBytes); @@ @@ a text chunk of any size inflated
src/cli/report.cpp @@ level >= kMaxReportDepth) @@ level > kMaxReportDepth) @@ a report one level deeper accepted
src/cli/report.cpp @@ (c >= 0x2028 && c <= 0x202E) @@ (c >= 0x2028 && c <= 0x202D) @@ a right-to-left override reaches the terminal
src/batch/batch.cpp @@ return j.dump(-1, ' ', false, json::error_handler_t::replace) + "\n"; @@ return j.dump() + "\n"; @@ a reason that is not UTF-8 ends the batch
src/batch/batch.cpp @@ const long most = std::min<long>(kMaxThreadsPerCore * static_cast<long>(std::max(cores, 1u)), rows); @@ const long most = std::min<long>(kMaxThreadsPerCore * static_cast<long>(std::max(cores, 1u)) + rows, rows); @@ threads unbounded by the cores
src/mail/mail_smtp.cpp @@ if (loopback) curl_easy_setopt(curl, CURLOPT_PROXY, ""); @@ if (false) curl_easy_setopt(curl, CURLOPT_PROXY, ""); @@ a loopback login through an environment proxy
src/batch/batch.cpp @@ if (same && it->second.state == "sent") { @@ if (same && it->second.state == "sent-") { @@ a message journaled as sent is sent again
src/batch/batch.cpp @@ const Result<> r = mail.Send(item, message_key); @@ const Result<> r = ((void)mail, SmtpConnection(smtp_).Send(item, message_key)); @@ a connection (and a QUIT) for every message
src/mail/mail_desktop.cpp @@ return PercentEncode(s, "-._~@/"); @@ return PercentEncode(s, "-._~@/,"); @@ a comma ends a Thunderbird field early
src/batch/batch.cpp @@ return k % g == k2 % g; @@ return k == k2 && n == n2 && g > 0; @@ runs whose shards overlap allowed at once
src/batch/batch.cpp @@ const bool live = ::flock(fd, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK; @@ const bool live = false; @@ a live run's lock taken for a dead one's
src/mail/mail_smtp.cpp @@ const bool again = attempt == 0 && uploaded == 0 @@ const bool again = attempt < 0 && uploaded == 0 @@ a 4xx or a 421 before the data fails the row instead of reconnecting
src/mail/mail_desktop.cpp @@ std::string fields = "to=" + XdgEncode(m.to.address); @@ std::string fields = "to='" + m.to.address + "'"; @@ an apostrophe ends Thunderbird's address field
src/mail/mail_smtp.cpp @@ const linger reset{1, 0}; @@ const linger reset{0, 0}; @@ a killed sender closes in order, so the kernel finishes its upload
src/mail/mail_smtp.cpp @@ if (*static_cast<const bool*>(quitting)) ::setsockopt @@ if (!*static_cast<const bool*>(quitting)) ::setsockopt @@ a finished connection reset after QUIT
src/batch/batch.cpp @@ kOld) && e.is_regular_file(ec)) journals.push_back(e.path()); @@ kOld) && e.is_regular_file(ec) && ec) journals.push_back(e.path()); @@ journals of earlier versions (per shard layout) not read
src/palette/palette_table.h @@ {{91, 4, 21}, {144, 0, 43} @@ {{91, 4, 21}, {144, 1, 43} @@ a palette colour of table 19
EOF
)
[ -z "$filter" ] || mutants=$(grep -E -- "$filter" <<<"$mutants" || true)

# Applies one mutant line to the tree at $1 and prints "STATUS<TAB>FILE<TAB>NOTE",
# STATUS being ok, missing (file or text not there) or ambiguous (text found twice).
apply() {
  python3 - "$1" "$2" <<'PY'
import sys
root, line = sys.argv[1], sys.argv[2]
path, find, repl, note = ([p.strip() for p in line.split("@@")] + ["", "", ""])[:4]
try:
    with open(f"{root}/{path}", encoding="utf-8") as f:
        text = f.read()
    n = text.count(find)
except FileNotFoundError:
    n = 0
status = "ok" if n == 1 else "missing" if n == 0 else "ambiguous"
if status == "ok":
    with open(f"{root}/{path}", "w", encoding="utf-8") as f:
        f.write(text.replace(find, repl, 1))
print(f"{status}\t{path}\t{note}")
PY
}

if [ -n "${MUTANTS_DRY:-}" ]; then
  scratch=$(mktemp -d /tmp/mirelune-mutants-dry.XXXXXX)
  status=0
  cp -a "$src_root/src" "$scratch/"
  while IFS= read -r m; do
    IFS=$'\t' read -r r file note < <(apply "$scratch" "$m")
    [ "$r" = ok ] || { echo "not applied ($r): $file: $note"; status=1; }
    [ ! -f "$src_root/$file" ] || cp "$src_root/$file" "$scratch/$file"
  done <<<"$mutants"
  rm -rf "$scratch"
  echo "$(grep -c . <<<"$mutants") mutants checked"
  exit $status
fi

scratch=$(mktemp -d /tmp/mirelune-mutants.XXXXXX)
[ -n "${MUTANTS_KEEP:-}" ] || trap 'rm -rf "$scratch"' EXIT
# The tree without its build folders and history (tar: no rsync needed).
tar -C "$src_root" --exclude='./build*' --exclude=./.git -cf - . | tar -C "$scratch" -xf -
build="$scratch/build-mutants"
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
export CCACHE_BASEDIR=$scratch
cmake -S "$scratch" -B "$build" -DCMAKE_BUILD_TYPE=Release -DMIRELUNE_WINDOW=OFF -DMIRELUNE_BENCH=OFF \
  "${launcher[@]}" >/dev/null
rebuild() { cmake --build "$build" -j"$jobs" --target mirelune-cli mirelune-tests >/dev/null 2>&1; }
suite() {  # 0 when every test passes within the time limit
  (cd "$build/tests" && timeout -k 10 "$limit" ./mirelune-tests --gtest_brief=1 --gtest_fail_fast >/dev/null 2>&1)
}
echo "building the unmutated tree in $scratch ..."
rebuild || { echo "mutants: the unmutated tree does not build" >&2; exit 1; }
suite || { echo "mutants: the unmutated suite fails; fix it first" >&2; exit 1; }

total=0 killed=0 survivors=() skipped=()
start=$SECONDS
while IFS= read -r m; do
  IFS=$'\t' read -r r file note < <(apply "$scratch" "$m")
  if [ "$r" != ok ]; then
    skipped+=("not applied ($r): $file: $note")
    continue
  fi
  t0=$SECONDS
  if ! rebuild; then
    skipped+=("does not build: $file: $note")
    verdict="does not build"
  elif suite; then
    total=$((total + 1)); survivors+=("$file: $note"); verdict=SURVIVED
  else
    total=$((total + 1)); killed=$((killed + 1)); verdict=killed
  fi
  cp "$src_root/$file" "$scratch/$file"
  printf '%-9s %4ds  %s: %s\n' "$verdict" $((SECONDS - t0)) "$file" "$note"
done <<<"$mutants"
rebuild || true

echo
echo "killed $killed/$total mutants in $(( (SECONDS - start) / 60 )) min"
for s in "${survivors[@]}"; do echo "  survived: $s"; done
for s in "${skipped[@]}"; do echo "  $s"; done
[ "$total" -gt 0 ] && [ $((killed * 100)) -ge $((total * 95)) ]
