// Sending through real SMTP servers (tests/smtp_server.py: aiosmtpd, with and without TLS, on loopback
// and on another address), Python's own e-mail package reading what arrives.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <set>
#include <sstream>
#include <thread>

#include "base/digest.h"
#include "base/loopback.h"
#include "batch/list.h"
#include "files/files.h"
#include "mail/mail_smtp.h"
#include "test_mail_util.h"
#include "test_util.h"

namespace mirelune {
namespace {

using namespace testing;
using V = std::vector<std::string>;

const MailLibrary kMailLibrary;  // as main does: libcurl set up before any test's thread

// kSilent never answers, nobody listens on kDown, kSocks is a SOCKS5 proxy that notes what it forwards,
// kQuirky ends a connection with 421 at its third message and never answers QUIT; kOther is kPlain's twin on
// another address of this machine, as a server elsewhere would be reached ("-" when there is none).
enum { kPlain, kStartTls, kSmtps, kSilent, kDown, kSocks, kQuirky, kOther };

// The servers, for the whole run. They end when their input closes, however this process ends.
struct SmtpServers {
  TempDir dir;
  FILE* input = ::popen(("exec /usr/bin/python3 '" MIRELUNE_TEST_DIR "/smtp_server.py' " + dir.path.string() + " 2>" +
                         dir.path.string() + "/log").c_str(), "we");
  int port[7] = {};
  std::string other, error;  // the server on another address ("-": none); why they did not start

  SmtpServers() {
    for (int k = 0; k < 1500 && !std::filesystem::exists(dir.path / "ready"); ++k)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    std::istringstream ready(ReadText(dir.path / "ready"));
    if (!input || !(ready >> port[0] >> port[1] >> port[2] >> other >> port[3] >> port[4] >> port[5] >> port[6]))
      error = "the aiosmtpd test servers did not start: " + ready.str() + ReadText(dir.path / "log");
  }
  ~SmtpServers() {
    if (input) ::pclose(input);
  }
  std::string Url(int which, std::string scheme = "smtp") const {
    return scheme + "://" + (which == kOther ? other : "127.0.0.1:" + std::to_string(port[which]));
  }
  std::filesystem::path File(int n, const char* ext) const { return dir.path / ("msg" + std::to_string(n) + ext); }
  int Count() const {
    int n = 0;
    while (std::filesystem::exists(File(n + 1, ".txt"))) ++n;
    return n;
  }
  std::string Fact(int n, const std::string& key) const {  // no key ends another, no value holds one
    const std::string text = ReadText(File(n, ".txt"));
    const std::size_t at = std::min(text.find(key + "="), text.size()) + key.size() + 1;
    return text.substr(std::min(at, text.size()), text.find('\n', at) - at);
  }
};

class SmtpMail : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!sv_.error.empty()) GTEST_SKIP() << sv_.error;
    WriteText(card_, "BM small card \x01\x02\xFF");
  }
  MailItem Item(const std::string& to = "friend@example.org", const std::string& body = "Hi") const {
    return {to, " ", "greetings", body, {card_}};
  }

  const SmtpServers& sv_ = []() -> const SmtpServers& { static const SmtpServers servers; return servers; }();  // one set
  TempDir work_;
  const std::filesystem::path card_ = work_.path / "GR-20170102090503.bmp";
  ScopedEnv env_{{"MIRELUNE_ROOT", work_.path.string()}, {"MIRELUNE_SMTP_URL", sv_.Url(kPlain)},
                 {"MIRELUNE_MAIL_FROM", "Bob Sender <bob@example.org>"}, {"MIRELUNE_SMTP_USER", std::nullopt},
                 {"MIRELUNE_SMTP_PASSWORD", std::nullopt}, {"MIRELUNE_SMTP_CA_FILE", std::nullopt}};
};

