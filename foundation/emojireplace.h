// Search-and-replace helpers for message texts: rx_replace replaces every
// match of a regular expression by what a callback computes from the match;
// emoji_replace replaces every emoji character by what a handler returns for
// its code point.
#pragma once

#include <QRegularExpression>
#include <QString>

// Called with the caller's context and the emoji's code point written in
// upper-case hexadecimal without prefix or leading zeros ("E001", "1F600").
using EmojiHandler = QString (*)(void* context, QString code);
// Called with the caller's context right after each match.
using RxReplacer = QString (*)(void* context, const QRegularExpressionMatch& match);

// The text with every match of `rx` replaced by `replacer(context, match)`,
// in text order; a replacement is never searched again. "^" means the start
// of the whole text. A match of no length copies one unit and searches on.
QString rx_replace(const QString& text, const QRegularExpression& rx, RxReplacer replacer, void* context);

// Two passes, the second over the output of the first:
// 1. every single unit U+E000..U+E537 or one of a fixed set of pictographic
//    symbols of the Basic Multilingual Plane;
// 2. every lead unit 0xD83C or 0xD83D together with the unit after it (the
//    code points U+1F000..U+1F7FF).
// Each is replaced by `handler(context, code)`. The passes scan UTF-16 units
// directly, so unpaired surrogates anywhere in the text are harmless.
QString emoji_replace(const QString& text, EmojiHandler handler, void* context);
