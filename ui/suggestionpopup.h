// Form2: the pop-up window that shows the suggestion list at the top-left corner of the screen.
#pragma once

#include <QWidget>

class QListView;
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

private:
    void followShown(bool shown);
    void followWords();
    void followSelection(int row);

    SuggestionList& m_suggestions;
    QListView* m_list;
    // Set while the view's selection follows the list's, so that it is not sent back.
    bool m_following = false;
};
