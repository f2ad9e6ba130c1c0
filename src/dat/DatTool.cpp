#include "dat/DatTool.h"

#include "core/drawing/Grid.h"
#include "core/drawing/PdfPage.h"
#include "core/drawing/PlotImage.h"
#include "core/drawing/PrintedPage.h"
#include "core/drawing/Trace.h"
#include "core/samples/Readings.h"
#include "core/samples/SampleCsv.h"
#include "core/samples/SampleFile.h"
#include "core/system/Failure.h"
#include "core/system/FailureWords.h"
#include "core/system/WholeFile.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <optional>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

namespace DatTool {
namespace {

constexpr int MaxScale = 16;

const char* const UsageText =
    "usage: q390-dat info FILE.dat [--range auto|unipolar|bipolar]\n"
    "       q390-dat csv  FILE.dat [--range ...] [-o OUT.csv]\n"
    "       q390-dat png  FILE.dat [--range ...] -o OUT.png [--scale N]\n"
    "       q390-dat pdf  FILE.dat [--range ...] -o OUT.pdf\n";

// A reason to stop, with the exit status it gives.
struct Stop {
    int status;
    QString message;
};

Stop usage(const QString& message)
{
    return {Usage, message + QStringLiteral(" (q390-dat --help shows the usage)")};
}

Stop failure(const QString& file, const QString& reason)
{
    return {Failed, file + QStringLiteral(": ") + reason};
}

struct Request {
    QString command;
    QString input;
    QString output;
    std::optional<Range> range; // none: decided from the records
    int scale = 1;
};

Request parse(const QStringList& args)
{
    static const QStringList Commands{QStringLiteral("info"), QStringLiteral("csv"), QStringLiteral("png"),
                                      QStringLiteral("pdf")};
    Request r;
    r.command = args.value(0);
    if (!Commands.contains(r.command))
        throw usage(r.command.isEmpty() ? QStringLiteral("no command given")
                                        : QStringLiteral("unknown command '%1'").arg(r.command));
    const bool writesFile = r.command != u"info";
    for (qsizetype n = 1; n < args.size(); ++n) {
        QString option = args[n];
        QString value;
        if (option.startsWith(u"--") && option.contains(u'=')) {
            value = option.section(u'=', 1);
            option = option.section(u'=', 0, 0);
        } else if (option == u"--range" || option == u"--scale" || option == u"-o") {
            if (++n == args.size())
                throw usage(QStringLiteral("option %1 needs a value").arg(option));
            value = args[n];
        }
        if (option == u"--range") {
            r.range = rangeNamed(value);
            if (!r.range && value != AutomaticRange)
                throw usage(QStringLiteral("--range takes auto, unipolar or bipolar, not '%1'").arg(value));
        } else if (option == u"--scale" && r.command == u"png") {
            bool number = false;
            r.scale = value.toInt(&number);
            if (!number || r.scale < 1 || r.scale > MaxScale)
                throw usage(QStringLiteral("--scale takes a whole number from 1 to %1, not '%2'").arg(MaxScale).arg(value));
        } else if (option == u"-o" && writesFile) {
            if (value.isEmpty())
                throw usage(QStringLiteral("-o needs a file name"));
            r.output = value;
        } else if (option.startsWith(u'-')) {
            throw usage(QStringLiteral("%1 has no option %2").arg(r.command, option));
        } else if (r.input.isEmpty()) {
            r.input = option;
        } else {
            throw usage(QStringLiteral("one data file at a time: '%1' is one too many").arg(option));
        }
    }
    if (r.input.isEmpty())
        throw usage(QStringLiteral("%1 needs a data file").arg(r.command));
    if (r.output.isEmpty() && (r.command == u"png" || r.command == u"pdf"))
        throw usage(QStringLiteral("%1 needs -o OUT.%1").arg(r.command));
    return r;
}

// The file read as the window reads it, a refusal in the system's own (English) words.
SampleArray readRecords(const QString& path)
{
    const SampleFile::Contents contents = SampleFile::inspect(path);
    switch (contents.outcome) {
    case SampleFile::Contents::Whole: {
        SampleArray samples{};
        SampleFile::decode(contents.bytes, samples);
        return samples;
    }
    case SampleFile::Contents::SystemError:
        if (contents.errorNumber == ENOENT)
            throw failure(path, QStringLiteral("no such file"));
        if (contents.errorNumber == EISDIR)
            throw failure(path, QStringLiteral("is a folder, not a data file"));
        throw failure(path, englishReason(contents.errorNumber));
    case SampleFile::Contents::NotRegular:
        throw failure(path, QStringLiteral("not a regular file"));
    case SampleFile::Contents::Short:
        break;
    }
    throw failure(path, QStringLiteral("only %1 bytes; a data file holds %2").arg(contents.bytes.size()).arg(SampleFile::Size));
}

void say(std::FILE* err, const QString& line)
{
    std::fprintf(err, "q390-dat: %s\n", qUtf8Printable(line));
}

Range chooseRange(const Request& r, const SampleArray& samples, std::FILE* err)
{
    if (r.range) {
        say(err, QStringLiteral("%1: range %2").arg(r.input, rangeName(*r.range)));
        return *r.range;
    }
    const RangeGuess guess = guessRange(samples);
    if (guess.sure)
        say(err, QStringLiteral("%1: range %2, from the records").arg(r.input, rangeName(guess.range)));
    else
        say(err, QStringLiteral("%1: the records do not tell the range; taking %2 (--range sets it)")
                     .arg(r.input, rangeName(guess.range)));
    return guess.range;
}

QByteArray info(const Request& request, const SampleArray& samples, Range range)
{
    const Summary s = summarise(samples, range);
    QByteArray text = "file: " + request.input.toUtf8() + "\nrange: " + rangeName(range).toUtf8() + "\nrecords: "
        + QByteArray::number(SweepLength);
    const auto volts = [&](const char* name, double value) {
        text += '\n';
        text += name;
        appendFixed(text, value);
        text += " V";
    };
    volts("minimum: ", s.minimum);
    volts("maximum: ", s.maximum);
    volts("mean: ", s.mean);
    volts("rms: ", s.rms);
    text += "\nimpossible in this range: " + QByteArray::number(s.impossible) + '\n';
    return text;
}

QByteArray png(const SampleArray& samples, Range range, int scale)
{
    PlotImage plot(scale);
    drawGrid(plot);
    traceStored(samples, range, [&](const PlotLine& s) {
        plot.drawLine(s.x1, s.y1, s.x2, s.y2, TraceColor);
        return true;
    });
    QBuffer bytes;
    bytes.open(QIODevice::WriteOnly);
    plot.image().save(&bytes, "PNG");
    return bytes.data();
}

QByteArray pdf(const Request& request, const SampleArray& samples, Range range)
{
    PdfPage pdf(QFileInfo(request.input).fileName());
    PagePainter page;
    if (!page.begin(pdf.device()))
        throw failure(request.output, QStringLiteral("the PDF page could not be started"));
    drawPrintedPage(page, samples, range);
    if (!page.end())
        throw failure(request.output, QStringLiteral("the PDF page could not be finished"));
    return pdf.bytes();
}

QByteArray result(const Request& request, const SampleArray& samples, Range range)
{
    if (request.command == u"info")
        return info(request, samples, range);
    if (request.command == u"csv")
        return sampleCsv(samples, range);
    if (request.command == u"png")
        return png(samples, range, request.scale);
    return pdf(request, samples, range);
}

// Where the result goes, settled once the data file has been read and before any work: standard
// output, or a named output written whole (an existing FIFO or device is written into as a
// stream, WholeFile's rule). The data file itself is never an output.
class Output {
public:
    Output(const Request& request, std::FILE* out) : name_(request.output), stream_(out)
    {
        if (name_.isEmpty()) {
            name_ = QStringLiteral("standard output");
            return;
        }
#ifdef Q_OS_WIN
        // No inode numbers here: the same file is the same full name, links followed. Windows'
        // devices (NUL, CON) are written by the console's own stream rules, not treated apart.
        const QString found = QFileInfo(name_).canonicalFilePath();
        if (!found.isEmpty() && found.compare(QFileInfo(request.input).canonicalFilePath(), Qt::CaseInsensitive) == 0)
            throw failure(name_, QStringLiteral("is the data file being read; nothing written"));
#else
        struct stat found {};
        struct stat input {};
        if (::stat(QFile::encodeName(name_).constData(), &found) == 0) {
            if (::stat(QFile::encodeName(request.input).constData(), &input) == 0 && input.st_dev == found.st_dev
                && input.st_ino == found.st_ino)
                throw failure(name_, QStringLiteral("is the data file being read; nothing written"));
            // This program's own standard output under another name (-o /dev/stdout into a file
            // the shell opened, perhaps to append to it): the shell's stream, not a file to replace.
            if (struct stat own {}; ::fstat(::fileno(out), &own) == 0 && own.st_dev == found.st_dev
                && own.st_ino == found.st_ino)
                return;
        }
#endif
        if (!file_.emplace(name_).open())
            throw failure(name_, englishReason(file_->errorNumber()));
    }

