#pragma once
// Growable byte buffer for serialised state: little-endian integers and doubles,
// length-prefixed strings, and position-based reads that answer -1 on failure.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tessaron {

class ChunkBuffer {
 public:
  explicit ChunkBuffer(std::size_t granularity = 4096) : granularity_(granularity ? granularity : 1) {}

  int Size() const { return static_cast<int>(bytes_.size()); }
  bool Empty() const { return bytes_.empty(); }
  const unsigned char* Data() const { return bytes_.data(); }
  unsigned char* Data() { return bytes_.data(); }

  void PutInt32(int32_t value);
  void PutDouble(double value);
  void PutBytes(const void* data, std::size_t size);
  void PutByte(unsigned char value) { PutBytes(&value, 1); }
  // int32 length, then the bytes without a terminating NUL.
  void PutString(const std::string& text);
  void PutString(const char* text);

  // Each answers the position after what it read, or -1; on -1 the target is untouched.
  int GetInt32(int32_t& value, int pos) const;
  int GetDouble(double& value, int pos) const;
  int GetByte(unsigned char& value, int pos) const;
  // The text is set only when all its bytes are present; a negative length or a length
  // that runs past the largest position is refused with -1.
  int GetString(std::string& text, int pos) const;

  // Bytes left from pos (0 when pos is outside the buffer).
  int Remaining(int pos) const;

  void Resize(std::size_t size);
  void Clear() { bytes_.clear(); }
  void Assign(const void* data, std::size_t size);

 private:
  void Reserve(std::size_t extra);

  std::size_t granularity_;
  std::vector<unsigned char> bytes_;
};

}  // namespace tessaron
