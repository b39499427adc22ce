// program.cpp — mirelune-cli's commands on a command line: parsed, run, their
// output flushed. Both mirelune-cli and mirelune-mail are this, with and without
// the mail library.
#ifndef _WIN32
#include <unistd.h>
#endif

#include <cstring>
#include <filesystem>
#include <iostream>
#include <map>
#include <regex>

#include "cli/cli.h"
#include "base/i18n.h"
#include "base/platform.h"
#include "mirelune_version.h"

namespace {

using namespace mirelune;
using namespace mirelune::cli;

// `serve` is a program of its own, so that the card command links no HTTP library.
Action SetUpServeAlias(CLI::App& sub, const Mailing&) {
  sub.prefix_command();
  return [] { return Result<int>(1); };
}

// Runs mirelune-serve with the arguments after "serve": the one beside this
// program (a build folder, /usr/bin), else the one on PATH.
int ExecServe(int argc, char** argv);

struct Subcommand {
  const char* name;
  const char* summary;
  SetUp set_up;
};

// The subcommands in the order --help lists them; a new one is one more line.
constexpr Subcommand kSubcommands[] = {
    {"card", N_("make the card for two names, as \"new\" does in the window, and save it"), SetUpCard},
    {"style", N_("paint the palette strip and style N alone, twice, without the effect"), SetUpStyle},
    {"styles", N_("list the style numbers and names"), SetUpStyles},
    {"info", N_("print the report a PNG card carries (how to make it again)"), SetUpInfo},
    {"batch", N_("make (and mail) the cards of a whole CSV list, restartable, on many threads"), SetUpBatch},
    {"serve", N_("offer the card to browsers: a page and an HTTP API (runs mirelune-serve)"), SetUpServeAlias},
};

std::string CommandNames() {
  std::string names;
  for (const Subcommand& c : kSubcommands) names += std::string(names.empty() ? "" : ", ") + c.name;
  return names;
}

// One line of error, and for bad input (2) where to read about the command given.
int Fail(int status, const std::string& message, const std::string& command = "") {
  std::cerr << "mirelune-cli: " << message << "\n";
  if (status == 2)
    std::cerr << (command.empty() ? std::string(_("Run 'mirelune-cli --help' for the commands."))
                                  : Fill(_("Run 'mirelune-cli %s --help' for its options."), {command}))
              << "\n";
  return status;
}

// The parser's complaint in the program's own words. Its exceptions carry only
// English text, so the names it quotes are taken from that text.
std::string ParseFailure(const CLI::ParseError& e, const CLI::App& app) {
  const std::string what = e.what();
  std::smatch m;
  const auto match = [&](const char* pattern) { return std::regex_search(what, m, std::regex(pattern)); };
  if (dynamic_cast<const CLI::ExtrasError*>(&e)) {
    const std::vector<std::string> extras = app.remaining(true);
    for (const std::string& x : extras)
      if (x.size() > 1 && x[0] == '-') return Fill(_("unknown option %s"), {x});
    return Fill(_("unexpected argument \"%s\""), {extras.empty() ? what : extras.front()});
  }
  if (dynamic_cast<const CLI::RequiredError*>(&e)) {
    if (match("^(\\S+) is required$")) return Fill(_("%s is required"), {m[1]});
    return Fill(_("a command is required: %s"), {CommandNames()});
  }
  if (dynamic_cast<const CLI::ArgumentMismatch*>(&e) && (match("^(-\\S+):") || match("arguments to (\\S+),")))
    return Fill(_("%s needs a value"), {m[1]});
  if (dynamic_cast<const CLI::RequiresError*>(&e) && match("^(\\S+) requires (\\S+)$"))
    return Fill(_("%s needs %s"), {m[1], m[2]});
  if (dynamic_cast<const CLI::ExcludesError*>(&e) && match("^(\\S+) excludes (\\S+)$"))
    return Fill(_("%s and %s cannot be given together"), {m[1], m[2]});
  if (dynamic_cast<const CLI::ConversionError*>(&e) && match("(--?[A-Za-z][A-Za-z-]*)"))
    return Fill(_("%s does not take that value"), {m[1]});
  return what;  // a validator's message: already ours
}

#ifdef _WIN32
int ExecServe(int, char**) {
  const Result<int> status = RunBeside(L"mirelune-serve.exe", 2);  // after "mirelune-cli serve"
  return status ? *status : Fail(1, Fill(_("serve: cannot run mirelune-serve: %s"), {status.error().message}));
}
#else
int ExecServe(int argc, char** argv) {
  std::vector<char*> args{const_cast<char*>("mirelune-serve")};
  for (int k = 2; k < argc; ++k) args.push_back(argv[k]);
  args.push_back(nullptr);
  return Fail(1, Fill(_("serve: cannot run mirelune-serve: %s"), {std::strerror(ExecBeside("mirelune-serve", args.data()))}));
}
#endif

int Run(int argc, char** argv, const Mailing& mailing) {
  if (argc > 1 && argv[1] == std::string("serve")) return ExecServe(argc, argv);
  CLI::App app{_("mirelune-cli: generative-art new-year greeting cards from two names"), "mirelune-cli"};
  auto formatter = std::make_shared<CLI::Formatter>();
  for (const auto& [key, text] :
       {std::pair{"Usage", _("Usage")}, {"OPTIONS", _("OPTIONS")}, {"SUBCOMMAND", _("COMMAND")},
        {"Positionals", _("Arguments")}, {"REQUIRED", _("REQUIRED")}, {"Needs", _("Needs")},
        {"Excludes", _("Excludes")}, {"TEXT", _("TEXT")}, {"FILE", _("FILE")}})
    formatter->label(key, text);
  app.formatter(formatter);
  app.allow_windows_style_options(false);  // /Users/... is a path, not an option, on Windows too
  app.option_defaults()->group(_("Options"));
  app.set_help_flag("-h,--help", _("print this help and exit"));
  app.set_version_flag("--version", "mirelune-cli " + VersionText(), _("print the version and exit"));
  app.group(_("Commands"));  // the heading the subcommands are listed under
  app.require_subcommand(1, 1);
#ifdef _WIN32
  const std::string footer = std::string(_("The window saves cards in Pictures\\Mirelune, or in <root>\\wimgx when $MIRELUNE_ROOT is set.")) + "\n" +
#else
  const std::string footer = std::string(_("<root> is $MIRELUNE_ROOT when set, else your home folder.")) + "\n" +
#endif
                             _("Exit status: 0 done, 1 a file could not be written or the card not sent, 2 bad input.");
  app.footer(footer);
  std::map<const CLI::App*, Action> actions;
  for (const Subcommand& c : kSubcommands) {
    CLI::App* sub = app.add_subcommand(c.name, _(c.summary));
    sub->get_help_ptr()->group(_("Options"));  // made before the defaults reach the subcommand
    actions[sub] = c.set_up(*sub, mailing);
  }
  std::string command;  // the subcommand named, for the hint after bad input
  if (argc > 1 && argv[1][0] != '-') {
    for (const Subcommand& c : kSubcommands)
      if (argv[1] == std::string(c.name)) command = c.name;
    if (command.empty())
      return Fail(2, Fill(_("unknown command \"%s\"; the commands are %s"), {argv[1], CommandNames()}));
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
    return Fail(2, ParseFailure(e, app), command);
  }
  const mirelune::Result<int> status = actions.at(app.get_subcommands().at(0))();
  return status ? *status : Fail(2, status.error().message, command);
}
}  // namespace

namespace mirelune::cli {

#ifndef _WIN32
int ExecBeside(const char* program, char* const* args) {
  std::error_code error;
  const std::filesystem::path self = std::filesystem::read_symlink("/proc/self/exe", error);
  if (!error) ::execv((self.parent_path() / program).c_str(), args);
  ::execvp(program, args);
  return errno;
}
#endif


int RunProgram(int argc, char** argv, const Mailing& mailing) {
  GuardStandardDescriptors();
  PrepareConsole();
  SetUpTranslation(argv[0]);
  // UTF-8 whatever the system: on Windows argv holds the names in the ANSI code page.
  Utf8Argv args(argc, argv);
  int status;
  try {
    status = Run(args.argc(), args.argv(), mailing);
  } catch (const std::exception& e) {
    status = Fail(1, e.what());
  } catch (...) {  // nothing may reach std::terminate: one line and status 1
    status = Fail(1, _("the command stopped on an unexpected error"));
  }
  if (const mirelune::Result<> flushed = FlushStdout(); !flushed) status = Fail(1, flushed.message);
  return status;
}

}  // namespace mirelune::cli
