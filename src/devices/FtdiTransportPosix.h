#pragma once

// Where libftdi finds an FTDI chip's channel (through FtdiTransport.h): its USB bus and address
// and the channel's interface number.
struct FtdiLocation {
    int bus = 0;
    int address = 0;
    int interface = 0;
    bool operator==(const FtdiLocation&) const = default;
};
