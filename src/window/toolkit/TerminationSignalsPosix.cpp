#include "window/toolkit/TerminationSignals.h"

#include <QSocketNotifier>

#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <stdexcept>

namespace {

constexpr int Signals[] = {SIGTERM, SIGHUP, SIGINT};
// The socket the handler writes to: a signal handler reaches nothing else.
int signalled = -1;

void onSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    // A full socket already holds a wake-up; nothing is lost by dropping this one.
    [[maybe_unused]] const ssize_t written = ::write(signalled, &byte, 1);
    errno = saved;
}

} // namespace

struct TerminationSignals::Watch {
    explicit Watch(std::function<void()> handler) : handler_(std::move(handler))
    {
        if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, sockets_) != 0)
            throw std::runtime_error("no socket pair for the termination signals");
        signalled = sockets_[0];
        notifier_ = std::make_unique<QSocketNotifier>(sockets_[1], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, notifier_.get(), [this] {
            char bytes[16];
            while (::read(sockets_[1], bytes, sizeof bytes) > 0) {
            }
            handler_();
        });
        struct sigaction action = {};
        action.sa_handler = onSignal;
        sigemptyset(&action.sa_mask);
        action.sa_flags = SA_RESTART;
        for (std::size_t n = 0; n < std::size(Signals); ++n)
            ::sigaction(Signals[n], &action, &previous_[n]);
    }

    ~Watch()
    {
        for (std::size_t n = 0; n < std::size(Signals); ++n)
            ::sigaction(Signals[n], &previous_[n], nullptr);
        signalled = -1;
        notifier_.reset();
        ::close(sockets_[0]);
        ::close(sockets_[1]);
    }

    std::function<void()> handler_;
    int sockets_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
    struct sigaction previous_[3] = {};
};

TerminationSignals::TerminationSignals(std::function<void()> handler) : watch_(std::make_unique<Watch>(std::move(handler)))
{
}

TerminationSignals::~TerminationSignals() = default;
