// batch.cpp — the options of `mirelune-cli batch`, checked before any card is made.
#include "cli/batch.h"

#include <signal.h>
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <iostream>
#include <regex>
#include <thread>

#include "batch/batch.h"

namespace mirelune {

int RunBatch(int argc, char** argv) {
  CLI::App app{
      "Makes the card of every row of a CSV list (columns friend, sender and optionally email, message, mode,\n"
      "palette, max_styles, year) into DIR, with DIR/manifest.jsonl saying what became of each row. Running\n"
      "the same command again after an interruption makes only the rows not yet done.\n"
      "Exit status: 0 every row done, 1 some rows failed, 2 bad options or an unreadable list.",
      "mirelune-cli batch"};
  BatchOptions o;
  std::string shard, rate, format = "png";
  const unsigned cores = std::thread::hardware_concurrency();
  o.jobs = cores > 0 ? static_cast<int>(cores) : 1;
  app.add_option("LIST", o.list, "the list, a CSV file with a header row")->required();
  app.add_option("--out-dir", o.out_dir, "the folder for the cards and the manifest")->required();
  app.add_option("--jobs", o.jobs, "threads making cards (default: the number of cores)")
      ->check(CLI::Range(1, 256));
  app.add_option("--shard", shard, "K/N: only the rows whose index modulo N is K (0-based)");
  app.add_option("--format", format, "png or bmp")->check(CLI::IsMember({"png", "bmp", "jpg"}));
  app.add_flag("--mail", o.mail, "send each card to its row's email with its message (needs MIRELUNE_SMTP_URL)");
  app.add_option("--rate", rate, "N/min: at most N messages a minute");
  try {
    app.parse(argc - 1, argv + 1);
    std::smatch m;
    if (!shard.empty()) {
      if (!std::regex_match(shard, m, std::regex(R"(([0-9]{1,6})/([0-9]{1,6}))")) ||
          std::stoi(m[2]) < 1 || std::stoi(m[1]) >= std::stoi(m[2]))
        throw CLI::ValidationError("--shard", "takes K/N with 0 <= K < N, not \"" + shard + "\"");
      o.shard = std::stoi(m[1]);
      o.shards = std::stoi(m[2]);
    }
    if (!rate.empty()) {
      if (!o.mail) throw CLI::ValidationError("--rate", "limits messages and needs --mail");
      if (!std::regex_match(rate, m, std::regex(R"(([0-9]{1,6})(/min)?)")) || std::stoi(m[1]) < 1)
        throw CLI::ValidationError("--rate", "takes N/min with N at least 1, not \"" + rate + "\"");
      o.rate_per_minute = std::stoi(m[1]);
    }
    if (format == "jpg")
      throw CLI::ValidationError("--format", "jpg is not available in this version; use png or bmp");
    o.format = format;
  } catch (const CLI::CallForHelp&) {
    std::cout << app.help();
    return 0;
  } catch (const CLI::ParseError& e) {
    std::cerr << "mirelune-cli batch: " << e.what() << "\nTry 'mirelune-cli batch --help'.\n";
    return 2;
  }
  ::signal(SIGPIPE, SIG_IGN);  // a closed stderr must not kill the run between a card and its line
  o.progress_bar = ::isatty(2) != 0;
  return RunBatchList(o, std::cout, std::cerr);
}

}  // namespace mirelune
