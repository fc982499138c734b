// Builds the main window's controls and menus in their designed places, captions and order.
#include "ui/form1.h"

#include "maker.h"
#include "ui/programicon.h"
#include "ui/twips.h"
#include "ui/windowfont.h"
#include "version.h"

#include <QAction>
#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFrame>
#include <QGroupBox>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QProxyStyle>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QStatusBar>

namespace {

int twips(int value) {
    return twipsToPixels(value).value_or(0);
}

QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

// Check boxes and option buttons are designed 13 pixels high; a larger indicator would be cut.
class CompactIndicatorStyle final : public QProxyStyle {
public:
    int pixelMetric(PixelMetric metric, const QStyleOption* option, const QWidget* widget) const override {
        const int value = QProxyStyle::pixelMetric(metric, option, widget);
        switch (metric) {
        case PM_IndicatorWidth:
        case PM_IndicatorHeight:
        case PM_ExclusiveIndicatorWidth:
        case PM_ExclusiveIndicatorHeight:
            return std::min(value, twips(195));
        default:
            return value;
        }
    }
};

template <typename Widget> Widget* place(QWidget* container, const char* name, const QRect& geometry) {
    auto* widget = new Widget(container);
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

QLineEdit* textBox(QWidget* container, const char* name, const QString& text, const QRect& geometry) {
    auto* box = place<QLineEdit>(container, name, geometry);
    box->setText(text);
    return box;
}

QLabel* label(QWidget* container, const char* name, const QString& text, const QRect& geometry) {
    auto* caption = place<QLabel>(container, name, geometry);
    caption->setText(text);
    caption->setTextFormat(Qt::PlainText);
    return caption;
}

template <typename Button>
Button* button(QWidget* container, const char* name, const QString& text, const QRect& geometry) {
    auto* control = place<Button>(container, name, geometry);
    control->setText(text);
    return control;
}

void setTextColour(QWidget* widget, const QColor& colour) {
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

QAction* menuItem(QMenu* menu, const char* name, const QString& caption) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QLatin1String(name));
    // Keep every item where it was put, also where the platform would move "About" or "Exit".
    action->setMenuRole(QAction::NoRole);
    return action;
}

QMenu* menu(QWidget* parent, const char* name, const QString& title) {
    auto* created = new QMenu(title, parent);
    created->setObjectName(QLatin1String(name));
    return created;
}

} // namespace

Form1::Form1(QWidget* parent)
    : QMainWindow(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("Quenlo Word Complete " QUENLO_VERSION " - ") + maker::siteName);
    setWindowIcon(programIcon());

    createControls();
    createMenus();
    setDesignedTabOrder();
    setAccessibleNames();

    m_notice = new QLabel(this);
    m_notice->setObjectName(QStringLiteral("notice"));
    m_notice->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_pauseNotice = new QLabel(this);
    m_pauseNotice->setObjectName(QStringLiteral("pauseNotice"));
    statusBar()->setSizeGripEnabled(false);
    statusBar()->addWidget(m_notice, 1);
    statusBar()->addPermanentWidget(m_pauseNotice);
    statusBar()->hide();

    resize(clientWidth, clientHeight + menuBar()->sizeHint().height());
}

void Form1::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    if (m_shownBefore || event->spontaneous())
        return;
    m_shownBefore = true;
    // Laid out with the style's fonts, the bars may be taller than their size hints said (the menu
    // bar is under Wine): the client area keeps its designed height all the same.
    layout()->activate();
    if (!isMaximized() && !isFullScreen())
        resize(width(), height() + clientHeight - centralWidget()->height());
}

