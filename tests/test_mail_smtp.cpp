// Sending through real SMTP servers (tests/smtp_server.py, aiosmtpd): plain,
// STARTTLS and TLS from the start with a certificate made for the test, and one on
// a non-loopback address. Python's own e-mail package parses what arrives.
#include <gtest/gtest.h>
#include <ifaddrs.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <arpa/inet.h>

#include <map>

#include "mail/mail_smtp.h"

#include <atomic>
#include <sstream>
#include <thread>
#include "files/files.h"
#include "test_mail_util.h"
#include "test_util.h"

namespace mirelune {
namespace {

using testing::ReadBytes;
using testing::ReadText;
using testing::ScopedEnv;
using testing::TempDir;
using testing::WriteText;

constexpr char kPython[] = "/usr/bin/python3";  // Debian's, where python3-aiosmtpd is installed

// An IPv4 address of this machine that is not loopback; empty when there is none.
std::string OtherAddress() {
  ifaddrs* list = nullptr;
  if (::getifaddrs(&list) != 0) return "";
  std::string found;
  for (ifaddrs* a = list; a && found.empty(); a = a->ifa_next) {
    if (!a->ifa_addr || a->ifa_addr->sa_family != AF_INET) continue;
    char text[INET_ADDRSTRLEN];
    ::inet_ntop(AF_INET, &reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr, text, sizeof text);
    if (!IsLoopbackHost(text)) found = text;
  }
  ::freeifaddrs(list);
  return found;
}

enum Port { kPlain, kStartTls, kSmtps, kOther };

class LoopbackSmtp {
 public:
  // Starts the servers; on failure `error` says why (the tests are then skipped).
  bool Start(const std::filesystem::path& outdir, std::string* error) {
    outdir_ = outdir;
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) return Fail(error, "no pipes");
    const std::string script = std::string(MIRELUNE_TEST_DIR) + "/smtp_server.py";
    const std::string log = (outdir / "server.log").string();
    other_ = OtherAddress();
    std::vector<std::string> argv = {kPython, script, outdir.string()};
    if (!other_.empty()) argv.push_back(other_);
    std::vector<char*> args;
    for (auto& a : argv) args.push_back(a.data());
    args.push_back(nullptr);
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], 0);
    posix_spawn_file_actions_adddup2(&fa, out[1], 1);
    posix_spawn_file_actions_addopen(&fa, 2, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    const int rc = ::posix_spawn(&pid_, kPython, &fa, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(in[0]);
    ::close(out[1]);
    stdin_ = in[1];
    if (rc != 0) {
      pid_ = -1;
      ::close(out[0]);
      return Fail(error, std::string(kPython) + " could not be started");
    }
    // Wait for "READY <port>", at most 10 s.
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (line.find('\n') == std::string::npos) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd p{out[0], POLLIN, 0};
      if (left.count() <= 0 || ::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
      char buf[64];
      const ssize_t n = ::read(out[0], buf, sizeof buf);
      if (n <= 0) break;
      line.append(buf, static_cast<std::size_t>(n));
    }
    ::close(out[0]);
    if (line.rfind("READY ", 0) != 0) {
      std::string why = ReadText(outdir / "server.log");
      if (why.size() > 300) why = why.substr(why.size() - 300);
      Stop();
      return Fail(error, "the aiosmtpd test server did not start: " + why);
    }
    std::istringstream ports(line.substr(6));
    for (int& p : ports_) ports >> p;
    return true;
  }

  void Stop() {
    if (stdin_ >= 0) ::close(stdin_);  // the server ends when its input closes
    stdin_ = -1;
    if (pid_ <= 0) return;
    int status = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    pid_ = -1;
  }

  int port() const { return ports_[kPlain]; }
  std::string Url(const char* scheme = "smtp", Port which = kPlain) const {
    return std::string(scheme) + "://" + (which == kOther ? other_ : "127.0.0.1") + ":" +
           std::to_string(ports_[which]);
  }
  bool HasOther() const { return ports_[kOther] != 0; }
  std::filesystem::path CaFile() const { return outdir_ / "cert.pem"; }
  std::string AuthLog() const { return ReadText(outdir_ / "auth.log"); }

  // Messages accepted so far.
  int Count() const {
    int n = 0;
    while (std::filesystem::exists(outdir_ / ("msg" + std::to_string(n + 1) + ".txt"))) ++n;
    return n;
  }

  std::map<std::string, std::string> Facts(int n) const {
    std::map<std::string, std::string> facts;
    const std::string text = ReadText(File(n, ".txt"));
    std::size_t start = 0;
    while (start < text.size()) {
      const std::size_t end = text.find('\n', start);
      const std::string line = text.substr(start, end - start);
      const std::size_t eq = line.find('=');
      if (eq != std::string::npos) facts[line.substr(0, eq)] = line.substr(eq + 1);
      if (end == std::string::npos) break;
      start = end + 1;
    }
    return facts;
  }

  std::filesystem::path File(int n, const char* ext) const {
    return outdir_ / ("msg" + std::to_string(n) + ext);
  }

 private:
  static bool Fail(std::string* error, std::string why) {
    *error = std::move(why);
    return false;
  }
  std::filesystem::path outdir_;
  pid_t pid_ = -1;
  int stdin_ = -1;
  int ports_[4] = {0, 0, 0, 0};
  std::string other_;
};

// A loopback port nobody listens on.
int ClosedPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ::close(fd);
  return ntohs(a.sin_port);
}

