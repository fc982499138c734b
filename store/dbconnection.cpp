// Helpers shared by every database backend.
#include "dbconnection.h"

QString sqlLiteral(const QString& text) {
    QString literal = text;
    literal.replace(QLatin1Char('\''), QLatin1String("''"));
    return QLatin1Char('\'') + literal + QLatin1Char('\'');
}
