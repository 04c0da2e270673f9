#pragma once

#include <QImage>
#include <QList>
#include <QString>
#include <optional>

namespace platform {

// Reads the text in an image at the most accurate level the recognizer has, with language
// correction, for American English.
class TextRecognizer {
public:
    struct Result {
        // Set when the recognition failed: why. The regions are then empty.
        QString error;
        // One entry per text region (a line), in reading order: its best reading, or nothing
        // when the recognizer had no candidate for it.
        QList<std::optional<QString>> regions;
    };

    virtual ~TextRecognizer() = default;
    // Blocks until done: call it on a worker thread. Safe on several threads at once. An empty
    // or tiny image gives no regions.
    virtual Result recognize(const QImage &image) = 0;
};

} // namespace platform
