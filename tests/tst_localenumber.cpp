// Reading numbers from text boxes under different locales, and 16-bit rounding.
#include "platform/localenumber.h"

#include <QTest>

class TestLocaleNumber : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void toInt16_data();
    void toInt16();
};

void TestLocaleNumber::parse_data() {
    QTest::addColumn<QString>("locale");
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("isNumber");
    QTest::addColumn<double>("value");

    QTest::newRow("plain") << "en_US"
                           << "5" << true << 5.0;
    QTest::newRow("decimal") << "en_US"
                             << "2.5" << true << 2.5;
    QTest::newRow("blanks around") << "en_US"
                                   << "  3 \t" << true << 3.0;
    QTest::newRow("signs") << "en_US"
                           << "-1.25" << true << -1.25;
    QTest::newRow("leading point") << "en_US"
                                   << ".5" << true << 0.5;
    QTest::newRow("grouping") << "en_US"
                              << "1,234.5" << true << 1234.5;
    QTest::newRow("loose grouping") << "en_US"
                                    << "1,2,3" << true << 123.0;
    QTest::newRow("exponent") << "en_US"
                              << "1.5e3" << true << 1500.0;
    QTest::newRow("german decimal") << "de_DE"
                                    << "2,5" << true << 2.5;
    QTest::newRow("german grouping") << "de_DE"
                                     << "1.000,5" << true << 1000.5;
    QTest::newRow("french grouping with space") << "fr_FR"
                                                << "1 000" << true << 1000.0;

    QTest::newRow("empty") << "en_US"
                           << "" << false << 0.0;
    QTest::newRow("blanks only") << "en_US"
                                 << "   " << false << 0.0;
    QTest::newRow("letters") << "en_US"
                             << "abc" << false << 0.0;
    QTest::newRow("letter after digit") << "en_US"
                                        << "5x" << false << 0.0;
    QTest::newRow("inner blank") << "en_US"
                                 << "1 2" << false << 0.0;
    QTest::newRow("exponent without digits") << "en_US"
                                             << "1e" << false << 0.0;
    QTest::newRow("leading group separator") << "en_US"
                                             << ",5" << false << 0.0;
    QTest::newRow("german group point") << "de_DE"
                                        << "2.5" << true << 25.0;
    QTest::newRow("foreign decimal") << "de_DE"
                                     << "2,5,1" << false << 0.0;
    QTest::newRow("overflow") << "en_US"
                              << "1e999" << false << 0.0;
}

void TestLocaleNumber::parse() {
    QFETCH(QString, locale);
    QFETCH(QString, text);
    QFETCH(bool, isNumber);
    QFETCH(double, value);

    const std::optional<double> parsed = parseLocaleNumber(text, QLocale(locale));
    QCOMPARE(parsed.has_value(), isNumber);
    if (isNumber)
        QCOMPARE(*parsed, value);
}

void TestLocaleNumber::toInt16_data() {
    QTest::addColumn<double>("value");
    QTest::addColumn<bool>("fits");
    QTest::addColumn<int>("result");
    QTest::newRow("small") << 3.0 << true << 3;
    QTest::newRow("nearest") << 1234.6 << true << 1235;
    QTest::newRow("half down to even") << 0.5 << true << 0;
    QTest::newRow("half up to even") << -3.5 << true << -4;
    QTest::newRow("top") << 32767.0 << true << 32767;
    QTest::newRow("bottom") << -32768.0 << true << -32768;
    QTest::newRow("rounds past top") << 32767.5 << false << 0;
    QTest::newRow("too small") << -32769.0 << false << 0;
}

void TestLocaleNumber::toInt16() {
    QFETCH(double, value);
    QFETCH(bool, fits);
    QFETCH(int, result);
    const std::optional<std::int16_t> converted = ::toInt16(value);
    QCOMPARE(converted.has_value(), fits);
    if (fits)
        QCOMPARE(int(*converted), result);
}

QTEST_GUILESS_MAIN(TestLocaleNumber)
#include "tst_localenumber.moc"
