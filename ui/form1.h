// The main window: every control and menu of the program by name, laid out as designed.
#pragma once

#include <QMainWindow>

class QCheckBox;
class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListView;
class QMenu;
class QPushButton;
class QRadioButton;
class QAction;

class Form1 : public QMainWindow {
    Q_OBJECT
public:
    // Every control by its name; each one's objectName is that name.
    struct Controls {
        QGroupBox* Frame2 = nullptr;
        QLineEdit* Text7 = nullptr;
        QPushButton* Command8 = nullptr;
        QPushButton* Command5 = nullptr;
        QListView* List1 = nullptr; // the model is set later; the window works without one
        QLabel* Label777 = nullptr;
        QFrame* Frame1 = nullptr;
        QCheckBox* Check1 = nullptr;
        QPushButton* Command2 = nullptr;
        QPushButton* Command1 = nullptr;
        QLineEdit* Text4 = nullptr;
        QLabel* Label4 = nullptr;
        QLineEdit* Text8 = nullptr;
        QLabel* Label5 = nullptr;
        QLineEdit* Text9 = nullptr;
        QLabel* Label7 = nullptr;
        QLineEdit* Text2 = nullptr;
        QLabel* Label2 = nullptr;
        QCheckBox* Check2 = nullptr;
        QCheckBox* Check3 = nullptr;
        QCheckBox* Check5 = nullptr;
        QCheckBox* Check4 = nullptr;
        QLabel* Label3 = nullptr;
        QRadioButton* Opt1 = nullptr;
        QRadioButton* Opt2 = nullptr;
        QMenu* FileMenu = nullptr;
        QAction* FileImport = nullptr;
        QAction* FileSave = nullptr;
        QAction* FileSave2 = nullptr;
        QAction* Exit = nullptr;
        QMenu* Options = nullptr;
        QAction* RunMinimized = nullptr;
        QAction* StartWithSession = nullptr; // the session starts the program at log-in
        QMenu* InputRoute = nullptr;         // where the keys come from, chosen for the next start
        QAction* KeyboardHookRoute = nullptr;
        QAction* InputMethodRoute = nullptr;
        QAction* Suggestions = nullptr;
        QAction* MostLikelyFirst = nullptr;       // checkable: the pop-up lists the likeliest word first
        QAction* LearnFromCompletions = nullptr;  // checkable: completed words rank higher
        QAction* MatchCapitals = nullptr;         // checkable: an all-capital prefix completes in capitals
        QAction* LearnNewWords = nullptr;         // checkable: words typed in full become custom words
        QAction* PickWithNumberKeys = nullptr;    // checkable: the digits 1 to 9 complete with that row
        QAction* ProtectPasswordFields = nullptr; // checkable, checked by default
        QAction* ExcludedApplications = nullptr;
        QAction* WordLists = nullptr; // the word lists of the user's languages
        QMenu* Help = nullptr;
        QAction* About = nullptr;
        QAction* Help2 = nullptr;
        QMenu* RMenu = nullptr; // never on the menu bar: opens over List1 on a right-button press
        QAction* DeleteMMMM = nullptr;
        QAction* ClearLearnedCounts = nullptr;
        QAction* ForgetLearnedWords = nullptr;
    };

    // Size of the client area below the menu bar, in logical pixels.
    static constexpr int clientWidth = 449;
    static constexpr int clientHeight = 369;

    explicit Form1(QWidget* parent = nullptr);

    const Controls& ui() const { return m_ui; }

    // A line under the controls for something the user must know; hidden while empty.
    void setNotice(const QString& text);
    QString notice() const;
    // Why completion is paused, in the same line; empty when it is not.
    void setPauseNotice(const QString& text);
    QString pauseNotice() const;

signals:
    // A left click on the promotional label.
    void label777Clicked();
    // The window was asked to close (its frame's close box, or close()); the close was refused
    // and the receiver decides what happens.
    void frameCloseRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void createControls();
    void createMenus();
    void setDesignedTabOrder();
    void setAccessibleNames();
    void updateOptionTabStops();
    static bool opensMenuFromKeyboard(const QEvent* event);
    void openRMenuAtSelection();
    void updateStatusLine();

    Controls m_ui;
    QLabel* m_notice = nullptr;
    QLabel* m_pauseNotice = nullptr;
    bool m_label777Pressed = false;
    bool m_shownBefore = false;
};
