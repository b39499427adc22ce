// What may reach a mail header, and how names are written there. The parts are
// libcurl's; the SMTP tests read whole messages back with Python's e-mail package.
#include <gtest/gtest.h>

#include "mail/mail.h"
#include "test_mail_util.h"

namespace mirelune {
namespace {

using testing::TempDir;
using testing::WriteText;

TEST(MailAddress, AcceptsPlainAndNamedFormsRefusesEverythingElse) {
  const std::string too_long = std::string(310, 'M') + " <mary@example.org>";
  const struct { const char *text, *name, *address; } cases[] = {  // no name: refused, the address a piece of why
      {"  mary@example.org  ", "", "mary@example.org"},
      {"Mary Smith <mary@example.org>", "Mary Smith", "mary@example.org"},
      {"\"Say \\\"hi\\\", Mary\" <m@x.org>", "Say \"hi\", Mary", "m@x.org"},
      {"Marija \xC4\x8Cuk <marija@example.si>", "Marija \xC4\x8Cuk", "marija@example.si"},
      {"o'brien+cards@mail.example.co.uk", "", "o'brien+cards@mail.example.co.uk"},
      {"", nullptr, "is empty"}, {"mary@exa\x7Fmple.org", nullptr, "control character"},
      {"mary@example.org\r\nBcc: eve@example.net", nullptr, "line break"},
      {"Mary\nBcc: eve@example.net <mary@example.org>", nullptr, "line break"},
      {"mary\xFF@example.org", nullptr, "not valid UTF-8"}, {"marija@\xC4\x8Duk.si", nullptr, "plain ASCII"},
      {"mary", nullptr, "name@example.org"}, {"mary@example..org", nullptr, "name@example.org"},
      {".mary@example.org", nullptr, "name@example.org"}, {"mary.@example.org", nullptr, "name@example.org"},
      {"ma..ry@example.org", nullptr, "name@example.org"}, {"mary@-example.org", nullptr, "name@example.org"},
      {"ma ry@example.org", nullptr, "name@example.org"}, {"Mary mary@example.org>", nullptr, "name@example.org"},
      {"mary@example.org, eve@example.net", nullptr, "name@example.org"},
      {too_long.c_str(), nullptr, "is too long"},
  };
  for (const auto& c : cases) {
    const Result<MailAddress> a = ParseMailAddress(c.text);
    const std::string& why = a.error().message;
    ASSERT_EQ(bool(a), c.name != nullptr) << c.text << ": " << why;
    EXPECT_TRUE(c.name ? a->name + " | " + a->address == std::string(c.name) + " | " + c.address
                       : why.find(c.address) != std::string::npos) << c.text << ": " << why;
  }
}

// Anything but short plain ASCII goes as base64 encoded words, cut between characters, one a line: no line
// holding one passes 76 characters, and none can be read as a header or an encoded word of the user's.
TEST(MailAddress, HeaderValuesQuoteOrEncodeAndNoLinePassesTheLimit) {
  std::string long_name = "AB";
  for (int k = 0; k < 30; ++k) long_name += "\xC4\x8C";  // 39 bytes would cut a character: the first word takes 38
  const std::pair<MailAddress, std::string> names[] = {
      {{"", "a@b.org"}, "a@b.org"}, {{"Mary Smith", "m@x.org"}, "Mary Smith <m@x.org>"},
      {{"Smith, Mary", "m@x.org"}, "\"Smith, Mary\" <m@x.org>"}, {{" lead", "m@x.org"}, "\" lead\" <m@x.org>"},
      {{"Say \"hi\"", "m@x.org"}, "\"Say \\\"hi\\\"\" <m@x.org>"},
      {{"Ana \xC4\x8Cuk_1=2", "m@x.org"}, "=?UTF-8?B?QW5hIMSMdWtfMT0y?= <m@x.org>"},
      {{long_name, "m@x.org"}, "=?UTF-8?B?QULEjMSMxIzEjMSMxIzEjMSMxIzEjMSMxIzEjMSMxIzEjMSMxIw=?=\r\n "
                               "=?UTF-8?B?xIzEjMSMxIzEjMSMxIzEjMSMxIzEjMSM?= <m@x.org>"},
      {{"=?UTF-8?Q?Hi?=", "m@x.org"}, "\"=?UTF-8?Q?Hi?=\" <m@x.org>"},  // readers leave quotes alone
  };
  for (const auto& [a, want] : names) EXPECT_EQ(AddressHeaderValue(a), want);
  const std::pair<std::string, std::string> subjects[] = {
      {"Happy new year", "Happy new year"}, {std::string(69, 'a'), std::string(69, 'a')},
      {"=?UTF-8?Q?Hi?=", "=?UTF-8?B?PT9VVEYtOD9RP0hpPz0=?="},  // not read as an encoded word
  };
  PreparedMail m;
  for (const auto& [subject, want] : subjects) {
    m.subject = subject;
    EXPECT_EQ(MailHeaders({}, m, "d", "<i>")[3], "Subject: " + want);
  }
  m.subject = std::string(1000, 'a');
  const std::string h = MailHeaders({}, m, "d", "<i>")[3] + "\r\n";
  std::size_t longest = 0, start = 0;
  for (std::size_t end; (end = h.find("\r\n", start)) != h.npos; start = end + 2) longest = std::max(longest, end - start);
  EXPECT_EQ(longest, 73u);  // "Subject: " and one word
}

TEST(MailAddress, DateIsEnglishWithTheZoneOffset) {
  const std::pair<const char*, const char*> cases[] = {{"CET-1", "Mon, 02 Jan 2017 09:05:03 +0100"},
                                                       {"XYZ+3:30", "Mon, 02 Jan 2017 04:35:03 -0330"}};
  for (const auto& [zone, want] : cases) {
    testing::ScopedEnv tz{{"TZ", zone}};
    ::tzset();
    EXPECT_EQ(MailDate(1483344303), want);  // 08:05:03 UTC
  }
  ::tzset();
}

TEST(MailItemCheck, RefusesBadInputBeforeAnythingIsSent) {
  TempDir dir;
  const auto card = dir.path / "GR-20170102090503.bmp", odd = dir.path / "card one.bmp";
  for (const auto& f : {card, odd}) WriteText(f, "BM");
  const struct { MailItem item; const char* fragment; } cases[] = {  // fragment "": accepted
      {{"mary@example.org", " ", "greetings", "Hi", {card}}, ""},
      {{"", " ", "greetings", "Hi", {card}}, "No e-mail address was given"},
      {{"mary@example.org\n", " ", "greetings", "Hi", {card}}, "The e-mail address contains a line break"},
      {{"not an address", " ", "greetings", "Hi", {card}}, "\"not an address\" is not of the form"},
      {{"mary@example.org", "x\r\n", "greetings", "Hi", {card}}, "copy address contains a line break"},
      {{"mary@example.org", " ", "greet\r\nBcc: e@x.org", "Hi", {card}}, "subject contains a line break"},
      {{"mary@example.org", " ", "greetings", "Hi \xFF", {card}}, "message is not valid UTF-8"},
      {{"mary@example.org", " ", "greetings", "Hi", {dir.path / "GR-missing.bmp"}}, "GR-missing.bmp is missing"},
      {{"mary@example.org", " ", "greetings", "Hi", {odd}}, "\"card one.bmp\" cannot be used"},
  };
  for (const auto& c : cases) {
    const Result<PreparedMail> m = PrepareMail(c.item);
    const std::string& err = m.error().message;
    EXPECT_EQ(bool(m), !*c.fragment) << err;
    EXPECT_NE(err.find(c.fragment), std::string::npos) << err;
    EXPECT_EQ(err.find_first_of("\r\n"), std::string::npos) << err;
  }
}

}  // namespace
}  // namespace mirelune
