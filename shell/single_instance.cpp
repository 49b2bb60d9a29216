#include "shell/single_instance.h"

#include <unistd.h>

#include <cstdlib>

#include <QByteArray>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QTimer>

#include "logic/main_logic.h"
#include "util/text.h"
#include "util/trace.h"
#include "util/version.h"

namespace {
// A forwarded command line is 250 characters plus separators; anything much
// longer is not a command line.
constexpr quint32 kMaxMessage = 64 * 1024;
}  // namespace

std::string TSingleInstance::RuntimeFolder()
{
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    std::string folder =
        runtime && *runtime == '/' && QDir(runtime).exists() ? runtime : QDir::tempPath().toStdString();
    if (!folder.empty() && folder.back() != '/') folder += '/';
    return folder;
}

std::string TSingleInstance::ServerName()
{
    return RuntimeFolder() + LowerCase(VersionString("ProductName")) + "-" + std::to_string(getuid()) + ".socket";
}

std::string TSingleInstance::LockFileName()
{
    return RuntimeFolder() + LowerCase(VersionString("ProductName")) + "-" + std::to_string(getuid()) + ".lock";
}

int TSingleInstance::SendToRunning(const std::string& text, int timeoutMs)
{
    QLocalSocket socket;
    socket.connectToServer(QString::fromStdString(ServerName()));
    if (!socket.waitForConnected(timeoutMs)) return -1;
    QByteArray message;
    quint32 length = quint32(text.size());
    for (int i = 0; i < 4; ++i) message.append(char((length >> (8 * i)) & 0xFF));
    message.append(text.data(), qsizetype(text.size()));
    socket.write(message);
    if (!socket.waitForBytesWritten(timeoutMs)) return -1;
    while (socket.bytesAvailable() < 1) {
        if (!socket.waitForReadyRead(timeoutMs)) return -1;
    }
    char answer = 0;
    socket.read(&answer, 1);
    socket.disconnectFromServer();
    return static_cast<unsigned char>(answer);
}

TSingleInstance::TOutcome TSingleInstance::Check(const std::vector<std::string>& args, bool multipleCopies)
{
    MultipleCopies = multipleCopies;
    QLockFile lock(QString::fromStdString(LockFileName()));
    // Only a lock whose owner no longer runs is stale; a live owner holds it
    // just for the moment of its own check.
    lock.setStaleLockTime(0);
    if (!lock.tryLock(5000)) {
        Result = TOutcome::HandedOver;
        return Result;
    }
    QLocalSocket probe;
    probe.connectToServer(QString::fromStdString(ServerName()));
    bool running = probe.waitForConnected(1000);
    probe.abort();
    if (!running) {
        // First copy: a socket file left by a crashed copy is removed first.
        QLocalServer::removeServer(QString::fromStdString(ServerName()));
        Listen();
        Result = TOutcome::First;
        lock.unlock();
        return Result;
    }
    if (multipleCopies) {
        Result = TOutcome::Another;
        lock.unlock();
        return Result;
    }
    int answer = SendToRunning(ForwardedText(args));
    lock.unlock();
    Result = answer > 0 ? TOutcome::HandedOver : TOutcome::Another;
    return Result;
}

void TSingleInstance::Listen()
{
    Server = new QLocalServer(this);
    Server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!Server->listen(QString::fromStdString(ServerName()))) {
        Trace("Single instance: cannot listen on " + ServerName() + ": " + Server->errorString().toStdString());
        return;
    }
    connect(Server, &QLocalServer::newConnection, this, &TSingleInstance::Accept);
}

void TSingleInstance::Accept()
{
    while (QLocalSocket* socket = Server->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        auto buffer = std::make_shared<QByteArray>();
        QPointer<QLocalSocket> guard(socket);
        // A client that never completes its message is dropped after 10 s.
        QTimer::singleShot(10000, socket, [guard] {
            if (guard) guard->abort();
        });
        connect(socket, &QLocalSocket::readyRead, this, [this, socket, buffer] {
            buffer->append(socket->readAll());
            if (buffer->size() < 4) return;
            quint32 length = 0;
            for (int i = 0; i < 4; ++i) length |= quint32(static_cast<unsigned char>(buffer->at(i))) << (8 * i);
            if (length > kMaxMessage) {
                socket->abort();
                return;
            }
            if (quint32(buffer->size()) < 4 + length) return;
            Received.assign(buffer->constData() + 4, length);
            // Answer at once: the sender never waits while this copy shows its own messages.
            char answer = MultipleCopies ? 0 : 1;
            socket->write(&answer, 1);
            socket->flush();
            socket->disconnectFromServer();
            std::string text = Received;
            if (OnReceive)
                QTimer::singleShot(0, this, [this, text] {
                    if (OnReceive) OnReceive(text);
                });
        });
    }
}
