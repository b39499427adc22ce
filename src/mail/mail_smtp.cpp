// mail_smtp.cpp — the SMTP sender: the MIME message through libcurl, one connection
// for many messages, and a sentence for every way it can fail that says what to check.
#include "mail/mail_smtp.h"

#include <sys/socket.h>
#include <nettle/base64.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <fstream>
#include <sstream>
#include <memory>

#include "base/loopback.h"

namespace mirelune {
namespace {

const char kNoLibrary[] = "The mail library could not start, so nothing was sent.";
const char kTlsAdvice[] =
    " Check MIRELUNE_SMTP_URL: use smtps:// for a server that expects TLS from the start (usually port 465) "
    "and smtp:// for a plain or STARTTLS server (usually port 587 or 25).";

// Where the server is, for messages: scheme, host and port, never user or password.
struct ServerUrl {
  std::string scheme, host, port;
  std::string Shown() const { return scheme + "://" + host + ":" + port; }
};

bool ParseServerUrl(const std::string& url, ServerUrl* out) {
  CURLU* u = curl_url();
  char *scheme = nullptr, *host = nullptr, *port = nullptr;
  const bool ok = u && curl_url_set(u, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK &&
                  curl_url_get(u, CURLUPART_SCHEME, &scheme, 0) == CURLUE_OK &&
                  curl_url_get(u, CURLUPART_HOST, &host, 0) == CURLUE_OK &&
                  curl_url_get(u, CURLUPART_PORT, &port, CURLU_DEFAULT_PORT) == CURLUE_OK;
  if (ok) *out = {scheme, host, port};
  for (char* part : {scheme, host, port}) curl_free(part);
  curl_url_cleanup(u);
  return ok && (out->scheme == "smtp" || out->scheme == "smtps") && !out->host.empty();
}

// libcurl asks about progress at least once a second, also while a server is silent.
int Progress(void* cancel, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  return cancel && static_cast<const std::atomic<bool>*>(cancel)->load() ? 1 : 0;
}

// A sender that dies mid-message resets its connection instead of closing it.
// Closed, the kernel would go on uploading what it still holds of the message and
// end it properly, delivering a message whose answer nobody is left to journal;
// reset, what is in flight is dropped, and a server that has not read the message's
// end discards it. Only after QUIT is the close an orderly one.
int ResetWhenDropped(void*, curl_socket_t fd, curlsocktype purpose) {
  const linger reset{1, 0};
  if (purpose == CURLSOCKTYPE_IPCXN) ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  return CURL_SOCKOPT_OK;
}
int CloseSocket(void* quitting, curl_socket_t fd) {
  const linger orderly{0, 0};
  if (*static_cast<const bool*>(quitting)) ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &orderly, sizeof orderly);
  return ::close(fd);
}

// One sentence per failure, naming the setting to check.
std::string Explain(CURLcode rc, long reply, const std::string& detail, const ServerUrl& server,
                    const SmtpSettings& cfg, const PreparedMail& m, const MailAddress& from) {
  const std::string at = "The mail server at " + server.Shown();
  const std::string code = reply > 0 ? " (reply " + std::to_string(reply) + ")" : "";
  // Only what the server or libcurl said can hold the password; our own words never do.
  const std::string why = WithoutSecret(detail.empty() ? curl_easy_strerror(rc) : detail, cfg.password);
  switch (rc) {
    case CURLE_ABORTED_BY_CALLBACK:
      return "Sending through the mail server at " + server.Shown() + " was stopped before it was done.";
    case CURLE_USE_SSL_FAILED:
      return at + " offers no secure (TLS) connection, so neither the login nor the card was sent; use smtps:// "
                  "or a server that offers STARTTLS.";
    case CURLE_COULDNT_RESOLVE_HOST:
      return "The mail server " + server.host + " could not be found. Check MIRELUNE_SMTP_URL and the network.";
    case CURLE_COULDNT_CONNECT:
      return "Could not connect to the mail server at " + server.Shown() + " (" + why +
             "). Check MIRELUNE_SMTP_URL and that the server is running.";
    case CURLE_OPERATION_TIMEDOUT:
      return at + " did not answer in time." + kTlsAdvice;
    case CURLE_LOGIN_DENIED:
      return at + " refused the login as \"" + cfg.user + "\". Check MIRELUNE_SMTP_USER and MIRELUNE_SMTP_PASSWORD.";
    case CURLE_SSL_CONNECT_ERROR: case CURLE_PEER_FAILED_VERIFICATION: case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER: case CURLE_SSL_CACERT_BADFILE: case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH: case CURLE_SSL_INVALIDCERTSTATUS:
      return "The secure (TLS) connection to the mail server at " + server.Shown() + " failed (" + why + ")." +
             kTlsAdvice + " The server's certificate must also be trusted by this computer (or by MIRELUNE_SMTP_CA_FILE).";
    default:
      break;
  }
  if (detail.starts_with("RCPT failed"))
    return at + " refused the recipient " + m.to.address + (m.cc ? " or the copy recipient " + m.cc->address : "") +
           code + ". Check the address.";
  if (detail.starts_with("MAIL failed"))
    return at + " refused the sender " + from.address + code + ". Check MIRELUNE_MAIL_FROM, and MIRELUNE_SMTP_USER and "
           "MIRELUNE_SMTP_PASSWORD if the server needs a login.";
  if (detail.starts_with("DATA failed") || (rc == CURLE_WEIRD_SERVER_REPLY && reply >= 400))
    return at + " refused the message" + code + ".";
  if (rc == CURLE_WEIRD_SERVER_REPLY || rc == CURLE_RECV_ERROR || rc == CURLE_GOT_NOTHING)
    return at + " answered in an unexpected way (" + why + ")." + kTlsAdvice;
  return "Sending through the mail server at " + server.Shown() + " failed (" + why + "). Check MIRELUNE_SMTP_URL.";
}

// The connection's settings, the same for every message on it. A login goes out
// only over TLS, or to this very machine. A loopback server is reached directly,
// never through a proxy from the environment (ALL_PROXY, smtp_proxy and the like):
// through one, "127.0.0.1" would be the proxy's machine, and a login in clear would
// cross the network to get there.
CURL* NewHandle(const SmtpSettings& cfg, const ServerUrl& server, bool* quitting) {
  CURL* curl = curl_easy_init();
  if (!curl) return nullptr;
  const bool login = !cfg.user.empty() || !cfg.password.empty(), loopback = IsLoopbackHost(server.host);
  curl_easy_setopt(curl, CURLOPT_URL, cfg.url.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
  if (loopback) curl_easy_setopt(curl, CURLOPT_PROXY, "");
  if (server.scheme == "smtp") curl_easy_setopt(curl, CURLOPT_USE_SSL, long{login && !loopback ? CURLUSESSL_ALL : CURLUSESSL_TRY});
  if (!cfg.ca_file.empty()) curl_easy_setopt(curl, CURLOPT_CAINFO, cfg.ca_file.c_str());
  if (login) {
    curl_easy_setopt(curl, CURLOPT_USERNAME, cfg.user.c_str());
    curl_easy_setopt(curl, CURLOPT_PASSWORD, cfg.password.c_str());
  }
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, cfg.connect_timeout_s);
  curl_easy_setopt(curl, CURLOPT_SERVER_RESPONSE_TIMEOUT, cfg.response_timeout_s);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, Progress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, static_cast<const void*>(cfg.cancel));
  curl_easy_setopt(curl, CURLOPT_SOCKOPTFUNCTION, ResetWhenDropped);
  curl_easy_setopt(curl, CURLOPT_CLOSESOCKETFUNCTION, CloseSocket);
  curl_easy_setopt(curl, CURLOPT_CLOSESOCKETDATA, static_cast<void*>(quitting));
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, +[](char*, size_t size, size_t n, void*) { return size * n; });  // answers: not ours to print
  return curl;
}

