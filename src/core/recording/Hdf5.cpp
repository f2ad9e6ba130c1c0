#include "core/recording/Hdf5.h"

#include <QRegularExpression>

#include <cstring>

namespace Hdf5 {

void Id::reset()
{
    if (id_ >= 0)
        H5Idec_ref(id_);
    id_ = H5I_INVALID_HID;
}

Quiet::Quiet()
{
    H5Eget_auto2(H5E_DEFAULT, &function_, &data_);
    H5Eset_auto2(H5E_DEFAULT, nullptr, nullptr);
}

Quiet::~Quiet()
{
    H5Eset_auto2(H5E_DEFAULT, function_, data_);
}

namespace {

// The innermost report comes first.
herr_t innermost(unsigned, const H5E_error2_t* report, void* found)
{
    auto& text = *static_cast<QString*>(found);
    if (text.isEmpty() && report->desc)
        text = QString::fromUtf8(report->desc);
    // The system's reason, where a report gives it, is the one that counts.
    if (report->desc && std::strstr(report->desc, "errno = ")) {
        text = QString::fromUtf8(report->desc);
        return 1;
    }
    return 0;
}

} // namespace

RecordingError failure(const QString& what)
{
    QString text;
    H5Ewalk2(H5E_DEFAULT, H5E_WALK_UPWARD, innermost, &text);
    H5Eclear2(H5E_DEFAULT);
    static const QRegularExpression systemError(QStringLiteral("errno = (\\d+)"));
    if (const QRegularExpressionMatch match = systemError.match(text); match.hasMatch() && match.captured(1).toInt() != 0)
        return RecordingError(FailureKind::System, match.captured(1).toInt());
    return RecordingError(text.isEmpty() ? what : QStringLiteral("%1: %2").arg(what, text));
}

hid_t check(hid_t result, const char* what)
{
    if (result < 0)
        throw failure(QString::fromUtf8(what));
    return result;
}

} // namespace Hdf5
