// server.cpp — the HTTP side of `serve`. A front door thread accepts each
// connection, caps connections per client, waits for the request head within
// one deadline and checks it strictly (limits.h); only then does libmicrohttpd
// take the connection, read the head and answer. Its epoll threads never make a
// card: a card to make suspends its connection and goes to a bounded queue
// before a fixed pool of card threads, which resume the connection with the
// answer. Finished cards are kept, encoded, in a cache bounded in bytes.
#include <microhttpd.h>
#include <unistd.h>  // write: the log line in one call (mingw-w64 has it too)

#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <list>
#include <mutex>
#include <queue>
#include <thread>
#include <tuple>
#include <unordered_map>

#include "web/limits.h"
#include "web/net.h"
#include "web/web.h"

namespace mirelune::web {
namespace {

using Clock = std::chrono::steady_clock;
using net::Socket;

std::string SystemError(const std::string& what) { return what + ": " + net::LastErrorText(); }

std::string HeaderOf(MHD_Connection* c, const char* name) {
  const char* value = MHD_lookup_connection_value(c, MHD_HEADER_KIND, name);
  return value ? value : "";
}

// Encoded cards by ETag in plain memory, the least recently used dropped first.
// An answer from the cache shares the bytes (no copy, no descriptor per card).
class Cache {
 public:
  explicit Cache(std::size_t limit) : limit_(limit) {}
  Body Get(const std::string& key) {
    std::lock_guard lock(m_);
    const auto it = index_.find(key);
    if (it == index_.end()) return nullptr;
    order_.splice(order_.begin(), order_, it->second);
    return it->second->second;
  }
  void Put(const std::string& key, const Body& body) {
    if (body->size() > limit_) return;
    std::lock_guard lock(m_);
    if (index_.count(key)) return;
    order_.emplace_front(key, body);
    index_[key] = order_.begin();
    bytes_ += body->size();
    while (bytes_ > limit_) {
      bytes_ -= order_.back().second->size();
      index_.erase(order_.back().first);
      order_.pop_back();
    }
  }
  std::pair<std::size_t, std::size_t> BytesAndEntries() {
    std::lock_guard lock(m_);
    return {bytes_, index_.size()};
  }

 private:
  std::mutex m_;
  std::size_t limit_, bytes_ = 0;
  std::list<std::pair<std::string, Body>> order_;
  std::unordered_map<std::string, std::list<std::pair<std::string, Body>>::iterator> index_;
};

// Open connections, in all and by client group, for the caps. A trusted proxy
// and the Unix socket's peers are counted in all only: a proxy carries many clients.
class Connections {
 public:
  Connections(int total, int per_group) : total_cap_(total), group_cap_(per_group) {}
  // Counts a new connection in; false (nothing counted) when a cap is reached.
  bool Admit(const std::string& group, bool grouped) {
    std::lock_guard lock(m_);
    if (total_ >= total_cap_ || (grouped && groups_[group] >= group_cap_)) {
      if (grouped && groups_[group] == 0) groups_.erase(group);
      return false;
    }
    ++total_;
    if (grouped) ++groups_[group];
    return true;
  }
  void Enter(const std::string& group, bool grouped) {
    std::lock_guard lock(m_);
    ++total_;
    if (grouped) ++groups_[group];
  }
  void Release(const std::string& group, bool grouped) {
    std::lock_guard lock(m_);
    --total_;
    if (grouped && --groups_[group] <= 0) groups_.erase(group);
  }
  int Total() {
    std::lock_guard lock(m_);
    return total_;
  }