void Form1::createControls() {
    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("clientArea"));
    setCentralWidget(client);
    auto* indicatorStyle = new CompactIndicatorStyle;
    indicatorStyle->setParent(this);

    Controls& c = m_ui;
    c.Frame2 = place<QGroupBox>(client, "Frame2", twipsRect(120, 120, 6495, 5295));
    c.Frame2->setTitle(QStringLiteral("Quenlo"));
    c.Text7 = textBox(c.Frame2, "Text7", QString(), twipsRect(240, 360, 6015, 285));
    c.Command8 =
        button<QPushButton>(c.Frame2, "Command8", QStringLiteral("Add Word"), twipsRect(240, 720, 2895, 255));
    c.Command5 = button<QPushButton>(c.Frame2, "Command5", QStringLiteral("Remove Word"),
                                     twipsRect(3360, 720, 2895, 255));
    c.List1 = place<QListView>(c.Frame2, "List1", twipsRect(240, 1080, 6015, 1425));
    c.List1->setSelectionMode(QAbstractItemView::SingleSelection);
    c.List1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    c.List1->setUniformItemSizes(true);
    // The right button belongs to RMenu alone.
    c.List1->setContextMenuPolicy(Qt::PreventContextMenu);
    c.List1->viewport()->setContextMenuPolicy(Qt::PreventContextMenu);
    c.List1->viewport()->installEventFilter(this);
    c.List1->installEventFilter(this); // the Menu key and Shift+F10 open RMenu too

    c.Label777 = label(c.Frame2, "Label777", maker::promoText, twipsRect(600, 2520, 5175, 495));
    c.Label777->setWordWrap(true);
    setTextColour(c.Label777, QColor(0, 0, 255));
    c.Label777->installEventFilter(this);

    c.Frame1 = place<QFrame>(c.Frame2, "Frame1", twipsRect(240, 3000, 6135, 2175));
    c.Frame1->setFrameShape(QFrame::NoFrame);
    QWidget* panel = c.Frame1;
    c.Check1 =
        button<QCheckBox>(panel, "Check1", QStringLiteral("Enable Quenlo"), twipsRect(0, 0, 2295, 255));
    c.Check1->setChecked(true);
    c.Command2 =
        button<QPushButton>(panel, "Command2", QStringLiteral("Clear List"), twipsRect(3240, 0, 1335, 255));
    c.Command1 =
        button<QPushButton>(panel, "Command1", QStringLiteral("Minimize"), twipsRect(4680, 0, 1335, 255));
    c.Text4 = textBox(panel, "Text4", QStringLiteral("15"), twipsRect(0, 240, 375, 285));
    c.Label4 = label(panel, "Label4", QStringLiteral("Max words to display"), twipsRect(480, 240, 2055, 255));
    c.Text8 = textBox(panel, "Text8", QStringLiteral("4"), twipsRect(0, 570, 375, 285));
    c.Label5 =
        label(panel, "Label5", QStringLiteral("Minum Length word to Add"), twipsRect(480, 600, 2055, 255));
    c.Text9 = textBox(panel, "Text9", QStringLiteral("3"), twipsRect(0, 930, 375, 285));
    c.Label7 = label(panel, "Label7", QStringLiteral("Minum number of letters to entered before display"),
                     twipsRect(480, 960, 3495, 255));
    c.Text2 = textBox(panel, "Text2", QStringLiteral("5"), twipsRect(0, 1320, 375, 285));
    c.Label2 = label(panel, "Label2", QStringLiteral("Number of Seconds to Display Word List"),
                     twipsRect(480, 1320, 3375, 255));
    c.Check2 = button<QCheckBox>(panel, "Check2", QStringLiteral("Show Default Words"),
                                 twipsRect(4080, 360, 1815, 195));
    c.Check3 = button<QCheckBox>(panel, "Check3", QStringLiteral("Show Custom Words"),
                                 twipsRect(4080, 600, 1815, 195));
    c.Check5 = button<QCheckBox>(panel, "Check5", QStringLiteral("Use Default Words"),
                                 twipsRect(4080, 840, 1695, 255));
    c.Check5->setChecked(true);
    c.Check4 = button<QCheckBox>(panel, "Check4", QStringLiteral("Use Custom Words"),
                                 twipsRect(4080, 1080, 2055, 195));
    c.Check4->setChecked(true);
    c.Label3 = label(panel, "Label3", QStringLiteral("Note: Hit Esc Key to hide the popup screen complete"),
                     twipsRect(960, 1920, 4095, 255));
    setTextColour(c.Label3, QColor(255, 0, 0));

    // The option buttons belong to the window, not to a frame, and lie over the panel.
    c.Opt1 = button<QRadioButton>(client, "Opt1", QStringLiteral("Hit Shift Key to Complete word"),
                                  twipsRect(3840, 4560, 2535, 195));
    c.Opt2 = button<QRadioButton>(client, "Opt2", QStringLiteral("Hit Tab Key to Complete word"),
                                  twipsRect(3840, 4800, 2535, 195));
    auto* completionKeyGroup = new QButtonGroup(this);
    completionKeyGroup->setObjectName(QStringLiteral("completionKeyGroup"));
    completionKeyGroup->setExclusive(true);
    completionKeyGroup->addButton(c.Opt1);
    completionKeyGroup->addButton(c.Opt2);
    // Tab stops at the selected option only; the arrow keys move within the group.
    connect(completionKeyGroup, &QButtonGroup::buttonToggled, this, [this] { updateOptionTabStops(); });
    c.Opt2->setChecked(true);
    c.Opt1->raise();
    c.Opt2->raise();

    const QList<QWidget*> indicators = {c.Check1, c.Check2, c.Check3, c.Check4, c.Check5, c.Opt1, c.Opt2};
    for (QWidget* indicator : indicators)
        indicator->setStyle(indicatorStyle);

    const QList<QWidget*> captioned = {c.Command8, c.Command5, c.Check1, c.Command2, c.Command1, c.Label4,
                                       c.Label5,   c.Label7,   c.Label2, c.Check2,   c.Check3,   c.Check5,
                                       c.Check4,   c.Label3,   c.Opt1,   c.Opt2};
    const QFont font = windowfont::applyFittingFont(this, captioned);
    QFont underlined = font;
    underlined.setUnderline(true);
    c.Label777->setFont(underlined);
}

