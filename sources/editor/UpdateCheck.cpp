#include "UpdateCheck.h"

#include "IGraphics.h"
#include "IPlugBase.h"
#include "Synth.h"

#include <curl/curl.h>

#include <climits>
#include <cstdlib>
#include <mutex>

namespace UpdateCheck {

namespace {

constexpr const char* kCaption = "Check Online for Update";
constexpr const char* kInvalidText = "Invalid call to the update server.";
constexpr const char* kUpToDateText = "Your version is up to date.";
constexpr const char* kFailureText = "An error occurred while contacting the update server.";
constexpr const char* kDefaultProductName = "Veltrane";
constexpr const char* kUserAgent = "Veltrane/1.0.1";

// Message boxes: type 0 has one OK button, type 4 Yes and No. Only the Yes answer (1) acts; No (7) and a
// box closed without a button (0) leave it.
constexpr int kBoxOK = 0, kBoxYesNo = 4, kAnswerYes = 1;
constexpr long kHttpOK = 200;
// The smallest read curl allows; the body is small anyway.
constexpr long kReadChunkBytes = 1024;

// Receives the body, up to kMaxReplyBytes of it. Everything it needs was reserved before the transfer, so
// appending never allocates.
struct BodySink
{
  std::string* body;
  bool tooLong;
};

size_t writeBody(char* data, size_t size, size_t count, void* user)
{
  BodySink* sink = static_cast<BodySink*>(user);
  const size_t bytes = size * count, room = (size_t)kMaxReplyBytes - sink->body->size();
  if (bytes > room) {
    // What fits is kept (a web page shows itself by its first bytes); the rest is not read.
    sink->body->append(data, room);
    sink->tooLong = true;
    return 0; // a short count makes curl stop the transfer
  }
  sink->body->append(data, bytes);
  return bytes;
}

// curl's process-wide set-up, once. It is never undone: the host process may use curl itself.
bool curlReady()
{
  static std::once_flag once;
  static bool ready = false;
  std::call_once(once, [] { ready = curl_global_init(CURL_GLOBAL_DEFAULT) == CURLE_OK; });
  return ready;
}

bool isDigit(char c)
{
  return c >= '0' && c <= '9';
}

// The reply from its first character that is not white space (as the C library's number readers skip it).
std::string withoutLeadingSpace(const std::string& text)
{
  const size_t first = text.find_first_not_of(" \t\n\v\f\r");
  return first == std::string::npos ? std::string() : text.substr(first);
}

// The leading decimal digits as a number, saturating at INT_MAX (a reply may hold up to kMaxReplyBytes).
int leadingNumber(const std::string& text)
{
  long long value = 0;
  for (char c : text) {
    if (!isDigit(c)) break;
    value = value * 10 + (c - '0');
    if (value > INT_MAX) return INT_MAX;
  }
  return (int)value;
}

std::string question(const char* productName, const std::string& newVersion)
{
  std::string text = "A new version of ";
  text += productName;
  text += " is available.\n\n";
  text += "\tYour version: \t";
  text += kVersionText;
  text += "\n";
  text += "\tNew version: \t";
  text += newVersion;
  text += "\n";
  text += "\nDo you want to go to the download page to get the new version?";
  return text;
}

// Shows what a body of status 200 without '<' means; may throw when memory runs out.
int tellUser(IGraphics* graphics, const char* productName, const std::string& reply)
{
  const std::string body = withoutLeadingSpace(reply);
  // A body without a number is an error page or garbage, not version 0.
  if (body.empty() || !isDigit(body[0])) return kRefusedReply;
  if (leadingNumber(body) < kThreshold) {
    graphics->ShowMessageBox(kUpToDateText, kCaption, kBoxOK);
    return kDone;
  }
  const std::string text = question(productName, newVersionText(body));
  const std::string caption = std::string("New Version of ") + productName + " Detected";
  if (graphics->ShowMessageBox(text.c_str(), caption.c_str(), kBoxYesNo) == kAnswerYes)
    graphics->OpenURL(downloadPage().c_str());
  return kDone;
}

} // namespace

std::string versionURL()
{
  const char* url = std::getenv(kURLVariable);
  if (url && *url) return url;
  return std::string("https://") + kMakerHost + kVersionPath;
}

std::string downloadPage()
{
  return std::string("https://") + kMakerHost + kDownloadPath;
}

Reply fetchReply(const std::string& url)
{
  Reply reply;
  reply.body.reserve(kMaxReplyBytes);
  if (!curlReady()) return reply;
  CURL* curl = curl_easy_init();
  if (!curl) return reply;

  BodySink sink{&reply.body, false};
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  // Only the web: the address may come from the environment, and a file:// or other scheme must not be
  // read as a version.
#if LIBCURL_VERSION_NUM >= 0x075500
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https");
#else
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS, (long)(CURLPROTO_HTTP | CURLPROTO_HTTPS));
#endif
  curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(curl, CURLOPT_HTTP_VERSION, (long)CURL_HTTP_VERSION_1_1);
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 2L);
  // No signals: the host's process owns them, and curl's alarm-based name lookup timeout is not thread-safe.
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, kConnectTimeoutMs);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, kTotalTimeoutMs);
  curl_easy_setopt(curl, CURLOPT_BUFFERSIZE, kReadChunkBytes);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, kUserAgent);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &writeBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);

  const CURLcode result = curl_easy_perform(curl);
  long status = 0;
  if (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK) reply.httpStatus = status;
  curl_easy_cleanup(curl);

  if (result == CURLE_OK)
    reply.transfer = Reply::kComplete;
  else if (sink.tooLong)
    reply.transfer = Reply::kTooLong;
  else
    reply.transfer = Reply::kFailed;
  return reply;
}

