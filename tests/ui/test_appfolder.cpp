// Where the program keeps its files: next to the executable, or in the per-user folder seeded
// from the installed data folder.
#include "AppFolder.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

enum TConfig { NoConfig, WritableConfig, ReadOnlyConfig };

bool Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return QDir().mkpath(QFileInfo(path).path()) && f.open(QIODevice::WriteOnly) &&
           f.write(bytes) == bytes.size();
}

QByteArray Read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}

} // namespace

class TestAppFolder : public QObject {
    Q_OBJECT

private slots:
    void folderRule_data() {
        QTest::addColumn<bool>("programWritable");
        QTest::addColumn<int>("config");
        QTest::addColumn<QStringList>("userHas"); // files the user already has, content "mine"
        QTest::addColumn<bool>("userBlocked");    // the per-user folder cannot be created
        QTest::addColumn<bool>("perUser");

        const QStringList none;
        QTest::newRow("writable program folder") << true << int(NoConfig) << none << false << false;
        QTest::newRow("writable program folder, read-only config.ini")
            << true << int(ReadOnlyConfig) << none << false << false;
        QTest::newRow("unwritable program folder, writable config.ini")
            << false << int(WritableConfig) << none << false << false;
        QTest::newRow("unwritable program folder, read-only config.ini")
            << false << int(ReadOnlyConfig) << none << false << true;
        QTest::newRow("unwritable program folder, no config.ini: seeded")
            << false << int(NoConfig) << none << false << true;
        QTest::newRow("the user's own files are kept")
            << false << int(NoConfig)
            << QStringList{"codepage.ini", "ok.wav", "config.ini", "font.bin"} << false << true;
        QTest::newRow("per-user folder cannot be made: program folder")
            << false << int(NoConfig) << none << true << false;
    }

    void folderRule() {
        QFETCH(bool, programWritable);
        QFETCH(int, config);
        QFETCH(QStringList, userHas);
        QFETCH(bool, userBlocked);
        QFETCH(bool, perUser);

        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString program = tmp.filePath("prefix/bin");
        QVERIFY(QDir().mkpath(program));
        if (config != NoConfig)
            QVERIFY(Write(program + "/config.ini", "[APP]\n"));
        // The first seed folder lacks the sounds, so they must come from the second.
        const QString seed1 = tmp.filePath("seed1");
        const QString seed2 = tmp.filePath("seed2");
        QVERIFY(Write(seed1 + "/codepage.ini", "FIRST"));
        QVERIFY(Write(seed2 + "/codepage.ini", "SECOND"));
        QVERIFY(Write(seed2 + "/ok.wav", "OK SOUND"));
        QVERIFY(Write(seed2 + "/error.wav", "ERROR SOUND"));
        QString user = tmp.filePath("home/data/nuv-printer-tool");
        if (userBlocked) {
            QVERIFY(Write(tmp.filePath("home/data"), "a file where the folder should be"));
        }
        for (const QString& name : userHas)
            QVERIFY(Write(user + "/" + name, "mine"));

        // Root may write anywhere, so which paths count as writable is decided here.
        QSet<QString> unwritable;
        if (!programWritable)
            unwritable << program;
        if (config == ReadOnlyConfig)
            unwritable << program + "/config.ini";
        QStringList asked;
        TAppFolderEnv env;
        env.FIsWritable = [&](const QString& path) {
            asked << path;
            return !unwritable.contains(path);
        };
        env.FUserFolder = user;
        env.FSeedFolders = {seed1, seed2};

        const QString chosen = ResolveAppFolder(program + "/", env);
        QVERIFY(!asked.isEmpty());
        if (!perUser) {
            QCOMPARE(chosen, program);
            if (!userBlocked && userHas.isEmpty())
                QVERIFY(!QFileInfo::exists(user));
            return;
        }
        QCOMPARE(chosen, user);
        const QHash<QString, QByteArray> seeded{
            {"codepage.ini", "FIRST"}, {"ok.wav", "OK SOUND"}, {"error.wav", "ERROR SOUND"}};
        for (const QString& name : SeedFileNames())
            QCOMPARE(Read(user + "/" + name), userHas.contains(name) ? "mine" : seeded.value(name));
        for (const QString& name : userHas)
            QCOMPARE(Read(user + "/" + name), QByteArray("mine"));
        QVERIFY(QFileInfo(user + "/codepage.ini").isWritable());
        QVERIFY(!QFileInfo::exists(program + "/codepage.ini"));

        // A second start finds everything in place and changes nothing.
        QVERIFY(Write(user + "/error.wav", "edited"));
        QCOMPARE(ResolveAppFolder(program, env), user);
        QCOMPARE(Read(user + "/error.wav"), QByteArray("edited"));
    }

    // Without overrides: the per-user folder follows XDG_DATA_HOME, and the seed comes from
    // bin/../share/<package> of the executable's prefix.
    void installedLayout() {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString prefix = tmp.filePath("usr");
        const QString data = prefix + "/share/" + AppPackageName();
        QVERIFY(Write(data + "/codepage.ini", "INSTALLED"));
        QVERIFY(Write(data + "/ok.wav", "OK"));
        QVERIFY(Write(data + "/error.wav", "ERROR"));
        qputenv("XDG_DATA_HOME", tmp.filePath("home/.local/share").toUtf8());
        qputenv("XDG_DATA_DIRS", tmp.filePath("elsewhere").toUtf8());

        QCOMPARE(UserAppFolder(), tmp.filePath("home/.local/share/nuv-printer-tool"));
        QCOMPARE(InstalledDataFolders(prefix + "/bin"),
                 QStringList({data, tmp.filePath("elsewhere/nuv-printer-tool")}));

        TAppFolderEnv env;
        env.FIsWritable = [](const QString&) { return false; };
        QCOMPARE(ResolveAppFolder(prefix + "/bin", env), UserAppFolder());
        QCOMPARE(Read(UserAppFolder() + "/codepage.ini"), QByteArray("INSTALLED"));
        QCOMPARE(Read(UserAppFolder() + "/error.wav"), QByteArray("ERROR"));

        // The build tree: its own folder is writable, so nothing moves.
        QCOMPARE(ResolveAppFolder(tmp.path()), QDir::cleanPath(tmp.path()));
    }
};

QTEST_GUILESS_MAIN(TestAppFolder)
#include "test_appfolder.moc"
