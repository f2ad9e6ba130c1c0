#include "window/UnhandledErrors.h"

#include <QString>

#include <new>
#include <stdexcept>

int UnhandledErrors::number(const std::exception& error)
{
    if (dynamic_cast<const std::bad_alloc*>(&error))
        return 7;
    if (dynamic_cast<const std::overflow_error*>(&error))
        return 6;
    if (dynamic_cast<const std::out_of_range*>(&error))
        return 9;
    return 5;
}

void UnhandledErrors::report(const std::exception& error)
{
    if (reported_)
        return;
    reported_ = true;
    // The end leaves no destructor to close it, and a chip left in bit-bang mode would keep its
    // tty away from the system. Closed through the component, so that a tick while the box
    // waits reaches the simulator, not a device whose driver has gone.
    if (port_.portOpen())
        port_.setPortOpen(false);
    boxes_.show(QStringLiteral("运行错误 %1：%2").arg(number(error)).arg(QString::fromLocal8Bit(error.what())),
                QStringLiteral("Q390A 数据采集器"), MsgStyle::Critical);
    lifetime_.endProgram(1);
}
