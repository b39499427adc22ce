// net_windows.cpp — the front door's system calls on Windows: Winsock, WSAPoll,
// a loopback datagram socket to wake the door, and the console's control
// handler for Ctrl-C, Ctrl-Break and the console closing.
#include "web/net.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <unordered_map>
#include <vector>

#include "base/platform.h"

namespace mirelune::web::net {

// WSAPoll is the only readiness call Windows has: MHD picks its poll there.
const unsigned int kLibraryPolling = MHD_USE_AUTO;

Failure LastFailure() {
  switch (WSAGetLastError()) {
    case WSAEWOULDBLOCK: return Failure::kWouldBlock;
    case WSAEMFILE:
    case WSAENOBUFS: return Failure::kOutOfResources;
    default: return Failure::kOther;
  }
}

std::string LastErrorText() {
  const int code = WSAGetLastError();
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string out = n && text ? Narrow(std::wstring_view(text, n)) : "";
  if (text) LocalFree(text);
  while (!out.empty() && (out.back() == '\n' || out.back() == '\r' || out.back() == ' ' || out.back() == '.')) out.pop_back();
  return out.empty() ? "Winsock error " + std::to_string(code) : out;
}

Socket OpenStream(int family) {
  // Made not inheritable, so a program started meanwhile holds no listening socket.
  return WSASocketW(family, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
}

bool ReuseAddress(Socket s) {
  // SO_REUSEADDR on Windows lets another socket take a bound port: the
  // exclusive use is what a server wants there (a closed server's port is free at once).
  const BOOL one = TRUE;
  return ::setsockopt(s, SOL_SOCKET, SO_EXCLUSIVEADDRUSE, reinterpret_cast<const char*>(&one), sizeof one) == 0;
}

bool MakeNonBlocking(Socket s) {
  u_long one = 1;
  return ::ioctlsocket(s, FIONBIO, &one) == 0;
}

Socket AcceptClient(Socket listening, sockaddr_storage& address, socklen_t& length) {
  const Socket s = ::accept(listening, reinterpret_cast<sockaddr*>(&address), &length);
  if (s == kNoSocket) return s;
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  if (!MakeNonBlocking(s)) {
    ::closesocket(s);
    WSASetLastError(WSAECONNABORTED);  // this client is dropped, the next one taken
    return kNoSocket;
  }
  return s;
}

// The sockets are non-blocking: recv and send do not wait.
long Peek(Socket s, char* buffer, std::size_t size) {
  return ::recv(s, buffer, static_cast<int>(std::min<std::size_t>(size, 1 << 30)), MSG_PEEK);
}

long Receive(Socket s, char* buffer, std::size_t size) {
  return ::recv(s, buffer, static_cast<int>(std::min<std::size_t>(size, 1 << 30)), 0);
}

long Send(Socket s, const char* data, std::size_t size) {
  return ::send(s, data, static_cast<int>(std::min<std::size_t>(size, 1 << 30)), 0);
}

void ShutdownSending(Socket s) { ::shutdown(s, SD_SEND); }

void CloseSocket(Socket s) { ::closesocket(s); }

bool PeerHasClosed(Socket s) {
  WSAPOLLFD p{s, POLLRDNORM, 0};
  if (WSAPoll(&p, 1, 0) <= 0) return false;
  if (p.revents & (POLLHUP | POLLERR | POLLNVAL)) return true;
  // Readable with nothing to read: the client's end of the stream.
  char c;
  return ::recv(s, &c, 1, MSG_PEEK) == 0;
}

// WSAPoll reports a socket for as long as it is readable: a client whose head
// is incomplete (its bytes peeked, not taken) would be reported on every call.
// Such a client is left out of the poll and asked how many bytes it holds
// (FIONREAD) every few milliseconds instead, until more than it had arrive.
struct Poller::State {
  struct Watched {
    bool client = false;
    bool settled = false;
    u_long seen = 0;
  };
  std::unordered_map<Socket, Watched> watched;
  std::vector<WSAPOLLFD> polled;
};

Poller::Poller() : state_(std::make_unique<State>()) {}

Poller::~Poller() = default;

bool Poller::Watch(Socket s, bool client) {
  state_->watched[s] = {client, false, 0};
  return true;
}

void Poller::Forget(Socket s) { state_->watched.erase(s); }

void Poller::Seen(Socket s, std::size_t bytes) {
  const auto it = state_->watched.find(s);
  if (it == state_->watched.end() || !it->second.client) return;
  it->second.settled = true;
  it->second.seen = static_cast<u_long>(bytes);
}

int Poller::Wait(std::span<Ready> ready, int timeout_ms) {
  constexpr int kSettledCheckMs = 10;
  std::size_t n = 0;
  std::vector<WSAPOLLFD>& polled = state_->polled;
  polled.clear();
  bool settled = false;
  for (auto& [s, w] : state_->watched) {
    if (!w.settled) {
      polled.push_back({s, POLLRDNORM, 0});
      continue;
    }
    u_long now = 0;
    if (::ioctlsocket(s, FIONREAD, &now) != 0 || now > w.seen) {
      w.settled = false;
      if (n < ready.size()) ready[n++] = {s, false};
    } else {
      settled = true;
    }
  }
  if (n > 0) timeout_ms = 0;
  if (settled) timeout_ms = std::min(timeout_ms, kSettledCheckMs);
  if (polled.empty()) {
    if (timeout_ms > 0) Sleep(static_cast<DWORD>(timeout_ms));
    return static_cast<int>(n);
  }
  if (WSAPoll(polled.data(), static_cast<ULONG>(polled.size()), timeout_ms) <= 0) return static_cast<int>(n);
  for (const WSAPOLLFD& p : polled) {
    if (p.revents == 0 || n >= ready.size()) continue;
    ready[n++] = {p.fd, (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0};
  }
  return static_cast<int>(n);
}

// A datagram socket bound to the loopback and connected to itself: a byte sent
// makes it readable, which WSAPoll sees (it cannot wait for an event object).
Wake::Wake() {
  const Socket s = WSASocketW(AF_INET, SOCK_DGRAM, IPPROTO_UDP, nullptr, 0, WSA_FLAG_NO_HANDLE_INHERIT);
  if (s == kNoSocket) return;
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof a;
  if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &length) != 0 ||
      ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || !MakeNonBlocking(s)) {
    ::closesocket(s);
    return;
  }
  socket_ = s;
}

Wake::~Wake() {
  if (socket_ != kNoSocket) ::closesocket(socket_);
}

void Wake::Signal() {
  const char one = 1;
  if (::send(socket_, &one, 1, 0) != 1) {
    // A datagram to oneself is not lost here; were it, the door would stop within its second.
  }
}

namespace {

// The console's handlers take no argument: what they tell the waiting thread
// lives here, for the one StopRequests of the process.
std::atomic<HANDLE> stop_asked{nullptr};
std::atomic<HANDLE> stop_done{nullptr};
std::atomic<DWORD> stop_event{0};

BOOL WINAPI OnConsoleEvent(DWORD event) {
  const HANDLE asked = stop_asked.load();
  if (!asked) return FALSE;
  stop_event = event;
  SetEvent(asked);
  // Closing the console, logging off and shutting down end the process as soon
  // as the handler returns: it waits while the cards under way are finished
  // (Windows itself gives it a few seconds at most).
  if (event == CTRL_CLOSE_EVENT || event == CTRL_LOGOFF_EVENT || event == CTRL_SHUTDOWN_EVENT)
    if (const HANDLE done = stop_done.load()) WaitForSingleObject(done, 30000);
  return TRUE;
}

}  // namespace

StopRequests::StopRequests() {
  stop_asked = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  stop_done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  SetConsoleCtrlHandler(&OnConsoleEvent, TRUE);
}

StopRequests::~StopRequests() {
  if (const HANDLE done = stop_done.load()) SetEvent(done);
  SetConsoleCtrlHandler(&OnConsoleEvent, FALSE);
  if (const HANDLE asked = stop_asked.exchange(nullptr)) CloseHandle(asked);
  // stop_done stays open: a close handler may still be waiting on it as the process ends.
}

std::string StopRequests::Wait() {
  const HANDLE asked = stop_asked.load();
  // Without an event nothing could ever ask it to stop: it stops at once, and says so.
  if (!asked || WaitForSingleObject(asked, INFINITE) != WAIT_OBJECT_0) return "an error (no stop event)";
  switch (stop_event.load()) {
    case CTRL_C_EVENT: return "Ctrl-C";
    case CTRL_BREAK_EVENT: return "Ctrl-Break";
    case CTRL_CLOSE_EVENT: return "the console closing";
    case CTRL_LOGOFF_EVENT: return "logoff";
    case CTRL_SHUTDOWN_EVENT: return "shutdown";
  }
  return "a console event";
}

Result<> PrepareProcess() {
  WSADATA data{};
  if (const int e = WSAStartup(MAKEWORD(2, 2), &data); e != 0)
    return Error{"cannot start Winsock (error " + std::to_string(e) + ")"};
  return {};
}

bool RunningAsRoot() { return false; }

Result<Socket> ListenUnix(const std::string& path) {
  return Error{"unix:" + path + ": listening on a Unix socket is not available on Windows; use --listen ADDRESS:PORT"};
}

SocketFile SocketFileAt(const std::string&) { return {}; }

void RemoveSocketFile(const std::string&, const SocketFile&) {}

}  // namespace mirelune::web::net
