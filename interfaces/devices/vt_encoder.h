#pragma once
// The device side of the measuring interface's protocols: builds the frames a
// measuring interface sends for one pulse, as the command-line simulator and
// the tests play them into a pseudo-terminal.
//
//   EncodeVTFrame  4-byte frame of vtpVtw, vtpVT3W or vtpDOS for a pulse
//                  interval in ticks (1/614000 s; 0 = no pulse measured,
//                  above 32767 = the longest interval) and a heart rate
//   EncodeODLine   an Oartec slider line "!S,nnnn,..." for an interval
//   kODBanner      the slider's banner line
#include <array>
#include <cstdint>
#include <string>

#include "interfaces/devices/tarn_types.h"

std::array<uint8_t, 4> EncodeVTFrame(TTarnProtocol protocol, uint32_t ticks, int heartRate);
// "!S," (drive) or "!R," (recovery) + the interval in units of 8.64 us as
// four digits (at most 9999) + ",0\r\n".
std::string EncodeODLine(double intervalSeconds, bool drive);
extern const char* const kODBanner;  // "OARTEC Slider OSM ...\r\n"