TEST_F(SmtpMail, BodiesArriveExactly) {
  std::string long_line;
  for (int k = 0; k < 30; ++k) long_line += "snow \xE2\x9D\x84 = ";
  const struct { std::string body, want = ""; } cases[] = {  // want "": the body as it was
      {""}, {long_line}, {"a.b\n.\n..\nend."}, {"trailing blanks   \nand\ttabs\t"},  // dots at line starts: SMTP framing
      {"=3D is not decoded twice =="}, {"--=_mirelune_card--\nnot a boundary"},
      {"old Mac\rbreaks\r\nand Unix\n", "old Mac\nbreaks\nand Unix\n"},
  };
  for (const auto& [body, changed] : cases) {
    const std::string& want = changed.empty() ? body : changed;
    const int n = sv_.Count() + 1;
    ASSERT_TRUE(SendMailItem(Item("friend@example.org", body)).ok);
    EXPECT_EQ(ReadText(sv_.File(n, ".body")), want);
    EXPECT_EQ(sv_.Fact(n, "wire"), "7bit, lines <= 76, 0 defects") << body;
    EXPECT_EQ(ReadText(sv_.File(n, ".att")), ReadText(card_));
  }
  // A copy recipient gets the card as well, with a Cc header of its own.
  const int n = sv_.Count() + 1;
  ASSERT_TRUE(SendMailItem({"friend@example.org", "Copy <copy@example.org>", "greetings", "Hi", {card_}}).ok);
  EXPECT_EQ(sv_.Fact(n, "envelope"), "bob@example.org > friend@example.org,copy@example.org");
  EXPECT_EQ(sv_.Fact(n, "headers"), "Content-Type,Mime-Version,Date,From,To,Cc,Subject,Message-ID");
}

