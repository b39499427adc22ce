// The desktop mail program: the exact command, run without a shell, against
// stand-in programs on PATH that only record their arguments.
#include <gtest/gtest.h>

#include "mail/mail_desktop.h"
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

const char kBody[] = "Hi 'there', \"Mary\"\nline 2";

PreparedMail SampleMail(const std::filesystem::path& card) {
  PreparedMail m;
  m.to = {"Mary", "mary@example.org"};
  m.subject = "greetings";
  m.body = kBody;
  m.attachments.push_back({card, card.filename().string(), "image/bmp"});
  return m;
}

TEST(DesktopMail, ComposeCommandKeepsPathsAndTextWhole) {
  const std::filesystem::path card = "/tmp/a b/it's \"q\", x/GR-20170102090503.bmp";
  const PreparedMail m = SampleMail(card);
  using V = std::vector<std::string>;
  EXPECT_EQ(DesktopComposeCommand(m, ""), (V{"xdg-email", "--utf8", "--subject", "greetings", "--body", kBody,
                                             "--attach", card.string(), "mailto:mary@example.org"}));
  EXPECT_EQ(DesktopComposeCommand(m, "org.gnome.Evolution.desktop"), DesktopComposeCommand(m, ""));
  // Thunderbird's own syntax: quotes and commas in the body and the path are
  // percent-encoded, so none can end a field early.
  EXPECT_EQ(DesktopComposeCommand(m, "thunderbird.desktop"),
            (V{"thunderbird", "-compose",
               "to='mary@example.org',subject=greetings,"
               "body=Hi%20%27there%27%2C%20%22Mary%22%0D%0Aline%202,"
               "attachment='file:///tmp/a%20b/it%27s%20%22q%22%2C%20x/GR-20170102090503.bmp'"}));
  // An empty body and a copy recipient.
  PreparedMail m2 = m;
  m2.body.clear();
  m2.cc = MailAddress{"", "copy@example.org"};
  EXPECT_EQ(DesktopComposeCommand(m2, ""),
            (V{"xdg-email", "--utf8", "--cc", "copy@example.org", "--subject", "greetings", "--attach",
               card.string(), "mailto:mary@example.org"}));
  EXPECT_EQ(DesktopComposeCommand(m2, "mozilla-thunderbird.desktop")[2],
            "to='mary@example.org',cc='copy@example.org',subject=greetings,"
            "attachment='file:///tmp/a%20b/it%27s%20%22q%22%2C%20x/GR-20170102090503.bmp'");
  // An apostrophe in an address: Thunderbird ends a quoted value only at a quote
  // followed by a comma or the end, which no address holds; a mailto: link
  // carries it percent-encoded.
  PreparedMail m3 = m2;
  m3.to.address = "o'brien@example.org";
  EXPECT_EQ(DesktopComposeCommand(m3, "thunderbird.desktop")[2].substr(0, 25), "to='o'brien@example.org',");
  EXPECT_EQ(DesktopComposeCommand(m3, "").back(), "mailto:o%27brien@example.org");
}

// Stand-ins for xdg-mime, xdg-email and thunderbird in a folder whose name has
// blanks and quotes; each records its arguments NUL-separated.
class DesktopMailRun : public ::testing::Test {
 protected:
  void SetUp() override {
    odd_ = dir_.path() / "it's a \"mail\" dir";
    bin_ = odd_ / "bin";
    root_ = odd_ / "my cards, 'new'";
    std::filesystem::create_directories(bin_);
    std::filesystem::create_directories(root_ / "wimgx");
    const std::string recorder =
        "#!/bin/sh\n"
        "printf '%s\\0' \"$@\" > \"$MIRELUNE_FAKE_LOG/${0##*/}.argv\"\n"
        "exit ${MIRELUNE_FAKE_STATUS:-0}\n";
    WriteText(bin_ / "xdg-email", recorder, true);
    WriteText(bin_ / "thunderbird", recorder, true);
    WriteText(bin_ / "xdg-mime", "#!/bin/sh\nprintf '%s\\n' \"$MIRELUNE_FAKE_HANDLER\"\n", true);
    path_.emplace("PATH", bin_.string());
    log_.emplace("MIRELUNE_FAKE_LOG", odd_.string());
    root_env_.emplace("MIRELUNE_ROOT", root_.string());
  }

  std::vector<std::string> Recorded(const std::string& program) const {
    const std::string text = ReadText(odd_ / (program + ".argv"));
    std::vector<std::string> args;
    std::size_t start = 0;
    for (std::size_t k = 0; k < text.size(); ++k)
      if (text[k] == '\0') {
        args.push_back(text.substr(start, k - start));
        start = k + 1;
      }
    return args;
  }

  TempDir dir_;
  std::filesystem::path odd_, bin_, root_;
  std::optional<ScopedEnv> path_, log_, root_env_;
  ScopedEnv no_server_{"MIRELUNE_SMTP_URL", std::nullopt};
};

