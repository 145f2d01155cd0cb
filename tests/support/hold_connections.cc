// hold_connections: the peers that must cost other visitors nothing. It
// opens COUNT connections to each FastCGI socket named and leaves them
// silent, and one more to each that sends a request's first record a byte
// every five seconds, and holds them all for SECONDS.
//
//   hold_connections SECONDS COUNT SOCKET...
//
// A socket is a path (a Unix socket) or HOST:PORT (TCP on 127.0.0.1).
// Exit status 0 once the time is over; 1 when no connection could be made.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "support/fastcgi_client.h"

namespace {

int ConnectTo(const std::string& target) {
  std::size_t colon = target.rfind(':');
  if (target[0] != '/' && colon != std::string::npos) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(std::atoi(target.c_str() + colon + 1)));
    inet_pton(AF_INET, target.substr(0, colon).c_str(), &address.sin_addr);
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    close(fd);
    return -1;
  }
  int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  target.copy(address.sun_path, sizeof address.sun_path - 1);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  close(fd);
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) {
    std::fprintf(stderr, "usage: hold_connections SECONDS COUNT SOCKET...\n");
    return 2;
  }
  const int seconds = std::atoi(argv[1]), count = std::atoi(argv[2]);
  std::vector<int> held, trickling;
  for (int i = 3; i < argc; ++i) {
    for (int n = 0; n < count; ++n) {
      int fd = ConnectTo(argv[i]);
      if (fd >= 0) held.push_back(fd);
    }
    int fd = ConnectTo(argv[i]);
    if (fd >= 0) trickling.push_back(fd);
  }
  if (held.empty()) return 1;
  const std::string request = testkit::FastCgiRequest(1, {{"A", "1"}});
  auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  for (std::size_t sent = 0; std::chrono::steady_clock::now() < end; ++sent) {
    for (int fd : trickling) send(fd, request.data() + sent % request.size(), 1, MSG_NOSIGNAL);
    std::this_thread::sleep_until(
        std::min(end, std::chrono::steady_clock::now() + std::chrono::seconds(5)));
  }
  for (int fd : held) close(fd);
  for (int fd : trickling) close(fd);
  return 0;
}
