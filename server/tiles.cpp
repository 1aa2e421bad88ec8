#include "server/tiles.h"

#include <cstdio>

#include "app/records/records.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "server/log.h"
#include "server/table.h"

#ifdef SVCDESK_SERVER_QT
#include <QBuffer>
#include <QImage>
#include <QPainter>
#endif
#ifdef SVCDESK_SERVER_CURL
#include <curl/curl.h>
#endif

namespace srv {

namespace {
bool ValidTile(int z, int x, int y) {
  if (z < 0 || z > 22) return false;
  int64_t n = int64_t{1} << z;
  return x >= 0 && y >= 0 && x < n && y < n;
}

std::string Expand(std::string t, int z, int x, int y) {
  auto rep = [&t](const std::string& key, int v) {
    for (size_t p; (p = t.find(key)) != std::string::npos;)
      t.replace(p, key.size(), std::to_string(v));
  };
  rep("{z}", z);
  rep("{x}", x);
  rep("{y}", y);
  return t;
}

#ifdef SVCDESK_SERVER_QT
// 3 x 5 glyphs, one row per 3 bits, so no font (and no QGuiApplication) is needed.
const uint16_t* Glyph(char c) {
  static const uint16_t digits[10][5] = {
      {7, 5, 5, 5, 7}, {2, 6, 2, 2, 7}, {7, 1, 7, 4, 7}, {7, 1, 7, 1, 7}, {5, 5, 7, 1, 1},
      {7, 4, 7, 1, 7}, {7, 4, 7, 5, 7}, {7, 1, 1, 2, 2}, {7, 5, 7, 5, 7}, {7, 5, 7, 1, 7}};
  static const uint16_t slash[5] = {1, 1, 2, 4, 4};
  if (c >= '0' && c <= '9') return digits[c - '0'];
  if (c == '/') return slash;
  return nullptr;
}

void DrawText(QPainter& p, int x0, int y0, int scale, const std::string& text, QColor color) {
  for (char c : text) {
    if (const uint16_t* g = Glyph(c)) {
      for (int row = 0; row < 5; ++row)
        for (int col = 0; col < 3; ++col)
          if (g[row] & (4 >> col))
            p.fillRect(x0 + col * scale, y0 + row * scale, scale, scale, color);
    }
    x0 += 4 * scale;
  }
}
#endif
}  // namespace

Bytes RenderTile(int z, int x, int y) {
#ifdef SVCDESK_SERVER_QT
  QImage img(256, 256, QImage::Format_RGB32);
  img.fill(QColor(0xF2, 0xEF, 0xE9));
  {
    QPainter p(&img);
    p.setPen(QColor(0xD0, 0xCC, 0xC4));
    for (int i = 0; i <= 256; i += 32) {
      p.drawLine(i, 0, i, 255);
      p.drawLine(0, i, 255, i);
    }
    p.setPen(QColor(0xA0, 0x9A, 0x90));
    p.drawRect(0, 0, 255, 255);
    std::string label = std::to_string(z) + "/" + std::to_string(x) + "/" + std::to_string(y);
    int scale = label.size() * 16 > 230 ? 3 : 4;
    p.fillRect(6, 6, static_cast<int>(label.size()) * 4 * scale + 4, 5 * scale + 8,
               QColor(255, 255, 255, 200));
    DrawText(p, 9, 10, scale, label, QColor(0x60, 0x5A, 0x50));
  }
  QByteArray out;
  QBuffer buf(&out);
  buf.open(QIODevice::WriteOnly);
  if (!img.save(&buf, "PNG")) return {};
  return Bytes(out.begin(), out.end());
#else
  (void)z;
  (void)x;
  (void)y;
  return {};
#endif
}

Bytes RenderPhoto(uint32_t seed, const std::string& label) {
#ifdef SVCDESK_SERVER_QT
  QImage img(480, 360, QImage::Format_RGB32);
  auto channel = [seed](int shift) { return 90 + static_cast<int>((seed >> shift) % 120); };
  img.fill(QColor(channel(0), channel(7), channel(14)));
  {
    QPainter p(&img);
    p.fillRect(60, 50, 360, 240, QColor(0xE8, 0xE4, 0xDA));
    p.fillRect(90, 80, 140, 90, QColor(channel(3), 0x50, 0x40));
    p.fillRect(250, 80, 140, 180, QColor(0x40, channel(5), 0x60));
    for (int i = 0; i < 5; ++i)
      p.fillRect(100 + i * 24, 200, 14, 60, QColor(0x30, 0x30, 0x30 + 30 * i));
    DrawText(p, 70, 300, 8, label, QColor(255, 255, 255));
  }
  for (const char* format : {"JPG", "PNG"}) {
    QByteArray out;
    QBuffer buf(&out);
    buf.open(QIODevice::WriteOnly);
    if (img.save(&buf, format, 80)) return Bytes(out.begin(), out.end());
  }
  return {};
#else
  (void)seed;
  (void)label;
  return {};
#endif
}

#ifdef SVCDESK_SERVER_CURL
namespace {
size_t Collect(char* p, size_t size, size_t n, void* user) {
  auto* out = static_cast<Bytes*>(user);
  if (out->size() > (8u << 20)) return 0;
  out->insert(out->end(), p, p + size * n);
  return size * n;
}
}  // namespace
#endif

Bytes TileSource::FromUrl(int z, int x, int y) {
#ifdef SVCDESK_SERVER_CURL
  std::string name = std::to_string(z) + "/" + std::to_string(x) + "/" + std::to_string(y) + ".png";
  std::string cached = plat::JoinPath(o_.cache_dir, name);
  Bytes out;
  if (!o_.cache_dir.empty() && plat::ReadWholeFile(cached, out, 8 << 20) && !out.empty())
    return out;
  out.clear();
  CURL* c = curl_easy_init();
  if (!c) return {};
  std::string url = Expand(o_.url, z, x, y);
  curl_easy_setopt(c, CURLOPT_URL, url.c_str());
  curl_easy_setopt(c, CURLOPT_USERAGENT,
                   "svcdesk-server/" SVCDESK_VERSION " (stand-in tile relay)");
  curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, Collect);
  curl_easy_setopt(c, CURLOPT_WRITEDATA, &out);
  curl_easy_setopt(c, CURLOPT_TIMEOUT, 10L);
  curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 1L);
  long code = 0;
  bool ok = curl_easy_perform(c) == CURLE_OK &&
            curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &code) == CURLE_OK && code == 200;
  curl_easy_cleanup(c);
  if (!ok || out.empty()) {
    Log("tile " + url + " not fetched");
    return {};
  }
  if (!o_.cache_dir.empty()) {
    plat::ForceDirectories(
        plat::JoinPath(o_.cache_dir, std::to_string(z) + "/" + std::to_string(x)));
    plat::WriteFileAtomic(cached, out);
  }
  return out;
