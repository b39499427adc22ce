// i18n.h — the program's own words in the user's language (gettext, in glibc).
//
//   SetUpTranslation(argv[0]);                       // once, first thing in main
//   Say(_("list the style numbers and names"));       // a fixed text
//   Fill(_("unknown option %s"), {name})             // a text with values
//   constexpr const char* kWords[] = {N_("card")};   // marked here, translated where shown
//
// Only what mirelune-cli itself writes is translated (help, option texts, its
// errors, notes and hints, and the checks of a setting it shares with `serve`). The card (its greeting, PNG texts and report) and
// the engine's messages stay as they are, so a card's bytes never depend on the
// locale. The catalogue is the text domain "mirelune"; `xgettext -k_ -kN_` finds
// the texts at every build (po/CMakeLists.txt).
#pragma once

#include <initializer_list>
#include <string>

namespace mirelune {

inline constexpr const char* kTextDomain = "mirelune";

// Takes the user's language for messages (the rest of the locale stays "C", so
// nothing the engine formats or folds changes) and binds the catalogue: <dir of the program>/locale in a build tree, else
// <dir of the program>/../share/locale, so /usr and /usr/local both find theirs.
void SetUpTranslation(const char* argv0);

// The translation of `text`, or `text` itself.
const char* _(const char* text);
// Marks a text for the catalogue where it cannot be translated yet (a table).
#define N_(text) text

// `pattern` with each %s replaced by the next value, or %1$s, %2$s by the value
// of that number (so a translation may put them in another order); %% is %.
std::string Fill(const char* pattern, std::initializer_list<std::string> values);

}  // namespace mirelune
