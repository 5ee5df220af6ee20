// SPDX-License-Identifier: GPL-3.0-or-later
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QLockFile>
#include <QProcess>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include "core/failure.h"
#include "platform/qt/filesettingsstore.h"
#include "platform/qt/settingslock.h"

namespace {

QByteArray fileBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

// The saved playlist of `n` entries, as the program writes it.
QString playlistText(int n) {
    QString text;
    const QString sep = QStringLiteral("||MySeparator12||");
    for (int i = 0; i < n; ++i) {
        text +=
            QStringLiteral("/home/someone/Music/Álbum %1/track %2.aac").arg(i / 12).arg(i) + sep;
    }
    return text;
}

// Runs `f` with files capped at `bytes` for this process and SIGXFSZ ignored, so that a
// write over the cap fails with EFBIG, as on a full disk; then puts both back.
template <class F>
void withFileSizeLimit(rlim_t bytes, F&& f) {
    struct rlimit old {
    }, cap{};
    getrlimit(RLIMIT_FSIZE, &old);
    cap = {bytes, old.rlim_max};
    auto* oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &cap);
    f();
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
}

struct HelperResult {
    int exitCode;
    QString output;
};

}  // namespace

class TestFileSettingsStore : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void roundTrip_data();
    void roundTrip();
    void absentAndEmptyDiffer();
    void largePlaylist();
    void replaceKeepsOtherKeys();
    void invalidUtf8IsReadLossilyAndLeftAlone();
    void missingFolderIsCreatedOnFirstSave();
    void unusableFolderMakesSaveFail();
    void readOnlyFolderKeepsOldValue();
    void failedWriteKeepsOldValue_data();
    void failedWriteKeepsOldValue();
    void unreadableValueFailsToRead_data();
    void unreadableValueFailsToRead();
    void keysThatLeaveTheFolderAreRefused_data();
    void keysThatLeaveTheFolderAreRefused();
    void defaultFolderFollowsXdgConfigHome_data();
    void defaultFolderFollowsXdgConfigHome();
    void oneCopyHoldsTheLock();
    void unwritableFolderIsNoReasonToRefuse();

private:
    HelperResult runAsNobody(const QString& helperDir, const QStringList& args);
};

void TestFileSettingsStore::roundTrip_data() {
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::newRow("volume") << "Volume Level"
                            << "50";
    QTest::newRow("option") << "Option1"
                            << "1";
    QTest::newRow("non-ascii path") << "LastFolder" << QStringLiteral("/home/zoë/Музыка/日本");
    QTest::newRow("emoji") << "LastFolder" << QStringLiteral("/tmp/\U0001F3B5 mix");
    QTest::newRow("spaces kept") << "Files"
                                 << "  a.aac ||MySeparator12|| ";
    QTest::newRow("line breaks kept") << "Snapshot"
                                      << "a\r\nb\nc\n";
    QTest::newRow("trailing newline not stripped") << "LastFolder"
                                                   << "/tmp\n";
}

// The file holds exactly the UTF-8 of the value: no newline added, nothing stripped.
void TestFileSettingsStore::roundTrip() {
    QFETCH(QString, key);
    QFETCH(QString, value);
    QTemporaryDir dir;
    FileSettingsStore store(dir.path());
    store.save(key, value);
    QCOMPARE(store.read(key), std::optional<QString>(value));
    QCOMPARE(fileBytes(dir.filePath(key)), value.toUtf8());
    // A fresh store sees the same value, and the atomic write leaves no temporary files.
    QCOMPARE(FileSettingsStore(dir.path()).read(key), std::optional<QString>(value));
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{key});
}

void TestFileSettingsStore::absentAndEmptyDiffer() {
    QTemporaryDir dir;
    FileSettingsStore store(dir.path());
    QCOMPARE(store.read("Files"), std::nullopt);
    QCOMPARE(readSetting(store, "Option1", "1"), QString("1"));
    store.save("Files", QString());
    QVERIFY(QFileInfo::exists(dir.filePath("Files")));
    QCOMPARE(QFileInfo(dir.filePath("Files")).size(), 0);
    QCOMPARE(store.read("Files"), std::optional<QString>(QString()));
    // An empty value is a value: the reader's default does not replace it.
    store.save("Option1", QString());
    QCOMPARE(readSetting(store, "Option1", "1"), QString());
}

