// mail_smtp.cpp — the SMTP sender: checks, the MIME message through libcurl, one
// connection for many messages, and a sentence for every way it can fail that
// says what to check.
#include "mail/mail_smtp.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fstream>
#include <type_traits>

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

// curl_easy_setopt with the value's type checked against the option's kind when
// compiling (curl's own check works in C only): whole numbers go as long, objects
// as pointers and callbacks as functions.
template <CURLoption kOption, typename T>
CURLcode SetOption(CURL* curl, T value) {
  constexpr int kKind = kOption / 10000 * 10000;
  if constexpr (kKind == CURLOPTTYPE_LONG) {
    static_assert(std::is_integral_v<T> || std::is_enum_v<T>, "this option takes a whole number");
    return curl_easy_setopt(curl, kOption, static_cast<long>(value));
  } else if constexpr (kKind == CURLOPTTYPE_OBJECTPOINT) {
    static_assert(std::is_pointer_v<T> && !std::is_function_v<std::remove_pointer_t<T>>, "this option takes an object");
    return curl_easy_setopt(curl, kOption, value);
  } else {
    static_assert(kKind == CURLOPTTYPE_FUNCTIONPOINT && std::is_pointer_v<T>, "this option takes a function");
    return curl_easy_setopt(curl, kOption, value);
  }
}

// libcurl's global state, once per process, before the first handle.
bool StartCurl() {
  static const bool started = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK;
  return started;
}

bool ParseServerUrl(const std::string& url, ServerUrl* out) {
  CURLU* u = curl_url();
  if (!u) return false;
  bool ok = curl_url_set(u, CURLUPART_URL, url.c_str(), 0) == CURLUE_OK;
  char* part = nullptr;
  for (auto [which, into, flags] : {std::tuple{CURLUPART_SCHEME, &out->scheme, 0u},
                                    std::tuple{CURLUPART_HOST, &out->host, 0u},
                                    std::tuple{CURLUPART_PORT, &out->port, unsigned{CURLU_DEFAULT_PORT}}}) {
    if (ok && curl_url_get(u, which, &part, flags) == CURLUE_OK) {
      *into = part;
      curl_free(part);
    } else {
      ok = false;
    }
  }
  curl_url_cleanup(u);
  return ok && (out->scheme == "smtp" || out->scheme == "smtps") && !out->host.empty();
}

// libcurl asks about progress at least once a second, also while a server is silent.
int Progress(void* cancel, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
  const auto* flag = static_cast<const std::atomic<bool>*>(cancel);
  return flag && flag->load() ? 1 : 0;
}