// A login goes out only over TLS (STARTTLS, or TLS from the start) with the
// certificate trusted through MIRELUNE_SMTP_CA_FILE, or in clear to this very
// machine; to another machine a server without TLS never sees it. Every failure is
// one sentence that says what to check, without the password, and nothing is sent.
// A loopback server is reached directly whatever proxy the environment names (through
// a proxy, 127.0.0.1 is the proxy's machine and a login in clear would cross the
// network); any other server goes through the proxy, a login there only over TLS.
TEST_F(SmtpMail, LoginOnlyOverTlsNeverThroughAProxyAndEveryFailureSaysWhatToCheck) {
  const std::string ca = (sv_.dir.path / "cert.pem").string(), other = "smtp://" + sv_.other, up = sv_.Url(kPlain);
  const std::string pw = "s3cret-pw", friend_ = "friend@example.org", from = "bob@example.org";
  const std::string socks = "socks5://127.0.0.1:" + std::to_string(sv_.port[kSocks]);
  const std::string localhost = "smtp://localhost:" + std::to_string(sv_.port[kPlain]);
  const struct {  // want: "login tls" as the server saw them, or a fragment of the failure; proxy_saw: its log
    std::string url, want, user = "", password = "", to = "friend@example.org", from = "bob@example.org";
    bool trust = false;
    std::string variable = "ALL_PROXY";
    std::optional<std::string> proxy = std::nullopt;
    std::string proxy_saw = "";
  } cases[] = {
      {sv_.Url(kStartTls), "bob starttls", "bob", pw, friend_, from, true},
      {sv_.Url(kSmtps, "smtps"), "bob smtps", "bob", pw, friend_, from, true},
      {sv_.Url(kSmtps, "smtps"), "The server's certificate must also be trusted", "bob", pw},
      {up, "bob none", "bob", pw},
      {other, "The mail server at " + other + " offers no secure (TLS) connection, so neither the login nor the card "
              "was sent; use smtps:// or a server that offers STARTTLS.", "bob", pw},
      {other, " none"},
      {sv_.Url(kDown), "Could not connect to the mail server at " + sv_.Url(kDown)},
      {up, "refused the recipient refuse-me@example.org (reply 550). Check the address.", "", "", "refuse-me@example.org"},
      {up, "contains a line break or another control character, so nothing was sent", "", "", "Mary\nBcc: e@x.org <f@x.org>"},
      {up, "refused the login as \"bob\". Check MIRELUNE_SMTP_USER and MIRELUNE_SMTP_PASSWORD.", "bob", "wrong-pw-4711"},
      {up, "The mail server at " + up + " refused the login as \"bob\". Check MIRELUNE_SMTP_USER", "bob", "e"},
      {sv_.Url(kPlain, "smtps"), "use smtps:// for a server that expects TLS from the start"},
      {"http" + up.substr(4), "MIRELUNE_SMTP_URL is not a mail server address"},
      {up, "set MIRELUNE_MAIL_FROM to your own e-mail address", "bob", "", friend_, ""},
      {up, "MIRELUNE_MAIL_FROM contains a line break", "", "", friend_, "bob@example.org\nX: y"},
      {up, "bob none", "bob", pw, friend_, from, false, "ALL_PROXY", socks},
      {localhost, "bob none", "bob", pw, friend_, from, false, "all_proxy", socks},
      {up, "bob none", "bob", pw, friend_, from, false, "smtp_proxy", socks},
      {up, "bob none", "bob", pw, friend_, from, false, "ALL_PROXY", "socks5://192.0.2.2:1080"},  // nowhere: it would time out
      {other, "offers no secure (TLS) connection, so neither the login nor the card was sent", "bob", pw, friend_, from,
       false, "ALL_PROXY", socks, "connect " + sv_.other + "\n"},
  };
  for (const auto& c : cases) {
    if (sv_.other == "-" && c.url == other) continue;  // this machine has no address but loopback
    ScopedEnv env{{"MIRELUNE_SMTP_URL", c.url}, {"MIRELUNE_SMTP_USER", c.user}, {"MIRELUNE_SMTP_PASSWORD", c.password},
                  {"MIRELUNE_MAIL_FROM", c.from}, {"MIRELUNE_SMTP_CA_FILE", c.trust ? std::optional(ca) : std::nullopt},
                  {"ALL_PROXY", std::nullopt}, {"all_proxy", std::nullopt}, {"smtp_proxy", std::nullopt},
                  {"SMTP_PROXY", std::nullopt}, {"NO_PROXY", std::nullopt}, {"no_proxy", std::nullopt}};
    ScopedEnv proxy{{c.variable, c.proxy}};
    const std::string logins = ReadText(sv_.dir.path / "auth.log"), seen = ReadText(sv_.dir.path / "socks.log");
    const std::string sent_before = ReadText(sv_.dir.path / "socks.sent");
    const int n = sv_.Count() + 1;
    const Result<> r = SendMailItem(Item(c.to));
    const bool sent = std::filesystem::exists(sv_.File(n, ".txt"));
    const std::string got = sent ? sv_.Fact(n, "login") + " " + sv_.Fact(n, "tls") : r.message;
    EXPECT_TRUE(sent ? got == c.want : got.find(c.want) != std::string::npos) << c.variable << " " << c.url << ": " << got;
    EXPECT_EQ(r.ok, sent) << r.message;
    EXPECT_TRUE(!sent || ReadText(sv_.File(n, ".att")) == ReadText(card_));
    EXPECT_EQ(r.message.find('\n'), std::string::npos) << r.message;
    EXPECT_TRUE(c.password.size() < 2 || r.message.find(c.password) == std::string::npos) << r.message;
    // The server saw a login only when it took the card or refused that login.
    EXPECT_EQ(ReadText(sv_.dir.path / "auth.log") != logins,
              !c.user.empty() && (sent || got.find("refused the login") != std::string::npos)) << got;
    EXPECT_EQ(ReadText(sv_.dir.path / "socks.log").substr(seen.size()), c.proxy_saw) << c.url;
    const std::string through = ReadText(sv_.dir.path / "socks.sent").substr(sent_before.size());
    EXPECT_TRUE(through.find("AUTH") == std::string::npos && through.find("EHLO") == (c.proxy_saw.empty() ? std::string::npos : 0))
        << through;
  }
}

