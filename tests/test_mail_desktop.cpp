// The desktop mail program: the exact command, run without a shell, against
// stand-in programs on PATH that only record their arguments.
#include <gtest/gtest.h>

#include "files/files.h"
#include "mail/mail_desktop.h"
#include "test_mail_util.h"
#include "test_util.h"

namespace mirelune {
namespace {

using namespace testing;
using V = std::vector<std::string>;

const char kBody[] = "Hi 'there', \"Mary\"\nline 2";

PreparedMail SampleMail(const std::filesystem::path& card) {
  return {{"Mary", "mary@example.org"}, std::nullopt, "greetings", kBody, {{card, card.filename().string(), "image/bmp"}}};
}

TEST(DesktopMail, ComposeCommandKeepsPathsAndTextWhole) {
  const std::filesystem::path card = "/tmp/a b/it's \"q\", x/GR-20170102090503.bmp";
  const std::string attachment = "attachment='file:///tmp/a%20b/it%27s%20%22q%22%2C%20x/GR-20170102090503.bmp'";
  const PreparedMail plain = SampleMail(card);
  PreparedMail odd = plain;  // an apostrophe in the address, a copy recipient, no body
  odd.to.address = "o'brien@example.org";
  odd.cc = MailAddress{"", "copy@example.org"};
  odd.body.clear();
  // Thunderbird's fields end at a quote and a comma: the body and the path are
  // percent-encoded, and no address holds a comma.
  const struct {
    const PreparedMail& mail;
    const char* handler;
    V want;
  } cases[] = {
      {plain, "", {"xdg-email", "--utf8", "--subject", "greetings", "--body", kBody, "--attach", card, "mailto:mary@example.org"}},
      {plain, "thunderbird.desktop",
       {"thunderbird", "-compose",
        "to='mary@example.org',subject=greetings,body=Hi%20%27there%27%2C%20%22Mary%22%0D%0Aline%202," + attachment}},
      {odd, "", {"xdg-email", "--utf8", "--cc", "copy@example.org", "--subject", "greetings", "--attach", card,
                 "mailto:o%27brien@example.org"}},
      {odd, "mozilla-thunderbird.desktop",
       {"thunderbird", "-compose", "to='o'brien@example.org',cc='copy@example.org',subject=greetings," + attachment}},
  };
  for (const auto& c : cases) EXPECT_EQ(DesktopComposeCommand(c.mail, c.handler), c.want) << c.handler;
}

// Stand-ins for xdg-mime, xdg-email and thunderbird in a folder whose name has
// blanks and quotes; each records its arguments NUL-separated.
class DesktopMailRun : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(bin_);
    std::filesystem::create_directories(root_ / "wimgx");
    const std::string recorder = "#!/bin/sh\nprintf '%s\\0' \"$@\" > \"$FAKE_LOG/${0##*/}.argv\"\nexit ${FAKE_STATUS:-0}\n";
    WriteText(bin_ / "xdg-email", recorder, true);
    WriteText(bin_ / "thunderbird", recorder, true);
    WriteText(bin_ / "xdg-mime", "#!/bin/sh\nprintf '%s\\n' \"$FAKE_HANDLER\"\n", true);
  }

  // The arguments `program` was started with; empty when it was not started.
  V Recorded(const std::string& program) const {
    const std::string text = ReadText(odd_ / (program + ".argv"));
    V args;
    for (std::size_t start = 0, end; (end = text.find('\0', start)) != std::string::npos; start = end + 1)
      args.push_back(text.substr(start, end - start));
    std::filesystem::remove(odd_ / (program + ".argv"));
    return args;
  }

  TempDir dir_;
  const std::filesystem::path odd_ = dir_.path / "it's a \"mail\" dir", bin_ = odd_ / "bin", root_ = odd_ / "my cards, 'new'";
  ScopedEnv env_{{"PATH", bin_.string()}, {"FAKE_LOG", odd_.string()}, {"MIRELUNE_ROOT", root_.string()},
                 {"MIRELUNE_SMTP_URL", std::nullopt}};
};

