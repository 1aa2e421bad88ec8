#include "app/records/records.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "platform/clock.h"
#include "platform/files.h"

namespace {

// A record built by appending may not grow beyond this.
constexpr size_t kMaxRecordSize = size_t{64} << 20;

uint32_t GetU32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void PutU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void AppendU32(Bytes& out, uint32_t v) {
  uint8_t b[4];
  PutU32(b, v);
  out.insert(out.end(), b, b + 4);
}

void AppendI32(Bytes& out, int32_t v) {
  AppendU32(out, static_cast<uint32_t>(v));
}

void AppendF64(Bytes& out, double v) {
  uint64_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  AppendU32(out, static_cast<uint32_t>(bits));
  AppendU32(out, static_cast<uint32_t>(bits >> 32));
}

// Bytes a field of this type takes in a record; for type 11 (and codes we do
// not know) the size given; -1 when that size cannot be right.
int32_t SizeForType(uint8_t type, int32_t given) {
  switch (type) {
    case kGFByte:
    case kGFBool:
      return 1;
    case kGFWord:
      return 2;
    case kGFInteger:
    case kGFSingle:
    case kGFDword:
    case kGFType25:
    case kGFType26:
      return 4;
    case kGFDouble:
    case kGFInt64:
    case kGFDateTime:
      return 8;
    case kGFString:
      return given;  // the stored length decides, per record
    default:
      return given >= 0 && given <= TGFDataS::kMaxFieldSize ? given : -1;
  }
}

// Bytes of a field in a new record: a type-24 field is the empty short string.
size_t DefaultWidth(const stru_gfdata_par& p) {
  return p.Type == kGFString ? 1 : static_cast<size_t>(std::max<int32_t>(p.Size, 0));
}

// 1 + the largest id; ids read from outside may already be the largest there is.
int32_t NextId(int32_t top) {
  return top == INT32_MAX ? top : top + 1;
}

bool IsAutoNumber(const stru_gfdata_par& p) {
  return p.Type == kGFInteger && p.Size >= 4 && p.NameText() == "dn_abs";
}

// Bounds-checked reading of the byte form: every length and count is checked
// against what is left before anything is allocated.
class Reader {
 public:
  Reader(const uint8_t* d, size_t n) : d_(d), n_(n) {}
  size_t Left() const { return n_ - pos_; }
  bool I32(int32_t& v) {
    if (Left() < 4) return false;
    v = static_cast<int32_t>(GetU32(d_ + pos_));
    pos_ += 4;
    return true;
  }
  bool U8(uint8_t& v) {
    if (Left() < 1) return false;
    v = d_[pos_++];
    return true;
  }
  bool F64(double& v) {
    if (Left() < 8) return false;
    const uint64_t bits = GetU32(d_ + pos_) | uint64_t{GetU32(d_ + pos_ + 4)} << 32;
    std::memcpy(&v, &bits, sizeof v);
    pos_ += 8;
    return true;
  }
  bool Raw(void* out, size_t len) {
    if (Left() < len) return false;
    if (len > 0) std::memcpy(out, d_ + pos_, len);
    pos_ += len;
    return true;
  }
  bool Take(size_t len, Bytes& out) {
    if (Left() < len) return false;
    out.assign(d_ + pos_, d_ + pos_ + len);
    pos_ += len;
    return true;
  }

 private:
  const uint8_t* d_;
  size_t n_;
  size_t pos_ = 0;
};

}  // namespace

// ---- fields and groups -----------------------------------------------------

std::string stru_gfdata_par::NameText() const {
  const size_t len = std::min<size_t>(Name[0], Name.size() - 1);
  return std::string(reinterpret_cast<const char*>(Name.data() + 1), len);
}

void stru_gfdata_par::SetName(const std::string& name) {
  Name.fill(0);
  const size_t len = std::min<size_t>(name.size(), Name.size() - 1);
  Name[0] = static_cast<uint8_t>(len);
  std::memcpy(Name.data() + 1, name.data(), len);
}

const stru_gfdata_group* TGFDataS::Group(int g) const {
  if (g < 0 || g >= static_cast<int>(groups_.size())) return nullptr;
  return &groups_[static_cast<size_t>(g)];
}

stru_gfdata_group* TGFDataS::group(int g) {
  if (g < 0 || g >= static_cast<int>(groups_.size())) return nullptr;
  return &groups_[static_cast<size_t>(g)];
}

