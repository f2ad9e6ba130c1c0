#include "Monkey.h"

#include "support/FileSizeLimit.h"
#include "support/Ramp.h"
#include "support/StorageRig.h"
#include "support/WindowRig.h"
#include "window/Lamp.h"
#include "window/PlotWidget.h"
#include "window/handlers/PrintToFile.h"
#include "window/toolkit/QtPrinterSurface.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <cstdio>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <stdexcept>
#include <unordered_set>

#include <sys/stat.h>

namespace {

const QString Device = QStringLiteral("/dev/ttyQ390");
constexpr int MaxDepth = 6;           // handlers nested inside one another, at most
constexpr int YieldActionOdds = 1500; // one yield in so many takes an action
constexpr std::size_t TraceLength = 40;

using Fingerprint = std::size_t;

Fingerprint fingerprint(const QByteArray& bytes)
{
    return std::hash<std::string_view>{}(std::string_view(bytes.constData(), std::size_t(bytes.size())));
}

Fingerprint fingerprint(const SampleArray& samples)
{
    return fingerprint(SampleFile::encode(samples));
}

// What a name holds now, as far as a write changes it: its inode and change time, or nothing.
QString fileState(const QString& name)
{
    struct stat status {};
    if (::stat(QFile::encodeName(name).constData(), &status) != 0)
        return {};
    return QStringLiteral("%1 %2.%3").arg(status.st_ino).arg(status.st_ctim.tv_sec).arg(status.st_ctim.tv_nsec);
}

// The port's device: it refuses some opens and is pulled out part-way through some of the
// times it is open; behind it a converter that powers up afresh at every open.
class MonkeyPort final : public SerialDevice {
public:
    struct Plan {
        bool refuse = false;
        long failAfter = -1; // line operations before it is pulled out; -1 for never
    };
    MonkeyPort(std::function<Plan(const QString& device)> plan, CodeSource codes) : plan_(std::move(plan)), codes_(std::move(codes)) {}

    void open(const QString& device, const LineSettings&) override
    {
        const Plan plan = plan_(device);
        if (device != Device)
            throw PortError(QStringLiteral("No such file or directory"));
        if (plan.refuse)
            throw PortError(QStringLiteral("Device or resource busy"));
        converter_.emplace(codes_);
        failAfter_ = plan.failAfter;
        ops_ = 0;
    }
    void close() override { converter_.reset(); }
    bool isOpen() const override { return converter_.has_value(); }
    void setRts(bool asserted) override { lines().setRts(asserted); }
    void setDtr(bool asserted) override { lines().setDtr(asserted); }
    bool readCts() override { return lines().readCts(); }

private:
    SimulatedConverter& lines()
    {
        if (!converter_)
            throw std::logic_error("line operation on a closed port");
        if (failAfter_ >= 0 && ops_ >= failAfter_)
            throw LineError(QStringLiteral("Input/output error"));
        ++ops_;
        return *converter_;
    }

    std::function<Plan(const QString&)> plan_;
    CodeSource codes_;
    std::optional<SimulatedConverter> converter_;
    long failAfter_ = -1;
    long ops_ = 0;
};

// The PDF back end, telling how many lines each page it finished had.
class PageCount final : public PrinterSurface {
public:
    PageCount(PrinterSurface& to, std::function<void(long)> finished) : to_(to), finished_(std::move(finished)) {}
    void drawLine(float x1, float y1, float x2, float y2, std::optional<QRgb> colour) override
    {
        try {
            to_.drawLine(x1, y1, x2, y2, colour);
        } catch (...) {
            lines_ = 0; // the surface has dropped the page
            throw;
        }
        ++lines_;
    }
    void endDoc() override
    {
        const long lines = std::exchange(lines_, 0);
        to_.endDoc();
        if (lines)
            finished_(lines);
    }

private:
    PrinterSurface& to_;
    std::function<void(long)> finished_;
    long lines_ = 0;
};

class HookedDialog final : public FileDialog {
public:
    explicit HookedDialog(std::function<QString()> choose) : choose_(std::move(choose)) {}
    QString askOpenFileName(const QString&, const QString&, const QString&) override { return choose_(); }

private:
    std::function<QString()> choose_;
};

enum Kind { Tick, Channel, Range, Hold, Scan, Save, Load, Print, Port, PortList, About, Key, Exit, Close, KindCount };
// Ticks stand for the timer, which fires all the time while enabled; Exit and Close are rare.
constexpr int Weights[KindCount] = {300, 80, 50, 40, 60, 40, 50, 10, 40, 10, 20, 30, 2, 2};

// Keys that move the focus, press the focused button or move within a group of options.
constexpr Qt::Key Keys[] = {Qt::Key_Tab, Qt::Key_Backtab, Qt::Key_Space, Qt::Key_Return,
                            Qt::Key_Up, Qt::Key_Down, Qt::Key_Left, Qt::Key_Right};

class Monkey {
public:
    Monkey(std::uint64_t seed, MonkeyFigures& figures);
    QString run(long actions);

private:
    enum class Moment { Idle, Yield, Modal };
    struct Session;
    // The sweep in progress as the converter sees it.
    struct SweepRecord {
        bool active = false;
        long number = 0;
        bool takenOver = false; // a load took the plot: nothing of it may reach SampleBuffer
        bool fromPort = false;  // the source of its first conversion, which all must share
        ::Range range = ::Range::Bipolar;
        std::vector<qint16> samples;
        SampleArray whole{}; // the samples once all are in
        std::optional<Fingerprint> complete;
    };