 private:
  std::mutex m_;
  int total_cap_, group_cap_, total_ = 0;
  std::unordered_map<std::string, int> groups_;
};

// The figures /metrics shows.
struct Metrics {
  static constexpr std::array<int, 12> kStatuses{200, 304, 400, 404, 405, 408, 429, 431, 500, 503, 505, 0};  // 0: other
  static constexpr std::array<double, 9> kBuckets{0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5, 10};
  std::array<std::atomic<long>, kStatuses.size()> requests{};
  std::atomic<long> cards{0}, hits{0}, misses{0}, rate_limited{0}, dropped{0};
  std::atomic<long> refused_connections{0}, head_timeouts{0}, accept_failures{0};
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
  const char* source = "-";  // how a card was answered: made, cache, 304, gone
};

void LogLine(const std::string& client, const std::string& method, const std::string& path, int status,
             std::size_t bytes, double ms, const char* source) {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  char when[32];
  std::strftime(when, sizeof when, "%Y-%m-%dT%H:%M:%SZ", ::gmtime_r(&now, &utc));
  char line[640];
  const int n = std::snprintf(line, sizeof line, "%s %s %s %s %d %zu %.1fms %s\n", when, LogText(client).c_str(),
                              LogText(method).c_str(), LogText(path).c_str(), status, bytes, ms, source);
  if (n > 0 && ::write(2, line, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof line - 1)) < 0) {
    // A closed stderr loses the log, not the answer.
  }
}

const char* Reason(int status) {
  switch (status) {
    case 400: return "Bad Request";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 431: return "Request Header Fields Too Large";
    case 503: return "Service Unavailable";
    case 505: return "HTTP Version Not Supported";
  }
  return "Error";
}

// A connection the front door holds until its request head is in and checked.
struct Waiting {
  sockaddr_storage address{};
  socklen_t length = 0;
  std::string peer, group;
  bool grouped = false;
  bool closing = false;  // answered and shut down: read to the end, then closed
  unsigned long serial = 0;
  Clock::time_point accepted;
};

class Server {
 public:
  Server(const ServeOptions& o, const Site& site)
      : o_(o),
        site_(site),
        cache_(static_cast<std::size_t>(o.cache_mib) << 20),
        rate_(o.rate_per_minute, kRateClients),
        connections_(o.max_connections, o.max_per_client) {}
  Result<int> Run(Socket listen_fd, net::StopRequests& stop);

 private:
  static constexpr std::size_t kRateClients = 100000;
  static MHD_Result Access(void* self, MHD_Connection* c, const char* url, const char* method, const char*, const char*,
                           size_t* upload_size, void** state);
  static void Completed(void* self, MHD_Connection*, void** state, MHD_RequestTerminationCode);
  static void Notified(void* self, MHD_Connection* c, void** socket_state, MHD_ConnectionNotificationCode code);
  MHD_Result Answer(MHD_Connection* c, Exchange* x, const char* url, size_t* upload_size);
  MHD_Result Send(MHD_Connection* c, Exchange* x, const Response& r, const Body& cached = nullptr);
  std::string MetricsText();
  void Work();
  bool Grouped(const std::string& peer) const;

  // The front door: accepts, caps, waits for each request head within its
  // deadline, checks it and hands the connection to the library.
  void Door(Socket listen_fd, Socket wake_fd, MHD_Daemon* d);
  // False when out of descriptors or memory: accepting pauses rather than spins.
  bool Accept(net::Poller& poller, Socket listen_fd, MHD_Daemon* d);
  void Examine(net::Poller& poller, Socket fd, bool hung_up, MHD_Daemon* d);
  void Refuse(Socket fd, Waiting& w, int status, const std::string& reason);
  void Close(Socket fd);

  ServeOptions o_;
  const Site& site_;
  Cache cache_;
  RateLimit rate_;
  Connections connections_;
  Metrics metrics_;
  std::atomic<bool> stopping_{false};
  std::atomic<long> card_exchanges_{0};  // requests with a card job not yet ended
  std::mutex m_;
  std::condition_variable work_, idle_;
  std::deque<Exchange*> queue_;
  int busy_ = 0;
  bool quit_ = false;
  bool unix_socket_ = false;

  // The front door's own (its thread alone touches them).
  std::unordered_map<Socket, Waiting> waiting_;
  using Deadline = std::tuple<Clock::time_point, Socket, unsigned long>;  // when, fd, serial
  std::priority_queue<Deadline, std::vector<Deadline>, std::greater<>> deadlines_;
  unsigned long serial_ = 0;
};

bool Server::Grouped(const std::string& peer) const {
  return peer != "unix" && std::find(o_.trusted_proxies.begin(), o_.trusted_proxies.end(), peer) == o_.trusted_proxies.end();
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
    return MHD_YES;  // answered on the next call, once the request is read
  }
  try {
    return server->Answer(c, x, url, upload_size);
  } catch (const std::exception&) {  // std::bad_alloc: the connection is closed, the server goes on
    return MHD_NO;
  }
}