int TGFDataS::AddGroup(const std::string& name) {
  stru_gfdata_group grp;
  int32_t top = 0;
  for (const auto& x : groups_) top = std::max(top, x.Id);
  grp.Id = NextId(top);
  // The byte form carries the name as a short string.
  grp.Name = name.substr(0, 255);
  stru_gfdata_par auto_no;
  auto_no.Id = 1;
  auto_no.SetName("dn_abs");
  auto_no.Type = kGFInteger;
  auto_no.Size = 4;
  grp.Pars.push_back(auto_no);
  grp.ParCount = 1;
  groups_.push_back(std::move(grp));
  ++GroupCount;
  return static_cast<int>(groups_.size()) - 1;
}

int TGFDataS::FindGroup(const std::string& name) const {
  for (size_t i = 0; i < groups_.size(); ++i)
    if (groups_[i].Name == name) return static_cast<int>(i);
  return -1;
}

int TGFDataS::AddPar(int g, const std::string& name, uint8_t type, int32_t size) {
  stru_gfdata_group* grp = group(g);
  if (grp == nullptr) return -1;
  const int32_t field_size = SizeForType(type, size);
  if (field_size < 0 && type != kGFString) return -1;
  stru_gfdata_par p;
  int32_t top = 0;
  for (const auto& x : grp->Pars) top = std::max(top, x.Id);
  p.Id = NextId(top);
  p.SetName(name);
  p.Type = type;
  p.Size = field_size;
  const size_t width = DefaultWidth(p);
  for (auto& rec : grp->Records) rec.insert(rec.end(), width, uint8_t{0});
  grp->Pars.push_back(p);
  grp->ParCount = static_cast<int32_t>(grp->Pars.size());
  return static_cast<int>(grp->Pars.size()) - 1;
}

int TGFDataS::FindPar(int g, const std::string& name) const {
  const stru_gfdata_group* grp = Group(g);
  if (grp == nullptr) return -1;
  for (size_t i = 0; i < grp->Pars.size(); ++i)
    if (grp->Pars[i].NameText() == name) return static_cast<int>(i);
  return -1;
}

int TGFDataS::RecordCount(int g) const {
  const stru_gfdata_group* grp = Group(g);
  return grp == nullptr ? -1 : static_cast<int>(grp->Records.size());
}

// ---- record addressing -------------------------------------------------------

Bytes TGFDataS::DefaultRecord(stru_gfdata_group& grp) {
  size_t total = 0;
  for (const auto& p : grp.Pars) {
    total += DefaultWidth(p);
    if (total > kMaxRecordSize) return {};
  }
  Bytes rec(total, 0);
  bool numbered = false;
  size_t pos = 0;
  for (const auto& p : grp.Pars) {
    if (IsAutoNumber(p)) {
      PutU32(&rec[pos], static_cast<uint32_t>(grp.NextAutoNo));
      numbered = true;
    }
    pos += DefaultWidth(p);
  }
  // Numbers read from outside may sit at the top of the range: wrap, never overflow.
  if (numbered) grp.NextAutoNo = static_cast<int32_t>(static_cast<uint32_t>(grp.NextAutoNo) + 1u);
  return rec;
}

int TGFDataS::Locate(stru_gfdata_group& grp, int f, int& r) {
  if (r == kCurrent) {
    r = grp.Current;
  } else if (r == kAppend) {
    Bytes rec = DefaultRecord(grp);
    if (rec.empty()) return -1;
    grp.Records.push_back(std::move(rec));
    r = static_cast<int>(grp.Records.size()) - 1;
  }
  if (r < 0 || r >= static_cast<int>(grp.Records.size())) return -1;
  if (f == 0) return 0;
  const Bytes& rec = grp.Records[static_cast<size_t>(r)];
  size_t pos = 0;
  bool ok = !rec.empty();
  for (int i = 0; ok && i < f; ++i) {
    const stru_gfdata_par& p = grp.Pars[static_cast<size_t>(i)];
    if (p.Type == kGFString) {
      if (pos >= rec.size())
        ok = false;
      else
        pos += size_t{rec[pos]} + 1;
    } else {
      pos += static_cast<size_t>(std::max<int32_t>(p.Size, 0));
    }
    if (pos > rec.size()) ok = false;  // the record is shorter than its fields
  }
  grp.Current = ok ? r : -1;
  return ok ? static_cast<int>(pos) : -1;
}