// Closing the window stops a send to a server that never answers.
TEST_F(SmtpMail, ASendToAStalledServerCanBeStopped) {
  ScopedEnv url{{"MIRELUNE_SMTP_URL", sv_.Url(kSilent)}};
  std::atomic<bool> cancel{false};
  Result<> r;
  std::thread sender([&] { r = SendMailItem(Item(), &cancel); });
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  cancel = true;
  sender.join();
  EXPECT_NE(r.message.find("was stopped before it was done. The card is saved as"), std::string::npos) << r.message;
}

TEST(SmtpRules, LoopbackHostsAndPasswordMasking) {
  for (const char* host : {"localhost", "127.0.0.1", "127.1.2.3", "[::1]", "::ffff:127.0.0.1"})
    EXPECT_TRUE(IsLoopbackHost(host)) << host;
  for (const char* host : {"localhost.example.org", "128.0.0.1", "10.0.0.127", "[::2]", "::ffff:10.0.0.1", "unix", ""})
    EXPECT_FALSE(IsLoopbackHost(host)) << host;
  const struct { const char *text, *secret, *want; } cases[] = {
      {"login e failed", "e", "login *** failed"},
      {"user:pw@host", "pw", "user:***@host"},
      {"AUTH s3cret-pwx and s3cret-pw", "s3cret-pw", "AUTH ***x and ***"},
      {"nothing here", "", "nothing here"},
  };
  for (const auto& c : cases) EXPECT_EQ(WithoutSecret(c.text, c.secret), c.want) << c.text;
}

// The command line mails the card it made, with the friend's name encoded in the
// header; when the mail fails it says so in one line, ends with status 1, and the
// card stays saved.
TEST_F(SmtpMail, CommandLineMailsTheCardItMade) {
  const auto err = work_.path / "err.txt", cards = work_.path / "wimgx";
  const std::string body = "Dear Mary,\nhappy new year 2017! \xC4\x8C" "estitke \xE2\x98\x83 100% = \"joy\"";
  for (const std::string to : {"Marija \xC4\x8Cuk <friend@example.org>", "refuse@example.org"}) {
    std::filesystem::remove_all(cards);
    const int n = sv_.Count() + 1;
    const int status = std::system(("LSAN_OPTIONS=print_suppressions=0:suppressions='" MIRELUNE_TEST_DIR "/lsan.supp' "
                                    "timeout -k 5 60 '" MIRELUNE_CLI "' card --friend Mary --sender Bob --max-styles 1 "
                                    "--mail-to '" + to + "' --message '" + body + "' >/dev/null 2>" + err.string()).c_str());
    const std::string said = ReadText(err), card = std::filesystem::directory_iterator(cards)->path();
    const bool refused = to[0] == 'r';
    EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, refused ? 1 : 0) << said;
    EXPECT_EQ(said, refused ? "mirelune-cli: The mail server at " + sv_.Url(kPlain) + " refused the recipient " + to +
                                  " (reply 550). Check the address. The card is saved as " + card + ".\n"
                            : "The card was sent to friend@example.org through " + sv_.Url(kPlain) + ".\n");
    EXPECT_EQ(sv_.Count(), refused ? n - 1 : n);
    if (refused) continue;
    EXPECT_EQ(ReadText(sv_.File(n, ".txt")),
              "envelope=bob@example.org > friend@example.org\nlogin=\ntls=none\nwire=7bit, lines <= 76, 0 defects\n"
              "headers=Content-Type,Mime-Version,Date,From,To,Subject,Message-ID\nfrom=Bob Sender <bob@example.org>\n"
              "to=Marija \xC4\x8Cuk <friend@example.org>\nsubject=greetings\nparts=multipart/mixed: text/plain utf-8 "
              "quoted-printable, image/bmp base64 " + card.substr(card.rfind('/') + 1) + "\n");
    EXPECT_EQ(ReadText(sv_.File(n, ".body")), body);
    EXPECT_EQ(ReadText(sv_.File(n, ".att")), ReadText(card));
  }
  // An address that cannot be sent to is refused before a card is made.
  std::filesystem::remove_all(cards);
  const Ran r = Cli(work_.path, "card --friend Mary --sender Bob --mail-to 'a@b.org\nBcc: c@d.org'");
  EXPECT_EQ(r.err, "mirelune-cli: --mail-to: the address contains a line break or another control character; nothing "
                   "was made, saved or sent\nRun 'mirelune-cli card --help' for its options.\n");
  EXPECT_TRUE(r.status == 2 && !std::filesystem::exists(cards));
  // The card program mails through mirelune-mail beside it: without it, it says so and makes nothing.
  const auto alone = work_.path / "alone" / "mirelune-cli";
  std::filesystem::create_directories(alone.parent_path());
  std::filesystem::copy_file(MIRELUNE_CLI, alone);
  const int status = std::system(("cd '" + work_.path.string() + "' && env PATH=/nonexistent '" + alone.string() +
                                  "' card --friend Mary --sender Bob --mail-to a@b.org >/dev/null 2>" + err.string()).c_str());
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -1, 1);
  EXPECT_EQ(ReadText(err), "mirelune-cli: cannot run mirelune-mail, which sends the mail: No such file or directory\n");
  EXPECT_FALSE(std::filesystem::exists(cards));
}

