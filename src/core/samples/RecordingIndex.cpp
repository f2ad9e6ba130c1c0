#include "core/samples/RecordingIndex.h"

#include "core/system/FileNames.h"
#include "core/system/FileStart.h"

#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace {

struct CsvRow {
    int line = 1;
    QList<QByteArray> cells;
    bool cutShort = false; // the text ended within it, before its line break
};

// The rows of a CSV text, each with the line it starts on; a quoted cell may hold line breaks.
// Each stretch between quotes and separators is taken whole.
std::vector<CsvRow> csvRows(const QByteArray& text)
{
    std::vector<CsvRow> rows;
    int line = 1;
    CsvRow row;
    QByteArray cell;
    bool quoted = false;
    qsizetype from = 0; // where the stretch not yet in `cell` begins
    const auto take = [&](qsizetype to) { cell.append(text.constData() + from, to - from); };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\n')
            ++line;
        if (c == '"') {
            take(i);
            from = i + 1;
            if (quoted && i + 1 < text.size() && text[i + 1] == '"')
                ++i; // a doubled quote stands for one: the second begins the next stretch
            else
                quoted = !quoted;
        } else if (!quoted && (c == ',' || c == '\n')) {
            take(c == '\n' && i > from && text[i - 1] == '\r' ? i - 1 : i);
            row.cells.append(std::exchange(cell, {}));
            from = i + 1;
            if (c == '\n')
                rows.push_back(std::exchange(row, CsvRow{line, {}, false}));
        }
    }
    take(text.size());
    if (!row.cells.isEmpty() || !cell.isEmpty()) {
        row.cells.append(cell);
        row.cutShort = true;
        rows.push_back(std::move(row));
    }
    return rows;
}

} // namespace

QDateTime IndexedSweep::start() const
{
    return QDateTime::fromString(QString::fromLatin1(startText), Qt::ISODateWithMs);
}

RecordingIndex RecordingIndex::load(const QByteArray& folder)
{
    RecordingIndex index;
    index.path_ = folder.isEmpty() || folder.endsWith('/') ? folder + FileName : folder + '/' + FileName;
    // One byte past the size that was seen, so that a row added meanwhile shows as cut short.
    const qint64 size = QFileInfo(nameText(index.path_)).size();
    const FileStart found = readFileStart(index.path_, size + 1);
    switch (found.kind) {
    case FileStart::Regular:
        index.parse(found.bytes);
        break;
    case FileStart::Unreadable:
        index.outcome_ = Unreadable;
        index.errorNumber_ = found.errorNumber;
        break;
    case FileStart::Folder:
        index.outcome_ = Unreadable;
        index.errorNumber_ = EISDIR;
        break;
    case FileStart::Special:
        index.outcome_ = NotAnIndex;
        break;
    }
    return index;
}

RecordingIndex::RecordingIndex(const QByteArray& text)
{
    parse(text);
}

void RecordingIndex::parse(const QByteArray& text)
{
    const std::vector<CsvRow> rows = csvRows(text);
    const QList<QByteArray> header = rows.empty() ? QList<QByteArray>() : rows.front().cells;
    const qsizetype number = header.indexOf("sweep"), file = header.indexOf("file"), start = header.indexOf("start"),
                    seconds = header.indexOf("seconds"), channel = header.indexOf("channel"),
                    range = header.indexOf("range"), note = header.indexOf("note"), trigger = header.indexOf("trigger"),
                    link = std::max(header.indexOf("link"), header.indexOf("path"));
    if (rows.empty() || rows.front().cutShort || number < 0 || file < 0 || channel < 0 || range < 0) {
        outcome_ = NotAnIndex;
        return;
    }
    for (auto row = rows.begin() + 1; row != rows.end(); ++row) {
        const auto lose = [&](const QString& why) { lost_ << QStringLiteral("line %1: %2").arg(row->line).arg(why); };
        const QList<QByteArray>& cells = row->cells;
        if (row->cutShort || cells.size() != header.size()) {
            lose(row->cutShort ? QStringLiteral("cut short")
                               : QStringLiteral("%1 cells where the header has %2").arg(cells.size()).arg(header.size()));
            continue;
        }
        IndexedSweep s;
        bool numbered = false, channelRead = false;
        s.number = cells[number].toLongLong(&numbered);
        s.channel = cells[channel].toInt(&channelRead);
        const std::optional<Range> r = rangeNamed(QString::fromLatin1(cells[range]));
        if (!numbered || !channelRead || s.channel < 0 || s.channel > 7 || !r) {
            lose(QStringLiteral("no sweep number, channel 0 to 7 and range where the header names them"));
            continue;
        }
        s.range = *r;
        s.file = QString::fromUtf8(cells[file]);
        if (s.file.isEmpty()) {
            const QString why = note < 0 ? QString() : QString::fromUtf8(cells[note]);
            lose(QStringLiteral("sweep %1 was not kept%2").arg(s.number).arg(why.isEmpty() ? QString() : ": " + why));
            continue;
        }
        if (start >= 0)
            s.startText = cells[start];
        if (link >= 0)
            s.link = QString::fromUtf8(cells[link]);
        if (note >= 0)
            s.note = QString::fromUtf8(cells[note]);
        bool triggered = false;
        if (const int index = trigger < 0 ? 0 : cells[trigger].toInt(&triggered); triggered)
            s.trigger = index;
        bool timed = false;
        if (const double taken = seconds < 0 ? 0 : cells[seconds].toDouble(&timed); timed)
            s.seconds = taken;
        sweeps_.push_back(std::move(s));
    }
}

std::optional<IndexedSweep> RecordingIndex::find(const QString& file) const
{
    for (const IndexedSweep& s : sweeps_)
        if (s.file == file)
            return s;
    return std::nullopt;
}

IndexLookup lookUpInIndex(const QByteArray& filePath)
{
    qsizetype slash = filePath.lastIndexOf('/');
#ifdef Q_OS_WIN
    slash = std::max(slash, filePath.lastIndexOf('\\'));
#endif
    const RecordingIndex index = RecordingIndex::load(filePath.left(slash + 1));
    if (index.outcome() != RecordingIndex::Read)
        return {};
    const std::optional<IndexedSweep> named = index.find(nameText(filePath.mid(slash + 1)));
    return named ? IndexLookup{IndexLookup::Named, *named} : IndexLookup{IndexLookup::NotNamed, {}};
}
