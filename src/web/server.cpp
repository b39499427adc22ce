// server.cpp — the HTTP side of `serve`, on libmicrohttpd: one epoll thread
// reads requests and writes answers and never makes a card; a card to make
// suspends its connection and goes to a bounded queue before a fixed pool of
// card threads, which resume the connection with the answer. Finished cards are
// kept, encoded, in a cache bounded in bytes.
#include <arpa/inet.h>
#include <fcntl.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <list>
#include <map>
#include <mutex>
#include <thread>
#include <unordered_map>

#include "web/web.h"

namespace mirelune::web {
namespace {

using Clock = std::chrono::steady_clock;

std::string SystemError(const std::string& what) { return what + ": " + std::strerror(errno); }

std::string HeaderOf(MHD_Connection* c, const char* name) {
  const char* value = MHD_lookup_connection_value(c, MHD_HEADER_KIND, name);
  return value ? value : "";
}

// A cached card: its bytes in a sealed memory file, which the kernel sends
// (sendfile) without copying them through the server; the bytes themselves
// when no memory file can be made.
struct Cached {
  Body bytes;
  int fd = -1;
  std::size_t size = 0;
  ~Cached() {
    if (fd >= 0) ::close(fd);
  }
};

std::shared_ptr<const Cached> MakeCached(const Body& body) {
  auto c = std::make_shared<Cached>();
  c->size = body->size();
  c->fd = ::memfd_create("mirelune-card", MFD_CLOEXEC | MFD_ALLOW_SEALING);
  std::size_t done = 0;
  while (c->fd >= 0 && done < body->size()) {
    const ssize_t n = ::write(c->fd, body->data() + done, body->size() - done);
    if (n <= 0) break;
    done += static_cast<std::size_t>(n);
  }
  if (c->fd >= 0 && done == body->size() &&
      ::fcntl(c->fd, F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) == 0)
    return c;
  if (c->fd >= 0) ::close(c->fd);
  c->fd = -1;
  c->bytes = body;
  return c;
}

// Encoded cards by ETag, the least recently used dropped first.
class Cache {
 public:
  using Entry = std::shared_ptr<const Cached>;
  explicit Cache(std::size_t limit) : limit_(limit) {}
  Entry Get(const std::string& key) {
    std::lock_guard lock(m_);
    const auto it = index_.find(key);
    if (it == index_.end()) return nullptr;
    order_.splice(order_.begin(), order_, it->second);
    return it->second->second;
  }
  void Put(const std::string& key, const Body& body) {
    if (body->size() > limit_) return;
    Entry entry = MakeCached(body);  // outside the lock: it copies the bytes
    std::lock_guard lock(m_);
    if (index_.count(key)) return;
    order_.emplace_front(key, std::move(entry));
    index_[key] = order_.begin();
    bytes_ += body->size();
    while (bytes_ > limit_) {
      bytes_ -= order_.back().second->size;
      index_.erase(order_.back().first);
      order_.pop_back();
    }
  }
  std::size_t Bytes() {
    std::lock_guard lock(m_);
    return bytes_;
  }

 private:
  std::mutex m_;
  std::size_t limit_, bytes_ = 0;
  std::list<std::pair<std::string, Entry>> order_;
  std::unordered_map<std::string, std::list<std::pair<std::string, Entry>>::iterator> index_;
};

// Cards a client may have made a minute: a bucket of `rate` tokens refilled
// evenly. Buckets that are full again are forgotten when the table grows.
class RateLimit {
 public:
  explicit RateLimit(int per_minute) : rate_(per_minute) {}
  // 0 when the client may have a card now, else the seconds until it may.
  int Take(const std::string& client) {
    if (rate_ <= 0) return 0;
    std::lock_guard lock(m_);
    const double now = std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
    if (buckets_.size() > kMaxClients) Forget(now);
    auto [it, fresh] = buckets_.try_emplace(client, Bucket{static_cast<double>(rate_), now});
    Bucket& b = it->second;
    b.tokens = std::min<double>(rate_, b.tokens + (now - b.when) * rate_ / 60.0);
    b.when = now;
    if (b.tokens >= 1) {
      b.tokens -= 1;
      return 0;
    }
    return static_cast<int>((1 - b.tokens) * 60.0 / rate_) + 1;
  }