uint8_t* TGFDataS::Field(int g, int f, int r, uint8_t type, size_t width, size_t* avail) {
  stru_gfdata_group* grp = group(g);
  if (grp == nullptr || f < 0 || f >= static_cast<int>(grp->Pars.size())) return nullptr;
  if (grp->Pars[static_cast<size_t>(f)].Type != type) return nullptr;
  const int pos = Locate(*grp, f, r);
  if (pos < 0) return nullptr;
  Bytes& rec = grp->Records[static_cast<size_t>(r)];
  const size_t left = rec.size() - static_cast<size_t>(pos);
  if (left < width) return nullptr;
  if (avail != nullptr) *avail = left;
  return rec.data() + pos;
}

int32_t TGFDataS::GetInteger(int g, int f, int r) {
  const uint8_t* p = Field(g, f, r, kGFInteger, 4);
  return p == nullptr ? 0 : static_cast<int32_t>(GetU32(p));
}

bool TGFDataS::SetInteger(int g, int f, int r, int32_t v) {
  uint8_t* p = Field(g, f, r, kGFInteger, 4);
  if (p == nullptr) return false;
  PutU32(p, static_cast<uint32_t>(v));
  return true;
}

float TGFDataS::GetSingle(int g, int f, int r) {
  const uint8_t* p = Field(g, f, r, kGFSingle, 4);
  if (p == nullptr) return 0;
  const uint32_t bits = GetU32(p);
  float v;
  std::memcpy(&v, &bits, sizeof v);
  return v;
}

bool TGFDataS::SetSingle(int g, int f, int r, float v) {
  uint8_t* p = Field(g, f, r, kGFSingle, 4);
  if (p == nullptr) return false;
  uint32_t bits;
  std::memcpy(&bits, &v, sizeof bits);
  PutU32(p, bits);
  return true;
}

uint8_t TGFDataS::GetByte(int g, int f, int r) {
  const uint8_t* p = Field(g, f, r, kGFBool, 1);
  return p == nullptr ? 0 : *p;
}

bool TGFDataS::GetBytes(int g, int f, int r, Bytes& out) {
  const stru_gfdata_group* grp = Group(g);
  if (grp == nullptr || f < 0 || f >= static_cast<int>(grp->Pars.size())) return false;
  const int32_t size = grp->Pars[static_cast<size_t>(f)].Size;
  if (size < 0) return false;
  const uint8_t* p = Field(g, f, r, kGFBytes, static_cast<size_t>(size));
  if (p == nullptr) return false;
  out.assign(p, p + size);
  return true;
}

std::string TGFDataS::GetString(int g, int f, int r) {
  size_t avail = 0;
  const uint8_t* p = Field(g, f, r, kGFString, 1, &avail);
  if (p == nullptr || avail - 1 < *p) return {};
  return std::string(reinterpret_cast<const char*>(p + 1), *p);
}

bool TGFDataS::SetString(int g, int f, int r, const std::string& s) {
  stru_gfdata_group* grp = group(g);
  if (grp == nullptr || f < 0 || f >= static_cast<int>(grp->Pars.size())) return false;
  if (grp->Pars[static_cast<size_t>(f)].Type != kGFString) return false;
  const int pos = Locate(*grp, f, r);
  if (pos < 0) return false;
  Bytes& rec = grp->Records[static_cast<size_t>(r)];
  const size_t at = static_cast<size_t>(pos);
  if (at >= rec.size()) return false;
  const size_t old_len = rec[at];
  if (rec.size() - at - 1 < old_len) return false;
  const size_t len = std::min<size_t>(s.size(), 255);
  if (len == old_len) {
    std::memcpy(rec.data() + at + 1, s.data(), len);
    return true;
  }
  Bytes out;
  out.reserve(rec.size() - old_len + len);
  out.insert(out.end(), rec.begin(), rec.begin() + static_cast<ptrdiff_t>(at));
  out.push_back(static_cast<uint8_t>(len));
  out.insert(out.end(), s.begin(), s.begin() + static_cast<ptrdiff_t>(len));
  out.insert(out.end(), rec.begin() + static_cast<ptrdiff_t>(at + 1 + old_len), rec.end());
  rec = std::move(out);
  return true;
}

// ---- byte form ---------------------------------------------------------------

