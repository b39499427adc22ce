// card_report.h — what a card was made from, as JSON, and the texts a PNG card
// carries. Both front ends write them, so a card saved from the window and the
// command line's card for the same names are the same file.
//
//   FaceDigests digests;  // one for the whole process: each face file is read once
//   const Card r = MakeCard(spec);
//   const PngText text = CardPngText(GreetingOf(spec), CardReport(spec, r.seed, r.stats, r.text.faces, digests));
//   Result<Bytes> png = EncodePng(r.card.image(), &text);
#pragma once

#include <map>
#include <mutex>
#include <nlohmann/json.hpp>
#include <string>

#include "commands/commands.h"
#include "files/files.h"

namespace mirelune {

// The keyword of the PNG text chunk that holds the report.
inline constexpr const char* kReportKeyword = "mirelune-report";

// "1.0" or "1.0 (git 1f801fb)".
std::string VersionText();

// The SHA-256 (hex) of face files as they are now, each file read again only
// when it is another file or has changed (device, inode, size, modification
// time): the cards of a process share their faces, and reading them for every
// card costs more than drawing the text. Owned by whoever writes reports (the
// command line's card, a batch, the web service, the window); safe to share
// between threads.
class FaceDigests {
 public:
  // Empty when the file cannot be read.
  std::string Of(const std::string& file);

 private:
  std::mutex mu_;
  std::map<std::string, std::pair<std::string, std::string>> kept_;  // file -> (what it was, digest)
};

// The settings a card was made with: enough to make it again, and the faces
// that drew its text with their digests.
nlohmann::ordered_json CardReport(const CardSpec& spec, double seed, const CardStats& stats,
                                  const std::vector<FaceUsed>& faces, FaceDigests& digests);

// The greeting a card's settings ask for.
inline Greeting GreetingOf(const CardSpec& spec) { return {spec.friend_name, spec.sender, spec.year, spec.wish}; }

// The texts of a PNG picture of this card: the program, "Mirelune <what> for F
// from S", and the report.
PngText ReportPngText(const Greeting& names, const nlohmann::ordered_json& report, const std::string& what);

// The texts a PNG card carries: those of ReportPngText and the greeting line.
PngText CardPngText(const Greeting& names, const nlohmann::ordered_json& report);

// --- reading a report back: card files come from anywhere ---
//
// The report among a card's texts (ReadCardTextFile), at most kMaxReportDepth
// levels of objects and lists deep, within bounds of bytes and keys.
inline constexpr int kMaxReportDepth = 32;
Result<nlohmann::ordered_json> ReportFromText(const CardTexts& texts, const std::filesystem::path& from);
// The report carried by a PNG or JPEG card, read from `path` within ReadCardTextFile's limits.
Result<nlohmann::ordered_json> ReadReport(const std::filesystem::path& path);
// The settings recorded in a report; fails when they are missing or invalid.
Result<CardSpec> SpecFromReport(const nlohmann::ordered_json& report, const std::filesystem::path& from);

}  // namespace mirelune
