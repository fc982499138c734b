// Form2: the pop-up that offers the words beginning with what is being typed.
#include "suggestionpopup.h"

#include "platform/nonactivatingwindow.h"
#include "platform/twips.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QListWidget>
#include <QScopedValueRollback>
#include <QScreen>

namespace {
constexpr int formWidthTwips = 1905;
constexpr int formHeightTwips = 1890;
constexpr int listWidthTwips = 2415;
constexpr int designListHeightTwips = 2130;
constexpr int labelTopTwips = 1680;
constexpr int labelWidthTwips = 4215;
constexpr int labelHeightTwips = 255;
constexpr int longestHideInterval = 65535;

int pixels(int twips) {
    return twipsToPixels(twips).value_or(0);
}
} // namespace

SuggestionPopup::SuggestionPopup()
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint)
    , m_list(nullptr)
    , m_label(nullptr)
    , m_timer(new QTimer(this))
    , m_heightTwips(formHeightTwips)
    , m_listHeightTwips(designListHeightTwips) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Form2"));
    // The user keeps typing in another application; the completion pastes into that one.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);

    // Created before the list so that the list lies above it.
    m_label = new QLabel(this);
    m_label->setObjectName(QStringLiteral("Label1"));
    m_label->setAutoFillBackground(true);
    QPalette white = m_label->palette();
    white.setColor(QPalette::Window, Qt::white);
    m_label->setPalette(white);
    m_label->setGeometry(0, pixels(labelTopTwips), pixels(labelWidthTwips), pixels(labelHeightTwips));
    // The list always covers it; kept hidden so that writing the caption costs no repaint.
    m_label->hide();

    m_list = new QListWidget(this);
    m_list->setObjectName(QStringLiteral("List1"));
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    // Like a plain list box: long words are cut off, never scrolled sideways. Every entry has
    // the same height, so the list need not measure each word again whenever one is added.
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setUniformItemSizes(true);
    QFont font(QStringLiteral("MS Sans Serif"), 12, QFont::Normal);
    font.setStyleHint(QFont::SansSerif);
    m_list->setFont(font);
    m_list->setGeometry(0, 0, pixels(listWidthTwips), pixels(m_listHeightTwips));
    connect(m_list, &QListWidget::currentRowChanged, this, [this] {
        if (!m_listChanging)
            runSelectionRule();
    });

    m_timer->setObjectName(QStringLiteral("Timer1"));
    m_timer->setInterval(m_hideInterval);
    connect(m_timer, &QTimer::timeout, this, &SuggestionPopup::runHideRule);

    m_collator.setCaseSensitivity(Qt::CaseInsensitive);

    const QScreen* screen = QGuiApplication::primaryScreen();
    move(screen ? screen->geometry().topLeft() : QPoint(0, 0));
    resize(pixels(formWidthTwips), pixels(m_heightTwips));
    SetOnTop(this, true);
}

SuggestionPopup::~SuggestionPopup() = default;

QString SuggestionPopup::currentSuggestion() const {
    return m_label->text();
}

void SuggestionPopup::setCurrentSuggestion(const QString& text) {
    // Writing the text it already holds must not start the rule again.
    if (text == m_label->text())
        return;
    m_label->setText(text);
    runShowRule();
}

void SuggestionPopup::runShowRule() {
    if (m_label->text().isEmpty())
        return;
    show();
    restartHideTimer();
    // Paint now although the caller is mid-way; this runs waiting events, key events among
    // them, so the window may be changed, hidden or even destroyed before it returns.
    QPointer<SuggestionPopup> alive(this);
    QCoreApplication::processEvents();
    if (alive)
        runSelectionRule();
}

void SuggestionPopup::runSelectionRule() {
    const int row = m_list->currentRow();
    setCurrentSuggestion(row >= 0 ? m_list->item(row)->text() : QString());
}

void SuggestionPopup::runHideRule() {
    setCurrentSuggestion(QString());
    hide();
    m_timerEnabled = false;
    m_timer->stop();
}

void SuggestionPopup::restartHideTimer() {
    m_timerEnabled = true;
    // A Qt timer of 0 ms would fire at once; here 0 means the window never hides by itself.
    if (m_hideInterval > 0)
        m_timer->start(m_hideInterval);
    else
        m_timer->stop();
}

