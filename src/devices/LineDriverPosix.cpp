#include "core/converter/ControlLines.h"
#include "devices/LineDriver.h"

#include <cerrno>
#include <sys/ioctl.h>

namespace {

[[noreturn]] void fail()
{
    const int error = errno;
    throw LineError(FailureKind::System, error);
}

class UnixLineDriver final : public LineDriver {
public:
    explicit UnixLineDriver(int fd) : fd_(fd) {}

    void setRts(bool asserted) override { change(TIOCM_RTS, asserted); }
    void setDtr(bool asserted) override { change(TIOCM_DTR, asserted); }
    bool readCts() override
    {
        int lines = 0;
        if (::ioctl(fd_, TIOCMGET, &lines) == -1)
            fail();
        return lines & TIOCM_CTS;
    }

private:
    // TIOCMBIS/TIOCMBIC touch one line in one call, with no read-modify-write.
    void change(int line, bool asserted)
    {
        if (::ioctl(fd_, asserted ? TIOCMBIS : TIOCMBIC, &line) == -1)
            fail();
    }

    int fd_;
};

} // namespace

std::unique_ptr<LineDriver> makeNativeLineDriver(NativePortHandle handle)
{
    return std::make_unique<UnixLineDriver>(handle);
}
