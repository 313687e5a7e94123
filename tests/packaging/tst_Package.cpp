// The installed product as a user meets it: the Debian package unpacked into a scratch root, and a
// `cmake --install` into a staging folder under another prefix. Files in place, launchers resolving
// into the app folder, the window starting from the path with its database found.
#include "support/Xvfb.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

const QString BinaryDir = QStringLiteral(TELLURION_BINARY_DIR);
const QString AppId = QStringLiteral(TELLURION_APP_ID);
const QString AppFolder = QStringLiteral("lib/tellurion");
constexpr bool HasGui = TELLURION_HAS_GUI;
constexpr bool HasCli = TELLURION_HAS_CLI;

struct Result
{
    int exitCode = -1;
    QString output;
};

Result run(const QString& program, const QStringList& arguments,
           const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment(),
           const QString& workingDirectory = {})
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setProcessEnvironment(environment);
    process.setWorkingDirectory(workingDirectory);
    process.start(program, arguments);
    if (!process.waitForFinished(240000))
        return {-1, u"did not finish: "_s + program + u' ' + arguments.join(u' ')};
    Result result{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                  QString::fromLocal8Bit(process.readAll())};
    return result;
}

// The width and height from a PNG file's header chunk.
QSize pngSize(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    const QByteArray head = file.read(24);
    if (head.size() < 24 || !head.startsWith("\x89PNG\r\n\x1a\n") || head.mid(12, 4) != "IHDR")
        return {};
    auto bigEndian = [&](int at) {
        return int(quint8(head[at]) << 24 | quint8(head[at + 1]) << 16 | quint8(head[at + 2]) << 8 |
                   quint8(head[at + 3]));
    };
    return QSize(bigEndian(16), bigEndian(20));
}

QString linkText(const QString& path)
{
    char buffer[4096];
    const ssize_t n = ::readlink(QFile::encodeName(path).constData(), buffer, sizeof buffer);
    return n < 0 ? QString() : QFile::decodeName(QByteArray(buffer, int(n)));
}

QStringList programs()
{
    QStringList names;
    if (HasGui)
        names << u"tellurion"_s;
    if (HasCli)
        names << u"tellurion-cli"_s;
    return names;
}

} // namespace

class TestPackage : public QObject
{
    Q_OBJECT

    QTemporaryDir m_scratch;
    QString m_package;
    QMap<QString, QString> m_trees; // tree name -> installation prefix on disk

    QString tree(const char* name) const { return m_trees.value(QString::fromLatin1(name)); }