 private:
  static constexpr std::size_t kMaxClients = 100000;
  struct Bucket {
    double tokens, when;
  };
  void Forget(double now) {
    for (auto it = buckets_.begin(); it != buckets_.end();)
      it = it->second.tokens + (now - it->second.when) * rate_ / 60.0 >= rate_ ? buckets_.erase(it) : std::next(it);
    if (buckets_.size() > kMaxClients) buckets_.clear();  // a flood of addresses: start afresh
  }
  int rate_;
  std::mutex m_;
  std::unordered_map<std::string, Bucket> buckets_;
};

// The figures /metrics shows.
struct Metrics {
  static constexpr std::array<int, 9> kStatuses{200, 304, 400, 404, 405, 429, 500, 503, 0};  // 0: any other
  static constexpr std::array<double, 9> kBuckets{0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10};
  std::array<std::atomic<long>, kStatuses.size()> requests{};
  std::atomic<long> cards{0}, hits{0}, misses{0}, rate_limited{0};
  std::array<std::atomic<long>, kBuckets.size() + 1> card_times{};
  std::atomic<long> card_micros{0};

  void Count(int status) {
    std::size_t k = 0;
    while (k + 1 < kStatuses.size() && kStatuses[k] != status) ++k;
    ++requests[k];
  }
  void Time(double seconds) {
    std::size_t k = 0;
    while (k < kBuckets.size() && seconds > kBuckets[k]) ++k;
    ++card_times[k];
    card_micros += static_cast<long>(seconds * 1e6);
  }
};

// One request, from its first call to its end.
struct Exchange {
  MHD_Connection* connection = nullptr;
  Clock::time_point start = Clock::now();
  std::string method, path, client;
  std::optional<CardJob> job;
  std::optional<Response> answer;  // from a card thread
  int status = 0;
  std::size_t bytes = 0;
  const char* source = "-";  // how a card was answered: made, cache, 304
};

class Server {
 public:
  Server(const ServeOptions& o, const Site& site)
      : o_(o), site_(site), cache_(static_cast<std::size_t>(o.cache_mib) << 20), rate_(o.rate_per_minute) {}
  Result<int> Run(int listen_fd, const sigset_t& stop_signals);

 private:
  static MHD_Result Access(void* self, MHD_Connection* c, const char* url, const char* method, const char*, const char*,
                           size_t* upload_size, void** state);
  static void Completed(void* self, MHD_Connection*, void** state, MHD_RequestTerminationCode);
  MHD_Result Answer(MHD_Connection* c, Exchange* x, const char* url, size_t* upload_size);
  MHD_Result Send(MHD_Connection* c, Exchange* x, const Response& r, const Cached* cached = nullptr);
  std::string Peer(MHD_Connection* c) const;
  std::string MetricsText();
  void Work();

  ServeOptions o_;
  const Site& site_;
  Cache cache_;
  RateLimit rate_;
  Metrics metrics_;
  std::atomic<bool> stopping_{false};
  std::atomic<long> card_exchanges_{0};  // requests with a card job not yet ended
  std::mutex m_;
  std::condition_variable work_, idle_;
  std::deque<Exchange*> queue_;
  int busy_ = 0;
  bool quit_ = false;
  bool unix_socket_ = false;
};

std::string Server::Peer(MHD_Connection* c) const {
  const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  if (unix_socket_ || !info || !info->client_addr) return "unix";
  char text[INET6_ADDRSTRLEN] = "?";
  const sockaddr* a = info->client_addr;
  if (a->sa_family == AF_INET)
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(a)->sin_addr, text, sizeof text);
  else if (a->sa_family == AF_INET6)
    ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(a)->sin6_addr, text, sizeof text);
  else
    return "unix";
  return text;
}

MHD_Result Server::Access(void* self, MHD_Connection* c, const char* url, const char* method, const char*, const char*,
                          size_t* upload_size, void** state) {
  auto* server = static_cast<Server*>(self);
  auto* x = static_cast<Exchange*>(*state);
  if (!x) {
    x = new Exchange;
    x->connection = c;
    x->method = method;
    x->path = url;
    *state = x;
    return MHD_YES;  // answered on the next call, once the request is read: an answer
                     // queued before that closes the connection after it
  }
  try {
    return server->Answer(c, x, url, upload_size);
  } catch (...) {  // std::bad_alloc: the connection is closed, the server goes on
    return MHD_NO;
  }
}