std::string newVersionText(const std::string& reply)
{
  if (reply.size() < 3) return reply;
  std::string text;
  text += reply[0];
  text += '.';
  text += reply[1];
  text += '.';
  text += reply.substr(reply[2] == '0' ? 3 : 2);
  return text;
}

int handleReply(IGraphics* graphics, const char* productName, const Reply& reply)
{
  if (!graphics) return kHandlingFailed;
  if (!productName) productName = kDefaultProductName;
  // What was read decides first: a web page ('<' anywhere in it) is an invalid call, whatever the status
  // and however the transfer ended, and its own box says enough.
  try {
    if (reply.body.find('<') != std::string::npos) {
      graphics->ShowMessageBox(kInvalidText, kCaption, kBoxOK);
      return kInvalidReply;
    }
  } catch (...) {
    return kHandlingFailed;
  }
  int status;
  if (reply.transfer == Reply::kTooLong)
    status = kRefusedReply;
  else if (reply.transfer == Reply::kFailed)
    status = reply.body.empty() ? kEmptyReply : kReadError; // a cut-off number is no version
  else if (reply.httpStatus != kHttpOK)
    status = kRefusedReply; // an error page must not read as "up to date"
  else if (reply.body.empty())
    status = kEmptyReply;
  else {
    try {
      status = tellUser(graphics, productName, reply.body);
    } catch (...) {
      status = kHandlingFailed;
    }
  }
  if (status != kDone) graphics->ShowMessageBox(kFailureText, kCaption, kBoxOK);
  return status;
}

int checkVersionAgainstWeb(IGraphics* graphics, IPlugBase* plug)
{
  if (!graphics) return kHandlingFailed;
  const char* productName = plug && plug->GetEffectName()[0] ? plug->GetEffectName() : kDefaultProductName;
  try {
    return handleReply(graphics, productName, fetchReply(versionURL()));
  } catch (...) {
    // Out of memory before the reply could be handled.
    try {
      graphics->ShowMessageBox(kFailureText, kCaption, kBoxOK);
    } catch (...) {
    }
    return kHandlingFailed;
  }
}

} // namespace UpdateCheck

// The menu's command runs this on the editor thread without the instance mutex (Synth::runFileCommand).
int Synth::checkVersionAgainstWeb()
{
  return UpdateCheck::checkVersionAgainstWeb(graphics, this);
}
