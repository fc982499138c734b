// A Qt application with two text fields, driven by the end-to-end test: it reports, on request,
// what the fields hold, which one has the focus and which keys reached it.
//   stdin "state"  -> one JSON line {"first": ..., "second": ..., "focus": ..., "keys": [...]}
//   stdin "clear"  -> the fields and the key record emptied, focus on the first field
//   stdin "second" -> focus on the second field
//   stdin "password" -> focus on a third field, a password field
#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLineEdit>
#include <QSocketNotifier>
#include <QVBoxLayout>
#include <QWidget>

#include <cstdio>
#include <unistd.h>

namespace {

// Records every key press that reaches the application, before any widget sees it.
class KeyRecorder : public QObject {
public:
    QJsonArray keys;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress && watched->isWindowType()) {
            const auto* key = static_cast<QKeyEvent*>(event);
            keys.append(QKeySequence(key->key()).toString(QKeySequence::PortableText));
        }
        return false;
    }
};

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    QWidget window;
    window.setWindowTitle(QApplication::arguments().value(1, QStringLiteral("e2e-qt")));
    auto* layout = new QVBoxLayout(&window);
    auto* first = new QLineEdit(&window);
    first->setObjectName(QStringLiteral("first"));
    auto* second = new QLineEdit(&window);
    second->setObjectName(QStringLiteral("second"));
    layout->addWidget(first);
    layout->addWidget(second);
    auto* password = new QLineEdit(&window);
    password->setObjectName(QStringLiteral("password"));
    password->setEchoMode(QLineEdit::Password);
    layout->addWidget(password);
    window.resize(400, 120);
    window.move(300, 300);

    KeyRecorder recorder;
    application.installEventFilter(&recorder);

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, &input, [&] {
        char buffer[256];
        const ssize_t got = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (got <= 0) {
            QApplication::quit();
            return;
        }
        pending.append(buffer, got);
        for (qsizetype end = pending.indexOf('\n'); end >= 0; end = pending.indexOf('\n')) {
            const QByteArray command = pending.left(end).trimmed();
            pending.remove(0, end + 1);
            if (command == "clear") {
                first->clear();
                second->clear();
                password->clear();
                first->setFocus();
                recorder.keys = {};
            } else if (command == "second") {
                second->setFocus();
            } else if (command == "password") {
                password->setFocus();
            }
            const QWidget* focus = QApplication::focusWidget();
            const QJsonObject state{{"first", first->text()},
                                    {"second", second->text()},
                                    {"password", password->text()},
                                    {"focus", focus ? focus->objectName() : QString()},
                                    {"keys", recorder.keys}};
            std::fprintf(stdout, "%s\n", QJsonDocument(state).toJson(QJsonDocument::Compact).constData());
            std::fflush(stdout);
        }
    });

    window.show();
    first->setFocus();
    return application.exec();
}
