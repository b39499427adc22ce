// mail_smtp.h — sending through a mail server with libcurl.
//
//   SmtpSettings cfg;
//   if (SmtpSettingsFromEnvironment(&cfg)) Result<> r = SmtpSender(cfg).Send(item);
//
// smtp://host:port upgrades to TLS with STARTTLS when the server offers it;
// smtps://host:port speaks TLS from the first byte. With a user name or password
// TLS is required: a login is never sent in clear, except to a server on a loopback
// address, which is always reached directly, never through a proxy. The server's certificate is checked against the system's trusted
// authorities, or those of MIRELUNE_SMTP_CA_FILE.
//
// Many messages go over one connection:
//   SmtpConnection c(cfg);
//   for (...) if (Result<> r = c.Send(item, key); r) journal("sent");   // ok: the server's 250 arrived
//   c.Close();                                                          // QUIT, once
#pragma once

#include <curl/curl.h>

#include <atomic>
#include <chrono>
#include <string>

#include "mail/mail.h"

namespace mirelune {

struct SmtpSettings {
  std::string url;       // MIRELUNE_SMTP_URL
  std::string user;      // MIRELUNE_SMTP_USER: no login when empty
  std::string password;  // MIRELUNE_SMTP_PASSWORD
  std::string from;      // MIRELUNE_MAIL_FROM; the user name when that is an address
  std::string ca_file;   // MIRELUNE_SMTP_CA_FILE: trusted authorities (PEM) instead of the system's
  const std::atomic<bool>* cancel = nullptr;  // stops a send in progress when it turns true
  long connect_timeout_s = 15;
  long response_timeout_s = 30;  // a silent server (TLS expected, plain spoken) fails after this
  long quit_timeout_s = 1;       // the answer to QUIT: all is sent by then, so it is not worth waiting for
};

// False when MIRELUNE_SMTP_URL is unset or empty.
bool SmtpSettingsFromEnvironment(SmtpSettings* out);

// One connection to the server, opened by the first Send and kept for the next
// ones: RSET before each further message, NOOP instead after a long idle, and a new
// connection when that fails. After a failure the next Send opens a new one. Not
// thread-safe: one per thread.
class SmtpConnection {
 public:
  explicit SmtpConnection(SmtpSettings settings);
  ~SmtpConnection();
  SmtpConnection(const SmtpConnection&) = delete;
  SmtpConnection& operator=(const SmtpConnection&) = delete;

  // Sends the item. ok means the server accepted the message's data. `message_key`
  // (letters, digits, '.', '-'; set by the program only) makes the Message-ID
  // <key@sender's domain>, so a message sent again after an unknown outcome is the
  // same message to the receiver; empty: a fresh Message-ID. A failure before any
  // of the message left (a stale connection, a 4xx) is tried once more on a new
  // connection.
  Result<> Send(const MailItem& item, const std::string& message_key = "");
  // QUIT, waiting at most quit_timeout_s for the answer; the next Send connects anew.
  void Close();

 private:
  CURLcode Perform();

  SmtpSettings cfg_;
  CURLM* multi_ = nullptr;  // holds the connection between messages
  CURL* curl_ = nullptr;
  bool used_ = false;     // curl_ has carried a message: its connection may have gone stale
  bool quitting_ = false;  // Close() is ending the connection in order, not dropping it
  std::chrono::steady_clock::time_point last_{};  // when the connection last carried something
};

class SmtpSender : public MailSender {
 public:
  explicit SmtpSender(SmtpSettings settings) : cfg_(std::move(settings)) {}
  Result<> Send(const MailItem& item) override;

 private:
  SmtpSettings cfg_;
};

// 127.0.0.0/8, ::1, ::ffff:127.x.y.z and "localhost": servers a login may reach
// without TLS, as nothing leaves the machine.
bool IsLoopbackHost(const std::string& host);

// `text` with every occurrence of `secret` that stands as a word of its own, or any
// occurrence of a secret of six characters or more, replaced by "***".
std::string WithoutSecret(std::string text, const std::string& secret);

}  // namespace mirelune
