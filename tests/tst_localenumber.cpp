// Reading numbers from text boxes under different locales, and 16-bit rounding.
#include "store/localenumber.h"

#include <QTest>

class TestLocaleNumber : public QObject {
    Q_OBJECT
private slots:
    void parse_data() {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("isNumber");
        QTest::addColumn<double>("value");
        const auto row = [](const char* name, const char* locale, const char* text, bool isNumber,
                            double value = 0) {
            QTest::newRow(name) << QString(locale) << QString(text) << isNumber << value;
        };
        row("plain", "en_US", "5", true, 5.0);
        row("decimal", "en_US", "2.5", true, 2.5);
        row("blanks around", "en_US", "  3 \t", true, 3.0);
        row("signs", "en_US", "-1.25", true, -1.25);
        row("leading point", "en_US", ".5", true, 0.5);
        row("grouping", "en_US", "1,234.5", true, 1234.5);
        row("loose grouping", "en_US", "1,2,3", true, 123.0);
        row("exponent", "en_US", "1.5e3", true, 1500.0);
        row("german decimal", "de_DE", "2,5", true, 2.5);
        row("german grouping", "de_DE", "1.000,5", true, 1000.5);
        row("french grouping with space", "fr_FR", "1 000", true, 1000.0);
        row("empty", "en_US", "", false);
        row("blanks only", "en_US", "   ", false);
        row("letters", "en_US", "abc", false);
        row("letter after digit", "en_US", "5x", false);
        row("inner blank", "en_US", "1 2", false);
        row("exponent without digits", "en_US", "1e", false);
        row("leading group separator", "en_US", ",5", false);
        row("german group point", "de_DE", "2.5", true, 25.0);
        row("foreign decimal", "de_DE", "2,5,1", false);
        row("overflow", "en_US", "1e999", false);
    }
    void parse() {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(bool, isNumber);

        const std::optional<double> parsed = parseLocaleNumber(text, QLocale(locale));
        QCOMPARE(parsed.has_value(), isNumber);
        if (isNumber)
            QTEST(*parsed, "value");
    }

    void toInt16_data() {
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
    void toInt16() {
        QFETCH(double, value);
        QFETCH(bool, fits);
        const std::optional<std::int16_t> converted = ::toInt16(value);
        QCOMPARE(converted.has_value(), fits);
        if (fits)
            QTEST(int(*converted), "result");
    }
};

QTEST_GUILESS_MAIN(TestLocaleNumber)
#include "tst_localenumber.moc"