    int below(int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng_); }
    bool oneIn(int n) { return below(n) == 0; }

    void prepareInputs();
    void startSession();
    void endSession();

    void act(Moment moment);
    Kind choose();
    void perform(Kind kind);
    void tick();
    void click(QAbstractButton* button);

    void onYield();
    void onBox();
    QString onFileDialog();
    int onConversion(const ConversionRequest& request, bool fromPort);
    MonkeyPort::Plan onOpen(const QString& device);
    void onPage(long lines);

    void checkWindow();
    void settleSaves();
    void checkFiles();
    void fail(const QString& what);
    void note(const QString& what);

    std::uint64_t seed_;
    std::mt19937_64 rng_;
    MonkeyFigures& f_;
    const long actionsBefore_ = f_.actions;
    ScratchDir scratch_;
    QStringList goodInputs_, badInputs_;
    std::map<QString, qint64> inputSizes_;
    QStringList takenNames_; // names of data files or PDFs taken by folders
    bool printed_ = false;
    // Everything SampleBuffer and a saved file may hold: the zeros of start-up, each complete
    // sweep and each file loaded.
    std::unordered_set<Fingerprint> valid_;
    SweepRecord sweep_;
    // A save the user confirmed that has not yet written its file or said why it could not: it
    // must before the program ends, and write the buffer of that moment or the sweep then running.
    struct PendingSave {
        QString name;
        QString before;   // what the name held
        long sweep;       // the sweep running, 0 for none
        std::unordered_set<Fingerprint> allowed;
    };
    std::vector<PendingSave> pendingSaves_;
    std::optional<PendingSave> overwriteAsked_;
    long sweeps_ = 0; // sweeps started
    long conversions_ = 0;
    int modal_ = 0;
    int depth_ = 0;
    long sessionActions_ = 0;
    std::unique_ptr<Session> session_;
    const qsizetype topLevelWidgets_ = QApplication::topLevelWidgets().size();
    QString failure_;
    std::deque<QString> trace_;
    const bool echo_ = qEnvironmentVariableIsSet("Q390_MONKEY_TRACE");
};

struct Monkey::Session {
    explicit Session(Monkey& m)
        : dialog([&m] { return m.onFileDialog(); }),
          printer(pdf, [&m](long lines) { m.onPage(lines); }),
          serial([&m](const QString& device) { return m.onOpen(device); },
                 [&m](const ConversionRequest& r) { return m.onConversion(r, true); }),
          w({.boxes = &boxes,
             .dialog = &dialog,
             .clock = &clock,
             .printer = &printer,
             .serial = &serial,
             .devices = {{Device, Device}},
             .codes = [&m](const ConversionRequest& r) { return m.onConversion(r, false); },
             .load = false})
    {
        boxes.whileShown = [&m] { m.onBox(); };
        pump.every = [&m](int) { m.onYield(); };
        form.Form_Load();
        for (int n = 1; n <= 6; ++n)
            command[n] = w.command(n);
        for (int n = 1; n <= 12; ++n)
            option[n] = w.option(n);
        combo = w.get<QComboBox>(QStringLiteral("Combo1"));
        lamp = w.lamp();
        plot = w.plot();
    }

