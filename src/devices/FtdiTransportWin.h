#pragma once

#include <QByteArray>

// Where FTDI's D2XX driver finds an FTDI chip's channel (through FtdiTransport.h): by its
// serial number, or by the driver's location id for one that has none.
struct FtdiLocation {
    QByteArray serial;
    unsigned long location = 0;
};