// A card as base64 lines of 76, encoded in one go: libcurl's own encoder hands the
// socket 350 bytes at a time, a thousand sends and polls a card.
bool ReadBase64(const std::filesystem::path& p, std::string* out) {
  std::ostringstream read;
  const std::string bytes = (read << std::ifstream(p, std::ios::binary).rdbuf()) ? read.str() : "";
  for (std::size_t k = 0, n; k < bytes.size(); k += n) {
    char line[76];
    base64_encode_raw(line, n = std::min<std::size_t>(57, bytes.size() - k), reinterpret_cast<const std::uint8_t*>(&bytes[k]));
    out->append(line, BASE64_ENCODE_RAW_LENGTH(n)).append("\r\n");
  }
  return !bytes.empty();
}

using Slist = std::unique_ptr<curl_slist, decltype(&curl_slist_free_all)>;
using Mime = std::unique_ptr<curl_mime, decltype(&curl_mime_free)>;

}  // namespace

std::string WithoutSecret(std::string text, const std::string& secret) {
  const auto word_character = [&](std::size_t k) { return (text[k] & 0x80) || std::isalnum(static_cast<unsigned char>(text[k])); };
  for (std::size_t at = secret.empty() ? text.npos : text.find(secret); at != text.npos;) {
    const std::size_t end = at + secret.size();
    if (secret.size() >= 6 || ((at == 0 || !word_character(at - 1)) && (end == text.size() || !word_character(end)))) {
      text.replace(at, secret.size(), "***");
      at = text.find(secret, at + 3);
    } else {
      at = text.find(secret, at + 1);
    }
  }
  return text;
}