void Form1::createMenus() {
    Controls& c = m_ui;
    // Menus keep the desktop's own font, as menus do everywhere else.
    menuBar()->setFont(QApplication::font(menuBar()));

    c.FileMenu = menu(this, "FileMenu", QStringLiteral("&File"));
    c.FileImport = menuItem(c.FileMenu, "FileImport", QStringLiteral("File Import "));
    c.FileSave = menuItem(c.FileMenu, "FileSave", QStringLiteral("File Save"));
    c.FileSave2 = menuItem(c.FileMenu, "FileSave2", QStringLiteral("File Save As"));
    c.Exit = menuItem(c.FileMenu, "Exit", QStringLiteral("Exit"));
    menuBar()->addMenu(c.FileMenu);

    c.Options = menu(this, "Options", QStringLiteral("&Options"));
    c.RunMinimized = menuItem(c.Options, "RunMinimized", QStringLiteral("Run Minimized"));
    c.RunMinimized->setCheckable(true);
    c.StartWithSession = menuItem(c.Options, "StartWithSession", QStringLiteral("Start with the &session"));
    c.StartWithSession->setCheckable(true);
    c.InputRoute = menu(this, "InputRoute", QStringLiteral("&Input route"));
    c.KeyboardHookRoute = menuItem(c.InputRoute, "KeyboardHookRoute",
                                   QStringLiteral("&Keyboard hook: every application on the X display"));
    c.InputMethodRoute =
        menuItem(c.InputRoute, "InputMethodRoute",
                 QStringLiteral("Input &method (IBus): needs Quenlo chosen as an input source"));
    for (QAction* route : {c.KeyboardHookRoute, c.InputMethodRoute})
        route->setCheckable(true);
    c.KeyboardHookRoute->setToolTip(
        QStringLiteral("Sees the keys of every X11 application, terminals included, and pastes the rest of "
                       "the word. Needs an X11 session; on Wayland it sees only XWayland applications."));
    c.InputMethodRoute->setToolTip(
        QStringLiteral("Sees the keys of every text field that takes its input from IBus, on X11 and "
                       "Wayland alike, and commits the rest of the word. Needs IBus running and Quenlo "
                       "added as an input source and selected."));
    c.InputRoute->setToolTipsVisible(true);
    c.Options->addMenu(c.InputRoute);
    c.Suggestions = menuItem(c.Options, "Suggestions", QStringLiteral("Suggestions"));
    c.ProtectPasswordFields =
        menuItem(c.Options, "ProtectPasswordFields", QStringLiteral("Protect password fields"));
    c.ProtectPasswordFields->setCheckable(true);
    c.ProtectPasswordFields->setChecked(true);
    c.ExcludedApplications =
        menuItem(c.Options, "ExcludedApplications", QStringLiteral("Excluded Applications\u2026"));
    c.WordLists = menuItem(c.Options, "WordLists", QStringLiteral("Word Lists\u2026"));
    c.Options->addSeparator();
    // The design values; the stored choices replace them at start-up.
    c.MostLikelyFirst = menuItem(c.Options, "MostLikelyFirst", QStringLiteral("Most likely first"));
    c.LearnFromCompletions =
        menuItem(c.Options, "LearnFromCompletions", QStringLiteral("Learn from completions"));
    c.MatchCapitals = menuItem(c.Options, "MatchCapitals", QStringLiteral("Match my capitals"));
    c.LearnNewWords = menuItem(c.Options, "LearnNewWords", QStringLiteral("Learn new words"));
    c.PickWithNumberKeys = menuItem(c.Options, "PickWithNumberKeys", QStringLiteral("Pick with number keys"));
    for (QAction* choice :
         {c.MostLikelyFirst, c.LearnFromCompletions, c.MatchCapitals, c.LearnNewWords, c.PickWithNumberKeys})
        choice->setCheckable(true);
    c.LearnFromCompletions->setChecked(true);
    c.MatchCapitals->setChecked(true);
    menuBar()->addMenu(c.Options);

    c.Help = menu(this, "Help", QStringLiteral("&Help"));
    c.About = menuItem(c.Help, "About", QStringLiteral("About"));
    c.Help2 = menuItem(c.Help, "Help2", QStringLiteral("Help"));
    menuBar()->addMenu(c.Help);

    c.RMenu = menu(this, "RMenu", QStringLiteral("RMenu"));
    c.DeleteMMMM = menuItem(c.RMenu, "DeleteMMMM", QStringLiteral("Delete"));
    c.ClearLearnedCounts = menuItem(c.RMenu, "ClearLearnedCounts", QStringLiteral("Clear Learned Counts"));
    c.ForgetLearnedWords = menuItem(c.RMenu, "ForgetLearnedWords", QStringLiteral("Forget Learned Words"));
}

