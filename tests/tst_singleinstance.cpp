// One running program per session: a later start hands its request over, and nothing is left
// behind for the next start once the first has ended.
#include "platform/singleinstance.h"

#include <QSignalSpy>
#include <QUuid>
#include <QtTest>

#include <atomic>
#include <thread>

Q_DECLARE_METATYPE(SingleInstance::Request)

class TestSingleInstance : public QObject {
    Q_OBJECT
private slots:
    void laterStartHandsOver() {
#ifdef Q_OS_WIN
        const QString name = QStringLiteral("Quenlo.Test.") + QUuid::createUuid().toString(QUuid::Id128);
#else
        const QString name = m_dir.filePath(QStringLiteral("instance"));
#endif
        for (int run = 0; run < 2; ++run) {
            SingleInstance first(name);
            QCOMPARE(first.claim(SingleInstance::Request::Show), SingleInstance::Claim::First);
            QVERIFY(first.problem().isEmpty());
            QSignalSpy requests(&first, &SingleInstance::requested);
            // The later start is another process; its own thread here, while this one answers.
            std::atomic<int> claim{-1};
            std::thread later([&] {
                SingleInstance second(name);
                claim = int(second.claim(SingleInstance::Request::InputMethod, 5000));
            });
            QTRY_VERIFY(claim != -1);
            later.join();
            QCOMPARE(SingleInstance::Claim(claim.load()), SingleInstance::Claim::HandedOver);
            QTRY_COMPARE(requests.size(), 1);
            QCOMPARE(requests.first().first().value<SingleInstance::Request>(),
                     SingleInstance::Request::InputMethod);
        } // the second run finds nothing the first left
    }

private:
    QTemporaryDir m_dir;
};

QTEST_MAIN(TestSingleInstance)
#include "tst_singleinstance.moc"
