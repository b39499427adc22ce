// outlets.cpp — the batch's calls into files/ and mail/.
#include "batch/outlets.h"

#include "files/files.h"

namespace mirelune {

bool SaveCardFile(const Image& card, const std::filesystem::path& path, std::string* error) {
  return SaveImage(card, path, error);
}

bool SmtpOutlet::Configure(std::string* error) {
  if (SmtpSettingsFromEnvironment(&settings_)) return true;
  *error = "--mail sends through a mail server: set MIRELUNE_SMTP_URL (smtp://host:port or smtps://host:port)";
  return false;
}

bool SmtpOutlet::Send(const std::string& to, const std::string& body, const std::filesystem::path& card,
                      const std::string& message_key, std::string* report) const {
  MailItem item;
  item.to = to;
  item.cc.assign(1, ' ');  // no copy recipient, as for a single card
  item.subject = "greetings";
  item.body = body;
  item.attachments.push_back(card);
  SmtpSettings settings = settings_;
  settings.message_key = message_key;
  return SmtpSender(std::move(settings)).Send(item, report);
}

}  // namespace mirelune
