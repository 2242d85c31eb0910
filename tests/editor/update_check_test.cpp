// The online update check against a server of our own on 127.0.0.1: what the user is shown for each reply
// the server may give, what a Yes opens, how a dead, refusing or misbehaving server ends (always the
// failure box, never "up to date"), and that the check waits for the network without the instance mutex.
#include "UpdateCheck.h"

#include "IGraphicsLinux.h"
#include "Synth.h"
#include "http_test_server.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double SecondsSince(Clock::time_point start)
{
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The message boxes a user sees, written out from the product's texts.
struct Box
{
  std::string text, caption;
  int type;
};
const Box kFailure{"An error occurred while contacting the update server.", "Check Online for Update", 0};
const Box kUpToDate{"Your version is up to date.", "Check Online for Update", 0};
const Box kInvalid{"Invalid call to the update server.", "Check Online for Update", 0};
Box Question(const std::string& newVersion)
{
  return {"A new version of Veltrane is available.\n\n\tYour version: \t1.0.1\n\tNew version: \t" + newVersion +
              "\n\nDo you want to go to the download page to get the new version?",
          "New Version of Veltrane Detected", 4};
}

// Button positions of the scripted answer; kNoScript leaves the box to its default (Yes / OK).
constexpr int kNoScript = -2, kClosed = -1, kYes = 0, kNo = 1;

// Points the check at a test address for the life of the object; the proxy variables never apply to it.
class AddressOverride
{
public:
  explicit AddressOverride(const std::string& url)
  {
    setenv("no_proxy", "127.0.0.1", 1);
    setenv("NO_PROXY", "127.0.0.1", 1);
    setenv(UpdateCheck::kURLVariable, url.c_str(), 1);
  }
  ~AddressOverride() { unsetenv(UpdateCheck::kURLVariable); }
};

struct Outcome
{
  int result;
  std::vector<Box> boxes;
  std::vector<std::string> urls;
  double seconds;
};
// Sooner than the shortest limit the check could have waited out: the answer (or the refusal) ended it.
constexpr double kAtOnce = UpdateCheck::kConnectTimeoutMs / 1000.0;

Outcome RunCheck(const std::string& url, int button = kNoScript)
{
  AddressOverride address(url);
  IGraphicsLinux gui(nullptr, 8, 8);
  if (button != kNoScript) gui.ScriptMessageBoxButton(button);
  const auto start = Clock::now();
  Outcome out;
  out.result = UpdateCheck::checkVersionAgainstWeb(&gui, nullptr);
  out.seconds = SecondsSince(start);
  for (int i = 0; i < gui.NMessageBoxes(); ++i) {
    const auto* box = gui.GetMessageBox(i);
    out.boxes.push_back({box->text.Get(), box->caption.Get(), box->type});
  }
  out.urls = gui.OpenedURLs();
  return out;
}

void ExpectBoxes(const std::vector<Box>& expected, const Outcome& out)
{
  ASSERT_EQ(expected.size(), out.boxes.size());
  for (size_t i = 0; i < expected.size(); ++i) {
    EXPECT_EQ(expected[i].text, out.boxes[i].text) << "box " << i;
    EXPECT_EQ(expected[i].caption, out.boxes[i].caption) << "box " << i;
    EXPECT_EQ(expected[i].type, out.boxes[i].type) << "box " << i;
  }
}

struct ReplyCase
{
  const char* name;
  std::string response;
  int button;
  std::vector<Box> boxes;
  int result;
  bool opensDownloadPage;
};

const std::string kSpaces252(252, ' ');
// Web pages a server may send instead of a number: a 404 page, and a 2 kB page of status 200.
const std::string kPage404 = "<!DOCTYPE html>\n<html><head><title>404 Not Found</title></head>\n"
                             "<body><h1>Not Found</h1><p>The requested URL was not found.</p></body></html>\n";
std::string Page(size_t bytes)
{
  std::string page = "<!DOCTYPE html>\n<html><head><title>Update</title></head><body>\n";
  while (page.size() + 20 < bytes) page += "<p>1010 news</p>\n";
  page += "</body></html>\n";
  return page;
}
const std::string kPage2k = Page(2048);

} // namespace

