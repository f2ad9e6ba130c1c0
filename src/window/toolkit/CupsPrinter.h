#pragma once

#include "core/drawing/PdfPage.h"

#include <QString>

#include <cups/cups.h>

#include <memory>

// One page for a CUPS destination, handed over through libcups so that the spooler's answer
// is known: drawn into a PDF in memory on the destination's default paper, with the margins
// of the printable area it reports, and submitted whole once drawn. Every refusal throws
// PrintError with the reason to show.
class CupsPrinter {
public:
    // The destination CUPS prints on by default; empty when it names none that it has,
    // which includes a machine where no scheduler answers.
    static QString defaultDestination();

    // Finds the destination and its paper; refuses at once when no scheduler answers, the
    // destination is not there, or it is stopped (it would hold the job, not print it).
    explicit CupsPrinter(const QString& destination);
    ~CupsPrinter();

    QPagedPaintDevice& device() { return page_.device(); }
    // Submits the page once the painter on it has ended.
    void submit();

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
    QPageLayout defaultPaper() const;
    // What the last libcups call that failed answered, in the words users read.
    QString refusal() const;
    QString notRunning() const;

    QString name_;
    Http http_;
    std::unique_ptr<cups_dest_t, FreeDest> dest_;
    std::unique_ptr<cups_dinfo_t, FreeInfo> info_;
    PdfPage page_;
};
