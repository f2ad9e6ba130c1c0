#include "core/samples/SampleFile.h"

#include <QLocale>

#include <gtest/gtest.h>

TEST(SampleFileName, TakesYearHourAndMinuteFromFixedFormsWhateverTheLocale)
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::Arabic, QLocale::Egypt));
    EXPECT_EQ(SampleFile::fileName(QDateTime(QDate(2010, 10, 28), QTime(14, 35, 7))), u"vx-2101435.dat");
    EXPECT_EQ(SampleFile::fileName(QDateTime(QDate(2009, 3, 5), QTime(9, 7, 41))), u"vx-2090907.dat");
    EXPECT_EQ(SampleFile::fileName(QDateTime(QDate(2010, 12, 31), QTime(23, 59, 59))), u"vx-2102359.dat");
    for (int minute = 0; minute < 60; ++minute)
        EXPECT_EQ(SampleFile::fileName(QDateTime(QDate(2011, 1, 2), QTime(0, minute, 30))),
                  QStringLiteral("vx-21100%1.dat").arg(minute, 2, 10, QLatin1Char('0')));
    QLocale::setDefault(previous);
}
