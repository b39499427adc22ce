// mirelune-cli — cards without a window, for scripts, batches and tests.
//
//   mirelune-cli card --friend Mary --sender Bob --out card.png --report -
//   mirelune-cli style 3 --seed 42 --out rings.png
//   mirelune-cli info card.png
//
// Exit status: 0 done, 1 a file could not be written or the card not sent, 2 bad input.
// A command that mails runs as mirelune-mail, which links the mail library.
#include <cstring>
#include <filesystem>
#include <iostream>

#include "base/i18n.h"
#include "base/platform.h"
#include "cli/cli.h"

int main(int argc, char** argv) {
  using namespace mirelune;
  using namespace mirelune::cli;
  Mailing mailing;
#ifdef MIRELUNE_NO_MAIL
  // Built without a mail library (Windows): a card asked for by mail is still saved.
  mailing.mail_card = [](const std::filesystem::path& card, const std::string&, const std::string&) -> Result<> {
    return Error{Fill(_("Mail is not part of this build of Mirelune; nothing was sent. The card is saved as %s."),
                      {PathText(card)})};
  };
  mailing.server = []() -> Result<MailServer> {
    return Error{_("Mail is not part of this build of Mirelune; nothing was made or sent.")};
  };
#else
  mailing.hand_over = [argv] {
    const int error = ExecBeside("mirelune-mail", argv);
    std::cerr << "mirelune-cli: "
              << Fill(_("cannot run mirelune-mail, which sends the mail: %s"), {std::strerror(error)}) << "\n";
    return 1;
  };
#endif
  return RunProgram(argc, argv, mailing);
}
