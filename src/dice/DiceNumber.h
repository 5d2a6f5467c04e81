#pragma once

#include <QString>
#include <QStringView>
#include <cstdint>
#include <optional>

namespace quillora {

// Number helpers of the dice language: the general number form that results are printed in and
// the whole-number rounding that dice counts and integer operators use.

// Up to 15 significant digits, "." as decimal point, exponent form ("1E+15", "1E-05") outside
// the plain range; -0 prints as "0". The value must be finite.
QString FormatDiceNumber(double value);
void AppendDiceNumber(QString& out, double value);

// The value as it reads back from its printed form (rounded to 15 significant digits).
double RoundDiceNumber(double value);

// Rounds half to even into a 32-bit integer; nullopt when out of range or not finite.
std::optional<int32_t> ToDiceLong(double value);

// A decimal number as a user writes it: optional sign, digits with an optional "." (or a leading
// "."), an optional exponent. Blanks around it are ignored. Anything else, and values that do
// not fit a double, give nullopt.
std::optional<double> ParseDiceNumber(QStringView text);

}  // namespace quillora
