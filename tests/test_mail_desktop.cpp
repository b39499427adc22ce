// The desktop mail program: the exact command, run without a shell, against
// stand-in programs on PATH that only record their arguments.
#include <gtest/gtest.h>

#include <curl/curl.h>

#include <deque>
#include <map>

#include "commands/commands.h"
#include "files/files.h"
#include "base/percent.h"
#include "mail/mail.h"
#include "mail/mail_desktop.h"
#include "test_mail_util.h"
#include "test_util.h"

namespace mirelune {
namespace {

using namespace testing;
using V = std::vector<std::string>;

const char kBody[] = "Hi 'there', \"Mary\"\nline 2";

PreparedMail SampleMail(const std::filesystem::path& card) {
  return {{"Mary", "mary@example.org"}, std::nullopt, "greetings", kBody, {card}};
}

// Thunderbird's reading of -compose: pairs split at commas outside quotes; a quote
// right after '=' opens a value that a quote before a comma (or the end) closes and
// that is taken as it stands; any other value is percent-decoded.
std::map<std::string, std::string> ComposeFields(const std::string& text) {
  std::map<std::string, std::string> fields;
  std::vector<std::string> pairs(1);
  char quote = 0;
  for (std::size_t k = 0; k < text.size(); ++k) {
    const char c = text[k], next = k + 1 < text.size() ? text[k + 1] : ',';
    if (!quote && c == ',') pairs.emplace_back();
    else pairs.back() += c;
    if (quote && c == quote && next == ',') quote = 0;
    else if (!quote && (c == '\'' || c == '"') && k > 0 && text[k - 1] == '=') quote = c;
  }
  for (const std::string& p : pairs) {
    const std::size_t eq = p.find('=');
    std::string key = p.substr(0, eq), value = p.substr(eq + 1);
    const bool quoted = value.size() >= 2 && (value[0] == '\'' || value[0] == '"') && value.back() == value[0];
    std::string plain;
    for (std::size_t k = quoted; k < value.size() - quoted; ++k) {
      const bool escape = !quoted && value[k] == '%' && k + 2 < value.size();
      plain += escape ? static_cast<char>(std::stoi(value.substr(k + 1, 2), nullptr, 16)) : value[k];
      k += escape ? 2 : 0;
    }
    fields[key] += (fields.count(key) ? "|" : "") + plain;  // a field given twice shows as "a|b"
  }
  return fields;
}

// Addresses and texts built to end a field early and add another (an attachment of
// the attacker's choosing) come back whole, and nothing else appears.
TEST(DesktopMail, ThunderbirdFieldsCannotBeEndedEarly) {
  const struct { std::string to, subject, body; } cases[] = {
      {"o'brien@example.org", "greetings", "Hi"},
      {"x',attachment='file:///etc/passwd'@example.org", "s", "b"},
      {"\"a,b\"@example.org", "it's',attachment='file:///root/.ssh/id_rsa", "body=x,to='eve@example.net'"},
      {"a'@example.org", "'", "',"},
      {"%27@example.org", "%2C%27", "100% = \"joy\", 'ok'"},
  };
  const std::filesystem::path card = "/tmp/cards/it's, odd.png";
  for (const auto& c : cases) {
    PreparedMail m{{"", c.to}, MailAddress{"", c.to}, c.subject, c.body, {card}};
    const V argv = DesktopComposeCommand(m, "thunderbird.desktop");
    ASSERT_EQ(argv.size(), 3u);
    const std::map<std::string, std::string> want = {{"attachment", "file:///tmp/cards/it%27s%2C%20odd.png"},
                                                     {"body", CrlfLines(c.body)}, {"cc", c.to},
                                                     {"subject", c.subject}, {"to", c.to}};
    EXPECT_EQ(ComposeFields(argv[2]), want) << argv[2];
  }
}

// The one percent-encoder, as the share link (RFC 3986's unreserved kept) and the hand-over to Thunderbird (also @ and
// /) call it: every byte comes back through libcurl's decoder, and only letters, digits and the kept ones stand as
// they are.
TEST(PercentEncoding, EveryByteComesBackAndOnlyTheKeptStandAsTheyAre) {
  std::string all;
  for (int c = 0; c < 256; ++c) all += static_cast<char>(c);
  const std::string az = "ABCDEFGHIJKLMNOPQRSTUVWXYZ_abcdefghijklmnopqrstuvwxyz~";
  for (const auto& [encoded, plain] : {std::pair{PercentEncode(all), "-.0123456789" + az},
                                       std::pair{PercentEncode(all, "-._~@/"), "-./0123456789@" + az}}) {
    int size = 0;
    char* back = curl_easy_unescape(nullptr, encoded.c_str(), static_cast<int>(encoded.size()), &size);
    EXPECT_EQ(std::string(back, static_cast<std::size_t>(size)), all);
    curl_free(back);
    std::string kept;
    for (std::size_t k = 0; k < encoded.size(); k += encoded[k] == '%' ? 3 : 1)
      if (encoded[k] != '%') kept += encoded[k];
      else EXPECT_EQ(encoded.substr(k + 1, 2).find_first_not_of("0123456789ABCDEF"), std::string::npos);
    EXPECT_EQ(kept, plain);
  }
}

// "send greetings to friend" without a mail server saves the card (named from the clock when it has no
// name) and runs the mailto: handler without a shell: stand-ins in a folder with blanks and quotes
// record their arguments. Whatever stops the mail, the card stays saved and the message says where.
TEST(DesktopMail, SendCommandSavesAsksAndComposes) {
  TempDir dir;
  const auto odd = dir.path / "it's a \"mail\" dir", bin = odd / "bin", root = odd / "my cards, 'new'";
  std::filesystem::create_directories(bin);
  const std::string recorder = "#!/bin/sh\nprintf '%s\\0' \"$@\" > \"$FAKE_LOG/${0##*/}.argv\"\nexit ${FAKE_STATUS:-0}\n";
  for (const char* program : {"xdg-email", "thunderbird"}) WriteText(bin / program, recorder, true);
  WriteText(bin / "xdg-mime", "#!/bin/sh\nprintf '%s\\n' \"$FAKE_HANDLER\"\n", true);
  ScopedEnv env{{"PATH", bin.string()}, {"FAKE_LOG", odd.string()}, {"MIRELUNE_ROOT", root.string()},
                {"MIRELUNE_SMTP_URL", std::nullopt}};
  // The arguments `program` was started with; empty when it was not started.
  auto recorded = [&](const std::string& program) {
    const std::string text = ReadText(odd / (program + ".argv"));
    V args;
    for (std::size_t start = 0, end; (end = text.find('\0', start)) != std::string::npos; start = end + 1)
      args.push_back(text.substr(start, end - start));
    std::filesystem::remove(odd / (program + ".argv"));
    return args;
  };
  const std::deque<std::string> mary = {"Mary <mary@example.org>", kBody};
  const struct {  // status: xdg-email's; fragment: a piece of the failure, or "" when composed
    const char* handler; std::deque<std::string> answers; const char *status, *fragment; bool installed = true;
  } cases[] = {
      {"", mary, "0", ""}, {"thunderbird.desktop", mary, "0", ""}, {"org.gnome.Evolution.desktop", mary, "0", ""},
      {"", mary, "3", "xdg-email found no mail program to open. Set up a default mail program, or set MIRELUNE_SMTP_URL"},
      {"", mary, "4", "could not open a new message (xdg-email ended with status 4)"},
      {"", {"", ""}, "0", "No e-mail address was given"},  // Cancel in both dialogs
      {"", {"mary@example.org\nBcc: eve@example.net", "x"}, "0", "line break"},
      {"", mary, "0", "xdg-email is not installed. Install xdg-utils", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.handler) + c.fragment);
    ScopedEnv fake{{"FAKE_HANDLER", c.handler}, {"FAKE_STATUS", c.status}};
    if (!c.installed) std::filesystem::remove(bin / "xdg-email");
    std::filesystem::remove_all(root / "wimgx");
    Session s;
    // A card this run saved keeps its name; any other is saved under the time of sending.
    if (*c.fragment) s.image_name = "GR-20991231235959", s.saved_names.insert(s.image_name);
    s.card.Box(100, 100, 300, 200, RGB(255, 0, 0));
    std::tm now{};
    now.tm_year = 117, now.tm_mday = 2, now.tm_hour = 9, now.tm_min = 5, now.tm_sec = 3;
    const Result<std::filesystem::path> saved = SaveCardForMail(s, now);
    ASSERT_TRUE(saved) << saved.error().message;
    const Result<> r = SendMailItem({c.answers[0], " ", "greetings", c.answers[1], {*saved}});  // as the window sends it
    const auto card = root / "wimgx" / (*c.fragment ? "GR-20991231235959.bmp" : "GR-20170102090503.bmp");
    const auto bmp = EncodeBmp(s.card.image());
    EXPECT_EQ(ReadText(card), std::string(bmp.begin(), bmp.end()));
    const V want = DesktopComposeCommand(SampleMail(card), c.handler);
    EXPECT_EQ(recorded(want[0]), c.installed && c.answers == mary ? V(want.begin() + 1, want.end()) : V{});
    EXPECT_EQ(recorded(want[0] == "thunderbird" ? "xdg-email" : "thunderbird"), V{});
    const std::string end = *c.fragment ? "The card is saved as " + card.string() + "."
                                        : "Your mail program has a new message to mary@example.org with the card "
                                          "attached; check it there and send it.";
    EXPECT_EQ(r.ok, !*c.fragment);
    EXPECT_TRUE(r.message.find(c.fragment) != std::string::npos && r.message.ends_with(end)) << r.message;
  }
}

}  // namespace
}  // namespace mirelune
