// mail_smtp.h — sending through a mail server with libcurl.
//
//   SmtpSettings cfg;
//   if (SmtpSettingsFromEnvironment(&cfg)) Result<> r = SmtpSender(cfg).Send(item);
//
// smtp://host:port upgrades to TLS with STARTTLS when the server offers it;
// smtps://host:port speaks TLS from the first byte. With a user name or password
// TLS is required: a login is never sent in clear, except to a server on a loopback
// address, which is always reached directly, never through a proxy. The server's certificate is checked against the system's trusted
// authorities, or those of MIRELUNE_SMTP_CA_FILE. libcurl is loaded on first use.
#pragma once

#include <atomic>
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
  // Set by the program only (letters, digits, '.', '-'): the Message-ID becomes
  // <key@sender's domain>, so a message sent again after an unknown outcome is the
  // same message to the receiver. Empty: a fresh Message-ID for every message.
  std::string message_key;
};

// False when MIRELUNE_SMTP_URL is unset or empty.
bool SmtpSettingsFromEnvironment(SmtpSettings* out);

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
