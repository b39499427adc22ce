// The web front end: its rules alone, then a real `mirelune-cli serve` on a
// socket, checked against `mirelune-cli card` and hostile requests.
#include <arpa/inet.h>
#include <curl/curl.h>
#include <gtest/gtest.h>
#include <png.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <webp/decode.h>
#include <webp/demux.h>

#include <filesystem>
#include <fstream>
#include <thread>

#include "web/limits.h"
#include "web/net.h"
#include "web/web.h"

namespace mirelune::web {
namespace {

TEST(WebRules, IfNoneMatchAndTheClientBehindAProxy) {
  struct EtagCase {
    const char* header;
    bool match;
  };
  for (const EtagCase& c : std::vector<EtagCase>{{"\"e1\"", true},
                                                 {"W/\"e1\"", true},
                                                 {"\"x\", \"e1\"", true},
                                                 {"*", true},
                                                 {"\"e1", false},
                                                 {"e1", false},
                                                 {"", false},
                                                 {"\"e\", \"e10\"", false},
                                                 {"\"x\" garbage \"e1\"", false}})
    EXPECT_EQ(EtagMatches(c.header, "\"e1\""), c.match) << c.header;
  struct ClientCase {
    const char *peer, *forwarded, *client;
  };
  const std::vector<std::string> trusted{"10.0.0.1", "unix"};
  for (const ClientCase& c : std::vector<ClientCase>{{"10.0.0.9", "1.2.3.4", "10.0.0.9"},  // not a proxy: ignored
                                                     {"10.0.0.1", "1.2.3.4", "1.2.3.4"},
                                                     {"10.0.0.1", "6.6.6.6, 1.2.3.4", "1.2.3.4"},  // the proxy's own
                                                     {"unix", " ::1 ", "::1"},
                                                     {"10.0.0.1", "", "10.0.0.1"},
                                                     {"10.0.0.1", "1.2.3.4, evil\r\nX: y", "10.0.0.1"}})
    EXPECT_EQ(ClientOf(c.peer, c.forwarded, trusted), c.client) << c.peer << " " << c.forwarded;
  EXPECT_EQ(ComingYear(1790812799), 2026);  // 2026-09-30 23:59:59 UTC
  EXPECT_EQ(ComingYear(1790812800), 2027);  // 2026-10-01
  EXPECT_EQ(LogText("a b\n\x1b[31m\xff"), "a\\x20b\\x0a\\x1b[31m\\xff");
}

// The head is judged from the bytes so far: incomplete until its blank line,
// refused as soon as it cannot be a head we answer, accepted with its length.
TEST(WebRules, RequestHeadIsJudgedAsItArrives) {
  const std::string head = "GET /card.png?friend=a HTTP/1.1\r\nHost: x\r\nAccept: */*\r\n\r\n";
  for (std::size_t n = 0; n < head.size(); ++n)
    EXPECT_EQ(CheckRequestHead(head.substr(0, n)).verdict, HeadVerdict::kIncomplete) << n;
  const HeadCheck whole = CheckRequestHead(head + "GET /next");  // a pipelined second request is not read
  EXPECT_EQ(whole.verdict, HeadVerdict::kAccept);
  EXPECT_EQ(whole.head_size, head.size());
  EXPECT_EQ(CheckRequestHead("GET / HTTP/1.0\n\n").verdict, HeadVerdict::kAccept);  // bare LF, no Host in 1.0
  EXPECT_EQ(CheckRequestHead(std::string_view("GET / HT\0", 9)).status, 400);  // refused before the head ends
  EXPECT_EQ(CheckRequestHead(std::string(kMaxRequestHead, 'G')).status, 431);
  const std::string at_limit = "GET / HTTP/1.1\r\nHost: x\r\nX: ";
  EXPECT_EQ(CheckRequestHead(at_limit + std::string(kMaxRequestHead - at_limit.size() - 4, 'a') + "\r\n\r\n").verdict,
            HeadVerdict::kAccept);
}

// Clients are counted by address, IPv6 by its /64, so one network cannot
// rotate through its addresses; the rate table forgets the quietest first.
TEST(WebRules, ClientGroupsAndTheBoundedRateTable) {
  EXPECT_EQ(ClientGroup("203.0.113.7"), "203.0.113.7");
  EXPECT_EQ(ClientGroup("2001:db8:1:2:aaaa:bbbb:cccc:dddd"), "2001:db8:1:2::/64");
  EXPECT_EQ(ClientGroup("2001:db8:1:2::1"), ClientGroup("2001:db8:1:2:ffff::9"));
  EXPECT_NE(ClientGroup("2001:db8:1:2::1"), ClientGroup("2001:db8:1:3::1"));
  EXPECT_EQ(ClientGroup("::ffff:198.51.100.1"), "198.51.100.1");
  EXPECT_EQ(ClientGroup("unix"), "unix");

  RateLimit rate(2, 3);  // two cards a minute, three clients kept
  EXPECT_EQ(rate.Take("a", 0), 0);
  EXPECT_EQ(rate.Take("a", 0), 0);
  EXPECT_EQ(rate.Take("a", 0), 30);  // half a minute to the next token
  EXPECT_EQ(rate.Take("a", 15), 15);
  EXPECT_EQ(rate.Take("a", 30), 0);
  EXPECT_EQ(rate.Take("b", 30), 0);
  EXPECT_EQ(rate.Take("c", 30), 0);
  EXPECT_EQ(rate.Take("a", 30), 30);  // "a" seen last: "b" is the quietest
  EXPECT_EQ(rate.Take("d", 30), 0);   // forgets "b" alone
  EXPECT_EQ(rate.Size(), 3u);
  EXPECT_EQ(rate.Take("a", 30), 30);  // still remembered, still waiting
}

TEST(WebRules, UnixSocketReplacesOnlyAStaleSocket) {
  const std::string dir = ::mkdtemp(std::string("/tmp/mirelune-sock-XXXXXX").data()), sock = dir + "/s";
  ::close(ListenOn("unix:" + sock).value());  // a server that died: its socket stays, no one answers
  ASSERT_EQ(::symlink("/etc/passwd", (dir + "/link").c_str()), 0);
  struct stat st {};
  for (const auto& [path, ok] :
       std::vector<std::pair<std::string, bool>>{{sock, true}, {sock, false}, {dir + "/link", false}}) {
    const Result<int> fd = ListenOn("unix:" + path);
    EXPECT_EQ(bool(fd), ok) << path;  // the second: a live server's; the link: never followed nor removed
    EXPECT_TRUE(!ok || (::lstat(path.c_str(), &st) == 0 && (st.st_mode & 0777) == 0660));
  }
  std::filesystem::remove_all(dir);
}

// A share link reads back to the names it was made of, whatever they hold; a
// download's name is the command line's, with the names as typed beside it.
TEST(WebRules, ShareLinksDownloadNamesAndDecoding) {
  for (const auto& [friend_name, sender] : std::vector<std::pair<std::string, std::string>>{
           {"Mary", "Bob"}, {"A/B", "50% off"}, {"..", "?x=1#y"}, {"Zo\xC3\xAB & Jo", "\xE6\x9D\x8E"}}) {
    CardQuery q;
    q.card.friend_name = friend_name;
    q.card.sender = sender;
    q.card.year = 2027;
    q.card.palette = 3;
    const std::string link = ShareLink(q);
    const std::size_t query = link.find('?');
    ASSERT_EQ(link.substr(query), "?palette=3") << link;
    EXPECT_EQ(ShareLinkArgs(link.substr(0, query)),
              (Args{{"friend", friend_name}, {"sender", sender}, {"year", "2027"}}))
        << link;
  }
  EXPECT_EQ(ShareLink(ParseCardQuery({{"friend", "Mary"}, {"sender", "Bob"}}, 2027).value()), "/card/Mary/Bob/2027");
  for (const char* path : {"/card/a/b", "/card/a/b/2027/", "/card/a/b/c/d", "/card/%zz/b/2027", "/card/a/b/%4",
                           "/cardx/a/b/2027", "/card"})
    EXPECT_FALSE(ShareLinkArgs(path)) << path;
  EXPECT_EQ(QueryDecode("a+b%2B%zz%4%e6%9D%8e"), "a b+%zz%4\xE6\x9D\x8E");
  EXPECT_EQ(ContentDisposition("a\"b\r\nX: y", "..\\/", "png"), "attachment; filename=\"a_b_X_y-from-_.png\"");
  // The palette table's blue 1143 is clamped, as every card clamps it.
  EXPECT_NE(PaletteStyles().find(".palette-3{background:linear-gradient(90deg,#00377a 0% 10%,#0054ff 10% 20%,"),
            std::string::npos);
}

// --- a real server ---
struct Answer {
  long status = 0;
  std::string headers, body;
};

size_t Append(char* data, size_t size, size_t n, void* to) {
  static_cast<std::string*>(to)->append(data, size * n);
  return size * n;
}

Answer Get(int port, const std::string& target, const std::vector<std::string>& headers = {}) {
  Answer a;
  CURL* curl = curl_easy_init();
  curl_slist* list = nullptr;
  for (const std::string& h : headers) list = curl_slist_append(list, h.c_str());
  const std::string url = "http://127.0.0.1:" + std::to_string(port) + target;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, list);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, 60L);
  curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, Append);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &a.body);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, Append);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, &a.headers);
  if (curl_easy_perform(curl) == CURLE_OK) curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &a.status);
  curl_slist_free_all(list);
  curl_easy_cleanup(curl);
  return a;
}