std::string Unix(std::string s) {
  std::string out;
  for (std::size_t k = 0; k < s.size(); ++k) {
    if (s[k] == '\r') {
      out += '\n';
      if (k + 1 < s.size() && s[k + 1] == '\n') ++k;
    } else {
      out += s[k];
    }
  }
  return out;
}

class SmtpMail : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = new TempDir("mirelune-smtp");
    server_ = new LoopbackSmtp;
    if (!server_->Start(dir_->path(), &skip_reason_)) {
      delete server_;
      server_ = nullptr;
    }
  }
  static void TearDownTestSuite() {
    if (server_) server_->Stop();
    delete server_;
    server_ = nullptr;
    delete dir_;
    dir_ = nullptr;
  }
  void SetUp() override {
    if (!server_) GTEST_SKIP() << skip_reason_;
    root_.emplace("MIRELUNE_ROOT", work_.path().string());
    url_.emplace("MIRELUNE_SMTP_URL", server_->Url());
    from_.emplace("MIRELUNE_MAIL_FROM", "Bob Sender <bob@example.org>");
    user_.emplace("MIRELUNE_SMTP_USER", std::nullopt);
    password_.emplace("MIRELUNE_SMTP_PASSWORD", std::nullopt);
    ca_.emplace("MIRELUNE_SMTP_CA_FILE", std::nullopt);
    card_ = work_.path() / "GR-20170102090503.bmp";
    WriteText(card_, "BM small card \x01\x02\xFF");
  }

  SmtpSettings Settings() const {
    SmtpSettings cfg;
    cfg.url = server_->Url();
    cfg.from = "bob@example.org";
    cfg.response_timeout_s = 5;
    return cfg;
  }

  static TempDir* dir_;
  static LoopbackSmtp* server_;
  static std::string skip_reason_;
  TempDir work_;
  std::filesystem::path card_;
  std::optional<ScopedEnv> root_, url_, from_, user_, password_, ca_;
};

TempDir* SmtpMail::dir_ = nullptr;
LoopbackSmtp* SmtpMail::server_ = nullptr;
std::string SmtpMail::skip_reason_;

