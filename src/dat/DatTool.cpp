#include "dat/DatTool.h"

#include "core/drawing/Grid.h"
#include "core/drawing/PdfPage.h"
#include "core/drawing/PlotImage.h"
#include "core/drawing/PrintedPage.h"
#include "core/drawing/Trace.h"
#include "core/samples/Readings.h"
#include "core/samples/RecordingIndex.h"
#include "core/samples/SampleCsv.h"
#include "core/samples/SampleFile.h"
#include "core/system/CommandLine.h"
#include "core/system/Failure.h"
#include "core/system/FailureWords.h"
#include "core/system/FileNames.h"
#include "core/system/WholeFile.h"

#include <QBuffer>
#include <QDir>
#include <QHash>
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
    "Usage: q390-dat info FILE.dat... [--range RANGE] [-q]\n"
    "       q390-dat csv  FILE.dat... [--range RANGE] [-q] [-o OUT.csv | -o DIR | -o -]\n"
    "       q390-dat png  FILE.dat... [--range RANGE] [-q] -o OUT.png|DIR|- [--scale N]\n"
    "       q390-dat pdf  FILE.dat... [--range RANGE] [-q] -o OUT.pdf|DIR|-\n"
    "A sweep's data file as a summary, CSV rows, the window's picture or the printed page.\n";

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
    enum Task { Convert, Help, Version };
    Task task = Convert;
    QString command;
    QStringList inputs;
    QString output; // empty or "-": standard output
    bool intoFolder = false; // the output is a folder that takes one file per input
    std::optional<Range> range; // none: decided from the records
    int scale = 1;
    bool quiet = false;

    bool toStdout() const { return output.isEmpty() || output == u"-"; }
    // Where the result for one data file goes; empty for standard output.
    QString outputFor(const QString& input) const
    {
        if (intoFolder)
            return QDir(output).filePath(QFileInfo(input).completeBaseName() + u'.' + command);
        return toStdout() ? QString() : output;
    }
};

struct Parser {
    QCommandLineParser parser;
    QCommandLineOption range{QStringLiteral("range"),
                             QStringLiteral("The range the sweep was taken in: auto (the default: from the records), unipolar or bipolar."),
                             QStringLiteral("RANGE")};
    QCommandLineOption output{{QStringLiteral("o"), QStringLiteral("output")},
                              QStringLiteral("csv, png, pdf: the output file, - for standard output (csv's default), or a "
                                             "folder (several data files, or a name ending in /) that takes NAME.csv, "
                                             "NAME.png or NAME.pdf for each NAME.dat."),
                              QStringLiteral("FILE")};
    QCommandLineOption scale{QStringLiteral("scale"), QStringLiteral("png: N pixels for every 15 twips, 1 to 16 (default 1)."),
                             QStringLiteral("N")};
    QCommandLineOption quiet{{QStringLiteral("q"), QStringLiteral("quiet")},
                             QStringLiteral("Only errors on standard error, not the range the records told.")};

    Parser()
    {
        CommandLine::prepare(parser);
        for (const QCommandLineOption* option : {&range, &output, &scale, &quiet})
            parser.addOption(*option);
        parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("info, csv, png or pdf."));
        parser.addPositionalArgument(QStringLiteral("FILE.dat"), QStringLiteral("Data files of 16384 bytes, one or more."));
    }
};

