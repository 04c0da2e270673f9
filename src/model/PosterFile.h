#pragma once

#include <QByteArray>
#include <QImage>
#include <QSize>
#include <QString>

// A recording's poster frame on disk, kept so that it can be read back quickly: the picture cut
// into horizontal bands, each an ordinary PNG, one after another in one private file. The bands
// are decoded side by side, so that a 4K poster is back in a few tens of milliseconds where one
// PNG of it takes over a hundred. Read back pixel for pixel as PNG would give it.
namespace PosterFile {

// Writes under a temporary name beside path and renames it into place (private to the user, an
// existing file replaced). False, with *error (when given) set, when it could not be written.
// Any thread.
bool write(const QImage &image, const QString &path, QString *error = nullptr);

// The picture; a null image when the file is missing, damaged or not one of these, or (when
// `expected` is given) its header claims another size or the file is larger than a poster of that
// size can be: refused before the rest of the file is read or a pixel is made; a band whose PNG
// header gives another size than its rows is refused before it is decoded. Any thread.
QImage read(const QString &path, QSize expected = {});

} // namespace PosterFile