MHD_Result Server::Send(MHD_Connection* c, Exchange* x, const Response& r, const Cached* cached) {
  MHD_Response* res = nullptr;
  std::size_t size = 0;
  if (cached && cached->fd >= 0) {
    // Each response closes its own descriptor; the cache keeps the original.
    const int fd = ::fcntl(cached->fd, F_DUPFD_CLOEXEC, 0);
    if (fd < 0) return MHD_NO;
    size = cached->size;
    res = MHD_create_response_from_fd(size, fd);
    if (!res) ::close(fd);
  } else {
    // The body is shared with the cache: the response holds a reference until sent.
    auto* keep = new Body(cached ? cached->bytes : r.body ? r.body : std::make_shared<const std::string>());
    size = (*keep)->size();
    res = MHD_create_response_from_buffer_with_free_callback_cls(
        size, const_cast<char*>((*keep)->data()), [](void* k) { delete static_cast<Body*>(k); }, keep);
    if (!res) delete keep;
  }
  if (!res) return MHD_NO;
  MHD_add_response_header(res, "Content-Type", r.type.c_str());
  for (const auto& [name, value] : SecurityHeaders()) MHD_add_response_header(res, name.c_str(), value.c_str());
  for (const auto& [name, value] : r.headers) MHD_add_response_header(res, name.c_str(), value.c_str());
  x->status = r.status;
  x->bytes = size;
  const MHD_Result queued = MHD_queue_response(c, static_cast<unsigned>(r.status), res);
  MHD_destroy_response(res);
  return queued;
}

MHD_Result Server::Answer(MHD_Connection* c, Exchange* x, const char* url, size_t* upload_size) {
  if (x->answer) return Send(c, x, *x->answer);  // resumed: a card thread has answered
  if (*upload_size != 0) {                       // a body: never read, the answer is 405
    *upload_size = 0;
    return MHD_YES;
  }
  x->client = ClientOf(Peer(c), HeaderOf(c, "X-Forwarded-For"), o_.trusted_proxies);
  if (x->path == "/healthz") return Send(c, x, TextResponse(stopping_ ? 503 : 200, stopping_ ? "stopping" : "ok"));
  if (x->path == "/metrics") {
    Response r = TextResponse(200, MetricsText());
    r.type = "text/plain; version=0.0.4; charset=utf-8";
    return Send(c, x, r);
  }
  Request req{x->method, url, {}, HeaderOf(c, "If-None-Match")};
  MHD_get_connection_values_n(
      c, MHD_GET_ARGUMENT_KIND,
      [](void* args, MHD_ValueKind, const char* key, size_t key_size, const char* value, size_t value_size) {
        static_cast<Args*>(args)->emplace_back(std::string(key, key_size),
                                               value ? std::string(value, value_size) : std::string());
        return MHD_YES;
      },
      &req.args);
  Route route = site_.Handle(req);
  if (route.now) {
    if (route.now->status == 304) x->source = "304";
    return Send(c, x, *route.now);
  }
  CardJob& job = *route.job;
  if (const Cache::Entry cached = cache_.Get(job.etag)) {
    ++metrics_.hits;
    x->source = "cache";
    Response r;
    r.type = ContentType(job.output);
    r.headers = CardHeaders(job.etag);
    return Send(c, x, r, cached.get());
  }
  ++metrics_.misses;
  if (stopping_) {
    Response r = TextResponse(503, "the server is stopping; please try again in a moment");
    r.headers.emplace_back("Retry-After", "5");
    return Send(c, x, r);
  }
  if (const int wait = rate_.Take(x->client); wait > 0) {
    ++metrics_.rate_limited;
    Response r = TextResponse(429, "too many new cards from this address; please wait a moment");
    r.headers.emplace_back("Retry-After", std::to_string(wait));
    return Send(c, x, r);
  }
  std::unique_lock lock(m_);
  // Every card thread busy and the queue full: with --queue 0 a card is only
  // taken when a thread is free.
  if (queue_.size() + static_cast<std::size_t>(busy_) >= static_cast<std::size_t>(o_.jobs + o_.queue)) {
    lock.unlock();
    Response r = TextResponse(503, "every card maker is busy; please try again in a moment");
    r.headers.emplace_back("Retry-After", "1");
    return Send(c, x, r);
  }
  // Suspended before it is queued, so a card thread can never resume it first.
  x->job = std::move(job);
  ++card_exchanges_;
  MHD_suspend_connection(c);
  queue_.push_back(x);
  work_.notify_one();
  return MHD_YES;
}

