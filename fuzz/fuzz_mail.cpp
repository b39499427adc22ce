// Mail addresses and the header lines of a message from anything typed: whatever
// passes the checks yields 7-bit header lines with no line break but a fold, and
// no line longer than mail allows.
#include "fuzz_util.h"
#include "mail/mail.h"

namespace {

void RequireOneHeaderLine(const std::string& h) {
  using mirelune::fuzz::Require;
  std::size_t start = 0;  // of the current line, which holds at most 998 characters
  for (std::size_t k = 0; k < h.size(); ++k) {
    const unsigned char c = h[k];
    Require(c < 0x80);
    if (c == '\r') {
      Require(k + 2 < h.size() && h[k + 1] == '\n' && h[k + 2] == ' ');  // folding only
    } else if (c == '\n') {
      Require(k > 0 && h[k - 1] == '\r');
      start = k + 1;
    } else {
      Require(c >= 0x20 && c != 0x7F && k - start < 998);
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mirelune;
  const auto f = fuzz::Fields(data, size, '\0', 5);
  auto field = [&](std::size_t k) { return k < f.size() ? f[k] : std::string(); };
  const Result<MailAddress> parsed = ParseMailAddress(field(4));
  const MailAddress from = parsed ? *parsed : MailAddress{"Bob", "bob@example.org"};
  MailItem item{field(0), field(1), field(2), field(3), {}};
  const Result<PreparedMail> prepared = PrepareMail(item);
  if (!prepared) {
    const std::string& why = prepared.error().message;
    fuzz::Require(!why.empty() && why.find('\n') == std::string::npos && why.find('\r') == std::string::npos);
    return 0;
  }
  const PreparedMail& m = *prepared;
  for (const std::string& h : MailHeaders(from, m, MailDate(0), NewMessageId("example.org")))
    RequireOneHeaderLine(h);
  const std::string body = CrlfLines(m.body);
  for (std::size_t k = 0; k < body.size(); ++k)
    if (body[k] == '\n') fuzz::Require(k > 0 && body[k - 1] == '\r');
  return 0;
}