void TestFileSettingsStore::largePlaylist() {
    QTemporaryDir dir;
    FileSettingsStore store(dir.path());
    const QString files = playlistText(5000);  // far more than one buffer
    store.save("Files", files);
    store.save("Volume Level", "73");
    const auto back = store.read("Files");
    QVERIFY(back.has_value());
    QCOMPARE(back->size(), files.size());
    QVERIFY(*back == files);
    QCOMPARE(back->count(QStringLiteral("||MySeparator12||")), 5000);
    QCOMPARE(store.read("Volume Level"), std::optional<QString>("73"));
}

void TestFileSettingsStore::replaceKeepsOtherKeys() {
    QTemporaryDir dir;
    FileSettingsStore store(dir.path());
    store.save("Files", "a||MySeparator12||");
    store.save("Volume Level", "10");
    store.save("Volume Level", "9");
    store.save("Files", "b");
    QCOMPARE(store.read("Volume Level"), std::optional<QString>("9"));
    QCOMPARE(store.read("Files"), std::optional<QString>("b"));
    QCOMPARE(fileBytes(dir.filePath("Files")), QByteArray("b"));
    // The same value again leaves the file alone (no new file takes its place); a value
    // of the same length that differs replaces it.
    const auto inode = [&](const char* key) {
        struct stat info {};
        return ::stat(QFile::encodeName(dir.filePath(key)).constData(), &info) == 0 ? info.st_ino
                                                                                    : ino_t(0);
    };
    const ino_t before = inode("Volume Level");
    store.save("Volume Level", "9");
    QCOMPARE(inode("Volume Level"), before);
    store.save("Volume Level", "8");
    QVERIFY(inode("Volume Level") != before);
    QCOMPARE(fileBytes(dir.filePath("Volume Level")), QByteArray("8"));
}

void TestFileSettingsStore::invalidUtf8IsReadLossilyAndLeftAlone() {
    QTemporaryDir dir;
    const QByteArray bytes("/music/caf\xe9/a.aac||MySeparator12||/music/\xff\xfe.aac");
    writeBytes(dir.filePath("Files"), bytes);
    FileSettingsStore store(dir.path());
    const auto value = store.read("Files");
    QVERIFY(value.has_value());
    QVERIFY(value->startsWith("/music/caf"));
    QVERIFY(value->contains(QStringLiteral("/a.aac||MySeparator12||/music/")));
    QVERIFY(value->contains(QChar::ReplacementCharacter));
    QVERIFY(value->endsWith(".aac"));
    store.read("Files");
    QCOMPARE(fileBytes(dir.filePath("Files")), bytes);
}

void TestFileSettingsStore::missingFolderIsCreatedOnFirstSave() {
    QTemporaryDir dir;
    const QString folder = dir.filePath("config/Varnelta/Quaverly");
    FileSettingsStore store(folder);
    QCOMPARE(store.read("Volume Level"), std::nullopt);
    QVERIFY(!QFileInfo::exists(folder));  // reading creates nothing
    store.save("Volume Level", "50");
    QCOMPARE(fileBytes(folder + "/Volume Level"), QByteArray("50"));
}

// A path under a regular file cannot be created, not even by root.
void TestFileSettingsStore::unusableFolderMakesSaveFail() {
    QTemporaryDir dir;
    writeBytes(dir.filePath("plainfile"), "x");
    FileSettingsStore store(dir.filePath("plainfile/Varnelta/Quaverly"));
    try {
        store.save("Volume Level", "50");
        QFAIL("the save was reported as done");
    } catch (const Failure& f) {
        QVERIFY2(f.description().contains("plainfile/Varnelta/Quaverly"),
                 qPrintable(f.description()));
    }
    QCOMPARE(store.read("Volume Level"), std::nullopt);
    QCOMPARE(fileBytes(dir.filePath("plainfile")), QByteArray("x"));
}