// A merge rerun in any shards sends each message once: one connection a worker (RSET between messages), anew after
// a drop, 4xx or 421; a row sent in one shard layout is not sent again in another, nor after its journal was renamed
// as an earlier version kept it per layout.
TEST_F(SmtpMail, MergeSendsEachMessageOnceInAnyShards) {
  const V abc = {"a@x.org", "b@x.org", "c@x.org"};
  const struct { V to; V runs; int server = kPlain; std::string sessions = ""; } cases[] = {  // sessions: "connections, QUITs"
      {abc, {""}, kPlain, "1, 1"},
      {{"a@x.org", "drop@x.org", "c@x.org"}, {""}, kPlain, "2, 1"},
      {{"a@x.org", "busy@x.org", "c@x.org"}, {""}, kPlain, "2, 2"},
      {{"a@x.org", "b@x.org", "c@x.org", "d@x.org", "e@x.org"}, {""}, kQuirky, "3, 1"},
      {{"a@x.org", "b@x.org", "c@x.org", "d@x.org"}, {"--shard 1/2", "--shard 0/2", "", "--shard 1/4"}},
      {abc, {"--shard 0/2", "!mv out/mail-journal.jsonl out/mail-journal-0-of-2.jsonl", ""}},
  };
  for (const auto& c : cases) {
    const TempDir dir;
    std::ostringstream csv("friend,sender,email,message,max_styles\n", std::ios::ate);
    for (std::size_t k = 0; k < c.to.size(); ++k) csv << k << ",Bob," << c.to[k] << ",hi,1\n";
    WriteText(dir.path / "list.csv", csv.str());
    const int first = sv_.Count() + 1;
    const std::size_t logged = ReadText(sv_.dir.path / "session.log").size();
    for (const std::string& run : c.runs) {
      const std::string command = run.starts_with("!") ? run.substr(1) : "MIRELUNE_SMTP_URL=" + sv_.Url(c.server) +
          " timeout -s KILL 60 '" MIRELUNE_CLI "' batch list.csv --out-dir out --jobs 1 --mail " + run + " >/dev/null 2>>err";
      ASSERT_EQ(std::system(("cd '" + dir.path.string() + "' && " + command).c_str()), 0) << run;
    }
    std::map<std::string, V> got;  // address -> Message-ID and card of each copy
    for (int n = first; n <= sv_.Count(); ++n) {
      const std::string to = sv_.Fact(n, "envelope");
      got[to.substr(to.find(" > ") + 3)].push_back(ReadText(sv_.File(n, ".id")) + ReadText(sv_.File(n, ".att")));
    }
    for (std::size_t k = 0; k < c.to.size(); ++k) {
      const std::string card = ReadText(dir.path / "out" / CardFileName(long(k), std::to_string(k), "Bob", "png"));
      EXPECT_EQ(got[c.to[k]].size(), 1u) << c.to[k] << " " << ReadText(dir.path / "err");
      EXPECT_TRUE(got[c.to[k]].empty() || got[c.to[k]][0].ends_with(card)) << c.to[k] << " got another row's card";
    }
    std::set<std::string> peers;
    int quits = 0;
    std::istringstream log(ReadText(sv_.dir.path / "session.log").substr(logged));
    for (std::string port, peer, command; log >> port >> peer >> command; quits += command == "QUIT") peers.insert(peer);
    EXPECT_TRUE(c.sessions.empty() || c.sessions == std::to_string(peers.size()) + ", " + std::to_string(quits)) << c.to[1];
  }
}

