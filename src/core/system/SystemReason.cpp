#include "core/system/SystemReason.h"

#include <cerrno>
#include <cstring>

QString systemReason(int errorNumber)
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
    default: return QStringLiteral("%1（错误 %2）").arg(QString::fromLocal8Bit(std::strerror(errorNumber))).arg(errorNumber);
    }
}
