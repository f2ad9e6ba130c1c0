#pragma once

#include <QPageLayout>
#include <QString>

#include <cups/cups.h>

#include <memory>

// One job for a CUPS destination, handed over through libcups so that the spooler's answer
// is known. Every call here may wait on the scheduler, so none is made on the window's thread;
// none waits longer than a few seconds for a scheduler that has stopped answering. Every
// refusal throws PrintError with the reason to show.
class CupsPrinter {
public:
    // The destination CUPS prints on by default; empty when it names none that it has,
    // which includes a machine where no scheduler runs. A scheduler that takes the
    // connection and does not answer is a PrintError.
    static QString defaultDestination();

    // Finds the destination and its paper; refuses at once when no scheduler answers, the
    // destination is not there, or it is stopped (it would hold the job, not print it).
    explicit CupsPrinter(const QString& destination);
    ~CupsPrinter();

    // The destination's default paper, with the margins of the printable area it reports.
    const QPageLayout& paper() const { return paper_; }
    // Submits a PDF document as one job and returns once CUPS holds all of it. A job that
    // did not get its whole document is cancelled.
    void submit(const QByteArray& pdf);

private:
    struct CloseHttp {
        void operator()(http_t* http) const { httpClose(http); }
    };
    struct FreeDest {
        void operator()(cups_dest_t* dest) const { cupsFreeDests(1, dest); }
    };
    struct FreeInfo {
        void operator()(cups_dinfo_t* info) const { cupsFreeDestInfo(info); }
    };
    using Http = std::unique_ptr<http_t, CloseHttp>;

    static Http connect();
    static QString notAnswering();
    QPageLayout defaultPaper() const;
    // The size CUPS holds of the job's documents, in kilobytes; -1 when it does not say.
    int heldKilobytes(int job) const;
    // What the last libcups call that failed answered, in the words users read.
    QString refusal() const;
    QString notRunning() const;

    QString name_;
    Http http_;
    std::unique_ptr<cups_dest_t, FreeDest> dest_;
    std::unique_ptr<cups_dinfo_t, FreeInfo> info_;
    QPageLayout paper_;
};