    ScriptedMessageBoxes boxes;
    FixedClock clock{QDateTime(QDate(2010, 10, 28), QTime(14, 35, 7))};
    HookedDialog dialog;
    QtPrinterSurface pdf{PrintToFile::fallback(boxes, clock), [] { return QString(); }};
    PageCount printer;
    MonkeyPort serial;
    WindowRig w;
    ScriptedPump& pump = w.pump;
    FakeTimer& timer = w.timer;
    FakeLifetime& lifetime = w.lifetime;
    Form1& form = w.form;
    std::array<QPushButton*, 7> command{};
    std::array<QRadioButton*, 13> option{};
    QComboBox* combo = nullptr;
    Lamp* lamp = nullptr;
    PlotWidget* plot = nullptr;
};

Monkey::Monkey(std::uint64_t seed, MonkeyFigures& figures) : seed_(seed), rng_(seed), f_(figures)
{
    prepareInputs();
    SampleArray zeros{};
    valid_.insert(fingerprint(zeros));
}

// Data files to load, in a folder of their own: whole ones with random contents (some longer
// than a data file), short and empty ones, a folder, a missing name and one that cannot be read.
void Monkey::prepareInputs()
{
    QDir().mkdir(QStringLiteral("inputs"));
    const auto make = [this](const QString& name, qint64 size) {
        QByteArray bytes(size, Qt::Uninitialized);
        for (char& byte : bytes)
            byte = char(below(256));
        QFile file(scratch_.path(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != size)
            fail(QStringLiteral("cannot make %1").arg(name));
        inputSizes_[name] = size;
        return scratch_.path(name);
    };
    for (int n = 0; n < 3; ++n)
        goodInputs_ << make(QStringLiteral("inputs/whole%1.dat").arg(n), SampleFile::Size + (n ? below(3617) : 0));
    badInputs_ << make(QStringLiteral("inputs/empty.dat"), 0) << make(QStringLiteral("inputs/short.dat"), 1 + below(16382))
               << make(QStringLiteral("inputs/almost.dat"), SampleFile::Size - 1);
    QDir().mkdir(QStringLiteral("inputs/folder.dat"));
    badInputs_ << scratch_.path(QStringLiteral("inputs/folder.dat")) << scratch_.path(QStringLiteral("inputs/missing.dat"))
               << QStringLiteral("/proc/self/mem");
    if (oneIn(2))
        takenNames_ << QStringLiteral("vx-2101437.dat");
    if (oneIn(3))
        takenNames_ << QStringLiteral("vx-2101436.pdf");
    for (const QString& name : takenNames_)
        QDir().mkdir(name);
}

QString Monkey::run(long actions)
{
    while (failure_.isEmpty() && f_.actions - actionsBefore_ < actions) {
        if (!session_)
            startSession();
        try {
            if (--sessionActions_ > 0)
                act(Moment::Idle);
            else
                perform(oneIn(2) ? Exit : Close); // every window ends by Exit or by closing it
        } catch (const std::exception& error) {
            fail(QStringLiteral("an error reached the unhandled-error handler: %1").arg(QString::fromLocal8Bit(error.what())));
        }
        if (session_->lifetime.ended() || !failure_.isEmpty()) {
            endSession();
            continue;
        }
        QCoreApplication::processEvents();
        session_->boxes.calls.clear();
        checkFiles();
    }
    if (session_) {
        perform(Exit);
        endSession();
    }
    return failure_;
}

void Monkey::startSession()
{
    ++f_.sessions;
    note(QStringLiteral("--- window %1").arg(f_.sessions));
    session_ = std::make_unique<Session>(*this);
    sessionActions_ = 20 + below(400);
}

void Monkey::endSession()
{
    if (failure_.isEmpty() && session_->serial.isOpen())
        fail(QStringLiteral("the port is still open after the program ended"));
    settleSaves();
    if (failure_.isEmpty() && !pendingSaves_.empty())
        fail(QStringLiteral("the program ended before the confirmed save of %1").arg(pendingSaves_.front().name));
    pendingSaves_.clear();
    session_.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
    if (failure_.isEmpty() && QApplication::topLevelWidgets().size() != topLevelWidgets_)
        fail(QStringLiteral("a window outlived the program: %1 top-level widgets left").arg(QApplication::topLevelWidgets().size()));
    if (failure_.isEmpty())
        checkFiles();
}

void Monkey::act(Moment moment)
{
    if (!failure_.isEmpty() || session_->lifetime.ended())
        return;
    ++f_.actions;
    if (moment != Moment::Idle)
        ++f_.nested;
    ++depth_;
    perform(moment == Moment::Modal ? Tick : choose());
    --depth_;
    checkWindow();
}

Kind Monkey::choose()
{
    int total = 0;
    for (int k = 0; k < KindCount; ++k)
        total += (k == Tick && !session_->timer.enabled) ? 0 : Weights[k];
    int pick = below(total);
    for (int k = 0; k < KindCount; ++k) {
        const int weight = (k == Tick && !session_->timer.enabled) ? 0 : Weights[k];
        if (pick < weight)
            return Kind(k);
        pick -= weight;
    }
    return Tick;
}

void Monkey::perform(Kind kind)
{
    Session& s = *session_;
    switch (kind) {
    case Tick:
        note(QStringLiteral("tick"));
        tick();
        break;
    case Channel: {
        const int channel = below(8);
        note(QStringLiteral("channel %1").arg(channel));
        click(s.option[ChannelOptions[channel]]);
        break;
    }
    case Range: {
        const bool unipolar = oneIn(2);
        note(unipolar ? QStringLiteral("range +5V") : QStringLiteral("range ±2V"));
        click(s.option[unipolar ? UnipolarOption : BipolarOption]);
        break;
    }
    case Hold:
        note(QStringLiteral("Hold"));
        click(s.option[HoldOption]);
        break;
    case Scan:
        note(QStringLiteral("Scan"));
        click(s.option[ScanOption]);
        break;
    case Save:
    case Print: {
        // Three minutes, so that names come round again and the overwrite question is asked.
        s.clock.time.setTime(QTime(14, 35 + below(3), 7));
        std::optional<FileSizeLimit> full;
        if (oneIn(8))
            full.emplace(below(40000));
        note((kind == Save ? QStringLiteral("save at ") : QStringLiteral("print at ")) + s.clock.time.toString(u"hh:mm")
             + (full ? QStringLiteral(" on a disk that fills up") : QString()));
        click(s.command[kind == Save ? 3 : 5]);
        if (kind == Print)
            printed_ = true;
        break;
    }
    case Load:
        note(QStringLiteral("load"));
        click(s.command[4]);
        break;
    case Port:
        note(s.command[2]->text() == PortTexts::Open ? QStringLiteral("open port") : QStringLiteral("close port"));
        click(s.command[2]);
        break;
    case PortList: {
        const int choice = below(6);
        if (choice < 3)
            s.combo->setCurrentIndex(0);
        else if (choice == 3)
            s.combo->setCurrentIndex(1 + below(15)); // no device there
        else
            s.combo->setEditText(choice == 4 ? Device : Device + QStringLiteral("-gone"));
        note(QStringLiteral("port list: %1").arg(s.combo->currentText()));
        break;
    }
    case About:
        note(QStringLiteral("About"));
        click(s.command[6]);
        break;
    case Key: {
        const Qt::Key key = Keys[below(int(std::size(Keys)))];
        QWidget* focus = s.form.focusWidget() ? s.form.focusWidget() : &s.form;
        note(QStringLiteral("key %1 on %2").arg(QKeySequence(key).toString(), focus->objectName()));
        QTest::keyClick(focus, key);
        break;
    }
    case Exit:
        note(QStringLiteral("Exit"));
        click(s.command[1]);
        break;
    case Close:
        note(QStringLiteral("close the window"));
        ++f_.closes;
        s.form.close();
        break;
    case KindCount:
        break;
    }
}

void Monkey::click(QAbstractButton* button)
{
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5));
}