// In one read: a card is hundreds of kilobytes, and a stream iterator's byte at a
// time cost a merge almost a millisecond a message.
bool ReadFile(const std::filesystem::path& p, std::vector<std::uint8_t>* bytes) {
  std::ifstream in(p, std::ios::binary | std::ios::ate);
  const std::streamoff size = in ? std::streamoff(in.tellg()) : -1;
  if (size < 0 || !in.seekg(0)) return false;
  bytes->resize(static_cast<std::size_t>(size));
  in.read(reinterpret_cast<char*>(bytes->data()), size);
  return in.gcount() == size;
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
  // Only what the server or libcurl said can hold the password; our own words never do.
  const std::string why = WithoutSecret(*detail ? std::string(detail) : curl_easy_strerror(rc), cfg.password);
  switch (rc) {
    case CURLE_ABORTED_BY_CALLBACK:
      return "Sending through the mail server at " + at + " was stopped before it was done.";
    case CURLE_USE_SSL_FAILED:
      return "The mail server at " + at + " offers no secure (TLS) connection, so neither the login nor the "
             "card was sent; use smtps:// or a server that offers STARTTLS.";
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
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
      return "The secure (TLS) connection to the mail server at " + at + " failed (" + why + ")." +
             kTlsAdvice + " The server's certificate must also be trusted by this computer (or by "
             "MIRELUNE_SMTP_CA_FILE).";
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

bool WordCharacter(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u >= 0x80 || std::isalnum(u);
}

}  // namespace

std::string WithoutSecret(std::string text, const std::string& secret) {
  if (secret.empty()) return text;
  const bool any_occurrence = secret.size() >= 6;
  for (std::size_t at = text.find(secret); at != std::string::npos;) {
    const std::size_t end = at + secret.size();
    const bool word = (at == 0 || !WordCharacter(text[at - 1])) && (end == text.size() || !WordCharacter(text[end]));
    if (any_occurrence || word) {
      text.replace(at, secret.size(), "***");
      at = text.find(secret, at + 3);
    } else {
      at = text.find(secret, at + 1);
    }
  }
  return text;
}

bool IsLoopbackHost(const std::string& host) {
  if (host == "localhost") return true;
  std::string h = host;
  if (h.size() >= 2 && h.front() == '[' && h.back() == ']') h = h.substr(1, h.size() - 2);
  in_addr v4{};
  if (::inet_pton(AF_INET, h.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  in6_addr v6{};
  if (::inet_pton(AF_INET6, h.c_str(), &v6) != 1) return false;
  if (IN6_IS_ADDR_LOOPBACK(&v6)) return true;
  return IN6_IS_ADDR_V4MAPPED(&v6) && v6.s6_addr[12] == 127;
}

bool SmtpSettingsFromEnvironment(SmtpSettings* out) {
  SmtpSettings cfg;
  cfg.url = Env("MIRELUNE_SMTP_URL");
  if (cfg.url.empty()) return false;
  cfg.user = Env("MIRELUNE_SMTP_USER");
  cfg.password = Env("MIRELUNE_SMTP_PASSWORD");
  cfg.from = Env("MIRELUNE_MAIL_FROM");
  cfg.ca_file = Env("MIRELUNE_SMTP_CA_FILE");
  *out = std::move(cfg);
  return true;
}

namespace {

// Everything a message needs before anything goes out: each check is done and
// each card file read, so a failure here has sent nothing.
struct Outgoing {
  PreparedMail mail;
  ServerUrl server;
  MailAddress from;
  std::vector<std::vector<std::uint8_t>> files;  // one per attachment
};

Result<Outgoing> PrepareOutgoing(const SmtpSettings& cfg, const MailItem& item) {
  Outgoing o;
  MIRELUNE_TRY_ASSIGN(o.mail, PrepareMail(item));
  if (!StartCurl()) return Error{"The mail library could not start, so nothing was sent."};
  if (!ParseServerUrl(cfg.url, &o.server))
    return Error{
        "MIRELUNE_SMTP_URL is not a mail server address; it must look like smtp://host:port "
        "or smtps://host:port. Nothing was sent."};

  const std::string& from_text = cfg.from.empty() ? cfg.user : cfg.from;
  const Result<MailAddress> from = from_text.empty() ? Result<MailAddress>(Error{}) : ParseMailAddress(from_text);
  if (!from)
    return Error{cfg.from.empty()
                     ? "No sender address is set: set MIRELUNE_MAIL_FROM to your own e-mail address. Nothing was "
                       "sent."
                     : "MIRELUNE_MAIL_FROM " + from.error().message +
                           "; set it to your own e-mail address. Nothing was sent."};
  o.from = *from;
  for (const auto& a : o.mail.attachments) {
    o.files.emplace_back();
    if (!ReadFile(a.path, &o.files.back()))
      return Error{"The card file " + a.path.string() + " could not be read, so nothing was sent."};
  }
  return o;
}

// The message's text and attachments as libcurl's MIME parts, each card encoded by
// libcurl as it reads it out; the bytes stay in `o`.
curl_mime* MimeBody(const Outgoing& o, CURL* curl, const std::string& body) {
  curl_mime* mime = curl_mime_init(curl);
  curl_mimepart* part = curl_mime_addpart(mime);
  curl_mime_data(part, body.data(), body.size());
  curl_mime_type(part, "text/plain; charset=UTF-8");
  curl_mime_encoder(part, "quoted-printable");
  for (std::size_t k = 0; k < o.files.size(); ++k) {
    part = curl_mime_addpart(mime);
    curl_mime_data(part, reinterpret_cast<const char*>(o.files[k].data()), o.files[k].size());
    curl_mime_encoder(part, "base64");
    curl_mime_type(part, o.mail.attachments[k].content_type.c_str());
    curl_mime_filename(part, o.mail.attachments[k].filename.c_str());
  }
  return mime;
}

// A command's answer is the server's, not ours to print.
size_t Discard(char*, size_t size, size_t count, void*) { return size * count; }

// A sender that dies mid-message resets its connection instead of closing it.
// Closed, the kernel would go on uploading what it still holds of the message and
// end it properly, delivering a message whose answer nobody is left to journal; reset,
// what is still in flight is dropped, and a server that has not yet read the
// message's end discards the message. Only when the server took in the end before
// the death can a message arrive without its "sent" line.
int ResetWhenDropped(void*, curl_socket_t fd, curlsocktype purpose) {
  const linger reset{1, 0};
  if (purpose == CURLSOCKTYPE_IPCXN) ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  return CURL_SOCKOPT_OK;
}

// After QUIT everything was said: that close is an orderly one.
int CloseSocket(void* quitting, curl_socket_t fd) {
  if (*static_cast<const bool*>(quitting)) {
    const linger orderly{0, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &orderly, sizeof orderly);
  }
  return ::close(fd);
}

// The settings of the connection, the same for every message on it. A login goes
// out only over TLS, or to this very machine. A loopback server is reached
// directly, never through a proxy from the environment (ALL_PROXY, smtp_proxy and
// the like): through one, "127.0.0.1" would be the proxy's machine, and a login in
// clear would cross the network to get there.
CURL* NewHandle(const SmtpSettings& cfg, const Outgoing& o, char* detail, bool* quitting) {
  CURL* curl = curl_easy_init();
  if (!curl) return nullptr;
  const bool login = !cfg.user.empty() || !cfg.password.empty();
  const bool loopback = IsLoopbackHost(o.server.host);
  const long tls = login && !loopback ? CURLUSESSL_ALL : CURLUSESSL_TRY;
  SetOption<CURLOPT_URL>(curl, cfg.url.c_str());
  SetOption<CURLOPT_PROTOCOLS_STR>(curl, "smtp,smtps");
  if (loopback) SetOption<CURLOPT_PROXY>(curl, "");  // no proxy, whatever the environment says
  if (o.server.scheme == "smtp") SetOption<CURLOPT_USE_SSL>(curl, tls);
  if (!cfg.ca_file.empty()) SetOption<CURLOPT_CAINFO>(curl, cfg.ca_file.c_str());
  if (login) {
    SetOption<CURLOPT_USERNAME>(curl, cfg.user.c_str());
    SetOption<CURLOPT_PASSWORD>(curl, cfg.password.c_str());
  }
  SetOption<CURLOPT_CONNECTTIMEOUT>(curl, cfg.connect_timeout_s);
  SetOption<CURLOPT_SERVER_RESPONSE_TIMEOUT>(curl, cfg.response_timeout_s);
  SetOption<CURLOPT_NOSIGNAL>(curl, 1L);
  SetOption<CURLOPT_ERRORBUFFER>(curl, detail);
  SetOption<CURLOPT_NOPROGRESS>(curl, 0L);
  SetOption<CURLOPT_XFERINFOFUNCTION>(curl, Progress);
  SetOption<CURLOPT_XFERINFODATA>(curl, static_cast<const void*>(cfg.cancel));
  SetOption<CURLOPT_SOCKOPTFUNCTION>(curl, ResetWhenDropped);
  SetOption<CURLOPT_CLOSESOCKETFUNCTION>(curl, CloseSocket);
  SetOption<CURLOPT_CLOSESOCKETDATA>(curl, static_cast<void*>(quitting));
  SetOption<CURLOPT_WRITEFUNCTION>(curl, Discard);
  return curl;
}

// A failure on which nothing of the message left, so trying again on a new
// connection cannot deliver a second copy: the server ended a connection that had
// waited since the last message, or answered 4xx (busy, try later) before DATA.
bool WorthAnotherTry(CURLcode rc, long reply, curl_off_t uploaded, bool reused) {
  if (uploaded > 0 || rc == CURLE_ABORTED_BY_CALLBACK) return false;
  if (reply >= 400 && reply < 500) return true;
  return reused && (rc == CURLE_SEND_ERROR || rc == CURLE_RECV_ERROR || rc == CURLE_GOT_NOTHING ||
                    rc == CURLE_WEIRD_SERVER_REPLY);
}

}  // namespace

SmtpConnection::SmtpConnection(SmtpSettings settings) : cfg_(std::move(settings)) {}

SmtpConnection::~SmtpConnection() { Close(); }

// The connection stays with the multi handle between messages; libcurl closes it
// (QUIT) with the time-outs the last handle added brought along.
void SmtpConnection::Close() {
  if (!multi_) return;
  quitting_ = true;
  if (curl_) {
    // Everything was answered before this: a server slow to answer QUIT costs this
    // much once per connection, not the response time-out.
    SetOption<CURLOPT_SERVER_RESPONSE_TIMEOUT>(curl_, cfg_.quit_timeout_s);
    curl_multi_add_handle(multi_, curl_);
    curl_multi_remove_handle(multi_, curl_);
    curl_easy_cleanup(curl_);
  }
  curl_multi_cleanup(multi_);
  quitting_ = false;
  multi_ = nullptr;
  curl_ = nullptr;
  used_ = false;
}

// One transfer through the multi handle, which keeps the connection between
// messages, waiting as curl_easy_perform would.
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
  // Idle this long, a kept connection is asked whether it is still there (NOOP); a
  // server may drop an idle client, and a stale line found now costs nothing.
  constexpr auto kIdle = std::chrono::seconds(10);
  MIRELUNE_TRY_ASSIGN(const Outgoing o, PrepareOutgoing(cfg_, item));
  const PreparedMail& m = o.mail;
  const std::string body = CrlfLines(m.body);
  const std::string domain = o.from.address.substr(o.from.address.find('@') + 1);
  const std::string message_id = message_key.empty() ? NewMessageId(domain) : "<" + message_key + "@" + domain + ">";
  const std::string from = "<" + o.from.address + ">";
  for (int attempt = 0;; ++attempt) {
    char detail[CURL_ERROR_SIZE] = {0};
    if (!multi_ && !(multi_ = curl_multi_init())) return Error{"The mail library could not start, so nothing was sent."};
    if (!curl_ && !(curl_ = NewHandle(cfg_, o, detail, &quitting_)))
      return Error{"The mail library could not start, so nothing was sent."};
    SetOption<CURLOPT_ERRORBUFFER>(curl_, detail);
    CURLcode rc = CURLE_OK;
    curl_off_t uploaded = 0;
    if (used_) {  // the last message's transaction is closed in so many words, and the line proven alive
      SetOption<CURLOPT_CUSTOMREQUEST>(curl_, std::chrono::steady_clock::now() - last_ > kIdle ? "NOOP" : "RSET");
      rc = Perform();
      SetOption<CURLOPT_CUSTOMREQUEST>(curl_, static_cast<const char*>(nullptr));
    }
    if (rc == CURLE_OK) {
      curl_mime* mime = MimeBody(o, curl_, body);
      curl_slist* headers = nullptr;
      for (const std::string& h : MailHeaders(o.from, m, MailDate(std::time(nullptr)), message_id))
        headers = curl_slist_append(headers, h.c_str());
      curl_slist* rcpt = curl_slist_append(nullptr, ("<" + m.to.address + ">").c_str());
      if (m.cc) rcpt = curl_slist_append(rcpt, ("<" + m.cc->address + ">").c_str());
      SetOption<CURLOPT_MAIL_FROM>(curl_, from.c_str());
      SetOption<CURLOPT_MAIL_RCPT>(curl_, rcpt);
      SetOption<CURLOPT_HTTPHEADER>(curl_, headers);
      SetOption<CURLOPT_MIMEPOST>(curl_, mime);
      rc = Perform();
      curl_easy_getinfo(curl_, CURLINFO_SIZE_UPLOAD_T, &uploaded);
      // Nothing of this message stays on the handle: the next command or message uses it.
      SetOption<CURLOPT_MIMEPOST>(curl_, static_cast<curl_mime*>(nullptr));
      SetOption<CURLOPT_MAIL_RCPT>(curl_, static_cast<curl_slist*>(nullptr));
      SetOption<CURLOPT_HTTPHEADER>(curl_, static_cast<curl_slist*>(nullptr));
      curl_mime_free(mime);
      curl_slist_free_all(headers);
      curl_slist_free_all(rcpt);
    }
    long reply = 0;
    curl_easy_getinfo(curl_, CURLINFO_RESPONSE_CODE, &reply);
    SetOption<CURLOPT_ERRORBUFFER>(curl_, static_cast<char*>(nullptr));
    if (rc == CURLE_OK) {
      used_ = true;
      return Result<>::Done("The card was sent to " + m.to.address + " through " + o.server.Shown() + ".");
    }
    const bool again = attempt == 0 && WorthAnotherTry(rc, reply, uploaded, used_);
    Close();  // after a failure the connection's state is unknown: the next message gets a new one
    if (!again) return Error{Explain(rc, reply, detail, o.server, cfg_, m, o.from)};
  }
}

Result<> SmtpSender::Send(const MailItem& item) { return SmtpConnection(cfg_).Send(item); }

}  // namespace mirelune
