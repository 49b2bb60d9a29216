#pragma once
#include <cstdint>
#include <functional>

// Waiting and sounds for the device interfaces (user-interface thread only).

// Milliseconds of a monotonic clock (the tick count).
int64_t TickCount();
// Waits ms milliseconds while keeping the program responsive: processes the
// pending events repeatedly, sleeping 10 ms before each round when ms >= 50,
// until the tick count has advanced by ms. Event handlers may run inside.
void Delay(int ms);

// Sounds a tone of frequency Hz for duration ms through the installed sound
// service. The windows install one that beeps; without one a terminal bell is
// written when standard error is a terminal.
void Tone(int frequency, int duration);
// Silences a directly driven tone; nothing to do with a beep service.
void ToneOff();
// The system beep.
void Beep();
// Installs the sound service (frequency 0 = plain beep); empty restores the default.
void SetToneService(std::function<void(int frequency, int duration)> service);