// A tick arrives as the timer delivers it; one that comes while a sweep is running must be
// dropped without a single conversion.
void Monkey::tick()
{
    Session& s = *session_;
    if (!s.timer.enabled || s.lifetime.ended())
        return;
    const bool starts = !s.form.sweeping();
    const long before = conversions_;
    if (starts) {
        sweep_ = SweepRecord{true, ++sweeps_};
        sweep_.samples.reserve(SweepLength);
    }
    s.timer.tick();
    if (starts) {
        if (sweep_.samples.size() < std::size_t(SweepLength)) {
            ++f_.sweepsCut;
        } else if (!sweep_.takenOver && !s.lifetime.ended()
                   && s.plot->picture() != freshPicture(s.plot->size(), sweep_.whole, sweep_.range)) {
            // Whatever was clicked while it ran, a sweep that completed is on the plot whole.
            fail(QStringLiteral("the plot does not show the whole of the sweep that completed"));
        }
        sweep_.active = false;
    } else if (conversions_ != before) {
        fail(QStringLiteral("a tick during a running sweep made %1 conversions: two sweeps at once").arg(conversions_ - before));
    }
}

void Monkey::onYield()
{
    Session& s = *session_;
    if (s.lifetime.ended()) {
        fail(QStringLiteral("the event loop was pumped after the program ended"));
        return;
    }
    if (!failure_.isEmpty())
        return;
    if (s.pump.count % 1024 == 0)
        QCoreApplication::processEvents(); // the plot's repaints
    if (depth_ < MaxDepth && oneIn(YieldActionOdds))
        act(modal_ ? Moment::Modal : Moment::Yield);
}