TEST_F(SmtpMail, SendCommandDeliversCardAndMessage) {
  testing::Fixture f;
  f->imeslike = "GR-20170102090503";
  f->Picture4.SetBackColor(RGB(0, 0, 80));
  f->Picture4.LineBox(100, 100, 700, 500, RGB(255, 200, 0));
  const std::string body =
      "Dear Mary,\nhappy new year 2017! \xC4\x8C"
      "estitke \xE2\x98\x83 100% = \"joy\"";
  f.host.answers = {"Marija \xC4\x8Cuk <friend@example.org>", body};
  const int before = server_->Count();
  const Result sent = SendGreetingsToFriend(*f);
  ASSERT_TRUE(sent.ok) << sent.message;
  EXPECT_EQ(sent.message, "The card was sent to friend@example.org through " + server_->Url() + ".");
  ASSERT_EQ(server_->Count(), before + 1);
  const int n = before + 1;

  ASSERT_EQ(f.host.asked.size(), 2u);
  EXPECT_EQ(f.host.asked[0].title, "FRIEND'S E-MAIL ADDRESS");
  EXPECT_EQ(f.host.asked[1].title, "MESSAGE TO FRIEND");
  const auto card = work_.path() / "wimgx" / "GR-20170102090503.bmp";
  const auto saved = ReadBytes(card);
  EXPECT_EQ(saved, EncodeBmp(f->Picture4.image()));

  auto facts = server_->Facts(n);
  const std::map<std::string, std::string> want = {
      {"mail_from", "bob@example.org"},
      {"rcpt", "friend@example.org"},
      {"login", ""},
      {"tls", "none"},
      {"from", "Bob Sender <bob@example.org>"},
      {"to", "Marija \xC4\x8Cuk <friend@example.org>"},  // an encoded word, decoded by Python
      {"cc_present", "no"},
      {"subject", "greetings"},
      {"mime_version", "1.0"},
      {"date_present", "yes"},
      {"message_id_present", "yes"},
      {"content_type", "multipart/mixed"},
      {"defects", "0"},
      {"header_names", "Content-Type,Mime-Version,Date,From,To,Subject,Message-ID"},
      {"text_parts", "1"},
      {"attachments", "1"},
      {"text_charset", "utf-8"},
      {"text_encoding", "quoted-printable"},
      {"att_filename", "GR-20170102090503.bmp"},
      {"att_type", "image/bmp"},
      {"att_encoding", "base64"},
  };
  EXPECT_EQ(facts, want);
  EXPECT_EQ(Unix(ReadText(server_->File(n, ".body"))), body);
  EXPECT_EQ(ReadBytes(server_->File(n, ".att")), saved);

  // 7-bit clean, and below the headers no line longer than 76 characters (libcurl's
  // own Content-Type line with its boundary is a little longer, far below 998).
  const std::string raw = ReadText(server_->File(n, ".eml"));
  std::size_t start = 0;
  bool seven_bit = true, headers = true;
  for (std::size_t k = 0; k < raw.size(); ++k) {
    seven_bit = seven_bit && static_cast<unsigned char>(raw[k]) < 0x80;
    if (raw[k] != '\n') continue;
    EXPECT_LE(k - start, headers ? 998u : 77u) << raw.substr(start, k - start);  // + the CR
    headers = headers && k - start > 1;
    start = k + 1;
  }
  EXPECT_TRUE(seven_bit);
}

TEST_F(SmtpMail, BodiesArriveExactly) {
  const std::string long_line = [] {
    std::string s;
    for (int k = 0; k < 30; ++k) s += "snow \xE2\x9D\x84 = ";
    return s;
  }();
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"one line", "one line"},
      {"a.b\n.\n..\nend.", "a.b\n.\n..\nend."},  // dots at line starts survive the SMTP framing
      {"trailing blanks   \nand\ttabs\t", "trailing blanks   \nand\ttabs\t"},
      {long_line, long_line},
      {"=3D is not decoded twice ==", "=3D is not decoded twice =="},
      {"old Mac\rbreaks\r\n", "old Mac\nbreaks\n"},
      {"--=_mirelune_card--\nnot a boundary", "--=_mirelune_card--\nnot a boundary"},
  };
  SmtpSender sender(Settings());
  for (const auto& [body, want] : cases) {
    SCOPED_TRACE(body);
    const int before = server_->Count();
    const Result r = sender.Send({"friend@example.org", " ", "greetings", body, {card_}});
    ASSERT_TRUE(r.ok) << r.message;
    ASSERT_EQ(server_->Count(), before + 1);
    EXPECT_EQ(Unix(ReadText(server_->File(before + 1, ".body"))), want);
    EXPECT_EQ(ReadBytes(server_->File(before + 1, ".att")), ReadBytes(card_));
    EXPECT_EQ(server_->Facts(before + 1)["defects"], "0");
  }
}

// A login over STARTTLS and over TLS from the start, trusting the test's own
// certificate through MIRELUNE_SMTP_CA_FILE; without it the certificate is refused.
// On loopback a login may also go out in clear.
TEST_F(SmtpMail, LoginOverTlsAndOnLoopback) {
  const struct {
    std::string url;
    bool trust;
    const char* tls;  // on the server's side; empty: refused
  } cases[] = {
      {server_->Url("smtp", kStartTls), true, "starttls"},
      {server_->Url("smtps", kSmtps), true, "smtps"},
      {server_->Url("smtps", kSmtps), false, ""},
      {server_->Url("smtp", kPlain), false, "none"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.url + (c.trust ? " trusted" : ""));
    ScopedEnv url("MIRELUNE_SMTP_URL", c.url);
    ScopedEnv user("MIRELUNE_SMTP_USER", "bob");
    ScopedEnv password("MIRELUNE_SMTP_PASSWORD", "s3cret-pw");
    ScopedEnv ca("MIRELUNE_SMTP_CA_FILE",
                 c.trust ? std::optional<std::string>(server_->CaFile().string()) : std::nullopt);
    const int before = server_->Count();
    const Result r = SendMailItem({"friend@example.org", " ", "greetings", "Hi", {card_}});
    if (!*c.tls) {
      EXPECT_FALSE(r.ok);
      EXPECT_NE(r.message.find("certificate must also be trusted"), std::string::npos) << r.message;
      EXPECT_EQ(server_->Count(), before);
      continue;
    }
    ASSERT_TRUE(r.ok) << r.message;
    ASSERT_EQ(server_->Count(), before + 1);
    EXPECT_EQ(server_->Facts(before + 1)["login"], "bob");
    EXPECT_EQ(server_->Facts(before + 1)["tls"], c.tls);
    EXPECT_EQ(ReadBytes(server_->File(before + 1, ".att")), ReadBytes(card_));
  }
}