    void addTreeRows(const QStringList& paths, bool executable)
    {
        for (auto it = m_trees.cbegin(); it != m_trees.cend(); ++it)
            for (const QString& path : paths)
                QTest::addRow("%s: %s", qPrintable(it.key()), qPrintable(path)) << it.value() << path << executable;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_scratch.isValid());
        const QString out = m_scratch.filePath(u"out"_s);
        const Result cpack =
            run(QStringLiteral(TELLURION_CPACK), {u"--config"_s, BinaryDir + u"/CPackConfig.cmake"_s, u"-B"_s, out});
        QVERIFY2(cpack.exitCode == 0, qPrintable(cpack.output));
        const QStringList debs = QDir(out).entryList({u"tellurion_*.deb"_s}, QDir::Files);
        QCOMPARE(debs.size(), 1);
        m_package = out + u'/' + debs[0];
        const Result unpack = run(u"dpkg-deb"_s, {u"-x"_s, m_package, m_scratch.filePath(u"root"_s)});
        QVERIFY2(unpack.exitCode == 0, qPrintable(unpack.output));
        m_trees.insert(u"package"_s, m_scratch.filePath(u"root/usr"_s));

        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"DESTDIR"_s, m_scratch.filePath(u"stage"_s));
        const Result install = run(QStringLiteral(TELLURION_CMAKE),
                                   {u"--install"_s, BinaryDir, u"--prefix"_s, u"/opt/tellurion"_s}, environment);
        QVERIFY2(install.exitCode == 0, qPrintable(install.output));
        m_trees.insert(u"install"_s, m_scratch.filePath(u"stage/opt/tellurion"_s));
    }

    void testFilesInPlace_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("executable");
        QStringList programFiles;
        for (const QString& program : programs())
            programFiles << AppFolder + u'/' + program;
        addTreeRows(programFiles, true);
        QStringList files{AppFolder + u"/dbCountries.mdb"_s, AppFolder + u"/HAND-M.CUR"_s, AppFolder + u"/x/o.cjs"_s,
                          u"share/doc/tellurion/copyright"_s, u"share/doc/tellurion/changelog.gz"_s};
        if (HasGui)
            files << u"share/applications/"_s + AppId + u".desktop"_s
                  << u"share/metainfo/"_s + AppId + u".metainfo.xml"_s
                  << u"share/icons/hicolor/scalable/apps/tellurion.svg"_s << u"share/man/man1/tellurion.1.gz"_s;
        if (HasCli)
            files << u"share/man/man1/tellurion-cli.1.gz"_s << u"share/bash-completion/completions/tellurion-cli"_s
                  << AppFolder + u"/rdap/ipv4.json"_s << AppFolder + u"/rdap/ipv6.json"_s
                  << AppFolder + u"/rdap/asn.json"_s;
        // The offline table goes wherever the build could make it.
        if (HasCli && QFileInfo::exists(BinaryDir + u"/app/offlineCountries.tbl"_s))
            files << AppFolder + u"/offlineCountries.tbl"_s << AppFolder + u"/offlineCountries-LICENSE"_s;
        addTreeRows(files, false);
    }

    void testFilesInPlace()
    {
        QFETCH(QString, root);
        QFETCH(QString, path);
        QFETCH(bool, executable);
        const QFileInfo file(root + u'/' + path);
        QVERIFY2(file.isFile() && !file.isSymLink(), qPrintable(file.filePath()));
        QCOMPARE(file.isExecutable(), executable);
        QVERIFY(file.size() > 0);
    }

    void testIconSizes_data()
    {
        QTest::addColumn<int>("size");
        if (!HasGui)
            QSKIP("no window program in this build");
        for (const QString& size : QStringLiteral(TELLURION_ICON_SIZES).split(u' '))
            QTest::addRow("%s", qPrintable(size)) << size.toInt();
    }

    void testIconSizes()
    {
        QFETCH(int, size);
        const QString path = tree("package") + u"/share/icons/hicolor/%1x%1/apps/tellurion.png"_s.arg(size);
        QCOMPARE(pngSize(path), QSize(size, size));
    }

    void testLaunchersAreRelativeLinksIntoTheAppFolder_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("program");
        for (auto it = m_trees.cbegin(); it != m_trees.cend(); ++it)
            for (const QString& program : programs())
                QTest::addRow("%s: %s", qPrintable(it.key()), qPrintable(program)) << it.value() << program;
    }

    void testLaunchersAreRelativeLinksIntoTheAppFolder()
    {
        QFETCH(QString, root);
        QFETCH(QString, program);
        const QFileInfo launcher(root + u"/bin/"_s + program);
        QVERIFY2(launcher.isSymLink(), qPrintable(launcher.filePath()));
        QVERIFY2(QDir::isRelativePath(linkText(launcher.filePath())), qPrintable(linkText(launcher.filePath())));
        QCOMPARE(launcher.canonicalFilePath(), QFileInfo(root + u'/' + AppFolder + u'/' + program).canonicalFilePath());
    }

    void testControlFields_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("expected");
        QTest::newRow("package") << u"Package"_s << u"tellurion"_s;
        QTest::newRow("version") << u"Version"_s << QStringLiteral(TELLURION_VERSION);
        QTest::newRow("section") << u"Section"_s << u"net"_s;
        QTest::newRow("maintainer") << u"Maintainer"_s << u"Team Kestrelworks <support@kestrelworks.example>"_s;
    }

    void testControlFields()
    {
        QFETCH(QString, field);
        QFETCH(QString, expected);
        const Result value = run(u"dpkg-deb"_s, {u"--field"_s, m_package, field});
        QCOMPARE(value.output.trimmed(), expected);
    }

    void testDependencies_data()
    {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("package"); // a pattern: library package names carry the soname version
        const QStringList needed{u"libqt6core6"_s,  u"libqt6network6"_s, u"libqt6sql6"_s,        u"libqt6sql6-sqlite"_s,
                                 u"libsqlite3-0"_s, u"libxml2"_s,        u"libxlsxwriter\\d+"_s, u"fonts-liberation"_s};
        for (const QString& package : needed)
            QTest::addRow("Depends %s", qPrintable(package)) << u"Depends"_s << package;
        if (HasGui)
            for (const QString& package : {u"libqt6gui6"_s, u"libqt6widgets6"_s, u"qt6-qpa-plugins"_s})
                QTest::addRow("Depends %s", qPrintable(package)) << u"Depends"_s << package;
        QTest::newRow("Recommends libreoffice-calc") << u"Recommends"_s << u"libreoffice-calc"_s;
    }

    void testDependencies()
    {
        QFETCH(QString, field);
        QFETCH(QString, package);
        const QString value = run(u"dpkg-deb"_s, {u"--field"_s, m_package, field}).output;
        QStringList names;
        for (const QString& alternative : value.split(QRegularExpression(u"[,|]"_s), Qt::SkipEmptyParts))
            names << alternative.trimmed().section(u' ', 0, 0);
        QVERIFY2(names.indexOf(QRegularExpression(QRegularExpression::anchoredPattern(package))) >= 0,
                 qPrintable(field + u": "_s + value));
    }

    void testSpreadsheetProgramIsNotRequired()
    {
        const QString depends = run(u"dpkg-deb"_s, {u"--field"_s, m_package, u"Depends"_s}).output;
        QVERIFY2(!depends.contains(u"libreoffice"_s), qPrintable(depends));
    }

    void testManualPages_data()
    {
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("mentions");
        if (HasGui)
            QTest::newRow("tellurion") << u"tellurion.1.gz"_s << u"dbCountries.mdb"_s;
        if (HasCli)
            QTest::newRow("tellurion-cli") << u"tellurion-cli.1.gz"_s << u"--jobs"_s;
    }

    void testManualPages()
    {
        QFETCH(QString, page);
        QFETCH(QString, mentions);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert(u"MANWIDTH"_s, u"200"_s);
        const Result shown = run(u"man"_s, {u"-l"_s, tree("package") + u"/share/man/man1/"_s + page}, environment);
        QCOMPARE(shown.exitCode, 0);
        QVERIFY2(shown.output.contains(mentions), qPrintable(shown.output));
    }

    void testWindowStartsFromTheLauncherWithItsDatabase_data()
    {
        QTest::addColumn<QString>("root");
        if (!HasGui)
            QSKIP("no window program in this build");
        for (auto it = m_trees.cbegin(); it != m_trees.cend(); ++it)
            QTest::newRow(qPrintable(it.key())) << it.value();
    }

    void testWindowStartsFromTheLauncherWithItsDatabase()
    {
        QFETCH(QString, root);
        Xvfb x;
        if (!x.isRunning())
            QSKIP("Xvfb could not be started");
        QProcess app;
        app.setProcessEnvironment(x.environment());
        app.start(root + u"/bin/tellurion"_s);
        QVERIFY(app.waitForStarted());
        // Without its database the program shows a small message box under the same title instead.
        const QString id =
            x.run(u"xdotool"_s, {u"search"_s, u"--sync"_s, u"--onlyvisible"_s, u"--name"_s, u"^Tellurion Software$"_s});
        QVERIFY2(!id.isEmpty() && !id.contains(u'\n'), qPrintable(id));
        QVERIFY2(x.run(u"xdotool"_s, {u"getwindowgeometry"_s, id}).contains(u"Geometry: 536x564"_s),
                 qPrintable(x.run(u"xdotool"_s, {u"getwindowgeometry"_s, id})));
        QCOMPARE(app.state(), QProcess::Running);
        app.terminate();
        QVERIFY(app.waitForFinished(5000));
    }

    void testCommandLineToolRunsFromThePath()
    {
        if (!HasCli)
            QSKIP("no command-line tool in this build");
        for (auto it = m_trees.cbegin(); it != m_trees.cend(); ++it) {
            const Result version = run(it.value() + u"/bin/tellurion-cli"_s, {u"--version"_s});
            QCOMPARE(version.exitCode, 0);
            QVERIFY2(version.output.contains(QStringLiteral(TELLURION_VERSION)), qPrintable(version.output));
            // The installed program finds the installed table, when there is one.
            const bool table = QFileInfo::exists(BinaryDir + u"/app/offlineCountries.tbl"_s);
            QVERIFY2(version.output.contains(u"Offline country table: not installed"_s) != table,
                     qPrintable(version.output));
        }
    }
};

QTEST_GUILESS_MAIN(TestPackage)
#include "tst_Package.moc"
