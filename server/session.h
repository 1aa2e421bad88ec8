// One workstation as the server's transport sees it: the packets coming in,
// put back together into messages with duplicates filtered out, and the queue
// of what goes out. Out-going items (texts, raw records, files) leave strictly
// one after another, each completely acknowledged before the next begins,
// because the workstation reassembles one message at a time and drops packets
// numbered below the last message it completed.
#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "foundation/json.h"  // Bytes
#include "link/datagram.h"
#include "platform/udp_socket.h"

namespace srv {

struct OutItem {
  uint8_t type = kTypeText;       // kTypeText, kTypeRaw2 or kTypeFile
  Bytes data;                     // the text, the raw message or the file content
  std::string offer_name;         // files: the name offered in "sendfile"
  std::function<void()> on_done;  // runs when the item is completely acknowledged
};

// A message put back together.
struct InMessage {
  uint8_t type = 0;
  int64_t count = 0;
  Bytes data;
};

class Session {
 public:
  using SendFn = std::function<void(const plat::Ipv4Addr&, const Bytes&)>;

  static constexpr int kWindow = 192;
  static constexpr int kMaxTransmissions = 20;
  static constexpr uint32_t kMaxMessage = 64u << 20;

  Session(plat::Ipv4Addr addr, int64_t now);

  const plat::Ipv4Addr addr;
  int64_t last_heard = 0;
  int64_t last_sent = 0;

  // Log-in state, kept by the dispatcher.
  bool logged_in = false;
  std::string tid;
  uint8_t tidb[16] = {};
  std::string user;
  Bytes last_reg;  // the datagram of the last log-in request, to spot duplicates
  std::set<std::string> tables_sent;
  std::map<std::string, Bytes> files;  // prepared files, served on "getfile"
  std::deque<std::string> file_order;  // their names, oldest first
  bool history_busy = false;
  int64_t history_busy_at = 0;
  std::set<std::string> archived;
  int file_serial = 0;

  // Forgets the incoming numbering (a new log-in starts it again at 1).
  void ResetIncoming();
  // Drops everything queued or in transit.
  void ResetOutgoing();

  // A validated data packet; completed messages are appended to done. Returns
  // false when the packet is malformed (it is then not acknowledged).
  bool Receive(const zag_ex& h, const Bytes& data, std::vector<InMessage>& done);
  void OnAck(const zag_ex& h, int64_t now);

  void Queue(OutItem item) { queue_.push_back(std::move(item)); }
  size_t Queued() const { return queue_.size() + (active_ ? 1 : 0); }
  // The workstation accepted the offered file ("startrecivefile").
  void AcceptFile(int64_t now);

  // Sends what is due. False when a packet went unanswered too often: the
  // workstation is gone.
  bool Tick(int64_t now, const SendFn& send);

  int64_t retransmissions() const { return retransmissions_; }

 private:
  enum class Phase { kIdle, kSending, kOffer, kWaitAccept, kFileData };
  struct Slot {
    uint32_t k = 0;
    uint32_t tpacket = 0;
    int64_t due = 0;
    int64_t sent_at = 0;
    int tx = 0;
    bool used = false;
  };
  struct Partial {
    uint8_t type = 0;
    uint32_t size = 0, all = 0, have = 0;
    Bytes buf;
    std::vector<bool> got;
  };

  void StartTransfer(uint8_t type, const Bytes* data, int64_t now);
  void FinishItem(int64_t now);
  bool IsDone(int64_t count) const;
  void MarkDone(int64_t count);
  void SendPacket(Slot& s, int64_t now, const SendFn& send);

  // Incoming.
  std::map<int64_t, Partial> partial_;
  std::set<int64_t> done_;
  int64_t done_floor_ = 0;  // every number up to this is complete
  uint64_t partial_bytes_ = 0;

  // Outgoing.
  std::deque<OutItem> queue_;
  bool active_ = false;
  OutItem item_;
  Phase phase_ = Phase::kIdle;
  int64_t count_out_ = 0;
  uint8_t tx_type_ = 0;
  const Bytes* tx_data_ = nullptr;
  Bytes offer_text_;
  int64_t tx_count_ = 0;
  uint32_t tx_packets_ = 0, next_k_ = 0, serial_ = 0, acked_ = 0;
  std::vector<Slot> slots_;
  int64_t wait_until_ = 0;
  int offers_ = 0;
  double srtt_ = 20;
  int64_t retransmissions_ = 0;
};

}  // namespace srv
