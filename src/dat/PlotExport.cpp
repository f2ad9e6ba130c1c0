#include "dat/PlotExport.h"

#include "core/drawing/Grid.h"
#include "core/drawing/LabelledPlot.h"
#include "core/drawing/PdfPage.h"
#include "core/drawing/PlotImage.h"
#include "core/drawing/Trace.h"
#include "core/samples/Readings.h"
#include "dat/Stop.h"

#include <QBuffer>

#include <algorithm>
#include <set>

namespace DatTool {
namespace {

// Trace colours after the window's green: on the black plot of the picture, and on paper.
constexpr QRgb OnBlack[] = {TraceColor, 0xFFFFFF00, 0xFFFF40FF, 0xFFFF8000, 0xFFFF4040, 0xFFFFFFFF, 0xFF60A0FF, 0xFFFFA0C0};
constexpr QRgb OnPaper[] = {TraceColor, 0xFF0000FF, 0xFFE00000, 0xFFFF8000, 0xFFC000C0, 0xFF804000, 0xFF008080, 0xFF808080};
constexpr std::size_t Colours = std::size(OnBlack);

struct Trace {
    const DatSweep* sweep;
    QRgb colour;
};

struct Plan {
    std::vector<Trace> traces;
    PlotLabels labels;
};

QString started(const QByteArray& start)
{
    return QString::fromLatin1(start).replace(u'T', u' ');
}

QString channelWord(std::optional<int> channel)
{
    return channel ? QStringLiteral("channel %1").arg(*channel) : QStringLiteral("channel unknown");
}

// The traces' colours and the words around them. Sweeps of several channels take a colour for
// each channel (the channel's number picks it, the same in every plot); sweeps of one channel
// a colour for each sweep.
Plan plan(const std::vector<DatSweep>& sweeps, bool paper)
{
    const DatSweep& first = sweeps.front();
    for (const DatSweep& sweep : sweeps)
        if (sweep.range != first.range)
            throw failure(sweep.source(), QStringLiteral("was taken in %1 and %2 in %3; one plot has one volts axis")
                                           .arg(rangeName(sweep.range), first.source(), rangeName(first.range)));
    const QRgb* palette = paper ? OnPaper : OnBlack;
    Plan p;
    std::set<std::optional<int>> channels;
    for (const DatSweep& sweep : sweeps)
        channels.insert(sweep.channel());
    const bool byChannel = channels.size() > 1;
    for (std::size_t n = 0; n < sweeps.size(); ++n) {
        const std::optional<int> channel = sweeps[n].channel();
        const std::size_t pick = byChannel ? std::size_t(channel.value_or(int(Colours) - 1)) : n;
        p.traces.push_back({&sweeps[n], palette[pick % Colours]});
        if (sweeps.size() > 1 && !byChannel) {
            // The start's time of day where the title's first start gives its date.
            const QString start = started(sweeps[n].start());
            const QString firstDay = started(first.start()).left(11);
            const QString when = !firstDay.isEmpty() && start.startsWith(firstDay) ? start.mid(11, 12) : start;
            p.labels.legend.push_back({p.traces.back().colour, sweeps[n].label() + (when.isEmpty() ? QString() : QStringLiteral(", ") + when)});
        }
    }
    if (byChannel)
        for (const std::optional<int>& channel : channels)
            p.labels.legend.push_back({palette[std::size_t(channel.value_or(int(Colours) - 1)) % Colours], channelWord(channel)});

    // Time from the sweeps' mean duration where every one knows its own.
    std::optional<double> seconds = 0.0;
    for (const DatSweep& sweep : sweeps)
        seconds = seconds && sweep.seconds() ? std::optional(*seconds + *sweep.seconds() / sweeps.size()) : std::nullopt;
    p.labels.axes = plotAxes(first.range, seconds);

    QStringList title;
    if (sweeps.size() == 1) {
        title << first.label();
        if (first.channel())
            title << channelWord(first.channel());
    } else {
        title << QStringLiteral("%1 sweeps").arg(sweeps.size());
        if (channels.size() == 1 && first.channel())
            title << channelWord(first.channel());
    }
    title << rangeName(first.range);
    if (const QByteArray start = first.start(); !start.isEmpty())
        title << (sweeps.size() == 1 ? QStringLiteral("started ") : QStringLiteral("the first started ")) + started(start);
    p.labels.title = title;
    return p;
}

// The grid in the surface's default colour, then each trace by the one trace rule.
template <class Surface>
void drawTraces(Surface& surface, const Plan& p)
{
    for (const PlotLine& line : gridLines())
        surface.drawLine(line.x1, line.y1, line.x2, line.y2);
    for (const Trace& trace : p.traces)
        traceStored(trace.sweep->records(), trace.sweep->range, [&](const PlotLine& s) {
            surface.drawLine(s.x1, s.y1, s.x2, s.y2, trace.colour);
            return true;
        });
}

// The window's picture draws its grid in GridColor.
struct OnScreen {
    PlotImage& image;
    void drawLine(float x1, float y1, float x2, float y2, QRgb colour = GridColor) { image.drawLine(x1, y1, x2, y2, colour); }
};

} // namespace

QByteArray plotPng(const std::vector<DatSweep>& sweeps, const Request& request)
{
    const Plan p = plan(sweeps, false);
    PlotImage plot(request.scale);
    OnScreen screen{plot};
    drawTraces(screen, p);
    QBuffer bytes;
    bytes.open(QIODevice::WriteOnly);
    (request.bare ? plot.image() : labelledImage(plot.image(), p.labels)).save(&bytes, "PNG");
    return bytes.data();
}

QByteArray plotPdf(const std::vector<DatSweep>& sweeps, const Request& request, const QString& output)
{
    const Plan p = plan(sweeps, true);
    PdfPage pdf(p.labels.title.join(QStringLiteral(", ")));
    const auto draw = [&](auto& page, bool begun) {
        if (!begun)
            throw failure(output, QStringLiteral("the PDF page could not be started"));
        drawTraces(page, p);
        if (!page.end())
            throw failure(output, QStringLiteral("the PDF page could not be finished"));
    };
    if (request.bare) {
        PagePainter page;
        draw(page, page.begin(pdf.device()));
    } else {
        LabelledPage page;
        draw(page, page.begin(pdf.device(), p.labels));
    }
    return pdf.bytes();
}

} // namespace DatTool
