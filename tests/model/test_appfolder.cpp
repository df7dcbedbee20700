// Where the program keeps its files: next to the executable of a build tree or an unpacked
// folder, else in the per-user folder, seeded once from the executable's folder or the installed
// data folder.
#include "AppFolder.h"
#include "Files.h"

#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {} // namespace

class TestAppFolder : public QObject {
    Q_OBJECT

    QTemporaryDir FElsewhere;

private slots:
    // The machine's own installed copy must not be a seed source here.
    void initTestCase() { qputenv("XDG_DATA_DIRS", FElsewhere.path().toUtf8()); }

    void folderRule_data() {
        QTest::addColumn<bool>("installed"); // bin/../share/<package> exists
        QTest::addColumn<bool>("programWritable");
        QTest::addColumn<QString>("config");      // beside the program: "", "writable", "read-only"
        QTest::addColumn<QString>("user");        // the per-user folder: "", "read-only", "blocked"
        QTest::addColumn<QStringList>("userHas"); // files the user already has, content "mine"
        QTest::addColumn<QString>("chosen");      // "program", "user" or "data"
        QTest::addColumn<QString>("seed");        // codepage.ini given to the user's folder
        QTest::addColumn<bool>("problem");

        const QStringList none;
        QTest::newRow("build tree") << false << true << ""
                                    << "" << none << "program"
                                    << "" << false;
        QTest::newRow("build tree, read-only config.ini") << false << true << "read-only"
                                                          << "" << none << "program"
                                                          << "" << false;
        QTest::newRow("unpacked, administrator's config.ini") << false << false << "writable"
                                                              << "" << none << "program"
                                                              << "" << false;
        QTest::newRow("build tree read by another user") << false << false << ""
                                                         << "" << none << "user"
                                                         << "PROGRAM" << false;
        QTest::newRow("build tree read by another user, read-only config.ini")
            << false << false << "read-only"
            << "" << none << "user"
            << "PROGRAM" << false;
        QTest::newRow("installed, run as root") << true << true << ""
                                                << "" << none << "user"
                                                << "INSTALLED" << false;
        QTest::newRow("installed, config.ini left beside it") << true << true << "writable"
                                                              << "" << none << "user"
                                                              << "INSTALLED" << false;
        QTest::newRow("installed, the user's own files")
            << true << false << ""
            << "" << QStringList{"codepage.ini", "ok.wav", "config.ini", "font.bin"} << "user"
            << "INSTALLED" << false;
        QTest::newRow("both read-only, build tree") << false << false << ""
                                                    << "blocked" << none << "program"
                                                    << "" << true;
        QTest::newRow("both read-only, installed") << true << false << ""
                                                   << "blocked" << none << "data"
                                                   << "" << true;
        QTest::newRow("both read-only, installed, the user's folder exists")
            << true << false << ""
            << "read-only" << QStringList{"config.ini"} << "user"
            << "" << true;
    }

