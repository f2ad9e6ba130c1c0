#include "core/samples/RecordingIndex.h"

#include "core/samples/SampleCsv.h"
#include "core/system/FailureWords.h"
#include "core/system/FileNames.h"

#include <QSet>

#include <algorithm>
#include <cstdlib>
#include <utility>

namespace {

constexpr std::size_t Columns = std::size_t(IndexColumn::Count);
// The file is read in pieces of this size.
constexpr qsizetype ReadBytes = 64 << 10;

struct ColumnName {
    const char* name;
    const char* older; // the name older recordings gave it, or none
};
// In the order a new index has them. The link column was first called "path".
constexpr ColumnName Names[Columns] = {
    {"sweep", nullptr},  {"file", nullptr},  {"start", nullptr},   {"seconds", nullptr},
    {"channel", nullptr}, {"range", nullptr}, {"source", nullptr},  {"link", "path"},
    {"min_v", nullptr},  {"max_v", nullptr}, {"mean_v", nullptr},  {"note", nullptr},
    {"trigger", nullptr},
};

QByteArray headerLine(bool older)
{
    QByteArray line;
    for (const ColumnName& column : Names)
        line += QByteArray(older && column.older ? column.older : column.name) + ',';
    line.back() = '\n';
    return line;
}

// A CSV cell; quoted when it holds a separator, a quote or a line break.
QByteArray cell(const QString& text)
{
    QByteArray bytes = text.toUtf8();
    if (bytes.contains(',') || bytes.contains('"') || bytes.contains('\n') || bytes.contains('\r'))
        bytes = '"' + bytes.replace('"', "\"\"") + '"';
    return bytes;
}

QByteArray fixed(double value)
{
    QByteArray text;
    appendFixed(text, value);
    return text;
}

// A file of the folder itself: no path to elsewhere, on this system or another.
bool inFolder(const QString& name)
{
    return name != u"." && name != u".." && !name.contains(u'/') && !name.contains(u'\\') && !name.contains(u':')
        && !name.contains(QChar(0));
}

} // namespace

QDateTime IndexedSweep::start() const
{
    return QDateTime::fromString(QString::fromLatin1(startText), Qt::ISODateWithMs);
}

void IndexedSweep::setStart(const QDateTime& time)
{
    // "2026-12-07T15:47:41.123+01:00": local time with milliseconds and the offset from UTC.
    const int offset = time.offsetFromUtc() / 60;
    startText = time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzz")).toLatin1()
        + QString::asprintf("%c%02d:%02d", offset < 0 ? '-' : '+', std::abs(offset) / 60, std::abs(offset) % 60).toLatin1();
}

IndexHeader::IndexHeader(QList<QByteArray> names) : names_(std::move(names))
{
    at_.fill(-1);
    for (qsizetype n = names_.size() - 1; n >= 0; --n)
        for (std::size_t c = 0; c < Columns; ++c)
            if (names_[n] == Names[c].name || (Names[c].older && names_[n] == Names[c].older))
                at_[c] = n;
}

IndexHeader IndexHeader::current()
{
    QList<QByteArray> names;
    for (const ColumnName& column : Names)
        names << column.name;
    return IndexHeader(names);
}

std::optional<IndexHeader> IndexHeader::named(const QList<QByteArray>& cells)
{
    IndexHeader header(cells);
    for (const IndexColumn needed : {IndexColumn::Sweep, IndexColumn::File, IndexColumn::Channel, IndexColumn::Range})
        if (header.at(needed) < 0)
            return std::nullopt;
    return header;
}

bool IndexHeader::begins(const QByteArray& text)
{
    return headerLine(false).startsWith(text) || headerLine(true).startsWith(text);
}

QByteArray IndexHeader::line() const
{
    return names_.join(',') + '\n';
}

QByteArray IndexHeader::rowOf(const std::array<QByteArray, Columns>& cells) const
{
    QByteArray row;
    row.reserve(160);
    for (qsizetype n = 0; n < names_.size(); ++n) {
        const auto known = std::find(at_.begin(), at_.end(), n);
        if (n > 0)
            row += ',';
        if (known != at_.end())
            row += cells[std::size_t(known - at_.begin())];
    }
    return row + '\n';
}

