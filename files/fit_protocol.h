#pragma once
// The FIT container: a header with its own CRC, definition and data messages
// (little- or big-endian per definition), developer fields described by
// field_description messages, and a CRC-16 over the whole file. The writer
// builds a file in memory; the reader walks one and hands every data message
// to a callback, with bounded work and memory for any input.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace fit {

// Base types of the protocol (the byte written in field definitions).
enum TBaseType : uint8_t {
    btEnum = 0x00,
    btSint8 = 0x01,
    btUint8 = 0x02,
    btSint16 = 0x83,
    btUint16 = 0x84,
    btSint32 = 0x85,
    btUint32 = 0x86,
    btString = 0x07,
    btFloat32 = 0x88,
    btFloat64 = 0x89,
    btUint8z = 0x0A,
    btUint16z = 0x8B,
    btUint32z = 0x8C,
    btByte = 0x0D,
    btSint64 = 0x8E,
    btUint64 = 0x8F,
    btUint64z = 0x90,
};

// Bytes of one value of a base type; 0 for a type the protocol does not define.
size_t BaseTypeSize(uint8_t baseType);

// Global message numbers this program writes or reads.
enum TGlobalMessage : uint16_t {
    gmFileId = 0,
    gmSession = 18,
    gmLap = 19,
    gmRecord = 20,
    gmEvent = 21,
    gmActivity = 34,
    gmFileCreator = 49,
    gmFieldDescription = 206,
    gmDeveloperDataId = 207,
    gmTimeInZone = 216,
};

// Field number of the timestamp in every message that has one.
constexpr uint8_t kTimestampField = 253;
// Seconds from the Unix epoch to the FIT epoch (1989-12-31 00:00 UTC).
constexpr int64_t kFitEpochOffset = 631065600;

// CRC-16 of the protocol (polynomial 0x8005 reflected, initial value 0),
// continued from crc.
uint16_t Crc16(uint16_t crc, const uint8_t* data, size_t size);

struct TFieldDef {
    uint8_t Number;
    uint8_t Size;  // bytes; a multiple of the base type's size makes an array
    uint8_t BaseType;
};

struct TDevFieldDef {
    uint8_t Number;
    uint8_t Size;
    uint8_t DeveloperIndex;
};

// Builds a FIT file in memory. Every data message must be preceded by a
// definition of its local type; the values of a data message are appended in
// the order of the definition's fields, developer fields last.
class TWriter {
public:
    TWriter();
    void Define(uint8_t local, uint16_t global, const std::vector<TFieldDef>& fields,
                const std::vector<TDevFieldDef>& devFields = {});
    // Starts a data message of a defined local type.
    void Begin(uint8_t local);
    void U8(uint8_t v) { Put(&v, 1); }
    void U16(uint16_t v) { Put(&v, 2); }
    void U32(uint32_t v) { Put(&v, 4); }
    void I8(int8_t v) { Put(&v, 1); }
    void F32(float v) { Put(&v, 4); }
    // A text in a field of size bytes: cut to size - 1 bytes and zero-padded.
    void String(const std::string& text, size_t size);
    void Bytes(const void* data, size_t size) { Put(data, size); }
    // Ends the data message; the bytes written must fill its definition.
    void End();
    // The complete file: header (with its CRC), messages and file CRC.
    std::vector<uint8_t> Finish();
    size_t MessageBytes() const { return Data.size(); }

private:
    void Put(const void* data, size_t size);
    std::vector<uint8_t> Data;
    size_t LocalSize[16] = {};
    size_t Expected = 0;
    size_t Started = 0;
};

// One field of a data message as read: its bytes and how to read them.
struct TField {
    uint8_t Number = 0;
    uint8_t BaseType = btByte;
    uint8_t Size = 0;
    bool BigEndian = false;
    const uint8_t* Data = nullptr;
};

// What a field_description message told about a developer field.
struct TDevFieldInfo {
    uint8_t BaseType = btByte;
    std::string Name;
    std::string Units;
};

// A data message as read. Numbers come back as doubles without the
// profile's scale; an invalid value (the base type's "no value") or a field
// that is missing gives the fallback.
class TMessage {
public:
    uint16_t Global = 0;
    // The message's time: its timestamp field or the compressed time of its
    // header; 0 when it has neither.
    uint32_t Timestamp = 0;
    bool HasTimestamp = false;

    const TField* Find(uint8_t number) const;
    bool Has(uint8_t number) const;  // present and valid
    double Number(uint8_t number, double fallback = 0) const;
    std::string Text(uint8_t number) const;

    // Developer fields: (developer data index, field number) → field; the
    // base type comes from the field's description.
    const TField* FindDev(uint8_t developerIndex, uint8_t number) const;
    const std::vector<TField>& Fields() const { return FFields; }
    const std::vector<std::pair<uint8_t, TField>>& DevFields() const { return FDevFields; }

    void Clear()
    {
        FFields.clear();
        FDevFields.clear();
        Global = 0;
        Timestamp = 0;
        HasTimestamp = false;
    }
    std::vector<TField> FFields;
    std::vector<std::pair<uint8_t, TField>> FDevFields;  // (developer index, field)
};

// Value i of a field as a double; false when it is the base type's invalid
// value or the field cannot be read as a number.
bool FieldValue(const TField& field, size_t index, double& value);
// Number of values in a field (its size over its base type's size; 0 when
// the size is not a multiple).
size_t FieldCount(const TField& field);

// Developer field descriptions collected while reading, by (developer index,
// field number), and the application id of each developer index.
struct TDevInfo {
    std::map<std::pair<uint8_t, uint8_t>, TDevFieldInfo> Fields;
    std::map<uint8_t, std::vector<uint8_t>> ApplicationIds;
};

// Reads the FIT file at the start of data. Calls onMessage for every data
// message (definitions, field descriptions and developer data ids are
// handled here and passed on too). Returns false with a reason in error when
// the file is not a complete, intact FIT file: bad header, sizes beyond the
// file, a bad CRC, a data message of an undefined type. Messages and fields
// it does not know are passed on or skipped, never refused.
bool Read(const uint8_t* data, size_t size, const std::function<void(const TMessage&, const TDevInfo&)>& onMessage,
          std::string& error);

}  // namespace fit
