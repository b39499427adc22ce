// mirelune-cli — cards without a window, for scripts, batches and tests.
//
//   mirelune-cli card --friend Mary --sender Bob --out card.png --report -
//   mirelune-cli style 3 --seed 42 --out rings.png
//   mirelune-cli info card.png
//
// Exit status: 0 done, 1 a file could not be written or the card not sent, 2 bad input.
#include <iostream>
#include <map>

#include "cli/cli.h"
#include "mirelune_version.h"

namespace {

using namespace mirelune::cli;

struct Subcommand {
  const char* name;
  const char* summary;
  SetUp set_up;
};

// The subcommands in the order --help lists them; a new one is one more line.
constexpr Subcommand kSubcommands[] = {
    {"card", "make the card for two names, as \"new\" does in the window, and save it", SetUpCard},
    {"style", "paint the palette strip and style N alone, twice, without the effect", SetUpStyle},
    {"styles", "list the style numbers and names", SetUpStyles},
    {"info", "print the report a PNG card carries (how to make it again)", SetUpInfo},
    {"batch", "make (and mail) the cards of a whole CSV list, restartable, on many threads", SetUpBatch},
    {"serve", "offer the card to every browser on the network: a page and an HTTP API", SetUpServe},
};

constexpr const char* kFooter =
    "<root> is $MIRELUNE_ROOT when set, else your home folder.\n"
    "Exit status: 0 done, 1 a file could not be written or the card not sent, 2 bad input.";

int Fail(int status, const std::string& message) {
  std::cerr << "mirelune-cli: " << message << "\n";
  if (status == 2) std::cerr << "Try 'mirelune-cli --help'.\n";
  return status;
}

int Run(int argc, char** argv) {
  CLI::App app{"mirelune-cli: generative-art new-year greeting cards from two names", "mirelune-cli"};
  app.set_version_flag("--version", "mirelune-cli " + VersionText());
  app.require_subcommand(1, 1);
  app.footer(kFooter);
  std::map<const CLI::App*, Action> actions;
  for (const Subcommand& c : kSubcommands) {
    CLI::App* sub = app.add_subcommand(c.name, c.summary);
    sub->footer(kFooter);
    actions[sub] = c.set_up(*sub);
  }
  if (argc > 1 && argv[1][0] != '-') {
    std::string names;
    bool known = false;
    for (const Subcommand& c : kSubcommands) {
      names += std::string(names.empty() ? "" : ", ") + c.name;
      known = known || argv[1] == std::string(c.name);
    }
    if (!known) return Fail(2, "unknown command \"" + std::string(argv[1]) + "\"; the commands are " + names);
  }
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    Say(app.help());
    return 0;
  } catch (const CLI::CallForAllHelp&) {
    Say(app.help("", CLI::AppFormatMode::All));
    return 0;
  } catch (const CLI::CallForVersion& e) {
    Say(std::string(e.what()) + "\n");
    return 0;
  } catch (const CLI::ParseError& e) {
    return Fail(2, e.what());
  }
  const mirelune::Result<int> status = actions.at(app.get_subcommands().at(0))();
  return status ? *status : Fail(2, status.error().message);
}

}  // namespace

int main(int argc, char** argv) {
  GuardStandardDescriptors();
  int status;
  try {
    status = Run(argc, argv);
  } catch (const std::exception& e) {
    status = Fail(1, e.what());
  } catch (...) {  // nothing may reach std::terminate: one line and status 1
    status = Fail(1, "the command stopped on an unexpected error");
  }
  if (const mirelune::Result<> flushed = FlushStdout(); !flushed) status = Fail(1, flushed.message);
  return status;
}
