// The mail item checks and the header lines: what may reach a header, and how
// names are encoded. The parts themselves are libcurl's; the SMTP tests read them
// back with Python's e-mail package.
#include <gtest/gtest.h>

#include "mail/mail_mime.h"
#include "test_mail_util.h"

namespace mirelune {
namespace {

using testing::TempDir;
using testing::WriteText;

struct AddressCase {
  const char* text;
  bool ok;
  const char* name;     // when ok
  const char* address;  // when ok; else a fragment of the reason
};

TEST(MailAddress, AcceptsPlainAndNamedFormsRefusesEverythingElse) {
  const std::string long_name = std::string(310, 'M') + " <mary@example.org>";
  const AddressCase cases[] = {
      {"mary@example.org", true, "", "mary@example.org"},
      {"  mary@example.org  ", true, "", "mary@example.org"},
      {"Mary Smith <mary@example.org>", true, "Mary Smith", "mary@example.org"},
      {"\"Smith, Mary\" <mary@example.org>", true, "Smith, Mary", "mary@example.org"},
      {"\"Say \\\"hi\\\"\" <m@x.org>", true, "Say \"hi\"", "m@x.org"},
      {"Marija \xC4\x8Cuk <marija@example.si>", true, "Marija \xC4\x8Cuk", "marija@example.si"},
      {"o'brien+cards@mail.example.co.uk", true, "", "o'brien+cards@mail.example.co.uk"},
      {"root@localhost", true, "", "root@localhost"},
      {"", false, nullptr, "is empty"},
      {"   ", false, nullptr, "is empty"},
      {"mary@example.org\r\nBcc: eve@example.net", false, nullptr, "line break"},
      {"Mary\nBcc: eve@example.net <mary@example.org>", false, nullptr, "line break"},
      {"mary@example.org\t", false, nullptr, "control character"},
      {"mary@exa\x7Fmple.org", false, nullptr, "control character"},
      {"mary\xFF@example.org", false, nullptr, "not valid UTF-8"},
      {"marija@\xC4\x8Duk.si", false, nullptr, "plain ASCII"},
      {"mary", false, nullptr, "name@example.org"},
      {"mary@@example.org", false, nullptr, "name@example.org"},
      {"mary@example..org", false, nullptr, "name@example.org"},
      {".mary@example.org", false, nullptr, "name@example.org"},
      {"mary.@example.org", false, nullptr, "name@example.org"},
      {"mary@-example.org", false, nullptr, "name@example.org"},
      {"ma ry@example.org", false, nullptr, "name@example.org"},
      {"mary@example.org, eve@example.net", false, nullptr, "name@example.org"},
      {"Mary <mary@example.org", false, nullptr, "name@example.org"},
      {"Mary mary@example.org>", false, nullptr, "name@example.org"},
      {long_name.c_str(), false, nullptr, "is too long"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    MailAddress a;
    std::string why;
    ASSERT_EQ(ParseMailAddress(c.text, &a, &why), c.ok) << why;
    if (c.ok) {
      EXPECT_EQ(a.name, c.name);
      EXPECT_EQ(a.address, c.address);
    } else {
      EXPECT_NE(why.find(c.address), std::string::npos) << why;
    }
  }
}

TEST(MailAddress, HeaderValueQuotesOrEncodesTheName) {
  const std::pair<MailAddress, const char*> cases[] = {
      {{"", "a@b.org"}, "a@b.org"},
      {{"Mary Smith", "m@x.org"}, "Mary Smith <m@x.org>"},
      {{"Smith, Mary", "m@x.org"}, "\"Smith, Mary\" <m@x.org>"},
      {{"Say \"hi\"", "m@x.org"}, "\"Say \\\"hi\\\"\" <m@x.org>"},
      {{" lead", "m@x.org"}, "\" lead\" <m@x.org>"},
      {{"\xC4\x8Cuk", "m@x.org"}, "=?UTF-8?Q?=C4=8Cuk?= <m@x.org>"},
      {{"Ana \xC4\x8Cuk_1=2", "m@x.org"}, "=?UTF-8?Q?Ana_=C4=8Cuk=5F1=3D2?= <m@x.org>"},
  };
  for (const auto& [a, want] : cases) EXPECT_EQ(AddressHeaderValue(a), want);

  // A long non-ASCII name is cut into encoded words of at most 75 characters,
  // between characters, on folded lines.
  std::string name, word;
  for (int k = 0; k < 40; ++k) name += "\xC4\x8C";  // 80 bytes, 40 characters of 6 encoded each
  for (int k = 0; k < 10; ++k) word += "=C4=8C";
  const std::string w = "=?UTF-8?Q?" + word + "?=";
  EXPECT_EQ(AddressHeaderValue({name, "m@x.org"}), w + "\r\n " + w + "\r\n " + w + "\r\n " + w + " <m@x.org>");
}

TEST(MailEncoding, MailDateIsEnglishWithTheZoneOffset) {
  {
    testing::ScopedEnv tz("TZ", "CET-1");
    ::tzset();
    EXPECT_EQ(MailDate(1483344303), "Mon, 02 Jan 2017 09:05:03 +0100");  // 08:05:03 UTC
  }
  {
    testing::ScopedEnv tz("TZ", "XYZ+3:30");
    ::tzset();
    EXPECT_EQ(MailDate(1483344303), "Mon, 02 Jan 2017 04:35:03 -0330");
  }
  ::tzset();
}

TEST(MailMessage, HeadersInTheirOrderEachOnItsOwnLine) {
  PreparedMail m;
  m.to = {"", "mary@example.org"};
  m.subject = "greetings";
  using V = std::vector<std::string>;
  const MailAddress from{"Bob", "bob@example.org"};
  EXPECT_EQ(MailHeaders(from, m, "Mon, 02 Jan 2017 09:05:03 +0100", "<x@example.org>"),
            (V{"Date: Mon, 02 Jan 2017 09:05:03 +0100", "From: Bob <bob@example.org>", "To: mary@example.org",
               "Subject: greetings", "Message-ID: <x@example.org>"}));
  // A copy recipient adds exactly one header, after To.
  m.cc = MailAddress{"", "copy@example.org"};
  EXPECT_EQ(MailHeaders(from, m, "d", "<i>")[3], "Cc: copy@example.org");
  EXPECT_EQ(CrlfLines("a\r\nb\rc\nd\n"), "a\r\nb\r\nc\r\nd\r\n");
}

TEST(MailItemCheck, RefusesBadInputBeforeAnythingIsSent) {
  TempDir dir;
  const auto card = dir.path() / "GR-20170102090503.bmp";
  WriteText(card, "BM");
  const auto odd = dir.path() / "card one.bmp";
  WriteText(odd, "BM");
  struct Case {
    MailItem item;
    const char* fragment;  // empty: accepted
  } cases[] = {
      {{"mary@example.org", " ", "greetings", "Hi", {card}}, ""},
      {{"mary@example.org", "", "greetings", "", {card}}, ""},
      {{"", " ", "greetings", "Hi", {card}}, "No e-mail address was given"},
      {{"mary@example.org\n", " ", "greetings", "Hi", {card}}, "line break"},
      {{"not an address", " ", "greetings", "Hi", {card}}, "\"not an address\" is not of the form"},
      {{"mary@example.org", "x\r\n", "greetings", "Hi", {card}}, "copy address contains a line break"},
      {{"mary@example.org", " ", "greet\r\nBcc: e@x.org", "Hi", {card}}, "subject contains a line break"},
      {{"mary@example.org", " ", "greetings", "Hi \xFF", {card}}, "message is not valid UTF-8"},
      {{"mary@example.org", " ", "greetings", "Hi", {dir.path() / "GR-missing.bmp"}},
       "GR-missing.bmp is missing"},
      {{"mary@example.org", " ", "greetings", "Hi", {odd}}, "\"card one.bmp\" cannot be used"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fragment);
    PreparedMail m;
    std::string err;
    const bool ok = PrepareMail(c.item, &m, &err);
    if (!*c.fragment) {
      ASSERT_TRUE(ok) << err;
      EXPECT_EQ(m.to.address, "mary@example.org");
      EXPECT_FALSE(m.cc.has_value());  // a blank copy line is no recipient
      ASSERT_EQ(m.attachments.size(), 1u);
      EXPECT_EQ(m.attachments[0].filename, "GR-20170102090503.bmp");
      EXPECT_EQ(m.attachments[0].content_type, "image/bmp");
    } else {
      EXPECT_FALSE(ok);
      EXPECT_NE(err.find(c.fragment), std::string::npos) << err;
      EXPECT_EQ(err.find('\n'), std::string::npos);
      EXPECT_EQ(err.find('\r'), std::string::npos);
    }
  }
}

}  // namespace
}  // namespace mirelune
