#include "window/toolkit/CupsPrinter.h"

#include "core/system/FailureWords.h"
#include "window/toolkit/PrinterSurface.h"

#include <QLocale>
#include <QSizeF>

#include <cerrno>

namespace {

// A scheduler answers a request in milliseconds, a print server on the network within a
// second or two; longer, it has stopped answering (it may still take connections).
constexpr int ConnectMs = 5000;
constexpr double SilenceSeconds = 4;
constexpr const char* Title = "Q390";

// Called by libcups once the scheduler has been silent that long: give up.
int giveUp(http_t*, void*) { return 0; }

bool failed(ipp_status_t status) { return status > IPP_STATUS_OK_CONFLICTING; }

// A sheet and the margins of its printable area, as CUPS gives them: in hundredths of a millimetre.
QPageLayout sheet(int width, int length, QMargins margins)
{
    return QPageLayout(QPageSize(QSizeF(width, length) / 100, QPageSize::Millimeter), QPageLayout::Portrait,
                       QMarginsF(margins) / 100, QPageLayout::Millimeter);
}

} // namespace

CupsPrinter::Http CupsPrinter::connect()
{
    Http http(httpConnect2(cupsServer(), ippPort(), nullptr, AF_UNSPEC, cupsEncryption(), 1, ConnectMs, nullptr));
    // Without a time-out callback a write into a full socket would wait for ever.
    if (http)
        httpSetTimeout(http.get(), SilenceSeconds, giveUp, nullptr);
    return http;
}

QString CupsPrinter::defaultDestination()
{
    const Http http = connect();
    if (!http)
        return {};
    const std::unique_ptr<cups_dest_t, FreeDest> dest(cupsGetNamedDest(http.get(), nullptr, nullptr));
    // libcups then says "no default destination" as well.
    if (!dest && httpError(http.get()) == ETIMEDOUT)
        throw PrintError(notAnswering());
    return dest ? QString::fromUtf8(dest->name) : QString();
}

CupsPrinter::CupsPrinter(const QString& destination) : name_(destination), http_(connect())
{
    if (!http_)
        throw PrintError(notRunning());
    dest_.reset(cupsGetNamedDest(http_.get(), name_.toUtf8().constData(), nullptr));
    if (!dest_)
        throw PrintError(refusal());
    if (QByteArray(cupsGetOption("printer-state", dest_->num_options, dest_->options)) == QByteArray::number(IPP_PSTATE_STOPPED))
        throw PrintError(QStringLiteral("打印机 %1 已停止").arg(name_));
    info_.reset(cupsCopyDestInfo(http_.get(), dest_.get()));
    if (!info_)
        throw PrintError(refusal());
    paper_ = defaultPaper();
}

CupsPrinter::~CupsPrinter() = default;

// The media the user chose for the destination (lpoptions), with the margins it prints
// within there, else the destination's own default media and margins. A4 or Letter by the
// locale, on the whole sheet, where CUPS gives neither. (cupsGetDestMediaDefault takes
// Letter whenever the user chose nothing, and the default's name can be empty where its
// size is not.)
QPageLayout CupsPrinter::defaultPaper() const
{
    cups_size_t chosen;
    if (const char* media = cupsGetOption(CUPS_MEDIA, dest_->num_options, dest_->options);
        media && cupsGetDestMediaByName(http_.get(), dest_.get(), info_.get(), media, CUPS_MEDIA_FLAGS_DEFAULT, &chosen))
        return sheet(chosen.width, chosen.length, {chosen.left, chosen.top, chosen.right, chosen.bottom});
    ipp_t* media = ippGetCollection(cupsFindDestDefault(http_.get(), dest_.get(), info_.get(), "media-col"), 0);
    ipp_t* size = ippGetCollection(ippFindAttribute(media, "media-size", IPP_TAG_BEGIN_COLLECTION), 0);
    const auto value = [](ipp_t* in, const char* name) { return ippGetInteger(ippFindAttribute(in, name, IPP_TAG_INTEGER), 0); };
    if (const int width = value(size, "x-dimension"), length = value(size, "y-dimension"); width > 0 && length > 0)
        return sheet(width, length,
                     {value(media, "media-left-margin"), value(media, "media-top-margin"), value(media, "media-right-margin"),
                      value(media, "media-bottom-margin")});
    const bool us = QLocale::system().measurementSystem() == QLocale::ImperialUSSystem;
    return QPageLayout(QPageSize(us ? QPageSize::Letter : QPageSize::A4), QPageLayout::Portrait, QMarginsF());
}

void CupsPrinter::submit(const QByteArray& pdf)
{
    int job = 0;
    if (failed(cupsCreateDestJob(http_.get(), dest_.get(), info_.get(), &job, Title, 0, nullptr)))
        throw PrintError(refusal());
    bool sent = cupsStartDestDocument(http_.get(), dest_.get(), info_.get(), job, Title, CUPS_FORMAT_PDF, 0, nullptr, 1)
                == HTTP_STATUS_CONTINUE;
    if (sent) {
        const bool written = cupsWriteRequestData(http_.get(), pdf.constData(), std::size_t(pdf.size())) == HTTP_STATUS_CONTINUE;
        // The answer is read after a failed write too: it holds the scheduler's reason. When
        // the connection breaks as the document ends, libcups keeps its last answer, the job's
        // creation, a success: the connection's own error tells.
        sent = !failed(cupsFinishDestDocument(http_.get(), dest_.get(), info_.get())) && written
               && httpError(http_.get()) == 0;
    }
    if (!sent) {
        const QString reason = refusal();
        // A job without its whole document would wait in the queue or print a part. It is
        // cancelled over a new connection, this one may be broken; should the cancel fail as
        // well, the reason above is still the one to show.
        httpReconnect2(http_.get(), ConnectMs, nullptr);
        cupsCancelDestJob(http_.get(), dest_.get(), job);
        throw PrintError(reason);
    }
}

QString CupsPrinter::refusal() const
{
    // A broken connection leaves libcups's last answer as it was, perhaps a success.
    if (const int error = httpError(http_.get()); error == ETIMEDOUT)
        return notAnswering();
    else if (error != 0 && !failed(cupsLastError()))
        return QStringLiteral("与打印服务的连接中断（%1）").arg(englishReason(error));
    switch (cupsLastError()) {
    case IPP_STATUS_ERROR_NOT_ACCEPTING_JOBS:
        return QStringLiteral("打印机 %1 不接受打印作业").arg(name_);
    case IPP_STATUS_ERROR_NOT_FOUND:
        return QStringLiteral("找不到打印机 %1").arg(name_);
    case IPP_STATUS_ERROR_SERVICE_UNAVAILABLE:
        return notRunning();
    default:
        return QStringLiteral("打印机 %1：%2").arg(name_, QString::fromUtf8(cupsLastErrorString()));
    }
}

QString CupsPrinter::notAnswering()
{
    return QStringLiteral("打印服务 %1 无响应").arg(QString::fromUtf8(cupsServer()));
}

QString CupsPrinter::notRunning() const
{
    return QStringLiteral("打印服务未运行，无法打印到 %1").arg(name_);
}
