// SPDX-License-Identifier: GPL-3.0-or-later
// The cursors and icons that ship beside the program: Qt must be able to read them, in
// the source tree and in the copy the build puts beside the executable.
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

namespace {
const QString kSource = QStringLiteral(QUAVERLY_SOURCE_DIR "/assets");
const QString kBeside = QStringLiteral(QUAVERLY_BINARY_DIR "/bin");
}  // namespace

class TestCompanionFiles : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void cursors_data();
    void cursors();
    void handHotspotIsOnTheFingertip();
    void icons_data();
    void icons();
    void desktopFilesOfferTheTypeOfAacFiles();
};

void TestCompanionFiles::cursors_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("format");  // Qt's ico reader handles cursors too
    QTest::addColumn<QPoint>("solid");       // a pixel that must be drawn
    for (const QString& dir : {kSource + "/beside", kBeside}) {
        QTest::addRow("%s hand", qPrintable(dir))
            << dir + "/HAND-M.CUR" << QByteArray("ico") << QPoint(13, 3);
        QTest::addRow("%s drag", qPrintable(dir))
            << dir + "/drag.ico" << QByteArray("ico") << QPoint(2, 4);
    }
}

void TestCompanionFiles::cursors() {
    QFETCH(QString, path);
    QFETCH(QByteArray, format);
    QFETCH(QPoint, solid);
    QImageReader reader(path);
    QCOMPARE(reader.format(), format);
    const QImage img = reader.read();
    QVERIFY2(!img.isNull(), qPrintable(reader.errorString()));
    QCOMPARE(img.size(), QSize(32, 32));
    QVERIFY(img.hasAlphaChannel());
    QCOMPARE(qAlpha(img.pixel(31, 0)), 0);
    QCOMPARE(qAlpha(img.pixel(solid)), 255);
}

// The hotspot is stored in the file's directory entry; it must point at the hand's tip:
// drawn there, and nothing drawn above it.
void TestCompanionFiles::handHotspotIsOnTheFingertip() {
    QFile f(kSource + "/beside/HAND-M.CUR");
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QByteArray head = f.read(22);
    QCOMPARE(head.size(), 22);
    const auto u16 = [&](int at) { return int(uchar(head[at])) | int(uchar(head[at + 1])) << 8; };
    QCOMPARE(u16(2), 2);  // a cursor, not an icon
    const QPoint hotspot(u16(10), u16(12));
    const QImage img(f.fileName());
    QVERIFY(qAlpha(img.pixel(hotspot)) > 0);
    QCOMPARE(qAlpha(img.pixel(hotspot + QPoint(0, 2))), 255);
    for (int y = 0; y < hotspot.y(); ++y) QCOMPARE(qAlpha(img.pixel(hotspot.x(), y)), 0);
}

void TestCompanionFiles::icons_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("size");
    for (int size : {32, 48, 128, 256}) {
        const QString name = QStringLiteral("/quaverly-%1.png").arg(size);
        QTest::addRow("%d", size) << kSource + "/beside/icons" + name << size;
        QTest::addRow("%d beside", size) << kBeside + "/icons" + name << size;
    }
}

void TestCompanionFiles::icons() {
    QFETCH(QString, path);
    QFETCH(int, size);
    const QImage img(path);
    QVERIFY2(!img.isNull(), qPrintable(path));
    QCOMPARE(img.size(), QSize(size, size));
    // Rounded corners are transparent, the middle is not.
    QCOMPARE(qAlpha(img.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(img.pixel(size / 2, size / 2)), 255);
}

QTEST_GUILESS_MAIN(TestCompanionFiles)
#include "tst_companionfiles.moc"

// The desktop entry opens files of the type the desktop gives .aac files, and the
// metainfo passes the validator that software centres use.
void TestCompanionFiles::desktopFilesOfferTheTypeOfAacFiles() {
    for (const char* tool : {"xdg-mime", "appstreamcli"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(tool)).isEmpty())
            QSKIP(qPrintable(QStringLiteral("%1 is not installed").arg(tool)));
    }
    QFile file(kSource + "/com.varnelta.Quaverly.desktop");
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split('\n');
    QVERIFY(lines.contains("Exec=quaverly %F"));
    const QStringList types = lines.filter(QRegularExpression("^MimeType="))
                                  .value(0)
                                  .mid(9)
                                  .split(';', Qt::SkipEmptyParts);
    QProcess p;
    p.start("xdg-mime", {"query", "filetype", kSource + "/beside/Samples/Welcome.aac"});
    QVERIFY(p.waitForFinished(10000));
    const QString detected = QString::fromUtf8(p.readAllStandardOutput()).trimmed();
    QVERIFY2(types.contains(detected), qPrintable(detected));
    QVERIFY(types.contains("audio/aac") && types.contains("audio/x-aac"));

    p.start("appstreamcli",
            {"validate", "--no-net", kSource + "/com.varnelta.Quaverly.metainfo.xml"});
    QVERIFY(p.waitForFinished(30000));
    QVERIFY2(p.exitCode() == 0, p.readAllStandardOutput().constData());
}
