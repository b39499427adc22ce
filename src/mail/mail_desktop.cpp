// mail_desktop.cpp — composing the card in the desktop mail program.
#include "mail/mail_desktop.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "base/percent.h"

extern char** environ;

namespace mirelune {
namespace {

constexpr double kComposeWaitS = 5;  // a mail program started afresh may keep its launcher running
constexpr double kQueryWaitS = 3;

std::vector<pid_t>& LeftRunning() {
  static std::vector<pid_t> pids;
  return pids;
}

void ReapLeftRunning() {
  auto& pids = LeftRunning();
  for (std::size_t k = 0; k < pids.size();) {
    int status = 0;
    const pid_t r = ::waitpid(pids[k], &status, WNOHANG);
    if (r == pids[k] || (r < 0 && errno == ECHILD)) {
      pids.erase(pids.begin() + static_cast<std::ptrdiff_t>(k));
    } else {
      ++k;
    }
  }
}

// Percent-encoding as xdg-email writes it for Thunderbird: everything but letters,
// digits and - . _ ~ @ /, byte by byte, so quotes and commas cannot end a field.
std::string XdgEncode(std::string_view s) { return PercentEncode(s, "-._~@/"); }

bool Contains(std::string_view haystack, std::string_view needle) {
  return haystack.find(needle) != std::string_view::npos;
}

std::string MailtoHandler() {
  const ProgramRun r =
      RunProgram({"xdg-mime", "query", "default", "x-scheme-handler/mailto"}, kQueryWaitS, true, false);
  if (!r.finished || r.exit_status != 0) return "";
  std::string h = r.output;
  while (!h.empty() && (h.back() == '\n' || h.back() == '\r' || h.back() == ' ')) h.pop_back();
  return h;
}

bool IsThunderbird(std::string_view handler) {
  return Contains(handler, "thunderbird") || Contains(handler, "icedove");
}

}  // namespace

std::vector<std::string> DesktopComposeCommand(const PreparedMail& m, std::string_view handler) {
  std::vector<std::string> argv;
  if (IsThunderbird(handler)) {
    // Fields are comma-separated. A value in quotes is taken as it stands and ends at
    // a quote before a comma, so every value but the list of file: URLs goes
    // unquoted and percent-encoded, and Thunderbird decodes it: an apostrophe in an
    // address (o'brien@...) cannot end its field and start another.
    std::string fields = "to=" + XdgEncode(m.to.address);
    if (m.cc) fields += ",cc=" + XdgEncode(m.cc->address);
    if (!m.subject.empty()) fields += ",subject=" + XdgEncode(m.subject);
    if (!m.body.empty()) fields += ",body=" + XdgEncode(CrlfLines(m.body));
    std::string files;
    for (const auto& a : m.attachments) {
      if (!files.empty()) files += ',';
      files += "file://" + XdgEncode(std::filesystem::absolute(a).string());
    }
    if (!files.empty()) fields += ",attachment='" + files + "'";
    argv = {Contains(handler, "icedove") ? "icedove" : "thunderbird", "-compose", fields};
    return argv;
  }
  argv = {"xdg-email", "--utf8"};
  if (m.cc) argv.insert(argv.end(), {"--cc", m.cc->address});
  // xdg-email refuses an empty value, so an empty field is left out.
  if (!m.subject.empty()) argv.insert(argv.end(), {"--subject", m.subject});
  if (!m.body.empty()) argv.insert(argv.end(), {"--body", m.body});
  for (const auto& a : m.attachments)
    argv.insert(argv.end(), {"--attach", std::filesystem::absolute(a).string()});
  // As a mailto: link the address can never be taken for an option.
  argv.push_back("mailto:" + XdgEncode(m.to.address));
  return argv;
}

ProgramRun RunProgram(const std::vector<std::string>& argv, double wait_s, bool capture_output,
                      bool leave_running) {
  ReapLeftRunning();
  ProgramRun run;
  if (argv.empty()) return run;
  std::vector<char*> args;
  for (const auto& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  int out_pipe[2] = {-1, -1};
  if (capture_output && ::pipe2(out_pipe, O_CLOEXEC) != 0) {
    run.spawn_error = errno;
    return run;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  if (capture_output) {
    posix_spawn_file_actions_adddup2(&actions, out_pipe[1], 1);
  } else {
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  }
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  // Its own process group, so that the window's terminal signals do not reach it.
  posix_spawnattr_t attr;
  posix_spawnattr_init(&attr);
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
  posix_spawnattr_setpgroup(&attr, 0);
  pid_t pid = -1;
  const int err = ::posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (capture_output) ::close(out_pipe[1]);
  if (err != 0) {
    if (capture_output) ::close(out_pipe[0]);
    run.spawn_error = err;
    return run;
  }
  run.started = true;

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(wait_s);
  auto remaining_ms = [&] {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return static_cast<int>(std::max<long long>(0, left.count()));
  };
  if (capture_output) {
    char buf[4096];
    while (true) {
      pollfd p{out_pipe[0], POLLIN, 0};
      const int ready = ::poll(&p, 1, remaining_ms());
      if (ready < 0 && errno == EINTR) continue;
      if (ready <= 0) break;
      const ssize_t n = ::read(out_pipe[0], buf, sizeof buf);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) break;
      if (run.output.size() < 65536) run.output.append(buf, static_cast<std::size_t>(n));
    }
    ::close(out_pipe[0]);
  }
  while (true) {
    int status = 0;
    const pid_t r = ::waitpid(pid, &status, WNOHANG);
    if (r == pid) {
      run.finished = true;
      run.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
      return run;
    }
    if (r < 0 && errno != EINTR) return run;
    if (remaining_ms() == 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  if (leave_running) {
    LeftRunning().push_back(pid);
  } else {
    ::kill(-pid, SIGKILL);  // the whole group: a script's own children too
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  return run;
}

Result<> ComposeInMailProgram(const MailItem& item) {
  auto say = [](std::string text, bool ok) { return ok ? Result<>::Done(std::move(text)) : Result<>::Failed(std::move(text)); };
  const Result<PreparedMail> prepared = PrepareMail(item);
  if (!prepared) return Result<>(prepared.error());
  const PreparedMail& m = *prepared;

  const std::vector<std::string> argv = DesktopComposeCommand(m, MailtoHandler());
  const std::string& program = argv[0];
  const char* const kOrServer =
      " Set up a default mail program, or set MIRELUNE_SMTP_URL to send through a mail server.";
  const ProgramRun r = RunProgram(argv, kComposeWaitS, false, true);
  if (!r.started) {
    if (r.spawn_error == ENOENT)
      return say(
          "No mail program could be opened: " + program + " is not installed." +
              (program == "xdg-email" ? " Install xdg-utils and set up a mail program," : " Install it,") +
              " or set MIRELUNE_SMTP_URL to send through a mail server.",
          false);
    return say("No mail program could be opened: " + program + " could not be started (" +
                   std::strerror(r.spawn_error) + ")." + kOrServer,
               false);
  }
  if (r.finished && r.exit_status != 0) {
    if (program == "xdg-email" && r.exit_status == 3)
      return say(std::string("xdg-email found no mail program to open.") + kOrServer, false);
    return say("The mail program could not open a new message (" + program + " ended with status " +
                   std::to_string(r.exit_status) + ")." + kOrServer,
               false);
  }
  return say("Your mail program has a new message to " + m.to.address +
                 " with the card attached; check it there and send it.",
             true);
}

}  // namespace mirelune
