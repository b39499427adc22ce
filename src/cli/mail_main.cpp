// mirelune-mail — mirelune-cli's commands with the mail library: mirelune-cli runs
// it for `card --mail-to` and `batch --mail`, on the same command line.
#include "cli/cli.h"
#include "mail/mail_smtp.h"

int main(int argc, char** argv) {
  using namespace mirelune;
  const MailLibrary mail_library;  // before any thread
  cli::Mailing mailing;
  mailing.server = MailServerFromEnvironment;
  mailing.mail_card = MailCard;
  return cli::RunProgram(argc, argv, mailing);
}
