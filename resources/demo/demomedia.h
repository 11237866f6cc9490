// The attachment files of the demo phones, made by code: landscape pictures
// drawn with QPainter and stored as JPEG, and a QuickTime movie container
// that holds a movie header but no track, so that no media is checked in.
#pragma once

#include <QByteArray>
#include <QString>

namespace DemoMedia {

// A 640 x 480 landscape whose colours and shapes follow `seed`; throws
// std::runtime_error when the JPEG cannot be written.
QByteArray picture(int seed);

// A QuickTime file of `seconds` length with no frames.
QByteArray emptyMovie(int seconds);

// The file for an attachment of that MIME type ("image/..." or "video/...");
// throws std::runtime_error for any other type.
QByteArray forMimeType(const QString& mimeType, int seed);

} // namespace DemoMedia
