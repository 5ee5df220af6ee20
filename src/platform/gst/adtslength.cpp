// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/gst/adtslength.h"

#include <QFile>

double adtsLength(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return 0;
    const qint64 size = file.size();
    const auto* data = size > 0 ? file.map(0, size) : nullptr;
    if (!data) return 0;
    qint64 at = 0;
    if (size >= 10 && data[0] == 'I' && data[1] == 'D' && data[2] == '3')  // a tag in front
        at = 10 + ((data[6] & 0x7f) << 21 | (data[7] & 0x7f) << 14 | (data[8] & 0x7f) << 7 |
                   (data[9] & 0x7f));
    static constexpr int kRates[] = {96000, 88200, 64000, 48000, 44100, 32000, 24000,
                                     22050, 16000, 12000, 11025, 8000,  7350};
    int rate = 0;
    qint64 samples = 0;
    while (at + 7 <= size && data[at] == 0xff && (data[at + 1] & 0xf6) == 0xf0) {
        const int index = (data[at + 2] >> 2) & 0x0f;
        const int length = (data[at + 3] & 0x03) << 11 | data[at + 4] << 3 | data[at + 5] >> 5;
        if (index > 12 || length < 7 || (rate && kRates[index] != rate)) break;
        rate = kRates[index];
        samples += 1024 * ((data[at + 6] & 0x03) + 1);
        at += length;
    }
    return rate ? double(samples) / rate : 0;
}
