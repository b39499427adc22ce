// mail_smtp.h — sending through a mail server with libcurl.
//
//   SmtpSettings cfg;
//   if (!SmtpSettingsFromEnvironment(&cfg)) ...;   // no server set
//   SmtpConnection c(cfg);                          // one for many messages
//   for (...) if (Result<> r = c.Send(item, key); r) journal("sent");   // ok: the server's 250 arrived
//
// smtp://host:port upgrades to TLS with STARTTLS when the server offers it;
// smtps://host:port speaks TLS from the first byte. A login goes out only over TLS,
// except to a server on a loopback address, which is always reached directly, never
// through a proxy. The server's certificate is checked against the system's trusted
// authorities, or those of MIRELUNE_SMTP_CA_FILE.
#pragma once

#include <curl/curl.h>

#include <chrono>

#include "mail/mail.h"

namespace mirelune {

struct SmtpSettings {
  std::string url, user, password, from;  // MIRELUNE_SMTP_URL, _USER, _PASSWORD (a login when either is set), MIRELUNE_MAIL_FROM
  std::string ca_file;                    // MIRELUNE_SMTP_CA_FILE: trusted authorities (PEM) instead of the system's
  const std::atomic<bool>* cancel = nullptr;  // stops a send in progress when it turns true
  // A silent server (TLS expected, plain spoken) fails after the response time-out; all is
  // sent by QUIT, so its answer is not worth waiting for.
  long connect_timeout_s = 15, response_timeout_s = 30, quit_timeout_s = 1;
};

// libcurl set up for the whole program, at the start of main before any other thread:
// its global set-up (OpenSSL's among it) is not safe beside running threads.
struct MailLibrary {
  MailLibrary() { curl_global_init(CURL_GLOBAL_DEFAULT); }
  ~MailLibrary() { curl_global_cleanup(); }
};

// False when MIRELUNE_SMTP_URL is unset or empty.
bool SmtpSettingsFromEnvironment(SmtpSettings* out);

// One connection, opened by the first Send and kept for the next ones: RSET before
// each further message, NOOP instead after a long idle. After a failure the next
// Send connects anew. Not thread-safe: one per thread. Ends with QUIT.
class SmtpConnection : public MailSender {
 public:
  explicit SmtpConnection(SmtpSettings settings) : cfg_(std::move(settings)) {}
  ~SmtpConnection() { Close(); }
  SmtpConnection(const SmtpConnection&) = delete;
  SmtpConnection& operator=(const SmtpConnection&) = delete;

  // ok: the server accepted the message's data. `message_key` (letters, digits, '.',
  // '-') makes the Message-ID <key@sender's domain>, so a message sent again is the
  // same message to the receiver; empty: a fresh one. A failure before any of the
  // message left (a stale connection, a 4xx) is tried once more on a new connection.
  Result<> Send(const MailItem& item, const std::string& message_key = "") override;
  void Close();  // QUIT, waiting at most quit_timeout_s for the answer

 private:
  CURLcode Perform();

  SmtpSettings cfg_;
  CURLM* multi_ = nullptr;  // holds the connection between messages
  CURL* curl_ = nullptr;
  bool used_ = false;      // the connection has carried a message: it may have gone stale
  bool quitting_ = false;  // Close() is ending the connection in order, not dropping it
  std::chrono::steady_clock::time_point last_{};  // when the connection last carried something
};

// The server of MIRELUNE_SMTP_URL and the rest, for a batch; an error saying what
// to set when none is.
Result<MailServer> MailServerFromEnvironment();

// `text` with every occurrence of `secret` that stands as a word of its own, or any
// occurrence of a secret of six characters or more, replaced by "***".
std::string WithoutSecret(std::string text, const std::string& secret);

}  // namespace mirelune