// A connection the library took over stays counted against its client until it closes.
void Server::Notified(void* self, MHD_Connection* c, void** socket_state, MHD_ConnectionNotificationCode code) {
  auto* server = static_cast<Server*>(self);
  if (code == MHD_CONNECTION_NOTIFY_STARTED) {
    const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
    const std::string peer = server->unix_socket_ || !info ? "unix" : PeerAddress(info->client_addr);
    auto* group = new std::pair<std::string, bool>(ClientGroup(peer), server->Grouped(peer));
    server->connections_.Enter(group->first, group->second);
    *socket_state = group;
  } else if (auto* group = static_cast<std::pair<std::string, bool>*>(*socket_state)) {
    server->connections_.Release(group->first, group->second);
    delete group;
    *socket_state = nullptr;
  }
}

MHD_Result Server::Send(MHD_Connection* c, Exchange* x, const Response& r, const Body& cached) {
  // The body is shared (with the cache): the response holds a reference until sent.
  auto* keep = new Body(cached ? cached : r.body ? r.body : std::make_shared<const std::string>());
  const std::size_t size = (*keep)->size();
  MHD_Response* res = MHD_create_response_from_buffer_with_free_callback_cls(
      size, const_cast<char*>((*keep)->data()), [](void* k) { delete static_cast<Body*>(k); }, keep);
  if (!res) {
    delete keep;
    return MHD_NO;
  }
  MHD_add_response_header(res, "Content-Type", r.type.c_str());
  for (const auto& [name, value] : SecurityHeaders()) MHD_add_response_header(res, name.c_str(), value.c_str());
  for (const auto& [name, value] : r.headers) MHD_add_response_header(res, name.c_str(), value.c_str());
  // One request a connection: every request comes through the front door's check.
  MHD_add_response_header(res, "Connection", "close");
  x->status = r.status;
  x->bytes = size;
  const MHD_Result queued = MHD_queue_response(c, static_cast<unsigned>(r.status), res);
  MHD_destroy_response(res);
  return queued;
}