// Every reply a server may give, the boxes it shows and what the check answers. A web page ('<' anywhere in
// the first kMaxReplyBytes) is an invalid call whatever its status or length. Otherwise a reply is a version
// only with status 200 and a body that begins with a digit after white space; anything else tells the user
// that the server could not be asked, never that the version is up to date.
TEST(UpdateCheck, RepliesGiveTheirBoxesAndResults)
{
  using R = TestHttpServer;
  const int refused = UpdateCheck::kRefusedReply;
  // 4 of the 10 bytes announced, then the connection ends; a redirect that must not be followed.
  const std::string cutOff = "HTTP/1.1 200 OK\r\nContent-Length: 10\r\nConnection: close\r\n\r\n2000";
  const std::string redirect = "HTTP/1.1 302 Found\r\nLocation: /other\r\nContent-Length: 4\r\n\r\n2000";
  const std::vector<ReplyCase> cases = {
      {"1002 yes", R::Response(200, "1002"), kYes, {Question("1.0.2")}, 0, true},
      {"1010 default", R::Response(200, "1010"), kNoScript, {Question("1.0.10")}, 0, true},
      {"2000 no", R::Response(200, "2000"), kNo, {Question("2.0.0")}, 0, false},
      {"1100 closed", R::Response(200, "1100"), kClosed, {Question("1.1.0")}, 0, false},
      {"1001", R::Response(200, "1001"), kNoScript, {kUpToDate}, 0, false},
      {"999", R::Response(200, "999"), kNoScript, {kUpToDate}, 0, false},
      {"1002 line break", R::Response(200, "1002\n"), kYes, {Question("1.0.2\n")}, 0, true},
      {"abc", R::Response(200, "abc"), kNoScript, {kFailure}, refused, false},
      {"blanks only", R::Response(200, " \r\n"), kNoScript, {kFailure}, refused, false},
      {"leading blank", R::Response(200, " 1010"), kNo, {Question("1.0.10")}, 0, false},
      {"leading line break", R::Response(200, "\r\n1001"), kNoScript, {kUpToDate}, 0, false},
      {"leading tab, newer", R::Response(200, "\t2000"), kYes, {Question("2.0.0")}, 0, true},
      {"web page", R::Response(200, "<html><body>2000</body></html>"), kNoScript, {kInvalid}, -3, false},
      {"number then <", R::Response(200, "2000<br>"), kNoScript, {kInvalid}, -3, false},
      {"empty body", R::Response(200, ""), kNoScript, {kFailure}, -1, false},
      {"503 with a number", R::Response(503, "2000"), kNoScript, {kFailure}, refused, false},
      {"404 with a low number", R::Response(404, "1001"), kNoScript, {kFailure}, refused, false},
      {"404 web page", R::Response(404, kPage404), kNoScript, {kInvalid}, -3, false},
      {"2 kB page", R::Response(200, kPage2k), kNoScript, {kInvalid}, -3, false},
      {"2 kB page, chunked", R::Response(200, kPage2k, "chunked"), kNoScript, {kInvalid}, -3, false},
      {"2 kB page to close, 503", R::Response(503, kPage2k, "close"), kNoScript, {kInvalid}, -3, false},
      {"'<' past what is read", R::Response(200, kSpaces252 + "1001<br>"), kNoScript, {kFailure}, refused, false},
      {"cut off", cutOff, kYes, {kFailure}, -5, false},
      {"redirect", redirect, kYes, {kFailure}, refused, false},
      {"ended by close", R::Response(200, "2000", "close"), kYes, {Question("2.0.0")}, 0, true},
      {"chunked", R::Response(200, "1010", "chunked"), kNo, {Question("1.0.10")}, 0, false},
      {"256 bytes", R::Response(200, "1001" + kSpaces252, "close"), kNoScript, {kUpToDate}, 0, false},
      {"257 bytes", R::Response(200, "1001 " + kSpaces252, "close"), kNoScript, {kFailure}, refused, false},
      {"oversized, declared", R::Response(200, std::string(100000, '2')), kYes, {kFailure}, refused, false},
      {"oversized, chunked", R::Response(200, std::string(100000, '2'), "chunked"), kYes, {kFailure}, refused, false},
      {"oversized, to close", R::Response(200, std::string(100000, '2'), "close"), kYes, {kFailure}, refused, false},
  };
  for (const ReplyCase& c : cases) {
    SCOPED_TRACE(c.name);
    TestHttpServer server(c.response);
    ASSERT_TRUE(server.ok());
    const Outcome out = RunCheck(server.url(), c.button);
    EXPECT_EQ(c.result, out.result);
    ExpectBoxes(c.boxes, out);
    const std::vector<std::string> opened =
        c.opensDownloadPage ? std::vector<std::string>{UpdateCheck::downloadPage()} : std::vector<std::string>{};
    EXPECT_EQ(opened, out.urls);
    EXPECT_EQ(1, server.requests());
    EXPECT_LT(out.seconds, kAtOnce);
  }
}