QByteArray IndexHeader::row(const IndexedSweep& s) const
{
    std::array<QByteArray, Columns> cells;
    const auto put = [&cells](IndexColumn column, QByteArray text) { cells[std::size_t(column)] = std::move(text); };
    put(IndexColumn::Sweep, QByteArray::number(s.number));
    put(IndexColumn::File, cell(s.file));
    put(IndexColumn::Start, s.startText);
    if (s.seconds)
        put(IndexColumn::Seconds, fixed(*s.seconds));
    put(IndexColumn::Channel, QByteArray::number(s.channel));
    put(IndexColumn::Range, rangeWord(s.range).toLatin1());
    put(IndexColumn::Source, cell(s.source));
    put(IndexColumn::Link, cell(s.link));
    if (s.levels) {
        put(IndexColumn::MinV, fixed(s.levels->minimum));
        put(IndexColumn::MaxV, fixed(s.levels->maximum));
        put(IndexColumn::MeanV, fixed(s.levels->mean));
    }
    put(IndexColumn::Note, cell(s.note));
    if (s.trigger)
        put(IndexColumn::Trigger, QByteArray::number(*s.trigger));
    return rowOf(cells);
}

QByteArray IndexHeader::unknownRow(long long number, const QString& note) const
{
    std::array<QByteArray, Columns> cells;
    cells[std::size_t(IndexColumn::Sweep)] = QByteArray::number(number);
    cells[std::size_t(IndexColumn::Note)] = cell(note);
    return rowOf(cells);
}

QString IndexRow::told() const
{
    if (kind == NotKept)
        return QStringLiteral("line %1: sweep %2 was not kept%3")
            .arg(line)
            .arg(sweep.number)
            .arg(sweep.note.isEmpty() ? QString() : QStringLiteral(": ") + sweep.note);
    return QStringLiteral("line %1: %2").arg(line).arg(problem);
}

bool RecordingIndex::isIndexName(const QString& name)
{
    return name.compare(QLatin1String(FileName), FileNameCase) == 0;
}

QByteArray RecordingIndex::pathIn(const QByteArray& folder)
{
    bool separated = folder.isEmpty() || folder.endsWith('/');
#ifdef Q_OS_WIN
    separated = separated || folder.endsWith('\\');
#endif
    return separated ? folder + FileName : folder + '/' + FileName;
}

RecordingIndex::RecordingIndex(const QByteArray& folder) : path_(pathIn(folder)), file_(path_, FileReading::Refused)
{
    switch (file_.kind()) {
    case FileStart::Regular:
        break;
    case FileStart::Folder:
    case FileStart::Special:
        outcome_ = NotRegular;
        return;
    case FileStart::Unreadable:
        outcome_ = Unreadable;
        return;
    }
    if (file_.size() > MostBytes) {
        outcome_ = TooLarge;
        return;
    }
    left_ = file_.size();
    IndexRow first;
    if (!nextCells(first)) {
        outcome_ = file_.kind() == FileStart::Unreadable ? Unreadable : Begun;
        return;
    }
    QList<QByteArray> names = cells_.first(cellCount_);
    // A spreadsheet may begin the text with a byte order mark.
    if (!names.isEmpty() && names.front().startsWith("\xEF\xBB\xBF"))
        names.front().remove(0, 3);
    std::optional<IndexHeader> header = first.cutShort || tooLong_ ? std::nullopt : IndexHeader::named(names);
    if (header)
        header_ = *header;
    else if (first.cutShort && IndexHeader::begins(names.join(',')))
        outcome_ = Begun;
    else
        outcome_ = file_.kind() == FileStart::Unreadable ? Unreadable : NotAnIndex;
}

