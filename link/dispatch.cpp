// Dispatch of the server's commands (texts on SoobEJSON) and the backlog drain.
#include "foundation/json.h"
#include "link/client_udp.h"
#include "platform/clock.h"

void client_udp::Dispatch(const std::string& text) {
  const std::string c = GetValueFromJSON(text, "$c$");
  TLinkHooks& hooks = Hooks();
  if (c == "testex") {
    std::string messages = GetValueFromJSON(text, "messages");
    std::string filename =
        messages.empty() ? std::string() : GetValueFromJSON(messages, "filename");
    if (!filename.empty()) {
      MessagesRefreshFileName = filename;
      SendOne("{\"$c$\":\"getfile\",\"nameinserv\":\"client9\\\\" + tId + "\\\\" + filename +
              "\",\"tid\":\"" + tId + "\",\"name\":\"" + filename + "\",\"delete\":1}");
      ReadJSON.PutSoob("{\"$c$\":\"tosoob\",\"data\":\"messages\"}");
    }
  } else if (c.compare(0, 6, "bitrix") == 0 || c == "texttowav") {
    ReadJSON.PutSoob(text);
  } else if (c == "refreshtid") {
  } else if (c == "newlk" || c == "objectnotification" || c == "netyesadddatadatabase") {
    ReadJSON.PutSoob(text);
  } else if (c == "queuezag") {
  } else if (c == "getarchiveok") {
    hooks.OnGetArchiveOk(*this, text);
  } else if (c == "historyfromfile") {
    hooks.OnHistoryFromFile(*this, text);
  } else if (c == "tablerawfromfile") {
    hooks.OnTableRawFromFile(*this, text);
  } else if (c == "filetoserverok") {
  } else if (c == "refreshdatadatabase") {
    hooks.OnRefreshDataDatabase(*this, text);
  } else if (c == "sendfilenotfind") {
    ReadJSON.PutSoob(text);
  } else if (c == "sendfile") {
    OnOffer(text);
  } else if (c == "startrecivefileerror") {
    LostConnect(12);
  } else if (c == "startrecivefileerror2") {
    LostConnect(9);
  } else if (c == "putfilebase64ok") {
  } else if (c == "startrecivefile") {
    OnServerAcceptsFile();
  } else if (c == "filetoserver") {
    SoobFile.PutSoob(text);
  } else if (c == "mobiltech") {
    ReadJSON.PutSoob(GetValueFromJSON(text, "data"));
  } else if (c == "accessdenied") {
    OnAccessDenied(text);
  } else if (c == "reglkok" || c == "regpinok" || c == "regpinerror") {
    ReadJSON.PutSoob(text);
  } else if (c == "regok") {
    OnRegOk(text);
  } else {
    ReadJSON.PutSoob(text);
  }
}

void client_udp::BacklogStep(int64_t now) {
  if (now - SendSoobTime < 100) return;
  SendSoobTime = now;
  if (StartSoob && !Soob.IsSoob()) {
    // The entry has left the queue, so it went out: forget it.
    StartSoob = false;
    if (Back.FCount() > 0) Back.DeleteSoob();
  }
  if (Connected.load() && DatabaseLoad.load() && Back.FCount() > 0 && !StartSoob &&
      !Soob.IsSoob()) {
    StartSoob = true;
    SoobStr.clear();
    if (Back.GetSoob(SoobStr)) Soob.PutSoob(SoobStr);
  }
}
