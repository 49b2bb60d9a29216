#pragma once
// Helpers of the interface tests: a Qt core application, waits that keep
// events flowing, and real pseudo-terminals standing in for devices.
#include <functional>
#include <string>
#include <vector>

// Creates the QCoreApplication once.
void EnsureApp();
// Processes events until pred() holds or ms passed; returns pred().
bool WaitFor(const std::function<bool()>& pred, int ms = 3000);
// Processes events for ms milliseconds.
void Pump(int ms);

// The master side of a pseudo-terminal; SlavePath() is the "port".
class TPty {
public:
    TPty();
    ~TPty();
    const std::string& SlavePath() const { return Path; }
    bool Write(const std::string& bytes);
    bool Write(const std::vector<unsigned char>& bytes);
    // What the program sent to the device so far (non-blocking read).
    std::string ReadAvailable();
    // Closes the master side: the "cable" is pulled.
    void CloseMaster();
    int MasterFd() const { return Master; }

private:
    int Master = -1;
    std::string Path;
};

// Collects trace lines while alive.
class TTraceCollector {
public:
    TTraceCollector();
    ~TTraceCollector();
    std::vector<std::string> Lines() const;
    bool Contains(const std::string& part) const;
};