void Server::Completed(void* self, MHD_Connection*, void** state, MHD_RequestTerminationCode) {
  auto* server = static_cast<Server*>(self);
  auto* x = static_cast<Exchange*>(*state);
  if (!x) return;
  *state = nullptr;
  server->metrics_.Count(x->status);
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - x->start).count();
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  char when[32];
  std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", ::gmtime_r(&now, &utc));
  char line[640];
  const int n = std::snprintf(line, sizeof line, "%s %s %s %s %d %zu %.1fms %s\n", when, LogText(x->client).c_str(),
                              LogText(x->method).c_str(), LogText(x->path).c_str(), x->status, x->bytes, ms, x->source);
  if (n > 0 && ::write(2, line, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof line - 1)) < 0) {
    // A closed stderr loses the log, not the answer.
  }
  if (x->job) {
    std::lock_guard lock(server->m_);
    --server->card_exchanges_;
    server->idle_.notify_all();
  }
  delete x;
}

void Server::Work() {
  for (;;) {
    std::unique_lock lock(m_);
    work_.wait(lock, [this] { return quit_ || !queue_.empty(); });
    if (queue_.empty()) return;
    Exchange* x = queue_.front();
    queue_.pop_front();
    ++busy_;
    lock.unlock();
    const Clock::time_point start = Clock::now();
    try {
      x->answer = site_.Make(*x->job);
      if (x->answer->status == 200) cache_.Put(x->job->etag, x->answer->body);
      ++metrics_.cards;
      x->source = "made";
    } catch (...) {  // std::bad_alloc: this card fails, the server goes on
      x->answer = TextResponse(500, "the card could not be made");
    }
    metrics_.Time(std::chrono::duration<double>(Clock::now() - start).count());
    MHD_resume_connection(x->connection);
    lock.lock();
    --busy_;
    idle_.notify_all();
  }
}

std::string Server::MetricsText() {
  std::string t;
  const auto add = [&t](const std::string& line) { t += line + "\n"; };
  add("# HELP mirelune_requests_total Requests answered, by status (0: any other).");
  add("# TYPE mirelune_requests_total counter");
  for (std::size_t k = 0; k < Metrics::kStatuses.size(); ++k)
    add("mirelune_requests_total{status=\"" + std::to_string(Metrics::kStatuses[k]) + "\"} " +
        std::to_string(metrics_.requests[k].load()));
  add("# HELP mirelune_cards_made_total Cards made.\n# TYPE mirelune_cards_made_total counter");
  add("mirelune_cards_made_total " + std::to_string(metrics_.cards.load()));
  add("# HELP mirelune_cache_hits_total Cards answered from the cache.\n# TYPE mirelune_cache_hits_total counter");
  add("mirelune_cache_hits_total " + std::to_string(metrics_.hits.load()));
  add("# HELP mirelune_cache_misses_total Cards not in the cache.\n# TYPE mirelune_cache_misses_total counter");
  add("mirelune_cache_misses_total " + std::to_string(metrics_.misses.load()));
  add("# HELP mirelune_rate_limited_total Cards refused by the rate limit.\n"
      "# TYPE mirelune_rate_limited_total counter");
  add("mirelune_rate_limited_total " + std::to_string(metrics_.rate_limited.load()));
  add("# HELP mirelune_cache_bytes Bytes of cards in the cache.\n# TYPE mirelune_cache_bytes gauge");
  add("mirelune_cache_bytes " + std::to_string(cache_.Bytes()));
  {
    std::lock_guard lock(m_);
    add("# HELP mirelune_queue_length Cards waiting for a card thread.\n# TYPE mirelune_queue_length gauge");
    add("mirelune_queue_length " + std::to_string(queue_.size()));
    add("# HELP mirelune_cards_in_progress Cards being made.\n# TYPE mirelune_cards_in_progress gauge");
    add("mirelune_cards_in_progress " + std::to_string(busy_));
  }
  add("# HELP mirelune_card_seconds Time to make and encode a card.\n# TYPE mirelune_card_seconds histogram");
  long total = 0;
  for (std::size_t k = 0; k <= Metrics::kBuckets.size(); ++k) {
    total += metrics_.card_times[k].load();
    char le[32];
    if (k < Metrics::kBuckets.size()) std::snprintf(le, sizeof le, "%g", Metrics::kBuckets[k]);
    add(std::string("mirelune_card_seconds_bucket{le=\"") + (k < Metrics::kBuckets.size() ? le : "+Inf") + "\"} " +
        std::to_string(total));
  }
  char sum[32];
  std::snprintf(sum, sizeof sum, "%.6f", static_cast<double>(metrics_.card_micros.load()) / 1e6);
  add(std::string("mirelune_card_seconds_sum ") + sum);
  add("mirelune_card_seconds_count " + std::to_string(total));
  return t;
}

