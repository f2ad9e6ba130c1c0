#include "platform/WholeFile.h"

bool WholeFile::open()
{
    return file_.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
}

bool WholeFile::commit(const QByteArray& bytes)
{
    for (qint64 done = 0; done < bytes.size();) {
        const qint64 written = file_.write(bytes.constData() + done, bytes.size() - done);
        if (written <= 0) {
            error_ = file_.errorString();
            file_.cancelWriting();
            return false;
        }
        done += written;
    }
    return file_.commit();
}