// Root ignores permission bits, so as root the helper runs as "nobody"; otherwise the
// helper runs as the current user, for whom the bits hold anyway.
HelperResult TestFileSettingsStore::runAsNobody(const QString& helperDir, const QStringList& args) {
    const QString helper = helperDir + "/settingshelper";
    QProcess p;
    if (geteuid() == 0) {
        const QString setpriv = QStandardPaths::findExecutable("setpriv");
        if (setpriv.isEmpty()) return {-1, "setpriv is missing"};
        p.start(setpriv,
                QStringList{"--reuid=65534", "--regid=65534", "--clear-groups", helper} + args);
    } else {
        p.start(helper, args);
    }
    p.closeWriteChannel();
    if (!p.waitForFinished(60000)) return {-1, "the helper did not finish"};
    return {p.exitCode(), QString::fromUtf8(p.readAllStandardOutput())};
}

void TestFileSettingsStore::readOnlyFolderKeepsOldValue() {
    QTemporaryDir dir;
    QVERIFY(QFile::copy(QUAVERLY_SETTINGS_HELPER, dir.filePath("settingshelper")));
    const QString folder = dir.filePath("store");
    FileSettingsStore store(folder);
    store.save("Volume Level", "42");
    QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                  QFileDevice::ExeOwner | QFileDevice::ReadOther |
                                                  QFileDevice::ExeOther));
    QVERIFY(QFile::setPermissions(dir.filePath("settingshelper"),
                                  QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                      QFileDevice::ReadOther | QFileDevice::ExeOther));
    QVERIFY(QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                              QFileDevice::ReadOther | QFileDevice::ExeOther));
    QVERIFY(QFile::setPermissions(folder + "/Volume Level", QFileDevice::ReadOwner |
                                                                QFileDevice::WriteOwner |
                                                                QFileDevice::ReadOther));

    const HelperResult read = runAsNobody(dir.path(), {"read", folder, "Volume Level"});
    QCOMPARE(read.output, QString("value:42"));
    const HelperResult saved = runAsNobody(dir.path(), {"save", folder, "Volume Level", "7"});
    QVERIFY2(saved.output.startsWith("failed:Cannot save the setting \"Volume Level\""),
             qPrintable(saved.output));
    QCOMPARE(saved.exitCode, 1);
    QCOMPARE(fileBytes(folder + "/Volume Level"), QByteArray("42"));
    QCOMPARE(QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"Volume Level"});
    // A key that does not exist yet cannot be created there either.
    const HelperResult created = runAsNobody(dir.path(), {"save", folder, "Files", "a"});
    QCOMPARE(created.exitCode, 1);
    QVERIFY(!QFileInfo::exists(folder + "/Files"));

    QFile::setPermissions(folder,
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
}

void TestFileSettingsStore::failedWriteKeepsOldValue_data() {
    QTest::addColumn<int>("limit");  // the size a file may grow to
    QTest::addColumn<int>("size");   // of the new value
    QTest::newRow("first byte refused") << 0 << 1;
    QTest::newRow("cut after 8 KiB") << 8192 << 100000;
}

// A write that fails half-way (here through a file-size limit, as on a full disk) is
// reported with the system's reason, and the old value stays byte for byte.
void TestFileSettingsStore::failedWriteKeepsOldValue() {
    QFETCH(int, limit);
    QFETCH(int, size);
    QTemporaryDir dir;
    FileSettingsStore store(dir.path());
    const QString old = playlistText(4);
    store.save("Files", old);
    QString error = "the save was reported as done";
    withFileSizeLimit(limit, [&] {
        try {
            store.save("Files", QString(size, u'x'));
        } catch (const Failure& f) {
            error = f.description();
        }
    });
    QCOMPARE(error,
             QString("Cannot save the setting \"Files\" in %1: File too large").arg(dir.path()));
    QCOMPARE(fileBytes(dir.filePath("Files")), old.toUtf8());
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList{"Files"});
}

void TestFileSettingsStore::unreadableValueFailsToRead_data() {
    QTest::addColumn<int>("fileMode");    // 0: a folder in place of the value's file
    QTest::addColumn<int>("folderMode");  // of the store's folder
    QTest::addColumn<QString>("reason");
    QTest::newRow("no read permission") << 0200 << 0755 << "Permission denied";
    QTest::newRow("folder not searchable") << 0600 << 0750 << "Permission denied";
    QTest::newRow("a folder in its place") << 0 << 0755 << "Is a directory";
}