Bytes TGFDataS::ToBytes() {
  SaveTime = plat::Now();
  Bytes out;
  AppendI32(out, Head1);
  AppendI32(out, Head2);
  AppendF64(out, SaveTime);
  AppendI32(out, Head3);
  // The counts written are those of the parts written, so the bytes always
  // read back (GroupCount itself survives a Clear and may be larger).
  const auto groups = std::count_if(groups_.begin(), groups_.end(),
                                    [](const stru_gfdata_group& x) { return x.Id > 0; });
  AppendI32(out, static_cast<int32_t>(groups));
  for (const auto& grp : groups_) {
    if (grp.Id <= 0) continue;
    AppendI32(out, grp.Id);
    AppendI32(out, grp.NextAutoNo);
    const size_t name_len = std::min<size_t>(grp.Name.size(), 255);
    out.push_back(static_cast<uint8_t>(name_len));
    out.insert(out.end(), grp.Name.begin(), grp.Name.begin() + static_cast<ptrdiff_t>(name_len));
    const auto pars = std::count_if(grp.Pars.begin(), grp.Pars.end(),
                                    [](const stru_gfdata_par& p) { return p.Id > 0; });
    AppendI32(out, static_cast<int32_t>(pars));
    for (const auto& p : grp.Pars) {
      if (p.Id <= 0) continue;
      AppendI32(out, p.Id);
      out.insert(out.end(), p.Name.begin(), p.Name.end());
      out.push_back(p.Type);
      AppendI32(out, p.Size);
      AppendI32(out, p.Reserved);
    }
    AppendI32(out, static_cast<int32_t>(grp.Records.size()));
    for (const auto& rec : grp.Records) {
      AppendI32(out, static_cast<int32_t>(rec.size()));
      out.insert(out.end(), rec.begin(), rec.end());
    }
  }
  return out;
}

bool TGFDataS::FromBytes(const uint8_t* data, size_t size) {
  if (data == nullptr && size > 0) return false;
  Reader in(data, size);
  int32_t h1, h2, h3, count;
  double saved;
  if (!in.I32(h1) || !in.I32(h2) || !in.F64(saved) || !in.I32(h3) || !in.I32(count) || count < 0)
    return false;
  // Counts are never trusted for reservation: each part read consumes bytes,
  // so a claim larger than the input fails when the input runs out.
  std::vector<stru_gfdata_group> groups;
  for (int32_t i = 0; i < count; ++i) {
    stru_gfdata_group grp;
    uint8_t name_len;
    int32_t pars, records;
    if (!in.I32(grp.Id) || !in.I32(grp.NextAutoNo) || !in.U8(name_len)) return false;
    grp.Name.resize(name_len);
    if (!in.Raw(grp.Name.data(), name_len) || !in.I32(pars) || pars < 0) return false;
    for (int32_t j = 0; j < pars; ++j) {
      stru_gfdata_par p;
      if (!in.I32(p.Id) || !in.Raw(p.Name.data(), p.Name.size()) || !in.U8(p.Type) ||
          !in.I32(p.Size) || !in.I32(p.Reserved))
        return false;
      if (p.Type != kGFString && (p.Size < 0 || p.Size > kMaxFieldSize)) return false;
      grp.Pars.push_back(p);
    }
    grp.ParCount = pars;
    if (!in.I32(records) || records < 0) return false;
    for (int32_t k = 0; k < records; ++k) {
      int32_t len;
      Bytes rec;
      if (!in.I32(len) || len < 0 || !in.Take(static_cast<size_t>(len), rec)) return false;
      grp.Records.push_back(std::move(rec));
    }
    grp.Current = 0;
    groups.push_back(std::move(grp));
  }
  Head1 = h1;
  Head2 = h2;
  SaveTime = saved;
  Head3 = h3;
  GroupCount = count;
  groups_.swap(groups);
  return true;
}

// ---- file ----------------------------------------------------------------------

std::string TGFDataS::Path() const {
  return plat::JoinPath(Dir, FileName);
}

bool TGFDataS::Save() {
  if (FileName.empty()) return false;
  const Bytes b = ToBytes();
  return plat::WriteFileAtomic(Path(), b);
}

bool TGFDataS::Load() {
  if (FileName.empty() || !plat::FileExists(Path())) return false;
  Bytes b;
  if (!plat::ReadWholeFile(Path(), b, kMaxFileSize)) return false;
  return FromBytes(b);
}