TEST_F(DesktopMailRun, SendsThroughTheHandlersProgramOrSaysWhatToSetUp) {
  const auto card = root_ / "wimgx" / "GR-20170102090503.bmp";
  WriteText(card, "BM");
  const struct {
    const char* handler;
    const char* status;
    bool installed;
    const char* fragment;  // of the failure; empty: composed
  } cases[] = {
      {"", "0", true, ""},
      {"thunderbird.desktop", "0", true, ""},
      {"org.gnome.Evolution.desktop", "0", true, ""},
      {"", "3", true, "xdg-email found no mail program to open. Set up a default mail program, or set MIRELUNE_SMTP_URL"},
      {"", "4", true, "could not open a new message (xdg-email ended with status 4)"},
      {"", "0", false, "xdg-email is not installed. Install xdg-utils"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.handler) + " " + c.fragment);
    ScopedEnv env{{"FAKE_HANDLER", c.handler}, {"FAKE_STATUS", c.status}};
    if (!c.installed) std::filesystem::remove(bin_ / "xdg-email");
    const Result r = DesktopSender().Send({"Mary <mary@example.org>", " ", "greetings", kBody, {card}});
    const V want = DesktopComposeCommand(SampleMail(card), c.handler);
    const V started = Recorded(want[0]);
    EXPECT_EQ(Recorded(want[0] == "thunderbird" ? "xdg-email" : "thunderbird"), V{});
    if (*c.fragment) {
      EXPECT_FALSE(r.ok);
      EXPECT_NE(r.message.find(c.fragment), std::string::npos) << r.message;
      continue;
    }
    EXPECT_EQ(r.message, "Your mail program has a new message to mary@example.org with the card attached; check it "
                         "there and send it.");
    EXPECT_EQ(started, V(want.begin() + 1, want.end()));
  }
}

// The command saves the card under the current name (one is made from the clock
// when there is none), asks for the address and the message, and hands both on.
// Whatever stops the mail, the card stays saved and the message says where.
TEST_F(DesktopMailRun, SendCommandSavesAsksAndComposes) {
  const struct {
    const char* name;
    std::deque<std::string> answers;
    bool installed;
    const char* fragment;  // of the failure; empty: composed
  } cases[] = {
      {"", {"mary@example.org", kBody}, true, ""},
      {"GR-20991231235959", {"", ""}, true, "No e-mail address was given"},  // Cancel in both dialogs
      {"GR-20991231235959", {"mary@example.org\nBcc: eve@example.net", "x"}, true, "line break"},
      {"GR-20991231235959", {"mary@example.org", ""}, false, "xdg-email is not installed"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fragment);
    Fixture f;
    f->imeslike = c.name;
    f->Picture4.SetBackColor(RGB(10, 20, 30));
    f->Picture4.LineBox(100, 100, 300, 200, RGB(255, 0, 0));
    f.host.answers = c.answers;
    if (!c.installed) std::filesystem::remove(bin_ / "xdg-email");
    const Result r = SendGreetingsToFriend(*f);
    const auto card = root_ / "wimgx" / ((*c.name ? c.name : "GR-20170102090503") + std::string(".bmp"));
    EXPECT_EQ(ReadBytes(card), EncodeBmp(f->Picture4.image()));
    ASSERT_EQ(f.host.asked.size(), 2u);
    for (int k : {0, 1}) {
      const auto& d = f.host.asked[k];
      EXPECT_EQ(d.prompt + d.title + " " + std::to_string(d.x) + "," + std::to_string(d.y),
                std::string(" ") + (k ? "MESSAGE TO FRIEND" : "FRIEND'S E-MAIL ADDRESS") + " 300,333");
    }
    const V started = Recorded("xdg-email");
    if (*c.fragment) {
      EXPECT_FALSE(r.ok);
      EXPECT_NE(r.message.find(c.fragment), std::string::npos) << r.message;
      EXPECT_NE(r.message.find("The card is saved as " + card.string() + "."), std::string::npos) << r.message;
      EXPECT_EQ(started, V{});
      continue;
    }
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(f->mail + "|" + f->sporo, std::string("mary@example.org|") + kBody);
    EXPECT_EQ(started, (V{"--utf8", "--subject", "greetings", "--body", kBody, "--attach", card, "mailto:mary@example.org"}));
  }
}

}  // namespace
}  // namespace mirelune
