#pragma once
// Captures: a Bluetooth device's notifications as text, one per line, so a
// session can be rowed again without the device and a rower can send what
// their machine or strap sent with a fault report.
//
//   # Catchline capture 1
//   # device: Rower 42 (C4:7F:51:00:12:34)
//   0.000 2AD1 7E 00 00 00 00 00 00 00 00 00 00
//   0.981 2A37 16 8C 1E 02
//
// Each line: the time in seconds since the capture began ("." as decimal
// separator), the characteristic's 16-bit number in hex, the bytes in hex
// (pairs, blanks between them optional). What happened to the connection is
// kept too, so a capture replays a device that dropped out or vanished:
//
//   63.200 LOST link supervision timeout
//   64.900 GONE the device did not come back
//
// LOST: the connection dropped and the device is looked for again; GONE: the
// device is gone for good (nothing after it is played). Lines starting with "#" and empty
// lines are comments. A line that cannot be read, whose time goes back, or
// that holds more than 512 bytes is skipped and reported with its number;
// a file with nothing to play is an error.
//
//   ParseCapture          text -> notifications and the problems found
//   CaptureLine           one notification as a line
//   RecordingStrokes      a raw data recording through the stroke
//                         computation, as a row window session gets it
//   MakeFtmsCapture       strokes -> what an FTMS rowing machine sends for
//                         them: a record a second and one at every stroke
//                         (in two parts), paused records between them
//   MakeHeartCapture      strokes -> a chest strap's notifications: a heart
//                         rate following the power with some delay, RR
//                         intervals, the battery level at the start
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/records.h"

constexpr size_t kMaxNotificationBytes = 512;
// Captures beyond this size are refused rather than read into memory.
constexpr int64_t kMaxCaptureFileSize = 64ll * 1024 * 1024;

enum class TCaptureEvent : uint8_t { Notification, Lost, Gone };

struct TNotification {
    double Time = 0;  // s since the capture began
    TCaptureEvent Event = TCaptureEvent::Notification;
    uint16_t Characteristic = 0;  // notifications only
    std::vector<uint8_t> Bytes;
    std::string Text;  // what a LOST or GONE line says
};

struct TCapture {
    std::vector<TNotification> Notifications;
    std::vector<std::string> Comments;  // the text after "# " of the comment lines
    std::vector<std::string> Problems;  // "line N: ..." for every line skipped
};

TCapture ParseCapture(const std::string& text);
std::string CaptureLine(double time, uint16_t characteristic, const uint8_t* bytes, size_t size);
std::string CaptureHeader(const std::string& device);
// A LOST or GONE line (the text on one line).
std::string CaptureEventLine(double time, TCaptureEvent event, const std::string& text);

// The recording's strokes as the stroke computation gives them with a
// default session's settings (weight in kg); standstill records are left out.
std::vector<TStgStrokeData> RecordingStrokes(const std::vector<uint8_t>& recording, double weight, std::string& error);

std::string MakeFtmsCapture(const std::vector<TStgStrokeData>& strokes, const std::string& device);
std::string MakeHeartCapture(const std::vector<TStgStrokeData>& strokes, const std::string& device);
// The heart rate the simulated rower has at each second of the session:
// 70 + 0.45 x power, approached with a time constant of 25 s going up and
// 40 s coming down, within 60..195.
std::vector<int> SimulatedHeartRate(const std::vector<TStgStrokeData>& strokes);
