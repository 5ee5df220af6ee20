// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Whether `path` names a regular file (after links): never a folder, a FIFO or a device,
// whose opening blocks or never ends. A name with a NUL is never one: the system would
// read only the part before it and open another file.
bool isRegularFile(const QString& path);
