// The program menu's online update check: asks the maker's server for the number of the newest released
// version, tells the user in message boxes whether it is newer than this program, and on a Yes opens the
// download page in the web browser.
//
// The server answers a GET of the version address with a body that is a decimal number: 1002 is version
// 1.0.2, 1010 is 1.0.10, 2000 is 2.0.0 (white space before it is skipped). Numbers of kThreshold or more
// announce a newer version. A body holding '<' is a web page, not an answer: the user is told the call was
// invalid, whatever the status.
//
//   // editor thread, without the instance mutex:
//   int status = UpdateCheck::checkVersionAgainstWeb(graphics, plug);
//
// Threads: the editor's (main) thread. The check blocks that thread for at most kTotalTimeoutMs while it
// waits for the network and takes no lock, so the audio thread keeps running; the caller must not hold the
// plug-in's instance mutex either. It keeps no state between calls.
#pragma once

#include <string>

class IGraphics;
class IPlugBase;

namespace UpdateCheck {

// The maker's web site, kept here and nowhere else: the version address is https://<host><path> and the
// download page https://<host><download path>.
constexpr const char* kMakerHost = "www.tarnwellmusic.com";
constexpr const char* kVersionPath = "/music/version/?file=veltrane";
constexpr const char* kDownloadPath = "/music/veltrane/";
// When set and not empty, this environment variable replaces the version address (tests point it at 127.0.0.1).
constexpr const char* kURLVariable = "VELTRANE_UPDATE_URL";

// Replies of kThreshold (version 1.0.2) or more are newer than this program, whose version the question
// shows as kVersionText.
constexpr int kThreshold = 1002;
constexpr const char* kVersionText = "1.0.1";

// A version reply is a few digits: at most this many bytes of a body are read, and a longer body is no
// version (unless what was read shows it to be a web page).
constexpr int kMaxReplyBytes = 256;
// Network limits in milliseconds: reaching the server, and the whole exchange.
constexpr long kConnectTimeoutMs = 5000;
constexpr long kTotalTimeoutMs = 10000;

// Results of a check (the menu ignores them; tests read them).
enum Status {
  kDone = 0,            // the user was told the answer
  kEmptyReply = -1,     // no connection, or nothing came back
  kHandlingFailed = -2, // the answer could not be put together (out of memory)
  kInvalidReply = -3,   // the server sent a page ('<' in what was read, whatever the status), not a number
  kRefusedReply = -4,   // without '<': a status other than 200, no digit first after white space, or too long
  kReadError = -5,      // the transfer broke off after some bytes
};

// What one exchange with the server brought back.
struct Reply
{
  enum Transfer {
    kComplete, // the server's whole answer arrived
    kFailed,   // no connection, a refused certificate, a timeout or a broken transfer
    kTooLong,  // the body passed kMaxReplyBytes and the transfer was stopped after its first kMaxReplyBytes
  };
  Transfer transfer = kFailed;
  long httpStatus = 0; // 0 when no status line arrived
  std::string body;    // at most kMaxReplyBytes bytes: what was read
};

// The address the check asks: the variable's value when it is set and not empty, else the maker's.
std::string versionURL();
// The page a Yes opens.
std::string downloadPage();

// One GET of url over HTTP or HTTPS (no other scheme, no redirects), with the certificate and host name
// verified and the limits above. Blocks the calling thread until the exchange ends.
Reply fetchReply(const std::string& url);

// The new version's text from a reply of at least three characters: character 0, ".", character 1, ".",
// then the reply from position 3 when character 2 is '0', else from position 2 ("1010" gives "1.0.10",
// "2000" gives "2.0.0"). Whatever follows the digits stays in the text.
std::string newVersionText(const std::string& reply);

// Tells the user what the reply means through the surface's message boxes, opens the download page when
// the user answers Yes (1) to the new-version question, and answers the Status. A null surface shows
// nothing and answers kHandlingFailed. productName names the product in the texts ("Veltrane").
int handleReply(IGraphics* graphics, const char* productName, const Reply& reply);

// The whole check: versionURL, fetchReply, handleReply. The product name comes from the plug-in (its
// effect name), or "Veltrane" without one.
int checkVersionAgainstWeb(IGraphics* graphics, IPlugBase* plug);

} // namespace UpdateCheck
