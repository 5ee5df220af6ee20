// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

// Sizes and positions of the window are designed in twips, 1/1440 of an inch.
constexpr double kTwipsPerInch = 1440.0;

// The two ways a setting's text is read as a number.

// The whole text, blanks around it allowed, must be a decimal number (sign, digits,
// point and fraction, exponent). Anything else throws Failure("Type mismatch").
double readWholeNumber(const QString& text);

// Blanks, tabs and line feeds anywhere are ignored; then an optionally signed decimal
// number is read from the start as far as it goes. Never fails; no number gives 0.
double readLeadingNumber(const QString& text);

// Nearest whole number, halves to the even neighbour. Throws Failure("Overflow")
// outside the 32-bit range.
int roundHalfEven(double value);

// a - b in 32 bits; throws Failure("Overflow") where it does not fit.
qint32 checkedSub(qint32 a, qint32 b);

// The application title made from a product name: cut before the last blank, at
// least once and until it is 40 characters or shorter. A name without a blank stays whole.
QString makeAppTitle(const QString& productName);
