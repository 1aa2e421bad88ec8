// Tile pictures: telling PNG from JPEG, decoding, re-encoding delivered PNG
// tiles as JPEG, and a bounded cache of decoded pictures so that a repaint
// does not decode every visible tile again.
#pragma once
#include <QImage>
#include <cstddef>
#include <cstdint>
#include <list>
#include <unordered_map>

#include "foundation/json.h"  // Bytes

namespace mapdraw {

// "PNG" (80, 78, 71) starting at any offset 0-20.
bool LooksLikePng(const uint8_t* data, size_t size);
inline bool LooksLikePng(const Bytes& b) {
  return LooksLikePng(b.data(), b.size());
}
// Decodes as PNG or JPEG by the test above; a null picture when it fails.
// Opaque pictures come back as Format_RGB32, others premultiplied.
QImage DecodeTile(const uint8_t* data, size_t size);
QImage DecodeJpeg(const uint8_t* data, size_t size);
// PNG bytes -> picture -> JPEG at quality 75; false when the PNG does not decode.
bool PngToJpeg(const uint8_t* data, size_t size, Bytes& jpeg);

class TPictureCache {
 public:
  explicit TPictureCache(size_t capacity = 512) : capacity_(capacity) {}
  // The decoded picture for this data id, or nullptr.
  const QImage* Find(uint64_t id);
  const QImage* Put(uint64_t id, QImage picture);
  size_t Size() const { return map_.size(); }
  void Clear();

 private:
  struct Entry {
    uint64_t id;
    QImage picture;
  };
  size_t capacity_;
  std::list<Entry> lru_;  // most recent first
  std::unordered_map<uint64_t, std::list<Entry>::iterator> map_;
};

}  // namespace mapdraw