// Away from loopback a server without STARTTLS never sees the login: one sentence,
// nothing sent, and the command line's card stays saved.
TEST_F(SmtpMail, NoLoginInClearToAnotherMachine) {
  if (!server_->HasOther()) GTEST_SKIP() << "this machine has no address but loopback";
  SmtpSettings cfg = Settings();
  cfg.url = server_->Url("smtp", kOther);
  cfg.user = "bob";
  cfg.password = "s3cret-pw";
  const std::string auth_before = server_->AuthLog();
  const int before = server_->Count();
  const Result r = SmtpSender(cfg).Send({"friend@example.org", " ", "greetings", "Hi", {card_}});
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.message, "The mail server at " + cfg.url +
                           " offers no secure (TLS) connection, so neither the login nor the card was sent; use "
                           "smtps:// or a server that offers STARTTLS.");
  EXPECT_EQ(server_->AuthLog(), auth_before);
  EXPECT_EQ(server_->Count(), before);
  // Without a login the same server takes the card.
  cfg.user.clear();
  cfg.password.clear();
  EXPECT_TRUE(SmtpSender(cfg).Send({"friend@example.org", " ", "greetings", "Hi", {card_}}).ok);
}

// Closing the window stops a send to a server that never answers.
TEST_F(SmtpMail, ASendToAStalledServerCanBeStopped) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof a;
  ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  ASSERT_EQ(::listen(fd, 4), 0);  // connections complete, and nothing is ever said
  ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
  ScopedEnv url("MIRELUNE_SMTP_URL", "smtp://127.0.0.1:" + std::to_string(ntohs(a.sin_port)));
  std::atomic<bool> cancel{false};
  Result r;
  std::thread sender([&] { r = SendMailItem({"friend@example.org", " ", "greetings", "Hi", {card_}}, &cancel); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  cancel = true;
  sender.join();
  ::close(fd);
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.message.find("was stopped before it was done"), std::string::npos) << r.message;
}

TEST(SmtpRules, LoopbackHostsAndPasswordMasking) {
  for (const char* host : {"localhost", "127.0.0.1", "127.1.2.3", "[::1]", "::ffff:127.0.0.1"})
    EXPECT_TRUE(IsLoopbackHost(host)) << host;
  for (const char* host : {"localhost.example.org", "128.0.0.1", "10.0.0.1", "[::2]", "mail.example.org", ""})
    EXPECT_FALSE(IsLoopbackHost(host)) << host;
  const struct {
    const char* text;
    const char* secret;
    const char* want;
  } cases[] = {
      {"The mail server refused", "e", "The mail server refused"},  // a short one only as a word of its own
      {"login e failed", "e", "login *** failed"},
      {"user:pw@host", "pw", "user:***@host"},
      {"AUTH s3cret-pwx and s3cret-pw", "s3cret-pw", "AUTH ***x and ***"},
      {"nothing here", "", "nothing here"},
  };
  for (const auto& c : cases) EXPECT_EQ(WithoutSecret(c.text, c.secret), c.want) << c.text;
}

