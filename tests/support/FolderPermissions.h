#pragma once

#include <QFile>
#include <QString>

#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

// A folder that takes no new file, for as long as this lives, even when the tests run as root:
// its write permission goes, and so does this process's power to override file permissions.
class ReadOnlyFolder {
public:
    explicit ReadOnlyFolder(const QString& path) : path_(path), saved_(QFile::permissions(path))
    {
        QFile::setPermissions(path_, saved_ & ~(QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther | QFile::WriteUser));
        capget(&header_, caps_);
        __user_cap_data_struct dropped[2] = {caps_[0], caps_[1]};
        dropped[0].effective &= ~((1u << CAP_DAC_OVERRIDE) | (1u << CAP_FOWNER));
        capset(dropped);
    }
    ~ReadOnlyFolder()
    {
        capset(caps_);
        QFile::setPermissions(path_, saved_);
    }

private:
    void capget(__user_cap_header_struct* header, __user_cap_data_struct* data) { syscall(SYS_capget, header, data); }
    void capset(__user_cap_data_struct* data) { syscall(SYS_capset, &header_, data); }

    QString path_;
    QFile::Permissions saved_;
    __user_cap_header_struct header_{_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct caps_[2]{};
};