Result<MailServer> MailServerFromEnvironment() {
  SmtpSettings cfg;
  if (!SmtpSettingsFromEnvironment(&cfg))
    return Error{"--mail sends through a mail server: set MIRELUNE_SMTP_URL (smtp://host:port or smtps://host:port)"};
  std::string sender = cfg.from.empty() ? cfg.user : cfg.from;
  return MailServer{std::move(sender), [cfg] { return std::make_unique<SmtpConnection>(cfg); }};
}

bool SmtpSettingsFromEnvironment(SmtpSettings* out) {
  const auto Env = [](const char* name) { return std::string(std::getenv(name) ? std::getenv(name) : ""); };
  if (Env("MIRELUNE_SMTP_URL").empty()) return false;
  *out = {Env("MIRELUNE_SMTP_URL"), Env("MIRELUNE_SMTP_USER"), Env("MIRELUNE_SMTP_PASSWORD"), Env("MIRELUNE_MAIL_FROM"),
          Env("MIRELUNE_SMTP_CA_FILE")};
  return true;
}

// The connection stays with the multi handle between messages; libcurl ends it
// (QUIT) with the time-outs the last handle added brought along: a server slow to
// answer QUIT costs quit_timeout_s once a connection.
void SmtpConnection::Close() {
  if (!multi_) return;
  quitting_ = true;
  if (curl_) {
    curl_easy_setopt(curl_, CURLOPT_SERVER_RESPONSE_TIMEOUT, cfg_.quit_timeout_s);
    curl_multi_add_handle(multi_, curl_);
    curl_multi_remove_handle(multi_, curl_);
    curl_easy_cleanup(curl_);
  }
  curl_multi_cleanup(multi_);
  multi_ = curl_ = nullptr;
  quitting_ = used_ = false;
}

// One transfer through the multi handle, waiting as curl_easy_perform would.
CURLcode SmtpConnection::Perform() {
  if (curl_multi_add_handle(multi_, curl_) != CURLM_OK) return CURLE_FAILED_INIT;
  CURLcode rc = CURLE_FAILED_INIT;
  for (int running = 1; running > 0;)
    if (curl_multi_perform(multi_, &running) != CURLM_OK ||
        (running > 0 && curl_multi_poll(multi_, nullptr, 0, 1000, nullptr) != CURLM_OK))
      break;
  int left = 0;
  while (CURLMsg* msg = curl_multi_info_read(multi_, &left))
    if (msg->msg == CURLMSG_DONE && msg->easy_handle == curl_) rc = msg->data.result;
  curl_multi_remove_handle(multi_, curl_);
  last_ = std::chrono::steady_clock::now();
  return rc;
}

