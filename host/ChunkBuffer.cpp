#include "host/ChunkBuffer.h"

#include <cstring>
#include <limits>

namespace tessaron {

void ChunkBuffer::Reserve(std::size_t extra) {
  const std::size_t needed = bytes_.size() + extra;
  if (needed <= bytes_.capacity()) return;
  bytes_.reserve((needed + granularity_ - 1) / granularity_ * granularity_);
}

void ChunkBuffer::PutBytes(const void* data, std::size_t size) {
  if (size == 0) return;
  Reserve(size);
  const auto* p = static_cast<const unsigned char*>(data);
  bytes_.insert(bytes_.end(), p, p + size);
}

void ChunkBuffer::PutInt32(int32_t value) {
  const uint32_t u = static_cast<uint32_t>(value);
  const unsigned char b[4] = {static_cast<unsigned char>(u), static_cast<unsigned char>(u >> 8),
                              static_cast<unsigned char>(u >> 16), static_cast<unsigned char>(u >> 24)};
  PutBytes(b, 4);
}

void ChunkBuffer::PutDouble(double value) {
  uint64_t u;
  std::memcpy(&u, &value, 8);
  unsigned char b[8];
  for (int i = 0; i < 8; ++i) b[i] = static_cast<unsigned char>(u >> (8 * i));
  PutBytes(b, 8);
}

void ChunkBuffer::PutString(const std::string& text) {
  PutInt32(static_cast<int32_t>(text.size()));
  PutBytes(text.data(), text.size());
}

void ChunkBuffer::PutString(const char* text) { PutString(std::string(text ? text : "")); }

int ChunkBuffer::Remaining(int pos) const {
  if (pos < 0 || pos > Size()) return 0;
  return Size() - pos;
}

int ChunkBuffer::GetInt32(int32_t& value, int pos) const {
  if (pos < 0 || Remaining(pos) < 4) return -1;
  const unsigned char* b = bytes_.data() + pos;
  const uint32_t u = static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
                     (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
  value = static_cast<int32_t>(u);
  return pos + 4;
}

int ChunkBuffer::GetDouble(double& value, int pos) const {
  if (pos < 0 || Remaining(pos) < 8) return -1;
  const unsigned char* b = bytes_.data() + pos;
  uint64_t u = 0;
  for (int i = 0; i < 8; ++i) u |= static_cast<uint64_t>(b[i]) << (8 * i);
  std::memcpy(&value, &u, 8);
  return pos + 8;
}

int ChunkBuffer::GetByte(unsigned char& value, int pos) const {
  if (pos < 0 || Remaining(pos) < 1) return -1;
  value = bytes_[static_cast<std::size_t>(pos)];
  return pos + 1;
}

int ChunkBuffer::GetString(std::string& text, int pos) const {
  int32_t n = 0;
  const int start = GetInt32(n, pos);
  if (start < 0) return -1;
  // A negative length would move the reader backwards, and a huge one past any
  // representable position: both can only come from corrupt data.
  if (n < 0 || static_cast<int64_t>(start) + n > std::numeric_limits<int>::max()) return -1;
  if (n == 0) {
    text.clear();
  } else if (Remaining(start) >= n) {
    text.assign(reinterpret_cast<const char*>(bytes_.data()) + start, static_cast<std::size_t>(n));
  }
  return start + n;
}

void ChunkBuffer::Resize(std::size_t size) {
  if (size > bytes_.size()) Reserve(size - bytes_.size());
  bytes_.resize(size, 0);
}

void ChunkBuffer::Assign(const void* data, std::size_t size) {
  bytes_.clear();
  PutBytes(data, size);
}

}  // namespace tessaron