QString RecordingIndex::refusal() const
{
    switch (outcome_) {
    case Read:
        return {};
    case Begun:
        return QStringLiteral("no recording yet (the index ends within its header)");
    case Unreadable:
        return englishReason(errorNumber());
    case NotRegular:
        return QStringLiteral("not a regular file");
    case TooLarge:
        return QStringLiteral("%1 bytes, more than an index may have (%2 GiB)").arg(size()).arg(MostBytes >> 30);
    case NotAnIndex:
        break;
    }
    return QStringLiteral("not the index of a recording (its header names no sweep, file, channel and range)");
}

bool RecordingIndex::fill()
{
    before_ += buffer_.size();
    buffer_.truncate(0);
    at_ = 0;
    if (left_ <= 0)
        return false;
    const qsizetype n = file_.read(buffer_, std::min<qint64>(left_, ReadBytes));
    if (n <= 0) {
        // Shorter than when it was opened: it ends here.
        left_ = 0;
        if (n < 0)
            outcome_ = Unreadable;
        return false;
    }
    left_ -= n;
    return true;
}

QByteArray& RecordingIndex::cell()
{
    if (cellCount_ == cells_.size())
        cells_.append(QByteArray());
    return cells_[cellCount_];
}

bool RecordingIndex::nextCells(IndexRow& row)
{
    if (at_ == buffer_.size() && !fill())
        return false;
    row.line = line_;
    row.offset = before_ + at_;
    row.cutShort = false;
    cellCount_ = 0;
    tooLong_ = false;
    cell().truncate(0);
    // Quoted: within quotes; QuoteInQuoted: a quote seen there, which a second one makes a quote
    // of the cell's; Return: a carriage return outside quotes, dropped before a line feed.
    enum { Plain, Quoted, QuoteInQuoted, Return } state = Plain;
    for (;;) {
        const char* const data = buffer_.constData();
        const qsizetype end = buffer_.size();
        qsizetype from = at_; // the stretch of the cell not yet taken
        const auto take = [&](qsizetype to) {
            if (!tooLong_)
                cell().append(data + from, to - from);
            if (before_ + to - row.offset > MostRowBytes && !tooLong_) {
                tooLong_ = true;
                cellCount_ = 0;
            }
        };
        const auto endCell = [&] {
            if (!tooLong_) {
                ++cellCount_;
                cell().truncate(0);
            }
        };
        while (at_ < end) {
            const char c = data[at_];
            if (state == QuoteInQuoted) {
                state = c == '"' ? Quoted : Plain;
                if (c == '"') {
                    from = ++at_ - 1; // the second quote begins the next stretch
                    continue;
                }
            } else if (state == Return) {
                state = Plain;
                if (c == '\n') {
                    ++at_;
                    ++line_;
                    endCell();
                    return true;
                }
                if (!tooLong_)
                    cell() += '\r'; // one not before a line feed stays in the cell
            }
            if (c == '\n')
                ++line_;
            if (state == Quoted) {
                if (c == '"') {
                    take(at_);
                    state = QuoteInQuoted;
                    from = at_ + 1;
                }
                ++at_;
                continue;
            }
            if (c == '"' || c == ',' || c == '\r' || c == '\n') {
                take(at_);
                from = ++at_;
                if (c == '\n' || c == ',')
                    endCell();
                if (c == '\n')
                    return true;
                if (c != ',')
                    state = c == '"' ? Quoted : Return;
                continue;
            }
            ++at_;
        }
        take(end);
        if (!fill()) {
            if (state == Return && !tooLong_)
                cell() += '\r';
            endCell();
            row.cutShort = true;
            return true;
        }
    }
}

