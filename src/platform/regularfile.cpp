// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/regularfile.h"

#include <sys/stat.h>

#include <QFile>

bool isRegularFile(const QString& path) {
    struct stat info {};
    return !path.isEmpty() && !path.contains(QChar(u'\0')) &&
           ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISREG(info.st_mode);
}