TEST_F(DesktopMailRun, RunsTheComposeCommandOfTheHandler) {
  const auto card = root_ / "wimgx" / "GR-20170102090503.bmp";
  WriteText(card, "BM");
  const MailItem item{"Mary <mary@example.org>", " ", "greetings", kBody, {card}};
  for (const char* handler : {"", "thunderbird.desktop", "org.gnome.Evolution.desktop"}) {
    SCOPED_TRACE(handler);
    ScopedEnv h("MIRELUNE_FAKE_HANDLER", handler);
    std::filesystem::remove(odd_ / "xdg-email.argv");
    std::filesystem::remove(odd_ / "thunderbird.argv");
    const Result r = DesktopSender().Send(item);
    ASSERT_TRUE(r.ok) << r.message;
    EXPECT_EQ(
        r.message,
        "Your mail program has a new message to mary@example.org with the card attached; check it there "
        "and send it.");
    const auto want = DesktopComposeCommand(SampleMail(card), handler);
    const std::string program = want[0];
    EXPECT_EQ(Recorded(program), std::vector<std::string>(want.begin() + 1, want.end()));
    EXPECT_FALSE(std::filesystem::exists(
        odd_ / ((program == "xdg-email" ? "thunderbird" : "xdg-email") + std::string(".argv"))));
  }
}

TEST_F(DesktopMailRun, FailuresSayWhatToSetUp) {
  const auto card = root_ / "wimgx" / "GR-20170102090503.bmp";
  WriteText(card, "BM");
  const MailItem item{"mary@example.org", " ", "greetings", "Hi", {card}};
  struct Case {
    const char* status;
    bool remove_program;
    const char* fragment;
  } cases[] = {
      {"3", false,
       "xdg-email found no mail program to open. Set up a default mail program, or set MIRELUNE_SMTP_URL"},
      {"4", false, "could not open a new message (xdg-email ended with status 4)"},
      {"0", true, "xdg-email is not installed. Install xdg-utils"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.fragment);
    ScopedEnv status("MIRELUNE_FAKE_STATUS", c.status);
    if (c.remove_program) std::filesystem::remove(bin_ / "xdg-email");
    const Result r = DesktopSender().Send(item);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.message.find(c.fragment), std::string::npos) << r.message;
  }
}

TEST_F(DesktopMailRun, SendCommandSavesAsksAndComposes) {
  testing::Fixture f;
  f->imeslike = "GR-20170102090503";
  f->Picture4.SetBackColor(RGB(10, 20, 30));
  f->Picture4.LineBox(100, 100, 300, 200, RGB(255, 0, 0));
  f.host.answers = {"mary@example.org", kBody};
  const Result r = SendGreetingsToFriend(*f);
  ASSERT_TRUE(r.ok) << r.message;

  ASSERT_EQ(f.host.asked.size(), 2u);
  EXPECT_EQ(f.host.asked[0].title, "FRIEND'S E-MAIL ADDRESS");
  EXPECT_EQ(f.host.asked[1].title, "MESSAGE TO FRIEND");
  for (const auto& d : f.host.asked) {
    EXPECT_EQ(d.prompt, " ");
    EXPECT_EQ(d.x, 300);
    EXPECT_EQ(d.y, 333);
  }
  EXPECT_EQ(f->mail, "mary@example.org");
  EXPECT_EQ(f->sporo, kBody);
  EXPECT_EQ(f->imeslike, "GR-20170102090503");  // no new name
  const auto card = root_ / "wimgx" / "GR-20170102090503.bmp";
  EXPECT_EQ(ReadBytes(card), EncodeBmp(f->Picture4.image()));
  EXPECT_EQ(Recorded("xdg-email"),
            (std::vector<std::string>{"--utf8", "--subject", "greetings", "--body", kBody, "--attach",
                                      card.string(), "mailto:mary@example.org"}));
}

TEST_F(DesktopMailRun, CardIsSavedEvenWhenNothingCanBeSent) {
  struct Case {
    std::deque<std::string> answers;
    bool remove_program;
    const char* fragment;
  } cases[] = {
      {{"", ""}, false, "No e-mail address was given"},  // Cancel in both dialogs
      {{"mary@example.org\nBcc: eve@example.net", "x"}, false, "line break"},
      {{"mary@example.org", ""}, true, "xdg-email is not installed"},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.fragment);
    testing::Fixture f;
    f->imeslike = "GR-20170102090503";
    const auto card = root_ / "wimgx" / "GR-20170102090503.bmp";
    std::filesystem::remove(card);
    std::filesystem::remove(odd_ / "xdg-email.argv");
    if (c.remove_program) std::filesystem::remove(bin_ / "xdg-email");
    f.host.answers = c.answers;
    const Result r = SendGreetingsToFriend(*f);
    EXPECT_FALSE(r.ok);
    const std::string& message = r.message;
    EXPECT_NE(message.find(c.fragment), std::string::npos) << message;
    EXPECT_NE(message.find("The card is saved as " + card.string() + "."), std::string::npos) << message;
    EXPECT_EQ(ReadBytes(card), EncodeBmp(f->Picture4.image()));
    EXPECT_FALSE(std::filesystem::exists(odd_ / "xdg-email.argv"));  // no mail program was started
    EXPECT_EQ(f.host.asked.size(), 2u);
  }
}

TEST_F(DesktopMailRun, BeforeAnyCardTheBlankCardIsNamedAndSent) {
  testing::Fixture f;
  ASSERT_TRUE(f->imeslike.empty());
  f.host.answers = {"mary@example.org", "Hi"};
  const Result r = SendGreetingsToFriend(*f);
  ASSERT_TRUE(r.ok) << r.message;
  EXPECT_EQ(f->imeslike, "GR-20170102090503");  // from the host's clock
  EXPECT_TRUE(std::filesystem::exists(root_ / "wimgx" / "GR-20170102090503.bmp"));
}

}  // namespace
}  // namespace mirelune
