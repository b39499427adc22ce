// web.h — `serve`: the card in any browser. What a request asks for and what it
// gets, apart from the HTTP library (server.cpp holds that), so that tests and
// the fuzz target drive it without a socket.
//
//   Site site(identity, writer);
//   Route r = site.Handle({"GET", "/card.png", {{"friend", "Mary"}, {"sender", "Bob"}}, ""});
//   r.now      // an answer at once (a page, an error, a 304), or
//   r.job      // a card to make first: site.Make(*r.job, fonts, memory) gives its bytes
//
// A card's URL names its settings, so the answer never changes: the ETag is a
// digest of the settings, the program's version and the face files, and the
// card is cached for a year, by browsers, nginx and the server's own cache.
#pragma once

#include <ctime>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/percent.h"  // PercentEncode, for the share link
#include "card/card.h"
#include "commands/commands.h"

namespace mirelune::web {

// A query's parameters, decoded, in the order given.
using Args = std::vector<std::pair<std::string, std::string>>;
using Headers = std::vector<std::pair<std::string, std::string>>;
using Body = std::shared_ptr<const std::string>;

// What a card URL answers with: a picture in one format or the card's report.
enum class Output { kPng, kJpeg, kBmp, kWebp, kReport, kPdf, kGif };
const char* ContentType(Output o);

// The settings of one card: the command line's card options.
struct CardQuery {
  CardSpec card;
  int width = kCanvasPixelsW;  // `size`: the picture's width, 16 to 3584 pixels (the card drawn larger past 896)
  bool download = false;       // `download=1`: sent as an attachment named after the names
  std::string print;           // `print` (/card.pdf only): a6 (its default), 5x7 or letter-half
  bool animate = false;        // `animate=1` (/card.webp, /card.gif, which always is): the card painting itself
};
// The parameters carry the command line's option names and values (friend,
// sender, year, max-styles, mode, palette); a bad one fails with the message the
// command line gives for it. An empty year, style limit, mode or palette takes
// the default, as in a batch list. `size` and `download` are the web's own.
Result<CardQuery> ParseCardQuery(const Args& args, int default_year);
// Every setting in one fixed order, percent-encoded (download is not a setting):
// the cache key's query.
std::string CanonicalQuery(const CardQuery& q);
// The readable link to the card's page, "/card/Mary/Bob/2027", with the other
// settings as its query; each name percent-encoded, '/' too.
std::string ShareLink(const CardQuery& q);
// The path of such a link: the names and year it holds, percent-decoded, as
// parameters, or nothing when `path` is not /card/FRIEND/SENDER/YEAR or a part is
// not percent-encoded properly.
std::optional<Args> ShareLinkArgs(std::string_view path);
// `attachment; filename="Mary-from-Bob.png"`, with filename* (RFC 5987) holding
// the names as they are when they are not plain ASCII.
std::string ContentDisposition(const std::string& friend_name, const std::string& sender, const std::string& ext);
// A query's key or value as a browser sends it: '+' a blank, %XX a byte, a '%'
// without two hex digits as it is.
std::string QueryDecode(std::string_view text);
// Percent-decoding; nothing when a '%' is not followed by two hex digits.
std::optional<std::string> PercentDecode(std::string_view text);
// The colours of the built-in palettes, a stylesheet: `.palette-3` paints palette
// 3's ten colours as stripes.
std::string PaletteStyles();
// --- pictures (picture.cpp) ---
// The height of a picture `width` x `height` shrunk to `to_width`, rounded.
int ScaledHeight(int width, int height, int to_width);
// The picture shrunk to `to_width` pixels wide (Cairo, averaging filter), or as
// it is when that is not smaller.
Image ScaleToWidth(const Image& img, int to_width);
// Lossless WebP of the picture.
Result<Bytes> EncodeWebp(const Image& img);
// Cairo's and libwebp's versions: they decide a preview's and a WebP's bytes.
std::string PictureLibraries();
std::string HtmlEscape(std::string_view text);
// Whether an If-None-Match header names the strong ETag ("*" names every one).
bool EtagMatches(std::string_view if_none_match, std::string_view etag);
// The client a request is counted against: `peer`, or when `peer` is one of the
// trusted proxies, the last address in its X-Forwarded-For (the one the proxy
// saw). A proxy on the Unix socket has the peer "unix".
std::string ClientOf(const std::string& peer, std::string_view forwarded_for, const std::vector<std::string>& trusted);
// Text for a log line: control characters and bytes beyond ASCII as \xNN, cut at 200.
std::string LogText(std::string_view text);

// Turns a made card into one output's bytes, exactly as `mirelune-cli card` writes
// them, with `picture` (the card's image, shrunk when a size was asked) for the
// card's image (the front end gives it; it is called from several threads at
// once, `png_rows` the calling thread's own, for EncodePng). WebP is encoded here
// and never asked of it.
using CardWriter = std::function<Result<Bytes>(const CardSpec& spec, const Card& card, const Image& picture,
                                               Output o, PixelBuffer& png_rows)>;

struct Request {
  std::string method;
  std::string path;  // as sent: percent-encoded