void SuggestionPopup::setHideInterval(int milliseconds) {
    if (milliseconds < 0 || milliseconds > longestHideInterval)
        return;
    m_hideInterval = milliseconds;
    m_timer->setInterval(milliseconds);
    if (m_timerEnabled && milliseconds > 0)
        m_timer->start(milliseconds);
    else
        m_timer->stop();
}

int SuggestionPopup::hideInterval() const {
    return m_hideInterval;
}

void SuggestionPopup::clearList() {
    // Emptying the list is no selection: the current suggestion keeps its text.
    QScopedValueRollback<bool> changing(m_listChanging, true);
    m_list->clear();
}

void SuggestionPopup::setKeepAddedOrder(bool on) {
    m_keepAddedOrder = on;
}

void SuggestionPopup::addWord(const QString& word) {
    // The entry goes after those that compare equal to it, as a sorted list box places it.
    int low = m_keepAddedOrder ? m_list->count() : 0;
    int high = m_list->count();
    while (low < high) {
        const int middle = low + (high - low) / 2;
        if (m_collator.compare(word, m_list->item(middle)->text()) < 0)
            high = middle;
        else
            low = middle + 1;
    }
    QScopedValueRollback<bool> changing(m_listChanging, true);
    m_list->insertItem(low, word);
}

int SuggestionPopup::rowCount() const {
    return m_list->count();
}

QString SuggestionPopup::rowText(int row) const {
    const QListWidgetItem* item = m_list->item(row);
    return item ? item->text() : QString();
}

int SuggestionPopup::selectedRow() const {
    return m_list->currentRow();
}

void SuggestionPopup::selectRow(int row) {
    if (row < -1 || row >= m_list->count())
        return;
    {
        QScopedValueRollback<bool> changing(m_listChanging, true);
        m_list->setCurrentRow(row);
    }
    runSelectionRule();
}

int SuggestionPopup::heightTwips() const {
    return m_heightTwips;
}

void SuggestionPopup::setHeightTwips(int twips) {
    setHeight(m_heightTwips, twips);
}

int SuggestionPopup::listHeightTwips() const {
    return m_listHeightTwips;
}

void SuggestionPopup::setListHeightTwips(int twips) {
    setHeight(m_listHeightTwips, twips);
}

void SuggestionPopup::setHeight(int& heightTwips, int twips) {
    // A height the window system cannot take is ignored.
    const std::optional<int> pixels = twipsToPixels(twips);
    if (!pixels || *pixels < 0)
        return;
    heightTwips = twips;
    if (m_fillBatches == 0)
        applyHeights();
}

void SuggestionPopup::applyHeights() {
    resize(width(), pixels(m_heightTwips));
    m_list->resize(m_list->width(), pixels(m_listHeightTwips));
}

SuggestionPopup::FillBatch::FillBatch(SuggestionPopup& popup)
    : m_popup(&popup) {
    if (popup.m_fillBatches++ == 0)
        popup.m_list->setUpdatesEnabled(false);
}

SuggestionPopup::FillBatch::~FillBatch() {
    if (!m_popup || --m_popup->m_fillBatches > 0)
        return;
    m_popup->applyHeights();
    m_popup->m_list->setUpdatesEnabled(true);
}

void SuggestionPopup::SetOnTop(QWidget* window, bool on) {
    if (!window)
        return;
    // Only the band changes; the place and size are restated as they are.
    const QRect place = window->geometry();
    const bool wasVisible = window->isVisible();
    window->setWindowFlag(Qt::WindowStaysOnTopHint, on);
    window->setGeometry(place);
    // Changing a window's flags hides it.
    if (wasVisible)
        window->show();
}

void SuggestionPopup::setVisible(bool visible) {
    const bool wasVisible = isVisible();
    if (visible && !wasVisible) {
        keepFromActivation(*this);
        // Told before it can be seen: a key pressed for the pop-up as soon as it shows must be caught.
        // Showing may run other events (Windows), so telling afterwards would come too late.
        emit visibilityChanged(true);
    }
    QWidget::setVisible(visible);
    if (wasVisible && !isVisible()) {
        // The offered words tell what is being typed; a hidden window keeps none for others to
        // read. A fill under way goes on with its own list.
        if (m_fillBatches == 0)
            clearList();
        emit visibilityChanged(false);
    }
}
