#include "window/handlers/SaveCommand.h"

#include "core/samples/SampleFile.h"
#include "core/system/FailureWords.h"

#include <QFileInfo>

SaveCommand::SaveCommand(const AcquisitionState& state, SweepTimer& timer, MessageBoxes& boxes, const Clock& clock,
                         AfterSweep& afterSweep)
    : state_(state), timer_(timer), boxes_(boxes), clock_(clock), afterSweep_(afterSweep)
{
}

void SaveCommand::Command3_Click()
{
    static const QString Title = QStringLiteral("存盘");
    timer_.setEnabled(false);
    const QString name = SampleFile::fileName(clock_.now());
    if (boxes_.show(QStringLiteral("存为文件") + name, Title, MsgStyle::YesNo) == MsgAnswer::No)
        return;
    // The name has no month or day, so it comes round again: never write over a file unasked.
    // A folder of that name is no file to replace; the write refuses it.
    const QFileInfo found(name);
    if (found.isFile()
        && boxes_.show(QStringLiteral("文件") + name + QStringLiteral("已存在，是否覆盖？"), Title,
                       MsgStyle::YesNo + MsgStyle::Exclamation + MsgStyle::DefaultButton2)
            == MsgAnswer::No)
        return;
    // Confirmed during a sweep, the file is written once the sweep completes: a file that has
    // taken the free name by then was never asked about, and the write leaves it be.
    const WholeFile::Mode mode = found.exists() ? WholeFile::ReplaceExisting : WholeFile::NeverReplace;
    afterSweep_.run(SaveButton, [this, name, mode] {
        try {
            SampleFile::write(name, state_.SampleBuffer, mode);
        } catch (const UnconfirmedFile& error) {
            boxes_.show(QStringLiteral("已保存文件") + name + QStringLiteral("，但无法确认它已写入磁盘，断电后可能丢失：") + chineseReason(error),
                        Title, MsgStyle::Exclamation);
        } catch (const FileError& error) {
            boxes_.show(QStringLiteral("无法保存文件") + name + QStringLiteral("：") + chineseReason(error), Title,
                        MsgStyle::Exclamation);
        }
    });
}
