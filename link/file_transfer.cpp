// Files: receiving what the server offers into temp/, and sending a local file
// the server asked for.
#include <algorithm>

#include "foundation/json.h"
#include "link/client_udp.h"
#include "platform/clock.h"

namespace {

// A local file named in a job: backslashes are the Windows form of our '/';
// a relative name is taken in the working folder.
std::string LocalPath(const std::string& workDir, std::string name) {
  std::replace(name.begin(), name.end(), '\\', '/');
  if (!name.empty() && name[0] == '/') return name;
  return plat::JoinPath(workDir, name);
}

}  // namespace

void client_udp::OnOffer(const std::string& text) {
  if (fstreamRecive.IsOpen()) {
    BaseLostConnect();
    return;
  }
  ++OfferCount;
  std::string name = GetValueFromJSON(text, "name");
  if (!plat::IsPlainFileName(name)) {
    // A name that could leave temp/ is never opened: refused like a file
    // that cannot be created.
    FileNameRecive.clear();
    LostConnect(3);
    return;
  }
  FileNameRecive = name;
  SendOne("{\"$c$\":\"startrecivefile\"}");
  int th = TekHost();
  std::string address = th >= 0 && th < static_cast<int>(host().size()) ? host()[th] : "";
  Log("sendfile " + text + " " + address + ":" + std::to_string(port()) + " " +
      std::to_string(CountMes) + " " + std::to_string(TIDB[0]) + std::to_string(TIDB[1]));
  if (OfferCount > kMaxOffers) {
    BaseLostConnect();
    OfferCount = 0;
    ReadJSON.PutSoob("{\"$c$\":\"disconnected\",\"p\":12}");
  }
}

void client_udp::OnFilePacket(const TAssembled& a) {
  const zag_ex& h = a.h;
  reciveTime.store(plat::TickMs());
  if (!fstreamRecive.IsOpen()) {
    if (FileNameRecive.empty()) {
      LostConnect(4);
      return;
    }
    std::string path = plat::JoinPath(TempDir_, FileNameRecive);
    bool ok = plat::FileExists(path)
                  ? fstreamRecive.Open(path, plat::File::kReadWrite, kFileOpenAttempts)
                  : fstreamRecive.Open(path, plat::File::kCreate);
    if (!ok) {
      LostConnect(3);
      return;
    }
    fstreamRecive.Truncate(h.Size);
    fileAt_ = 0;
    ReciveSize = h.Size;
    OfferCount = 0;
    PacketRsM.Clear();
    if (Connected.load() && TReassembly::Consistent(h)) PacketRsM.Create(h.AllPacket);
  }
  if (!Connected.load()) return;
  // A packet that does not fit the file announced is not written or counted.
  if (h.TPacket == 0 || h.TPacket > PacketRsM.Packets()) return;
  if (static_cast<int64_t>(h.pos) + static_cast<int64_t>(a.data.size()) > ReciveSize) return;
  // In-order packets land where the last write ended; only others need a seek.
  const bool placed = fileAt_ == static_cast<int64_t>(h.pos) || fstreamRecive.Seek(h.pos);
  RecivePos = h.pos;
  fileAt_ = -1;
  if (!a.data.empty()) {
    if (!placed || !fstreamRecive.Write(a.data.data(), static_cast<int64_t>(a.data.size()))) {
      // A full disk: a file with holes must never be handed on as received.
      Log("file write failed " + FileNameRecive);
      // Late packets of this transfer must not open the file again.
      FileNameRecive.clear();
      LostConnect(3);
      return;
    }
    fileAt_ = RecivePos + static_cast<int64_t>(a.data.size());
  }
  bool was = false;
  PacketRsM.SetBit8(h.TPacket, was);
  if (was) ++ResendPacket;
  SizePLoad += static_cast<int64_t>(h.sizepacket) - 2;
  perload = PacketRsM.Percent();
  if (!PacketRsM.Complete()) return;
  Log("fileok " + FileNameRecive);
  fstreamRecive.Close();
  PacketRsM.Clear();
  Reciever().LastCountSoob.store(h.count + 1);
  std::string name = FileNameRecive;
  FileNameRecive.clear();
  if (!Hooks().OnFileComplete(*this, name, plat::JoinPath(TempDir_, name), ReciveSize))
    ReadJSON.PutSoob("{\"$c$\":\"getfileok\",\"name\":\"" + JSONString(name) + "\"}");
}

bool client_udp::StartFileJob(int64_t now) {
  std::string job;
  if (!SoobFile.GetSoob(job)) return false;
  JobName = GetValueFromJSON(job, "name");
  JobNameInServ = GetValueFromJSON(job, "nameinserv");
  win_.PacketReSend = 0;
  if (!plat::FileExists(LocalPath(WorkDir, JobName))) {
    SoobFile.DeleteSoob();
    return true;
  }
  stru_packetsb& ps = win_.PacketSend;
  ps.SFile = true;
  ps.typepacket = kTypeFile;
  ps.start_ = true;
  ps.Percent = 0;
  ps.CountPacket = 0;
  StartFile = false;
  StartFileTimeOut = now + win_.PacketTimeOut;
  SendOffer();
  return true;
}

void client_udp::SendOffer() {
  SendOne("{\"$c$\":\"sendfile\",\"name\":\"" + JSONString(JobName) + "\",\"nameinserv\":\"" +
          JSONString(JobNameInServ) + "\",\"tid\":\"" + tId + "\"}");
}

void client_udp::RepeatOffer(int64_t now) {
  if (now <= StartFileTimeOut) return;
  StartFileTimeOut += win_.PacketTimeOut;
  SendOffer();
}

void client_udp::OnServerAcceptsFile() {
  if (!win_.PacketSend.start_ || !win_.PacketSend.SFile || fstreamSend.IsOpen()) return;
  if (!fstreamSend.Open(LocalPath(WorkDir, JobName), plat::File::kRead, kFileOpenAttempts)) return;
  fstreamSend.Seek(0);
  StartFile = true;
  win_.StartFile(fstreamSend.Size(), ++CountMes);
}

void client_udp::FileSent() {
  ReadJSON.PutSoob("{\"$c$\":\"sendfileok\",\"name\":\"" + JSONString(JobName) +
                   "\",\"nameinserv\":\"" + JSONString(JobNameInServ) +
                   "\",\"size\":" + std::to_string(win_.PacketSend.Size) + "}");
  SoobFile.DeleteSoob();
  fstreamSend.Close();
  win_.Clear();
  StartFile = false;
  win_.Adapt();
}
