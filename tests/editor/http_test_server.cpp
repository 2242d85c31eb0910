#include "http_test_server.h"

#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
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

// A server context with a new self-signed certificate for 127.0.0.1 (name and address both match, so only
// the missing trust can make a client refuse it). Null when it cannot be made.
SSL_CTX* makeContext()
{
  EVP_PKEY* key = EVP_EC_gen("P-256");
  X509* cert = X509_new();
  SSL_CTX* ctx = SSL_CTX_new(TLS_server_method());
  bool ok = key && cert && ctx;
  if (ok) {
    X509_set_version(cert, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
    X509_gmtime_adj(X509_getm_notBefore(cert), -3600);
    X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
    X509_NAME* name = X509_get_subject_name(cert);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1,
                               0);
    X509_set_issuer_name(cert, name);
    X509_set_pubkey(cert, key);
    X509V3_CTX v3;
    X509V3_set_ctx_nodb(&v3);
    X509V3_set_ctx(&v3, cert, cert, nullptr, nullptr, 0);
    X509_EXTENSION* san = X509V3_EXT_conf_nid(nullptr, &v3, NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
    ok = san && X509_add_ext(cert, san, -1) && X509_sign(cert, key, EVP_sha256()) &&
         SSL_CTX_use_certificate(ctx, cert) == 1 && SSL_CTX_use_PrivateKey(ctx, key) == 1;
    X509_EXTENSION_free(san);
  }
  X509_free(cert);
  EVP_PKEY_free(key);
  if (!ok) {
    SSL_CTX_free(ctx);
    return nullptr;
  }
  return ctx;
}

} // namespace

TestHttpServer::TestHttpServer(std::string response, Mode mode, int delayMs, bool tls)
    : mResponse(std::move(response)), mMode(mode), mDelayMs(delayMs), mTls(tls)
{
  if (mTls && !(mContext = makeContext())) return;
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
  SSL_CTX_free(static_cast<SSL_CTX*>(mContext));
}

std::string TestHttpServer::url(const char* path) const
{
  return (mTls ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(mPort) + path;
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
    mFd = fd;
    if (mTls) {
      // The handshake blocks: a time limit on the socket keeps it from waiting for ever.
      timeval limit{2, 0};
      setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof(limit));
      SSL* session = SSL_new(static_cast<SSL_CTX*>(mContext));
      SSL_set_fd(session, fd);
      if (SSL_accept(session) == 1) {
        ++mHandshakes;
        mSession = session;
        serve(fd);
        SSL_shutdown(session);
        mSession = nullptr;
      }
      SSL_free(session);
    } else {
      serve(fd);
    }
    close(fd);
    mFd = -1;
  }
}

bool TestHttpServer::ready(int fd, int ms)
{
  if (mSession && SSL_pending(static_cast<SSL*>(mSession)) > 0) return true;
  return readable(fd, ms);
}

void TestHttpServer::serve(int fd)
{
  const auto end = Clock::now() + std::chrono::milliseconds(kLifetimeMs);
  // The request head, up to its blank line (a GET has no body).
  std::string head;
  char buf[1024];
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    if (stopping() || Clock::now() >= end) return;
    if (!ready(fd, 20)) continue;
    const long n = receive(buf, sizeof(buf));
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
    while (Clock::now() < answerAt || (mAnswerHeld.load() && Clock::now() < end)) {
      if (stopping()) return;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (!sendAll(mResponse)) return;
    if (!mTls) shutdown(fd, SHUT_WR);
  }
  // Until the client closes: at once after an answer, at its timeout when silent.
  while (!stopping() && Clock::now() < end) {
    if (!ready(fd, 20)) continue;
    if (receive(buf, sizeof(buf)) <= 0) return;
  }
}

long TestHttpServer::receive(char* buf, size_t size)
{
  if (mSession) return SSL_read(static_cast<SSL*>(mSession), buf, (int)size);
  return recv(mFd, buf, size, 0);
}

bool TestHttpServer::sendAll(const std::string& bytes)
{
  size_t sent = 0;
  while (sent < bytes.size()) {
    const long n = mSession ? SSL_write(static_cast<SSL*>(mSession), bytes.data() + sent, (int)(bytes.size() - sent))
                            : send(mFd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
    if (n <= 0) return false; // the client gave up (an over-long body, for example)
    sent += (size_t)n;
  }
  return true;
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
