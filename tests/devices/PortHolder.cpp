// Holds a serial device open from a process of its own, as another program would: prints
// "open" once QSerialPort has opened the device, or the reason it could not, then keeps it
// open until its standard input closes.

#include <QCoreApplication>
#include <QSerialPort>

#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DEVICE\n", argv[0]);
        return 2;
    }
    QSerialPort port(QString::fromLocal8Bit(argv[1]));
    if (!port.open(QIODevice::ReadWrite)) {
        std::printf("%s\n", qPrintable(port.errorString()));
        return 1;
    }
    std::puts("open");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
}