// A GET over HTTP/1.1 of the address given, carrying the path and query as they are.
TEST(UpdateCheck, AsksWithOneGet)
{
  TestHttpServer server(TestHttpServer::Response(200, "1001"));
  RunCheck(server.url());
  const std::string request = server.firstRequest();
  EXPECT_EQ(0u, request.find("GET /music/version/?file=veltrane HTTP/1.1\r\n")) << request;
  EXPECT_NE(std::string::npos, request.find("Host: 127.0.0.1:" + std::to_string(server.port()) + "\r\n"));
}

// Without the override (or with it empty) the maker's server is asked over HTTPS at the version path.
TEST(UpdateCheck, AddressAndItsOverride)
{
  unsetenv(UpdateCheck::kURLVariable);
  const std::string fixed = UpdateCheck::versionURL();
  EXPECT_EQ(0u, fixed.find("https://"));
  const std::string tail = "/music/version/?file=veltrane";
  ASSERT_GT(fixed.size(), tail.size());
  EXPECT_EQ(tail, fixed.substr(fixed.size() - tail.size()));
  EXPECT_NE(std::string::npos, fixed.find(UpdateCheck::kMakerHost));
  EXPECT_EQ(0u, UpdateCheck::downloadPage().find(std::string("https://") + UpdateCheck::kMakerHost + "/"));
  {
    AddressOverride empty("");
    EXPECT_EQ(fixed, UpdateCheck::versionURL());
  }
  {
    AddressOverride other("http://127.0.0.1:9/x");
    EXPECT_EQ("http://127.0.0.1:9/x", UpdateCheck::versionURL());
  }
}

TEST(UpdateCheck, RefusedConnectionShowsTheFailureAtOnce)
{
  RefusingPort port;
  ASSERT_GT(port.port(), 0);
  const Outcome out = RunCheck("http://127.0.0.1:" + std::to_string(port.port()) + "/music/version/?file=veltrane");
  EXPECT_EQ(-1, out.result);
  ExpectBoxes({kFailure}, out);
  EXPECT_LT(out.seconds, kAtOnce);
}

// A server that takes the request and never answers: the check gives up after its total limit of 10 s and
// shows the failure box (the only slow test here).
TEST(UpdateCheck, SilentServerTimesOut)
{
  TestHttpServer server("", TestHttpServer::kSilent);
  ASSERT_TRUE(server.ok());
  const Outcome out = RunCheck(server.url());
  EXPECT_EQ(-1, out.result);
  ExpectBoxes({kFailure}, out);
  EXPECT_TRUE(server.requestSeen());
  EXPECT_GE(out.seconds, UpdateCheck::kTotalTimeoutMs / 1000.0 - 0.5);
  EXPECT_LE(out.seconds, 30.0) << "a guard: the limit counts from within the check, its end comes when it may";
}

