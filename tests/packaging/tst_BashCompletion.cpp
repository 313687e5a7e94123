// The bash completion of tellurion-cli, run in a real bash the way readline calls it.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class TestBashCompletion : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;

    // The words bash offers for the last of `words` (the command line typed so far, split as bash splits it).
    QStringList complete(const QStringList& words)
    {
        QString array;
        for (const QString& word : words)
            array += u" '"_s + word + u'\'';
        const QString script = u"source \"$1\" && COMP_WORDS=(tellurion-cli"_s + array + u") && COMP_CWORD="_s +
                               QString::number(words.size()) +
                               u" && { _tellurion_cli; printf '%s\\n' \"${COMPREPLY[@]}\"; }"_s;
        QProcess bash;
        bash.setWorkingDirectory(m_folder.path());
        bash.start(u"bash"_s, {u"-c"_s, script, u"bash"_s,
                               QStringLiteral(TELLURION_SOURCE_DIR) + u"/packaging/tellurion-cli.bash-completion"_s});
        if (!bash.waitForFinished(10000) || bash.exitCode() != 0)
            return {u"<bash failed: "_s + QString::fromLocal8Bit(bash.readAllStandardError()) + u'>'};
        QStringList offered = QString::fromLocal8Bit(bash.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        offered.sort();
        return offered;
    }

    // Every option that the tool's own --help lists, short and long.
    static QStringList helpOptions()
    {
        QProcess cli;
        cli.start(QStringLiteral(TELLURION_APP_DIR) + u"/tellurion-cli"_s, {u"--help"_s});
        if (!cli.waitForFinished(10000))
            return {};
        QStringList options;
        static const QRegularExpression optionLine(u"^  (?:(-[a-z]), )?\\s*(--[a-z-]+)"_s);
        for (const QString& line : QString::fromUtf8(cli.readAllStandardOutput()).split(u'\n')) {
            const QRegularExpressionMatch m = optionLine.match(line);
            if (!m.hasMatch())
                continue;
            if (m.hasCaptured(1))
                options.append(m.captured(1));
            options.append(m.captured(2));
        }
        options.sort();
        return options;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_folder.isValid());
        for (const QString& name : {u"report.csv"_s, u"list.txt"_s, u"-q.txt"_s}) {
            QFile file(m_folder.filePath(name));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
    }

    void testOffers_data()
    {
        QTest::addColumn<QStringList>("words");
        QTest::addColumn<QStringList>("offered");
        const QStringList formats{u"csv"_s, u"json"_s, u"table"_s, u"text"_s, u"tsv"_s};
        QTest::newRow("formats after -f") << QStringList{u"-f"_s, u""_s} << formats;
        QTest::newRow("formats after --format, partly typed")
            << QStringList{u"--format"_s, u"t"_s} << QStringList{u"table"_s, u"text"_s, u"tsv"_s};
        QTest::newRow("--format=") << QStringList{u"--format"_s, u"="_s} << formats;
        QTest::newRow("--format=j") << QStringList{u"--format"_s, u"="_s, u"j"_s} << QStringList{u"json"_s};
        QTest::newRow("no format outside the list") << QStringList{u"-f"_s, u"x"_s} << QStringList{};
        QTest::newRow("long option prefix") << QStringList{u"--ti"_s} << QStringList{u"--timeout"_s};
        const QStringList options = helpOptions();
        QVERIFY(options.contains(u"--jobs"_s) && options.contains(u"-o"_s));
        QTest::newRow("every option --help lists") << QStringList{u"-"_s} << options;
        QTest::newRow("sources") << QStringList{u"--source"_s, u""_s} << QStringList{u"offline"_s, u"rdap"_s, u"web"_s};
        QTest::newRow("sources after a comma")
            << QStringList{u"--source"_s, u"web,o"_s} << QStringList{u"web,offline"_s};
        QTest::newRow("a number after -j") << QStringList{u"-j"_s, u""_s} << QStringList{};
        QTest::newRow("a number after --timeout") << QStringList{u"--timeout"_s, u""_s} << QStringList{};
        QTest::newRow("a file after -o") << QStringList{u"-o"_s, u"rep"_s} << QStringList{u"report.csv"_s};
        QTest::newRow("a file after --rdap-bootstrap")
            << QStringList{u"--rdap-bootstrap"_s, u"li"_s} << QStringList{u"list.txt"_s};
        QTest::newRow("input files") << QStringList{u"-q"_s, u"l"_s} << QStringList{u"list.txt"_s};
        QTest::newRow("option, not file, before --") << QStringList{u"-q"_s} << QStringList{u"-q"_s};
        QTest::newRow("file, not option, after --") << QStringList{u"--"_s, u"-q"_s} << QStringList{u"-q.txt"_s};
    }

    void testOffers()
    {
        QFETCH(QStringList, words);
        QFETCH(QStringList, offered);
        QCOMPARE(complete(words), offered);
    }
};

QTEST_GUILESS_MAIN(TestBashCompletion)
#include "tst_BashCompletion.moc"