    void write(const QByteArray& bytes)
    {
        if (file_) {
            if (file_->commit(bytes))
                return;
            if (file_->unconfirmed())
                throw failure(name_, QStringLiteral("written, but the folder could not be synced (%1), so it may not survive a crash")
                                         .arg(englishReason(file_->errorNumber())));
            throw failure(name_, englishReason(file_->errorNumber()));
        }
        if (std::fwrite(bytes.constData(), 1, bytes.size(), stream_) != std::size_t(bytes.size()) || std::fflush(stream_) != 0)
            throw failure(name_, englishReason(errno));
    }

private:
    QString name_;
    std::FILE* stream_;
    std::optional<WholeFile> file_;
};

int execute(const QStringList& args, std::FILE* out, std::FILE* err)
{
    const Request request = parse(args);
    const SampleArray samples = readRecords(request.input);
    Output output(request, out);
    output.write(result(request, samples, chooseRange(request, samples, err)));
    return 0;
}

} // namespace

int run(const QStringList& arguments, std::FILE* out, std::FILE* err)
{
    if (arguments.size() == 1 && (arguments[0] == u"--help" || arguments[0] == u"-h")) {
        std::fputs(UsageText, out);
        return 0;
    }
    if (arguments.size() == 1 && arguments[0] == u"--version") {
        std::fprintf(out, "q390-dat %s\n", Q390_VERSION);
        return 0;
    }
    try {
        return execute(arguments, out, err);
    } catch (const Stop& stop) {
        say(err, stop.message);
        return stop.status;
    }
}

} // namespace DatTool