  Args args;
  std::string if_none_match;
};

struct Response {
  int status = 200;
  std::string type = "text/plain; charset=utf-8";
  Body body;
  Headers headers;  // beyond the security headers every answer has
};
Response TextResponse(int status, std::string text);

struct CardJob {
  CardQuery query;
  Output output = Output::kPng;
  std::string etag;  // with its quotes
  Headers headers;   // CardHeaders, and Content-Disposition when a download was asked
};

struct Route {
  std::optional<Response> now;
  std::optional<CardJob> job;
};

// The headers of every answer: CSP without inline script, no framing, no sniffing,
// no referrer.
const Headers& SecurityHeaders();
// The headers of a card's answer: its ETag, cached for a year.
Headers CardHeaders(const std::string& etag);
Headers CardHeaders(const CardJob& job);

class Site {
 public:
  // `identity` is what else decides a card's bytes: the program's version, the
  // face files and the text libraries (FaceIdentity). `now` gives the time for
  // the year's default.
  Site(
      std::string identity, CardWriter writer, std::function<std::time_t()> now = [] { return std::time(nullptr); });
  Route Handle(const Request& r) const;
  // Makes the card with the calling thread's faces, a card of the screen's size
  // in its memory (a larger one's is not kept); the response for the job (200
  // with the bytes, or 500).
  Response Make(const CardJob& job, Fonts& fonts, CardMemory& memory) const;
  std::string EtagOf(const CardQuery& q, Output o) const;

 private:
  Response Page(int status, const CardQuery* shown, const Args& typed, const std::string& error) const;
  std::string identity_;
  CardWriter writer_;
  std::function<std::time_t()> now_;
  // A printed page is a card drawn three times larger (about 200 MiB while it is
  // made): one at a time, and given up after kLargeCardSeconds, so that a burst of
  // them costs the server one large card's memory and no card thread for long. An
  // animation takes a still card's memory and two to three times its time: it is
  // given up after as long.
  mutable std::mutex large_card_;
  mutable std::mutex gif_quantiser_;  // giflib's quantiser, for one GIF at a time (files/animation.h)
};
inline constexpr int kLargeCardSeconds = 30;

// The face files a card may be drawn with, as they are on this machine: the two
// faces every card uses by content (SHA-256), the fallback faces (well over
// 100 MB) by size and modification time, and the FreeType and HarfBuzz versions.
std::string FaceIdentity();

// --- the server ---
struct ServeOptions {
  std::string listen = "127.0.0.1:8080";     // ADDR:PORT, [V6]:PORT or unix:PATH
  int jobs = 1;                              // threads making cards
  int http_threads = 1;                      // threads reading requests and sending answers (epoll each)
  int queue = 64;                            // cards waiting for a thread; past it 503
  int cache_mib = 64;                        // MiB of encoded cards kept in memory (about 170 PNG cards)
  int rate_per_minute = 0;                   // cards made per client a minute; 0 no limit
  std::vector<std::string> trusted_proxies;  // addresses, or "unix" for the socket
  bool allow_root = false;
  int timeout_s = 10;  // the whole request head must arrive within this; an idle connection is closed after it
  int max_connections = 2048;
  int max_per_client = 32;  // open connections from one address (IPv6: one /64); proxies are not capped
};
// Runs until SIGTERM or SIGINT: then refuses new cards, finishes those under way
// and returns 0. Fails (exit 1) when it cannot start.
Result<int> Serve(const ServeOptions& o, const Site& site);
// ListenOn, the listening socket alone, is in web/net.h.

}  // namespace mirelune::web
