// A network between a test's connections and the tests' server that fails
// at the worst moment: a TCP proxy on the loopback address, forwarding to
// the server's Unix socket, that cuts a connection at its COMMIT, either
// before the server sees it (the transaction is rolled back) or after the
// server has answered it, the answer never reaching the client (the
// transaction committed), or before it while the server's end stays open
// (the server has not noticed, its transaction still in progress). POSIX
// sockets: for *_posix_test.cpp files only.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <list>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace rt::postgres::testing {

class CuttingProxy {
 public:
  enum class Cut {
    BeforeCommit,     // the server's end closed too: the server rolls back
    BeforeUnnoticed,  // the server's end held open: its transaction waits
    AfterCommit,      // the server committed; its answer is dropped
  };

  // server: the tests' connection string through the Unix socket
  // ("host=<folder> port=<port> ...").
  explicit CuttingProxy(const std::string& server)
      : socket_path_(Value(server, "host") + "/.s.PGSQL." + Value(server, "port")) {
    listener_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 16) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      throw std::runtime_error("the proxy cannot listen");
    port_ = ntohs(address.sin_port);
    acceptor_ = std::thread([this] { Accept(); });
  }
  ~CuttingProxy() {
    stop_ = true;
    acceptor_.join();
    for (std::thread& pump : pumps_) pump.join();
    for (const int held : held_) ::close(held);
    ::close(listener_);
  }
  CuttingProxy(const CuttingProxy&) = delete;
  CuttingProxy& operator=(const CuttingProxy&) = delete;

  // A connection string (a server's setting) that reaches the server through
  // the proxy, in the clear so that the proxy sees the statements.
  std::string Through(const std::string& setting) const {
    return setting + " host=127.0.0.1 port=" + std::to_string(port_) + " sslmode=disable gssencmode=disable";
  }

  // Cuts the next COMMIT that a connection sends after a statement holding
  // `after` (after any statement when empty). With `unanswerable`, from
  // then on every connection that asks the server what became of a
  // transaction (txid_status) is cut as it asks, until Heal.
  void Arm(Cut cut, std::string after = {}, bool unanswerable = false) {
    std::lock_guard lock(mutex_);
    armed_ = true;
    cut_ = cut;
    after_ = std::move(after);
    unanswerable_after_cut_ = unanswerable;
  }
  void Heal() {
    std::lock_guard lock(mutex_);
    unanswerable_ = false;
  }
  int Cuts() const { return cuts_; }

 private:
  static std::string Value(const std::string& conninfo, const std::string& key) {
    const std::size_t at = conninfo.find(key + "=");
    if (at == std::string::npos) throw std::runtime_error("no " + key + " in " + conninfo);
    const std::size_t start = at + key.size() + 1;
    return conninfo.substr(start, conninfo.find(' ', start) - start);
  }

  static bool Send(int fd, const char* data, std::size_t size) {
    while (size > 0) {
      const ssize_t sent = ::send(fd, data, size, MSG_NOSIGNAL);
      if (sent <= 0) return false;
      data += sent;
      size -= static_cast<std::size_t>(sent);
    }
    return true;
  }

  void Accept() {
    while (!stop_) {
      pollfd waiting{listener_, POLLIN, 0};
      if (::poll(&waiting, 1, 50) <= 0) continue;
      const int client = ::accept(listener_, nullptr, nullptr);
      if (client < 0) continue;
      const int server = ::socket(AF_UNIX, SOCK_STREAM, 0);
      sockaddr_un address{};
      address.sun_family = AF_UNIX;
      std::strncpy(address.sun_path, socket_path_.c_str(), sizeof address.sun_path - 1);
      if (server < 0 || ::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(client);
        if (server >= 0) ::close(server);
        continue;
      }
      pumps_.emplace_back([this, client, server] { Pump(client, server); });
    }
  }

  // Whether this chunk of a client's messages is where to cut: a COMMIT as
  // the simple query libpq sends it, after the statement looked for; or a
  // question that is not to be answered.
  std::optional<Cut> CutsHere(std::string_view chunk, bool& seen_after) {
    // clang-format off
    static constexpr std::string_view kCommit("Q\0\0\0\x0b" "COMMIT\0", 12);
    // clang-format on
    std::lock_guard lock(mutex_);
    if (unanswerable_ && chunk.find("txid_status") != std::string_view::npos) return Cut::BeforeCommit;
    if (!armed_) return std::nullopt;
    if (!after_.empty() && chunk.find(after_) != std::string_view::npos) seen_after = true;
    if ((!after_.empty() && !seen_after) || chunk.find(kCommit) == std::string_view::npos) return std::nullopt;
    armed_ = false;
    unanswerable_ = unanswerable_after_cut_;
    ++cuts_;
    return cut_;
  }

  void Pump(int client, int server) {
    bool seen_after = false;
    char buffer[65536];
    while (!stop_) {
      pollfd ends[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
      if (::poll(ends, 2, 50) <= 0) continue;
      if (ends[0].revents != 0) {
        const ssize_t n = ::recv(client, buffer, sizeof buffer, 0);
        if (n <= 0) break;
        const std::string_view chunk(buffer, static_cast<std::size_t>(n));
        if (const std::optional<Cut> cut = CutsHere(chunk, seen_after)) {
          if (*cut == Cut::AfterCommit) {
            // The server commits and answers; the answer ends here.
            Send(server, chunk.data(), chunk.size());
            std::string answer;
            static constexpr std::string_view kReady("Z\0\0\0\x05", 5);
            while (answer.find(kReady) == std::string::npos) {
              const ssize_t got = ::recv(server, buffer, sizeof buffer, 0);
              if (got <= 0) break;
              answer.append(buffer, static_cast<std::size_t>(got));
            }
          }
          if (*cut == Cut::BeforeUnnoticed) {
            std::lock_guard lock(mutex_);
            held_.push_back(server);
            server = -1;
          }
          break;
        }
        if (!Send(server, chunk.data(), chunk.size())) break;
      }
      if (ends[1].revents != 0) {
        const ssize_t n = ::recv(server, buffer, sizeof buffer, 0);
        if (n <= 0 || !Send(client, buffer, static_cast<std::size_t>(n))) break;
      }
    }
    ::close(client);
    if (server >= 0) ::close(server);
  }

  std::string socket_path_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> cuts_{0};
  std::mutex mutex_;
  bool armed_ = false;
  Cut cut_ = Cut::BeforeCommit;
  std::string after_;
  bool unanswerable_after_cut_ = false;
  bool unanswerable_ = false;
  std::thread acceptor_;
  std::list<std::thread> pumps_;  // only the acceptor adds to it
  std::vector<int> held_;         // servers' ends left open
};

}  // namespace rt::postgres::testing
