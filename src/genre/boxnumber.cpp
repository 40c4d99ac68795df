#include "genre/boxnumber.h"

#include <QLocale>
#include <stdexcept>

namespace genre {

double boxNumber(const QString& text) {
    bool isNumber = false;
    const double value = QLocale().toDouble(text, &isNumber);
    if (!isNumber) throw std::invalid_argument("Genre code is not a number");
    return value;
}

} // namespace genre
