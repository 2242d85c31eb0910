#include "http_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>

namespace {

using Clock = std::chrono::steady_clock;

int boundSocket(int* port)
{
  const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  socklen_t len = sizeof(addr);
  if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    close(fd);
    return -1;
  }
  *port = ntohs(addr.sin_port);
  return fd;
}

// Waits up to ms for fd to become readable.
bool readable(int fd, int ms)
{
  pollfd p{fd, POLLIN, 0};
  return poll(&p, 1, ms) > 0;
}

bool sendAll(int fd, const std::string& bytes)
{
  size_t sent = 0;
  while (sent < bytes.size()) {
    const ssize_t n = send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false; // the client gave up (an over-long body, for example)
    sent += (size_t)n;
  }
  return true;
}

} // namespace

TestHttpServer::TestHttpServer(std::string response, Mode mode, int delayMs)
    : mResponse(std::move(response)), mMode(mode), mDelayMs(delayMs)
{
  mListen = boundSocket(&mPort);
  if (mListen >= 0 && listen(mListen, 4) != 0) {
    close(mListen);
    mListen = -1;
  }
  if (mListen >= 0) mThread = std::thread(&TestHttpServer::run, this);
}

TestHttpServer::~TestHttpServer()
{
  mStop = true;
  if (mThread.joinable()) mThread.join();
  if (mListen >= 0) close(mListen);
}

std::string TestHttpServer::url(const char* path) const
{
  return "http://127.0.0.1:" + std::to_string(mPort) + path;
}

std::string TestHttpServer::firstRequest() const
{
  std::lock_guard<std::mutex> lock(mLock);
  return mFirstRequest;
}

bool TestHttpServer::stopping() const
{
  return mStop.load();
}

void TestHttpServer::run()
{
  const auto end = Clock::now() + std::chrono::milliseconds(kLifetimeMs);
  while (!stopping() && Clock::now() < end) {
    if (!readable(mListen, 20)) continue;
    const int fd = accept4(mListen, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    serve(fd);
    close(fd);
  }
}

void TestHttpServer::serve(int fd)
{
  const auto end = Clock::now() + std::chrono::milliseconds(kLifetimeMs);
  // The request head, up to its blank line (a GET has no body).
  std::string head;
  char buf[1024];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    if (stopping() || Clock::now() >= end) return;
    if (!readable(fd, 20)) continue;
    const ssize_t n = recv(fd, buf, sizeof(buf), 0);
    if (n <= 0) return;
    head.append(buf, (size_t)n);
  }
  {
    std::lock_guard<std::mutex> lock(mLock);
    if (mFirstRequest.empty()) mFirstRequest = head.substr(0, head.find("\r\n\r\n") + 2);
  }
  ++mRequests;
  mRequestSeen = true;

  if (mMode == kAnswer) {
    const auto answerAt = Clock::now() + std::chrono::milliseconds(mDelayMs);
    while (Clock::now() < answerAt)
      if (stopping())
        return;
      else
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    mAnswerSent = true;
    if (!sendAll(fd, mResponse)) return;
    shutdown(fd, SHUT_WR);
  }
  // Until the client closes: at once after an answer, at its timeout when silent.
  while (!stopping() && Clock::now() < end) {
    if (!readable(fd, 20)) continue;
    if (recv(fd, buf, sizeof(buf), 0) <= 0) return;
  }
}

std::string TestHttpServer::Response(int status, const std::string& body, const char* framing)
{
  const std::string f = framing ? framing : "length";
  std::string r = "HTTP/1.1 " + std::to_string(status) + (status == 200 ? " OK" : " Other") + "\r\n";
  r += "Content-Type: text/plain\r\nConnection: close\r\n";
  if (f == "length") {
    r += "Content-Length: " + std::to_string(body.size()) + "\r\n\r\n" + body;
  } else if (f == "chunked") {
    r += "Transfer-Encoding: chunked\r\n\r\n";
    for (size_t at = 0; at < body.size(); at += 100) {
      const std::string piece = body.substr(at, 100);
      char size[16];
      std::snprintf(size, sizeof(size), "%zx\r\n", piece.size());
      r += size + piece + "\r\n";
    }
    r += "0\r\n\r\n";
  } else {
    r += "\r\n" + body;
  }
  return r;
}

RefusingPort::RefusingPort()
{
  mFd = boundSocket(&mPort);
}

RefusingPort::~RefusingPort()
{
  if (mFd >= 0) close(mFd);
}
