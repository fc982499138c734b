// The words offered for the word being typed, the selected one and the current suggestion: the
// state of the pop-up Form2, which the pop-up window and the input method's lookup table show.
#pragma once

#include <QAbstractListModel>
#include <QCollator>
#include <QStringList>
#include <QTimer>

class SuggestionList : public QAbstractListModel {
    Q_OBJECT
public:
    static constexpr int defaultHideInterval = 5000;

    // Hidden and empty. Words sort by the default locale's collation, letter case ignored.
    explicit SuggestionList(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

    // List1: in alphabetical order, letter case ignored (equal words in the order found), or in
    // the order found while keepFoundOrder is on.
    const QStringList& words() const { return m_words; }
    void setKeepFoundOrder(bool on);
    // A lookup's result, taken in one step: row 0 selected and made the current suggestion, the
    // list shown and its hide timer restarted. No words hide it.
    void fill(QStringList found);
    // The selected row, -1 when none.
    int selectedRow() const { return m_selectedRow; }
    // Selects row (-1 for none; other rows out of range are ignored) and makes its word the
    // current suggestion (the selection rule). Runs for a click on a row too.
    void selectRow(int row);

    // Label1 of Form2: the word a completion would insert. A real change to a word shows the
    // list and restarts the hide timer, then the selected row's word becomes current again
    // (the show rule).
    const QString& currentSuggestion() const { return m_current; }
    void setCurrentSuggestion(const QString& word);

    bool isShown() const { return m_shown; }
    // Hidden, the list keeps no words for others to read; the current suggestion and the hide
    // timer stay as they are.
    void hide();

    // Timer1's interval, 0..65535 ms; other values are ignored. 0 never hides by itself.
    void setHideInterval(int milliseconds);
    int hideInterval() const { return m_hideInterval; }

signals:
    // Sent before any view shows the list and before it hides it, so that whoever must catch
    // the keys meant for the list does so before the user can see it.
    void shownChanged(bool shown);
    void selectedRowChanged(int row);
    // The words or the selection changed: for views that redraw in one piece.
    void suggestionsChanged();

private:
    void setShown(bool shown);
    void clearWords();
    void restartHideTimer();
    void runHideRule();

    QStringList m_words;
    int m_selectedRow = -1;
    QString m_current;
    bool m_shown = false;
    bool m_keepFoundOrder = false;
    QCollator m_collator;
    QTimer* m_timer;
    int m_hideInterval = defaultHideInterval;
    // The timer counts only while enabled and with an interval above 0.
    bool m_timerEnabled = false;
};
