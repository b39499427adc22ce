// The mail item checks and the MIME writer: what may reach a header, and the
// encodings, down to the byte.
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
      {{"\xC4\x8Cuk", "m@x.org"}, "=?UTF-8?B?xIx1aw==?= <m@x.org>"},
  };
  for (const auto& [a, want] : cases) EXPECT_EQ(AddressHeaderValue(a), want);

  // A long non-ASCII name is cut into encoded words of at most 75 characters,
  // between characters, on folded lines.
  std::string name;
  for (int k = 0; k < 40; ++k) name += "\xC4\x8C";  // 80 bytes
  const std::string v = AddressHeaderValue({name, "m@x.org"});
  EXPECT_EQ(v,
            "=?UTF-8?B?xIzEjMSMxIzEjMSMxIzEjMSMxIzEjMSMxIzEjMSMxIzEjMSMxIzEjMSMxIw=?=\r\n"
            " =?UTF-8?B?xIzEjMSMxIzEjMSMxIzEjMSMxIzEjMSMxIzEjMSMxIzEjMSM?= <m@x.org>");
}

TEST(MailEncoding, QuotedPrintableKeepsLinesShortAndBlanksSafe) {
  const std::string x75(75, 'x'), x74(74, 'x'), x76(76, 'x'), x80(80, 'x');
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"Hello, Mary!", "Hello, Mary!"},
      {"1 + 1 = 2", "1 + 1 =3D 2"},
      {"end  ", "end =20"},
      {"tab\t\nx", "tab=09\r\nx"},
      {"a\r\nb\rc\nd\n", "a\r\nb\r\nc\r\nd\r\n"},
      {"\xC4\x8C"
       "estitke",
       "=C4=8Cestitke"},
      {x76, x76},                               // exactly the limit: no break
      {x80, x75 + "=\r\n" + "xxxxx"},           // soft break after 75 + '='
      {x75 + " ", x75 + "=\r\n=20"},            // a final blank is encoded, and moves on
      {x74 + "\xC3\xA9", x74 + "=\r\n=C3=A9"},  // an =XX triplet is never split
  };
  for (const auto& [in, want] : cases) EXPECT_EQ(EncodeQuotedPrintable(in), want) << in;
}

TEST(MailEncoding, Base64InLinesOf76) {
  auto b64 = [](std::string s) { return EncodeBase64(std::vector<std::uint8_t>(s.begin(), s.end())); };
  EXPECT_EQ(b64(""), "");
  EXPECT_EQ(b64("f"), "Zg==\r\n");
  EXPECT_EQ(b64("fo"), "Zm8=\r\n");
  EXPECT_EQ(b64("foo"), "Zm9v\r\n");
  const std::string l57 = b64(std::string(57, '\xFF')), l58 = b64(std::string(58, '\xFF'));
  EXPECT_EQ(l57, std::string(76, '/') + "\r\n");
  EXPECT_EQ(l58, std::string(76, '/') + "\r\n/w==\r\n");
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

TEST(MailMessage, WireFormatIsFixedApartFromDateAndId) {
  MimeMessage m;
  m.from = {"Bob", "bob@example.org"};
  m.to = {"", "mary@example.org"};
  m.subject = "greetings";
  m.body =
      "Hi Mary!\n\xC4\x8C"
      "estitke";
  m.attachments.push_back({"GR-20170102090503.bmp", "image/bmp", {0x42, 0x4D, 0, 1, 2, 0xFF}});
  m.date = "Mon, 02 Jan 2017 09:05:03 +0100";
  m.message_id = "<x@example.org>";
  EXPECT_EQ(BuildMimeMessage(m),
            "Date: Mon, 02 Jan 2017 09:05:03 +0100\r\n"
            "From: Bob <bob@example.org>\r\n"
            "To: mary@example.org\r\n"
            "Subject: greetings\r\n"
            "Message-ID: <x@example.org>\r\n"
            "MIME-Version: 1.0\r\n"
            "Content-Type: multipart/mixed; boundary=\"=_mirelune_card\"\r\n"
            "\r\n"
            "This is a message in MIME format.\r\n"
            "\r\n"
            "--=_mirelune_card\r\n"
            "Content-Type: text/plain; charset=UTF-8\r\n"
            "Content-Transfer-Encoding: quoted-printable\r\n"
            "\r\n"
            "Hi Mary!\r\n"
            "=C4=8Cestitke\r\n"
            "--=_mirelune_card\r\n"
            "Content-Type: image/bmp; name=\"GR-20170102090503.bmp\"\r\n"
            "Content-Transfer-Encoding: base64\r\n"
            "Content-Disposition: attachment; filename=\"GR-20170102090503.bmp\"\r\n"
            "\r\n"
            "Qk0AAQL/\r\n"
            "--=_mirelune_card--\r\n");
  // A copy recipient adds exactly one header, after To.
  m.cc = MailAddress{"", "copy@example.org"};
  const std::string with_cc = BuildMimeMessage(m);
  EXPECT_NE(with_cc.find("To: mary@example.org\r\nCc: copy@example.org\r\nSubject: greetings\r\n"),
            std::string::npos);
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