// A value that is there but cannot be read (as "nobody", for whom the bits hold) is
// reported, never taken for an absent key, and trying changes nothing.
void TestFileSettingsStore::unreadableValueFailsToRead() {
    QFETCH(int, fileMode);
    QFETCH(int, folderMode);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QString helper = dir.filePath("settingshelper"), folder = dir.filePath("store");
    QVERIFY(QFile::copy(QUAVERLY_SETTINGS_HELPER, helper));
    QVERIFY(::chmod(qPrintable(dir.path()), 0755) == 0 && ::chmod(qPrintable(helper), 0755) == 0);
    QVERIFY(QDir().mkdir(folder));
    const QString value = folder + "/Option1";
    if (fileMode == 0) {
        QVERIFY(QDir().mkdir(value));
        QVERIFY_THROWS_EXCEPTION(Failure, FileSettingsStore(folder).read("Option1"));
        QVERIFY_THROWS_EXCEPTION(Failure, FileSettingsStore(folder).save("Option1", "x"));
    } else {
        writeBytes(value, "1");
        QVERIFY(::chmod(qPrintable(value), mode_t(fileMode)) == 0);
    }
    QVERIFY(::chmod(qPrintable(folder), mode_t(folderMode)) == 0);
    const HelperResult read = runAsNobody(dir.path(), {"read", folder, "Option1"});
    QCOMPARE(read.output,
             QString("failed:Cannot read the setting \"Option1\" in %1: %2").arg(folder, reason));
    QCOMPARE(read.exitCode, 1);
    if (fileMode != 0) QCOMPARE(fileBytes(value), QByteArray("1"));
}

void TestFileSettingsStore::keysThatLeaveTheFolderAreRefused_data() {
    QTest::addColumn<QString>("key");
    QTest::newRow("empty") << QString();
    QTest::newRow("dot") << ".";
    QTest::newRow("dot-dot") << "..";
    QTest::newRow("parent") << "../Files";
    QTest::newRow("absolute") << "/tmp/Files";
    QTest::newRow("sub-folder") << "a/b";
    QTest::newRow("nul") << QString("Fil") + QChar(u'\0') + "es";
}

void TestFileSettingsStore::keysThatLeaveTheFolderAreRefused() {
    QFETCH(QString, key);
    QTemporaryDir dir;
    const QString folder = dir.filePath("a/store");
    FileSettingsStore store(folder);
    QVERIFY(!FileSettingsStore::isValidKey(key));
    QVERIFY_THROWS_EXCEPTION(Failure, store.save(key, "x"));
    QCOMPARE(store.read(key), std::nullopt);
    QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
             QStringList());
}

void TestFileSettingsStore::defaultFolderFollowsXdgConfigHome_data() {
    QTest::addColumn<QString>("xdg");
    QTest::addColumn<bool>("used");
    QTest::newRow("absolute") << QString("<dir>") << true;
    QTest::newRow("relative is ignored") << QString("relative/config") << false;
    QTest::newRow("empty") << QString("") << false;
}

void TestFileSettingsStore::defaultFolderFollowsXdgConfigHome() {
    QFETCH(QString, xdg);
    QFETCH(bool, used);
    QTemporaryDir dir;
    xdg.replace("<dir>", dir.path());
    const QByteArray old = qgetenv("XDG_CONFIG_HOME");
    QStandardPaths::setTestModeEnabled(false);
    qputenv("XDG_CONFIG_HOME", xdg.toUtf8());
    const QString folder = FileSettingsStore::defaultFolder();
    const QString made = FileSettingsStore().folder();
    if (old.isNull()) {
        qunsetenv("XDG_CONFIG_HOME");
    } else {
        qputenv("XDG_CONFIG_HOME", old);
    }
    QStandardPaths::setTestModeEnabled(true);
    QCOMPARE(folder, (used ? xdg : QDir::homePath() + "/.config") + "/Varnelta/Quaverly");
    QCOMPARE(made, folder);
    // In test mode the folder moves away from the user's real settings.
    QVERIFY(FileSettingsStore::defaultFolder().endsWith("/Varnelta/Quaverly"));
    QVERIFY(FileSettingsStore::defaultFolder() != folder);
}

