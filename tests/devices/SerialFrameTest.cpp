#include "SerialRig.h"
#include "core/converter/ConverterLink.h"
#include "devices/Unit.h"
#include "devices/SystemSerialDevice.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <csignal>
#include <cstddef>
#include <deque>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The unit's converter link with the device open for real: QSerialPort opens it and the
// native driver carries the line operations.
struct OpenLink {
    explicit OpenLink(const QString& device) : ports([device] { return QList<PortDevice>{{device, device}}; })
    {
        unit.open(QStringLiteral("COM1"));
    }
    SystemSerialDevice serial;
    PortMap ports;
    Unit unit{{serial, ports}};
    PortSwitch& comm = unit.port();
    ConverterLink& link = unit.link();
};

TEST(SerialFrame, TheConverterSeesEveryFrameInOrderThroughTheNativeDriverAndTheLinkDecodesItsCode)
{
    struct Case {
        const char* word;
        int channel;
        bool unipolar;
        int code;
        qint16 result;
        const char* sign;
    };
    const Case cases[] = {
        {"10000110", 0, false, -1, 0, "-"},         {"11101110", 5, true, 4095, 4095, "+"},
        {"11110110", 7, false, -2048, 2047, "-"},   {"10011110", 2, true, 2048, 2048, "+"},
        {"11010110", 3, false, 1365, 1365, "+"},    {"10100110", 4, false, 0, 0, "+"},
    };
    std::deque<int> codes;
    for (const Case& c : cases)
        codes.push_back(c.code);
    EmulatedDevice device([&codes](const ConversionRequest&) {
        const int code = codes.front();
        codes.pop_front();
        return code;
    });
    OpenLink open(device.path());
    ASSERT_TRUE(open.comm.isOpen());
    device.recording = true;

    for (const Case& c : cases) {
        SCOPED_TRACE(c.word);
        device.seen.clear();
        emuport_reset_counts();
        EXPECT_EQ(convertWord(open.link, QString::fromLatin1(c.word)), (ConverterReading{c.result, *c.sign == '-'}));
        EXPECT_EQ(device.seen, handFrame(rtsFor(QString::fromLatin1(c.word)), ctsFor(unsigned(c.code) & 0xFFFu)));
        EXPECT_EQ(device.converter().lastRequest().channel, c.channel);
        EXPECT_EQ(device.converter().lastRequest().range, c.unipolar ? Range::Unipolar : Range::Bipolar);
        EXPECT_EQ(emuport_output_lines(), TIOCM_RTS | TIOCM_DTR) << "rest state";

        const emuport_counts counts = emuport_calls();
        EXPECT_EQ(counts.sets, 52);
        EXPECT_EQ(counts.reads, 13);
        EXPECT_EQ(counts.others, 0);
    }
}

// What a child under a system-call filter reports through memory it shares with the test.
struct ChildReport {
    long trappedCall;
    int wrongResults;
};
ChildReport* childReport = nullptr;

void onTrappedCall(int, siginfo_t* info, void*)
{
    childReport->trappedCall = info->si_syscall;
    syscall(SYS_exit_group, 3);
}

// From here on, the only system calls this process may make are the three line requests
// and its exit; anything else traps.
bool allowOnlyLineRequests()
{
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_exit_group, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, SYS_ioctl, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRAP),
        // The request's low 32 bits (little-endian), which hold the whole request number.
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[1])),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, TIOCMGET, 2, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, TIOCMBIS, 1, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, TIOCMBIC, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_TRAP),
    };
    const sock_fprog program{static_cast<unsigned short>(std::size(filter)), filter};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

TEST(SerialFrame, ConversionsOnTheOpenPortMakeNoSystemCallButTheLineRequests)
{
    static_assert(std::endian::native == std::endian::little);
    constexpr int conversions = 500;
    EmulatedDevice device(Ramp{});
    OpenLink open(device.path());
    ASSERT_TRUE(open.comm.isOpen());
    const LineFrame frame = ConverterLink::encode(ControlWord::make({5, Range::Unipolar}));
    std::array<qint16, conversions> expected{};
    for (int n = 0; n < conversions; ++n)
        expected[n] = qint16(rampCode({5, true}, n));

    void* shared = mmap(nullptr, sizeof(ChildReport), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(shared, MAP_FAILED);
    childReport = new (shared) ChildReport{-1, 0};
    struct sigaction trap {};
    trap.sa_sigaction = onTrappedCall;
    trap.sa_flags = SA_SIGINFO;

    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        if (sigaction(SIGSYS, &trap, nullptr) != 0 || !allowOnlyLineRequests())
            syscall(SYS_exit_group, 77);
        for (int n = 0; n < conversions; ++n)
            if (ConverterReading::of(open.link.convert(frame), Range::Unipolar).magnitude != expected[n])
                ++childReport->wrongResults;
        syscall(SYS_exit_group, 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    const ChildReport report = *childReport;
    munmap(shared, sizeof(ChildReport));
    ASSERT_TRUE(WIFEXITED(status)) << "status " << status;
    if (WEXITSTATUS(status) == 77)
        GTEST_SKIP() << "system-call filters (seccomp) are not available here";
    EXPECT_EQ(report.trappedCall, -1) << "system call " << report.trappedCall << " made during a conversion";
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(report.wrongResults, 0);
}

} // namespace
