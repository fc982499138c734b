// Form2: the pop-up window that shows the suggestion list at the top-left corner of the screen.
#pragma once

#include <QWidget>

class QListView;
class RowNumbers;
class SuggestionList;

class SuggestionPopup : public QWidget {
    Q_OBJECT
public:
    // Topmost at the top-left corner of the primary screen; shown while the list is. Its height is
    // as designed until the first fill, then 1000 twips and 200 more per word, the list 200 twips
    // beyond it; its width never changes. The list must outlive the window.
    explicit SuggestionPopup(SuggestionList& suggestions);
    ~SuggestionPopup() override;

    // Puts the window in (on) or out of the topmost band, keeping its place and size.
    static void SetOnTop(QWidget* window, bool on);
    // Whether the first nine rows show the digit that picks them beside their word. Off at first.
    void showRowNumbers(bool on);
    // The text row shows: its word, and its digit before it while the rows are numbered.
    QString rowText(int row) const;

private:
    void followShown(bool shown);
    void followWords();
    void followSelection(int row);

    SuggestionList& m_suggestions;
    QListView* m_list;
    RowNumbers* m_numbers;
    // Set while the view's selection follows the list's, so that it is not sent back.
    bool m_following = false;
};