Result<int> Server::Run(int listen_fd, const sigset_t& stop_signals) {
  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  unix_socket_ =
      ::getsockname(listen_fd, reinterpret_cast<sockaddr*>(&bound), &length) == 0 && bound.ss_family == AF_UNIX;
  std::vector<std::thread> makers;
  for (int k = 0; k < o_.jobs; ++k) makers.emplace_back([this] { Work(); });
  const auto join = [&] {
    {
      std::lock_guard lock(m_);
      quit_ = true;
    }
    work_.notify_all();
    for (std::thread& t : makers) t.join();
  };
  MHD_Daemon* d = MHD_start_daemon(
      MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_EPOLL | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ITC, 0, nullptr, nullptr,
      &Server::Access, this, MHD_OPTION_LISTEN_SOCKET, listen_fd, MHD_OPTION_CONNECTION_TIMEOUT,
      static_cast<unsigned>(o_.timeout_s), MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<size_t>(16 * 1024),
      MHD_OPTION_CONNECTION_LIMIT, static_cast<unsigned>(o_.max_connections), MHD_OPTION_NOTIFY_COMPLETED,
      &Server::Completed, this, MHD_OPTION_STRICT_FOR_CLIENT, 1, MHD_OPTION_THREAD_POOL_SIZE,
      static_cast<unsigned>(o_.http_threads), MHD_OPTION_END);
  if (!d) {
    ::close(listen_fd);
    join();
    return Error{"the web server could not start on " + o_.listen};
  }
  std::string where = o_.listen;  // with the port the system chose for port 0
  char text[INET6_ADDRSTRLEN] = "";
  if (bound.ss_family == AF_INET) {
    const auto* a = reinterpret_cast<const sockaddr_in*>(&bound);
    where =
        std::string(::inet_ntop(AF_INET, &a->sin_addr, text, sizeof text)) + ":" + std::to_string(ntohs(a->sin_port));
  } else if (bound.ss_family == AF_INET6) {
    const auto* a = reinterpret_cast<const sockaddr_in6*>(&bound);
    where = "[" + std::string(::inet_ntop(AF_INET6, &a->sin6_addr, text, sizeof text)) +
            "]:" + std::to_string(ntohs(a->sin6_port));
  }
  std::fprintf(stderr, "mirelune-cli: serving on %s with %d card threads\n", where.c_str(), o_.jobs);
  int signal = 0;
  while (::sigwait(&stop_signals, &signal) != 0) {
  }
  // No new connections, no new cards; the cards under way are made and sent.
  stopping_ = true;
  const MHD_socket quiet = MHD_quiesce_daemon(d);
  std::fprintf(stderr, "mirelune-cli: stopping on signal %d, finishing the cards under way\n", signal);
  {
    std::unique_lock lock(m_);
    idle_.wait_for(lock, std::chrono::seconds(60), [this] { return card_exchanges_ == 0; });
  }
  join();              // the card threads end once the queue is empty: none resumes a connection after this
  MHD_stop_daemon(d);  // closes the listening socket, unless quiesced
  if (quiet != MHD_INVALID_SOCKET) ::close(quiet);
  return 0;
}

