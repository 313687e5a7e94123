#include "addresses/FixDoubleBackslashes.h"
#include "addresses/ListFileReader.h"
#include "addresses/ListLineSplitter.h"
#include "addresses/SampleAddresses.h"
#include "core/EventPump.h"
#include "core/FileExists.h"
#include "shell/MainWindow.h"

#include <QClipboard>
#include <QDropEvent>
#include <QFileInfo>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMimeData>
#include <QTimer>
#include <QUrl>

#include <functional>

using namespace Qt::StringLiterals;

namespace shell {

namespace {

// Routes the events of the two lists to the window's handlers without touching the window's own filter.
class ListEvents : public QObject
{
public:
    ListEvents(std::function<bool(QObject*, QEvent*)> handle, QObject* parent)
        : QObject(parent), m_handle(std::move(handle))
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override { return m_handle(watched, event); }

private:
    std::function<bool(QObject*, QEvent*)> m_handle;
};

// Pasted text may be long: it goes into the list in slices so that the window keeps answering.
constexpr qsizetype PasteSlice = 16384;

// Removal of a list's selected row by double-click or Delete: refused while busy; nothing on an empty
// list or without a selection.
template <class Remove> void removeSelectedRow(bool busy, int rowCount, const QAbstractItemView* view, Remove remove)
{
    if (busy || rowCount == 0)
        return;
    const QModelIndexList rows = view->selectionModel()->selectedRows();
    if (!rows.isEmpty())
        remove(rows.first().row());
}

QStringList droppedFiles(const QMimeData* mime)
{
    QStringList paths;
    if (!mime || !mime->hasUrls())
        return paths;
    for (const QUrl& url : mime->urls())
        if (url.isLocalFile())
            paths.append(url.toLocalFile());
    return paths;
}

// The dialog's form of a choice: one full path, or a folder followed by the names in it. Files from
// several folders are named from the root, which the joining and repair turn back into their paths.
QStringList asDialogResult(const QStringList& paths)
{
    if (paths.size() <= 1)
        return paths;
    QString folder = QFileInfo(paths.first()).absolutePath();
    for (const QString& path : paths)
        if (QFileInfo(path).absolutePath() != folder)
            folder = u"/"_s;
    QStringList parts{folder};
    for (const QString& path : paths)
        parts.append(folder == u"/"_s ? QFileInfo(path).absoluteFilePath().mid(1) : QFileInfo(path).fileName());
    return parts;
}

} // namespace

void MainWindow::connectAddressHandlers()
{
    connectClick("PushButton2", &MainWindow::PushButton2_Click);
    connectClick("PushButton3", &MainWindow::PushButton3_Click);
    connectClick("PushButton5", &MainWindow::PushButton5_Click);
    connectClick("PushButton9", &MainWindow::PushButton9_Click);
    connectClick("PushButton11", &MainWindow::PushButton11_Click);

    QWidget* addressViewport = m_listView1->viewport();
    QWidget* resultsViewport = m_listView2->viewport();
    auto* events = new ListEvents(
        [this, addressViewport, resultsViewport](QObject* watched, QEvent* event) {
            switch (event->type()) {
            case QEvent::MouseButtonDblClick:
                if (watched == addressViewport)
                    runHandler([this] { ListView1_DblClick(); });
                else if (watched == resultsViewport)
                    runHandler([this] { ListView2_DblClick(); });
                return false;
            case QEvent::KeyPress: {
                if (watched != m_listView1)
                    return false;
                auto* key = static_cast<QKeyEvent*>(event);
                if (key->matches(QKeySequence::Paste)) {
                    runHandler([this] { pasteIntoAddressList(); });
                    return true;
                }
                runHandler([this, key] { ListView1_KeyDown(key->key()); });
                // The list's own handling of the key goes on.
                return false;
            }
            case QEvent::DragEnter:
            case QEvent::DragMove: {
                auto* drag = static_cast<QDragMoveEvent*>(event);
                if (watched != addressViewport || droppedFiles(drag->mimeData()).isEmpty())
                    return false;
                drag->acceptProposedAction();
                return true;
            }
            case QEvent::Drop: {
                auto* drop = static_cast<QDropEvent*>(event);
                const QStringList paths = droppedFiles(drop->mimeData());
                if (watched != addressViewport || paths.isEmpty())
                    return false;
                drop->acceptProposedAction();
                // The drag source waits for the drop to finish; the files load once it has.
                QTimer::singleShot(0, this, [this, paths] { runHandler([this, paths] { loadDroppedFiles(paths); }); });
                return true;
            }
            default:
                return false;
            }
        },
        this);
    m_listView1->installEventFilter(events);
    addressViewport->installEventFilter(events);
    resultsViewport->installEventFilter(events);
    m_listView1->setAcceptDrops(true);
    addressViewport->setAcceptDrops(true);
}

void MainWindow::PushButton5_Click()
{
    ErrorTrap trap(m_dialogs, u"PushButton5_Click"_s);
    QString text;
    trap.run(100,
             [&] { text = m_dialogs.inputBox(u"Enter website address to add: "_s, m_applicationTitle, QString()); });
    if (trap.test(102, [&] { return text.isEmpty(); }))
        return;
    trap.run(104, [&] { m_addressList.append(text); });
}

void MainWindow::PushButton2_Click()
{
    ErrorTrap trap(m_dialogs, u"PushButton2_Click"_s);
    int line = 100;
    for (const QString& sample : addresses::SampleAddresses) {
        trap.run(line, [&] { m_addressList.append(sample); });
        line += 2;
    }
}

void MainWindow::PushButton3_Click()
{
    ErrorTrap trap(m_dialogs, u"PushButton3_Click"_s);
    FileDialogSettings settings;
    trap.run(100, [&] { settings.fileName = QString(); });
    trap.run(102, [&] {
        settings.flags = FileDialogSettings::ReadOnly | FileDialogSettings::AllowMultiSelect |
                         FileDialogSettings::Explorer | FileDialogSettings::LongNames;
    });
    trap.run(104, [&] { settings.title = u"Load List(s) - Hold Ctrl to select multiple list files"_s; });
    trap.run(106, [&] { settings.filter = u"Text Files (*.txt)|*.txt|All Files (*.*)|*.*|"_s; });
    QString result;
    trap.run(108, [&] { result = m_dialogs.openFiles(settings); });
    QStringList parts;
    trap.run(110, [&] {
        if (!result.isEmpty())
            parts = result.split(QChar(0));
    });
    loadListFiles(trap, parts);
}

void MainWindow::loadListFiles(ErrorTrap& trap, const QStringList& parts)
{
    BusyHold busy(*this);
    trap.run(112, [&] { busy.set(); });
    if (trap.test(114, [&] { return parts.size() == 1; })) {
        trap.run(118, [&] { LoadListFile(parts.value(0)); });
    } else if (trap.test(120, [&] { return parts.size() >= 2; })) {
        QString folder;
        trap.run(122, [&] { folder = parts.first(); });
        for (qsizetype i = 1; i < parts.size(); ++i) {
            QString path;
            // The platform's separator; the repair below undoes the doubling when the folder is the root.
            trap.run(128, [&] { path = folder + u'/' + parts[i]; });
            trap.run(130, [&] { path = addresses::fixJoinedPath(path); });
            trap.run(132, [&] { LoadListFile(path); });
        }
    }
    trap.run(136, [&] { busy.clear(); });
}

void MainWindow::LoadListFile(const QString& path)
{
    if (!core::FileExists(path)) {
        m_dialogs.message(u"File not found"_s, m_applicationTitle, MessageButtons::Ok, MessageIcon::None);
        return;
    }
    addresses::ListFileReader reader(path);
    while (!reader.atEnd()) {
        core::EventPump::yieldIfDue();
        m_addressList.append(reader.next());
    }
}

void MainWindow::loadDroppedFiles(const QStringList& paths)
{
    ErrorTrap trap(m_dialogs, u"PushButton3_Click"_s);
    loadListFiles(trap, asDialogResult(paths));
}

void MainWindow::pasteIntoAddressList()
{
    const QString text = QGuiApplication::clipboard()->text();
    const QStringList entries = addresses::ListLineSplitter::split(text);
    for (qsizetype first = 0; first < entries.size(); first += PasteSlice) {
        m_addressList.append(entries.mid(first, PasteSlice));
        core::EventPump::yieldIfDue();
    }
}

void MainWindow::ListView1_DblClick()
{
    removeSelectedRow(isBusy(), m_addressList.count(), m_listView1, [this](int row) { m_addressList.removeAt(row); });
}

void MainWindow::ListView1_KeyDown(int key)
{
    // Delete with any modifiers; the modifiers are not even looked at.
    if (key == Qt::Key_Delete)
        ListView1_DblClick();
}

void MainWindow::ListView2_DblClick()
{
    removeSelectedRow(isBusy(), m_results.rowCount(), m_listView2, [this](int row) { m_results.removeRowAt(row); });
}

void MainWindow::PushButton11_Click()
{
    ErrorTrap trap(m_dialogs, u"PushButton11_Click"_s);
    trap.run(100, [&] {
        if (!isBusy())
            m_addressList.clear();
    });
}

void MainWindow::PushButton9_Click()
{
    ErrorTrap trap(m_dialogs, u"PushButton9_Click"_s);
    trap.run(100, [&] { m_results.clear(); });
}

} // namespace shell
