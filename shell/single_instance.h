#pragma once
// One running copy per user: the first copy holds a local server named after
// the product; a second start hands its arguments to it (see ForwardedText)
// and ends. A lock file serialises concurrent starts; a lock or socket left
// behind by a crashed copy is detected and never blocks a start.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QObject>

class QLocalServer;

class TSingleInstance : public QObject {
    Q_OBJECT
public:
    enum class TOutcome { First, Another, HandedOver };

    // Runs the start-up check. multipleCopies: the "MultipleCopies" option.
    TOutcome Check(const std::vector<std::string>& args, bool multipleCopies);
    TOutcome Outcome() const { return Result; }

    // Called (on the user-interface thread) with every text a second copy sends.
    std::function<void(const std::string&)> OnReceive;
    // The last text received.
    const std::string& LastText() const { return Received; }

    // Folder of the lock file and the socket: $XDG_RUNTIME_DIR, else the temporary folder.
    static std::string RuntimeFolder();
    static std::string ServerName();
    static std::string LockFileName();

    // The answer a first copy gives: 1 when it takes the arguments, else 0.
    bool MultipleCopies = false;

    // Sends text to a running copy; the answer byte (-1 when none could be had).
    static int SendToRunning(const std::string& text, int timeoutMs = 5000);

private:
    void Listen();
    void Accept();
    QLocalServer* Server = nullptr;
    TOutcome Result = TOutcome::Another;
    std::string Received;
};
