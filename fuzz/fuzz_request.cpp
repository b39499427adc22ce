// A request to the web server from any bytes (the path, If-None-Match and the
// query's parameters, cut at NUL bytes): the answer is one of the known ones;
// a page shows no text of the request unescaped (its one script element is its
// own); a card job's query reads back to the same settings and its ETag matches
// itself; the client behind a proxy is an address or the peer.
#include "fuzz_util.h"
#include "web/web.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace mirelune;
  using namespace mirelune::web;
  using fuzz::Require;
  const std::vector<std::string> f = fuzz::Fields(data, size, '\0', 40);
  Request r{"GET", f[0], {}, f.size() > 1 ? f[1] : ""};
  for (std::size_t k = 2; k + 1 < f.size(); k += 2) r.args.emplace_back(f[k], f[k + 1]);
  static const Site site(
      "fuzz",
      [](const CardSpec&, const Card&, const Image&, Output, PixelBuffer&) -> Result<Bytes> {
        return Error{"no card is made here"};
      },
      [] { return std::time_t{1790812800}; });
  const Route route = site.Handle(r);
  Require(route.now.has_value() != route.job.has_value());
  if (route.now) {
    const Response& a = *route.now;
    Require(a.status == 200 || a.status == 304 || a.status == 400 || a.status == 404);
    if (a.type.starts_with("text/html")) {
      std::size_t scripts = 0;
      for (std::size_t at = a.body->find("<script"); at != std::string::npos; at = a.body->find("<script", at + 1))
        ++scripts;
      Require(scripts == 1);
      Require(a.body->find("<img src=\"/card.png?") == std::string::npos || a.status == 200);
    }
    for (const auto& [name, value] : a.headers) Require(value.find_first_of("\r\n") == std::string::npos);
  } else {
    const CardJob& job = *route.job;
    const Result<CardQuery> q = ParseCardQuery(r.args, 2027);
    Require(q && q->card.friend_name == job.query.card.friend_name && q->card.year == job.query.card.year);
    Require(EtagMatches(job.etag, job.etag) && EtagMatches("W/" + job.etag, job.etag));
    Require(site.EtagOf(job.query, job.output) == job.etag);
    Require(CanonicalQuery(job.query).find_first_of(" <>\"'\r\n#") == std::string::npos);
    // The readable link reads back to the names; a download's name is one header value.
    const std::string link = ShareLink(job.query);
    const std::optional<Args> back = ShareLinkArgs(link.substr(0, link.find('?')));
    Require(back && (*back)[0].second == job.query.card.friend_name && (*back)[1].second == job.query.card.sender);
    const std::string disposition = ContentDisposition(job.query.card.friend_name, job.query.card.sender, "png");
    Require(disposition.find_first_of("\r\n") == std::string::npos &&
            disposition.find('"', 22) == disposition.find(".png\"") + 4);
  }
  const std::string client = ClientOf("10.0.0.1", f.size() > 1 ? f[1] : "", {"10.0.0.1"});
  Require(client == "10.0.0.1" || client.find_first_not_of("0123456789abcdefABCDEF.:") == std::string::npos);
  Require(PercentDecode(PercentEncode(f[0])) == f[0]);
  if (const std::optional<Args> parts = ShareLinkArgs(f[0])) Require(parts->size() == 3);
  Require(LogText(f[0]).find_first_of(" \r\n\x1b") == std::string::npos);
  return 0;
}
