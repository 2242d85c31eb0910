// A small HTTP server on 127.0.0.1 for the update check's tests: a thread with a plain accept loop that
// reads each request head and then answers with fixed bytes, answers late, or never answers. It serves
// connections one after another for at most kLifetimeMs and stops by itself; the destructor stops it early.
// With TLS on it speaks HTTPS with a certificate it made itself for 127.0.0.1, which no one trusts.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

class TestHttpServer
{
public:
  enum Mode {
    kAnswer, // sends the response after delayMs, then closes
    kSilent, // reads the request and never answers (waits for the client to give up)
  };
  static constexpr int kLifetimeMs = 15000;

  // response: the raw bytes sent back (status line, headers and body); see Response().
  explicit TestHttpServer(std::string response, Mode mode = kAnswer, int delayMs = 0, bool tls = false);
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  bool ok() const { return mListen >= 0; }
  int port() const { return mPort; }
  // http://127.0.0.1:<port><path> (https:// with TLS)
  std::string url(const char* path = "/music/version/?file=veltrane") const;
  // The head of the first request (request line and headers), empty before one arrived.
  std::string firstRequest() const;
  int requests() const { return mRequests.load(); }
  // TLS handshakes that completed.
  int handshakes() const { return mHandshakes.load(); }
  // Set when a request head has been read.
  const std::atomic<bool>& requestSeen() const { return mRequestSeen; }
  // While held, a response waits past its delay until it is let go (within the server's lifetime).
  void holdAnswer(bool hold) { mAnswerHeld = hold; }

  // A complete response. framing: "length" (Content-Length), "close" (ends with the connection) or
  // "chunked" (chunks of at most 100 bytes).
  static std::string Response(int status, const std::string& body, const char* framing = "length");

private:
  void run();
  void serve(int fd);
  bool stopping() const;
  // Plain or TLS waits, reads and writes on the connection being served.
  bool ready(int fd, int ms);
  long receive(char* buf, size_t size);
  bool sendAll(const std::string& bytes);

  std::string mResponse;
  Mode mMode;
  int mDelayMs;
  int mListen = -1;
  int mPort = 0;
  std::atomic<bool> mStop{false};
  std::atomic<bool> mRequestSeen{false};
  std::atomic<bool> mAnswerHeld{false};
  std::atomic<int> mRequests{0};
  std::atomic<int> mHandshakes{0};
  bool mTls;
  void* mContext = nullptr; // SSL_CTX, with the certificate and its key
  void* mSession = nullptr; // SSL of the connection being served
  int mFd = -1;
  mutable std::mutex mLock;
  std::string mFirstRequest;
  std::thread mThread;
};

// A port on 127.0.0.1 that refuses connections: a socket is bound to it (so no one else takes it) but
// never listens.
class RefusingPort
{
public:
  RefusingPort();
  ~RefusingPort();
  int port() const { return mPort; }

private:
  int mFd = -1;
  int mPort = 0;
};