// A modal box: while it waits, the timer's ticks still arrive, clicks on the window do not.
void Monkey::onBox()
{
    Session& s = *session_;
    const MessageCall box = s.boxes.calls.back();
    if (s.lifetime.ended())
        fail(QStringLiteral("a box after the program ended: %1").arg(box.text));
    note(QStringLiteral("  box %1: %2").arg(box.title, box.text));
    ++modal_;
    for (int n = below(3); n > 0 && depth_ < MaxDepth && s.timer.enabled; --n)
        act(Moment::Modal);
    --modal_;

    int answer = MsgAnswer::Ok;
    if ((box.style & MsgStyle::Buttons) == MsgStyle::YesNo)
        answer = oneIn(2) ? MsgAnswer::Yes : MsgAnswer::No;
    else if ((box.style & MsgStyle::Buttons) == MsgStyle::OkCancel)
        answer = oneIn(2) ? MsgAnswer::Ok : MsgAnswer::Cancel;
    note(QStringLiteral("  answered %1").arg(answer));

    if (box.text.startsWith(u"存为文件") && answer == MsgAnswer::Yes) {
        ++f_.saveConfirms;
        const QString name = box.text.mid(4);
        PendingSave save{name, fileState(name), sweep_.active ? sweep_.number : 0,
                         {fingerprint(s.form.state().SampleBuffer)}};
        if (QFileInfo(name).isFile())
            overwriteAsked_ = std::move(save);
        else
            pendingSaves_.push_back(std::move(save));
    } else if (box.text.endsWith(u"已存在，是否覆盖？")) {
        if (answer == MsgAnswer::No)
            ++f_.overwritesDeclined;
        else if (overwriteAsked_)
            pendingSaves_.push_back(std::move(*overwriteAsked_));
        overwriteAsked_.reset();
    } else if (box.text.startsWith(u"无法保存文件")) {
        ++f_.saveFailures;
        std::erase_if(pendingSaves_, [&](const PendingSave& save) {
            return box.text.startsWith(QStringLiteral("无法保存文件") + save.name + u'：');
        });
    }
    else if (box.text == u"打印机准备好？" && answer == MsgAnswer::Ok)
        ++f_.printConfirms;
    else if (box.text.startsWith(u"打印失败"))
        ++f_.printFailures;
    else if (box.text.startsWith(u"无法读取文件"))
        ++f_.loadRefusals;
    else if (box.text == PortTexts::InvalidPort)
        ++f_.portRefusals;
    else if (box.text.startsWith(PortTexts::CommFailed))
        ++f_.lineFailures;
    s.boxes.answers.push_back(answer);
}

