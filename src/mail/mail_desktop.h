// mail_desktop.h — handing the card to the desktop mail program.
//
// Without a mail server the message is composed in the user's own mail program,
// with the card attached, for the user to check and send. xdg-email does this for
// most programs; Thunderbird gets its own compose command, because xdg-email only
// reaches it on some desktops and elsewhere passes a mailto: link, whose attachment
// Thunderbird ignores. Programs are started without a shell, from an argument
// vector, so blanks and quotes in paths and text need no care.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "mail/mail.h"

namespace mirelune {

// The command that opens a composed message in the mail program registered for
// mailto: links (`handler` is its desktop file name, e.g. "thunderbird.desktop";
// empty when unknown).
std::vector<std::string> DesktopComposeCommand(const PreparedMail& m, std::string_view handler);

struct ProgramRun {
  bool started = false;
  int spawn_error = 0;    // errno when it could not be started
  bool finished = false;  // false: still running when the wait ended
  int exit_status = -1;   // when finished normally
  std::string output;     // standard output, when captured
};

// Starts argv[0] (looked up on PATH) with stdin and stderr on /dev/null and waits
// at most `wait_s` seconds. A program still running then is left to run when
// `leave_running`, else killed. Children left running are reaped by later calls.
ProgramRun RunProgram(const std::vector<std::string>& argv, double wait_s, bool capture_output,
                      bool leave_running);

// Opens the item, checked, as a new message in the desktop mail program: one
// sentence for the user on what happened or what to check.
Result<> ComposeInMailProgram(const MailItem& item);

}  // namespace mirelune
