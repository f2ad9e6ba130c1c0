#include "Monkey.h"
#include "Process.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

#include <cstdio>

namespace {

// The seeds CI runs, each for this many actions. Q390_MONKEY_SEEDS ("7" or "1,5,9" or
// "100-199") and Q390_MONKEY_ACTIONS repeat a seed or run longer; Q390_MONKEY_TRACE prints
// every action as it is taken.
constexpr std::uint64_t Seeds[] = {1, 2, 3, 4, 5, 6, 7, 8};
constexpr long Actions = 1500;

std::vector<std::uint64_t> seeds()
{
    const QString wanted = qEnvironmentVariable("Q390_MONKEY_SEEDS");
    if (wanted.isEmpty())
        return {std::begin(Seeds), std::end(Seeds)};
    std::vector<std::uint64_t> list;
    for (const QString& item : wanted.split(u',', Qt::SkipEmptyParts)) {
        const QStringList range = item.split(u'-');
        const std::uint64_t first = range.front().toULongLong(), last = range.back().toULongLong();
        for (std::uint64_t seed = first; seed <= last; ++seed)
            list.push_back(seed);
    }
    return list;
}

long actions()
{
    bool ok = false;
    const long wanted = qEnvironmentVariable("Q390_MONKEY_ACTIONS").toLong(&ok);
    return ok && wanted > 0 ? wanted : Actions;
}

TEST(Monkey, TheWindowSurvivesRandomClicksAtRandomMoments)
{
    MonkeyFigures total;
    QElapsedTimer elapsed;
    elapsed.start();
    for (const std::uint64_t seed : seeds()) {
        std::fprintf(stderr, "monkey: seed %llu, %ld actions (repeat: Q390_MONKEY_SEEDS=%llu)\n",
                     static_cast<unsigned long long>(seed), actions(), static_cast<unsigned long long>(seed));
        const QString failure = runMonkey(seed, actions(), total);
        ASSERT_TRUE(failure.isEmpty()) << failure.toStdString();
    }
    const MonkeyFigures& f = total;
    std::fprintf(stderr,
                 "monkey: %ld actions (%ld nested) in %ld windows (%ld exits, %ld closes); %ld sweeps, %ld cut short; "
                 "%ld replays, %ld loads refused, %ld cancelled; %ld saves, %ld failed; %ld prints, %ld failed; "
                 "%ld port opens, %ld refused, %ld line failures; %.1f s, peak RSS %lld MiB\n",
                 f.actions, f.nested, f.sessions, f.exits(), f.closes, f.sweeps, f.sweepsCut, f.replays, f.loadRefusals,
                 f.loadCancels, f.saves(), f.saveFailures, f.prints(), f.printFailures, f.portOpens, f.portRefusals,
                 f.lineFailures, elapsed.elapsed() / 1000.0, Process::peakResidentBytes() >> 20);
}

} // namespace