QString Monkey::onFileDialog()
{
    Session& s = *session_;
    if (s.lifetime.ended()) {
        fail(QStringLiteral("the file dialog opened after the program ended"));
        return {};
    }
    ++modal_;
    if (depth_ < MaxDepth && s.timer.enabled && oneIn(2))
        act(Moment::Modal);
    --modal_;

    QStringList saved;
    for (const QString& name : QDir().entryList({QStringLiteral("vx-*.dat")}, QDir::AllEntries))
        saved << scratch_.path(name);
    QString name;
    switch (below(6)) {
    case 0: break; // cancelled
    case 1:
    case 2: name = badInputs_[below(int(badInputs_.size()))]; break;
    case 3: if (!saved.isEmpty()) { name = saved[below(int(saved.size()))]; break; } [[fallthrough]];
    default: name = goodInputs_[below(int(goodInputs_.size()))]; break;
    }
    note(QStringLiteral("  file %1").arg(name.isEmpty() ? QStringLiteral("(none)") : name));

    const QFileInfo info(name);
    if (name.isEmpty()) {
        ++f_.loadCancels;
    } else if (info.isFile() && !name.startsWith(u"/proc")) {
        // This load takes the plot: a sweep it interrupts must store nothing more.
        if (sweep_.active) {
            sweep_.takenOver = true;
            if (sweep_.complete)
                valid_.erase(*sweep_.complete);
        }
        QFile file(name);
        file.open(QIODevice::ReadOnly);
        valid_.insert(fingerprint((file.read(SampleFile::Size) + QByteArray(SampleFile::Size, '\0')).first(SampleFile::Size)));
        ++f_.replays;
    }
    return name;
}

int Monkey::onConversion(const ConversionRequest& request, bool fromPort)
{
    if (session_->lifetime.ended())
        fail(QStringLiteral("a conversion after the program ended"));
    else if (!sweep_.active)
        fail(QStringLiteral("a conversion outside a sweep"));
    const int code = request.range == Range::Unipolar ? below(4096) : below(4096) - 2048;
    if (!sweep_.active)
        return code;
    if (sweep_.samples.empty()) {
        sweep_.fromPort = fromPort;
        sweep_.range = request.range;
    }
    else if (sweep_.fromPort != fromPort)
        fail(QStringLiteral("a sweep took samples from the port and from the simulator"));
    ++conversions_;
    sweep_.samples.push_back(storedSample(code, request.range == Range::Unipolar));
    if (sweep_.samples.size() == std::size_t(SweepLength)) {
        ++f_.sweeps;
        std::copy(sweep_.samples.begin(), sweep_.samples.end(), sweep_.whole.begin());
        if (!sweep_.takenOver) {
            sweep_.complete = fingerprint(sweep_.whole);
            valid_.insert(*sweep_.complete);
            for (PendingSave& save : pendingSaves_)
                if (save.sweep == sweep_.number)
                    save.allowed.insert(*sweep_.complete);
        }
    } else if (sweep_.samples.size() > std::size_t(SweepLength)) {
        fail(QStringLiteral("a sweep made more than 8192 conversions"));
    }
    return code;
}

MonkeyPort::Plan Monkey::onOpen(const QString& device)
{
    MonkeyPort::Plan plan;
    plan.refuse = oneIn(4);
    if (oneIn(3))
        plan.failAfter = below(3 * 65 * SweepLength);
    if (!plan.refuse && device == Device)
        ++f_.portOpens;
    return plan;
}

void Monkey::onPage(long lines)
{
    const long grid = long(gridLines().size());
    if (lines != grid && lines != grid + SweepLength)
        fail(QStringLiteral("a printed page of %1 lines").arg(lines));
}

