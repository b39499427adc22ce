// mail_smtp.h — sending through a mail server with libcurl.
//
//   SmtpSettings cfg;
//   if (SmtpSettingsFromEnvironment(&cfg)) SmtpSender(cfg).Send(item, &report);
//
// smtp://host:port upgrades to TLS with STARTTLS when the server offers it;
// smtps://host:port speaks TLS from the first byte. The server's certificate is
// checked against the system's trusted authorities.
#pragma once

#include <string>

#include "mail/mail.h"

namespace mirelune {

struct SmtpSettings {
  std::string url;       // MIRELUNE_SMTP_URL
  std::string user;      // MIRELUNE_SMTP_USER: no login when empty
  std::string password;  // MIRELUNE_SMTP_PASSWORD
  std::string from;      // MIRELUNE_MAIL_FROM; the user name when that is an address
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
  bool Send(const MailItem& item, std::string* report) override;

 private:
  SmtpSettings cfg_;
};

}  // namespace mirelune
