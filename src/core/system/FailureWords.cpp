#include "core/system/FailureWords.h"

#include <cerrno>
#include <cstring>

QString chineseReason(int errorNumber)
{
    switch (errorNumber) {
    case ENOENT: return QStringLiteral("文件或设备不存在");
    case ENODEV:
    case ENXIO: return QStringLiteral("设备不存在");
    case EACCES:
    case EPERM: return QStringLiteral("没有权限");
    case EBUSY: return QStringLiteral("设备正忙");
    case EIO: return QStringLiteral("输入/输出错误");
    case ENOSPC: return QStringLiteral("磁盘已满");
#ifdef EDQUOT
    case EDQUOT: return QStringLiteral("超出磁盘配额");
#endif
    case EROFS: return QStringLiteral("只读文件系统");
    case EFBIG: return QStringLiteral("文件过大");
    case EISDIR: return QStringLiteral("这是一个文件夹");
    case EEXIST: return QStringLiteral("文件已存在");
    case ENOTTY: return QStringLiteral("不是串口");
    case ENOMEM: return QStringLiteral("内存不足");
    default: return QStringLiteral("%1（错误 %2）").arg(englishReason(errorNumber)).arg(errorNumber);
    }
}

QString chineseReason(const Failure& failure)
{
    switch (failure.kind()) {
    case FailureKind::System: return chineseReason(failure.errorNumber());
    case FailureKind::PortNumber: return QStringLiteral("端口号须在1到16之间");
    case FailureKind::NoSuchPort: return QStringLiteral("无此端口");
    case FailureKind::LineSettings: return QStringLiteral("通信参数无效");
    case FailureKind::NoBitBang: return QStringLiteral("此芯片没有同步位模式");
    case FailureKind::NoAnswer: return QStringLiteral("设备无响应");
    case FailureKind::NoFtdiDriver: return QStringLiteral("未安装 FTDI 的 D2XX 驱动 (ftd2xx.dll)");
    case FailureKind::Device:
    case FailureKind::Worded: break;
    }
    return failure.detail();
}

QString englishReason(int errorNumber)
{
    return QString::fromLocal8Bit(std::strerror(errorNumber));
}

QString englishReason(const Failure& failure)
{
    switch (failure.kind()) {
    case FailureKind::System: return englishReason(failure.errorNumber());
    case FailureKind::PortNumber: return QStringLiteral("port numbers run from 1 to 16");
    case FailureKind::NoSuchPort: return QStringLiteral("no such serial port");
    case FailureKind::LineSettings: return QStringLiteral("invalid line settings \"%1\"").arg(failure.detail());
    case FailureKind::NoBitBang: return QStringLiteral("the chip has no synchronous bit-bang mode");
    case FailureKind::NoAnswer: return QStringLiteral("the device does not answer");
    case FailureKind::NoFtdiDriver: return QStringLiteral("FTDI's D2XX driver (ftd2xx.dll) is not installed");
    case FailureKind::Device:
    case FailureKind::Worded: break;
    }
    return failure.detail();
}
