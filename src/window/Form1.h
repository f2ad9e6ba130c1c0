#pragma once

#include "core/converter/SimulatedConverter.h"
#include "core/system/Clock.h"
#include "devices/Unit.h"
#include "window/PortControl.h"
#include "window/handlers/AcquisitionState.h"
#include "window/handlers/AfterSweep.h"
#include "window/handlers/ExitCommand.h"
#include "window/handlers/LoadCommand.h"
#include "window/handlers/MSComm.h"
#include "window/handlers/PlotRuns.h"
#include "window/handlers/PrintCommand.h"
#include "window/handlers/Procedures.h"
#include "window/handlers/SaveCommand.h"
#include "window/handlers/SweepController.h"
#include "window/toolkit/PrinterSurface.h"
#include "window/toolkit/WindowSystem.h"

#include <QWidget>

#include <array>
#include <memory>

class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class Lamp;
class PortList;
class PlotWidget;

// Everything the window reaches outside itself.
struct Form1Seams {
    MessageBoxes& boxes;
    EventPump& pump;
    SweepTimer& timer;
    Lifetime& lifetime;
    FileDialog& dialog;
    Clock& clock;
    PrinterSurface& printer;
    SerialDevice& serial;
    PortMap::DeviceList devices = PortMap::systemDevices;
    CodeSource simulatorSource = SignalGenerator{};
};

// The main window: it owns every control and the shared state, and connects each control to
// its handler. The handlers' logic lives with its subsystem.
class Form1 final : public QWidget, private OptionButtons, private WaitingShown {
    Q_OBJECT
public:
    static const QString Maker;

    explicit Form1(Form1Seams seams);
    ~Form1() override;

    void Form_Load();
    // Right after Form_Load: shows the data file named on the command line as Load does.
    void openAtStart(const QString& file) { load_->openAtStart(file); }

    void Timer1_Timer() { sweep_->Timer1_Timer(); }
    void Option3_Click() { sweep_->Option3_Click(); }
    void Option4_Click() { sweep_->Option4_Click(); }
    void Command1_Click() { exit_->Command1_Click(); }
    // SIGTERM, SIGHUP or SIGINT: Exit with nobody there to answer a box.
    void terminationSignal() { exit_->signalled(); }
    void Command2_Click() { port_->Command2_Click(); }
    void Command3_Click() { save_->Command3_Click(); }
    void Command4_Click() { load_->Command4_Click(); }
    void Command5_Click() { print_->Command5_Click(); }
    void Command6_Click();

    // The option buttons by number, as the handlers read and select them.
    OptionButtons& options() { return *this; }
    AcquisitionState& state() { return state_; }
    ConverterLink& link() { return unit_.link(); }
    MSComm& comm() { return MSComm1; }
    bool sweeping() const { return sweep_->sweeping(); }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    bool isSelected(int option) const override;
    void select(int option) override;
    void setWaiting(int button, bool waiting) override;
    void buildControls();
    void runClickHandler(int option);

    Form1Seams seams_;
    PortMap ports_;
    Unit unit_;
    MSComm MSComm1{unit_.port()};
    AcquisitionState state_;
    PlotRuns runs_;
    AfterSweep afterSweep_{*this};

    PlotWidget* Picture1 = nullptr;
    QGroupBox* Frame1 = nullptr;
    QGroupBox* Frame2 = nullptr;
    QGroupBox* Frame3 = nullptr;
    std::array<QRadioButton*, 13> Option{}; // Option[1]..Option[12]
    std::array<QLabel*, 11> Label{};        // Label[1]..Label[10]
    PortList* Combo1 = nullptr;
    Lamp* Shape1 = nullptr;
    std::array<QPushButton*, 7> Command{}; // Command[1]..Command[6]

    // The handlers' logic, made once the controls they draw on exist.
    std::unique_ptr<SweepController> sweep_;
    std::unique_ptr<SaveCommand> save_;
    std::unique_ptr<LoadCommand> load_;
    std::unique_ptr<PrintCommand> print_;
    std::unique_ptr<PortControl> port_;
    std::unique_ptr<ExitCommand> exit_;
};
