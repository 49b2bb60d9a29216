#include "files/fit_protocol.h"

#include <bit>
#include <cmath>
#include <cstring>

#include "util/text.h"

namespace fit {

namespace {

constexpr size_t kHeaderSize = 14;
constexpr uint8_t kProtocolVersion = 0x20;  // 2.0: developer fields
constexpr uint16_t kProfileVersion = 2140;
// Names and units kept from field descriptions are cut to this length, so a
// file full of descriptions cannot make the reader hold much.
constexpr size_t kMaxDescriptionText = 64;

const uint16_t* CrcTable()
{
    static const auto table = [] {
        static uint16_t t[256];
        for (unsigned i = 0; i < 256; ++i) {
            uint16_t c = uint16_t(i);
            for (int b = 0; b < 8; ++b) c = (c & 1) ? uint16_t((c >> 1) ^ 0xA001) : uint16_t(c >> 1);
            t[i] = c;
        }
        return t;
    }();
    return table;
}

uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
uint32_t Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// Base type of a developer field nobody described: its bytes are skipped.
constexpr uint8_t kUnknownType = 0xFF;

struct TLocalDef {
    bool Defined = false;
    bool BigEndian = false;
    uint16_t Global = 0;
    std::vector<TFieldDef> Fields;
    std::vector<TDevFieldDef> DevFields;
    size_t Size = 0;  // bytes of a data message
};

std::string CutText(std::string s)
{
    if (s.size() > kMaxDescriptionText) s.resize(kMaxDescriptionText);
    return s;
}

}  // namespace

size_t BaseTypeSize(uint8_t baseType)
{
    switch (baseType) {
    case btEnum:
    case btSint8:
    case btUint8:
    case btString:
    case btUint8z:
    case btByte: return 1;
    case btSint16:
    case btUint16:
    case btUint16z: return 2;
    case btSint32:
    case btUint32:
    case btFloat32:
    case btUint32z: return 4;
    case btFloat64:
    case btSint64:
    case btUint64:
    case btUint64z: return 8;
    default: return 0;
    }
}

uint16_t Crc16(uint16_t crc, const uint8_t* data, size_t size)
{
    const uint16_t* table = CrcTable();
    for (size_t i = 0; i < size; ++i) crc = uint16_t((crc >> 8) ^ table[(crc ^ data[i]) & 0xFF]);
    return crc;
}

// --- writer ----------------------------------------------------------------

TWriter::TWriter() { Data.reserve(4096); }

void TWriter::Put(const void* data, size_t size)
{
    const auto* p = static_cast<const uint8_t*>(data);
    Data.insert(Data.end(), p, p + size);
}

void TWriter::Define(uint8_t local, uint16_t global, const std::vector<TFieldDef>& fields,
                     const std::vector<TDevFieldDef>& devFields)
{
    local &= 0x0F;
    Data.push_back(uint8_t(0x40 | (devFields.empty() ? 0 : 0x20) | local));
    Data.push_back(0);  // reserved
    Data.push_back(0);  // little-endian
    U16(global);
    Data.push_back(uint8_t(fields.size()));
    size_t size = 0;
    for (const TFieldDef& f : fields) {
        Data.push_back(f.Number);
        Data.push_back(f.Size);
        Data.push_back(f.BaseType);
        size += f.Size;
    }
    if (!devFields.empty()) {
        Data.push_back(uint8_t(devFields.size()));
        for (const TDevFieldDef& f : devFields) {
            Data.push_back(f.Number);
            Data.push_back(f.Size);
            Data.push_back(f.DeveloperIndex);
            size += f.Size;
        }
    }
    LocalSize[local] = size;
}

void TWriter::Begin(uint8_t local)
{
    local &= 0x0F;
    Data.push_back(local);
    Expected = LocalSize[local];
    Started = Data.size();
}

void TWriter::String(const std::string& text, size_t size)
{
    std::string s = text.substr(0, size ? size - 1 : 0);
    Put(s.data(), s.size());
    Data.insert(Data.end(), size - s.size(), uint8_t(0));
}

void TWriter::End()
{
    // A message that does not fill its definition would shift every later
    // byte; pad or cut so the file stays readable whatever the caller did.
    const size_t written = Data.size() - Started;
    if (written < Expected) Data.insert(Data.end(), Expected - written, uint8_t(0xFF));
    else if (written > Expected) Data.resize(Started + Expected);
}

std::vector<uint8_t> TWriter::Finish()
{
    std::vector<uint8_t> file(kHeaderSize);
    file.reserve(kHeaderSize + Data.size() + 2);
    file[0] = uint8_t(kHeaderSize);
    file[1] = kProtocolVersion;
    file[2] = uint8_t(kProfileVersion);
    file[3] = uint8_t(kProfileVersion >> 8);
    const uint32_t size = uint32_t(Data.size());
    for (int i = 0; i < 4; ++i) file[size_t(4 + i)] = uint8_t(size >> (8 * i));
    std::memcpy(&file[8], ".FIT", 4);
    const uint16_t headerCrc = Crc16(0, file.data(), 12);
    file[12] = uint8_t(headerCrc);
    file[13] = uint8_t(headerCrc >> 8);
    file.insert(file.end(), Data.begin(), Data.end());
    const uint16_t crc = Crc16(0, file.data(), file.size());
    file.push_back(uint8_t(crc));
    file.push_back(uint8_t(crc >> 8));
    return file;
}

// --- reader ----------------------------------------------------------------

size_t FieldCount(const TField& field)
{
    const size_t size = BaseTypeSize(field.BaseType);
    if (!size || field.Size % size) return 0;
    return field.Size / size;
}

bool FieldValue(const TField& f, size_t index, double& value)
{
    const size_t size = BaseTypeSize(f.BaseType);
    if (!size || f.Size % size || (index + 1) * size > f.Size || f.BaseType == btString) return false;
    const uint8_t* p = f.Data + index * size;
    uint64_t raw = 0;
    for (size_t b = 0; b < size; ++b) raw |= uint64_t(p[f.BigEndian ? size - 1 - b : b]) << (8 * b);
    switch (f.BaseType) {
    case btEnum:
    case btUint8:
    case btByte:
        if (raw == 0xFF) return false;
        value = double(raw);
        return true;
    case btUint8z:
    case btUint16z:
    case btUint32z:
    case btUint64z:
        if (raw == 0) return false;
        value = double(raw);
        return true;
    case btSint8:
        if (raw == 0x7F) return false;
        value = double(int8_t(raw));
        return true;
    case btSint16:
        if (raw == 0x7FFF) return false;
        value = double(int16_t(raw));
        return true;
    case btUint16:
        if (raw == 0xFFFF) return false;
        value = double(raw);
        return true;
    case btSint32:
        if (raw == 0x7FFFFFFF) return false;
        value = double(int32_t(raw));
        return true;
    case btUint32:
        if (raw == 0xFFFFFFFF) return false;
        value = double(raw);
        return true;
    case btSint64:
        if (raw == 0x7FFFFFFFFFFFFFFFull) return false;
        value = double(int64_t(raw));
        return true;
    case btUint64:
        if (raw == ~0ull) return false;
        value = double(raw);
        return true;
    case btFloat32: {
        if (raw == 0xFFFFFFFF) return false;
        const float v = std::bit_cast<float>(uint32_t(raw));
        if (!std::isfinite(v)) return false;
        value = v;
        return true;
    }
    case btFloat64: {
        if (raw == ~0ull) return false;
        const double v = std::bit_cast<double>(raw);
        if (!std::isfinite(v)) return false;
        value = v;
        return true;
    }
    default: return false;
    }
}

const TField* TMessage::Find(uint8_t number) const
{
    for (const TField& f : FFields)
        if (f.Number == number) return &f;
    return nullptr;
}

bool TMessage::Has(uint8_t number) const
{
    const TField* f = Find(number);
    double v;
    return f && FieldValue(*f, 0, v);
}

double TMessage::Number(uint8_t number, double fallback) const
{
    const TField* f = Find(number);
    double v;
    return f && FieldValue(*f, 0, v) ? v : fallback;
}

std::string TMessage::Text(uint8_t number) const
{
    const TField* f = Find(number);
    if (!f || f->BaseType != btString) return {};
    size_t n = 0;
    while (n < f->Size && f->Data[n]) ++n;
    return std::string(reinterpret_cast<const char*>(f->Data), n);
}

const TField* TMessage::FindDev(uint8_t developerIndex, uint8_t number) const
{
    for (const auto& [index, f] : FDevFields)
        if (index == developerIndex && f.Number == number) return &f;
    return nullptr;
}

bool Read(const uint8_t* data, size_t size, const std::function<void(const TMessage&, const TDevInfo&)>& onMessage,
          std::string& error)
{
    if (size < 12) {
        error = "The file is too short for a FIT header.";
        return false;
    }
    const size_t headerSize = data[0];
    if (headerSize < 12 || std::memcmp(data + 8, ".FIT", 4) != 0) {
        error = "The file is not a FIT file (no \".FIT\" header).";
        return false;
    }
    if (headerSize > size) {
        error = "The FIT header is larger than the file.";
        return false;
    }
    if (headerSize >= 14) {
        const uint16_t stored = Le16(data + 12);
        if (stored != 0 && stored != Crc16(0, data, 12)) {
            error = "The FIT header's CRC is wrong: the file is damaged.";
            return false;
        }
    }
    const uint64_t dataSize = Le32(data + 4);
    if (uint64_t(headerSize) + dataSize + 2 > size) {
        error = Format("The FIT file is truncated: its header announces %llu bytes of data, the file holds %llu.",
                       (unsigned long long)dataSize,
                       (unsigned long long)(size > headerSize + 2 ? size - headerSize - 2 : 0));
        return false;
    }
    const size_t end = headerSize + size_t(dataSize);
    if (Le16(data + end) != Crc16(0, data, end)) {
        error = "The FIT file's CRC is wrong: the file is damaged.";
        return false;
    }

    TLocalDef defs[16];
    TDevInfo dev;
    TMessage msg;
    uint32_t lastTimestamp = 0;
    size_t pos = headerSize;
    while (pos < end) {
        const size_t at = pos;
        const uint8_t h = data[pos++];
        bool compressed = false;
        uint8_t local = 0;
        uint32_t compressedTime = 0;
        if (h & 0x80) {
            compressed = true;
            local = uint8_t((h >> 5) & 0x03);
            const uint32_t offset = h & 0x1F;
            compressedTime = (lastTimestamp & ~0x1Fu) + offset;
            if (offset < (lastTimestamp & 0x1F)) compressedTime += 0x20;
        } else if (h & 0x40) {
            local = h & 0x0F;
            if (end - pos < 5) {
                error = Format("The FIT file ends inside a definition message (byte %zu).", at);
                return false;
            }
            TLocalDef& d = defs[local];
            const uint8_t arch = data[pos + 1];
            if (arch > 1) {
                error = Format("The FIT file has a definition with an unknown byte order (byte %zu).", at);
                return false;
            }
            d = TLocalDef{};
            d.BigEndian = arch == 1;
            d.Global = d.BigEndian ? uint16_t((data[pos + 2] << 8) | data[pos + 3]) : Le16(data + pos + 2);
            const size_t count = data[pos + 4];
            pos += 5;
            if (end - pos < count * 3) {
                error = Format("The FIT file ends inside a definition message (byte %zu).", at);
                return false;
            }
            for (size_t i = 0; i < count; ++i, pos += 3) {
                d.Fields.push_back(TFieldDef{data[pos], data[pos + 1], data[pos + 2]});
                d.Size += data[pos + 1];
            }
            if (h & 0x20) {
                if (end - pos < 1) {
                    error = Format("The FIT file ends inside a definition message (byte %zu).", at);
                    return false;
                }
                const size_t devCount = data[pos++];
                if (end - pos < devCount * 3) {
                    error = Format("The FIT file ends inside a definition message (byte %zu).", at);
                    return false;
                }
                for (size_t i = 0; i < devCount; ++i, pos += 3) {
                    d.DevFields.push_back(TDevFieldDef{data[pos], data[pos + 1], data[pos + 2]});
                    d.Size += data[pos + 1];
                }
            }
            d.Defined = true;
            continue;
        } else {
            local = h & 0x0F;
        }

        const TLocalDef& d = defs[local];
        if (!d.Defined) {
            error = Format("The FIT file has a data message of an undefined type %d (byte %zu).", local, at);
            return false;
        }
        if (end - pos < d.Size) {
            error = Format("A FIT message runs past the end of the data (byte %zu).", at);
            return false;
        }
        msg.Clear();
        msg.Global = d.Global;
        const uint8_t* p = data + pos;
        for (const TFieldDef& fd : d.Fields) {
            msg.FFields.push_back(TField{fd.Number, fd.BaseType, fd.Size, d.BigEndian, p});
            p += fd.Size;
        }
        for (const TDevFieldDef& fd : d.DevFields) {
            auto it = dev.Fields.find({fd.DeveloperIndex, fd.Number});
            const uint8_t type = it == dev.Fields.end() ? kUnknownType : it->second.BaseType;
            msg.FDevFields.push_back({fd.DeveloperIndex, TField{fd.Number, type, fd.Size, d.BigEndian, p}});
            p += fd.Size;
        }
        pos += d.Size;

        double ts;
        const TField* tsField = msg.Find(kTimestampField);
        if (tsField && tsField->BaseType == btUint32 && FieldValue(*tsField, 0, ts)) {
            msg.Timestamp = uint32_t(ts);
            msg.HasTimestamp = true;
            lastTimestamp = msg.Timestamp;
        } else if (compressed) {
            msg.Timestamp = compressedTime;
            msg.HasTimestamp = true;
            lastTimestamp = compressedTime;
        }

        if (msg.Global == gmDeveloperDataId) {
            double index;
            const TField* appId = msg.Find(1);
            if (msg.Find(3) && FieldValue(*msg.Find(3), 0, index) && appId)
                dev.ApplicationIds[uint8_t(index)] = std::vector<uint8_t>(appId->Data, appId->Data + appId->Size);
        } else if (msg.Global == gmFieldDescription) {
            double index, number, type;
            if (msg.Find(0) && FieldValue(*msg.Find(0), 0, index) && msg.Find(1) &&
                FieldValue(*msg.Find(1), 0, number) && msg.Find(2) && FieldValue(*msg.Find(2), 0, type)) {
                TDevFieldInfo& info = dev.Fields[{uint8_t(index), uint8_t(number)}];
                info.BaseType = BaseTypeSize(uint8_t(type)) ? uint8_t(type) : kUnknownType;
                info.Name = CutText(msg.Text(3));
                info.Units = CutText(msg.Text(8));
            }
        }
        if (onMessage) onMessage(msg, dev);
    }
    return true;
}

}  // namespace fit
