#include "map/tile_pictures.h"

#include <QBuffer>
#include <QByteArray>
#include <QImageReader>
#include <QImageWriter>
#include <QPainter>
#include <climits>

namespace mapdraw {

bool LooksLikePng(const uint8_t* data, size_t size) {
  for (size_t i = 0; i <= 20 && i + 3 <= size; ++i) {
    if (data[i] == 80 && data[i + 1] == 78 && data[i + 2] == 71) return true;
  }
  return false;
}

static QImage Decode(const uint8_t* data, size_t size, const char* format) {
  if (size == 0 || size > static_cast<size_t>(INT_MAX)) return QImage();
  QByteArray bytes =
      QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::ReadOnly);
  QImageReader reader(&buffer, format);
  reader.setDecideFormatFromContent(false);
  // A tile or photo is small; refuse pictures that claim huge dimensions.
  QSize dim = reader.size();
  if (dim.isValid() && (dim.width() > 8192 || dim.height() > 8192)) return QImage();
  QImage img = reader.read();
  if (img.isNull()) return img;
  if (img.hasAlphaChannel()) return img.convertToFormat(QImage::Format_ARGB32_Premultiplied);
  return img.convertToFormat(QImage::Format_RGB32);
}

QImage DecodeJpeg(const uint8_t* data, size_t size) {
  return Decode(data, size, "JPEG");
}

QImage DecodeTile(const uint8_t* data, size_t size) {
  return Decode(data, size, LooksLikePng(data, size) ? "PNG" : "JPEG");
}

bool PngToJpeg(const uint8_t* data, size_t size, Bytes& jpeg) {
  QImage png = Decode(data, size, "PNG");
  if (png.isNull()) return false;
  // As a bitmap: transparent parts show white.
  QImage bitmap(png.size(), QImage::Format_RGB32);
  bitmap.fill(Qt::white);
  {
    QPainter p(&bitmap);
    p.drawImage(0, 0, png);
  }
  QByteArray out;
  QBuffer buffer(&out);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter writer(&buffer, "JPEG");
  writer.setQuality(75);
  if (!writer.write(bitmap)) return false;
  jpeg.assign(out.begin(), out.end());
  return true;
}

const QImage* TPictureCache::Find(uint64_t id) {
  auto it = map_.find(id);
  if (it == map_.end()) return nullptr;
  lru_.splice(lru_.begin(), lru_, it->second);
  return &it->second->picture;
}

const QImage* TPictureCache::Put(uint64_t id, QImage picture) {
  if (capacity_ == 0) return nullptr;
  auto it = map_.find(id);
  if (it != map_.end()) {
    it->second->picture = std::move(picture);
    lru_.splice(lru_.begin(), lru_, it->second);
    return &it->second->picture;
  }
  while (map_.size() >= capacity_) {
    map_.erase(lru_.back().id);
    lru_.pop_back();
  }
  lru_.push_front(Entry{id, std::move(picture)});
  map_[id] = lru_.begin();
  return &lru_.front().picture;
}

void TPictureCache::Clear() {
  lru_.clear();
  map_.clear();
}

}  // namespace mapdraw
