#include "support/RunTests.h"

#include <QGuiApplication>

int main(int argc, char** argv)
{
    return runTests<QGuiApplication>(argc, argv);
}
