// batch.h — cards for a whole contact list: many threads, restartable, optionally
// mailed, and split into shards for many machines.
//
//   BatchOptions o;
//   o.list = "friends.csv"; o.out_dir = "cards"; o.jobs = 2;
//   int status = RunBatchList(o, std::cout, std::cerr);   // 0 all done, 1 some failed, 2 bad input
//
// The output folder holds the cards, `manifest.jsonl` (`manifest-K-of-N.jsonl` for
// a shard) with one JSON line per row, and with mail `mail-journal*.jsonl`.
// A row is done when its card file is complete and its manifest line written; a
// run of the same command after any interruption makes only the rows not done.
// At the end of a run the manifest is rewritten with one line per row in row
// order, so it is the same for every number of threads.
#pragma once

#include <filesystem>
#include <nlohmann/json.hpp>
#include <ostream>
#include <string>

#include "core/state.h"

namespace mirelune {

struct BatchOptions {
  std::filesystem::path list, out_dir;
  int jobs = 1;
  int shard = 0, shards = 1;   // rows whose index modulo `shards` is `shard`
  std::string format = "png";  // png or bmp
  bool mail = false;
  double rate_per_minute = 0;  // messages; 0 for no limit
  bool progress_bar = false;   // a live bar (a terminal), else a line every few seconds
  double progress_every_s = 10;
};

// Runs the batch; the summary goes to `out`, row failures and progress to `err`.
// Returns the exit status.
int RunBatchList(const BatchOptions& options, std::ostream& out, std::ostream& err);

// What `mirelune-cli card --report` says about the card in `s`.
nlohmann::ordered_json CardReport(const State& s);

}  // namespace mirelune
