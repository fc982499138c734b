// Form2: the pop-up window that shows the suggestion list at the top-left corner of the screen.
#include "suggestionpopup.h"

#include "engine/suggestionlist.h"
#include "platform/nonactivatingwindow.h"
#include "ui/twips.h"

#include <QGuiApplication>
#include <QHash>
#include <QListView>
#include <QPainter>
#include <QScopedValueRollback>
#include <QScreen>
#include <QStaticText>
#include <QStyle>
#include <QStyledItemDelegate>

namespace {
constexpr int formWidthTwips = 1905;
constexpr int formHeightTwips = 1890;
constexpr int listWidthTwips = 2415;
constexpr int designListHeightTwips = 2130;
constexpr int emptyPopupHeightTwips = 1000;
constexpr int rowHeightTwips = 200;
constexpr int listBeyondPopupTwips = 200;

int pixels(int twips) {
    return twipsToPixels(twips).value_or(0);
}
} // namespace

// Draws each row as a plain list box does: its word, cut off at the edge, and the digit that picks
// it beside it. Every key repaints the rows, so each text is laid out once and kept: most words
// come back on the next key.
class RowNumbers final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    bool on = false;

    QString textOf(const QModelIndex& index) const {
        const QString word = index.data().toString();
        const int digit = index.row() + 1;
        return on && digit <= 9 ? QStringLiteral("%1  %2").arg(digit).arg(word) : word;
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        const bool selected = option.state & QStyle::State_Selected;
        if (selected)
            painter->fillRect(option.rect, option.palette.brush(QPalette::Highlight));
        const QStaticText& text = laidOut(textOf(index), option.font);
        const int margin = option.widget ? option.widget->style()->pixelMetric(QStyle::PM_FocusFrameHMargin,
                                                                                nullptr, option.widget) + 1
                                         : 1;
        const QPointF at(option.rect.left() + margin,
                         option.rect.top() + (option.rect.height() - text.size().height()) / 2);
        painter->save();
        painter->setClipRect(option.rect);
        painter->setFont(option.font);
        painter->setPen(option.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter->drawStaticText(at, text);
        painter->restore();
    }

    // The list gives every row the first row's size; measuring it lays out that row's text, so it
    // is measured once per font rather than on every fill.
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override {
        useFont(option.font);
        if (!m_rowSize.isValid())
            m_rowSize = QStyledItemDelegate::sizeHint(option, index);
        return m_rowSize;
    }

private:
    // What is kept was laid out and measured in one font.
    void useFont(const QFont& font) const {
        if (font == m_font)
            return;
        m_font = font;
        m_texts.clear();
        m_rowSize = QSize();
    }

    const QStaticText& laidOut(const QString& text, const QFont& font) const {
        useFont(font);
        if (m_texts.size() > maxKeptTexts)
            m_texts.clear();
        auto kept = m_texts.find(text);
        if (kept == m_texts.end()) {
            QStaticText laid(text);
            laid.setTextFormat(Qt::PlainText);
            laid.prepare(QTransform(), font);
            kept = m_texts.insert(text, laid);
        }
        return *kept;
    }

    // Enough for the rows of many keys; the words of a long session are not all kept.
    static constexpr qsizetype maxKeptTexts = 512;
    mutable QHash<QString, QStaticText> m_texts;
    mutable QFont m_font;
    mutable QSize m_rowSize;
};

SuggestionPopup::SuggestionPopup(SuggestionList& suggestions)
    : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::WindowDoesNotAcceptFocus | Qt::X11BypassWindowManagerHint)
    , m_suggestions(suggestions)
    , m_list(new QListView(this))
    , m_numbers(new RowNumbers(m_list)) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("Form2"));
    // The user keeps typing in another application; the completion pastes into that one.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);

    m_list->setObjectName(QStringLiteral("List1"));
    m_list->setFocusPolicy(Qt::NoFocus);
    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Like a plain list box: long words are cut off, never scrolled sideways. Every entry has
    // the same height, so the list need not measure each word.
    m_list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_list->setUniformItemSizes(true);
    QFont font(QStringLiteral("MS Sans Serif"), 12, QFont::Normal);
    font.setStyleHint(QFont::SansSerif);
    m_list->setFont(font);
    m_list->setModel(&suggestions);
    m_list->setItemDelegate(m_numbers);
    m_list->setGeometry(0, 0, pixels(listWidthTwips), pixels(designListHeightTwips));
    connect(m_list->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex& current) {
                if (!m_following)
                    m_suggestions.selectRow(current.isValid() ? current.row() : -1);
            });
    connect(&suggestions, &SuggestionList::shownChanged, this, &SuggestionPopup::followShown);
    connect(&suggestions, &QAbstractItemModel::modelReset, this, &SuggestionPopup::followWords);
    connect(&suggestions, &SuggestionList::selectedRowChanged, this, &SuggestionPopup::followSelection);

    const QScreen* screen = QGuiApplication::primaryScreen();
    move(screen ? screen->geometry().topLeft() : QPoint(0, 0));
    resize(pixels(formWidthTwips), pixels(formHeightTwips));
    SetOnTop(this, true);
    followWords();
    followSelection(suggestions.selectedRow());
    followShown(suggestions.isShown());
}

SuggestionPopup::~SuggestionPopup() = default;

void SuggestionPopup::followShown(bool shown) {
    if (shown == isVisible())
        return;
    if (shown)
        keepFromActivation(*this);
    setVisible(shown);
    // Showing posts a repaint of the window and each of its widgets for later. Taken after the
    // window system's first expose, which paints them all already, it would paint every row a
    // second time; taken now, it only marks what that expose paints once.
    if (shown)
        QCoreApplication::sendPostedEvents(nullptr, QEvent::UpdateLater);
}

void SuggestionPopup::followWords() {
    // An emptied list keeps the window's size: it is hidden, or about to be filled.
    const int words = m_suggestions.rowCount();
    if (words == 0)
        return;
    const int heightTwips = emptyPopupHeightTwips + words * rowHeightTwips;
    resize(width(), pixels(heightTwips));
    m_list->resize(m_list->width(), pixels(heightTwips + listBeyondPopupTwips));
}

void SuggestionPopup::followSelection(int row) {
    const QScopedValueRollback<bool> following(m_following, true);
    m_list->setCurrentIndex(m_suggestions.index(row, 0));
}

void SuggestionPopup::showRowNumbers(bool on) {
    if (m_numbers->on == on)
        return;
    m_numbers->on = on;
    m_list->viewport()->update();
}

QString SuggestionPopup::rowText(int row) const {
    return m_numbers->textOf(m_suggestions.index(row, 0));
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