#else
  (void)z;
  (void)x;
  (void)y;
  return {};
#endif
}

Bytes TileSource::Tile(int z, int x, int y) {
  if (!ValidTile(z, x, y)) return {};
  if (!o_.dir.empty()) {
    Bytes b;
    std::string path = plat::JoinPath(o_.dir, Expand("{z}/{x}/{y}.png", z, x, y));
    if (plat::ReadWholeFile(path, b, 8 << 20) && !b.empty()) return b;
  }
  if (!o_.url.empty()) {
    Bytes b = FromUrl(z, x, y);
    if (!b.empty()) return b;
  }
  return RenderTile(z, x, y);
}

std::string PutOsmHex(int x, int y, int z, int map, int source, const Bytes& png) {
  Bytes reply;
  for (int v : {x, y, z, map, source, 0}) PutI32(reply, v);
  reply.push_back(1);  // PNG
  reply.push_back(0);
  reply.insert(reply.end(), png.begin(), png.end());
  // The record set in its byte form, written here because the tile bytes go into
  // a fixed-size field as wide as the tile: one group "main" with the fields
  // dn_abs, command (short string) and data (byte block), and one record.
  Bytes rs;
  PutI32(rs, 0);
  PutI32(rs, 0);
  PutDouble(rs, plat::Now());
  PutI32(rs, 0);
  PutI32(rs, 1);  // groups
  PutI32(rs, 1);  // group id
  PutI32(rs, 2);  // next dn_abs
  PutShort(rs, "main");
  PutI32(rs, 3);  // fields
  auto field = [&rs](int id, const char* name, uint8_t type, int32_t size) {
    PutI32(rs, id);
    PutShortFixed(rs, name, 16);
    rs.push_back(type);
    PutI32(rs, size);
    PutI32(rs, 0);
  };
  field(1, "dn_abs", kGFInteger, 4);
  field(2, "command", kGFString, 0);
  field(3, "data", kGFBytes, static_cast<int32_t>(reply.size()));
  PutI32(rs, 1);  // records
  Bytes rec;
  PutI32(rec, 1);
  PutShort(rec, "Put_OSM");
  rec.insert(rec.end(), reply.begin(), reply.end());
  PutI32(rs, static_cast<int32_t>(rec.size()));
  rs.insert(rs.end(), rec.begin(), rec.end());
  return BytesToHex(rs);
}

}  // namespace srv