void Form1::setDesignedTabOrder() {
    const Controls& c = m_ui;
    const QList<QWidget*> order = {c.Text7,  c.Command8, c.Check1,   c.Text8, c.Text9,  c.Text2,
                                   c.List1,  c.Command2, c.Command1, c.Text4, c.Check2, c.Check3,
                                   c.Check4, c.Check5,   c.Command5, c.Opt1,  c.Opt2};
    for (qsizetype i = 1; i < order.size(); ++i)
        QWidget::setTabOrder(order[i - 1], order[i]);
    c.Label777->setFocusPolicy(Qt::NoFocus);
}

void Form1::setAccessibleNames() {
    const Controls& c = m_ui;
    // A text box is announced by the caption beside it.
    c.Label4->setBuddy(c.Text4);
    c.Label5->setBuddy(c.Text8);
    c.Label7->setBuddy(c.Text9);
    c.Label2->setBuddy(c.Text2);
    c.Text4->setAccessibleName(c.Label4->text());
    c.Text8->setAccessibleName(c.Label5->text());
    c.Text9->setAccessibleName(c.Label7->text());
    c.Text2->setAccessibleName(c.Label2->text());
    c.Text7->setAccessibleName(QStringLiteral("Word to add"));
    c.List1->setAccessibleName(QStringLiteral("Word list"));
    c.List1->setAccessibleDescription(QStringLiteral("The Menu key or Shift+F10 opens the menu with Delete"));
    c.Label777->setAccessibleName(QString(maker::promoText).replace(QLatin1Char('\n'), QLatin1Char(' ')));
    c.Label777->setAccessibleDescription(QStringLiteral("Opens ") + maker::promoUrl);
    c.Frame1->setAccessibleName(QStringLiteral("Settings"));
    const QList<QAbstractButton*> buttons = {c.Command8, c.Command5, c.Command2, c.Command1,
                                             c.Check1,   c.Check2,   c.Check3,   c.Check4,
                                             c.Check5,   c.Opt1,     c.Opt2};
    for (QAbstractButton* control : buttons)
        control->setAccessibleName(control->text());
}

