// card_report.h — what a card was made from, as JSON, and the texts a PNG card
// carries. Both front ends write them, so a card saved from the window and the
// command line's card for the same names are the same file.
//
//   const CardResult r = MakeCard(spec);
//   const PngText text = CardPngText(GreetingOf(spec), CardReport(spec, r.seed, r.stats));
//   Result<Bytes> png = EncodePng(r.card.image(), &text);
#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "commands/commands.h"
#include "files/files.h"

namespace mirelune {

// The keyword of the PNG text chunk that holds the report.
inline constexpr const char* kReportKeyword = "mirelune-report";

// "1.0" or "1.0 (git 1f801fb)".
std::string VersionText();

// The settings a card was made with: enough to make it again.
nlohmann::ordered_json CardReport(const CardSpec& spec, double seed, const CardStats& stats);

// The greeting a spec asks for.
inline Greeting GreetingOf(const CardSpec& spec) { return {spec.friend_name, spec.sender, spec.year}; }

// The texts of a PNG picture of this card: the program, "Mirelune <what> for F
// from S", and the report.
PngText ReportPngText(const Greeting& names, const nlohmann::ordered_json& report, const std::string& what);

// The texts a PNG card carries: those of ReportPngText and the greeting line.
PngText CardPngText(const Greeting& names, const nlohmann::ordered_json& report);

}  // namespace mirelune
