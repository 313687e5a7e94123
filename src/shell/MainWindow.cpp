#include "shell/MainWindow.h"

#include "core/EventPump.h"
#include "core/FileExists.h"
#include "shell/AppIcon.h"
#include "shell/CursorFile.h"
#include "shell/SkinFramework.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QHeaderView>
#include <QMouseEvent>

#include <type_traits>

using namespace Qt::StringLiterals;

namespace shell {

namespace {

const QString ProductName = u"Tellurion Software"_s;
const QString ListToolTip =
    u"Double-click item to remove it. Move | line to right and out of window to reveal full names."_s;

} // namespace

MainWindow::MainWindow(Dialogs& dialogs, const QString& appFolder, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      m_dialogs(dialogs), m_appFolder(appFolder), m_applicationTitle(ProductName)
{
    setObjectName(u"Form1"_s);
    setFixedSize(px(8040), px(8460));
    setFont(QFont(u"Arial"_s, 9, QFont::Bold));
    setAutoFillBackground(true);
    QPalette white = palette();
    white.setColor(QPalette::Window, Qt::white);
    setPalette(white);
    setMouseTracking(true);
    installEventFilter(this);

    // In tab order: the lists first, then the buttons, as the window's table numbers them.
    m_listView1 = addList<QTableView>("ListView1", &m_addressList, 120, 630, 7800, 2535);
    m_listView2 = addList<QTreeView>("ListView2", &m_results, 120, 4800, 7800, 2535);
    QPushButton* b1 = addButton("PushButton1", u"Help"_s, 120, 120, 7800, 405);
    QPushButton* b5 = addButton("PushButton5", u"Add IP Address"_s, 120, 3270, 3840, 405);
    QPushButton* b3 = addButton("PushButton3", u"Load List from Text File"_s, 4080, 3270, 3840, 405);
    QPushButton* b11 = addButton("PushButton11", u"Clear List"_s, 120, 3780, 3840, 405);
    QPushButton* b2 = addButton("PushButton2", u"Load Sample/Example IPs"_s, 4080, 3780, 3840, 405);
    QPushButton* b4 = addButton("PushButton4", u"Start Looking Up"_s, 120, 4290, 7800, 405);
    QPushButton* b6 = addButton("PushButton6", u"Save Result As Text File"_s, 120, 7430, 3840, 405);
    QPushButton* b12 = addButton("PushButton12", u"Save Results As Excel File"_s, 4080, 7430, 3840, 405);
    QPushButton* b18 = addButton("PushButton18", u"Copy Results To Clipboard"_s, 120, 7940, 3840, 405);
    QPushButton* b9 = addButton("PushButton9", u"Clear List"_s, 4080, 7940, 3840, 405);

    const QList<QWidget*> tabOrder{m_listView1, m_listView2, b5, b3, b11, b4, b6, b9, b1, b2, b12, b18};
    for (qsizetype i = 0; i + 1 < tabOrder.size(); ++i)
        setTabOrder(tabOrder[i], tabOrder[i + 1]);

    connectClick("PushButton1", &MainWindow::PushButton1_Click);
    connectAddressHandlers();
    connectLookupHandlers();
    connectOutputHandlers();
}

MainWindow::~MainWindow() = default;

QPushButton* MainWindow::addButton(const char* name, const QString& caption, int left, int top, int width,
                                   int height)
{
    auto* button = new QPushButton(caption, this);
    button->setObjectName(QLatin1StringView(name));
    button->setGeometry(px(left), px(top), px(width), px(height));
    QFont font(u"Arial"_s);
    font.setPointSizeF(11.25);
    font.setBold(true);
    button->setFont(font);
    QPalette pal = button->palette();
    pal.setColor(QPalette::Button, Qt::white);
    pal.setColor(QPalette::ButtonText, QApplication::palette().color(QPalette::ButtonText));
    button->setPalette(pal);
    button->setAutoDefault(false);
    watchHover(button);
    m_buttons.append(button);
    return button;
}

template <class View>
View* MainWindow::addList(const char* name, QAbstractItemModel* model, int left, int top, int width, int height)
{
    auto* view = new View(this);
    view->setObjectName(QLatin1StringView(name));
    view->setGeometry(px(left), px(top), px(width), px(height));
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setSelectionMode(QAbstractItemView::SingleSelection);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->setTextElideMode(Qt::ElideRight);
    view->setFont(QFont(u"Arial"_s, 9, QFont::Bold));
    QHeaderView* header = nullptr;
    if constexpr (std::is_same_v<View, QTreeView>) {
        view->setRootIsDecorated(false);
        view->setItemsExpandable(false);
        view->setUniformRowHeights(true);
        view->setAllColumnsShowFocus(true);
        header = view->header();
    } else {
        // The address list may hold a million rows. A table view keeps no layout per row, where a tree
        // view lays out every row again after each insertion or removal (60 ms at a million rows).
        view->setShowGrid(false);
        view->setWordWrap(false);
        view->setCornerButtonEnabled(false);
        view->verticalHeader()->hide();
        view->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
        view->verticalHeader()->setDefaultSectionSize(view->fontMetrics().height() + 4);
        header = view->horizontalHeader();
        header->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        header->setHighlightSections(false);
    }
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    view->setToolTip(ListToolTip);
    view->viewport()->setToolTip(ListToolTip);
    watchHover(view);
    watchHover(view->viewport());
    watchHover(header);
    return view;
}

void MainWindow::watchHover(QWidget* widget)
{
    widget->setMouseTracking(true);
    widget->installEventFilter(this);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseMove || type == QEvent::Enter || type == QEvent::HoverMove) {
        // Hover rules: the hand over a button, the arrow elsewhere; the hourglass is never replaced.
        if (!isBusy()) {
            const bool overButton = m_buttons.contains(qobject_cast<QPushButton*>(watched));
            setPointer(overButton ? Pointer::Hand : Pointer::Arrow);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::setPointer(Pointer pointer)
{
    if (m_pointer == pointer)
        return;
    m_pointer = pointer;
    switch (pointer) {
    case Pointer::Arrow:
        setCursor(Qt::ArrowCursor);
        break;
    case Pointer::Busy:
        setCursor(Qt::WaitCursor);
        break;
    case Pointer::Hand:
        setCursor(m_hasHandImage ? m_handCursor : QCursor(Qt::ArrowCursor));
        break;
    }
}

void MainWindow::BusyHold::set()
{
    if (m_held)
        return;
    m_held = true;
    ++m_window.m_busyHolds;
    m_window.setPointer(Pointer::Busy);
}

void MainWindow::BusyHold::clear()
{
    if (!m_held)
        return;
    m_held = false;
    if (--m_window.m_busyHolds == 0)
        m_window.setPointer(Pointer::Arrow);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Ends the program at once, also while a long command waits in the event loop: its next yield
    // unwinds it, and the main loop then returns.
    core::EventPump::requestQuit();
    event->accept();
    QCoreApplication::quit();
}

void MainWindow::runHandler(const std::function<void()>& handler)
{
    try {
        handler();
    } catch (const core::Abandoned&) {
        // The window was closed mid-command; the main loop is already on its way out.
    }
}

void MainWindow::connectClick(const char* buttonName, void (MainWindow::*handler)())
{
    auto* button = findChild<QPushButton*>(QLatin1StringView(buttonName));
    Q_ASSERT(button);
    connect(button, &QPushButton::clicked, this, [this, handler] { runHandler([this, handler] { (this->*handler)(); }); });
}

QString MainWindow::SetApplicationTitle(const QString& productName)
{
    QString title = productName;
    do {
        const qsizetype blank = title.lastIndexOf(u' ');
        if (blank < 0)
            break;
        title.truncate(blank);
    } while (title.size() > 40);
    return title;
}

bool MainWindow::Form_Load()
{
    ErrorTrap trap(m_dialogs, u"Form_Load"_s);
    const QString dbPath = m_appFolder + u"/dbCountries.mdb"_s;

    const bool dbMissing = trap.test(100, [&] {
        if (m_appFolder.isEmpty() || m_appFolder.contains(QChar(0)))
            throw core::Failure(u"Bad file name or number"_s);
        const QDir folder(m_appFolder);
        if (folder.exists() && !folder.isReadable())
            throw core::Failure(u"Path/File access error"_s);
        const QStringList found = folder.entryList({u"dbCountries.mdb"_s}, QDir::Files | QDir::Hidden);
        return !found.contains(u"dbCountries.mdb"_s);
    });
    if (dbMissing) {
        trap.run(102, [&] {
            m_dialogs.message(QDir::toNativeSeparators(m_appFolder) + u"/dbCountries.mdb not found."_s,
                              m_applicationTitle, MessageButtons::Ok, MessageIcon::None);
        });
        return false; // 104
    }

    trap.run(106, [&] { ApplySkin(); });

    const QString cursorPath = m_appFolder + u"/HAND-M.CUR"_s;
    if (trap.test(110, [&] { return core::FileExists(cursorPath); })) {
        trap.run(112, [&] {
            m_handCursor = CursorFile::load(cursorPath).cursor();
            m_hasHandImage = true;
        });
    }

    trap.run(134, [&] {
        setWindowTitle(ProductName);
        setWindowIcon(applicationIcon());
        m_applicationTitle = SetApplicationTitle(ProductName);
    });

    trap.run(136, [&] { m_addressList.addColumn(u"IP Address(es)"_s); });
    trap.run(138, [&] { m_listView1->setColumnWidth(0, px(7000)); });

    const QStringList headers{u"IP Address(es)"_s, u"Status"_s, u"Country"_s, u"Country Code"_s, u"Continent"_s};
    for (int c = 0; c < 5; ++c)
        trap.run(140 + 2 * c, [&] { m_results.addColumn(headers[c]); });
    for (int c = 0; c < 5; ++c)
        trap.run(150 + 2 * c, [&] {
            if (c >= m_results.columnCount())
                throw core::Failure(u"Invalid column number %1."_s.arg(c + 1));
            m_listView2->setColumnWidth(c, px(1500));
        });
    return true;
}

void MainWindow::ApplySkin()
{
    const QString skinPath = m_appFolder + u"/x/o.cjs"_s;
    if (!QFileInfo(skinPath).isFile())
        return;
    QPalette face = palette();
    face.setColor(QPalette::Window, QApplication::palette().color(QPalette::Button));
    setPalette(face);

    SkinFramework skin;
    skin.loadSkin(skinPath, QString());
    skin.setApplyOptions(skin.applyOptions() | 1);
    skin.setApplyToDialogs(true);
    skin.setRefreshAll(true);
    skin.applyWindow(this);
}

void MainWindow::PushButton1_Click()
{
    ErrorTrap trap(m_dialogs, u"PushButton1_Click"_s);
    trap.run(100, [&] {
        m_dialogs.message(u"Questions? Please contact Team Kestrelworks at https://kestrelworks.example/contact/"_s,
                          m_applicationTitle, MessageButtons::Ok, MessageIcon::None);
    });
}

} // namespace shell