Request parse(const QStringList& args)
{
    static const QStringList Commands{QStringLiteral("info"), QStringLiteral("csv"), QStringLiteral("png"),
                                      QStringLiteral("pdf")};
    Parser p;
    const bool parsed = CommandLine::parse(p.parser, QStringLiteral("q390-dat"), args);
    Request r;
    r.command = p.parser.positionalArguments().value(0);
    if (!parsed) {
        const bool unknown = !p.parser.unknownOptionNames().isEmpty() && Commands.contains(r.command);
        throw usage(unknown ? r.command + QStringLiteral(" has ") + CommandLine::problem(p.parser) : CommandLine::problem(p.parser));
    }
    if (p.parser.isSet(CommandLine::helpOption().names().first())) {
        r.task = Request::Help;
        return r;
    }
    if (p.parser.isSet(CommandLine::versionOption().names().first())) {
        r.task = Request::Version;
        return r;
    }
    if (!Commands.contains(r.command))
        throw usage(r.command.isEmpty() ? QStringLiteral("no command given")
                                        : QStringLiteral("unknown command '%1'").arg(r.command));
    // Each command takes the options that mean something to it.
    for (const QString& name : p.parser.optionNames()) {
        const bool taken = (p.output.names().contains(name) && r.command != u"info")
            || (p.scale.names().contains(name) && r.command == u"png") || p.range.names().contains(name)
            || p.quiet.names().contains(name);
        if (!taken)
            throw usage(QStringLiteral("%1 has no option %2").arg(r.command, CommandLine::typed(name)));
    }
    if (p.parser.isSet(p.range)) {
        const QString value = p.parser.value(p.range);
        r.range = rangeNamed(value);
        if (!r.range && value != AutomaticRange)
            throw usage(QStringLiteral("--range takes auto, unipolar or bipolar, not '%1'").arg(value));
    }
    if (p.parser.isSet(p.scale)) {
        const QString value = p.parser.value(p.scale);
        bool number = false;
        r.scale = value.toInt(&number);
        if (!number || r.scale < 1 || r.scale > MaxScale)
            throw usage(QStringLiteral("--scale takes a whole number from 1 to %1, not '%2'").arg(MaxScale).arg(value));
    }
    if (p.parser.isSet(p.output)) {
        r.output = p.parser.value(p.output);
        if (r.output.isEmpty())
            throw usage(QStringLiteral("-o needs a file name, or - for standard output"));
    }
    r.quiet = p.parser.isSet(p.quiet);
    r.inputs = p.parser.positionalArguments().mid(1);
    if (r.inputs.isEmpty())
        throw usage(QStringLiteral("%1 needs a data file").arg(r.command));
    if (r.command == u"info")
        return r;
    if (r.output.isEmpty() && r.command != u"csv")
        throw usage(QStringLiteral("%1 needs -o OUT.%1").arg(r.command));
    r.intoFolder = r.output.endsWith(u'/') || r.output.endsWith(QDir::separator()) || (r.inputs.size() > 1 && !r.toStdout());
    if (r.inputs.size() > 1 && !r.intoFolder)
        throw usage(QStringLiteral("%1 of several data files needs -o DIR, a folder for one output each").arg(r.command));
    // Two outputs of one name would leave only the last.
    QHash<QString, QString> made;
    for (const QString& input : std::as_const(r.inputs)) {
        const QString name = r.outputFor(input);
        if (made.contains(name))
            throw usage(QStringLiteral("'%1' and '%2' would both be written to %3").arg(made[name], input, name));
        made.insert(name, input);
    }
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

// The range: as given, from the index of the recording the file is in, or from the records,
// named on err where the records had to tell it.
Range chooseRange(const Request& r, const QString& input, const SampleArray& samples, const IndexedFiles& indexed, std::FILE* err)
{
    if (r.range)
        return *r.range;
    // A recording's index says what the range was: as sure as one given, so not named either.
    if (const IndexLookup found = indexed.find(nameBytes(input)); found.found == IndexLookup::Named)
        return found.sweep.range;
    const RangeGuess guess = guessRange(samples);
    if (r.quiet)
        return guess.range;
    if (guess.sure)
        say(err, QStringLiteral("%1: range %2, from the records").arg(input, rangeName(guess.range)));
    else
        say(err, QStringLiteral("%1: the records do not tell the range; taking %2 (--range sets it)")
                     .arg(input, rangeName(guess.range)));
    return guess.range;
}

QByteArray info(const QString& input, const SampleArray& samples, Range range)
{
    const Summary s = summarise(samples, range);
    QByteArray text = "file: " + input.toUtf8() + "\nrange: " + rangeName(range).toUtf8() + "\nrecords: "
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

QByteArray pdf(const QString& input, const QString& output, const SampleArray& samples, Range range)
{
    PdfPage pdf(QFileInfo(input).fileName());
    PagePainter page;
    if (!page.begin(pdf.device()))
        throw failure(output, QStringLiteral("the PDF page could not be started"));
    drawPrintedPage(page, samples, range);
    if (!page.end())
        throw failure(output, QStringLiteral("the PDF page could not be finished"));
    return pdf.bytes();
}

QByteArray result(const Request& request, const QString& input, const QString& output, const SampleArray& samples, Range range)
{
    if (request.command == u"info")
        return info(input, samples, range);
    if (request.command == u"csv")
        return sampleCsv(samples, range);
    if (request.command == u"png")
        return png(samples, range, request.scale);
    return pdf(input, output, samples, range);
}

// Where the result goes, settled once the data file has been read and before any work: standard
// output, or a named output written whole (an existing FIFO or device is written into as a
// stream, WholeFile's rule). The data file itself is never an output.
class Output {
public:
    // `name` empty: standard output.
    Output(const QString& name, const QString& input, std::FILE* out) : name_(name), stream_(out)
    {
        if (name_.isEmpty()) {
            name_ = QStringLiteral("standard output");
            return;
        }
#ifdef Q_OS_WIN
        // No inode numbers here: the same file is the same full name, links followed. Windows'
        // devices (NUL, CON) are written by the console's own stream rules, not treated apart.
        const QString found = QFileInfo(name_).canonicalFilePath();
        if (!found.isEmpty() && found.compare(QFileInfo(input).canonicalFilePath(), Qt::CaseInsensitive) == 0)
            throw failure(name_, QStringLiteral("is the data file being read; nothing written"));
#else
        struct stat found {};
        struct stat source {};
        if (::stat(QFile::encodeName(name_).constData(), &found) == 0) {
            if (::stat(QFile::encodeName(input).constData(), &source) == 0 && source.st_dev == found.st_dev
                && source.st_ino == found.st_ino)
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

// Each data file in turn, each output whole; a file that fails is named and the others still
// done, the status then 1.
int execute(const Request& request, std::FILE* out, std::FILE* err)
{
    // Said once rather than for every data file.
    if (request.intoFolder && !QFileInfo(request.output).isDir())
        throw failure(request.output, QFileInfo::exists(request.output) ? QStringLiteral("not a folder") : QStringLiteral("no such folder"));
    int status = 0;
    bool written = false;
    // Each recording's index read once for all its files.
    QList<QByteArray> inputs;
    for (const QString& input : request.inputs)
        inputs << nameBytes(input);
    const IndexedFiles indexed(request.range ? QList<QByteArray>() : inputs);
    for (const QString& refused : indexed.refused())
        say(err, refused);
    for (const QString& input : request.inputs) {
        try {
            const SampleArray samples = readRecords(input);
            const QString target = request.outputFor(input);
            Output output(target, input, out);
            QByteArray bytes = result(request, input, target, samples, chooseRange(request, input, samples, indexed, err));
            // Blocks of info apart by an empty line.
            if (written && request.command == u"info")
                bytes.prepend('\n');
            output.write(bytes);
            written = true;
        } catch (const Stop& stop) {
            say(err, stop.message);
            status = stop.status;
        }
    }
    return status;
}

} // namespace

int run(const QStringList& arguments, std::FILE* out, std::FILE* err)
{
    try {
        const Request request = parse(arguments);
        switch (request.task) {
        case Request::Help:
            std::fputs(qUtf8Printable(CommandLine::help(Parser().parser, QString::fromUtf8(UsageText))), out);
            return 0;
        case Request::Version:
            std::fprintf(out, "q390-dat %s\n", Q390_VERSION);
            return 0;
        case Request::Convert:
            break;
        }
        return execute(request, out, err);
    } catch (const Stop& stop) {
        say(err, stop.message);
        return stop.status;
    }
}

} // namespace DatTool