void Form1::updateOptionTabStops() {
    const bool anySelected = m_ui.Opt1->isChecked() || m_ui.Opt2->isChecked();
    for (QRadioButton* option : {m_ui.Opt1, m_ui.Opt2})
        option->setFocusPolicy(!anySelected || option->isChecked() ? Qt::StrongFocus : Qt::ClickFocus);
}

void Form1::setNotice(const QString& text) {
    m_notice->setText(text);
    m_notice->setToolTip(text);
    updateStatusLine();
}

void Form1::setPauseNotice(const QString& text) {
    m_pauseNotice->setText(text);
    m_pauseNotice->setVisible(!text.isEmpty());
    updateStatusLine();
}

QString Form1::pauseNotice() const {
    return m_pauseNotice->text();
}

void Form1::updateStatusLine() {
    const bool show = !m_notice->text().isEmpty() || !m_pauseNotice->text().isEmpty();
    if (show == !statusBar()->isHidden())
        return;
    // The client area keeps its size: the window grows or shrinks by the notice line.
    layout()->activate(); // a window not yet shown has not placed its parts
    const int clientBefore = centralWidget()->height();
    statusBar()->setVisible(show);
    layout()->activate();
    const int clientLost = clientBefore - centralWidget()->height();
    if (!isMaximized() && !isFullScreen())
        resize(width(), height() + clientLost);
}

QString Form1::notice() const {
    return m_notice->text();
}

bool Form1::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (watched == m_ui.List1 && opensMenuFromKeyboard(event)) {
        openRMenuAtSelection();
        return true;
    }
    const bool mouseButton = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
                             type == QEvent::MouseButtonDblClick;
    if (!mouseButton)
        return QMainWindow::eventFilter(watched, event);
    const auto* mouse = static_cast<QMouseEvent*>(event);

    if (watched == m_ui.List1->viewport()) {
        if (mouse->button() != Qt::RightButton)
            return false;
        // The press opens the menu; no right-button event reaches the list, so the selection stays.
        if (type != QEvent::MouseButtonRelease)
            m_ui.RMenu->popup(mouse->globalPosition().toPoint());
        return true;
    }

    if (watched == m_ui.Label777 && mouse->button() == Qt::LeftButton) {
        if (type == QEvent::MouseButtonRelease) {
            const bool clicked =
                m_label777Pressed && m_ui.Label777->rect().contains(mouse->position().toPoint());
            m_label777Pressed = false;
            if (clicked)
                emit label777Clicked();
        } else if (type == QEvent::MouseButtonPress) {
            // The second press of a double click starts no second click.
            m_label777Pressed = true;
        }
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

bool Form1::opensMenuFromKeyboard(const QEvent* event) {
    if (event->type() == QEvent::ContextMenu)
        return static_cast<const QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard;
    if (event->type() != QEvent::KeyPress)
        return false;
    const auto* key = static_cast<const QKeyEvent*>(event);
    const Qt::KeyboardModifiers modifiers = key->modifiers() & ~Qt::KeypadModifier;
    return (key->key() == Qt::Key_Menu && modifiers == Qt::NoModifier) ||
           (key->key() == Qt::Key_F10 && modifiers == Qt::ShiftModifier);
}

void Form1::openRMenuAtSelection() {
    QListView* list = m_ui.List1;
    QModelIndex entry;
    if (const QItemSelectionModel* selection = list->selectionModel()) {
        const QModelIndexList selected = selection->selectedIndexes();
        entry = selected.isEmpty() ? selection->currentIndex() : selected.first();
    }
    QPoint at; // the top-left corner of the list when no entry is selected
    if (entry.isValid()) {
        list->scrollTo(entry);
        const QRect row = list->visualRect(entry).intersected(list->viewport()->rect());
        at = row.isValid() ? row.bottomLeft() : QPoint();
    }
    m_ui.RMenu->popup(list->viewport()->mapToGlobal(at));
    // As menus opened from the keyboard do elsewhere: the first item has the focus, and assistive
    // tools announce it.
    m_ui.RMenu->setActiveAction(m_ui.RMenu->actions().value(0));
}

void Form1::closeEvent(QCloseEvent* event) {
    event->ignore();
    emit frameCloseRequested();
}
