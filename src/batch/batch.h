// batch.h — cards for a whole contact list: many threads, restartable, optionally
// mailed, and split into shards for many machines.
//
//   BatchOptions o;
//   o.list = "friends.csv"; o.out_dir = "cards"; o.jobs = 2;
//   o.encode = ...;                       // the card's file and report, as `card` makes them
//   std::ostringstream out;
//   int status = RunBatchList(o, out, std::cerr);   // 0 all done, 1 some failed, 2 bad input
//
// The output folder holds the cards, `manifest.jsonl` (`manifest-K-of-N.jsonl` for
// a shard) with one JSON line per row, and with mail `mail-journal.jsonl`, one
// for the list whatever the shards.
// A row is done when its card file is complete and its manifest line written; a
// run of the same command after any interruption makes only the rows not done.
// At the end of a run the manifest is rewritten with one line per row in row
// order, so it is the same for every number of threads.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "commands/commands.h"
#include "files/animation.h"
#include "files/files.h"
#include "mail/mail.h"

namespace mirelune {

// A made card as it goes to disk: the file's bytes and the report for the manifest.
struct CardFile {
  Bytes bytes;
  nlohmann::ordered_json report;
};
// Called on the worker threads, so it must be safe to call from several at once;
// `png_rows` is the calling worker's own, for EncodePng.
using CardEncoder =
    std::function<Result<CardFile>(const CardSpec& spec, const Card& card, ImageFormat format, PixelBuffer& png_rows)>;

struct BatchOptions {
  std::filesystem::path list, out_dir;
  int jobs = 1;
  int shard = 0, shards = 1;  // rows whose index modulo `shards` is `shard`
  ImageFormat format = ImageFormat::kPng;
  int year = kDefaultYear;  // of the rows without a year
  int scale = 1;            // every card drawn that many times larger (memory: a thread's card grows by its square)
  std::optional<AnimationFormat> animation{};  // each row's card painting itself too, beside the card
  int animation_width = kDefaultAnimationWidth;
  bool attach_animation = false;  // with mail: the animation is the attachment, not the card
  CardEncoder encode;  // required
  bool mail = false;
  MailServer mail_server{};    // required with mail
  double rate_per_minute = 0;  // messages; 0 for no limit
  bool progress_bar = false;   // a live bar (a terminal), else a line every few seconds
  double progress_every_s = 10;
};

// Each thread holds a whole card in memory while it works; more threads than rows,
// or many more than cores, only cost memory. The threads a batch uses: `jobs`, but
// at most kMaxThreadsPerCore per core and one per row to make, and at least one.
constexpr int kMaxThreadsPerCore = 4;
int BatchThreads(int jobs, long rows, unsigned cores);

// "png", "bmp" or "jpg": the card files' extension.
const char* ExtensionOf(ImageFormat format);

// Runs the batch; the summary goes to `out`, row failures and progress to `err`.
// Returns the exit status: 0 every row done, 1 some rows failed or the output
// could not be written, 2 an unreadable list or a missing mail server.
int RunBatchList(const BatchOptions& options, std::ostream& out, std::ostream& err);

}  // namespace mirelune