// Writes the lock of `folder` as a copy with process `pid` on `host` leaves it, an hour old.
static void writeOldLock(const QString& folder, qint64 pid, const QByteArray& host) {
    QTemporaryDir scratch;
    QLockFile real(scratch.filePath("lock"));
    QVERIFY(real.tryLock(0));
    QList<QByteArray> lines = fileBytes(scratch.filePath("lock")).split('\n');
    real.unlock();
    QVERIFY(lines.size() >= 3);
    lines[0] = QByteArray::number(pid);
    if (host != QSysInfo::machineHostName().toUtf8()) {
        lines[2] = host;
        lines = lines.mid(0, 3) << QByteArray();  // nor this machine's id
    }
    QDir().mkpath(folder);
    writeBytes(folder + "/.lock", lines.join('\n'));
    QFile file(folder + "/.lock");
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTimeUtc().addSecs(-3600),
                             QFileDevice::FileModificationTime));
}

// One copy holds the settings folder's lock for its run: a second one is refused and
// told which process holds it. A lock left by a copy that has gone from this machine
// is taken over; one from another machine sharing the folder is not, however old,
// since nothing here can tell whether that copy still runs.
void TestFileSettingsStore::oneCopyHoldsTheLock() {
    QTemporaryDir dir;
    const QString folder = dir.filePath("settings");
    QProcess owner;
    owner.start(QUAVERLY_SETTINGS_HELPER, {"lock", folder});
    QVERIFY(owner.waitForReadyRead(30000));
    QCOMPARE(owner.readLine(), QByteArray("locked:\n"));
    SettingsLock second(folder);
    QString message;
    QVERIFY(!second.tryLock(&message));
    QVERIFY2(
        message.startsWith(
            QStringLiteral("Quaverly is already running (process %1 on ").arg(owner.processId())),
        qPrintable(message));
    QVERIFY2(message.endsWith(QStringLiteral("If no copy runs, delete %1.").arg(second.path())),
             qPrintable(message));
    owner.closeWriteChannel();
    QVERIFY(owner.waitForFinished(30000));
    QCOMPARE(owner.exitCode(), 0);
    QVERIFY(second.tryLock(&message));
    second.unlock();

    QProcess gone;
    gone.start(QStringLiteral("true"));
    QVERIFY(gone.waitForStarted(30000));
    const qint64 gonePid = gone.processId();
    QVERIFY(gone.waitForFinished(30000));
    writeOldLock(folder, gonePid, QSysInfo::machineHostName().toUtf8());
    message = "untouched";
    QVERIFY(SettingsLock(folder).tryLock(&message));
    QCOMPARE(message, QStringLiteral("untouched"));

    writeOldLock(folder, 1, "elsewhere");
    QVERIFY(!SettingsLock(folder).tryLock(&message));
    QVERIFY2(message.contains("(process 1 on elsewhere)"), qPrintable(message));
}

// A folder the program may not write is no reason to refuse to start: it says that
// the lock, and so the settings, cannot be written.
void TestFileSettingsStore::unwritableFolderIsNoReasonToRefuse() {
    QTemporaryDir dir;
    QVERIFY(QFile::copy(QUAVERLY_SETTINGS_HELPER, dir.filePath("settingshelper")));
    const QString folder = dir.filePath("settings");
    QVERIFY(QDir().mkpath(folder));
    const auto readable = QFileDevice::ReadOwner | QFileDevice::ExeOwner | QFileDevice::ReadOther |
                          QFileDevice::ExeOther;
    QVERIFY(QFile::setPermissions(dir.path(), readable | QFileDevice::WriteOwner));
    QVERIFY(QFile::setPermissions(dir.filePath("settingshelper"), readable));
    QVERIFY(QFile::setPermissions(folder, readable));
    const HelperResult locked = runAsNobody(dir.path(), {"lock", folder});
    QCOMPARE(locked.output, QStringLiteral("locked:cannot create the lock %1/.lock; the settings "
                                           "may not be saved either\n")
                                .arg(folder));
    QCOMPARE(locked.exitCode, 0);
    QVERIFY(!QFileInfo::exists(folder + "/.lock"));
    QFile::setPermissions(folder, readable | QFileDevice::WriteOwner);
}

QTEST_GUILESS_MAIN(TestFileSettingsStore)
#include "tst_filesettingsstore.moc"