// TLS verification stays on: an HTTPS server whose certificate no one vouches for (made for 127.0.0.1, so
// only the trust is missing) is never asked, even though it would announce a newer version.
TEST(UpdateCheck, UntrustedCertificateIsRefused)
{
  TestHttpServer server(TestHttpServer::Response(200, "2000"), TestHttpServer::kAnswer, 0, true);
  ASSERT_TRUE(server.ok());
  ASSERT_EQ(0u, server.url().find("https://127.0.0.1:"));
  const Outcome out = RunCheck(server.url());
  EXPECT_EQ(-1, out.result);
  ExpectBoxes({kFailure}, out);
  EXPECT_EQ(0, server.requests());
  EXPECT_LT(out.seconds, kAtOnce);
}

// Only the web is asked: an address of another scheme (here a local file holding a newer number) is never
// read as a version.
TEST(UpdateCheck, OtherSchemesAreRefused)
{
  char path[] = "/tmp/veltrane_update_XXXXXX";
  const int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(4, write(fd, "2000", 4));
  close(fd);
  const Outcome out = RunCheck(std::string("file://") + path);
  unlink(path);
  EXPECT_EQ(-1, out.result);
  ExpectBoxes({kFailure}, out);
}

TEST(UpdateCheck, NoSurfaceAsksNothing)
{
  TestHttpServer server(TestHttpServer::Response(200, "2000"));
  AddressOverride address(server.url());
  EXPECT_EQ(UpdateCheck::kHandlingFailed, UpdateCheck::checkVersionAgainstWeb(nullptr, nullptr));
  EXPECT_EQ(0, server.requests());
}

namespace {
VstIntPtr SilentHost(AEffect*, VstInt32, VstInt32, VstIntPtr, void*, float)
{
  return 0;
}

class MenuSynth : public Synth
{
public:
  MenuSynth() : Synth(IPlugInstanceInfo{SilentHost}) { AttachGraphics(graphics); }
};
} // namespace

// The program menu's command runs the check with the plug-in's name in the question; while it waits for a
// slow server, another thread (the audio thread's stand-in) takes the instance mutex without waiting for it.
TEST(UpdateCheck, MenuCommandWaitsWithoutTheInstanceMutex)
{
  constexpr int kDelayMs = 600;
  TestHttpServer server(TestHttpServer::Response(200, "1010"), TestHttpServer::kAnswer, kDelayMs);
  ASSERT_TRUE(server.ok());
  AddressOverride address(server.url());
  MenuSynth synth;
  synth.graphics->ScriptMessageBoxButton(kYes);

  // The server answers once the stand-in holds the mutex: a check that waited with the mutex held would get no
  // answer (it gives up at its limit, and only then would the stand-in take the mutex).
  server.holdAnswer(true);
  std::atomic<bool> tookMutex{false};
  std::thread audio([&] {
    const auto end = Clock::now() + std::chrono::seconds(30);
    while (!server.requestSeen() && Clock::now() < end) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    WDL_MutexLock lock(synth.GetMutex());
    tookMutex = true;
    server.holdAnswer(false);
  });
  const auto start = Clock::now();
  synth.runFileCommand(File::kCheckVersion);
  const double seconds = SecondsSince(start);
  audio.join();

  EXPECT_TRUE(tookMutex);
  EXPECT_GE(seconds, kDelayMs / 1000.0 - 0.05);
  ASSERT_EQ(1, synth.graphics->NMessageBoxes());
  EXPECT_EQ(Question("1.0.10").text, synth.graphics->GetMessageBox(0)->text.Get())
      << "the check did not get the answer sent once the mutex was taken";
  EXPECT_STREQ("New Version of Veltrane Detected", synth.graphics->GetMessageBox(0)->caption.Get());
  ASSERT_EQ(1u, synth.graphics->OpenedURLs().size());
  EXPECT_EQ(UpdateCheck::downloadPage(), synth.graphics->OpenedURLs()[0]);
}
