// The update check's reply handling on arbitrary server answers: byte 0 picks the transfer's end, byte 1
// the HTTP status (200 for even values), byte 2 the user's button, the rest is the body. Whatever arrives,
// exactly one box is shown, a body holding '<' is an invalid call whatever the rest, only a complete 200
// reply that begins with a digit after white space can end well, and the download page opens only after a
// Yes to the new-version question.
#include "IGraphicsLinux.h"
#include "UpdateCheck.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
  if (size < 3) return 0;
  UpdateCheck::Reply reply;
  reply.transfer = (UpdateCheck::Reply::Transfer)(data[0] % 3);
  reply.httpStatus = data[1] % 2 ? 500 + data[1] : 200;
  const int button = data[2] % 4 - 1; // closed, Yes, No, or a button the box does not have
  const size_t bodySize = size - 3 < (size_t)UpdateCheck::kMaxReplyBytes ? size - 3 : UpdateCheck::kMaxReplyBytes;
  reply.body.assign(reinterpret_cast<const char*>(data + 3), bodySize);

  IGraphicsLinux gui(nullptr, 4, 4);
  gui.ScriptMessageBoxButton(button);
  const int status = UpdateCheck::handleReply(&gui, "Veltrane", reply);

  if (gui.NMessageBoxes() != 1) std::abort();
  const auto* box = gui.GetMessageBox(0);
  const bool page = reply.body.find('<') != std::string::npos;
  if (page != (status == UpdateCheck::kInvalidReply)) std::abort();
  const size_t first = reply.body.find_first_not_of(" \t\n\v\f\r");
  const bool wellFormed = reply.transfer == UpdateCheck::Reply::kComplete && reply.httpStatus == 200 && !page &&
                          first != std::string::npos && reply.body[first] >= '0' && reply.body[first] <= '9';
  if ((status == UpdateCheck::kDone) != wellFormed) std::abort();
  if (status != UpdateCheck::kDone && box->type != 0) std::abort();
  const bool question = box->type == 4;
  if (!gui.OpenedURLs().empty() && !(question && box->answer == 1)) std::abort();
  if (question && box->answer == 1 && gui.OpenedURLs().size() != 1) std::abort();
  if (question && std::strstr(box->text.Get(), "\tYour version: \t1.0.1\n") == nullptr) std::abort();
  return 0;
}
