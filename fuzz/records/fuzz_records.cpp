// Record sets from arbitrary bytes: what arrives hex-encoded in server
// messages and what is read from the screen-settings file.
#include <cstdint>
#include <cstdlib>

#include "app/records/records.h"
#include "platform/clock.h"

namespace {

void Check(bool ok) {
  if (!ok) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static plat::FakeClock clock;  // the same SaveTime for every serialisation
  plat::SetClock(&clock);

  TGFDataS d;
  d.AddGroup("before");
  const Bytes before = d.ToBytes();
  if (!d.FromBytes(data, size)) {
    Check(d.ToBytes() == before);  // a failed read changes nothing
    return 0;
  }
  // Read every field of every record the way the program does.
  Bytes out;
  for (int g = 0; g < d.Groups() && g < 8; ++g) {
    const stru_gfdata_group& grp = *d.Group(g);
    const int fields = static_cast<int>(grp.Pars.size());
    const int records = d.RecordCount(g);
    for (int r = -2; r < records && r < 16; ++r) {
      if (r == -1) continue;
      for (int f = 0; f < fields && f < 32; ++f) {
        d.GetInteger(g, f, r);
        d.GetSingle(g, f, r);
        d.GetByte(g, f, r);
        const std::string s = d.GetString(g, f, r);
        Check(s.size() <= 255);
        if (d.GetBytes(g, f, r, out)) Check(out.size() == static_cast<size_t>(grp.Pars[f].Size));
      }
    }
  }
  // What was read serialises and reads back to the same bytes.
  const Bytes first = d.ToBytes();
  TGFDataS e;
  Check(e.FromBytes(first));
  Check(e.ToBytes() == first);
  // Writes stay inside the records.
  if (e.Groups() > 0) {
    const int fields = static_cast<int>(e.Group(0)->Pars.size());
    for (int f = 0; f < fields && f < 16; ++f) {
      e.SetString(0, f, 0, "xyz");
      e.SetInteger(0, f, -2, 7);
      e.SetSingle(0, f, 0, 1.5f);
    }
    // Appending builds a record of every field's default bytes; keep it small
    // so each run stays quick (the limits themselves are unit-tested).
    int64_t width = 0;
    for (const auto& p : e.Group(0)->Pars) width += p.Size < 0 ? 0 : p.Size;
    if (width < 65536) e.SetInteger(0, 0, -1, 1);
    Check(e.FromBytes(e.ToBytes()));
  }
  return 0;
}
