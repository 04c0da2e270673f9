#include "app/SignalBridge.h"

#include "platform/Log.h"

#include <QSocketNotifier>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The write end for the handler; -1 while no bridge is installed.
std::atomic<int> writeFd{-1};

extern "C" void forwardSignal(int signalNumber)
{
    const int savedErrno = errno;
    const int fd = writeFd.load();
    if (fd >= 0) {
        const unsigned char number = static_cast<unsigned char>(signalNumber);
        // Non-blocking: with the pair full, the pending bytes already ask to quit.
        [[maybe_unused]] const ssize_t written = ::write(fd, &number, 1);
    }
    errno = savedErrno;
}

} // namespace

SignalBridge::SignalBridge(QList<int> signalNumbers, QObject *parent)
    : QObject(parent), m_signalNumbers(std::move(signalNumbers))
{
    if (writeFd.load() >= 0) {
        qCWarning(Log::general, "A signal bridge is already installed");
        return;
    }
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, m_fds) != 0) {
        qCWarning(Log::general, "Cannot watch termination signals: %s", std::strerror(errno));
        return;
    }
    m_notifier = new QSocketNotifier(m_fds[1], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalBridge::readSignals);
    writeFd.store(m_fds[0]);

    for (const int number : std::as_const(m_signalNumbers)) {
        struct sigaction action {};
        action.sa_handler = forwardSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        struct sigaction previous {};
        ::sigaction(number, &action, &previous);
        m_previous << previous;
    }
}

SignalBridge::~SignalBridge()
{
    if (m_notifier == nullptr)
        return;
    for (qsizetype i = 0; i < m_signalNumbers.size(); ++i)
        ::sigaction(m_signalNumbers[i], &m_previous[i], nullptr);
    writeFd.store(-1);
    delete m_notifier;
    ::close(m_fds[0]);
    ::close(m_fds[1]);
}

void SignalBridge::readSignals()
{
    unsigned char numbers[16];
    ssize_t count = 0;
    while ((count = ::read(m_fds[1], numbers, sizeof numbers)) > 0) {
        for (ssize_t i = 0; i < count; ++i) {
            qCInfo(Log::general, "Received signal %d; quitting", int(numbers[i]));
            emit signalReceived(int(numbers[i]));
        }
    }
}
