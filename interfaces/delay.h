#pragma once
#include <cstdint>
#include <functional>

// Waiting and sounds for the device interfaces (user-interface thread only).

// Milliseconds of a monotonic clock (the tick count).
int64_t TickCount();
// Waits ms milliseconds (at the wait pace below) while keeping the program
// responsive: processes the pending events repeatedly, sleeping 10 ms before
// each round when the wait is 50 ms or more, until the tick count has
// advanced by it. Event handlers may run inside.
void Delay(int ms);

// The pace of the fixed waits: Delay, the interfaces' timers (port tests,
// searches, time-outs, demo pacing) and the stretch of recording a fast demo
// plays per timer call run pace times as fast. The program keeps 1; tests
// raise it so that what waits seconds for a device takes a fraction of that,
// with every wait still in its order.
void SetWaitPace(int pace);
int WaitPace();
// A wait of ms milliseconds at the current pace (at least 1 when ms > 0).
int Paced(int ms);

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
