// checks.h — the checks of a setting given as text, shared by the command line's
// options and the web server's query parameters, so both refuse a value with
// the same words.
//
//   WholeNumberProblem("30", 1, 26) == "a whole number from 1 to 26, not \"30\""
//   NameProblem("Mary") == ""        // "" when the value is fine
#pragma once

#include <string>
#include <vector>

namespace mirelune {

// A decimal whole number from lo to hi, nothing else around it.
std::string WholeNumberProblem(const std::string& text, long long lo, long long hi);
// Valid UTF-8 of at most 100 characters.
std::string NameProblem(const std::string& text);
// A name a greeting is written with: as above, and not empty or all blanks.
std::string GreetingNameProblem(const std::string& text);
// The greeting's own words: valid UTF-8 of at most 100 characters, not all blanks.
std::string WishProblem(const std::string& text);
// Exactly one of `words`.
std::string OneOfProblem(const std::string& text, const std::vector<std::string>& words);
// "a, b or c".
std::string WordList(const std::vector<std::string>& words);

}  // namespace mirelune