// A private postfix on loopback (scripts/postfix-instance.sh), offering STARTTLS with a certificate made here for
// 127.0.0.1, delivering every message into one maildir; Python's e-mail package reads it back.
struct Postfix {
  TempDir dir;
  const std::string d = dir.path.string(), script = "'" MIRELUNE_TEST_DIR "/../scripts/postfix-instance.sh' ";
  std::string port, error;
  Postfix() {
    const std::string cert = "openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=127.0.0.1 -addext "
                             "subjectAltName=IP:127.0.0.1 -keyout " + d + "/key.pem -out " + d + "/cert.pem";
    const int status = std::system(("cd " + d + " && " + cert + " 2>/dev/null && cp cert.pem wrong.pem && " +
                                    cert.substr(0, cert.find(" -keyout")) + " -keyout wk.pem -out wrong.pem 2>/dev/null && "
                                    "timeout 60 " + script + "start " + d + " >port 2>why").c_str());
    port = ReadText(dir.path / "port").substr(0, 5);
    if (status != 0 || port.empty()) error = "no postfix to test with: " + ReadText(dir.path / "why");
  }
  ~Postfix() { [[maybe_unused]] const int stopped = std::system(("timeout 60 " + script + "stop " + d).c_str()); }
  // Once the queue is empty (30 s at most): "To Message-ID tls sha256-of-the-card" for each message delivered.
  V Delivered() const {
    WriteText(dir.path / "read.sh", "for k in $(seq 300); do [ -z \"$(find queue/incoming queue/active -type f)\" ] && break; "
        "sleep 0.1; done; /usr/bin/python3 -c 'import email, email.policy, hashlib, pathlib\n"
        "for f in sorted(pathlib.Path(\"mail/box/new\").iterdir()):\n"
        " m = email.message_from_bytes(f.read_bytes(), policy=email.policy.default)\n"
        " a = [p.get_payload(decode=True) for p in m.walk() if p.get_content_disposition() == \"attachment\"]\n"
        " print(m[\"To\"], m[\"Message-ID\"], \"ESMTPS\" in m[\"Received\"], hashlib.sha256(a[0]).hexdigest())'\n");
    std::istringstream out(Shell(dir.path, "sh read.sh").out);
    V lines;
    for (std::string line; std::getline(out, line);) lines.push_back(line);
    return lines;
  }
};

