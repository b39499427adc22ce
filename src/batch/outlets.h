// outlets.h — where a batch hands its cards: the engine's file writer and its mail
// sender, behind two small calls so that the batch does not depend on their shape.
#pragma once

#include <filesystem>
#include <string>

#include "mail/mail_smtp.h"
#include "surface/surface.h"

namespace mirelune {

// Writes the card atomically (temporary file, fsync, rename) as PNG or BMP by the
// file's extension; false with the reason on failure.
bool SaveCardFile(const Image& card, const std::filesystem::path& path, std::string* error);

// The mail server of MIRELUNE_SMTP_URL and its login, as for a single card.
class SmtpOutlet {
 public:
  // False with the reason when no mail server is set: a batch never opens the
  // desktop mail program once per row.
  bool Configure(std::string* error);
  // Sends `card` to `to` with the subject "greetings" and `body`; the Message-ID is
  // made from `message_key`, so a message sent again is recognisably the same one.
  bool Send(const std::string& to, const std::string& body, const std::filesystem::path& card,
            const std::string& message_key, std::string* report) const;

 private:
  SmtpSettings settings_;
};

}  // namespace mirelune