void Monkey::checkWindow()
{
    Session& s = *session_;
    if (!failure_.isEmpty() || s.lifetime.ended())
        return;
    const auto selected = [&](const std::vector<int>& options) {
        int n = 0;
        for (int option : options)
            n += s.option[option]->isChecked();
        return n;
    };
    if (selected({std::begin(ChannelOptions), std::end(ChannelOptions)}) != 1 || selected({UnipolarOption, BipolarOption}) != 1 || selected({HoldOption, ScanOption}) != 1)
        return fail(QStringLiteral("not one selection per frame"));
    if (s.timer.enabled && !s.option[ScanOption]->isChecked())
        return fail(QStringLiteral("the timer runs while Hold is selected"));

    const bool open = s.serial.isOpen();
    if (s.form.comm().portOpen() != open)
        return fail(QStringLiteral("the serial component and the device disagree on the port"));
    if (s.command[2]->text() != (open ? PortTexts::Close : PortTexts::Open))
        return fail(QStringLiteral("the caption reads %1 with the port %2").arg(s.command[2]->text(), open ? QStringLiteral("open") : QStringLiteral("closed")));
    if (s.lamp->fillColor() != (open ? LampOpen : LampClosed))
        return fail(QStringLiteral("the lamp does not show the port's state"));
    // A sweep from the port began with a clear, and nothing drawn since came from the simulator.
    if (sweep_.active && sweep_.fromPort && !sweep_.samples.empty() && s.plot->shownNote() == PortTexts::Simulated)
        return fail(QStringLiteral("the simulator's note shows over a sweep from the port"));

    if (!valid_.contains(fingerprint(s.form.state().SampleBuffer)))
        return fail(QStringLiteral("SampleBuffer holds neither one complete sweep nor one loaded file"));
    settleSaves();
}

void Monkey::settleSaves()
{
    std::erase_if(pendingSaves_, [this](const PendingSave& save) {
        if (fileState(save.name) == save.before)
            return false;
        QFile file(save.name);
        if (file.open(QIODevice::ReadOnly) && !save.allowed.contains(fingerprint(file.readAll())))
            fail(QStringLiteral("the save of %1 wrote a buffer that came after it was confirmed").arg(save.name));
        return true;
    });
}

// Every data file is whole and holds one sweep or one loaded file; every PDF is complete; the
// inputs are as they were made, and nothing else is left behind.
void Monkey::checkFiles()
{
    if (!failure_.isEmpty())
        return;
    const QFileInfoList entries = QDir().entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& entry : entries) {
        const QString name = entry.fileName();
        if (name == u"inputs" || (takenNames_.contains(name) && entry.isDir()))
            continue;
        QFile file(entry.filePath());
        if (name.startsWith(u"vx-") && name.endsWith(u".dat")) {
            if (!entry.isFile() || entry.size() != SampleFile::Size)
                return fail(QStringLiteral("%1 is %2 bytes").arg(name).arg(entry.size()));
            file.open(QIODevice::ReadOnly);
            if (!valid_.contains(fingerprint(file.readAll())))
                return fail(QStringLiteral("%1 holds neither one complete sweep nor one loaded file").arg(name));
        } else if (name.startsWith(u"vx-") && name.endsWith(u".pdf")) {
            if (!printed_)
                continue;
            file.open(QIODevice::ReadOnly);
            const QByteArray pdf = file.readAll();
            if (!pdf.startsWith("%PDF-") || !pdf.trimmed().endsWith("%%EOF"))
                return fail(QStringLiteral("%1 is not a complete PDF").arg(name));
        } else {
            return fail(QStringLiteral("%1 was left behind").arg(name));
        }
    }
    printed_ = false;
    for (const QString& name : takenNames_)
        if (!QFileInfo(name).isDir())
            return fail(QStringLiteral("the folder %1 is gone").arg(name));
    for (const auto& [name, size] : inputSizes_)
        if (QFileInfo(scratch_.path(name)).size() != size)
            return fail(QStringLiteral("loading changed %1").arg(name));
    if (QFileInfo::exists(scratch_.path(QStringLiteral("inputs/missing.dat"))))
        return fail(QStringLiteral("loading a missing name created it"));
}

void Monkey::fail(const QString& what)
{
    if (!failure_.isEmpty())
        return;
    failure_ = QStringLiteral("seed %1, action %2: %3\nthe last actions, oldest first:\n").arg(seed_).arg(f_.actions - actionsBefore_).arg(what);
    for (const QString& line : trace_)
        failure_ += line + u'\n';
}

void Monkey::note(const QString& what)
{
    QString line = QStringLiteral("#%1 %2%3").arg(f_.actions - actionsBefore_).arg(QString(2 * depth_, u' '), what);
    if (echo_)
        std::fprintf(stderr, "%s\n", qPrintable(line));
    trace_.push_back(std::move(line));
    if (trace_.size() > TraceLength)
        trace_.pop_front();
}

} // namespace

QString runMonkey(std::uint64_t seed, long actions, MonkeyFigures& figures)
{
    Monkey monkey(seed, figures);
    return monkey.run(actions);
}
