#pragma once
// Little-endian reading from a memory image of a file and writing into one.
// The readers of every file format work on the whole file in memory, so their
// time and memory stay proportional to the file's size.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

class TByteReader {
public:
    TByteReader(const uint8_t* data, size_t size) : Data(data), Size(size) {}

    size_t Position() const { return Pos; }
    size_t Remaining() const { return Size - Pos; }
    bool AtEnd() const { return Pos >= Size; }
    void Seek(size_t pos) { Pos = std::min(pos, Size); }

    // Copies up to n bytes into dest and returns how many came; the position
    // moves past them.
    size_t Read(void* dest, size_t n)
    {
        size_t got = std::min(n, Remaining());
        if (got) std::memcpy(dest, Data + Pos, got);
        Pos += got;
        return got;
    }
    // Reads exactly n bytes; false (position at the end) when fewer remain.
    bool ReadExact(void* dest, size_t n) { return Read(dest, n) == n; }
    // Skips up to n bytes; returns how many were skipped.
    uint64_t Skip(uint64_t n)
    {
        uint64_t got = std::min<uint64_t>(n, Remaining());
        Pos += size_t(got);
        return got;
    }
    // A record of recordSize bytes into a zeroed buffer of at least
    // targetSize bytes; returns the number of bytes that came.
    size_t ReadRecord(std::vector<uint8_t>& buffer, size_t recordSize, size_t targetSize)
    {
        buffer.assign(std::max(recordSize, targetSize), 0);
        return Read(buffer.data(), recordSize);
    }

    template <typename T>
    bool Get(T& value)
    {
        return ReadExact(&value, sizeof(T));
    }

private:
    const uint8_t* Data;
    size_t Size;
    size_t Pos = 0;
};

// Little-endian values at an offset of a byte array.
inline uint8_t U8At(const uint8_t* p, size_t offset) { return p[offset]; }
inline uint16_t U16At(const uint8_t* p, size_t offset) { return uint16_t(p[offset] | (p[offset + 1] << 8)); }
inline int16_t I16At(const uint8_t* p, size_t offset) { return int16_t(U16At(p, offset)); }
inline uint32_t U32At(const uint8_t* p, size_t offset)
{
    return uint32_t(p[offset]) | (uint32_t(p[offset + 1]) << 8) | (uint32_t(p[offset + 2]) << 16) |
           (uint32_t(p[offset + 3]) << 24);
}
inline void PutU16(uint8_t* p, size_t offset, uint16_t v)
{
    p[offset] = uint8_t(v);
    p[offset + 1] = uint8_t(v >> 8);
}

class TByteWriter {
public:
    std::vector<uint8_t> Bytes;

    void Reserve(size_t n) { Bytes.reserve(n); }
    void Write(const void* data, size_t n)
    {
        const auto* p = static_cast<const uint8_t*>(data);
        Bytes.insert(Bytes.end(), p, p + n);
    }
    template <typename T>
    void Put(const T& value)
    {
        Write(&value, sizeof(T));
    }
};
