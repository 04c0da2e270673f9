#pragma once

#include "platform/TextRecognizer.h"

#include <functional>

namespace platform {

// Text recognition with Tesseract's LSTM engine and its English data. Each thread that
// recognises keeps its own engine (starting one costs about 0.1 s), so recognitions on
// several threads never share one. A page of many lines is read as bands of lines side by
// side, one on the calling thread and the rest on background threads, which keep their engines
// while recognitions follow one another.
class TesseractTextRecognizer final : public TextRecognizer {
public:
    // Where Debian's tesseract-ocr-eng puts the English data.
    static constexpr const char *defaultDataPath = "/usr/share/tesseract-ocr/5/tessdata";

    // Reads one band of lines: its pixels (one byte each, with a blank margin, enlarged by
    // `scale`) into its text lines in reading order. Tesseract on the calling thread unless
    // another is given; may run on several threads at once.
    using BandReader = std::function<Result(const QImage &band, int scale)>;

    explicit TesseractTextRecognizer(QString dataPath = QString::fromLatin1(defaultDataPath),
                                     BandReader bandReader = {});

    // Regions are Tesseract's text lines, in its reading order.
    Result recognize(const QImage &image) override;

    // How much an image (of this size, with text of this capital height; 0 when unknown) is
    // enlarged before recognition: small screen text reads far better at twice its size, while
    // readable text and large images are left alone to keep the time in bounds.
    static int scaleFactor(QSize size, int capHeight);

private:
    QString m_dataPath;
    BandReader m_bandReader;
};

} // namespace platform