MHD_Result Server::Answer(MHD_Connection* c, Exchange* x, const char* url, size_t* upload_size) {
  if (x->answer) return Send(c, x, *x->answer);  // resumed: a card thread has answered
  if (*upload_size != 0) {                       // the front door lets no body through
    *upload_size = 0;
    return MHD_YES;
  }
  const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
  const std::string peer = unix_socket_ || !info ? "unix" : PeerAddress(info->client_addr);
  const std::string forwarded = HeaderOf(c, "X-Forwarded-For");
  x->client = ClientOf(peer, forwarded, o_.trusted_proxies);
  if (x->path == "/healthz") return Send(c, x, TextResponse(stopping_ ? 503 : 200, stopping_ ? "stopping" : "ok"));
  // The figures are for this machine's monitoring: never through a proxy.
  if (x->path == "/metrics" && (peer == "unix" || IsLoopbackHost(peer)) && forwarded.empty()) {
    Response r = TextResponse(200, MetricsText());
    r.type = "text/plain; version=0.0.4; charset=utf-8";
    return Send(c, x, r);
  }
  Request req{x->method, url, {}, HeaderOf(c, "If-None-Match")};
  MHD_get_connection_values_n(
      c, MHD_GET_ARGUMENT_KIND,
      [](void* args, MHD_ValueKind, const char* key, size_t key_size, const char* value, size_t value_size) {
        static_cast<Args*>(args)->emplace_back(QueryDecode({key, key_size}),
                                               value ? QueryDecode({value, value_size}) : std::string());
        return MHD_YES;
      },
      &req.args);
  Route route = site_.Handle(req);
  if (route.now) {
    if (route.now->status == 304) x->source = "304";
    return Send(c, x, *route.now);
  }
  CardJob& job = *route.job;
  if (const Body cached = cache_.Get(job.etag)) {
    ++metrics_.hits;
    x->source = "cache";
    Response r;
    r.type = ContentType(job.output);
    r.headers = job.headers;
    return Send(c, x, r, cached);
  }
  ++metrics_.misses;
  if (stopping_) {
    Response r = TextResponse(503, "the server is stopping; please try again in a moment");
    r.headers.emplace_back("Retry-After", "5");
    return Send(c, x, r);
  }
  std::unique_lock lock(m_);
  // Every card thread busy and the queue full: with --queue 0 a card is only
  // taken when a thread is free. Overload spends no token of the client's.
  if (queue_.size() + static_cast<std::size_t>(busy_) >= static_cast<std::size_t>(o_.jobs + o_.queue)) {
    lock.unlock();
    Response r = TextResponse(503, "every card maker is busy; please try again in a moment");
    r.headers.emplace_back("Retry-After", "1");
    return Send(c, x, r);
  }
  const double now = std::chrono::duration<double>(Clock::now().time_since_epoch()).count();
  if (const int wait = rate_.Take(ClientGroup(x->client), now); wait > 0) {
    lock.unlock();
    ++metrics_.rate_limited;
    Response r = TextResponse(429, "too many new cards from this address; please wait a moment");
    r.headers.emplace_back("Retry-After", std::to_string(wait));
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
  LogLine(x->client, x->method, x->path, x->status, x->bytes,
          std::chrono::duration<double, std::milli>(Clock::now() - x->start).count(), x->source);
  if (x->job) {
    std::lock_guard lock(server->m_);
    --server->card_exchanges_;
    server->idle_.notify_all();
  }
  delete x;
}

// Whether the client has closed its side while its card waited in the queue.
bool ClientGone(MHD_Connection* c) {
  const MHD_ConnectionInfo* info = MHD_get_connection_info(c, MHD_CONNECTION_INFO_CONNECTION_FD);
  return info && net::PeerHasClosed(info->connect_fd);
}

void Server::Work() {
  Fonts fonts(FontFolder());  // this thread's alone
  CardMemory memory;          // and the memory its cards are painted in
  for (;;) {
    std::unique_lock lock(m_);
    work_.wait(lock, [this] { return quit_ || !queue_.empty(); });
    if (queue_.empty()) return;
    Exchange* x = queue_.front();
    queue_.pop_front();
    ++busy_;
    lock.unlock();
    if (ClientGone(x->connection)) {  // nobody to send it to: the next client's card first
      ++metrics_.dropped;
      x->answer = TextResponse(503, "the client has gone");
      x->source = "gone";
    } else {
      const Clock::time_point start = Clock::now();
      try {
        x->answer = site_.Make(*x->job, fonts, memory);
        if (x->answer->status == 200) cache_.Put(x->job->etag, x->answer->body);
        ++metrics_.cards;
        x->source = "made";
      } catch (const std::exception&) {  // std::bad_alloc: this card fails, the server goes on
        x->answer = TextResponse(500, "the card could not be made");
      }
      metrics_.Time(std::chrono::duration<double>(Clock::now() - start).count());
    }
    MHD_resume_connection(x->connection);
    lock.lock();
    --busy_;
    idle_.notify_all();
  }
}

bool Server::Accept(net::Poller& poller, Socket listen_fd, MHD_Daemon* d) {
  for (;;) {
    Waiting w;
    w.length = sizeof w.address;
    const Socket fd = net::AcceptClient(listen_fd, w.address, w.length);
    if (fd == net::kNoSocket) {
      const net::Failure failure = net::LastFailure();
      if (failure == net::Failure::kOutOfResources) return false;
      if (failure == net::Failure::kWouldBlock) return true;
      continue;  // ECONNABORTED and the like: that client has gone, the next one waits
    }
    w.peer = unix_socket_ ? "unix" : PeerAddress(reinterpret_cast<const sockaddr*>(&w.address));
    w.group = ClientGroup(w.peer);
    w.grouped = Grouped(w.peer);
    if (!connections_.Admit(w.group, w.grouped)) {  // past a cap: closed at once
      ++metrics_.refused_connections;
      net::CloseSocket(fd);
      continue;
    }
    w.serial = ++serial_;
    w.accepted = Clock::now();
    if (!poller.Watch(fd, true)) {
      connections_.Release(w.group, w.grouped);
      net::CloseSocket(fd);
      continue;
    }
    deadlines_.emplace(w.accepted + std::chrono::seconds(o_.timeout_s), fd, w.serial);
    waiting_.emplace(fd, std::move(w));
    Examine(poller, fd, false, d);  // a client's head usually comes with its connection
  }
}

// Reads and drops what the client has sent so far; false once it has closed its side.
bool Drain(Socket fd) {
  char scratch[16384];
  long n;
  while ((n = net::Receive(fd, scratch, sizeof scratch)) > 0) {
  }
  return n < 0 && net::LastFailure() == net::Failure::kWouldBlock;
}

void Server::Close(Socket fd) {
  const auto it = waiting_.find(fd);
  if (it == waiting_.end()) return;
  connections_.Release(it->second.group, it->second.grouped);
  waiting_.erase(it);
  net::CloseSocket(fd);
}

// Answers at once and shuts the connection down; it is read to its end (or
// for two seconds), so the client is not reset before it has read the answer.
void Server::Refuse(Socket fd, Waiting& w, int status, const std::string& reason) {
  Drain(fd);
  std::string text = "HTTP/1.1 " + std::to_string(status) + " " + Reason(status) +
                     "\r\nContent-Type: text/plain; charset=utf-8\r\nContent-Length: " +
                     std::to_string(reason.size() + 1) + "\r\nConnection: close\r\n";
  if (status == 405) text += "Allow: GET, HEAD\r\n";
  for (const auto& [name, value] : SecurityHeaders()) text += name + ": " + value + "\r\n";
  text += "\r\n" + reason + "\n";
  if (net::Send(fd, text.data(), text.size()) < 0) {
    // The client has gone; it is closed below all the same.
  }
  net::ShutdownSending(fd);
  metrics_.Count(status);
  LogLine(w.peer, "-", "-", status, reason.size() + 1,
          std::chrono::duration<double, std::milli>(Clock::now() - w.accepted).count(), "door");
  w.closing = true;
  deadlines_.emplace(Clock::now() + std::chrono::seconds(2), fd, w.serial);
}

void Server::Examine(net::Poller& poller, Socket fd, bool hung_up, MHD_Daemon* d) {
  const auto it = waiting_.find(fd);
  if (it == waiting_.end()) return;
  Waiting& w = it->second;
  if (w.closing) {
    if (!Drain(fd)) Close(fd);
    return;
  }
  // Peeked, not read: the library reads the same bytes once the head is accepted.
  std::array<char, kMaxRequestHead> head;
  const long n = net::Peek(fd, head.data(), head.size());
  if (n == 0 || (n < 0 && net::LastFailure() != net::Failure::kWouldBlock)) return Close(fd);
  if (n < 0) return;
  const HeadCheck check = CheckRequestHead(std::string_view(head.data(), static_cast<std::size_t>(n)));
  if (check.verdict == HeadVerdict::kIncomplete) {
    if (hung_up) return Close(fd);  // the client will send no more
    poller.Seen(fd, static_cast<std::size_t>(n));
    return;
  }
  if (check.verdict == HeadVerdict::kRefuse) return Refuse(fd, w, check.status, check.reason);
  poller.Forget(fd);
  Waiting taken = std::move(w);
  waiting_.erase(it);
  connections_.Release(taken.group, taken.grouped);  // counted again as the library starts it
  // The library closes the socket, whether or not it can take it.
  MHD_add_connection(d, fd, reinterpret_cast<const sockaddr*>(&taken.address), taken.length);
}

void Server::Door(Socket listen_fd, Socket wake_fd, MHD_Daemon* d) {
  net::Poller poller;
  poller.Watch(listen_fd, false);
  poller.Watch(wake_fd, false);
  bool paused = false;  // accepting pauses when out of descriptors, until resume
  Clock::time_point resume;
  std::array<net::Ready, 128> events;
  for (bool running = true; running;) {
    Clock::time_point next = Clock::now() + std::chrono::seconds(1);
    if (!deadlines_.empty()) next = std::min(next, std::get<0>(deadlines_.top()));
    if (paused) next = std::min(next, resume);
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now()).count();
    const int n = poller.Wait(events, static_cast<int>(std::max<long>(0, wait)));
    for (int k = 0; k < n; ++k) {
      const Socket fd = events[static_cast<std::size_t>(k)].socket;
      if (fd == wake_fd) {
        running = false;
      } else if (fd == listen_fd) {
        if (!Accept(poller, listen_fd, d)) {
          ++metrics_.accept_failures;
          poller.Forget(listen_fd);
          paused = true;
          resume = Clock::now() + std::chrono::milliseconds(100);
        }
      } else {
        Examine(poller, fd, events[static_cast<std::size_t>(k)].hung_up, d);
      }
    }
    const Clock::time_point now = Clock::now();
    if (paused && now >= resume) {
      paused = false;
      poller.Watch(listen_fd, false);
    }
    while (!deadlines_.empty() && std::get<0>(deadlines_.top()) <= now) {
      const auto [when, fd, serial] = deadlines_.top();
      deadlines_.pop();
      const auto it = waiting_.find(fd);
      if (it == waiting_.end() || it->second.serial != serial) continue;  // handed over, or closed already
      if (it->second.closing) {
        Close(fd);
      } else {
        ++metrics_.head_timeouts;
        Refuse(fd, it->second, 408, "the request head took longer than " + std::to_string(o_.timeout_s) + " s");
      }
    }
  }
  while (!waiting_.empty()) Close(waiting_.begin()->first);
  net::CloseSocket(listen_fd);
}

