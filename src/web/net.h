// net.h — the system's side of the front door (server.cpp): sockets, a poller,
// a wake-up and the stop request. On Linux (net.cpp) they are epoll, an eventfd
// and sigwait; on Windows (net_windows.cpp) Winsock's WSAPoll, a loopback
// datagram socket and the console's control handler.
//
//   net::Poller poller;
//   poller.Watch(listening, false);            // reported while readable
//   poller.Watch(client, true);                // reported when new bytes or a hang-up come
//   const int n = poller.Wait(ready, 1000);
#pragma once

#include <microhttpd.h>  // MHD_socket: an int on POSIX, a SOCKET on Windows

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>

#include "base/result.h"

namespace mirelune::web::net {

using Socket = MHD_socket;
inline constexpr Socket kNoSocket = MHD_INVALID_SOCKET;

// The library's own polling for the connections it is handed: epoll on Linux;
// its best on Windows, which has no epoll.
extern const unsigned int kLibraryPolling;

// How the last socket call on this thread failed.
enum class Failure { kWouldBlock, kOutOfResources, kOther };
Failure LastFailure();
std::string LastErrorText();

Socket OpenStream(int family);  // close-on-exec; kNoSocket on failure
// Another server may bind the port as soon as this one has gone (POSIX's
// SO_REUSEADDR); on Windows no other socket may take it meanwhile.
bool ReuseAddress(Socket s);
bool MakeNonBlocking(Socket s);
// A waiting connection, non-blocking and close-on-exec; kNoSocket when none.
Socket AcceptClient(Socket listening, sockaddr_storage& address, socklen_t& length);
// Without waiting: the bytes in so far, left in place (Peek) or taken (Receive).
long Peek(Socket s, char* buffer, std::size_t size);
long Receive(Socket s, char* buffer, std::size_t size);
long Send(Socket s, const char* data, std::size_t size);  // no SIGPIPE
void ShutdownSending(Socket s);
void CloseSocket(Socket s);
// Whether the client has closed its side (or the connection has failed).
bool PeerHasClosed(Socket s);

struct Ready {
  Socket socket;
  bool hung_up;  // the peer closed its side, or the connection failed
};

class Poller {
 public:
  Poller();
  ~Poller();
  Poller(const Poller&) = delete;
  Poller& operator=(const Poller&) = delete;
  // A client is reported when new bytes or a hang-up arrive (edge-triggered);
  // anything else while it is readable.
  bool Watch(Socket s, bool client);
  void Forget(Socket s);
  // The client's first `bytes` bytes are in and not enough: it is reported
  // again only once more arrive. (Epoll's edges do this by themselves.)
  void Seen(Socket s, std::size_t bytes);
  // Waits up to timeout_ms for sockets to report; how many are in `ready`.
  int Wait(std::span<Ready> ready, int timeout_ms);

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Wakes a thread waiting in a Poller that watches socket().
class Wake {
 public:
  Wake();
  ~Wake();
  Wake(const Wake&) = delete;
  Wake& operator=(const Wake&) = delete;
  bool Ready() const { return socket_ != kNoSocket; }
  Socket socket() const { return socket_; }
  void Signal();

 private:
  Socket socket_ = kNoSocket;
};

// The requests to stop: SIGTERM and SIGINT, or on Windows Ctrl-C, Ctrl-Break
// and the console closing. Made before any thread is started (on POSIX every
// thread then leaves the signals to Wait); one thread waits.
class StopRequests {
 public:
  StopRequests();
  ~StopRequests();
  StopRequests(const StopRequests&) = delete;
  StopRequests& operator=(const StopRequests&) = delete;
  // Blocks until a stop is asked for; what asked, for the log ("signal 15").
  std::string Wait();
};

// The process as a server wants it: on POSIX as many descriptors as the hard
// limit allows (many slow clients hold many); on Windows Winsock started.
Result<> PrepareProcess();
bool RunningAsRoot();  // Windows: false (an administrator is not refused)

// A Unix socket bound at `path` (mode 0660; a stale socket is replaced, anything
// else is refused); on Windows an error that says it is not available.
Result<Socket> ListenUnix(const std::string& path);
// The socket file as made, to remove at the end only when no later server has
// put its own at the same path.
struct SocketFile {
  std::uint64_t device = 0, inode = 0;
};
SocketFile SocketFileAt(const std::string& path);
void RemoveSocketFile(const std::string& path, const SocketFile& made);

}  // namespace mirelune::web::net

namespace mirelune::web {
// Binds the listening socket for ADDR:PORT or unix:PATH (mode 0660; a stale
// socket is replaced, anything else at PATH is refused).
Result<net::Socket> ListenOn(const std::string& where);
}  // namespace mirelune::web
