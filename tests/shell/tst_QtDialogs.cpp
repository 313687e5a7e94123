#include "shell/Dialogs.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>

using namespace Qt::StringLiterals;

namespace {

const QString ClassicFilter = u"Text Files (*.txt)|*.txt|All Files (*.*)|*.*|"_s;

QStringList itemTexts(const QComboBox& box)
{
    QStringList texts;
    for (int i = 0; i < box.count(); ++i)
        texts << box.itemText(i);
    return texts;
}

// The names the dialog lists for its current folder, once its model has read the folder.
QStringList listedNames(const QFileDialog& dialog, qsizetype expected)
{
    auto* view = dialog.findChild<QAbstractItemView*>(u"listView"_s);
    if (!view)
        return {u"<no list>"_s};
    const auto names = [&] {
        QStringList found;
        const QAbstractItemModel* model = view->model();
        for (int row = 0; row < model->rowCount(view->rootIndex()); ++row)
            found << model->index(row, 0, view->rootIndex()).data().toString();
        found.sort();
        return found;
    };
    // The folder is read on another thread and filtered as it arrives: wait for the expected count, then a
    // little longer, so that a file listed late is seen too.
    (void)QTest::qWaitFor([&] { return names().size() >= expected; }, 10000);
    QTest::qWait(100);
    return names();
}

} // namespace

class TestQtDialogs : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        for (const char* name : {"a.txt", "b.csv", "no-dot"}) {
            QFile file(m_dir.filePath(QString::fromLatin1(name)));
            QVERIFY(file.open(QIODevice::WriteOnly));
        }
    }

    void testTypeBoxShowsEachTypeOnceAndFiltersOnIt_data()
    {
        QTest::addColumn<bool>("save");
        QTest::newRow("open") << false;
        QTest::newRow("save") << true;
    }

    void testTypeBoxShowsEachTypeOnceAndFiltersOnIt()
    {
        QFETCH(bool, save);
        QStringList texts;
        QStringList listedFirst;
        QStringList listedAll;
        QTimer::singleShot(0, this, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            auto* box = dialog ? dialog->findChild<QComboBox*>(u"fileTypeCombo"_s) : nullptr;
            if (!box) {
                if (dialog)
                    dialog->reject();
                return;
            }
            dialog->setDirectory(m_dir.path());
            texts = itemTexts(*box);
            listedFirst = listedNames(*dialog, 1);
            // Chosen as the user does, from the keyboard.
            box->setFocus();
            QTest::keyClick(box, Qt::Key_Down);
            listedAll = listedNames(*dialog, 3);
            dialog->reject();
        });
        shell::QtDialogs dialogs;
        shell::FileDialogSettings settings;
        settings.flags = 0x280201;
        settings.filter = ClassicFilter;
        QCOMPARE(save ? dialogs.saveFile(settings) : dialogs.openFiles(settings), QString());
        QCOMPARE(texts, (QStringList{u"Text Files (*.txt)"_s, u"All Files (*.*)"_s}));
        QCOMPARE(listedFirst, QStringList{u"a.txt"_s});
        QCOMPARE(listedAll, (QStringList{u"a.txt"_s, u"b.csv"_s, u"no-dot"_s}));
    }
};

QTEST_MAIN(TestQtDialogs)
#include "tst_QtDialogs.moc"
