// mail_smtp.cpp — the SMTP sender: checks, MIME, one libcurl transfer, and a
// sentence for every way it can fail that says what to check.
#include "mail/mail_smtp.h"

#include <curl/curl.h>

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <iterator>
#include <mutex>

#include "mail/mail_mime.h"

namespace mirelune {
namespace {

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// Where the server is, for messages: scheme, host and port, never user or password.
struct ServerUrl {
  std::string scheme, host, port;
  std::string Shown() const { return scheme + "://" + host + ":" + port; }
};

bool ParseServerUrl(const std::string& url, ServerUrl* out) {
  CURLU* u = curl_url();
  if (!u) return false;
  bool ok = curl_url_set(u, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK;
  char* part = nullptr;
  if (ok && curl_url_get(u, CURLUPART_SCHEME, &part, 0) == CURLUE_OK) {
    out->scheme = part;
    curl_free(part);
  } else {
    ok = false;
  }
  if (ok && curl_url_get(u, CURLUPART_HOST, &part, 0) == CURLUE_OK) {
    out->host = part;
    curl_free(part);
  } else {
    ok = false;
  }
  if (ok && curl_url_get(u, CURLUPART_PORT, &part, CURLU_DEFAULT_PORT) == CURLUE_OK) {
    out->port = part;
    curl_free(part);
  } else {
    ok = false;
  }
  curl_url_cleanup(u);
  return ok && (out->scheme == "smtp" || out->scheme == "smtps") && !out->host.empty();
}

struct Upload {
  const std::string* data;
  std::size_t pos = 0;
};

std::size_t ReadUpload(char* buffer, std::size_t size, std::size_t count, void* user) {
  auto* up = static_cast<Upload*>(user);
  const std::size_t n = std::min(size * count, up->data->size() - up->pos);
  std::memcpy(buffer, up->data->data() + up->pos, n);
  up->pos += n;
  return n;
}

bool ReadFile(const std::filesystem::path& p, std::vector<std::uint8_t>* bytes) {
  std::ifstream in(p, std::ios::binary);
  if (!in) return false;
  bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

bool StartsWith(const char* s, const char* prefix) {
  return std::strncmp(s, prefix, std::strlen(prefix)) == 0;
}

const char kTlsAdvice[] =
    " Check MIRELUNE_SMTP_URL: use smtps:// for a server that expects TLS from the start (usually port 465) "
    "and smtp:// for a plain or STARTTLS server (usually port 587 or 25).";

// One sentence per failure, naming the setting to check.
std::string Explain(CURLcode rc, long reply, const char* detail, const ServerUrl& server,
                    const SmtpSettings& cfg, const PreparedMail& m, const MailAddress& from) {
  const std::string at = server.Shown();
  const std::string code = reply > 0 ? " (reply " + std::to_string(reply) + ")" : "";
  const std::string why = *detail ? std::string(detail) : curl_easy_strerror(rc);
  switch (rc) {
    case CURLE_COULDNT_RESOLVE_HOST:
      return "The mail server " + server.host +
             " could not be found. Check MIRELUNE_SMTP_URL and the network.";
    case CURLE_COULDNT_CONNECT:
      return "Could not connect to the mail server at " + at + " (" + why +
             "). Check MIRELUNE_SMTP_URL and that the server is running.";
    case CURLE_OPERATION_TIMEDOUT:
      return "The mail server at " + at + " did not answer in time." + kTlsAdvice;
    case CURLE_LOGIN_DENIED:
      return "The mail server at " + at + " refused the login as \"" + cfg.user +
             "\". Check MIRELUNE_SMTP_USER and MIRELUNE_SMTP_PASSWORD.";
    case CURLE_USE_SSL_FAILED:
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
      return "The secure (TLS) connection to the mail server at " + at + " failed (" + why + ")." +
             kTlsAdvice + " The server's certificate must also be trusted by this computer.";
    default:
      break;
  }
  if (StartsWith(detail, "RCPT failed")) {
    std::string who = m.to.address;
    if (m.cc) who += " or the copy recipient " + m.cc->address;
    return "The mail server at " + at + " refused the recipient " + who + code + ". Check the address.";
  }
  if (StartsWith(detail, "MAIL failed"))
    return "The mail server at " + at + " refused the sender " + from.address + code +
           ". Check MIRELUNE_MAIL_FROM, and MIRELUNE_SMTP_USER and MIRELUNE_SMTP_PASSWORD if the server "
           "needs a login.";
  if (StartsWith(detail, "DATA failed") || (rc == CURLE_WEIRD_SERVER_REPLY && reply >= 400))
    return "The mail server at " + at + " refused the message" + code + ".";
  if (rc == CURLE_WEIRD_SERVER_REPLY || rc == CURLE_RECV_ERROR || rc == CURLE_GOT_NOTHING)
    return "The mail server at " + at + " answered in an unexpected way (" + why + ")." + kTlsAdvice;
  return "Sending through the mail server at " + at + " failed (" + why + "). Check MIRELUNE_SMTP_URL.";
}

// Belt and braces: a password must never reach the user's screen or a log.
std::string WithoutSecret(std::string text, const std::string& secret) {
  if (secret.empty()) return text;
  for (std::size_t at = text.find(secret); at != std::string::npos; at = text.find(secret, at + 3))
    text.replace(at, secret.size(), "***");
  return text;
}

}  // namespace

bool SmtpSettingsFromEnvironment(SmtpSettings* out) {
  SmtpSettings cfg;
  cfg.url = Env("MIRELUNE_SMTP_URL");
  if (cfg.url.empty()) return false;
  cfg.user = Env("MIRELUNE_SMTP_USER");
  cfg.password = Env("MIRELUNE_SMTP_PASSWORD");
  cfg.from = Env("MIRELUNE_MAIL_FROM");
  *out = std::move(cfg);
  return true;
}

bool SmtpSender::Send(const MailItem& item, std::string* report) {
  std::string text;
  const bool ok = [&] {
    PreparedMail m;
    if (!PrepareMail(item, &m, &text)) return false;

    ServerUrl server;
    if (!ParseServerUrl(cfg_.url, &server)) {
      text =
          "MIRELUNE_SMTP_URL is not a mail server address; it must look like smtp://host:port "
          "or smtps://host:port. Nothing was sent.";
      return false;
    }

    MailAddress from;
    std::string why;
    const std::string& from_text = cfg_.from.empty() ? cfg_.user : cfg_.from;
    if (from_text.empty() || !ParseMailAddress(from_text, &from, &why)) {
      text = cfg_.from.empty()
                 ? "No sender address is set: set MIRELUNE_MAIL_FROM to your own e-mail address. Nothing was "
                   "sent."
                 : "MIRELUNE_MAIL_FROM " + why + "; set it to your own e-mail address. Nothing was sent.";
      return false;
    }

    MimeMessage msg;
    msg.from = from;
    msg.to = m.to;
    msg.cc = m.cc;
    msg.subject = m.subject;
    msg.body = m.body;
    for (const auto& a : m.attachments) {
      MimeAttachment att{a.filename, a.content_type, {}};
      if (!ReadFile(a.path, &att.bytes)) {
        text = "The card file " + a.path.string() + " could not be read, so nothing was sent.";
        return false;
      }
      msg.attachments.push_back(std::move(att));
    }
    msg.date = MailDate(std::time(nullptr));
    const std::string domain = from.address.substr(from.address.find('@') + 1);
    msg.message_id = cfg_.message_key.empty() ? NewMessageId(domain) : "<" + cfg_.message_key + "@" + domain + ">";
    const std::string wire = BuildMimeMessage(msg);

    static std::once_flag curl_ready;
    std::call_once(curl_ready, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
    CURL* curl = curl_easy_init();
    if (!curl) {
      text = "The mail library could not start, so nothing was sent.";
      return false;
    }
    curl_slist* rcpt = curl_slist_append(nullptr, ("<" + m.to.address + ">").c_str());
    if (m.cc) rcpt = curl_slist_append(rcpt, ("<" + m.cc->address + ">").c_str());
    Upload up{&wire};
    char detail[CURL_ERROR_SIZE] = {0};
    curl_easy_setopt(curl, CURLOPT_URL, cfg_.url.c_str());
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    if (server.scheme == "smtp") curl_easy_setopt(curl, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
    if (!cfg_.user.empty()) {
      curl_easy_setopt(curl, CURLOPT_USERNAME, cfg_.user.c_str());
      curl_easy_setopt(curl, CURLOPT_PASSWORD, cfg_.password.c_str());
    }
    curl_easy_setopt(curl, CURLOPT_MAIL_FROM, ("<" + from.address + ">").c_str());
    curl_easy_setopt(curl, CURLOPT_MAIL_RCPT, rcpt);
    curl_easy_setopt(curl, CURLOPT_UPLOAD, 1L);
    curl_easy_setopt(curl, CURLOPT_READFUNCTION, ReadUpload);
    curl_easy_setopt(curl, CURLOPT_READDATA, &up);
    curl_easy_setopt(curl, CURLOPT_INFILESIZE_LARGE, static_cast<curl_off_t>(wire.size()));
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, cfg_.connect_timeout_s);
    curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, cfg_.response_timeout_s);
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, detail);
    const CURLcode rc = curl_easy_perform(curl);
    long reply = 0;
    curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &reply);
    curl_slist_free_all(rcpt);
    curl_easy_cleanup(curl);
    if (rc != CURLE_OK) {
      text = Explain(rc, reply, detail, server, cfg_, m, from);
      return false;
    }
    text = "The card was sent to " + m.to.address + " through " + server.Shown() + ".";
    return true;
  }();
  if (report) *report = WithoutSecret(text, cfg_.password);
  return ok;
}

}  // namespace mirelune