Result<int> ListenUnix(const std::string& path) {
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof a.sun_path)
    return Error{"unix:" + path + ": a socket path must have 1 to " + std::to_string(sizeof a.sun_path - 1) + " bytes"};
  std::memcpy(a.sun_path, path.data(), path.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return Error{SystemError("cannot make a socket for " + path), errno};
  struct stat st {};
  if (::lstat(path.c_str(), &st) == 0) {
    // Only a socket no one answers on is replaced: never a symlink, a file or a
    // live server's socket.
    if (!S_ISSOCK(st.st_mode)) {
      ::close(fd);
      return Error{path + " exists and is not a socket; it is left alone"};
    }
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 || errno != ECONNREFUSED) {
      ::close(fd);
      return Error{path + " is the socket of a running server (or cannot be checked)"};
    }
    ::unlink(path.c_str());
  }
  const mode_t old = ::umask(0117);  // the socket is made 0660: its owner and group
  const int bound = ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
  const int err = errno;
  ::umask(old);
  if (bound != 0) {
    ::close(fd);
    return Error{"cannot listen on " + path + ": " + std::strerror(err), err};
  }
  return fd;
}

Result<int> ListenTcp(const std::string& where) {
  const std::size_t colon = where.rfind(':');
  if (colon == std::string::npos || colon + 1 == where.size())
    return Error{"--listen: ADDRESS:PORT or unix:PATH, not \"" + where + "\""};
  std::string host = where.substr(0, colon);
  const std::string port_text = where.substr(colon + 1);
  char* end = nullptr;
  const long port = std::strtol(port_text.c_str(), &end, 10);
  if (*end != '\0' || port < 0 || port > 65535) return Error{"--listen: the port of \"" + where + "\" is not 0..65535"};
  sockaddr_storage a{};
  socklen_t size = 0;
  if (host.size() > 2 && host.front() == '[' && host.back() == ']') {
    auto* v6 = reinterpret_cast<sockaddr_in6*>(&a);
    v6->sin6_family = AF_INET6;
    v6->sin6_port = htons(static_cast<std::uint16_t>(port));
    if (::inet_pton(AF_INET6, host.substr(1, host.size() - 2).c_str(), &v6->sin6_addr) != 1)
      return Error{"--listen: \"" + host + "\" is not an IPv6 address"};
    size = sizeof *v6;
  } else {
    auto* v4 = reinterpret_cast<sockaddr_in*>(&a);
    v4->sin_family = AF_INET;
    v4->sin_port = htons(static_cast<std::uint16_t>(port));
    if (host == "localhost") host = "127.0.0.1";
    if (::inet_pton(AF_INET, host.c_str(), &v4->sin_addr) != 1)
      return Error{"--listen: \"" + host + "\" is not an IPv4 address (or [IPv6])"};
    size = sizeof *v4;
  }
  const int fd = ::socket(a.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return Error{SystemError("cannot make a socket for " + where), errno};
  const int one = 1;
  ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&a), size) != 0) {
    const int err = errno;
    ::close(fd);
    return Error{"cannot listen on " + where + ": " + std::strerror(err), err};
  }
  return fd;
}

}  // namespace

Result<int> ListenOn(const std::string& where) {
  MIRELUNE_TRY_ASSIGN(const int fd, where.rfind("unix:", 0) == 0 ? ListenUnix(where.substr(5)) : ListenTcp(where));
  if (::listen(fd, 1024) != 0) {
    const int err = errno;
    ::close(fd);
    return Error{"cannot listen on " + where + ": " + std::strerror(err), err};
  }
  return fd;
}

Result<int> Serve(const ServeOptions& o, const Site& site) {
  if (::geteuid() == 0 && !o.allow_root)
    return Error{
        "serve does not run as root (a web server needs no privileges); run it as a plain user, "
        "or under systemd's DynamicUser, or add --allow-root"};
  // Many slow clients hold many descriptors: take what the hard limit allows.
  rlimit files{};
  if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
  }
  // Every thread started from here on leaves SIGTERM and SIGINT to sigwait below.
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  ::pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
  MIRELUNE_TRY_ASSIGN(const int fd, ListenOn(o.listen));
  struct stat made {};
  const bool unix_socket = o.listen.rfind("unix:", 0) == 0;
  if (unix_socket) ::stat(o.listen.c_str() + 5, &made);
  Server server(o, site);
  const Result<int> status = server.Run(fd, stop);  // closes fd
  struct stat now {};
  // Removes the socket it made, not one a later server made in its place.
  if (unix_socket && ::lstat(o.listen.c_str() + 5, &now) == 0 && now.st_ino == made.st_ino && now.st_dev == made.st_dev)
    ::unlink(o.listen.c_str() + 5);
  return status;
}

}  // namespace mirelune::web