TEST_F(SmtpMail, EveryFailureSaysWhatToCheckAndSendsNothing) {
  struct Case {
    const char* name;
    std::string url;
    std::string to;
    std::string user, password, from;
    std::vector<std::string> fragments;
  };
  const std::string down = "smtp://127.0.0.1:" + std::to_string(ClosedPort());
  const std::string up = server_->Url();
  const Case cases[] = {
      {"server down",
       down,
       "friend@example.org",
       "",
       "",
       "bob@example.org",
       {"Could not connect to the mail server at " + down,
        "Check MIRELUNE_SMTP_URL and that the server is running."}},
      {"refused recipient",
       up,
       "refuse-me@example.org",
       "",
       "",
       "bob@example.org",
       {"refused the recipient refuse-me@example.org (reply 550). Check the address."}},
      {"line break in the address",
       up,
       "friend@example.org\r\nBcc: eve@example.net",
       "",
       "",
       "bob@example.org",
       {"contains a line break or another control character, so nothing was sent"}},
      {"line break in the name",
       up,
       "Mary\nBcc: eve@example.net <friend@example.org>",
       "",
       "",
       "bob@example.org",
       {"contains a line break"}},
      {"refused login",
       up,
       "friend@example.org",
       "bob",
       "wrong-pw-4711",
       "bob@example.org",
       {"refused the login as \"bob\". Check MIRELUNE_SMTP_USER and MIRELUNE_SMTP_PASSWORD."}},
      {"refused login with a one-letter password",
       up,
       "friend@example.org",
       "bob",
       "e",
       "bob@example.org",
       {"The mail server at " + up + " refused the login as \"bob\". Check MIRELUNE_SMTP_USER and "
        "MIRELUNE_SMTP_PASSWORD."}},
      {"TLS expected, plain spoken",
       server_->Url("smtps"),
       "friend@example.org",
       "",
       "",
       "bob@example.org",
       {"secure (TLS) connection", "use smtps:// for a server that expects TLS from the start"}},
      {"not a mail URL",
       "http://127.0.0.1:" + std::to_string(server_->port()),
       "friend@example.org",
       "",
       "",
       "bob@example.org",
       {"MIRELUNE_SMTP_URL is not a mail server address"}},
      {"no sender",
       up,
       "friend@example.org",
       "bob",
       "",
       "",
       {"set MIRELUNE_MAIL_FROM to your own e-mail address"}},
      {"sender with a line break",
       up,
       "friend@example.org",
       "",
       "",
       "bob@example.org\nX: y",
       {"MIRELUNE_MAIL_FROM contains a line break"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SmtpSettings cfg = Settings();
    cfg.url = c.url;
    cfg.user = c.user;
    cfg.password = c.password;
    cfg.from = c.from;
    const int before = server_->Count();
    const Result r = SmtpSender(cfg).Send({c.to, " ", "greetings", "Hi", {card_}});
    const std::string& report = r.message;
    EXPECT_FALSE(r.ok);
    for (const auto& fragment : c.fragments) EXPECT_NE(report.find(fragment), std::string::npos) << report;
    EXPECT_EQ(report.find('\n'), std::string::npos) << report;
    if (c.password.size() > 1) {
      EXPECT_EQ(report.find(c.password), std::string::npos) << report;
    }
    EXPECT_EQ(server_->Count(), before);
  }
}

TEST_F(SmtpMail, CommandLineMailsTheCardItMade) {
  const auto out = work_.path() / "out.txt", err = work_.path() / "err.txt";
  // Under the sanitizers fontconfig's own leftovers must neither turn the exit status
  // nor add lines to stderr.
  ScopedEnv lsan("LSAN_OPTIONS",
                 "print_suppressions=0:suppressions=" + std::string(MIRELUNE_TEST_DIR) + "/lsan.supp");
  const int rc =
      testing::RunCommand({MIRELUNE_CLI, "card", "--friend", "Mary", "--sender", "Bob", "--max-styles", "1",
                           "--mail-to", "friend@example.org", "--message", "From the shell"},
                          out, err);
  ASSERT_EQ(rc, 0) << ReadText(err);
  std::vector<std::filesystem::path> cards;
  for (const auto& e : std::filesystem::directory_iterator(work_.path() / "wimgx")) cards.push_back(e.path());
  ASSERT_EQ(cards.size(), 1u);
  const int n = server_->Count();
  ASSERT_GE(n, 1);
  const auto facts = server_->Facts(n);
  EXPECT_EQ(facts.at("att_filename"), cards[0].filename().string());
  EXPECT_EQ(ReadBytes(server_->File(n, ".att")), ReadBytes(cards[0]));
  EXPECT_EQ(ReadText(server_->File(n, ".body")), "From the shell");
  EXPECT_EQ(facts.at("rcpt"), "friend@example.org");

  // A refused recipient: exit status 1 and one clear line; the card is still made.
  std::filesystem::remove_all(work_.path() / "wimgx");
  const int before = server_->Count();
  const int rc2 = testing::RunCommand({MIRELUNE_CLI, "card", "--friend", "Mary", "--sender", "Bob",
                                       "--max-styles", "1", "--mail-to", "refuse@example.org"},
                                      out, err);
  EXPECT_EQ(rc2, 1);
  const std::string e = ReadText(err);
  EXPECT_NE(e.find("refused the recipient refuse@example.org"), std::string::npos) << e;
  EXPECT_EQ(std::count(e.begin(), e.end(), '\n'), 1) << e;
  EXPECT_EQ(server_->Count(), before);
  EXPECT_FALSE(std::filesystem::is_empty(work_.path() / "wimgx"));
}

}  // namespace
}  // namespace mirelune
