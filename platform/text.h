// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Scenario files and the names handed to the sound calls are ANSI text in the
// Japanese code page (CP932). Decoding follows that code page's structure so that a
// broken double-byte sequence costs one visible replacement and never swallows the
// character after it.
#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace platform {

// What a byte sequence the code page cannot map becomes (the code page's default character).
inline constexpr char16_t kReplacementChar = u'\u30FB';

QString decodeAnsi(QByteArrayView bytes);
QByteArray encodeAnsi(const QString& text);

// True for the bytes that open a double-byte character.
constexpr bool isLeadByte(unsigned char b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
constexpr bool isTrailByte(unsigned char b) { return b >= 0x40 && b <= 0xFC && b != 0x7F; }

}  // namespace platform
