// net.cpp — the front door's system calls on Linux: epoll, an eventfd, sigwait.
#include "web/net.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstring>

namespace mirelune::web::net {

const unsigned int kLibraryPolling = MHD_USE_EPOLL;

Failure LastFailure() {
  if (errno == EAGAIN || errno == EWOULDBLOCK) return Failure::kWouldBlock;
  if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) return Failure::kOutOfResources;
  return Failure::kOther;
}

std::string LastErrorText() { return std::strerror(errno); }

Socket OpenStream(int family) { return ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0); }

bool ReuseAddress(Socket s) {
  const int one = 1;
  return ::setsockopt(s, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) == 0;
}

bool MakeNonBlocking(Socket s) {
  const int flags = ::fcntl(s, F_GETFL);
  return flags >= 0 && ::fcntl(s, F_SETFL, flags | O_NONBLOCK) == 0;
}

Socket AcceptClient(Socket listening, sockaddr_storage& address, socklen_t& length) {
  return ::accept4(listening, reinterpret_cast<sockaddr*>(&address), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
}

long Peek(Socket s, char* buffer, std::size_t size) { return ::recv(s, buffer, size, MSG_PEEK | MSG_DONTWAIT); }

long Receive(Socket s, char* buffer, std::size_t size) { return ::recv(s, buffer, size, MSG_DONTWAIT); }

long Send(Socket s, const char* data, std::size_t size) { return ::send(s, data, size, MSG_DONTWAIT | MSG_NOSIGNAL); }

void ShutdownSending(Socket s) { ::shutdown(s, SHUT_WR); }

void CloseSocket(Socket s) { ::close(s); }

bool PeerHasClosed(Socket s) {
  pollfd p{s, POLLRDHUP, 0};
  return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR)) != 0;
}

struct Poller::State {
  int epoll_fd = -1;
  std::array<epoll_event, 128> events;
};

Poller::Poller() : state_(std::make_unique<State>()) { state_->epoll_fd = ::epoll_create1(EPOLL_CLOEXEC); }

Poller::~Poller() {
  if (state_->epoll_fd >= 0) ::close(state_->epoll_fd);
}

bool Poller::Watch(Socket s, bool client) {
  epoll_event e{};
  e.events = client ? EPOLLIN | EPOLLRDHUP | EPOLLET : EPOLLIN;
  e.data.fd = s;
  return ::epoll_ctl(state_->epoll_fd, EPOLL_CTL_ADD, s, &e) == 0;
}

void Poller::Forget(Socket s) { ::epoll_ctl(state_->epoll_fd, EPOLL_CTL_DEL, s, nullptr); }

void Poller::Seen(Socket, std::size_t) {}

int Poller::Wait(std::span<Ready> ready, int timeout_ms) {
  const int max = static_cast<int>(std::min(ready.size(), state_->events.size()));
  const int n = ::epoll_wait(state_->epoll_fd, state_->events.data(), max, timeout_ms);
  for (int k = 0; k < n; ++k) {
    const epoll_event& e = state_->events[static_cast<std::size_t>(k)];
    ready[static_cast<std::size_t>(k)] = {e.data.fd, (e.events & (EPOLLRDHUP | EPOLLHUP | EPOLLERR)) != 0};
  }
  return n;
}

Wake::Wake() : socket_(::eventfd(0, EFD_CLOEXEC)) {}

Wake::~Wake() {
  if (socket_ >= 0) ::close(socket_);
}

void Wake::Signal() {
  const std::uint64_t one = 1;
  if (::write(socket_, &one, sizeof one) < 0) {
    // An eventfd write does not fail here; were it to, the door would stop within its second.
  }
}

namespace {
sigset_t StopSignals() {
  sigset_t stop;
  sigemptyset(&stop);
  sigaddset(&stop, SIGTERM);
  sigaddset(&stop, SIGINT);
  return stop;
}
}  // namespace

StopRequests::StopRequests() {
  // Every thread started from here on leaves SIGTERM and SIGINT to sigwait below.
  const sigset_t stop = StopSignals();
  ::pthread_sigmask(SIG_BLOCK, &stop, nullptr);
  ::signal(SIGPIPE, SIG_IGN);
}

StopRequests::~StopRequests() = default;

std::string StopRequests::Wait() {
  const sigset_t stop = StopSignals();
  int signal = 0;
  while (::sigwait(&stop, &signal) != 0) {
  }
  return "signal " + std::to_string(signal);
}

Result<> PrepareProcess() {
  rlimit files{};
  if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
  }
  return {};
}

bool RunningAsRoot() { return ::geteuid() == 0; }

Result<Socket> ListenUnix(const std::string& path) {
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof a.sun_path)
    return Error{"unix:" + path + ": a socket path must have 1 to " + std::to_string(sizeof a.sun_path - 1) + " bytes"};
  std::memcpy(a.sun_path, path.data(), path.size());
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return Error{"cannot make a socket for " + path + ": " + std::strerror(errno), errno};
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

SocketFile SocketFileAt(const std::string& path) {
  struct stat made {};
  if (::stat(path.c_str(), &made) != 0) return {};
  return {static_cast<std::uint64_t>(made.st_dev), static_cast<std::uint64_t>(made.st_ino)};
}

void RemoveSocketFile(const std::string& path, const SocketFile& made) {
  struct stat now {};
  if (::lstat(path.c_str(), &now) == 0 && static_cast<std::uint64_t>(now.st_ino) == made.inode &&
      static_cast<std::uint64_t>(now.st_dev) == made.device)
    ::unlink(path.c_str());
}

}  // namespace mirelune::web::net
