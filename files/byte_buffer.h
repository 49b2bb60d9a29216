#pragma once
// Little-endian reading from a memory image of a file or from an open file,
// and writing into a memory image. The readers of the small file formats work
// on the whole file in memory; the training file, which can be large, is read
// through a buffer. Either way time and memory stay proportional to the
// file's size.
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

// The same reading interface over an open file descriptor, through a fixed
// buffer: the file is never held in memory as a whole. Size is the file's
// size when it was opened; a file that comes shorter ends the reading early
// (as a file cut short does), and a read error is kept in Error().
class TFileByteReader {
public:
    TFileByteReader(int fd, uint64_t size) : Fd(fd), Size(size), Buffer(1 << 16) {}

    size_t Position() const { return size_t(Pos); }
    size_t Remaining() const { return size_t(Size - Pos); }
    bool AtEnd() const { return Pos >= Size; }
    int Error() const { return ErrorCode; }

    size_t Read(void* dest, size_t n)
    {
        auto* out = static_cast<uint8_t*>(dest);
        size_t got = 0;
        while (got < n && Pos < Size) {
            if (Begin == End && !Fill()) break;
            const size_t k = std::min(n - got, End - Begin);
            std::memcpy(out + got, Buffer.data() + Begin, k);
            Begin += k;
            got += k;
            Pos += k;
        }
        return got;
    }
    bool ReadExact(void* dest, size_t n) { return Read(dest, n) == n; }
    uint64_t Skip(uint64_t n)
    {
        const uint64_t want = std::min<uint64_t>(n, Size - Pos);
        const uint64_t buffered = std::min<uint64_t>(want, End - Begin);
        Begin += size_t(buffered);
        Pos += buffered;
        if (want > buffered) {
            // Past the buffer: move the file position instead of reading.
            const uint64_t rest = want - buffered;
            if (lseek(Fd, off_t(rest), SEEK_CUR) < 0) {
                ErrorCode = errno;
                Size = Pos;
                return buffered;
            }
            Pos += rest;
        }
        return want;
    }
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
    bool Fill()
    {
        Begin = End = 0;
        for (;;) {
            const ssize_t n = read(Fd, Buffer.data(), Buffer.size());
            if (n > 0) {
                End = size_t(n);
                return true;
            }
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) ErrorCode = errno;
            Size = Pos;  // nothing more comes
            return false;
        }
    }

    int Fd;
    uint64_t Size;
    uint64_t Pos = 0;
    std::vector<uint8_t> Buffer;
    size_t Begin = 0, End = 0;
    int ErrorCode = 0;
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