    void folderRule() {
        QFETCH(bool, installed);
        QFETCH(bool, programWritable);
        QFETCH(QString, config);
        QFETCH(QString, user);
        QFETCH(QStringList, userHas);
        QFETCH(QString, chosen);
        QFETCH(QString, seed);
        QFETCH(bool, problem);

        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString program = tmp.filePath("prefix/bin");
        const QString data = InstalledDataFolders(program).constFirst();
        // A build tree has its own copies beside the executable; an installed program has them
        // in its data folder.
        for (const QString& name : SeedFileNames()) {
            QVERIFY(WriteFile(program + "/" + name, "PROGRAM"));
            if (installed)
                QVERIFY(WriteFile(data + "/" + name, "INSTALLED"));
        }
        if (installed) { // nothing of the program's folder reaches an installed user's folder
            for (const QString& name : SeedFileNames())
                QVERIFY(QFile::remove(program + "/" + name));
        }
        if (!config.isEmpty())
            QVERIFY(WriteFile(program + "/config.ini", "[APP]\n"));
        const QString userFolder = tmp.filePath("home/data/nuv-printer-tool");
        if (user == "blocked")
            QVERIFY(WriteFile(tmp.filePath("home/data"), "a file where the folder should be"));
        if (user == "read-only")
            QVERIFY(QDir().mkpath(userFolder));
        for (const QString& name : userHas)
            QVERIFY(WriteFile(userFolder + "/" + name, "mine"));

        // Root may write anywhere, so which paths count as writable is decided here.
        QSet<QString> unwritable;
        if (!programWritable)
            unwritable << program;
        if (config == "read-only")
            unwritable << program + "/config.ini";
        if (user == "read-only")
            unwritable << userFolder;
        TAppFolderEnv env;
        env.FIsWritable = [&](const QString& path) { return !unwritable.contains(path); };
        env.FUserFolder = userFolder;

        const TAppFolder folder = ChooseAppFolder(program + "/", env);
        const QHash<QString, QString> paths{
            {"program", program}, {"user", userFolder}, {"data", data}};
        QCOMPARE(folder.FPath, paths.value(chosen));
        QCOMPARE(!folder.FProblem.isEmpty(), problem);
        if (problem) {
            QVERIFY2(folder.FProblem.startsWith("Settings and logs cannot be kept: "),
                     qPrintable(folder.FProblem));
            QVERIFY(folder.FProblem.contains(program));
            QVERIFY(folder.FProblem.contains(userFolder));
        }
        if (chosen == "program" && !problem)
            QVERIFY(!QFileInfo::exists(userFolder));
        // Nothing of a user's is ever written beside an installed program.
        if (installed)
            QCOMPARE(QDir(program).entryList(QDir::Files | QDir::Hidden),
                     config.isEmpty() ? QStringList() : QStringList{"config.ini"});
        if (seed.isEmpty())
            return;
        for (const QString& name : SeedFileNames())
            QCOMPARE(ReadFile(userFolder + "/" + name),
                     userHas.contains(name) ? QByteArray("mine") : seed.toUtf8());
        for (const QString& name : userHas)
            QCOMPARE(ReadFile(userFolder + "/" + name), QByteArray("mine"));
        QVERIFY(QFileInfo(userFolder + "/codepage.ini").isWritable());

        // A later start changes nothing the user edited, and gives nothing again that the user
        // deleted.
        QVERIFY(WriteFile(userFolder + "/error.wav", "edited"));
        QVERIFY(QFile::remove(userFolder + "/ok.wav"));
        QCOMPARE(ChooseAppFolder(program, env).FPath, userFolder);
        QCOMPARE(ReadFile(userFolder + "/error.wav"), QByteArray("edited"));
        QVERIFY(!QFileInfo::exists(userFolder + "/ok.wav"));
    }

    // Without overrides: the per-user folder follows XDG_DATA_HOME, the seed comes from
    // bin/../share/<package> of the executable's prefix, and the installed program uses the
    // per-user folder whether or not it may write its own (as root it may).
    void installedLayout() {
        QTemporaryDir tmp;
        QVERIFY(tmp.isValid());
        const QString prefix = tmp.filePath("usr");
        const QString data = prefix + "/share/" + AppPackageName();
        QVERIFY(WriteFile(data + "/codepage.ini", "INSTALLED"));
        QVERIFY(WriteFile(data + "/ok.wav", "OK"));
        QVERIFY(WriteFile(data + "/error.wav", "ERROR"));
        QVERIFY(QDir().mkpath(prefix + "/bin"));
        qputenv("XDG_DATA_HOME", tmp.filePath("home/.local/share").toUtf8());

        QCOMPARE(UserAppFolder(), tmp.filePath("home/.local/share/nuv-printer-tool"));
        QCOMPARE(InstalledDataFolders(prefix + "/bin"),
                 QStringList({data, FElsewhere.filePath("nuv-printer-tool")}));
        QVERIFY(IsInstalledProgram(prefix + "/bin"));
        QVERIFY(QFileInfo(prefix + "/bin").isWritable());

        const TAppFolder folder = ChooseAppFolder(prefix + "/bin");
        QCOMPARE(folder.FPath, UserAppFolder());
        QVERIFY(folder.FProblem.isEmpty());
        QCOMPARE(ReadFile(UserAppFolder() + "/codepage.ini"), QByteArray("INSTALLED"));
        QCOMPARE(ReadFile(UserAppFolder() + "/error.wav"), QByteArray("ERROR"));

        // The build tree: its own folder is writable, so nothing moves.
        QVERIFY(!IsInstalledProgram(tmp.path()));
        QCOMPARE(ChooseAppFolder(tmp.path()).FPath, QDir::cleanPath(tmp.path()));
    }
};

QTEST_GUILESS_MAIN(TestAppFolder)
#include "test_appfolder.moc"