std::string Server::MetricsText() {
  std::string t;
  const auto add = [&t](const std::string& line) { t += line + "\n"; };
  add("# HELP mirelune_requests_total Requests answered, by status (0: any other).");
  add("# TYPE mirelune_requests_total counter");
  for (std::size_t k = 0; k < Metrics::kStatuses.size(); ++k)
    add("mirelune_requests_total{status=\"" + std::to_string(Metrics::kStatuses[k]) + "\"} " +
        std::to_string(metrics_.requests[k].load()));
  // One figure: its help, its type and its value.
  const auto figure = [&add](const char* name, const char* help, const char* type, long long value) {
    add(std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type);
    add(std::string(name) + " " + std::to_string(value));
  };
  figure("mirelune_cards_made_total", "Cards made.", "counter", metrics_.cards);
  figure("mirelune_cache_hits_total", "Cards answered from the cache.", "counter", metrics_.hits);
  figure("mirelune_cache_misses_total", "Cards not in the cache.", "counter", metrics_.misses);
  figure("mirelune_rate_limited_total", "Cards refused by the rate limit.", "counter", metrics_.rate_limited);
  figure("mirelune_cards_dropped_total", "Queued cards not made: their client had gone.", "counter",
         metrics_.dropped);
  figure("mirelune_connections_refused_total", "Connections closed at once: a client's or the server's cap.",
         "counter", metrics_.refused_connections);
  figure("mirelune_head_timeouts_total", "Connections whose request head did not arrive in time.", "counter",
         metrics_.head_timeouts);
  figure("mirelune_accept_failures_total", "Times accepting paused, out of descriptors or memory.", "counter",
         metrics_.accept_failures);
  figure("mirelune_connections", "Open connections.", "gauge", connections_.Total());
  const auto [bytes, entries] = cache_.BytesAndEntries();
  figure("mirelune_cache_bytes", "Bytes of cards in the cache.", "gauge", static_cast<long long>(bytes));
  figure("mirelune_cache_entries", "Cards in the cache.", "gauge", static_cast<long long>(entries));
  figure("mirelune_rate_clients", "Client groups the rate limit keeps.", "gauge", static_cast<long long>(rate_.Size()));
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

Result<int> Server::Run(Socket listen_fd, net::StopRequests& stop) {
  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  unix_socket_ =
      ::getsockname(listen_fd, reinterpret_cast<sockaddr*>(&bound), &length) == 0 && bound.ss_family == AF_UNIX;
  if (!net::MakeNonBlocking(listen_fd)) return Error{SystemError("cannot set up the listening socket"), errno};
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
  // The library listens on nothing: the front door hands it each checked connection.
  MHD_Daemon* d = MHD_start_daemon(
      MHD_USE_INTERNAL_POLLING_THREAD | net::kLibraryPolling | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ITC |
          MHD_USE_NO_LISTEN_SOCKET,
      0, nullptr, nullptr, &Server::Access, this, MHD_OPTION_CONNECTION_TIMEOUT, static_cast<unsigned>(o_.timeout_s),
      MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<size_t>(4 * kMaxRequestHead), MHD_OPTION_CONNECTION_LIMIT,
      static_cast<unsigned>(o_.max_connections), MHD_OPTION_NOTIFY_COMPLETED, &Server::Completed, this,
      MHD_OPTION_NOTIFY_CONNECTION, &Server::Notified, this, MHD_OPTION_STRICT_FOR_CLIENT, 1,
      // The path stays as sent, so a share link's "%2F" is part of a name, not a
      // separator; the query's values are decoded in Answer.
      MHD_OPTION_UNESCAPE_CALLBACK, +[](void*, MHD_Connection*, char* s) { return std::strlen(s); }, nullptr,
      MHD_OPTION_THREAD_POOL_SIZE, static_cast<unsigned>(o_.http_threads), MHD_OPTION_END);
  std::optional<net::Wake> wake;
  if (d) wake.emplace();
  if (!wake || !wake->Ready()) {
    if (d) MHD_stop_daemon(d);
    net::CloseSocket(listen_fd);
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
  std::thread door([&] { Door(listen_fd, wake->socket(), d); });
  std::fprintf(stderr, "mirelune-serve: serving on %s with %d card threads\n", where.c_str(), o_.jobs);
  const std::string asked = stop.Wait();
  // No new connections, no new cards; the cards under way are made and sent.
  stopping_ = true;
  wake->Signal();
  door.join();  // closes the listening socket and the connections still sending their heads
  wake.reset();
  std::fprintf(stderr, "mirelune-serve: stopping on %s, finishing the cards under way\n", asked.c_str());
  {
    std::unique_lock lock(m_);
    idle_.wait_for(lock, std::chrono::seconds(60), [this] { return card_exchanges_ == 0; });
  }
  join();  // the card threads end once the queue is empty: none resumes a connection after this
  MHD_stop_daemon(d);
  return 0;
}

Result<Socket> ListenTcp(const std::string& where) {
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
  const Socket fd = net::OpenStream(a.ss_family);
  if (fd == net::kNoSocket) return Error{SystemError("cannot make a socket for " + where), errno};
  if (!net::ReuseAddress(fd) || ::bind(fd, reinterpret_cast<sockaddr*>(&a), size) != 0) {
    const std::string why = net::LastErrorText();
    const int err = errno;
    net::CloseSocket(fd);
    return Error{"cannot listen on " + where + ": " + why, err};
  }
  return fd;
}

}  // namespace

Result<net::Socket> ListenOn(const std::string& where) {
  MIRELUNE_TRY_ASSIGN(const Socket fd, where.rfind("unix:", 0) == 0 ? net::ListenUnix(where.substr(5)) : ListenTcp(where));
  if (::listen(fd, 1024) != 0) {
    const std::string why = net::LastErrorText();
    const int err = errno;
    net::CloseSocket(fd);
    return Error{"cannot listen on " + where + ": " + why, err};
  }
  return fd;
}

Result<int> Serve(const ServeOptions& o, const Site& site) {
  if (net::RunningAsRoot() && !o.allow_root)
    return Error{
        "serve does not run as root (a web server needs no privileges); run it as a plain user, "
        "or under systemd's DynamicUser, or add --allow-root"};
  MIRELUNE_TRY(net::PrepareProcess());
  net::StopRequests stop;  // before any thread starts
  MIRELUNE_TRY_ASSIGN(const Socket fd, ListenOn(o.listen));
  const bool unix_socket = o.listen.rfind("unix:", 0) == 0;
  const net::SocketFile made = unix_socket ? net::SocketFileAt(o.listen.substr(5)) : net::SocketFile{};
  Server server(o, site);
  const Result<int> status = server.Run(fd, stop);  // closes fd
  // Removes the socket it made, not one a later server made in its place.
  if (unix_socket) net::RemoveSocketFile(o.listen.substr(5), made);
  return status;
}

}  // namespace mirelune::web