// To postfix, over STARTTLS with the test certificate trusted: the card read back from the maildir byte for byte. A
// certificate that is not the server's is refused, and nothing is sent.
TEST_F(SmtpMail, PostfixTakesTheCardOverStartTlsAndAWrongCertificateIsRefused) {
  const Postfix pf;
  if (!pf.error.empty()) GTEST_SKIP() << pf.error;
  std::string card;
  for (unsigned k = 0; k < 300000; ++k) card += char(k * 7919u % 251);
  WriteText(card_, card);
  for (const char* ca : {"cert.pem", "wrong.pem"}) {
    ScopedEnv env{{"MIRELUNE_SMTP_URL", "smtp://127.0.0.1:" + pf.port}, {"MIRELUNE_SMTP_CA_FILE", pf.d + "/" + ca}};
    const Result<> r = SendMailItem(Item());
    EXPECT_EQ(r.ok, ca[0] == 'c') << r.message;
  }
  // A merge that mails the card painting itself: the GIF beside the card, byte for byte.
  WriteText(work_.path / "l.csv", "friend,sender,email,message\nMary,Bob,ann@example.org,hi\n");
  const Ran merged = Shell(work_.path, "env MIRELUNE_SMTP_URL=smtp://127.0.0.1:" + pf.port + " MIRELUNE_SMTP_CA_FILE=" +
                                           pf.d + "/cert.pem '" MIRELUNE_CLI "' batch l.csv --out-dir out --mail --attach gif");
  ASSERT_EQ(merged.status, 0) << merged.err;
  const std::string gif = ReadText(work_.path / "out" / "000001-Mary-Bob.animated.gif");
  const V got = pf.Delivered();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_TRUE(got[0].starts_with("friend@example.org <") && got[0].ends_with("> True " + Sha256Hex(card.data(), card.size())))
      << got[0];
  EXPECT_TRUE(got[1].starts_with("ann@example.org <") && got[1].ends_with("> True " + Sha256Hex(gif.data(), gif.size())))
      << got[1];
}

// A server that answers no SMTP, or nothing at all, is given up at the response time-out, and nothing is sent.
TEST_F(SmtpMail, AGarbledOrSilentAnswerEndsAtTheTimeOut) {
  SmtpSettings cfg;
  ASSERT_TRUE(SmtpSettingsFromEnvironment(&cfg));
  cfg.response_timeout_s = 1;
  for (const char* to : {"garbage@x.org", "hang@x.org"}) {
    const int n = sv_.Count();
    const Result<> r = SmtpConnection(cfg).Send(Item(to));
    EXPECT_NE(r.message.find(" did not answer in time. Check MIRELUNE_SMTP_URL"), std::string::npos) << r.message;
    EXPECT_EQ(sv_.Count(), n);
  }
}

// The line dropped before the answer to a message's data, or 451 or 554 as that answer: each row fails alone with
// the reason and is not journaled as sent, and the rerun sends just those rows, each once.
TEST_F(SmtpMail, RowsTheServerDidNotTakeFailAloneAndARerunSendsThem) {
  const TempDir dir;
  WriteText(dir.path / "list.csv", "friend,sender,email,message,max_styles\nA,Bob,a@x.org,hi,1\nB,Bob,cut@x.org,hi,1\n"
                                   "C,Bob,later@x.org,hi,1\nD,Bob,reject@x.org,hi,1\n");
  const std::string run = "cd '" + dir.path.string() + "' && MIRELUNE_SMTP_URL=" + sv_.Url(kPlain) +
                          " timeout -s KILL 60 '" MIRELUNE_CLI "' batch list.csv --out-dir out --jobs 1 --mail >/dev/null 2>err";
  const int first = sv_.Count();
  EXPECT_EQ(WEXITSTATUS(std::system(run.c_str())), 1);
  const std::string err = ReadText(dir.path / "err"), at = "The mail server at " + sv_.Url(kPlain);
  for (const std::string& why : {"row 2 (line 3): " + at + " answered in an unexpected way", "row 3 (line 4): " + at +
                                " refused the message (reply 451).\n", "row 4 (line 5): " + at + " refused the message (reply 554).\n"})
    EXPECT_NE(err.find(why), std::string::npos) << why << "\n" << err;
  const std::string journal = ReadText(dir.path / "out/mail-journal.jsonl");
  EXPECT_EQ(journal.find("\"sent\""), journal.rfind("\"sent\"")) << journal;  // row 1's alone
  EXPECT_EQ(sv_.Count(), first + 1);
  EXPECT_EQ(WEXITSTATUS(std::system(run.c_str())), 0) << ReadText(dir.path / "err");
  std::set<std::string> to;
  for (int n = first + 1; n <= sv_.Count(); ++n) to.insert(sv_.Fact(n, "envelope"));
  EXPECT_EQ(to.size(), 4u);
  EXPECT_EQ(sv_.Count(), first + 4);
}

}  // namespace
}  // namespace mirelune