bool RecordingIndex::next(IndexRow& row)
{
    if (outcome_ != Read)
        return false;
    if (!nextCells(row))
        return false;
    const QList<QByteArray>& cells = cells_;
    row.sweep = {};
    row.problem.clear();
    row.kind = IndexRow::Unreadable;
    const IndexHeader& h = header_;
    if (row.cutShort) {
        row.problem = QStringLiteral("cut short");
        return true;
    }
    if (tooLong_) {
        row.problem = QStringLiteral("longer than the %1 KiB a row may have").arg(MostRowBytes >> 10);
        return true;
    }
    if (cellCount_ != h.size()) {
        row.problem = QStringLiteral("%1 cells where the header has %2").arg(cellCount_).arg(h.size());
        return true;
    }
    const auto text = [&cells, &h](IndexColumn column) {
        return h.at(column) < 0 ? QString() : QString::fromUtf8(cells[h.at(column)]);
    };
    IndexedSweep& s = row.sweep;
    bool numbered = false, channelRead = false;
    s.number = cells[h.at(IndexColumn::Sweep)].toLongLong(&numbered);
    s.file = text(IndexColumn::File);
    s.note = text(IndexColumn::Note);
    if (numbered && s.file.isEmpty()) {
        row.kind = IndexRow::NotKept;
        return true;
    }
    s.channel = cells[h.at(IndexColumn::Channel)].toInt(&channelRead);
    const std::optional<Range> range = rangeNamed(QString::fromLatin1(cells[h.at(IndexColumn::Range)]));
    if (!numbered || !channelRead || s.channel < 0 || s.channel > 7 || !range) {
        row.problem = QStringLiteral("no sweep number, channel 0 to 7 and range where the header names them");
        return true;
    }
    if (!inFolder(s.file)) {
        row.problem = QStringLiteral("its file %1 is not in the folder").arg(s.file);
        return true;
    }
    s.range = *range;
    if (h.at(IndexColumn::Start) >= 0)
        s.startText = cells[h.at(IndexColumn::Start)];
    bool timed = false;
    if (const double taken = h.at(IndexColumn::Seconds) < 0 ? 0 : cells[h.at(IndexColumn::Seconds)].toDouble(&timed); timed)
        s.seconds = taken;
    s.source = text(IndexColumn::Source);
    s.link = text(IndexColumn::Link);
    bool triggered = false;
    if (const int place = h.at(IndexColumn::Trigger) < 0 ? 0 : cells[h.at(IndexColumn::Trigger)].toInt(&triggered); triggered)
        s.trigger = place;
    row.kind = IndexRow::Kept;
    return true;
}

IndexedFiles::IndexedFiles(const QList<QByteArray>& files)
{
    // By folder, each name as the folder's file system tells names apart.
    QHash<QByteArray, QHash<QString, QByteArray>> byFolder;
    for (const QByteArray& file : files) {
        qsizetype slash = file.lastIndexOf('/');
#ifdef Q_OS_WIN
        slash = std::max(slash, file.lastIndexOf('\\'));
#endif
        const QString name = nameText(file.mid(slash + 1));
        byFolder[file.left(slash + 1)].insert(FileNameCase == Qt::CaseSensitive ? name : name.toCaseFolded(), file);
    }
    for (auto folder = byFolder.begin(); folder != byFolder.end(); ++folder) {
        QHash<QString, QByteArray>& wanted = folder.value();
        RecordingIndex index(folder.key());
        if (index.outcome() == RecordingIndex::TooLarge)
            refused_ << QStringLiteral("%1: %2").arg(nameText(index.path()), index.refusal());
        if (index.outcome() != RecordingIndex::Read)
            continue;
        for (const QByteArray& file : std::as_const(wanted))
            found_.insert(file, {IndexLookup::NotNamed, {}});
        IndexRow row;
        while (!wanted.isEmpty() && index.next(row)) {
            if (row.kind != IndexRow::Kept)
                continue;
            const auto named = wanted.find(FileNameCase == Qt::CaseSensitive ? row.sweep.file : row.sweep.file.toCaseFolded());
            if (named == wanted.end())
                continue;
            found_[named.value()] = {IndexLookup::Named, std::move(row.sweep)};
            wanted.erase(named);
        }
        // An index that failed part-way tells nothing of what it did not reach.
        if (index.outcome() != RecordingIndex::Read)
            for (const QByteArray& file : std::as_const(wanted))
                found_.remove(file);
    }
}

IndexLookup IndexedFiles::find(const QByteArray& file) const
{
    return found_.value(file);
}
