#include "dat/DatTool.h"

int main(int argc, char** argv)
{
    QStringList arguments;
    for (int n = 1; n < argc; ++n)
        arguments << QString::fromLocal8Bit(argv[n]);
    return DatTool::run(arguments, stdout, stderr);
}
