// Form2: the pop-up that offers the words beginning with what is being typed.
#pragma once

#include <QCollator>
#include <QPointer>
#include <QTimer>
#include <QWidget>

class QLabel;
class QListWidget;

class SuggestionPopup : public QWidget {
    Q_OBJECT
public:
    static constexpr int defaultHideInterval = 5000;

    // Hidden, topmost, at the top-left corner of the primary screen. Entries sort by the
    // default locale's collation, letter case ignored.
    SuggestionPopup();
    ~SuggestionPopup() override;

    // The word a completion would insert: the caption of Label1.
    QString currentSuggestion() const;
    // A real change of the caption runs the show rule: a non-empty word shows the window,
    // restarts the hide timer and lets waiting events run (key events included) before the
    // selected entry becomes the current suggestion again.
    void setCurrentSuggestion(const QString& text);

    // The hide timer's interval, 0..65535 ms; other values are ignored. 0 never hides by itself.
    void setHideInterval(int milliseconds);
    int hideInterval() const;

    // List1: entries in alphabetical order, letter case ignored, or in the order they were
    // added while keepAddedOrder is on; at most one selected.
    void setKeepAddedOrder(bool on);
    void clearList();
    void addWord(const QString& word);
    int rowCount() const;
    QString rowText(int row) const;
    // The selected row, -1 when none.
    int selectedRow() const;
    // Selects row (-1 for none, out-of-range rows are ignored) and makes it the current suggestion.
    void selectRow(int row);

    // Heights in twips, as set; the window's width never changes.
    int heightTwips() const;
    void setHeightTwips(int twips);
    int listHeightTwips() const;
    void setListHeightTwips(int twips);

    // While one exists, the window keeps its size and the list does not repaint; when the last
    // one ends, the heights set meanwhile are applied and the list paints once. Resizing and
    // repainting for every row found would cost far more than the lookup itself.
    class FillBatch {
    public:
        explicit FillBatch(SuggestionPopup& popup);
        ~FillBatch();
        FillBatch(const FillBatch&) = delete;
        FillBatch& operator=(const FillBatch&) = delete;

    private:
        QPointer<SuggestionPopup> m_popup;
    };

    // Puts the window in (on) or out of the topmost band, keeping its place and size.
    static void SetOnTop(QWidget* window, bool on);

    void setVisible(bool visible) override;

signals:
    void visibilityChanged(bool visible);

private:
    void runShowRule();
    void runSelectionRule();
    void runHideRule();
    void restartHideTimer();
    void setHeight(int& heightTwips, int twips);
    void applyHeights();

    QListWidget* m_list;
    QLabel* m_label;
    QTimer* m_timer;
    QCollator m_collator;
    int m_hideInterval = defaultHideInterval;
    // The timer counts only while enabled and with an interval above 0.
    bool m_timerEnabled = false;
    int m_heightTwips;
    int m_listHeightTwips;
    int m_fillBatches = 0;
    bool m_keepAddedOrder = false;
    // Set while the list changes under program control, whose selection rule runs explicitly.
    bool m_listChanging = false;
};