Result<> SmtpConnection::Send(const MailItem& item, const std::string& message_key) {
  constexpr auto kIdle = std::chrono::seconds(10);  // a connection idle this long is asked if it is still there
  MIRELUNE_TRY_ASSIGN(const PreparedMail m, PrepareMail(item));
  ServerUrl server;
  if (!ParseServerUrl(cfg_.url, &server))
    return Error{"MIRELUNE_SMTP_URL is not a mail server address; it must look like smtp://host:port or "
                 "smtps://host:port. Nothing was sent."};
  const std::string& from_text = cfg_.from.empty() ? cfg_.user : cfg_.from;
  const Result<MailAddress> from = from_text.empty() ? Result<MailAddress>(Error{}) : ParseMailAddress(from_text);
  if (!from)
    return Error{cfg_.from.empty() ? "No sender address is set: set MIRELUNE_MAIL_FROM to your own e-mail address. "
                                     "Nothing was sent."
                                   : "MIRELUNE_MAIL_FROM " + from.error().message +
                                         "; set it to your own e-mail address. Nothing was sent."};
  const std::string domain = from->address.substr(from->address.find('@') + 1), body = CrlfLines(m.body);
  const std::string message_id = message_key.empty() ? NewMessageId(domain) : "<" + message_key + "@" + domain + ">";
  Slist headers(nullptr, curl_slist_free_all), rcpt(nullptr, curl_slist_free_all);
  for (const std::string& h : MailHeaders(*from, m, MailDate(std::time(nullptr)), message_id))
    headers.reset(curl_slist_append(headers.release(), h.c_str()));
  for (const MailAddress* a : {&m.to, m.cc ? &*m.cc : nullptr})
    if (a) rcpt.reset(curl_slist_append(rcpt.release(), ("<" + a->address + ">").c_str()));
  std::vector<std::string> cards(m.attachments.size());
  for (std::size_t k = 0; k < cards.size(); ++k)
    if (!ReadBase64(m.attachments[k], &cards[k]))
      return Error{"The card file " + m.attachments[k].string() + " could not be read, so nothing was sent."};
  for (int attempt = 0;; ++attempt) {
    if (!multi_ && !(multi_ = curl_multi_init())) return Error{kNoLibrary};
    if (!curl_ && !(curl_ = NewHandle(cfg_, server, &quitting_))) return Error{kNoLibrary};
    char detail[CURL_ERROR_SIZE] = {0};
    curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, detail);
    CURLcode rc = CURLE_OK;
    if (used_) {  // the last transaction is closed in so many words, and the line proven alive
      curl_easy_setopt(curl_, CURLOPT_CUSTOMREQUEST, std::chrono::steady_clock::now() - last_ > kIdle ? "NOOP" : "RSET");
      rc = Perform();
      curl_easy_setopt(curl_, CURLOPT_CUSTOMREQUEST, nullptr);
    }
    curl_off_t uploaded = 0;
    if (rc == CURLE_OK) {
      const Mime mime(curl_mime_init(curl_), curl_mime_free);  // the text and the cards as libcurl's MIME parts
      curl_mimepart* part = curl_mime_addpart(mime.get());
      curl_mime_data(part, body.data(), body.size());
      curl_mime_type(part, "text/plain; charset=UTF-8");
      curl_mime_encoder(part, "quoted-printable");
      for (std::size_t k = 0; k < cards.size(); ++k) {
        part = curl_mime_addpart(mime.get());
        curl_mime_data(part, cards[k].data(), cards[k].size());
        curl_mime_filename(part, m.attachments[k].filename().c_str());  // libcurl knows .png and .jpg, not .bmp
        curl_mime_type(part, m.attachments[k].extension() == ".bmp" ? "image/bmp" : nullptr);
        curl_mime_headers(part, curl_slist_append(nullptr, "Content-Transfer-Encoding: base64"), 1);
      }
      curl_easy_setopt(curl_, CURLOPT_MAIL_FROM, ("<" + from->address + ">").c_str());  // copied
      curl_easy_setopt(curl_, CURLOPT_MAIL_RCPT, rcpt.get());
      curl_easy_setopt(curl_, CURLOPT_HTTPHEADER, headers.get());
      curl_easy_setopt(curl_, CURLOPT_MIMEPOST, mime.get());
      rc = Perform();
      curl_easy_getinfo(curl_, CURLINFO_SIZE_UPLOAD_T, &uploaded);
      for (CURLoption o : {CURLOPT_MIMEPOST, CURLOPT_MAIL_RCPT, CURLOPT_HTTPHEADER})  // the next command sends none of it
        curl_easy_setopt(curl_, o, nullptr);
    }
    long reply = 0;
    curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &reply);
    curl_easy_setopt(curl_, CURLOPT_ERRORBUFFER, nullptr);
    if (rc == CURLE_OK) {
      used_ = true;
      return Result<>::Done("The card was sent to " + m.to.address + " through " + server.Shown() + ".");
    }
    // A failure on which nothing of the message left, so trying again on a new
    // connection cannot deliver a second copy: the server ended a connection that had
    // waited since the last message, or answered 4xx (busy, try later) before DATA.
    const bool again = attempt == 0 && uploaded == 0 && rc != CURLE_ABORTED_BY_CALLBACK &&
                       ((reply >= 400 && reply < 500) || (used_ && (rc == CURLE_SEND_ERROR || rc == CURLE_RECV_ERROR ||
                                                                    rc == CURLE_GOT_NOTHING || rc == CURLE_WEIRD_SERVER_REPLY)));
    Close();  // after a failure the connection's state is unknown: the next message gets a new one
    if (!again) return Error{Explain(rc, reply, detail, server, cfg_, m, *from)};
  }
}

}  // namespace mirelune