// Bytes as they are, on a plain socket; the answer up to the server's close (5 s at most).
// The answer to raw bytes; with `hang_up`, none: the client closes as soon as it has sent them.
std::string Raw(int port, const std::string& request, bool hang_up = false) {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<std::uint16_t>(port));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  const timeval five{5, 0};
  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &five, sizeof five);
  std::string answer;
  if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 &&
      ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) >= 0 && !hang_up) {
    char buffer[4096];
    for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return answer;
}

// A child process; its stdout (or stderr) read through a pipe.
struct Child {
  pid_t pid = -1;
  int out = -1;
};
Child Spawn(std::vector<std::string> args, int which_fd) {
  int p[2];
  if (::pipe(p) != 0) return {};
  Child c{::fork(), p[0]};
  if (c.pid == 0) {
    ::dup2(p[1], which_fd);
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(p[1]);
  return c;
}
std::string ReadAll(int fd) {
  std::string text;
  char buffer[65536];
  pollfd p{fd, POLLIN, 0};
  while (::poll(&p, 1, 60000) > 0) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) break;
    text.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return text;
}
int Wait(pid_t pid) {  // the exit status; killed after 30 s
  int status = 0;
  for (int k = 0; k < 300 && ::waitpid(pid, &status, WNOHANG) == 0; ++k) ::usleep(100000);
  if (::waitpid(pid, &status, WNOHANG) == 0 && ::kill(pid, SIGKILL) == 0) ::waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

struct Server {
  Child child;
  int port = 0;
  explicit Server(std::vector<std::string> options) {
    std::vector<std::string> args{MIRELUNE_CLI, "serve", "--allow-root", "--listen", "127.0.0.1:0"};
    args.insert(args.end(), options.begin(), options.end());
    child = Spawn(args, 2);
    std::string line;
    char ch;
    pollfd p{child.out, POLLIN, 0};
    while (line.find('\n') == std::string::npos && ::poll(&p, 1, 20000) > 0 && ::read(child.out, &ch, 1) == 1)
      line += ch;
    const std::size_t colon = line.rfind(':', line.find(" with "));
    if (line.find("serving on") != std::string::npos) port = std::atoi(line.c_str() + colon + 1);
  }
  int Stop() {  // SIGTERM; the exit status
    ::kill(child.pid, SIGTERM);
    std::thread([fd = child.out] { ReadAll(fd); }).detach();
    return Wait(child.pid);
  }
};

TEST(WebServer, AnswersAsTheCommandLineDoes) {
  Server server({"--jobs", "2"});
  ASSERT_GT(server.port, 0);
  // Each case: the query, and the `card` options that make the same card.
  struct Case {
    std::string path, query;
    std::vector<std::string> cli;
  };
  const std::string hundred_and_one(101, 'a');
  const std::vector<Case> cases{
      {"/card.png", "friend=Mary&sender=Bob", {"--friend", "Mary", "--sender", "Bob", "--out", "-"}},
      {"/card.jpg",
       "friend=Zo%C3%AB+%26+Jo&sender=%E6%9D%8E&year=2027&mode=pix&palette=3&max-styles=24",
       {"--friend", "Zoë & Jo", "--sender", "李", "--year", "2027", "--mode", "pix", "--palette", "3", "--max-styles",
        "24", "--out", "-", "--format", "jpg"}},
      {"/card.bmp", "sender=Bob&friend=+", {"--friend", " ", "--sender", "Bob", "--format", "bmp"}},
      {"/report.json",
       "friend=Mary&sender=Bob&palette=7",
       {"--friend", "Mary", "--sender", "Bob", "--palette", "7", "--report", "-", "--out", "/dev/null"}},
      {"/card.png", "friend=Mary&sender=Bob&palette=30", {"--friend", "Mary", "--sender", "Bob", "--palette", "30"}},
      {"/card.png", "friend=" + hundred_and_one + "&sender=B", {"--friend", hundred_and_one, "--sender", "B"}},
      {"/card.png", "friend=%FF&sender=B", {"--friend", "\xff", "--sender", "B"}},
      {"/card.png", "friend=A&sender=B&year=0x10", {"--friend", "A", "--sender", "B", "--year", "0x10"}},
      {"/card.png", "friend=A&sender=B&mode=dots", {"--friend", "A", "--sender", "B", "--mode", "dots"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args{MIRELUNE_CLI, "card"};
    args.insert(args.end(), c.cli.begin(), c.cli.end());
    const bool to_stdout = std::find(c.cli.begin(), c.cli.end(), "-") != c.cli.end();
    Child cli = Spawn(args, to_stdout ? 1 : 2);
    std::string expected = ReadAll(cli.out);
    const int status = Wait(cli.pid);
    const Answer a = Get(server.port, c.path + "?" + c.query);
    if (status == 0) {
      EXPECT_EQ(a.status, 200) << c.query;
      EXPECT_TRUE(a.body == expected) << c.query << ": not the bytes `card` writes";
    } else {  // the command line's message: "mirelune-cli: MESSAGE\nTry ..."
      expected = expected.substr(14, expected.find('\n') - 14);
      EXPECT_EQ(a.status, 400) << c.query;
      EXPECT_EQ(a.body, expected + "\n") << c.query;
    }
  }
  // The same card again: from the cache, 304 when the browser has it.
  const Answer first = Get(server.port, "/card.png?friend=Mary&sender=Bob");
  const std::size_t at = first.headers.find("ETag: ");
  ASSERT_NE(at, std::string::npos);
  const std::string etag = first.headers.substr(at + 6, first.headers.find('\r', at) - at - 6);
  EXPECT_NE(first.headers.find("Cache-Control: public, max-age=31536000, immutable"), std::string::npos);
  const Answer again = Get(server.port, "/card.png?sender=Bob&friend=Mary", {"If-None-Match: W/\"x\", " + etag});
  EXPECT_EQ(again.status, 304);
  EXPECT_EQ(again.body, "");
  EXPECT_EQ(Get(server.port, "/card.jpg?friend=Mary&sender=Bob", {"If-None-Match: " + etag}).status, 200);
  const Answer metrics = Get(server.port, "/metrics");
  EXPECT_NE(metrics.body.find("mirelune_cache_hits_total 1\n"), std::string::npos) << metrics.body;
  EXPECT_NE(metrics.body.find("mirelune_requests_total{status=\"304\"} 1\n"), std::string::npos);
  EXPECT_EQ(server.Stop(), 0);
}

std::string HeaderValue(const Answer& a, const std::string& name) {
  const std::size_t at = a.headers.find("\n" + name + ": ");
  if (at == std::string::npos) return "";
  const std::size_t from = at + name.size() + 3;
  return a.headers.substr(from, a.headers.find('\r', from) - from);
}

// RGB bytes of a PNG, read by libpng.
std::vector<std::uint8_t> PngPixels(const std::string& bytes, int* w, int* h) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return {};
  image.format = PNG_FORMAT_RGB;
  std::vector<std::uint8_t> rgb(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, rgb.data(), 0, nullptr)) return {};
  *w = static_cast<int>(image.width);
  *h = static_cast<int>(image.height);
  return rgb;
}

TEST(WebServer, PreviewsWebpAndDownloads) {
  Server server({"--jobs", "2"});
  ASSERT_GT(server.port, 0);
  int w = 0, h = 0;
  const Answer full = Get(server.port, "/card.png?friend=Mary&sender=Bob&year=2027");
  const std::vector<std::uint8_t> png = PngPixels(full.body, &w, &h);
  ASSERT_EQ(w, 896);
  ASSERT_EQ(h, 671);
  const Answer small = Get(server.port, "/card.png?friend=Mary&sender=Bob&year=2027&size=450");
  ASSERT_EQ(small.status, 200);
  EXPECT_EQ(PngPixels(small.body, &w, &h).size(), 450u * 337u * 3u);
  EXPECT_EQ(w, 450);
  EXPECT_NE(HeaderValue(small, "ETag"), HeaderValue(full, "ETag"));
  for (const char* size : {"15", "3585", "450px", "-450"}) {
    const Answer bad = Get(server.port, std::string("/card.png?friend=Mary&sender=Bob&size=") + size);
    EXPECT_EQ(bad.status, 400) << size;
    EXPECT_EQ(bad.body, "size: the card's width in pixels, a whole number from 16 to 3584, not \"" + std::string(size) +
                            "\"\n");
  }
  // Past the card's own width: the card drawn larger, as `card --scale 2` writes it.
  Child twice = Spawn({MIRELUNE_CLI, "card", "--friend", "Mary", "--sender", "Bob", "--year", "2027", "--scale", "2",
                       "--out", "-"}, 1);
  const std::string large = ReadAll(twice.out);
  EXPECT_EQ(Wait(twice.pid), 0);
  EXPECT_TRUE(Get(server.port, "/card.png?friend=Mary&sender=Bob&year=2027&size=1792").body == large);
  const Answer webp = Get(server.port, "/card.webp?friend=Mary&sender=Bob&year=2027");
  ASSERT_EQ(webp.status, 200);
  EXPECT_EQ(HeaderValue(webp, "Content-Type"), "image/webp");
  ASSERT_GT(webp.body.size(), 12u);
  EXPECT_EQ(webp.body.substr(0, 4), "RIFF");
  EXPECT_EQ(webp.body.substr(8, 4), "WEBP");
  std::uint8_t* rgb = WebPDecodeRGB(reinterpret_cast<const std::uint8_t*>(webp.body.data()), webp.body.size(), &w, &h);
  ASSERT_NE(rgb, nullptr);
  EXPECT_EQ(w, 896);
  EXPECT_TRUE(std::equal(png.begin(), png.end(), rgb)) << "the WebP's pixels are not the PNG's";
  WebPFree(rgb);
  // Named after the names when asked, from the cache too; a report is .json.
  struct Case {
    std::string target, disposition;
  };
  for (const Case& c : std::vector<Case>{
           {"/card.png?friend=Mary&sender=Bob&year=2027&download=1", "attachment; filename=\"Mary-from-Bob.png\""},
           {"/card.png?friend=Mary&sender=Bob&year=2027&download=1", "attachment; filename=\"Mary-from-Bob.png\""},
           {"/card.png?friend=Mary&sender=Bob&year=2027", ""},
           {"/card.bmp?friend=Zo%C3%AB&sender=%E6%9D%8E&download=1",
            "attachment; filename=\"Zoe-from-_.bmp\"; filename*=UTF-8''Zo%C3%AB-from-%E6%9D%8E.bmp"},
           {"/report.json?friend=Mary&sender=Bob&download=1", "attachment; filename=\"Mary-from-Bob.json\""}}) {
    const Answer a = Get(server.port, c.target);
    EXPECT_EQ(a.status, 200) << c.target;
    EXPECT_EQ(HeaderValue(a, "Content-Disposition"), c.disposition) << c.target;
  }
  EXPECT_EQ(Get(server.port, "/card.png?friend=Mary&sender=Bob&download=yes").status, 400);
  // A printed page: the command line's A6 page unless told, only as PDF.
  const Answer pdf = Get(server.port, "/card.pdf?friend=Mary&sender=Bob&print=5x7&download=1");
  EXPECT_EQ(std::pair(pdf.status, HeaderValue(pdf, "Content-Type")), std::pair(200L, std::string("application/pdf")));
  EXPECT_EQ(pdf.body.substr(0, 5), "%PDF-");
  EXPECT_EQ(HeaderValue(pdf, "Content-Disposition"), "attachment; filename=\"Mary-from-Bob.pdf\"");
  // The card painting itself, 450 pixels wide unless told: the command line's animation.
  const Answer gif = Get(server.port, "/card.gif?friend=Mary&sender=Bob&year=2017"),
               moving = Get(server.port, "/card.webp?friend=Mary&sender=Bob&year=2017&animate=1&size=896");
  const std::string dir = ::mkdtemp(std::string("/tmp/mirelune-gif-XXXXXX").data()), file = dir + "/m.gif";
  Child cli = Spawn({MIRELUNE_CLI, "card", "--friend", "Mary", "--sender", "Bob", "--year", "2017", "--animate", file}, 2);
  ReadAll(cli.out);
  EXPECT_EQ(Wait(cli.pid), 0);
  std::ifstream made(file, std::ios::binary);
  EXPECT_EQ(std::pair(gif.status, HeaderValue(gif, "Content-Type")), std::pair(200L, std::string("image/gif")));
  EXPECT_TRUE(gif.body == std::string(std::istreambuf_iterator<char>(made), {})) << "not the GIF `card --animate` writes";
  std::filesystem::remove_all(dir);
  WebPData data{reinterpret_cast<const std::uint8_t*>(moving.body.data()), moving.body.size()};
  WebPAnimDecoderOptions options;
  WebPAnimDecoderOptionsInit(&options);
  WebPAnimDecoder* decoder = WebPAnimDecoderNew(&data, &options);
  WebPAnimInfo info{};
  EXPECT_TRUE(decoder && WebPAnimDecoderGetInfo(decoder, &info) && info.canvas_width == 896 && info.frame_count >= 24);
  WebPAnimDecoderDelete(decoder);
  for (const char* bad : {"/card.pdf?friend=Mary&sender=Bob&print=a4", "/card.png?friend=Mary&sender=Bob&print=a6",
                          "/card.pdf?friend=Mary&sender=Bob&size=450", "/card.gif?friend=Mary&sender=Bob&animate=0",
                          "/card.png?friend=Mary&sender=Bob&animate=1"})
    EXPECT_EQ(Get(server.port, bad).status, 400) << bad;
  EXPECT_EQ(server.Stop(), 0);
}

// /card/FRIEND/SENDER/YEAR is the page with that card; a part is a name, never
// a path; a link that is not of that shape is not a card.
TEST(WebServer, ReadableShareLinks) {
  Server server({"--jobs", "1"});
  ASSERT_GT(server.port, 0);
  struct Case {
    std::string target;
    int status;
    std::string present, absent;
  };
  const std::vector<Case> cases{
      {"/card/Mary/Bob/2027", 200, "<img id=\"card\" src=\"/card.png?friend=Mary&amp;sender=Bob&amp;year=2027\"", ""},
      {"/card/Mary/Bob/2027", 200, "<a id=\"share-link\" href=\"/card/Mary/Bob/2027\"", ""},
      {"/card/Mary/Bob/2027", 200, "download=\"Mary-from-Bob.png\"", ""},
      {"/card/A%2FB/Bob/2027?palette=3", 200, "href=\"/card/A%2FB/Bob/2027?palette=3\"", ""},
      {"/card/A%2FB/Bob/2027?palette=3", 200, "value=\"A/B\"", ""},
      {"/card/Zo%C3%AB/%E6%9D%8E/2027", 200, "alt=\"dear Zo\xC3\xAB, I wish you a happy new year 2027! \xE6\x9D\x8E", ""},
      {"/card/../Bob/2027", 200, "value=\"..\"", "root:"},
      {"/card/../../etc/passwd", 404, "", "root:"},
      {"/card/..%2F..%2Fetc/passwd/2027", 200, "value=\"../../etc\"", "root:"},
      {"/card/Mary/Bob", 404, "/card/FRIEND/SENDER/YEAR", ""},
      {"/card/Mary/Bob/2027/more", 404, "", "<img"},
      {"/card/%zz/Bob/2027", 404, "", ""},
      {"/card/Mary/Bob/2027?friend=Ann", 400, "given more than once", "<img id=\"card\" src=\"/card.png"},
      {"/card/Mary/Bob/year", 400, "Please type a year from 1 to 9999.", ""},
      {"/card/%20/Bob/2027", 400, "<p id=\"friend-error\" class=\"field-error\">Please type your friend&#39;s name.</p>", ""},
      {"/card/" + std::string(3000, 'a') + "/Bob/2027", 400, "Please shorten the name to 100 characters or fewer.", ""},
      {"/card/%3Cscript%3E/Bob/2027", 200, "&lt;script&gt;", "<script>"},
      {"/card/Mary%0d%0aX-Evil:%201/Bob/2027", 200, "", "X-Evil: 1\r\n"},
      {"/card/" + std::string(9000, 'a') + "/Bob/2027", 431, "", "<img"},
  };
  for (const Case& c : cases) {
    const Answer a = Get(server.port, c.target);
    const std::string whole = a.headers + a.body;
    EXPECT_EQ(a.status, c.status) << c.target.substr(0, 80);
    EXPECT_NE(whole.find(c.present), std::string::npos) << c.target.substr(0, 80) << "\n" << a.body.substr(0, 3000);
    if (!c.absent.empty()) {
      EXPECT_EQ(whole.find(c.absent), std::string::npos) << c.target.substr(0, 80);
    }
  }
  // %00 never reaches the site: the front door refuses it.
  EXPECT_EQ(Raw(server.port, "GET /card/a%00/Bob/2027 HTTP/1.1\r\nHost: x\r\n\r\n").substr(0, 12), "HTTP/1.1 400");
  // A blank name makes no card; the API keeps its message.
  const Answer blank = Get(server.port, "/card.png?friend=%20%20&sender=Bob");
  EXPECT_EQ(blank.status, 400);
  EXPECT_EQ(blank.body, "--friend: has only blanks; a greeting needs both names\n");
  EXPECT_EQ(Get(server.port, "/card.png?sender=Bob").status, 400);
  const Answer css = Get(server.port, "/palettes.css");
  EXPECT_EQ(HeaderValue(css, "Content-Type"), "text/css; charset=utf-8");
  EXPECT_EQ(css.body, PaletteStyles());
  EXPECT_EQ(server.Stop(), 0);
}

TEST(WebServer, RefusesHostileRequests) {
  Server server({"--jobs", "1"});
  ASSERT_GT(server.port, 0);
  struct Case {
    std::string request;  // raw bytes, or a path for libcurl when it starts with '/'
    int status;
    std::string absent;  // in the whole answer
  };
  const std::string big(20000, 'a');
  const std::vector<Case> cases{
      {"/../../../etc/passwd", 404, "root:"},
      {"/%2e%2e/%2e%2e/etc/passwd", 404, "/etc"},
      {"/card.png/../../etc/passwd", 404, "root:"},
      {"/app.js/..%2f..%2fsrc", 404, ".."},
      {"/card?friend=Mary%0d%0aSet-Cookie:%20a=1&sender=%3Cscript%3Ealert(1)%3C/script%3E", 200, "Set-Cookie: a=1\r\n"},
      {"/card?friend=x&sender=%3Cscript%3Ealert(1)%3C/script%3E", 200, "<script>alert"},
      {"/card?friend=%22%3E%3Cimg%20src=x%3E&sender=B", 200, "<img src=x>"},
      {"/card?friend=x&sender=%3Cscript%3E&palette=99", 400, "<script>"},
      {"/card?friend=%7B%7Bpng%7D%7D&sender=b", 200, "value=\"/card.png"},  // a name is never a marker
      {"/card.png?friend=a%0d%0aX-Evil:%201&sender=b&year=%0d%0aX-Evil:1", 400, "X-Evil: 1"},
      {"/card.png?friend=a&sender=b&friend=c", 400, "image/png"},
      {"/card.png?friend=a&sender=b&path=/etc/passwd", 400, "root:"},
      // Heads are checked before the HTTP library reads them: over 8 KiB, 431.
      {"GET /card.png?friend=" + big + " HTTP/1.1\r\nHost: x\r\n\r\n", 431, "image/png"},
      {"GET / HTTP/1.1\r\nHost: x\r\nX-Big: " + big + "\r\n\r\n", 431, "text/html"},
      {"GET / HTTP/1.1\r\n\r\n", 400, "text/html"},  // no Host
      {"HELLO\r\n\r\n", 400, "text/html"},
      {"GET /\x01\x02 HTTP/1.1\r\nHost: x\r\n\r\n", 400, "\x01"},
      {"GET /card.png%00.txt?friend=a&sender=b HTTP/1.1\r\nHost: x\r\n\r\n", 400, "image/png"},
      {"GET / HTTP/2.0\r\nHost: x\r\n\r\n", 505, "text/html"},
      {"GET / HTTP/1.1\r\nHost: x\r\nX-A: 1\r\n folded\r\n\r\n", 400, "text/html"},
      // Framing two parsers could read two ways (a proxy and this server) is refused.
      {"GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 0\r\nContent-Length: 5\r\n\r\n", 400, "text/html"},
      {"GET / HTTP/1.1\r\nHost: x\r\nContent-Length: 3\r\nTransfer-Encoding: chunked\r\n\r\nabc", 400, "html"},
      {"GET / HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: foo\r\n\r\n", 400, "text/html"},
      {"GET / HTTP/1.1\r\nHost: x\r\nHost: y\r\n\r\n", 400, "text/html"},
      {"POST /card.png?friend=a&sender=b HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\n\r\nhello", 405,
       "image/png"},
  };
  for (const Case& c : cases) {
    std::string whole;
    long status = 0;
    if (c.request[0] == '/') {
      const Answer a = Get(server.port, c.request);
      whole = a.headers + a.body;
      status = a.status;
    } else {
      whole = Raw(server.port, c.request);
      status = whole.size() > 12 ? std::atoi(whole.c_str() + 9) : 0;
    }
    EXPECT_EQ(status, c.status) << c.request.substr(0, 80);
    EXPECT_EQ(whole.find(c.absent), std::string::npos) << c.request.substr(0, 80) << "\n" << whole.substr(0, 2000);
    EXPECT_NE(whole.find("default-src 'self'"), std::string::npos) << c.request.substr(0, 80);  // every answer
    EXPECT_TRUE(status == 200 || whole.find("Connection: close") != std::string::npos);
  }
  // The server is still there for a normal client.
  EXPECT_EQ(Get(server.port, "/healthz").status, 200);
  EXPECT_EQ(server.Stop(), 0);
}

// Six different cards at once to one card thread with one place in the queue:
// each gets its card or a 503 with Retry-After, none is left hanging. A card
// under way when SIGTERM comes is still sent.
TEST(WebServer, FullQueueRefusesAndStopFinishesTheCardsUnderWay) {
  Server server({"--jobs", "1", "--queue", "1"});
  ASSERT_GT(server.port, 0);
  std::vector<Answer> answers(6);
  std::vector<std::thread> clients;
  for (int k = 0; k < 6; ++k)
    clients.emplace_back(
        [&, k] { answers[k] = Get(server.port, "/card.png?mode=pix&sender=B&friend=" + std::to_string(k)); });
  for (std::thread& t : clients) t.join();
  int made = 0, refused = 0;
  for (const Answer& a : answers) {
    made += a.status == 200;
    refused += a.status == 503 && a.headers.find("Retry-After: 1") != std::string::npos;
  }
  EXPECT_EQ(made + refused, 6);
  EXPECT_GE(made, 1);
  EXPECT_GE(refused, 1);
  Answer late;
  std::thread client([&] { late = Get(server.port, "/card.png?mode=pix&friend=late&sender=B"); });
  ::usleep(30000);
  EXPECT_EQ(server.Stop(), 0);
  client.join();
  EXPECT_EQ(late.status, 200);
  EXPECT_GT(late.body.size(), 1000u);
}

// Clients that asked for new cards and left at once: their cards are not made
// (the one card thread is free for the client who waits).
TEST(WebServer, ACardWhoseClientHasGoneIsNotMade) {
  Server server({"--jobs", "1"});
  ASSERT_GT(server.port, 0);
  for (int k = 0; k < 3; ++k)
    Raw(server.port, "GET /card.png?mode=pix&sender=B&friend=gone" + std::to_string(k) + " HTTP/1.1\r\nHost: x\r\n\r\n",
        /*hang_up=*/true);
  EXPECT_EQ(Get(server.port, "/card.png?mode=pix&sender=B&friend=stays").status, 200);
  const std::string metrics = Get(server.port, "/metrics").body;
  EXPECT_NE(metrics.find("mirelune_cards_made_total 1\n"), std::string::npos) << metrics;
  EXPECT_EQ(server.Stop(), 0);
}

TEST(WebServer, RateLimitCountsTheForwardedClientOnlyFromATrustedProxy) {
  struct Case {
    std::vector<std::string> options;
    std::vector<int> statuses;  // for X-Forwarded-For 1.1.1.1, 1.1.1.1, 2.2.2.2
  };
  for (const Case& c : std::vector<Case>{{{"--rate", "1/min", "--trusted-proxy", "127.0.0.1"}, {200, 429, 200}},
                                         {{"--rate", "1/min"}, {200, 429, 429}}}) {
    Server server(c.options);
    ASSERT_GT(server.port, 0);
    const char* clients[] = {"1.1.1.1", "1.1.1.1", "2.2.2.2"};
    for (int k = 0; k < 3; ++k)
      EXPECT_EQ(Get(server.port, "/card.bmp?friend=r" + std::to_string(k) + "&sender=s",
                    {std::string("X-Forwarded-For: 9.9.9.9, ") + clients[k]})
                    .status,
                c.statuses[k])
          << c.options.size() << " " << k;
    EXPECT_EQ(server.Stop(), 0);
  }
}

}  // namespace
}  // namespace mirelune::web
